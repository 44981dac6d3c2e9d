#include "merge/Claims.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

#include "media/ProgramFolder.h"
#include "merge/MergeRun.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"

namespace {

constexpr const char* kFolderPrefix = ".stitchwell-claims-";

std::string folderOf(const std::string& path) {
    const auto at = path.find_last_of(platform::sepStr());
    return at == std::string::npos ? std::string(".") : path.substr(0, at);
}

std::string nameOf(const std::string& path) {
    const auto at = path.find_last_of(platform::sepStr());
    return at == std::string::npos ? path : path.substr(at + 1);
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
    if (!platform::dirExists(folder) && !platform::makeSurePathExists(folder))
        return {platform::fileExists(path) ? Outcome::Refused : Outcome::Gone, {}};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string target = MergeRun::FreeStoreName(folder + platform::sepStr(),
                                                           nameOf(path), platform::pathExists);
        if (platform::moveFileNoReplace(path, target)) return {Outcome::Claimed, target};
        if (!platform::fileExists(path)) return {Outcome::Gone, {}};
        if (!platform::pathExists(target)) break;  // failed for another reason than the name
    }
    return {Outcome::Refused, {}};
}

std::optional<std::string> Claims::GiveBack(const std::string& claimed,
                                            const std::string& original) {
    const std::string folder = folderOf(original) + platform::sepStr();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string target =
            MergeRun::FreeStoreName(folder, nameOf(original), platform::pathExists);
        if (platform::moveFileNoReplace(claimed, target)) return target;
        if (!platform::fileExists(claimed) || !platform::pathExists(target)) break;
    }
    diag::note(diag::Area::Merge, "could not give back " + claimed);
    return std::nullopt;
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
