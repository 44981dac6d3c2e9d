#pragma once
// Update packages made with libarchive's writer (this machine has no RAR writer): zip, 7z or
// tar, with files, folders and links of any name, for the update program's tests.

#include <QByteArray>
#include <QString>
#include <vector>

struct PackageEntry {
    enum Kind { File, Folder, Symlink, Hardlink };
    PackageEntry(QString n, QByteArray d = {}, Kind k = File, QString l = {}, int m = 0644)
        : name(std::move(n)), data(std::move(d)), kind(k), link(std::move(l)), mode(m) {}
    QString name;
    QByteArray data;
    Kind kind = File;
    QString link;  // target of a link
    int mode = 0644;
};

// format: "zip", "7zip" or "pax". False when the package cannot be written.
bool writePackage(const QString& path, const char* format,
                  const std::vector<PackageEntry>& entries);

// Every entry under dir, recursively, as "path: content" (links as "path -> target", folders as
// "path/", executables marked "*"): two calls compare equal when nothing changed.
QStringList snapshot(const QString& dir);
