#include "merge/OutputFolder.h"

#include <algorithm>

#include "media/ProgramFolder.h"
#include "merge/MergeTexts.h"
#include "platform/Platform.h"

namespace {

// `path` is `base` or lies inside it (both canonical).
bool within(const std::string& path, const std::string& base) {
    if (base.empty() || path.empty()) return false;
    if (path == base) return true;
    const std::string prefix = base.back() == platform::kSep ? base : base + platform::sepStr();
    return path.rfind(prefix, 0) == 0;
}

}  // namespace

OutputFolder::OutputFolder(std::string path) : m_path(std::move(path)) {}

bool OutputFolder::Refused(const std::string& output, const std::string& programFolder,
                           const std::vector<std::string>& sourceFolders,
                           const std::string& usedRoot) {
    const std::string out = platform::canonicalPath(output);
    if (out.empty()) return false;
    const std::string program = platform::canonicalPath(programFolder);
    if (out == program) return true;
    if (within(out, platform::canonicalPath(ProgramFolder(programFolder).workFolder())))
        return true;
    if (within(out, platform::canonicalPath(usedRoot))) return true;
    return std::any_of(sourceFolders.begin(), sourceFolders.end(), [&out](const std::string& s) {
        return !s.empty() && platform::canonicalPath(s) == out;
    });
}

int OutputFolder::RemoveLeftovers(const std::string& folder) {
    int removed = 0;
    const auto names = platform::listFiles(folder, true);
    if (!names) return 0;
    for (const std::string& name : *names) {
        if (MergeTexts::IsLeftoverOutputName(name) &&
            platform::deleteFile(folder + platform::sepStr() + name))
            ++removed;
    }
    return removed;
}

OutputFolder::Room OutputFolder::room() const {
    if (!platform::dirExists(m_path)) platform::makeSurePathExists(m_path);
    const auto free = platform::freeSpace(m_path);
    if (free && *free < std::max(kMinFreeBytes, m_needed)) return Room::Full;
    if (!platform::folderWritable(m_path)) return Room::NotWritable;
    return Room::Enough;
}

std::string OutputFolder::beginVideo() {
    m_number = m_nextNumber;
    while (platform::pathExists(MergeTexts::OutputFile(m_path, m_number, platform::kSep)))
        ++m_number;
    m_partial = MergeTexts::PartialOutputFile(m_path, m_number, platform::kSep);
    if (!MergeTexts::Carriable(m_partial)) return {};
    platform::deleteFile(m_partial);
    return m_partial;
}

bool OutputFolder::discardPartial() {
    const std::int64_t reached = platform::fileSize(m_partial);
    const auto free = platform::freeSpace(m_path);
    platform::deleteFile(m_partial);
    if (!free || *free >= std::max(kMinFreeBytes, reached)) return false;
    m_needed = std::max(kMinFreeBytes, 2 * reached);
    return true;
}

std::string OutputFolder::finishVideo() {
    std::string file = MergeTexts::OutputFile(m_path, m_number, platform::kSep);
    while (!platform::moveFileNoReplace(m_partial, file)) {
        if (!platform::pathExists(file) || !platform::fileExists(m_partial)) return {};
        file = MergeTexts::OutputFile(m_path, ++m_number, platform::kSep);
    }
    m_needed = 0;
    m_nextNumber = m_number + 1;
    return file;
}
