#include "merge/MaterialFolder.h"

#include <algorithm>
#include <cstdint>

#include "merge/MergeTexts.h"
#include "platform/Platform.h"

namespace {

// A file whose contents changed within the last second is still being copied in.
constexpr double kSettleSeconds = 1.0;
// A listing handles the window's pending events once per this many files: often enough for a
// folder of thousands, without an event round per file.
constexpr std::size_t kFilesPerPump = 64;
// Preparations of one file that may fail before it is set aside for the rest of the run.
constexpr int kFailuresAllowed = 2;

}  // namespace

MaterialFolder::MaterialFolder(std::string path, Kind kind, Hooks hooks)
    : m_path(std::move(path)), m_kind(kind), m_hooks(std::move(hooks)) {}

std::string MaterialFolder::fileOf(const std::string& name) const {
    return m_path + platform::sepStr() + name;
}

bool MaterialFolder::takes(const std::string& name, bool patternsOnly) const {
    if (m_kind == Kind::Music) return MergeTexts::IsMp3Name(name);
    return MergeTexts::IsClipName(name) && (!patternsOnly || MergeTexts::MatchesClipPatterns(name));
}

MaterialFolder::Listing MaterialFolder::list(bool patternsOnly) {
    Listing listing;
    const auto names = platform::listFiles(m_path);
    if (!names || !MergeTexts::Carriable(m_path)) return listing;
    std::size_t seen = 0;
    for (const std::string& name : *names) {
        if (++seen % kFilesPerPump == 0 && m_hooks.pump) m_hooks.pump();
        if (!takes(name, patternsOnly)) continue;
        const std::string file = fileOf(name);
        if (!usable(file)) continue;
        if (!platform::systemCarries(file))
            listing.uncarried.push_back(file);
        else if (settled(file))
            listing.names.push_back(name);
        else
            ++listing.settling;
    }
    return listing;
}

// A file seen settled is not looked at again by later listings (twenty folders of hundreds of
// clips would cost a look per file and pass); the pick looks once more at the file it takes.
bool MaterialFolder::settled(const std::string& file) {
    if (m_settled.count(file)) return true;
    const auto age = platform::secondsSinceChange(file);
    if (!age || *age < kSettleSeconds) return false;
    m_settled.insert(file);
    return true;
}

std::optional<std::string> MaterialFolder::pick(const std::vector<std::string>& names) {
    while (!m_hooks.stopped()) {
        const int index = MergeTexts::PickIndex(m_hooks.draw(), static_cast<int>(names.size()));
        const std::string file = fileOf(names[index]);
        if (m_hooks.pump) m_hooks.pump();
        if (platform::fileExists(file)) {
            const auto age = platform::secondsSinceChange(file);
            if (age && *age >= kSettleSeconds) return file;
            m_settled.erase(file);
            return std::nullopt;
        }
        const bool anyLeft = std::any_of(names.begin(), names.end(), [&](const auto& name) {
            return platform::fileExists(fileOf(name));
        });
        if (!anyLeft) break;
    }
    return std::nullopt;
}

void MaterialFolder::setAside(const std::string& file) {
    m_settled.erase(file);
    m_setAside[file] = platform::fileSize(file);
}

bool MaterialFolder::usable(const std::string& file) {
    const auto it = m_setAside.find(file);
    if (it == m_setAside.end()) return true;
    if (platform::fileSize(file) == it->second) return false;
    m_setAside.erase(it);
    m_failures.erase(file);
    return true;
}

bool MaterialFolder::failed(const std::string& file) {
    return ++m_failures[file] >= kFailuresAllowed;
}
