#pragma once
// Module NewDir: the folder picker. The user chooses a folder with the desktop's folder browser;
// the result is a plain absolute path without a trailing separator, or an empty text when the
// user cancels.

#include <QString>
#include <string>

class DialogService;
class QWidget;

namespace NewDir {

// Opens the browser with the prompt as caption, preselecting initialFolder when one is given;
// newFolderStyle offers to make a new folder. Returns the normalised choice or "".
QString BrowseForFolder(DialogService& dialogs, const QString& prompt, const QString& initialFolder,
                        bool newFolderStyle, QWidget* owner = nullptr);

// The initial folder as handed to the browser: ends in exactly one separator.
std::string InitialFolderText(const std::string& initialFolder, char sep);

// Normalises a chosen folder. With "\" as separator: append "\", reduce every "\\" to "\" (one
// pass), put the second "\" back in front of a network path, drop the last "\" — so "D:\"
// gives "D:", "\\server\share" stays, "D:\clips\" gives "D:\clips". With "/" as separator:
// doubled separators collapse and a trailing one goes, but the root stays "/". "" stays "".
std::string NormalizeFolder(const std::string& chosen, char sep);

}  // namespace NewDir
