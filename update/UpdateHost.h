#pragma once
// The main window as the updater sees it: the program folder, the caption and the version number
// read, the update offered, the window hidden and shown around the update command, the message
// boxes, and the place of the updater's two entries. Form1 implements it.

#include <QString>
#include <functional>

class DialogService;
class QWidget;

class UpdateHost {
public:
    virtual ~UpdateHost() = default;

    // The program folder, where the updater's files are downloaded.
    virtual QString programFolder() const = 0;
    // The window's caption, and TV, the program's version number ("005").
    virtual QString caption() const = 0;
    virtual QString versionText() const = 0;
    // MenuUpdate: enabled with "  发现有更新版本" appended to the caption, or disabled.
    virtual void offerUpdate(bool offered) = 0;
    // Hidden while the update command works; shown again at its normal size and activated.
    virtual void hideWindow() = 0;
    virtual void showWindow() = 0;
    // The message boxes and the file manager, and the window the boxes belong to.
    virtual DialogService& dialogs() const = 0;
    virtual QWidget* dialogOwner() = 0;
    // The updater's entries: the start-up check, run on the window being loaded, and the update
    // command that MenuUpdate runs.
    virtual void setUpdateEntries(std::function<void(UpdateHost&)> startupCheck,
                                  std::function<void()> updateCommand) = 0;
};
