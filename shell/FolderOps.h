#pragma once
#include <string>

namespace FolderOps {
// The operation codes (the Windows shell's values).
enum class FileOp { Move = 1, Copy = 2, Delete = 3, Rename = 4 };

// One silent file operation on a folder or file. True when it succeeded; false on any failure.
bool RunShellFileOperation(const std::string& source, const std::string& destination,
                           FileOp operation);
// The same with the operation code as decimal text ("3": delete); false for a text that is no
// operation code.
bool RunShellFileOperation(const std::string& source, const std::string& destination,
                           const std::string& operation);
}  // namespace FolderOps
