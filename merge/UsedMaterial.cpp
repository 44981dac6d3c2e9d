#include "merge/UsedMaterial.h"

#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"

UsedMaterial::UsedMaterial(const std::string& root, const std::string& runDate) {
    const std::string sep = platform::sepStr();
    m_videoDir = root + sep + runDate + sep + "视频" + sep;
    m_audioDir = root + sep + runDate + sep + "音频" + sep;
    platform::makeSurePathExists(m_videoDir);
    platform::makeSurePathExists(m_audioDir);
}

std::string UsedMaterial::FreeStoreName(const std::string& dir, const std::string& name,
                                        const std::function<bool(const std::string&)>& exists) {
    if (!exists(dir + name)) return dir + name;
    const auto dot = name.rfind('.');
    const bool bare = dot == std::string::npos || dot == 0;
    const std::string stem = bare ? name : name.substr(0, dot);
    const std::string ext = bare ? std::string() : name.substr(dot);
    for (int k = 1;; ++k) {
        const std::string candidate = dir + stem + " (" + std::to_string(k) + ")" + ext;
        if (!exists(candidate)) return candidate;
    }
}

std::optional<std::string> UsedMaterial::MoveUnderFreeName(const std::string& from,
                                                           const std::string& dir,
                                                           const std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string target = FreeStoreName(dir, name, platform::pathExists);
        if (platform::moveFileNoReplace(from, target)) return target;
        if (!platform::fileExists(from) || !platform::pathExists(target)) break;
    }
    return std::nullopt;
}

void UsedMaterial::Store(const std::string& path, const std::string& dir) {
    if (path.empty() || !platform::fileExists(path)) return;
    const std::string name(text::baseName(path, platform::kSep));
    if (MoveUnderFreeName(path, dir, name)) return;
    const std::string target = FreeStoreName(dir, name, platform::pathExists);
    // The move left the source in place while the target name is free: copy, then delete the
    // source only when the copy is there.
    if (platform::fileExists(path) && !target.empty() && !platform::pathExists(target)) {
        diag::note(diag::Area::Merge, "moving " + path + " failed; copying it to " + target);
        if (platform::copyFileReplace(path, target)) platform::deleteFile(path);
    }
}
