#include "shell/NewDir.h"

#include <QDir>

#include "platform/Platform.h"
#include "platform/Text.h"
#include "shell/DialogService.h"

namespace NewDir {

namespace {

// Replaces every pair of separators by one, in a single left-to-right pass (three in a row
// leave two), as a plain text replacement does.
std::string reducePairs(const std::string& s, char sep) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (s[i] == sep && i + 1 < s.size() && s[i + 1] == sep) ++i;
    }
    return out;
}

}  // namespace

std::string InitialFolderText(const std::string& initialFolder, char sep) {
    if (initialFolder.empty()) return std::string();
    return reducePairs(initialFolder + sep, sep);
}

std::string NormalizeFolder(const std::string& chosen, char sep) {
    if (chosen.empty()) return std::string();
    if (sep == '\\') {
        std::string r = reducePairs(chosen + sep, sep);
        if (r.front() == sep) r.insert(r.begin(), sep);  // a network path keeps its "\\"
        if (r.back() == sep) r.pop_back();
        return r;
    }
    std::string r;
    r.reserve(chosen.size());
    for (char c : chosen) {
        if (c == sep && !r.empty() && r.back() == sep) continue;
        r += c;
    }
    return text::withoutTrailingSeparators(r, sep);
}

QString BrowseForFolder(DialogService& dialogs, const QString& prompt, const QString& initialFolder,
                        bool newFolderStyle, QWidget* owner) {
    const QString initial = QString::fromStdString(
        InitialFolderText(QDir::toNativeSeparators(initialFolder).toStdString(), platform::kSep));
    const QString chosen = dialogs.browseFolderFrom(owner, prompt, initial, newFolderStyle);
    if (chosen.isEmpty()) return QString();
    return QString::fromStdString(
        NormalizeFolder(QDir::toNativeSeparators(chosen).toStdString(), platform::kSep));
}

}  // namespace NewDir
