// Files and folders: lookups, listing, creating, deleting, moving and copying.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace platform {

namespace {

bool statOf(const std::string& path, struct stat& st) {
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAllFd(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool copyData(int in, int out) {
    std::vector<char> buf(1 << 16);
    while (true) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!writeAllFd(out, buf.data(), static_cast<size_t>(n))) return false;
    }
}

// Flushes a folder's entries (a rename or a new name in it) to the disk.
void syncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Copies the contents, permissions and modification time of an open regular file into out and
// flushes them to the disk. out is closed on every path.
bool copyOpenFile(int in, const struct stat& st, int out) {
    bool ok = copyData(in, out);
    if (ok) {
        ::fchmod(out, st.st_mode & 07777);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        ok = ::fsync(out) == 0;
    }
    return ::close(out) == 0 && ok;
}

// Removes one entry of the open folder dirFd. Folders are emptied first; read-only folders get
// their owner rights back so that their entries can go. Symbolic links are removed, never
// followed. False when anything stayed.
bool removeEntry(int dirFd, const char* name) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(dirFd, name, 0) == 0;
    if ((st.st_mode & S_IRWXU) != S_IRWXU) ::fchmodat(dirFd, name, st.st_mode | S_IRWXU, 0);
    bool ok = true;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    for (const auto& n : names) ok = removeEntry(::dirfd(d), n.c_str()) && ok;
    ::closedir(d);
    return ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0 && ok;
}

// Copies a regular file to a new target that must not exist yet.
bool copyToNewFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    const bool ok = copyOpenFile(in, st, out);
    ::close(in);
    if (!ok) ::unlink(to.c_str());
    if (ok) syncFolder(parentOf(to));
    return ok;
}

}  // namespace

bool pathExists(const std::string& path) {
    struct stat st {};
    return statOf(path, st);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return statOf(path, st) && S_ISREG(st.st_mode);
}

bool dirExists(const std::string& path) {
    struct stat st {};
    return statOf(path, st) && S_ISDIR(st.st_mode);
}

std::int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (!statOf(path, st) || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

std::optional<double> secondsSinceChange(const std::string& path) {
    struct stat st {};
    if (!statOf(path, st) || !S_ISREG(st.st_mode)) return std::nullopt;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // The status change time moves with every write and cannot be set back by a copying
    // program (which may give the copy its source's modification time); the later of the two
    // counts.
    const timespec changed =
        (st.st_ctim.tv_sec > st.st_mtim.tv_sec ||
         (st.st_ctim.tv_sec == st.st_mtim.tv_sec && st.st_ctim.tv_nsec > st.st_mtim.tv_nsec))
            ? st.st_ctim
            : st.st_mtim;
    return double(now.tv_sec - changed.tv_sec) + double(now.tv_nsec - changed.tv_nsec) / 1e9;
}

std::optional<std::int64_t> freeSpace(const std::string& path) {
    struct statvfs vfs {};
    if (path.empty() || ::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
    return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
}

std::string canonicalPath(const std::string& path) {
    if (path.empty()) return {};
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(fs::path(path), ec);
    if (ec) canonical = fs::absolute(fs::path(path), ec);
    return text::withoutTrailingSeparators(canonical.lexically_normal().string(), kSep);
}

bool folderWritable(const std::string& dir) {
    if (!dirExists(dir)) return false;
    std::string probe = dir + "/.write-probe.XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // A folder on a full disk still takes an empty file: a block must go in as well.
    const char byte = 0;
    const bool ok = writeAllFd(fd, &byte, 1);
    ::close(fd);
    ::unlink(probe.c_str());
    return ok;
}

std::optional<std::vector<std::string>> listFiles(const std::string& dir, bool withHidden) {
    if (dir.empty()) return std::nullopt;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        if (!withHidden && e->d_name[0] == '.') continue;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            regular = ::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

static bool makeSurePathExistsUnnoted(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path), ec);
    return dirExists(path);
}

static bool deleteTreeUnnoted(const std::string& path) {
    if (path.empty()) return false;
    const std::string p = text::withoutTrailingSeparators(path, kSep);
    // Never the root folder, and never a tree named through "." or "..".
    const std::string name = nameOf(p);
    if (p == "/" || name == "." || name == ".." || name.empty()) return false;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return false;
    const int parent = ::open(parentOf(p).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return false;
    const bool ok = removeEntry(parent, name.c_str());
    ::close(parent);
    return ok;
}

bool deleteFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(path.c_str()) == 0;
}

static bool moveFileNoReplaceUnnoted(const std::string& from, const std::string& to) {
    struct stat src {};
    if (from.empty() || to.empty() || ::lstat(from.c_str(), &src) != 0) return false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    const int err = errno;
    if (err == EEXIST || err == ENOENT || err == ENOTDIR) return false;
    if (err == EXDEV) {
        // Another file system: a copy that cannot replace anything, then the original goes.
        if (!S_ISREG(src.st_mode)) return false;
        if (!copyToNewFile(from, to)) return false;
        if (::unlink(from.c_str()) != 0) {
            ::unlink(to.c_str());
            return false;
        }
        return true;
    }
    if (err != EINVAL && err != ENOSYS) return false;
    // A file system without the no-replace rename: a hard link fails on an existing target.
    if (S_ISREG(src.st_mode) && ::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return true;
        ::unlink(to.c_str());
        return false;
    }
    struct stat dst {};
    if (::lstat(to.c_str(), &dst) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

static bool copyFileReplaceUnnoted(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    // A hidden temporary name in the target folder, so a half-written copy is never listed and
    // the final rename stays on one file system.
    std::string temp = parentOf(to) + "/." + nameOf(to) + ".XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = copyOpenFile(in, st, out);
    ::close(in);
    ok = ok && ::rename(temp.c_str(), to.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    if (ok) syncFolder(parentOf(to));
    return ok;
}

// Writes the text into the file opened with the extra flags (made when missing).
static bool writeOpened(const std::string& path, const std::string& text, int flags) {
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0) return false;
    const bool ok = writeAllFd(fd, text.data(), text.size());
    return ::close(fd) == 0 && ok;
}

bool appendToFile(const std::string& path, const std::string& text) {
    return writeOpened(path, text, O_APPEND);
}

std::optional<std::string> readFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text;
    char buf[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    return writeOpened(path, text, O_TRUNC);
}

// ---- failures told to the diagnostics ------------------------------------------------------

namespace {

// The outcome of a file operation, with the reason when it failed for another reason than the
// expected ones (nothing there, the target taken). The reason is read after the operation ran.
bool told(bool ok, const char* what, const std::string& paths, int err) {
    if (!ok && err != ENOENT && err != EEXIST)
        diag::note(diag::Area::Files, std::string(what) + " failed: " + paths + ": " +
                                          (err ? std::strerror(err) : "no reason given"));
    return ok;
}

}  // namespace

bool makeSurePathExists(const std::string& path) {
    errno = 0;
    const bool ok = makeSurePathExistsUnnoted(path);
    return told(ok, "making the folder", path, errno ? errno : EIO);
}

bool deleteTree(const std::string& path) {
    errno = 0;
    const bool ok = deleteTreeUnnoted(path);
    return told(ok, "deleting", path, errno);
}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
    errno = 0;
    const bool ok = moveFileNoReplaceUnnoted(from, to);
    return told(ok, "moving", from + " -> " + to, errno);
}

bool copyFileReplace(const std::string& from, const std::string& to) {
    errno = 0;
    const bool ok = copyFileReplaceUnnoted(from, to);
    return told(ok, "copying", from + " -> " + to, errno);
}

}  // namespace platform
