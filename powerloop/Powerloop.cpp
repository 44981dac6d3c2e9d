#include "powerloop/Powerloop.h"

#include <archive.h>
#include <archive_entry.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "media/ProgramFolder.h"
#include "media/UpdateRecord.h"
#include "platform/Platform.h"
#include "shell/InstanceLock.h"

namespace fs = std::filesystem;

namespace powerloop {

namespace {

fs::path native(const QString& path) {
    return fs::path(path.toStdU16String());
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

struct ArchiveDeleter {
    void operator()(archive* a) const {
        if (a) archive_free(a);  // closes it too
    }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

QString archiveError(archive* a) {
    const char* text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("未知错误");
}

QString entryName(archive_entry* entry) {
    if (const char* name = archive_entry_pathname_utf8(entry)) return QString::fromUtf8(name);
    if (const char* name = archive_entry_pathname(entry)) return QString::fromLocal8Bit(name);
    return QString();
}

bool copyData(archive* in, archive* out, QString& error) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    while (true) {
        const int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF) return true;
        // A warning while reading data is damage (a bad checksum, for one).
        if (r != ARCHIVE_OK) {
            error = QStringLiteral("更新包已损坏：") + archiveError(in);
            return false;
        }
        if (archive_write_data_block(out, block, size, offset) < ARCHIVE_WARN) {
            error = QStringLiteral("无法写入暂存文件夹：") + archiveError(out);
            return false;
        }
    }
}

// Prepares one entry for writing under staging; false (with a message) when it is refused.
bool placeEntry(archive_entry* entry, const QString& staging, bool& skip, QString& error) {
    const QString name = entryName(entry);
    const std::optional<QString> rel = safeEntryPath(name);
    skip = false;
    if (!rel) {
        error = QStringLiteral("更新包含有不安全的条目：") + name;
        return false;
    }
    if (rel->isEmpty()) {
        skip = true;
        return true;
    }
    const QString target = staging + "/" + *rel;
    if (const char* hard = archive_entry_hardlink_utf8(entry)) {
        const std::optional<QString> linked = safeEntryPath(QString::fromUtf8(hard));
        if (!linked || linked->isEmpty()) {
            error = QStringLiteral("更新包含有指向文件夹外的链接：") + name;
            return false;
        }
        archive_entry_set_hardlink_utf8(entry, utf8(staging + "/" + *linked).c_str());
    } else {
        switch (archive_entry_filetype(entry)) {
            case AE_IFREG:
                archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0777) | 0600);
                break;
            case AE_IFDIR:
                archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0777) | 0700);
                break;
            case AE_IFLNK: {
                const char* to = archive_entry_symlink_utf8(entry);
                if (!to || !linkStaysInside(*rel, QString::fromUtf8(to))) {
                    error = QStringLiteral("更新包含有指向文件夹外的链接：") + name;
                    return false;
                }
                break;
            }
            default:
                error = QStringLiteral("更新包含有不支持的条目：") + name;
                return false;
        }
    }
    archive_entry_set_pathname_utf8(entry, utf8(target).c_str());
    return true;
}

// One step of the replacement, for the undo.
struct Step {
    enum Kind { MadeFolder, Placed } kind;
    fs::path target;
    fs::path staged;  // where a placed entry came from
    fs::path backup;  // where the replaced entry went; empty when there was none
};

class Replacer {
public:
    Replacer(const QString& staging, const QString& programFolder, const QString& backup)
        : m_staging(native(staging)), m_program(native(programFolder)), m_backup(native(backup)) {}

    bool run(QString& error) { return walk(fs::path(), error); }

    // Undoes every step in reverse order; false when something could not be put back.
    bool undo() {
        bool ok = true;
        for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
            std::error_code ec;
            if (it->kind == Step::MadeFolder) {
                fs::remove(it->target, ec);
                continue;
            }
            fs::rename(it->target, it->staged, ec);
            if (ec) fs::remove(it->target, ec);
            if (!it->backup.empty()) {
                fs::rename(it->backup, it->target, ec);
                if (ec) ok = false;
            }
        }
        return ok;
    }

private:
    bool walk(const fs::path& rel, QString& error) {
        std::error_code ec;
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(m_staging / rel, ec))
            names.push_back(entry.path().filename());
        if (ec) return fail(error, QStringLiteral("无法读取暂存文件夹："), rel);
        std::sort(names.begin(), names.end());
        for (const auto& name : names) {
            const fs::path child = rel / name;
            const fs::file_status staged = fs::symlink_status(m_staging / child, ec);
            const bool ok = fs::is_directory(staged)
                                ? enterFolder(child, error) && walk(child, error)
                                : replace(child, error);
            if (!ok) return false;
        }
        return true;
    }

    // The program's folder for a folder of the package: made when missing; a file or a link in
    // its place (which could lead outside the program folder) is refused.
    bool enterFolder(const fs::path& rel, QString& error) {
        const fs::path target = m_program / rel;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(target, ec);
        if (fs::is_directory(st)) return true;
        if (fs::exists(st)) return fail(error, QStringLiteral("文件夹的位置上已有文件："), rel);
        if (!fs::create_directory(target, ec) || ec)
            return fail(error, QStringLiteral("无法创建文件夹："), rel);
        m_steps.push_back({Step::MadeFolder, target, {}, {}});
        return true;
    }

    bool replace(const fs::path& rel, QString& error) {
        const fs::path target = m_program / rel, staged = m_staging / rel;
        std::error_code ec;
        const fs::file_status old = fs::symlink_status(target, ec);
        if (fs::is_directory(old))
            return fail(error, QStringLiteral("文件的位置上已有文件夹："), rel);
        Step step{Step::Placed, target, staged, {}};
        fs::perms execBits = fs::perms::none;
        if (fs::exists(old)) {
            if (fs::is_regular_file(old))
                execBits = old.permissions() &
                           (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
            const fs::path backup = m_backup / rel;
            fs::create_directories(backup.parent_path(), ec);
            fs::rename(target, backup, ec);
            if (ec) return fail(error, QStringLiteral("无法备份文件："), rel);
            step.backup = backup;
        }
        fs::rename(staged, target, ec);
        if (ec) {
            if (!step.backup.empty()) fs::rename(step.backup, target, ec);
            return fail(error, QStringLiteral("无法替换文件："), rel);
        }
        m_steps.push_back(step);
        if (execBits != fs::perms::none && fs::is_regular_file(fs::symlink_status(target, ec)))
            fs::permissions(target, execBits, fs::perm_options::add, ec);
        return true;
    }

    static bool fail(QString& error, const QString& what, const fs::path& rel) {
        error = what + QString::fromStdU16String(rel.generic_u16string());
        return false;
    }

    fs::path m_staging, m_program, m_backup;
    std::vector<Step> m_steps;
};

// Waits until the program folder's single-copy lock can be taken: no Stitchwell runs from there.
int takeProgramLock(QLockFile& lock, const Options& options, std::ostream& err) {
    const qint64 until =
        QDateTime::currentMSecsSinceEpoch() + static_cast<qint64>(options.waitSeconds * 1000);
    const InstanceLock::Outcome taken = InstanceLock::TakeWaiting(lock, [&] {
        if (QDateTime::currentMSecsSinceEpoch() >= until) return false;
        QThread::msleep(static_cast<unsigned long>(options.pollMs));
        return true;
    });
    if (taken == InstanceLock::Outcome::CannotMake) {
        err << "无法在程序文件夹中建立锁文件，放弃更新\n";
        return kCannotLock;
    }
    if (taken == InstanceLock::Outcome::HeldByAnother) {
        err << "程序仍在运行，放弃更新\n";
        return kStillRunning;
    }
    return kUpdated;
}

// Unpacks and replaces; the package goes only when everything is in place.
int update(const Request& request, const QString& programFolder, std::ostream& err) {
    const QFileInfo folder(programFolder);
    const QString besides = folder.absolutePath() + "/" + folder.fileName();
    QTemporaryDir staging(besides + ".update-XXXXXX");
    QTemporaryDir backup(besides + ".backup-XXXXXX");
    if (!staging.isValid() || !backup.isValid()) {
        err << "无法在程序文件夹旁建立暂存文件夹，放弃更新\n";
        return kReplaceFailed;
    }
    QString error;
    if (!unpackPackage(request.package, staging.path(), error)) {
        err << utf8(error) << "\n";
        return kBadPackage;
    }
    bool rolledBack = true;
    if (!replaceFiles(staging.path(), programFolder, backup.path(), error, rolledBack)) {
        err << utf8(error) << "\n";
        if (!rolledBack) {
            backup.setAutoRemove(false);
            err << "部分文件未能恢复，备份保留在：" << utf8(backup.path()) << "\n";
        }
        return kReplaceFailed;
    }
    QFile::remove(request.package);
    return kUpdated;
}

}  // namespace

std::optional<Request> parseParameters(const std::string& text) {
    const QStringList fields = QString::fromStdString(text).split('\t');
    Request r{fields.value(0).trimmed(), fields.value(1).trimmed(), fields.value(2),
              fields.value(3)};
    if (r.package.isEmpty()) return std::nullopt;
    return r;
}

std::optional<QString> safeEntryPath(const QString& name) {
    QString path = name;
    path.replace('\\', '/');
    static const QRegularExpression drive("^[A-Za-z]:");
    if (path.startsWith('/') || drive.match(path).hasMatch()) return std::nullopt;
    QStringList kept;
    for (const QString& piece : path.split('/', Qt::SkipEmptyParts)) {
        if (piece == ".") continue;
        if (piece == "..") return std::nullopt;
        kept << piece;
    }
    return kept.join('/');
}

bool linkStaysInside(const QString& entryPath, const QString& target) {
    QString to = target;
    to.replace('\\', '/');
    if (to.isEmpty() || to.startsWith('/')) return false;
    QStringList at = entryPath.split('/', Qt::SkipEmptyParts);
    if (!at.isEmpty()) at.removeLast();  // the link's own folder
    for (const QString& piece : to.split('/', Qt::SkipEmptyParts)) {
        if (piece == ".") continue;
        if (piece == "..") {
            if (at.isEmpty()) return false;
            at.removeLast();
        } else {
            at << piece;
        }
    }
    return true;
}

bool unpackPackage(const QString& package, const QString& staging, QString& error) {
    // Entry names are UTF-8 here, whatever locale the process runs in.
    const platform::Utf8ConversionScope utf8Names;
    ArchivePtr in(archive_read_new());
    ArchivePtr out(archive_write_disk_new());
    if (!in || !out) {
        error = QStringLiteral("内存不足");
        return false;
    }
    archive_read_support_filter_all(in.get());
    archive_read_support_format_rar(in.get());
    archive_read_support_format_rar5(in.get());
    archive_read_support_format_zip(in.get());
    archive_read_support_format_7zip(in.get());
    archive_read_support_format_tar(in.get());
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                  ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                  ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    if (archive_read_open_filename(in.get(), QFile::encodeName(package).constData(), 1 << 16) !=
        ARCHIVE_OK) {
        error = QStringLiteral("无法打开更新包：") + archiveError(in.get());
        return false;
    }
    int files = 0;
    while (true) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) {
            error = QStringLiteral("更新包已损坏或不是压缩包：") + archiveError(in.get());
            return false;
        }
        bool skip = false;
        if (!placeEntry(entry, staging, skip, error)) return false;
        if (skip) continue;
        if (archive_write_header(out.get(), entry) < ARCHIVE_WARN) {
            error = QStringLiteral("无法写入暂存文件夹：") + archiveError(out.get());
            return false;
        }
        if (!copyData(in.get(), out.get(), error)) return false;
        if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN) {
            error = QStringLiteral("无法写入暂存文件夹：") + archiveError(out.get());
            return false;
        }
        if (archive_entry_filetype(entry) != AE_IFDIR) ++files;
    }
    if (archive_write_close(out.get()) < ARCHIVE_WARN) {
        error = QStringLiteral("无法写入暂存文件夹：") + archiveError(out.get());
        return false;
    }
    if (files == 0) {
        error = QStringLiteral("更新包中没有文件");
        return false;
    }
    return true;
}

bool replaceFiles(const QString& staging, const QString& programFolder, const QString& backup,
                  QString& error, bool& rolledBack) {
    Replacer replacer(staging, programFolder, backup);
    rolledBack = true;
    if (replacer.run(error)) return true;
    rolledBack = replacer.undo();
    return false;
}

// The outcome for the next Stitchwell start; a folder that cannot be written keeps none.
static void writeRecord(int result, const std::string& said, const ProgramFolder& folder) {
    const UpdateRecord::Outcome outcome = result == kUpdated ? UpdateRecord::Outcome::Replaced
                                          : result == kStillRunning
                                              ? UpdateRecord::Outcome::GaveUpWaiting
                                              : UpdateRecord::Outcome::Unchanged;
    platform::writeFile(folder.file(UpdateRecord::kFileName), UpdateRecord::Text(outcome, said));
}

int runProgram(const std::string& commandLine, const QString& programFolder, std::ostream& err,
               Options options) {
    if (!options.shellStart) options.shellStart = platform::shellExecute;
    const std::optional<Request> request = parseParameters(commandLine);
    if (!request) {
        const std::string usage =
            "用法：Powerloop.exe 更新包路径<TAB>1<TAB>程序标题<TAB>窗口标题\n";
        err << usage;
        writeRecord(kBadParameters, usage, ProgramFolder(programFolder.toStdString()));
        return kBadParameters;
    }
    int result = kUpdated;
    std::ostringstream said;  // what went wrong, for the outcome record
    {
        const ProgramFolder folder(programFolder.toStdString());
        QLockFile lock(QString::fromStdString(folder.copyLock()));
        result = takeProgramLock(lock, options, said);
        // While files are replaced, a Stitchwell that starts finds this lock held and leaves the
        // update alone.
        QLockFile updating(QString::fromStdString(folder.file(UpdateRecord::kUpdateLock)));
        if (result == kUpdated) {
            InstanceLock::Take(updating);
            if (!QFileInfo(request->package).isFile()) {
                said << "更新包不存在：" << utf8(request->package) << "\n";
                result = kNoPackage;
            } else {
                result = update(*request, programFolder, said);
            }
        }
        err << said.str();
        writeRecord(result, said.str(), folder);
        if (result == kStillRunning || result == kCannotLock) return result;
    }  // the locks are given up before Stitchwell starts again
    if (request->mode == "1") {
        const QString program = programFolder + "/" + options.programName;
        options.shellStart(utf8(program), "", utf8(programFolder), false);
    }
    return result;
}

}  // namespace powerloop
