#pragma once
// The updater's two entries on the main window: the quiet start-up version check and the update
// command, which makes sure an extractor is there, downloads the package in the progress window,
// shows it in the file manager and hands it to the update program, after which Stitchwell ends.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "update/TaksDL.h"
#include "update/UrlDownload.h"

class UpdateHost;

struct UpdaterOptions {
    // The server base; empty: UpdateRules::serverBase().
    QString serverBase;
    // The version file's transfer: a few seconds at most, and small.
    TransferLimits versionLimits = {3000, 5000, 0, 64 * 1024, {}};
    // The engine of the large downloads (the installer and the package).
    EngineOptions engine;
    // The extractor check; default UpdateRules::extractorPath.
    std::function<QString(const QString& programFolder)> extractor;
    // Seconds on a steady scale and the event pump, for the wait for an installed extractor.
    std::function<double()> clock;
    std::function<void()> pump;
    double installerWaitSeconds = 60;
    // The shell start (default platform::shellExecute): platform::kShellStarted when started.
    std::function<int(const std::string& file, const std::string& params, const std::string& dir,
                      bool hidden)>
        shellStart;
    // Ends the program at once (default: without any closing steps).
    std::function<void()> endProgram;
};

// What the start-up check learnt for the update command.
struct UpdateOffer {
    QByteArray packageSha256;  // empty: the version file names no checksum
};

// The start-up check: downloads the version file into the program folder and, when it names
// another version than TV's, enables MenuUpdate and appends "  发现有更新版本" to the caption;
// disables MenuUpdate when the file cannot be fetched. Leftover partial downloads of the
// updater's files are removed first.
void StartupVersionCheck(UpdateHost& host, const UpdaterOptions& options, UpdateOffer& offer);

// The update command (MenuUpdate).
void UpdateCommand(UpdateHost& host, const UpdaterOptions& options, const UpdateOffer& offer);

// Sets the host's update entries (the start-up check and the update command) and the download
// windows. Options left empty take their defaults.
void installUpdater(UpdateHost& host, UpdaterOptions options = {});
// The options with every empty field set to its default.
UpdaterOptions withDefaults(UpdaterOptions options);
