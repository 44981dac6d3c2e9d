#include "tests/powerloop/Packages.h"

#include <archive.h>
#include <archive_entry.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "platform/Platform.h"
#include "tests/update/TestServer.h"

bool writePackage(const QString& path, const char* format,
                  const std::vector<PackageEntry>& entries) {
    const platform::Utf8ConversionScope utf8Names;
    archive* a = archive_write_new();
    bool ok = archive_write_set_format_by_name(a, format) == ARCHIVE_OK &&
              archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const PackageEntry& e : entries) {
        if (!ok) break;
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, e.name.toUtf8().constData());
        archive_entry_set_perm(entry, e.mode);
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (e.kind) {
            case PackageEntry::File:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, e.data.size());
                break;
            case PackageEntry::Folder:
                archive_entry_set_filetype(entry, AE_IFDIR);
                break;
            case PackageEntry::Symlink:
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_symlink_utf8(entry, e.link.toUtf8().constData());
                break;
            case PackageEntry::Hardlink:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_hardlink_utf8(entry, e.link.toUtf8().constData());
                break;
        }
        ok = archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && e.kind == PackageEntry::File && !e.data.isEmpty())
            ok = archive_write_data(a, e.data.constData(), e.data.size()) == e.data.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

QStringList snapshot(const QString& dir) {
    QStringList items;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString rel = QDir(dir).relativeFilePath(info.filePath());
        if (info.isSymLink())
            items << rel + " -> " + info.symLinkTarget();
        else if (info.isDir())
            items << rel + "/";
        else
            items << rel + (info.isExecutable() ? "*: " : ": ") +
                         QCryptographicHash::hash(readAll(info.filePath()), QCryptographicHash::Md5)
                             .toHex();
    }
    items.sort();
    return items;
}
