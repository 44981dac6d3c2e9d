#include "merge/Claims.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>

#include "media/ProgramFolder.h"
#include "merge/UsedMaterial.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace {

constexpr const char* kFolderPrefix = ".stitchwell-claims-";

std::string nameOf(const std::string& path) {
    return std::string(text::baseName(path, platform::kSep));
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.size() - std::min(path.size(), nameOf(path).size() + 1));
}

}  // namespace

Claims::Claims(std::string programFolder)
    : m_journal(ProgramFolder(programFolder).claimJournal()),
      m_folderName(FolderName(platform::machineName(), programFolder)) {}

std::string Claims::FolderName(const std::string& machine, const std::string& programFolder) {
    // FNV-1a over both texts: short, stable across starts and builds
    std::uint32_t hash = 2166136261u;
    for (const char c : machine + '\n' + programFolder) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    return kFolderPrefix + std::string(hex);
}

std::string Claims::folderFor(const std::string& sourceFolder) const {
    return sourceFolder + platform::sepStr() + m_folderName;
}

Claims::Claim Claims::claim(const std::string& path) {
    const std::string folder = folderFor(folderOf(path));
    remember(folder);
    if (!platform::dirExists(folder)) platform::makeSurePathExists(folder);
    if (const auto target =
            UsedMaterial::MoveUnderFreeName(path, folder + platform::sepStr(), nameOf(path))) {
        m_pass.push_back({path, *target});
        return {Outcome::Claimed, *target};
    }
    return {platform::fileExists(path) ? Outcome::Refused : Outcome::Gone, {}};
}

std::optional<std::string> Claims::GiveBack(const std::string& claimed,
                                            const std::string& original) {
    const auto back = UsedMaterial::MoveUnderFreeName(
        claimed, folderOf(original) + platform::sepStr(), nameOf(original));
    if (!back) diag::note(diag::Area::Merge, "could not give back " + claimed);
    return back;
}

Claims::Returned Claims::giveBack(const std::string& claimed) {
    const auto it = std::find_if(m_pass.begin(), m_pass.end(),
                                 [&](const Taken& t) { return t.claimed == claimed; });
    if (it == m_pass.end()) return {claimed};
    const Taken taken = *it;
    m_pass.erase(it);
    if (!platform::fileExists(taken.claimed)) return {taken.original};
    if (const auto back = GiveBack(taken.claimed, taken.original)) return {*back};
    return {taken.claimed, true};
}

std::vector<std::string> Claims::passClaims() const {
    std::vector<std::string> claimed;
    for (auto it = m_pass.rbegin(); it != m_pass.rend(); ++it) claimed.push_back(it->claimed);
    return claimed;
}

std::string Claims::originOf(const std::string& claimed) const {
    for (const Taken& t : m_pass)
        if (t.claimed == claimed) return t.original;
    return claimed;
}

int Claims::giveBackAll(std::vector<std::string>* notes) {
    std::set<std::string> kept;
    int given = 0;
    for (const std::string& folder : readJournal()) {
        const std::string source = folderOf(folder);
        if (!platform::dirExists(folder)) {
            // gone with its share: looked at again next time; removed by a user: forgotten
            if (!platform::dirExists(source)) kept.insert(folder);
            continue;
        }
        for (const std::string& name :
             platform::listFiles(folder, true).value_or(std::vector<std::string>{})) {
            const std::string claimed = folder + platform::sepStr() + name;
            const auto back = GiveBack(claimed, source + platform::sepStr() + name);
            if (back) ++given;
            if (notes) notes->push_back(back ? "归还素材：" + *back : "无法归还素材：" + claimed);
        }
        const auto left = platform::listFiles(folder, true);
        if (left && left->empty())
            platform::deleteTree(folder);
        else
            kept.insert(folder);
    }
    writeJournal(kept);
    m_known = kept;
    return given;
}

void Claims::remember(const std::string& claimFolder) {
    if (m_known.count(claimFolder)) return;
    // written before the first file goes in: a copy killed a moment later finds it next time
    m_known = readJournal();
    if (m_known.insert(claimFolder).second) writeJournal(m_known);
}

std::set<std::string> Claims::readJournal() const {
    std::set<std::string> folders;
    std::istringstream in(platform::readFile(m_journal).value_or(""));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // only claim folders of this copy: a journal edited by hand moves nothing else
        if (nameOf(line) == m_folderName) folders.insert(line);
    }
    return folders;
}

void Claims::writeJournal(const std::set<std::string>& folders) const {
    if (folders.empty()) {
        platform::deleteFile(m_journal);
        return;
    }
    std::string text;
    for (const std::string& folder : folders) text += folder + "\n";
    platform::writeFile(m_journal, text);
}
