#pragma once
#include <string>

namespace FolderOps {
// One silent file operation on a folder or file. Operation codes as decimal text: "1" move,
// "2" copy, "3" delete, "4" rename. True when it succeeded; false on any failure, a
// non-numeric code included.
bool RunShellFileOperation(const std::string& source, const std::string& destination,
                           const std::string& operation);
}  // namespace FolderOps
