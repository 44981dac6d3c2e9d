#include "shell/FolderOps.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace FolderOps {

namespace {

namespace fs = std::filesystem;

// The operation code as a number; nullopt when the text is not a whole decimal number that
// fits 32 bits (blanks around it allowed).
std::optional<long> operationCode(const std::string& text) {
    size_t i = 0, end = text.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (i < end && text[i] == '+') ++i;
    std::int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + end, value);
    if (ec != std::errc() || ptr != text.data() + end || i == end) return std::nullopt;
    return value;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind(platform::kSep);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? platform::sepStr() : path.substr(0, slash);
}

// Where the source lands: inside the destination when that is an existing folder, else at the
// destination path itself.
std::string targetFor(const std::string& source, const std::string& destination) {
    if (platform::dirExists(destination))
        return text::withoutTrailingSeparators(destination, platform::kSep) + platform::sepStr() +
               std::string(text::baseName(source, platform::kSep));
    return text::withoutTrailingSeparators(destination, platform::kSep);
}

// Paths are UTF-8 text everywhere; a path made from a plain string would be read in the system's
// code page on Windows.
fs::path utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

bool copyItem(const std::string& source, const std::string& target) {
    if (platform::fileExists(source)) return platform::copyFileReplace(source, target);
    std::error_code ec;
    fs::copy(utf8Path(source), utf8Path(target),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    return !ec;
}

bool moveItem(const std::string& source, const std::string& target) {
    if (platform::pathExists(target)) return false;  // a move never replaces anything
    if (platform::moveFileNoReplace(source, target)) return true;
    if (!platform::dirExists(source) || platform::pathExists(target)) return false;
    // A folder on another file system: copy it whole, then remove the original.
    if (!copyItem(source, target)) {
        platform::deleteTree(target);
        return false;
    }
    return platform::deleteTree(source);
}

}  // namespace

bool RunShellFileOperation(const std::string& source, const std::string& destination,
                           const std::string& operation) {
    const auto code = operationCode(operation);
    return code && RunShellFileOperation(source, destination, static_cast<FileOp>(*code));
}

bool RunShellFileOperation(const std::string& source, const std::string& destination,
                           FileOp operation) {
    const std::string from = text::withoutTrailingSeparators(source, platform::kSep);
    if (from.empty() || !platform::pathExists(from)) return false;
    switch (operation) {
        case FileOp::Move:
            if (destination.empty()) return false;
            return moveItem(from, targetFor(from, destination));
        case FileOp::Copy:
            if (destination.empty()) return false;
            return copyItem(from, targetFor(from, destination));
        case FileOp::Delete:  // read-only entries included, nothing asked
            return platform::deleteTree(from);
        case FileOp::Rename: {  // a bare new name stays in the source's folder
            if (destination.empty()) return false;
            std::string target = text::withoutTrailingSeparators(destination, platform::kSep);
            if (target.find(platform::kSep) == std::string::npos)
                target = folderOf(from) + platform::sepStr() + target;
            return platform::moveFileNoReplace(from, target);
        }
        default:
            return false;
    }
}

}  // namespace FolderOps
