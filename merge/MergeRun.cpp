#include "merge/MergeRun.h"

#include <algorithm>
#include <cstdint>
#include <random>

#include "media/General.h"
#include "media/MediaReport.h"
#include "platform/Platform.h"
#include "shell/FolderOps.h"
#include "shell/ShutDownP.h"

namespace {

const std::string kTool = "Vidforge.exe";
const std::string kCompressor = "Pressling.exe";
const std::string kCrLf = "\r\n";
const std::string kCountedAudioPrefix = "背景mp3音乐数：";
constexpr int kPollMs = 100;
constexpr int kPauseSliceMs = 50;

std::string num(std::int64_t n) {
    return std::to_string(n);
}

// A path that a quoted command text or a CR LF separated list can carry.
bool carriable(const std::string& path) {
    return path.find_first_of("\"\r\n") == std::string::npos;
}

std::string baseName(const std::string& path) {
    const auto sep = path.rfind(platform::kSep);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

double durationOrZero(const std::string& path) {
    return General::ReadDuration(path).value_or(0.0);
}

}  // namespace

MergeRun::MergeRun(MergeHost& host, MergeEnv env) : m_host(host), m_env(std::move(env)) {}

// ---- helpers ----------------------------------------------------------------------------------

std::string MergeRun::tmpFile(const std::string& name) const {
    return m_env.programFolder + platform::sepStr() + "Tmps" + platform::sepStr() + name;
}

void MergeRun::status(const std::string& text) {
    if (m_host.statusText() != text) m_host.setStatus(text);
}

std::string MergeRun::trayTip() const {
    return m_host.windowCaption() + kCrLf + "已生成视频数：" + num(m_host.madeCount()) + kCrLf +
           m_host.statusText();
}

float MergeRun::draw() {
    if (m_env.random) return m_env.random();
    // Re-seeded from the time of day before every draw.
    const double now = platform::secondsSinceMidnight();
    std::mt19937 gen(static_cast<std::uint32_t>(static_cast<std::uint64_t>(now * 1e6)));
    return static_cast<float>(gen() >> 8) / 16777216.0f;  // 24 bits: [0, 1)
}

// The pause between two polls of a tool wait: window events are handled as they arrive for about
// 100 ms, so the stop command stays live while the process list (a walk over every process of the
// machine) is read ten times a second rather than a hundred.
void MergeRun::pollPause() {
    m_host.pumpEventsFor(kPollMs);
}

// The pump inside the fixed pauses (WaitSeconds): slices of 50 ms, so a pause ends at most that
// much after its time.
void MergeRun::pausePump() {
    m_host.pumpEventsFor(kPauseSliceMs);
}

void MergeRun::startTool(const std::string& file, const std::string& params) {
    if (m_env.onToolStart) m_env.onToolStart(file, params);
    platform::shellExecute(file, params, m_env.programFolder, true);
}

// The clip names of a source folder, in listing order. A folder that cannot be listed (gone,
// unreadable) holds no clip, and so does one whose path a command text cannot carry.
std::vector<std::string> MergeRun::listClips(const std::string& folder) {
    std::vector<std::string> clips;
    const auto names = platform::listFiles(folder);
    if (!names || !carriable(folder)) return clips;
    for (const std::string& name : *names) {
        if (MergeTexts::IsClipName(name) &&
            (!m_clipFilter || MergeTexts::MatchesClipPatterns(name)))
            clips.push_back(name);
        m_host.processPendingEvents();
    }
    return clips;
}

// The random pick from a listing: a picked file that has vanished since the listing is drawn
// again from the same listing. Nothing when every listed file has vanished or a stop came.
std::optional<std::string> MergeRun::pickExisting(const std::string& folder,
                                                  const std::vector<std::string>& names) {
    while (!m_host.stopRequested()) {
        const int index = MergeTexts::PickIndex(draw(), int(names.size()));
        const std::string path = folder + platform::sepStr() + names[index];
        m_host.pumpEvents();
        if (platform::fileExists(path)) return path;
        const bool anyLeft = std::any_of(names.begin(), names.end(), [&](const auto& name) {
            return platform::fileExists(folder + platform::sepStr() + name);
        });
        if (!anyLeft) break;
    }
    return std::nullopt;
}

std::vector<std::string> MergeRun::listMusic(const std::string& folder) {
    std::vector<std::string> mp3;
    const auto names = platform::listFiles(folder);
    if (!names || !carriable(folder)) return mp3;
    for (const std::string& name : *names) {
        if (MergeTexts::IsMp3Name(name)) mp3.push_back(name);
    }
    return mp3;
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

// Moves a used clip or mp3 into a used-material folder. A file already stored there is never
// replaced: the new one takes the next free name "name (1).ext", "name (2).ext", ….
void MergeRun::storeUsed(const std::string& path, const std::string& dir) {
    if (path.empty() || !platform::fileExists(path)) return;
    const std::string name = baseName(path);
    std::string target;
    for (int attempt = 0; attempt < 100; ++attempt) {
        target = FreeStoreName(dir, name, platform::pathExists);
        if (platform::moveFileNoReplace(path, target)) return;
        if (!platform::pathExists(target)) break;  // failed for another reason than the name
    }
    // The move left the source in place while the target name is free: copy, then delete the
    // source only when the copy is there.
    if (platform::fileExists(path) && !target.empty() && !platform::pathExists(target)) {
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

    if (!setup()) return;
    while (!m_host.stopRequested()) {
        const Step end = runPass();
        if (end == Step::Stop) break;
        if (end == Step::Go) bookkeeping(m_host.folderCount());
        // end of the pass
        m_host.pumpEvents();
        m_clipsDuration = 0;
    }
    complete();
}

bool MergeRun::setup() {
    // 1. option texts
    const auto size = MergeTexts::SizeOption(m_host.sizeText());
    if (!size) {
        m_host.showError("视频尺寸无效，操作被取消！");
        return false;
    }
    m_job = MergeJob{};
    m_job.options.SizeOption = *size;
    m_job.options.RateOption = MergeTexts::RateOption(m_host.fpsText());
    m_job.options.BitRateOption = MergeTexts::BitRateOption(m_host.bitsText());
    m_job.options.MuteOption = MergeTexts::MuteOption(m_host.muteTicked());
    // 2.
    m_job.MaxVideos = 999999999;
    m_host.setMadeCount(0);

    // 4. music check: a counted caption passes untested
    m_music = m_host.musicTicked();
    const std::string caption = m_host.audioCaption();
    if (m_music && caption.rfind(kCountedAudioPrefix, 0) != 0 && !platform::pathExists(caption)) {
        m_host.showError("背景音乐文件夹未指定，操作被取消！");
        return false;
    }
    // 5. source check
    const int count = m_host.folderCount();
    if (count < 1) {
        m_host.showError("视频素材来源文件夹列表数少于1个！操作被取消！");
        return false;
    }
    // 6. unfiltered listings
    m_clipFilter = false;

    // 7. scan the source folders
    for (int i = 0; i < count; ++i) {
        m_host.selectFolder(i);
        status("状态：初始化视频信息中..." + num(i + 1) + "/" + num(count));
        const std::string entry = m_host.folderEntry(i);
        std::string folder = MergeTexts::EntryFolder(entry, platform::pathExists);
        // a bare entry whose folder is gone keeps its path
        if (folder.empty() && entry.find('\t') == std::string::npos) folder = entry;
        const int clips = static_cast<int>(listClips(folder).size());
        m_host.setFolderEntry(i, MergeTexts::CountedEntry(clips, folder));
        m_job.MaxVideos = std::min(m_job.MaxVideos, clips);
        m_host.pumpEvents();
    }

    // 8. scan the music folder
    if (m_music) {
        const std::string now = m_host.audioCaption();
        const bool secondPiece = MergeTexts::AudioHasSecondPiece(now);
        std::string folder = MergeTexts::AudioFolder(now);
        if (secondPiece && !platform::listFiles(folder)) folder = now;
        const int n = static_cast<int>(listMusic(folder).size());
        if (secondPiece)
            m_host.setAudioCaption(MergeTexts::CountedAudio(n, MergeTexts::AudioFolder(now)));
        m_host.setAudioTag(num(n));
        m_job.MaxVideos = std::min(m_job.MaxVideos, n);
    }

    // 9. confirm
    if (!m_host.askOkCancel(MergeTexts::ConfirmText(m_job.MaxVideos))) return false;

    // 10. settings
    m_host.writeSetting("SaveDir", m_host.outputFolder());
    m_host.writeSetting("MoveDir", m_host.usedRoot());
    m_host.writeSetting("Speed", m_host.hardwareTicked() ? "1" : "0");
    m_host.writeSetting("CmbAcc", num(m_host.acceleratorIndex()));
    // 11., 12.
    m_host.setStopRequested(false);
    m_host.setRunning(true);
    m_host.lockWindow();
    // 13. background mode
    m_compress = m_host.compressTicked();
    m_background = m_host.backgroundTicked();
    if (m_background) m_host.addTrayIconAndHide(trayTip());
    // 14., 15. dated used-material folders
    const platform::Date d = platform::today();
    m_job.RunDate = MergeTexts::RunDateText(d.year, d.month, d.day);
    std::string root = m_host.usedRoot();
    if (root.empty()) root = m_env.programFolder + platform::sepStr() + "已使用素材";
    const std::string sep = platform::sepStr();
    m_job.UsedVideoDir = root + sep + m_job.RunDate + sep + "视频" + sep;
    m_job.UsedAudioDir = root + sep + m_job.RunDate + sep + "音频" + sep;
    platform::makeSurePathExists(m_job.UsedVideoDir);
    platform::makeSurePathExists(m_job.UsedAudioDir);
    // 16., 17. compressor hand-off
    if (m_compress)
        platform::copyFileReplace(m_env.programFolder + sep + "Pressling.dll",
                                  m_env.programFolder + sep + "Pressling.exe");
    platform::deleteFile(m_env.programFolder + sep + "CompList.txt");
    m_nextNumber = 0;
    return true;
}

// ---- one output video ------------------------------------------------------------------------

MergeRun::Step MergeRun::runPass() {
    m_usedClips.clear();
    m_clipsDuration = 0;
    m_musicSource.clear();
    prepareWorkFolder();

    const int count = m_host.folderCount();
    for (int i = 0; i < count; ++i) {
        if (prepareClip(i, count) == Step::Stop) return Step::Stop;
    }
    if (m_music && prepareMusic() == Step::Stop) return Step::Stop;
    return assemble(count);
}

void MergeRun::prepareWorkFolder() {
    const std::string tmps = m_env.programFolder + platform::sepStr() + "Tmps";
    FolderOps::RunShellFileOperation(tmps, "", "3");
    while (!platform::dirExists(tmps)) {
        platform::makeSurePathExists(tmps + platform::sepStr());
        General::WaitSeconds(0.5f, platform::secondsSinceMidnight, [this] { pausePump(); });
        if (m_host.stopRequested()) break;
    }
}

MergeRun::Step MergeRun::prepareClip(int folderIndex, int folderCount) {
    m_host.selectFolder(folderIndex);
    const std::string entry = m_host.folderEntry(folderIndex);
    std::string folder = MergeTexts::EntryField2(entry);
    if (folder.empty()) folder = entry;
    const std::string place = num(folderIndex + 1) + "/" + num(folderCount);

    std::string clipPath;
    for (;;) {
        // scan, again and again while the folder holds no clip (or is gone)
        std::vector<std::string> clips;
        do {
            clips = listClips(folder);
            const std::string counted = MergeTexts::CountedEntry(int(clips.size()), folder);
            if (m_host.folderEntry(folderIndex) != counted)
                m_host.setFolderEntry(folderIndex, counted);
            if (clips.empty()) m_host.showWindow();
            m_host.pumpEvents();
            status("状态：" + num(folderIndex + 1) +
                   "号视频素材来源文件夹中的视频已用完，等待补充新视频中...");
        } while (clips.empty() && !m_host.stopRequested());
        status("状态：处理中..." + place);
        if (m_host.stopRequested()) return Step::Stop;

        // pick; when every listed clip has vanished the folder is scanned again
        const auto picked = pickExisting(folder, clips);
        if (m_host.stopRequested()) return Step::Stop;
        if (picked) {
            clipPath = *picked;
            break;
        }
    }

    const General::ClipFacts facts = General::ReadClipFacts(clipPath);
    if (facts.duration) m_clipsDuration += *facts.duration;
    // a clip whose width and height cannot be read counts as upright
    MergeTexts::Turn turn = MergeTexts::Turn::None;
    if (facts.sized)
        turn = MergeTexts::TurnFor(facts.width, facts.height, m_host.rotateClockwiseTicked());
    const auto encoder = MergeTexts::EncoderFor(m_host.hardwareTicked(), m_host.acceleratorText());
    const std::string command = MergeTexts::ClipCommand(
        encoder, turn, clipPath, m_job.options, m_env.programFolder, folderIndex, platform::kSep);
    m_usedClips.push_back(clipPath);

    if (m_host.stopRequested()) return Step::Stop;
    startTool(kTool, command);
    General::WaitSeconds(2.0f, platform::secondsSinceMidnight, [this] { pausePump(); });
    status("状态：源视频预处理中..." + place);
    if (m_host.stopRequested()) return Step::Stop;

    if (!m_host.parallelTicked()) {
        const std::string workFile = tmpFile(num(folderIndex) + ".mp4");
        bool busy;
        do {
            busy = General::CountToolProcesses(kTool);
            pollPause();
            status("状态：源视频预处理中..." +
                   num(MergeTexts::MegaBytes(platform::fileSize(workFile))) + "Mb；已制作：" +
                   num(m_host.madeCount()));
        } while (!m_host.stopRequested() && busy);
    }
    if (m_host.stopRequested()) return Step::Stop;
    return Step::Go;
}

MergeRun::Step MergeRun::prepareMusic() {
    const std::string folder = MergeTexts::AudioFolder(m_host.audioCaption());
    std::vector<std::string> names = listMusic(folder);
    m_host.setAudioCaption(MergeTexts::CountedAudio(int(names.size()), folder));
    m_host.setAudioTag(num(names.size()));

    for (;;) {
        // wait for music (a folder that is gone is waited for like an empty one)
        do {
            names = listMusic(folder);
            m_host.setAudioTag(num(names.size()));
            m_host.pumpEvents();
            const std::string counted = MergeTexts::CountedAudio(int(names.size()), folder);
            if (m_host.audioCaption() != counted) m_host.setAudioCaption(counted);
            if (names.empty()) m_host.showWindow();
            status("状态：背景音乐素材来源文件夹中的mp3已用完，等待补充新音乐文件中...");
        } while (names.empty() && !m_host.stopRequested());
        status("状态：处理中...");
        if (m_host.stopRequested()) return Step::Stop;

        const auto picked = pickExisting(folder, names);
        if (m_host.stopRequested()) return Step::Stop;
        if (picked) {
            m_musicSource = *picked;
            break;
        }
    }

    const auto musicDuration = General::ReadDuration(m_musicSource);
    m_clipFilter = true;
    // An mp3 without a readable length gives no track; the final checks then skip the pass.
    if (!musicDuration || !(*musicDuration > 0)) return Step::Go;

    const std::string lengthText = m_host.lengthText();
    const double lengthValue = MediaReport::LeadingNumber(lengthText);
    const double target = lengthValue != 0 ? lengthValue : m_clipsDuration;
    const int repeats = MergeTexts::MusicRepeats(target, *musicDuration);
    const std::string length = MergeTexts::MusicLength(lengthText, m_clipsDuration);

    if (repeats == 1) {
        startTool(kTool, MergeTexts::MusicCutCommand(length, m_musicSource, m_env.programFolder,
                                                     platform::kSep));
        return Step::Go;
    }
    platform::writeFile(tmpFile("List.txt"), MergeTexts::MusicJoinList(m_musicSource, repeats));
    startTool(kTool, MergeTexts::MusicJoinCommand(m_env.programFolder, platform::kSep));
    bool busy;
    do {
        busy = General::CountToolProcesses(kTool);
        status("状态：背景音乐预处理中...");
        pollPause();
    } while (!m_host.stopRequested() && busy);
    if (m_host.stopRequested()) return Step::Stop;
    startTool(kTool,
              MergeTexts::MusicCutJoinedCommand(length, m_env.programFolder, platform::kSep));
    return Step::Go;
}

MergeRun::Step MergeRun::assemble(int folderCount) {
    // 1. wait for every transcoder and for a readable length of every normalised clip
    std::vector<double> lengths(folderCount, 0.0);
    while (!m_host.stopRequested()) {
        bool busy;
        do {
            busy = General::CountToolProcesses(kTool);
            pollPause();
            std::int64_t size = 0;
            for (int i = 0; i < folderCount; ++i)
                size += platform::fileSize(tmpFile(num(i) + ".mp4"));
            status("状态：源视频预处理中..." + num(MergeTexts::MegaBytes(size)) + "Mb；已制作：" +
                   num(m_host.madeCount()));
        } while (!m_host.stopRequested() && busy);
        // an unreadable clip leaves the product as it is; a length of 0 means still in work
        double product = 1;
        lengths.assign(folderCount, 0.0);
        for (int i = 0; i < folderCount; ++i) {
            if (const auto d = General::ReadDuration(tmpFile(num(i) + ".mp4"))) {
                product *= *d;
                lengths[i] = *d;
            }
        }
        if (product != 0) break;
    }
    if (m_host.stopRequested()) return Step::Stop;

    // 2. the join list (no transcoder runs any more: the lengths just read still hold)
    for (int i = 0; i < folderCount; ++i) {
        if (!platform::fileExists(tmpFile(num(i) + ".mp4")) || lengths[i] == 0) return Step::Skip;
    }
    platform::writeFile(tmpFile("List.txt"),
                        MergeTexts::ClipJoinList(m_env.programFolder, folderCount, platform::kSep));
    // 3. the music track
    const std::string track = tmpFile("a.mp3");
    if (m_music && (!platform::fileExists(track) || !(durationOrZero(track) > 0)))
        return Step::Skip;

    // 4. speed fitting
    const std::string lengthText = m_host.lengthText();
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

    // 5. the final run, into the first output name that holds nothing yet
    const std::string outDir = m_host.outputFolder();
    m_outputNumber = m_nextNumber;
    while (platform::pathExists(MergeTexts::OutputFile(outDir, m_outputNumber, platform::kSep)))
        ++m_outputNumber;
    m_outputFile = MergeTexts::OutputFile(outDir, m_outputNumber, platform::kSep);
    if (!carriable(m_outputFile)) return Step::Skip;
    const auto encoder = MergeTexts::EncoderFor(m_host.hardwareTicked(), m_host.acceleratorText());
    startTool(kTool,
              MergeTexts::FinalCommand(m_music, encoder, track, m_env.programFolder, speedFilter,
                                       m_job.options.RateOption, m_job.options.BitRateOption,
                                       m_outputFile, platform::kSep));
    const std::string made = num(m_host.madeCount());
    status("状态：生成合并视频中...已生成：" + made);
    // 7. progress
    bool busy;
    do {
        busy = General::CountToolProcesses(kTool);
        status("状态：生成合并视频中..." +
               num(MergeTexts::MegaBytes(platform::fileSize(m_outputFile))) + "Mb；已生成：" +
               made);
        pollPause();
    } while (!m_host.stopRequested() && busy);
    return Step::Go;
}

// ---- after the final run -----------------------------------------------------------------------

void MergeRun::bookkeeping(int folderCount) {
    // judged by what it produced: a file without a readable length is deleted, not counted
    if (!(durationOrZero(m_outputFile) > 0)) {
        platform::deleteFile(m_outputFile);
        return;
    }
    const int made = m_host.madeCount() + 1;
    m_host.setMadeCount(made);
    m_host.setStatusTag(num(made));
    status("状态：生成合并视频中...已生成：" + num(made));
    m_nextNumber = m_outputNumber + 1;

    const int moves = std::min<int>(folderCount, int(m_usedClips.size()));
    for (int i = 0; i < moves; ++i) storeUsed(m_usedClips[i], m_job.UsedVideoDir);
    if (m_music) storeUsed(m_musicSource, m_job.UsedAudioDir);

    if (m_background) m_host.refreshTrayTip(trayTip());

    if (m_compress) {
        const std::string sep = platform::sepStr();
        platform::appendToFile(m_env.programFolder + sep + "CompList.txt", m_outputFile + kCrLf);
        if (!General::CountToolProcesses(kCompressor))
            startTool(kCompressor,
                      MergeTexts::CompressorParams(m_env.programFolder, platform::kSep));
    }
}

void MergeRun::complete() {
    if (m_host.askYesNo("处理完毕！" + kCrLf + "要打开输出目录吗？"))
        m_host.openFolder(m_host.outputFolder());
    if (m_background) m_host.showWindow();
    m_host.unlockWindow();
    m_host.setStopRequested(false);
    m_host.setRunning(false);
}

// ---- the stop command ---------------------------------------------------------------------------

void MergeRun::MenuStop_Click() {
    if (!m_host.askOkCancel("终止视频合并操作？")) return;
    m_host.setStopRequested(true);
    m_host.setStopEnabled(false);
    ShutDownP::TerminateProcessByName(kTool);
}
