#include "merge/MergeRun.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>

#include "media/General.h"
#include "media/MediaReport.h"
#include "media/ProgramFolder.h"
#include "media/ToolReport.h"
#include "merge/Claims.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "shell/FolderOps.h"
#include "shell/ShutDownP.h"

namespace {

const std::string kTool(ProgramFolder::kTranscoder);
const std::string kCompressor(ProgramFolder::kCompressor);
const std::string kCrLf = "\r\n";
const std::string kCountedAudioPrefix = "背景mp3音乐数：";
// The longest wait between two looks at the process list. A wait ends early when a tool of ours
// ends or the stop is pressed, so it only bounds how late the end of someone else's transcoder
// is seen.
constexpr int kPollMs = 500;
// The pump of the scans and picks: what is pending, then a short wait for new events.
constexpr int kPumpMs = 10;
// A folder listing handles the window's pending events once per this many files: often enough
// for a folder of thousands, without an event round per file.
constexpr std::size_t kFilesPerPump = 64;
// A file whose contents changed within the last second is still being copied in.
constexpr double kSettleSeconds = 1.0;
// Below this much free space a file system counts as full.
constexpr std::int64_t kMinFreeBytes = 1 << 20;
// The longest pause after a transcoder start in one-by-one mode; it ends when the transcoder does.
constexpr double kStartPauseSeconds = 2.0;
// How often a pause or wait that ends with a transcoder of this run looks whether it has ended
// where the end itself does not wake the pump.
constexpr int kToolEndPollMs = 50;

// The pump's wait while a transcoder of this run runs: where the end of a started program wakes
// the pump, a look per kPollMs is enough; elsewhere one per kToolEndPollMs.
int toolEndWaitMs() {
    static const bool woken = platform::startedEndedDescriptor() >= 0;
    return woken ? kPollMs : kToolEndPollMs;
}
// How long a reason stays in the status line before the run tries again.
constexpr float kHoldSeconds = 2.0f;
// Preparations of one file that may fail before it is set aside for the rest of the run.
constexpr int kFailuresAllowed = 2;

// Status texts of a run that cannot go on as planned.
const std::string kNoTranscoder = "状态：转码程序" + kTool + "缺失，等待恢复中...";
const std::string kOutputNotWritable = "状态：输出目录无法写入，等待恢复中...";
const std::string kOutputDiskFull = "状态：输出目录所在磁盘空间已满，等待清理中...";
const std::string kWorkDiskFull = "状态：程序文件夹所在磁盘空间已满，等待清理中...";
const std::string kNoWorkFolder = "状态：工作文件夹Tmps无法创建，等待恢复中...";
const std::string kClipUnusable = "状态：视频文件无法使用，已跳过：";
const std::string kMusicUnusable = "状态：mp3文件无法使用，已跳过：";
// A file that cannot be moved into this copy's claim folder (a read-only folder or share) is never
// used unclaimed: another copy could use it too.
const std::string kClipUnclaimable = "状态：视频文件无法移入认领文件夹（文件夹只读？），已跳过：";
const std::string kMusicUnclaimable = "状态：mp3文件无法移入认领文件夹（文件夹只读？），已跳过：";
const std::string kClipFailed = "状态：视频预处理失败，本次跳过：";
const std::string kMusicFailed = "状态：背景音乐预处理失败，本次跳过：";
const std::string kHardwareFailed = "状态：硬件加速处理失败，请检查显卡或取消硬件加速，重试中...";
const std::string kMergeFailed = "状态：合并视频失败，本次跳过，重新合并中...";
const std::string kOutputFolderRefused =
    "输出目录不能是程序文件夹、工作文件夹Tmps、视频素材来源文件夹或已使用素材文件夹，操作被取消！";

// The transcoder's reports in the work folder, one per kind of step.
const std::string kMusicReport = "report-music.log";
const std::string kMusicJoinReport = "report-musicjoin.log";
const std::string kFinalReport = "report-final.log";
// Lines of a report copied into the run log.
constexpr int kReportLines = 12;

std::string num(std::int64_t n) {
    return std::to_string(n);
}

std::string clipReport(int folderIndex) {
    return "report-" + std::to_string(folderIndex) + ".log";
}

// A status text as the run log says it: without its "状态：".
std::string reason(const std::string& status) {
    const std::string prefix = "状态：";
    return status.rfind(prefix, 0) == 0 ? status.substr(prefix.size()) : status;
}

// Seconds from `start` to now (times of day; a wait over midnight counts on).
double secondsSince(double start) {
    const double d = platform::secondsSinceMidnight() - start;
    return d < 0 ? d + 86400 : d;
}

std::string yesNo(bool b) {
    return b ? "是" : "否";
}

// A path that a quoted command text or a CR LF separated list can carry.
bool carriable(const std::string& path) {
    return path.find_first_of("\"\r\n") == std::string::npos;
}

std::string baseName(const std::string& path) {
    return std::string(text::baseName(path, platform::kSep));
}

double durationOrZero(const std::string& path) {
    return General::ReadDuration(path).value_or(0.0);
}

// `path` is `base` or lies inside it (both canonical).
bool within(const std::string& path, const std::string& base) {
    if (base.empty() || path.empty()) return false;
    if (path == base) return true;
    const std::string prefix = base.back() == platform::kSep ? base : base + platform::sepStr();
    return path.rfind(prefix, 0) == 0;
}

}  // namespace

MergeRun::MergeRun(MergeHost& host, MergeEnv env)
    : m_host(host),
      m_env(std::move(env)),
      m_folder(m_env.programFolder),
      m_tools(m_env.programFolder, m_env.onToolStart),
      m_log(m_env.programFolder),
      m_claims(m_env.programFolder) {}

// ---- helpers ----------------------------------------------------------------------------------

std::string MergeRun::tmpFile(const std::string& name) const {
    return m_folder.workFile(name);
}

void MergeRun::status(const std::string& text) {
    if (m_status == text) return;
    m_status = text;
    m_host.showStatus(text);
}

bool MergeRun::stopped() const {
    return m_state.StopRequested;
}

void MergeRun::setFolderEntry(int row, const std::string& text) {
    if (row < int(m_entries.size()) && m_entries[row] == text) return;
    if (row < int(m_entries.size())) m_entries[row] = text;
    m_host.setFolderEntry(row, text);
}

float MergeRun::draw() {
    if (m_env.random) return m_env.random();
    // Re-seeded from the time of day before every draw.
    const double now = platform::secondsSinceMidnight();
    std::mt19937 gen(static_cast<std::uint32_t>(static_cast<std::uint64_t>(now * 1e6)));
    return static_cast<float>(gen() >> 8) / 16777216.0f;  // 24 bits: [0, 1)
}

// A fixed pause (WaitSeconds) pumps window events until its time is up, in waits that end with it.
void MergeRun::hold(float seconds) {
    const double start = text::RoundHalfEven(platform::secondsSinceMidnight(), 0);
    General::WaitSeconds(seconds, platform::secondsSinceMidnight, [&] {
        const double left = start + seconds - platform::secondsSinceMidnight();
        m_host.pumpEvents(std::clamp(static_cast<int>(left * 1000) + 1, 1, kPollMs));
    });
}

// The pause after a transcoder start: until no transcoder of this run runs, at most `seconds`.
void MergeRun::holdWhileToolRuns(double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (m_tools.anyRunning() && !stopped()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) break;
        m_host.pumpEvents(static_cast<int>(std::min<std::int64_t>(left, toolEndWaitMs())));
    }
}

// Parallel mode: waits until fewer than `bound` transcoders of this run run; false on a stop.
bool MergeRun::awaitToolRoom(int bound) {
    while (m_tools.runningCount() >= bound) {
        if (stopped()) return false;
        m_host.pumpEvents(toolEndWaitMs());
    }
    return true;
}

int MergeRun::ParallelToolBound(bool hardware, int hardwareSessions, int processors) {
    if (hardware) return std::max(1, hardwareSessions);
    return std::max(2, processors);
}

// Starts the transcoder; false (with the reason in the status line) when it cannot be started.
bool MergeRun::startTool(const std::string& params, const std::string& reportName) {
    if (m_tools.start(kTool, params, tmpFile(reportName))) return true;
    status(kNoTranscoder);
    m_log.write("转码程序无法启动：" + m_folder.transcoder());
    return false;
}

void MergeRun::logWithReport(const std::string& text, const std::string& reportName) {
    std::vector<std::string> tail = ToolReport::FileTail(tmpFile(reportName), kReportLines);
    if (!tail.empty()) tail.insert(tail.begin(), "转码程序的报告（最后几行）：");
    m_log.write(text, tail);
}

void MergeRun::waitBegins(const std::string& what) {
    if (m_waitingFor == what) return;
    if (!m_waitingFor.empty()) waitEnds();
    m_waitingFor = what;
    m_waitStart = platform::secondsSinceMidnight();
    m_log.write("开始等待：" + reason(what));
}

void MergeRun::waitEnds() {
    if (m_waitingFor.empty()) return;
    m_log.write("等待结束（" + num(static_cast<std::int64_t>(secondsSince(m_waitStart))) +
                "秒）：" + reason(m_waitingFor));
    m_waitingFor.clear();
}

// A program handed work (the compressor): it outlives the run and this program.
void MergeRun::startProgram(const std::string& file, const std::string& params) {
    if (m_env.onToolStart) m_env.onToolStart(file, params);
    platform::shellExecute(file, params, m_env.programFolder, true);
}

// The wait of a tool step: until no transcoder runs (true) or the user stops (false).
// The poll of a tool step; its pause ends when a tool of ours ends, and after the last look (no
// tool left) only pending events are handled, so the next step follows at once.
bool MergeRun::waitForTools(const std::function<void()>& between) {
    return ToolRun::waitWhileRunning(
        kTool, [this] { return stopped(); },
        [&](bool running) {
            m_host.pumpEvents(running ? kPollMs : 0);
            between();
        });
}

// A file that was set aside stays aside while its length is what it was then; a file that
// changes (a copy that went on) is looked at again.
bool MergeRun::usable(const std::string& path) {
    const auto it = m_setAside.find(path);
    if (it == m_setAside.end()) return true;
    if (platform::fileSize(path) == it->second) return false;
    m_setAside.erase(it);
    m_failures.erase(path);
    return true;
}

// The work folder's join list, in the text the transcoder reads.
bool MergeRun::writeToolList(const std::string& text) {
    const auto bytes = platform::toSystemText(text);
    return bytes && platform::writeFile(tmpFile("List.txt"), *bytes);
}

void MergeRun::setAside(const std::string& path, const std::string& notice) {
    m_settled.erase(path);
    diag::note(diag::Area::Merge, "set aside for this run: " + path);
    m_setAside[path] = platform::fileSize(path);
    m_log.write("本次运行中不再使用：" + path + "；原因：" + reason(notice) + baseName(path));
    status(notice + baseName(path));
    hold(kHoldSeconds);
}

// One failed preparation of a file: the pass is skipped; after the second the file is set aside.
void MergeRun::noteFailure(const std::string& path, const std::string& notice,
                           const std::string& reportName) {
    logWithReport("预处理失败：" + path, reportName);
    if (++m_failures[path] >= kFailuresAllowed)
        setAside(path, notice == kMusicFailed ? kMusicUnusable : kClipUnusable);
    else
        status(notice + baseName(path));
}

// ---- claims ----------------------------------------------------------------------------------

// Claims a picked file for this pass. nullopt when another copy took it first (pick again) or it
// cannot be claimed (then it is set aside for the run, with `refused` in the status line).
std::optional<std::string> MergeRun::claim(const std::string& picked, const std::string& refused) {
    const Claims::Claim c = m_claims.claim(picked);
    if (c.outcome == Claims::Outcome::Claimed) {
        m_settled.erase(picked);
        m_taken.push_back({picked, c.path});
        return c.path;
    }
    if (c.outcome == Claims::Outcome::Refused) setAside(picked, refused);
    return std::nullopt;
}

// A claim of this pass goes back to its folder; the path the file has there.
std::string MergeRun::giveBack(const std::string& claimed) {
    const auto it = std::find_if(m_taken.begin(), m_taken.end(),
                                 [&](const Taken& t) { return t.claimed == claimed; });
    if (it == m_taken.end()) return claimed;
    const Taken taken = *it;
    m_taken.erase(it);
    if (!platform::fileExists(taken.claimed)) return taken.original;
    if (const auto back = Claims::GiveBack(taken.claimed, taken.original)) return *back;
    m_log.write("无法归还素材，下次启动时归还：" + taken.claimed);
    return taken.claimed;
}

// Every claim of the pass goes back (a skipped pass, a stop, a close).
void MergeRun::giveBackPass() {
    while (!m_taken.empty()) giveBack(m_taken.back().claimed);
}

std::string MergeRun::originOf(const std::string& claimed) const {
    for (const Taken& t : m_taken)
        if (t.claimed == claimed) return t.original;
    return claimed;
}

// The clip names of a source folder, in listing order: clips that are set aside are left out,
// clips still being copied in are counted apart. A folder that cannot be listed (gone,
// unreadable) holds no clip, and so does one whose path a command text cannot carry.
MergeRun::Listing MergeRun::listClips(const std::string& folder) {
    Listing listing;
    const auto names = platform::listFiles(folder);
    if (!names || !carriable(folder)) return listing;
    std::size_t seen = 0;
    for (const std::string& name : *names) {
        if (++seen % kFilesPerPump == 0) m_host.pumpEvents(0);
        if (MergeTexts::IsClipName(name) &&
            (!m_clipFilter || MergeTexts::MatchesClipPatterns(name))) {
            const std::string path = folder + platform::sepStr() + name;
            if (!platform::systemCarries(path)) {
                // a name the system's code page cannot carry would reach the transcoder altered
                if (usable(path)) setAside(path, kClipUnusable);
                continue;
            }
            if (usable(path)) {
                if (settled(path))
                    listing.names.push_back(name);
                else
                    ++listing.settling;
            }
        }
    }
    return listing;
}

MergeRun::Listing MergeRun::listMusic(const std::string& folder) {
    Listing listing;
    const auto names = platform::listFiles(folder);
    if (!names || !carriable(folder)) return listing;
    for (const std::string& name : *names) {
        if (!MergeTexts::IsMp3Name(name)) continue;
        const std::string path = folder + platform::sepStr() + name;
        if (!platform::systemCarries(path)) {
            if (usable(path)) setAside(path, kMusicUnusable);
            continue;
        }
        if (!usable(path)) continue;
        if (settled(path))
            listing.names.push_back(name);
        else
            ++listing.settling;
    }
    return listing;
}

// A file counts once it has not changed for a second. One seen so is not looked at again by
// later listings (twenty folders of hundreds of clips would cost a look per file and pass); the
// pick looks once more at the file it takes.
bool MergeRun::settled(const std::string& path) {
    if (m_settled.count(path)) return true;
    const auto age = platform::secondsSinceChange(path);
    if (!age || *age < kSettleSeconds) return false;
    m_settled.insert(path);
    return true;
}

// The random pick from a listing: a picked file that has vanished since the listing is drawn
// again from the same listing. Nothing when every listed file has vanished, when the picked one
// changed again (the folder is listed anew and counts it as still being copied in) or a stop
// came.
std::optional<std::string> MergeRun::pickExisting(const std::string& folder,
                                                  const std::vector<std::string>& names) {
    while (!stopped()) {
        const int index = MergeTexts::PickIndex(draw(), int(names.size()));
        const std::string path = folder + platform::sepStr() + names[index];
        m_host.pumpEvents(0);
        if (platform::fileExists(path)) {
            const auto age = platform::secondsSinceChange(path);
            if (age && *age >= kSettleSeconds) return path;
            m_settled.erase(path);
            return std::nullopt;
        }
        const bool anyLeft = std::any_of(names.begin(), names.end(), [&](const auto& name) {
            return platform::fileExists(folder + platform::sepStr() + name);
        });
        if (!anyLeft) break;
    }
    return std::nullopt;
}

std::string MergeRun::FreeStoreName(const std::string& dir, const std::string& name,
                                    const std::function<bool(const std::string&)>& exists) {
    if (!exists(dir + name)) return dir + name;
    const auto dot = name.rfind('.');
    const std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    const std::string ext =
        (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot);
    for (int k = 1;; ++k) {
        const std::string candidate = dir + stem + " (" + num(k) + ")" + ext;
        if (!exists(candidate)) return candidate;
    }
}

bool MergeRun::OutputFolderRefused(const std::string& output, const std::string& programFolder,
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

int MergeRun::RemoveLeftoverOutputs(const std::string& outputFolder) {
    int removed = 0;
    const auto names = platform::listFiles(outputFolder, true);
    if (!names) return 0;
    for (const std::string& name : *names) {
        if (MergeTexts::IsLeftoverOutputName(name) &&
            platform::deleteFile(outputFolder + platform::sepStr() + name))
            ++removed;
    }
    return removed;
}

// Moves a used clip or mp3 into a used-material folder. A file already stored there is never
// replaced: the new one takes the next free name "name (1).ext", "name (2).ext", ….
std::optional<std::string> MergeRun::MoveUnderFreeName(const std::string& from,
                                                       const std::string& dir,
                                                       const std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string target = FreeStoreName(dir, name, platform::pathExists);
        if (platform::moveFileNoReplace(from, target)) return target;
        if (!platform::fileExists(from) || !platform::pathExists(target)) break;
    }
    return std::nullopt;
}

void MergeRun::storeUsed(const std::string& path, const std::string& dir) {
    if (path.empty() || !platform::fileExists(path)) return;
    const std::string name = baseName(path);
    if (MoveUnderFreeName(path, dir, name)) return;
    const std::string target = FreeStoreName(dir, name, platform::pathExists);
    // The move left the source in place while the target name is free: copy, then delete the
    // source only when the copy is there.
    if (platform::fileExists(path) && !target.empty() && !platform::pathExists(target)) {
        diag::note(diag::Area::Merge, "moving " + path + " failed; copying it to " + target);
        if (platform::copyFileReplace(path, target)) platform::deleteFile(path);
    }
}

// ---- the merge command ------------------------------------------------------------------------

void MergeRun::MenuDo_Click() {
    if (m_commandActive) return;  // a merge command is already in progress
    m_commandActive = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{m_commandActive};

    m_closing = false;
    if (!setup()) return;
    while (!stopped()) {
        if (awaitReadiness() == Step::Stop) break;
        const Step end = runPass();
        if (end == Step::Stop) {
            giveBackPass();
            break;
        }
        const bool made = end == Step::Go && bookkeeping(int(m_entries.size()));
        giveBackPass();  // a pass that made no video gives its clips and mp3 back
        // A pass that made nothing keeps its reason in the status line for a moment: it can be
        // read, and a cause that persists does not turn the run into a spin of failing passes.
        if (!made && !stopped()) {
            diag::note(diag::Area::Merge, "a pass made no video: " + m_status);
            m_log.write("本次跳过，未生成视频：" + reason(m_status));
            hold(kHoldSeconds);
        }
        // end of the pass
        m_host.pumpEvents(kPumpMs);
        m_clipsDuration = 0;
    }
    complete();
}

bool MergeRun::setup() {
    m_inputs = m_host.jobInputs();
    m_entries = m_host.folderEntries();
    std::vector<std::string> sources;
    if (!checkJob(sources)) return false;
    scanMaterial(sources);
    if (!m_host.ask(MergeHost::Ask::OkCancel, MergeTexts::ConfirmText(m_job.MaxVideos)))
        return false;
    beginRun();
    return true;
}

// The option texts, and the refusals: no music folder, no source folder, an output folder that
// would lose or reuse videos. The source folders of the entries go to `sources`.
bool MergeRun::checkJob(std::vector<std::string>& sources) {
    const auto size = MergeTexts::SizeOption(m_inputs.size);
    if (!size) {
        m_host.ask(MergeHost::Ask::Error, "视频尺寸无效，操作被取消！");
        return false;
    }
    m_job = MergeJob{};
    m_job.options.SizeOption = *size;
    m_job.options.RateOption = MergeTexts::RateOption(m_inputs.fps);
    m_job.options.BitRateOption = MergeTexts::BitRateOption(m_inputs.bits);
    m_job.options.MuteOption = MergeTexts::MuteOption(m_inputs.mute);
    m_job.MaxVideos = 999999999;
    m_state.MadeCount = 0;
    m_setAside.clear();
    m_failures.clear();
    m_hardwareSessions.clear();
    m_settled.clear();
    m_neededSpace = 0;

    // a counted music caption passes untested
    m_music = m_inputs.music;
    const std::string caption = m_host.audioCaption();
    if (m_music && caption.rfind(kCountedAudioPrefix, 0) != 0 && !platform::pathExists(caption)) {
        m_host.ask(MergeHost::Ask::Error, "背景音乐文件夹未指定，操作被取消！");
        return false;
    }
    if (m_entries.empty()) {
        m_host.ask(MergeHost::Ask::Error, "视频素材来源文件夹列表数少于1个！操作被取消！");
        return false;
    }
    // The output folder (a stored one included) must be one whose videos stay where they are.
    for (const std::string& entry : m_entries) {
        std::string folder = MergeTexts::EntryFolder(entry, platform::pathExists);
        if (folder.empty() && entry.find('\t') == std::string::npos) folder = entry;
        sources.push_back(folder);
    }
    if (OutputFolderRefused(m_inputs.outputFolder, m_env.programFolder, sources,
                            m_inputs.usedRoot)) {
        m_host.ask(MergeHost::Ask::Error, kOutputFolderRefused);
        return false;
    }
    return true;
}

// Counts the clips of every source folder and the mp3 files into the entries, the music label and
// the number of videos the material allows.
void MergeRun::scanMaterial(const std::vector<std::string>& sources) {
    m_clipFilter = false;  // the first listings are unfiltered
    const int count = int(sources.size());
    for (int i = 0; i < count; ++i) {
        m_host.selectFolder(i);
        status("状态：初始化视频信息中..." + num(i + 1) + "/" + num(count));
        const Listing listing = listClips(sources[i]);
        const int clips = static_cast<int>(listing.names.size()) + listing.settling;
        setFolderEntry(i, MergeTexts::CountedEntry(clips, sources[i]));
        m_job.MaxVideos = std::min(m_job.MaxVideos, clips);
        m_host.pumpEvents(kPumpMs);
    }
    if (!m_music) return;
    const std::string now = m_host.audioCaption();
    const bool secondPiece = MergeTexts::AudioHasSecondPiece(now);
    std::string folder = MergeTexts::AudioFolder(now);
    if (secondPiece && !platform::listFiles(folder)) folder = now;
    const Listing listing = listMusic(folder);
    const int n = static_cast<int>(listing.names.size()) + listing.settling;
    m_host.setAudio(secondPiece ? MergeTexts::CountedAudio(n, MergeTexts::AudioFolder(now)) : now,
                    n);
    m_job.MaxVideos = std::min(m_job.MaxVideos, n);
}

// Confirmed: the choices remembered, the window locked (hidden in background mode), the dated
// used-material folders made, the compressor hand-off prepared.
void MergeRun::beginRun() {
    m_host.storeRunChoices();
    m_state.StopRequested = false;
    m_state.Running = true;
    m_host.lock(true);
    m_compress = m_inputs.compress;
    m_background = m_inputs.background;
    if (m_background) m_host.hideBehindTray();
    const platform::Date d = platform::today();
    m_job.RunDate = MergeTexts::RunDateText(d.year, d.month, d.day);
    std::string root = m_inputs.usedRoot;
    if (root.empty()) root = m_folder.defaultUsedRoot();
    const std::string sep = platform::sepStr();
    m_job.UsedVideoDir = root + sep + m_job.RunDate + sep + "视频" + sep;
    m_job.UsedAudioDir = root + sep + m_job.RunDate + sep + "音频" + sep;
    platform::makeSurePathExists(m_job.UsedVideoDir);
    platform::makeSurePathExists(m_job.UsedAudioDir);
    if (m_compress) platform::copyFileReplace(m_folder.shippedCompressor(), m_folder.compressor());
    platform::deleteFile(m_folder.compressionList());
    RemoveLeftoverOutputs(m_inputs.outputFolder);
    // claims an earlier run could not give back (a file still open, a share away)
    std::vector<std::string> givenBack;
    m_claims.giveBackAll(&givenBack);
    m_taken.clear();
    m_nextNumber = 0;
    m_waitingFor.clear();
    m_log.prune();
    logRunStart();
    for (const std::string& line : givenBack) m_log.write(line);
}

// The run's start with its parameters.
void MergeRun::logRunStart() {
    const MergeHost::ClipInputs clip = m_host.clipInputs();
    std::string sources;
    for (const std::string& entry : m_entries) {
        std::string folder = MergeTexts::EntryField2(entry);
        sources += (sources.empty() ? "" : "、") + (folder.empty() ? entry : folder);
    }
    m_log.write("开始合并：视频素材来源文件夹（" + num(int(m_entries.size())) + "个）：" + sources +
                "；背景音乐：" +
                (m_music ? MergeTexts::AudioFolder(m_host.audioCaption()) : std::string("不添加")) +
                "；输出目录：" + m_inputs.outputFolder + "；已使用素材移动到：" +
                m_job.UsedVideoDir.substr(0, m_job.UsedVideoDir.size() - 1) + "；播放总时长：" +
                m_inputs.length + "；视频尺寸：" + m_inputs.size + "；帧率：" + m_inputs.fps +
                "；码率：" + m_inputs.bits + "；静音：" + yesNo(m_inputs.mute) + "；压缩：" +
                yesNo(m_compress) + "；后台运行：" + yesNo(m_background) + "；旋转：" +
                yesNo(clip.rotateClockwise) + "；多进程：" + yesNo(clip.parallel) + "；硬件加速：" +
                (clip.hardware ? clip.accelerator : std::string("否")) + "；素材最多可生成：" +
                num(m_job.MaxVideos) + "个");
}

// ---- what a pass needs before it starts --------------------------------------------------------

// Why no video could be made now, or empty when nothing stands in the way: the transcoder (put
// back from the shipped copy when it went), a writable output folder, room on both disks.
std::string MergeRun::readinessProblem() {
    const std::string tool = m_folder.transcoder();
    if (!platform::fileExists(tool)) platform::copyFileReplace(m_folder.shippedTranscoder(), tool);
    if (!platform::fileExists(tool)) return kNoTranscoder;
    const std::string out = m_inputs.outputFolder;
    if (!platform::dirExists(out)) platform::makeSurePathExists(out);
    const std::int64_t needed = std::max(kMinFreeBytes, m_neededSpace);
    const auto outFree = platform::freeSpace(out);
    if (outFree && *outFree < needed) return kOutputDiskFull;
    if (!platform::folderWritable(out)) return kOutputNotWritable;
    const auto workFree = platform::freeSpace(m_env.programFolder);
    if (workFree && *workFree < kMinFreeBytes) return kWorkDiskFull;
    return {};
}

// Holds the run, with the reason in the status line and the window shown once, until a video can
// be made again or the user stops.
MergeRun::Step MergeRun::awaitReadiness() {
    bool shown = false;
    while (!stopped()) {
        const std::string problem = readinessProblem();
        if (problem.empty()) {
            waitEnds();
            return Step::Go;
        }
        waitBegins(problem);
        if (!shown) {
            m_host.showWindow();
            shown = true;
            diag::note(diag::Area::Merge, "waiting: " + problem);
        }
        status(problem);
        hold(1.0f);
    }
    waitEnds();
    return Step::Stop;
}

// ---- one output video ------------------------------------------------------------------------

MergeRun::Step MergeRun::runPass() {
    m_passStart = platform::secondsSinceMidnight();
    m_usedClips.clear();
    m_hardwareClips.clear();
    m_hardwareAtOnce = 0;
    m_clipsDuration = 0;
    m_musicSource.clear();
    m_partialFile.clear();
    if (prepareWorkFolder() == Step::Skip) return Step::Skip;

    m_entries = m_host.folderEntries();
    const int count = int(m_entries.size());
    for (int i = 0; i < count; ++i) {
        const Step step = prepareClip(i, count);
        if (step != Step::Go) return step;
    }
    if (m_music) {
        const Step step = prepareMusic();
        if (step != Step::Go) return step;
    }
    return assemble(count);
}

MergeRun::Step MergeRun::prepareWorkFolder() {
    const std::string tmps = m_folder.workFolder();
    FolderOps::RunShellFileOperation(tmps, "", "3");
    bool told = false;
    while (!platform::dirExists(tmps)) {
        platform::makeSurePathExists(tmps + platform::sepStr());
        if (!told && !platform::dirExists(tmps)) {
            status(kNoWorkFolder);
            told = true;
        }
        hold(0.5f);
        if (stopped()) break;
    }
    return Step::Go;
}

MergeRun::Step MergeRun::prepareClip(int folderIndex, int folderCount) {
    m_host.selectFolder(folderIndex);
    const std::string entry = m_entries[folderIndex];
    std::string folder = MergeTexts::EntryField2(entry);
    if (folder.empty()) folder = entry;
    const std::string place = num(folderIndex + 1) + "/" + num(folderCount);
    const std::string waiting =
        "状态：" + num(folderIndex + 1) + "号视频素材来源文件夹中的视频已用完，等待补充新视频中...";
    const std::string copying =
        "状态：" + num(folderIndex + 1) + "号视频素材来源文件夹中的视频正在复制中，等待复制完成...";

    std::string clipPath;
    General::ClipFacts facts;
    bool shown = false;
    for (;;) {
        // scan, again and again while the folder holds no clip (or is gone); the window comes
        // up once when the wait begins
        Listing listing;
        do {
            listing = listClips(folder);
            const std::string counted =
                MergeTexts::CountedEntry(int(listing.names.size()) + listing.settling, folder);
            setFolderEntry(folderIndex, counted);
            if (listing.names.empty() && !shown) {
                m_host.showWindow();
                shown = true;
            }
            // a short wait only while the folder holds nothing to pick
            m_host.pumpEvents(listing.names.empty() ? kPumpMs : 0);
            const std::string& why = listing.settling > 0 ? copying : waiting;
            status(listing.names.empty() ? why : waiting);
            if (listing.names.empty()) waitBegins(why);
        } while (listing.names.empty() && !stopped());
        waitEnds();
        status("状态：处理中..." + place);
        if (stopped()) return Step::Stop;

        // pick; when every listed clip has vanished the folder is scanned again
        const auto picked = pickExisting(folder, listing.names);
        if (stopped()) return Step::Stop;
        if (!picked) continue;
        const auto claimed = claim(*picked, kClipUnclaimable);
        if (!claimed) continue;
        // a clip without a picture or without a play length can make no video
        facts = General::ReadClipFacts(*claimed);
        if (facts.duration && *facts.duration > 0 && facts.sized) {
            clipPath = *claimed;
            break;
        }
        setAside(giveBack(*claimed), kClipUnusable);
        if (stopped()) return Step::Stop;
    }

    m_clipsDuration += *facts.duration;
    const MergeHost::ClipInputs inputs = m_host.clipInputs();
    const auto encoder = MergeTexts::EncoderFor(inputs.hardware, inputs.accelerator);
    const MergeTexts::Turn turn = MergeTexts::TurnForClip(encoder, facts.width, facts.height,
                                                          facts.rotation, inputs.rotateClockwise);
    const std::string command = MergeTexts::ClipCommand(
        encoder, turn, clipPath, m_job.options, m_env.programFolder, folderIndex, platform::kSep);
    m_usedClips.push_back(clipPath);
    m_hardwareClips.push_back(encoder != MergeTexts::Encoder::Software);

    if (stopped()) return Step::Stop;
    const bool hardware = encoder != MergeTexts::Encoder::Software;
    if (inputs.parallel) {
        const int processors = m_env.processors > 0
                                   ? m_env.processors
                                   : static_cast<int>(std::thread::hardware_concurrency());
        int sessions = inputs.hardwareSessions;
        if (const auto lowered = m_hardwareSessions.find(inputs.accelerator);
            lowered != m_hardwareSessions.end())
            sessions = std::min(sessions, lowered->second);
        if (!awaitToolRoom(ParallelToolBound(hardware, sessions, processors))) return Step::Stop;
    }
    if (hardware) {
        m_hardwareForm = inputs.accelerator;
        m_hardwareAtOnce = std::max(m_hardwareAtOnce, m_tools.runningCount() + 1);
    }
    if (!startTool(command, clipReport(folderIndex))) return Step::Skip;
    if (!inputs.parallel) holdWhileToolRuns(kStartPauseSeconds);
    status("状态：源视频预处理中..." + place);
    if (stopped()) return Step::Stop;

    if (!inputs.parallel) {
        const std::string workFile = tmpFile(num(folderIndex) + ".mp4");
        waitForTools([&] {
            status("状态：源视频预处理中..." +
                   num(MergeTexts::MegaBytes(platform::fileSize(workFile))) + "Mb；已制作：" +
                   num(m_state.MadeCount));
        });
    }
    if (stopped()) return Step::Stop;
    return Step::Go;
}

MergeRun::Step MergeRun::prepareMusic() {
    const std::string folder = MergeTexts::AudioFolder(m_host.audioCaption());
    Listing listing = listMusic(folder);
    const auto count = [](const Listing& l) { return int(l.names.size()) + l.settling; };
    m_host.setAudio(MergeTexts::CountedAudio(count(listing), folder), count(listing));

    std::optional<double> musicDuration;
    bool shown = false;
    std::string shownAudio = MergeTexts::CountedAudio(count(listing), folder);
    for (;;) {
        // wait for music (a folder that is gone is waited for like an empty one); the window
        // comes up once when the wait begins
        do {
            listing = listMusic(folder);
            m_host.pumpEvents(listing.names.empty() ? kPumpMs : 0);
            const std::string counted = MergeTexts::CountedAudio(count(listing), folder);
            if (counted != shownAudio) {
                shownAudio = counted;
                m_host.setAudio(counted, count(listing));
            }
            if (listing.names.empty() && !shown) {
                m_host.showWindow();
                shown = true;
            }
            const std::string why =
                listing.names.empty() && listing.settling > 0
                    ? "状态：背景音乐素材来源文件夹中的mp3正在复制中，等待复制完成..."
                    : "状态：背景音乐素材来源文件夹中的mp3已用完，等待补充新音乐文件中...";
            status(why);
            if (listing.names.empty()) waitBegins(why);
        } while (listing.names.empty() && !stopped());
        waitEnds();
        status("状态：处理中...");
        if (stopped()) return Step::Stop;

        const auto picked = pickExisting(folder, listing.names);
        if (stopped()) return Step::Stop;
        if (!picked) continue;
        const auto claimed = claim(*picked, kMusicUnclaimable);
        if (!claimed) continue;
        // an mp3 without a readable play length gives no track
        musicDuration = General::ReadDuration(*claimed);
        if (musicDuration && *musicDuration > 0) {
            m_musicSource = *claimed;
            break;
        }
        setAside(giveBack(*claimed), kMusicUnusable);
        if (stopped()) return Step::Stop;
    }
    m_clipFilter = true;

    const std::string lengthText = m_inputs.length;
    const double lengthValue = MediaReport::LeadingNumber(lengthText);
    const double target = lengthValue != 0 ? lengthValue : m_clipsDuration;
    const int repeats = MergeTexts::MusicRepeats(target, *musicDuration);
    const std::string length = MergeTexts::MusicLength(lengthText, m_clipsDuration);
    m_musicRepeats = repeats;
    m_musicLength = length;

    if (repeats == 1) {
        if (!startTool(MergeTexts::MusicCutCommand(length, m_musicSource, m_env.programFolder,
                                                   platform::kSep),
                       kMusicReport))
            return Step::Skip;
        return Step::Go;
    }
    if (!writeToolList(MergeTexts::MusicJoinList(m_musicSource, repeats))) return Step::Skip;
    if (!startTool(MergeTexts::MusicJoinCommand(m_env.programFolder, platform::kSep),
                   kMusicJoinReport))
        return Step::Skip;
    waitForTools([this] { status("状态：背景音乐预处理中..."); });
    if (stopped()) return Step::Stop;
    if (!startTool(MergeTexts::MusicCutJoinedCommand(length, m_env.programFolder, platform::kSep),
                   kMusicReport))
        return Step::Skip;
    return Step::Go;
}

// The music commands copy the audio stream; music whose stream the mp3 writer does not take as it
// is (MPEG-1 layer II, AAC under an .mp3 name) leaves no track. The same steps again, re-encoding
// to MP3 where they copied: the join of the copies (when there are several), then the cut.
MergeRun::Step MergeRun::remakeMusic() {
    const std::string joinReport = m_musicRepeats == 1 ? kMusicReport : kMusicJoinReport;
    logWithReport("背景音乐无法直接复制为mp3，改为重新编码：" + originOf(m_musicSource),
                  joinReport);
    platform::deleteFile(tmpFile("a.mp3"));
    std::string cut = MergeTexts::MusicReencoded(MergeTexts::MusicCutCommand(
        m_musicLength, m_musicSource, m_env.programFolder, platform::kSep));
    if (m_musicRepeats > 1) {
        platform::deleteFile(tmpFile("M.mp3"));
        if (!writeToolList(MergeTexts::MusicJoinList(m_musicSource, m_musicRepeats)))
            return Step::Skip;
        if (!startTool(MergeTexts::MusicReencoded(
                           MergeTexts::MusicJoinCommand(m_env.programFolder, platform::kSep)),
                       kMusicJoinReport))
            return Step::Skip;
        waitForTools([this] { status("状态：背景音乐预处理中..."); });
        if (stopped()) return Step::Stop;
        // the joined copies are an mp3 now: the cut copies it
        cut = MergeTexts::MusicCutJoinedCommand(m_musicLength, m_env.programFolder, platform::kSep);
    }
    if (!startTool(cut, kMusicReport)) return Step::Skip;
    waitForTools([this] { status("状态：背景音乐预处理中..."); });
    return stopped() ? Step::Stop : Step::Go;
}

// Waits for every transcoder and for a readable length of every normalised clip (their lengths go
// to `lengths`); a length that stays 0 once no transcoder runs any more is not waited for without
// end.
MergeRun::Step MergeRun::awaitClips(int folderCount, std::vector<double>& lengths) {
    lengths.assign(folderCount, 0.0);
    int zeroRounds = 0;
    while (!stopped()) {
        waitForTools([&] {
            std::int64_t size = 0;
            for (int i = 0; i < folderCount; ++i)
                size += platform::fileSize(tmpFile(num(i) + ".mp4"));
            status("状态：源视频预处理中..." + num(MergeTexts::MegaBytes(size)) + "Mb；已制作：" +
                   num(m_state.MadeCount));
        });
        // an unreadable clip leaves the product as it is; a length of 0 means still in work
        double product = 1;
        lengths.assign(folderCount, 0.0);
        for (int i = 0; i < folderCount; ++i) {
            if (const auto d = General::ReadDuration(tmpFile(num(i) + ".mp4"))) {
                product *= *d;
                lengths[i] = *d;
            }
        }
        if (product != 0 || ++zeroRounds > 3) break;
        hold(1.0f);
    }
    return stopped() ? Step::Stop : Step::Go;
}

MergeRun::Step MergeRun::assemble(int folderCount) {
    std::vector<double> lengths;
    if (awaitClips(folderCount, lengths) == Step::Stop) return Step::Stop;

    // the join list (no transcoder runs any more: the lengths just read still hold)
    for (int i = 0; i < folderCount; ++i) {
        if (platform::fileExists(tmpFile(num(i) + ".mp4")) && lengths[i] > 0) continue;
        if (i < int(m_usedClips.size())) {
            // a hardware form that fails says nothing about the clip; where the pass ran more
            // sessions at once than the card takes, the next pass runs one fewer
            const std::string clip = giveBack(m_usedClips[i]);
            if (m_hardwareClips[i]) {
                logWithReport("硬件加速预处理失败：" + clip, clipReport(i));
                if (m_hardwareAtOnce > 1) {
                    m_hardwareSessions[m_hardwareForm] = m_hardwareAtOnce - 1;
                    m_log.write("硬件加速同时处理" + num(m_hardwareAtOnce) +
                                "个视频时失败，此后最多同时处理" + num(m_hardwareAtOnce - 1) +
                                "个");
                }
                status(kHardwareFailed);
            } else {
                noteFailure(clip, kClipFailed, clipReport(i));
            }
        }
        return Step::Skip;
    }
    // the music track, made again re-encoded when copying its stream made none
    const std::string track = tmpFile("a.mp3");
    const auto trackMade = [&] { return platform::fileExists(track) && durationOrZero(track) > 0; };
    if (m_music && !trackMade() && remakeMusic() == Step::Stop) return Step::Stop;
    if (m_music && !trackMade()) {
        noteFailure(giveBack(m_musicSource), kMusicFailed, kMusicReport);
        return Step::Skip;
    }
    if (!writeToolList(MergeTexts::ClipJoinList(m_env.programFolder, folderCount, platform::kSep)))
        return Step::Skip;

    // speed fitting
    const std::string lengthText = m_inputs.length;
    const double target = MediaReport::LeadingNumber(lengthText);
    std::string speedFilter = MergeTexts::SpeedFilter(false, 0);
    if (target != 0) {
        double r = MergeTexts::SpeedFactor(target, m_clipsDuration);
        if (r == 0) {
            for (double d : lengths) m_clipsDuration += d;
            r = MergeTexts::SpeedFactor(target, m_clipsDuration);
        }
        m_clipsDuration = 0;
        speedFilter = MergeTexts::SpeedFilter(true, r);
    }

    return runFinal(speedFilter, track);
}

// The final run, under a temporary name beside the first output name that holds nothing, and its
// progress until it ends.
MergeRun::Step MergeRun::runFinal(const std::string& speedFilter, const std::string& track) {
    const std::string outDir = m_inputs.outputFolder;
    m_outputNumber = m_nextNumber;
    while (platform::pathExists(MergeTexts::OutputFile(outDir, m_outputNumber, platform::kSep)))
        ++m_outputNumber;
    m_partialFile = MergeTexts::PartialOutputFile(outDir, m_outputNumber, platform::kSep);
    if (!carriable(m_partialFile)) return Step::Skip;
    platform::deleteFile(m_partialFile);
    const MergeHost::ClipInputs inputs = m_host.clipInputs();
    const auto encoder = MergeTexts::EncoderFor(inputs.hardware, inputs.accelerator);
    if (!startTool(
            MergeTexts::FinalCommand(m_music, encoder, track, m_env.programFolder, speedFilter,
                                     m_job.options.RateOption, m_job.options.BitRateOption,
                                     m_partialFile, platform::kSep),
            kFinalReport))
        return Step::Skip;
    const std::string made = num(m_state.MadeCount);
    status("状态：生成合并视频中...已生成：" + made);
    // progress
    waitForTools([&] {
        status("状态：生成合并视频中..." +
               num(MergeTexts::MegaBytes(platform::fileSize(m_partialFile))) + "Mb；已生成：" +
               made);
    });
    return Step::Go;
}

// ---- after the final run -----------------------------------------------------------------------

// Judges the final run's output; a good video gets its used material moved away, then its
// finished name, then it is counted and handed on. True when a video was made.
bool MergeRun::bookkeeping(int folderCount) {
    const std::string outDir = m_inputs.outputFolder;
    const double length = durationOrZero(m_partialFile);
    if (!(length > 0)) {
        const std::int64_t reached = platform::fileSize(m_partialFile);
        const auto free = platform::freeSpace(outDir);
        platform::deleteFile(m_partialFile);
        if (!stopped()) logWithReport("合并失败，未生成视频", kFinalReport);
        if (stopped()) return false;
        if (free && *free < std::max(kMinFreeBytes, reached)) {
            // it did not fit: the next one waits for room for about twice as much
            m_neededSpace = std::max(kMinFreeBytes, 2 * reached);
            status(kOutputDiskFull);
        } else {
            status(kMergeFailed);
        }
        return false;
    }

    // Used material goes first: a crash from here on may cost a video, never reuse a clip.
    const int moves = std::min<int>(folderCount, int(m_usedClips.size()));
    std::vector<std::string> origins;
    for (const auto& used : m_usedClips) origins.push_back(originOf(used));
    const std::string musicOrigin = originOf(m_musicSource);
    for (int i = 0; i < moves; ++i) storeUsed(m_usedClips[i], m_job.UsedVideoDir);
    if (m_music) storeUsed(m_musicSource, m_job.UsedAudioDir);
    m_taken.clear();  // stored: nothing of the pass is claimed any more
    for (const auto& used : origins) m_failures.erase(used);
    m_failures.erase(musicOrigin);

    std::string outputFile = MergeTexts::OutputFile(outDir, m_outputNumber, platform::kSep);
    while (!platform::moveFileNoReplace(m_partialFile, outputFile)) {
        if (!platform::pathExists(outputFile) || !platform::fileExists(m_partialFile)) {
            status(kOutputNotWritable);
            return false;
        }
        outputFile = MergeTexts::OutputFile(outDir, ++m_outputNumber, platform::kSep);
    }
    m_neededSpace = 0;

    const int made = m_state.MadeCount + 1;
    m_state.MadeCount = made;
    m_host.setMadeTag(made);
    status("状态：生成合并视频中...已生成：" + num(made));
    m_nextNumber = m_outputNumber + 1;
    {
        std::string clips;
        for (int i = 0; i < moves; ++i) clips += (i ? "、" : "") + origins[i];
        m_log.write("已生成视频：" + outputFile + "（本次第" + num(made) + "个）；视频素材：" +
                    clips + "；背景音乐：" + (m_music ? musicOrigin : std::string("无")) +
                    "；时长：" + MergeTexts::PlainNumber(text::RoundHalfEven(length, 2)) +
                    "秒；用时：" + num(static_cast<std::int64_t>(secondsSince(m_passStart))) +
                    "秒");
    }

    if (m_background) m_host.refreshTrayTip();

    if (m_compress) {
        if (const auto line = platform::toSystemText(outputFile + kCrLf))
            platform::appendToFile(m_folder.compressionList(), *line);
        if (!General::CountToolProcesses(kCompressor))
            startProgram(kCompressor,
                         MergeTexts::CompressorParams(m_env.programFolder, platform::kSep));
    }
    return true;
}

void MergeRun::complete() {
    if (!m_closing) {
        if (m_host.ask(MergeHost::Ask::YesNo, "处理完毕！" + kCrLf + "要打开输出目录吗？"))
            m_host.openFolder(m_inputs.outputFolder);
        if (m_background) m_host.showWindow();
    }
    m_host.lock(false);
    m_state.StopRequested = false;
    m_state.Running = false;
    // the claim folders go with the run (what could not be given back stays for the next start)
    std::vector<std::string> notes;
    m_claims.giveBackAll(&notes);
    for (const std::string& line : notes) m_log.write(line);
    m_log.write("合并结束：本次共生成" + num(m_state.MadeCount) + "个视频");
}

// ---- the stop command ---------------------------------------------------------------------------

void MergeRun::MenuStop_Click() {
    if (!m_host.ask(MergeHost::Ask::OkCancel, "终止视频合并操作？")) return;
    m_log.write("用户终止合并");
    m_state.StopRequested = true;
    m_host.setStopEnabled(false);
    ShutDownP::TerminateProcessByName(kTool, m_env.programFolder);
    General::WakePumps();
}

void MergeRun::EndForClose() {
    m_closing = true;
    m_log.write("程序关闭，合并终止");
    m_state.StopRequested = true;
    m_host.setStopEnabled(false);
    m_tools.endAll();
    ShutDownP::TerminateProcessByName(kTool, m_env.programFolder);
    giveBackPass();
}
