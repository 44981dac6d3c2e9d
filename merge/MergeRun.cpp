#include "merge/MergeRun.h"

#include <algorithm>
#include <cstdint>
#include <random>

#include "media/General.h"
#include "media/MediaReport.h"
#include "media/ProgramFolder.h"
#include "media/ToolReport.h"
#include "merge/RunTexts.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "shell/FolderOps.h"
#include "shell/ShutDownP.h"

using namespace RunTexts;

namespace {

const std::string kTool(ProgramFolder::kTranscoder);
const std::string kCrLf = "\r\n";
const std::string kCountedAudioPrefix = "背景mp3音乐数：";
// Lines of a report copied into the run log.
constexpr int kReportLines = 12;

std::string num(std::int64_t n) {
    return std::to_string(n);
}

std::string yesNo(bool b) {
    return b ? "是" : "否";
}

}  // namespace

double MergeRun::SecondsSince(double start) {
    const double d = platform::secondsSinceMidnight() - start;
    return d < 0 ? d + 86400 : d;
}

MergeRun::MergeRun(MergeHost& host, MergeEnv env)
    : m_host(host),
      m_env(std::move(env)),
      m_folder(m_env.programFolder),
      m_tools({m_env.programFolder, m_env.onToolStart, m_env.processors}, m_host,
              [this] { return stopped(); }),
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

void MergeRun::hold(float seconds) {
    m_tools.hold(seconds);
}

// Starts the transcoder; false (with the reason in the status line) when it cannot be started.
bool MergeRun::startTool(const std::string& params, const std::string& reportName) {
    if (m_tools.start(params, tmpFile(reportName))) return true;
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
    m_log.write("开始等待：" + Reason(what));
}

void MergeRun::waitEnds() {
    if (m_waitingFor.empty()) return;
    m_log.write("等待结束（" + num(static_cast<std::int64_t>(SecondsSince(m_waitStart))) +
                "秒）：" + Reason(m_waitingFor));
    m_waitingFor.clear();
}

// The work folder's join list, in the text the transcoder reads.
bool MergeRun::writeToolList(const std::string& text) {
    const auto bytes = platform::toSystemText(text);
    return bytes && platform::writeFile(tmpFile("List.txt"), *bytes);
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
            m_log.write("本次跳过，未生成视频：" + Reason(m_status));
            hold(kHoldSeconds);
        }
        // end of the pass: the events that came meanwhile are handled, nothing is waited for
        m_host.pumpEvents(0);
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
    m_material.clear();
    m_tools.beginRun();

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
    for (const std::string& entry : m_entries)
        sources.push_back(MergeTexts::EntryFolder(entry, platform::pathExists));
    if (OutputFolder::Refused(m_inputs.outputFolder, m_env.programFolder, sources,
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
        auto& folder = material(sources[i], MaterialFolder::Kind::Clips);
        const int clips = list(folder, false, kClipUnusable).count();
        setFolderEntry(i, MergeTexts::CountedEntry(clips, sources[i]));
        m_job.MaxVideos = std::min(m_job.MaxVideos, clips);
        m_host.pumpEvents(kPumpMs);
    }
    if (!m_music) return;
    const std::string now = m_host.audioCaption();
    const bool secondPiece = MergeTexts::AudioHasSecondPiece(now);
    std::string path = MergeTexts::AudioFolder(now);
    if (secondPiece && !platform::listFiles(path)) path = now;
    auto& folder = material(path, MaterialFolder::Kind::Music);
    const int n = list(folder, false, kMusicUnusable).count();
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
    m_used = UsedMaterial(
        m_inputs.usedRoot.empty() ? m_folder.defaultUsedRoot() : m_inputs.usedRoot, m_job.RunDate);
    m_job.UsedVideoDir = m_used.videoDir();
    m_job.UsedAudioDir = m_used.audioDir();
    if (m_compress) platform::copyFileReplace(m_folder.shippedCompressor(), m_folder.compressor());
    platform::deleteFile(m_folder.compressionList());
    m_output = OutputFolder(m_inputs.outputFolder);
    OutputFolder::RemoveLeftovers(m_inputs.outputFolder);
    // claims an earlier run could not give back (a file still open, a share away)
    std::vector<std::string> givenBack;
    m_claims.giveBackAll(&givenBack);
    m_claims.forgetPass();
    m_waitingFor.clear();
    m_log.prune();
    logRunStart();
    for (const std::string& line : givenBack) m_log.write(line);
}

// The run's start with its parameters.
void MergeRun::logRunStart() {
    const MergeHost::ClipInputs clip = m_host.clipInputs();
    std::string sources;
    for (const std::string& entry : m_entries)
        sources += (sources.empty() ? "" : "、") + MergeTexts::EntryFolder(entry);
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
    switch (m_output.room()) {
        case OutputFolder::Room::Full:
            return kOutputDiskFull;
        case OutputFolder::Room::NotWritable:
            return kOutputNotWritable;
        case OutputFolder::Room::Enough:
            break;
    }
    const auto workFree = platform::freeSpace(m_env.programFolder);
    if (workFree && *workFree < OutputFolder::kMinFreeBytes) return kWorkDiskFull;
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
