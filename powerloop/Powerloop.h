#pragma once
// Powerloop, the update program: started by Stitchwell with the parameter text
// package path TAB mode TAB application title TAB window caption. It waits until no Stitchwell
// runs from its program folder, unpacks the package into a staging folder beside the program
// folder, replaces the program's files one by one (each with a backup, every one rolled back
// when a step fails), removes the package, and with mode "1" starts Stitchwell again. Qt Core
// and libarchive; no windows.
//
// Modes: "1" starts Stitchwell once the work is over, whether the files were replaced or, after
// a failure, left as they were (the user gets the program back either way); any other mode only
// replaces the files. Nothing is started while Stitchwell still runs.

#include <QString>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace powerloop {

enum Exit {
    kUpdated = 0,
    kBadParameters = 2,
    kStillRunning = 3,  // Stitchwell did not end in time: nothing was touched
    kNoPackage = 4,
    kBadPackage = 5,     // not an archive, damaged, empty or with an unsafe entry: nothing changed
    kReplaceFailed = 6,  // a file could not be replaced: every replaced file was rolled back
    kCannotLock = 7,     // the program folder's lock cannot be made (the folder cannot be written)
};

struct Request {
    QString package;
    QString mode;
    QString title;
    QString caption;
};
// The four TAB-separated fields; nullopt without a package path.
std::optional<Request> parseParameters(const std::string& text);

// An entry name of a package as a clean relative path ("a/b"): "\" counts as a separator, "."
// and empty pieces are dropped. nullopt for a name that would leave the folder (absolute, a
// drive, ".."); an empty text for the folder itself.
std::optional<QString> safeEntryPath(const QString& name);
// True when a link at entryPath with the given target stays inside the folder.
bool linkStaysInside(const QString& entryPath, const QString& target);

// Unpacks a RAR, zip, 7z or tar package (told by its content) into the existing folder staging.
// Refuses, writing nothing outside staging, an entry with an unsafe path, a link that leaves the
// folder, a device or pipe entry, and a package without files. False with a message on error.
bool unpackPackage(const QString& package, const QString& staging, QString& error);

// Moves everything under staging over programFolder, one entry at a time; a replaced file goes to
// backup first (same relative path) and keeps the executable bits of the file it replaces. When
// a step fails, every step done is undone and the result is false with a message; rolledBack
// tells whether the undo itself succeeded (the backups must then be kept).
bool replaceFiles(const QString& staging, const QString& programFolder, const QString& backup,
                  QString& error, bool& rolledBack);

struct Options {
    double waitSeconds = 60;  // how long Stitchwell may take to end
    int pollMs = 200;
    // The program started again for mode "1".
    QString programName = QStringLiteral("Stitchwell");
    // The shell start (default platform::shellExecute): platform::kShellStarted when started.
    std::function<int(const std::string& file, const std::string& params, const std::string& dir,
                      bool hidden)>
        shellStart;
};

// The whole program; messages go to err. Returns an Exit value.
int runProgram(const std::string& commandLine, const QString& programFolder, std::ostream& err,
               Options options = {});

}  // namespace powerloop
