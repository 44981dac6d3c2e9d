#pragma once
// The rules of the update check and install as pure functions: where the server files are, what
// the version file says, the parameter text for the update program, and which extractor can
// unpack a package. Qt Core only.

#include <QByteArray>
#include <QString>

#include "media/ProgramFolder.h"

namespace UpdateRules {

// The vendor's download server; the environment variable STITCHWELL_UPDATE_SERVER (a base such
// as "http://127.0.0.1:8123") replaces it.
inline constexpr const char* kUpdateServer = "https://update.stitchwell.example";
inline constexpr const char* kServerVariable = "STITCHWELL_UPDATE_SERVER";

// Files under "/downs/" on the server and the names they are saved under.
inline constexpr const char* kVersionFile = ProgramFolder::kVersionFile;
inline constexpr const char* kPackageFile = ProgramFolder::kUpdatePackage;
inline constexpr const char* kInstallerFile = "wrar411sc.rar";
inline constexpr const char* kInstallerSaveName = ProgramFolder::kArchiverInstaller;
inline constexpr const char* kUpdateProgram = ProgramFolder::kUpdater;

// The server base in use: the variable when set (blanks and a trailing "/" removed), else the
// built-in address.
QString serverBase();
// base + "/downs/" + file.
QString serverFileUrl(const QString& base, const QString& file);

struct VersionFile {
    QString firstLine;
    // The SHA-256 of the package when the second line holds 64 hexadecimal digits; else empty.
    QByteArray packageSha256;
};
VersionFile parseVersionFile(const QByteArray& bytes);

// True when the first line of the version file names another version than the running one:
// their leading-number values differ, in either direction. A line that does not begin with a
// number names no version and offers nothing.
bool offersUpdate(const QString& firstLine, const QString& runningVersion);

// True when the file's SHA-256 is the given one.
bool fileMatchesSha256(const QString& path, const QByteArray& sha256);

// The update program's parameter text: package path, TAB, "1", TAB, title, TAB, caption.
QString updateProgramParameters(const QString& packagePath, const QString& title,
                                const QString& caption);

// An extractor that can unpack the package: the update program of the program folder (it
// carries its own unpacker), else "unrar" or "bsdtar" on the search path; empty when none.
QString extractorPath(const QString& programFolder);

}  // namespace UpdateRules
