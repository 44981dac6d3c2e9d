#include "compressor/Compressor.h"

#include <QFileInfo>
#include <QLockFile>
#include <QString>
#include <cmath>
#include <cstdlib>

#include "media/General.h"
#include "media/ProgramFolder.h"
#include "media/ToolReport.h"
#include "media/ToolRun.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "shell/InstanceLock.h"

namespace compressor {

namespace {

constexpr double kDurationTolerance = 1.0;
constexpr int kReportLines = 12;

// The run log's line for a video's outcome.
std::string outcomeText(const std::string& video, Outcome outcome) {
    switch (outcome) {
        case Outcome::Replaced:
            return "后台压缩完成：" + video;
        case Outcome::NotAVideo:
            return "后台压缩跳过：" + video + "（读不出播放时长，保持原样）";
        case Outcome::SameAsTemp:
            return "后台压缩跳过：" + video + "（是压缩程序自己的临时文件，保持原样）";
        case Outcome::BadResult:
            return "后台压缩失败：" + video + "（压缩结果缺失或损坏，原视频保持不变）";
        case Outcome::ReplaceFailed:
            return "后台压缩失败：" + video + "（压缩后的视频无法替换原视频，原视频保持不变）";
    }
    return video;
}

bool samePath(const std::string& a, const std::string& b) {
    const QString ca = QFileInfo(QString::fromStdString(a)).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(QString::fromStdString(b)).canonicalFilePath();
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::string& text) {
    ParsedCommandLine parsed;
    const std::vector<std::string> fields = text::splitAt(text, '\t');
    if (fields.size() < 4) {
        parsed.error = "the command line has " + std::to_string(fields.size()) +
                       " TAB-separated field(s); tool folder, transcoder, list and rate factor "
                       "are needed";
        return parsed;
    }
    const std::optional<int> rate = text::toInt16(fields[3]);
    if (!rate) {
        parsed.error = "the rate factor \"" + fields[3] + "\" is not a 16-bit number";
        return parsed;
    }
    parsed.fields = Fields{fields[0], fields[1], fields[2], *rate};
    return parsed;
}

std::string extensionOf(const std::string& path) {
    const size_t nameStart = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return {};
    return path.substr(dot);
}

std::string tempFilePath(const std::string& ownFolder, const std::string& video) {
    return ownFolder + platform::sepStr() + "Tmp" + extensionOf(video);
}

std::string compressionCommand(const std::string& video, int rate, const std::string& tempFile) {
    return "-i \"" + video + "\" -y -q:v 0 -q:a 0 -crf " + std::to_string(rate) + "  \"" +
           tempFile + "\"";
}

std::string privateToolName(const std::string& toolFile) {
    return "Comp" + toolFile;
}

std::optional<std::string> pickNextLine(const std::string& listText,
                                        const std::set<std::string>& done,
                                        const std::function<bool(const std::string&)>& exists) {
    for (std::string line : text::splitAt(listText, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = text::trimBlanks(line);
        if (line.empty() || done.count(line) || !exists(line)) continue;
        return line;
    }
    return std::nullopt;
}

bool resultAcceptable(std::optional<double> originalSeconds, std::optional<double> resultSeconds) {
    return originalSeconds && resultSeconds && *originalSeconds > 0 && *resultSeconds > 0 &&
           std::fabs(*resultSeconds - *originalSeconds) <= kDurationTolerance;
}

// ---- Compressor ---------------------------------------------------------------------------

Compressor::Compressor(Fields fields, std::string ownFolder, std::ostream& log, Hooks hooks)
    : m_fields(std::move(fields)),
      m_ownFolder(std::move(ownFolder)),
      m_log(log),
      m_runLog(m_ownFolder),
      m_hooks(std::move(hooks)),
      m_toolName(privateToolName(m_fields.toolFile)),
      m_toolCopy(m_fields.toolFolder + platform::sepStr() + m_toolName) {}

std::optional<std::string> Compressor::nextLine() const {
    const std::optional<std::string> bytes = platform::readFile(m_fields.listPath);
    // the list is written in the text the system's tools read
    const std::optional<std::string> text = bytes ? platform::fromSystemText(*bytes) : std::nullopt;
    if (!text) return std::nullopt;
    return pickNextLine(*text, m_done,
                        [](const std::string& path) { return platform::fileExists(path); });
}

bool Compressor::makeToolCopy() {
    std::string source = m_fields.toolFolder + platform::sepStr() + m_fields.toolFile;
    // The named transcoder is Stitchwell's running copy, which its run removes when it ends: a
    // compression started in that moment copies the shipped form beside it instead.
    const std::string shipped = ProgramFolder(m_fields.toolFolder).shippedTranscoder();
    if (!platform::fileExists(source) && platform::fileExists(shipped)) {
        m_log << "Pressling: the transcoder " << source << " does not exist; " << shipped
              << " is copied instead\n";
        source = shipped;
    }
    if (!platform::fileExists(source)) {
        m_log << "Pressling: the transcoder " << source << " does not exist\n";
        m_runLog.write("后台压缩无法进行：找不到转码程序" + source + "，压缩列表" +
                       m_fields.listPath + "留待下次");
        return false;
    }
    if (!platform::copyFileReplace(source, m_toolCopy)) {
        m_log << "Pressling: cannot copy the transcoder to " << m_toolCopy << "\n";
        m_runLog.write("后台压缩无法进行：转码程序无法复制到" + m_toolCopy + "，压缩列表" +
                       m_fields.listPath + "留待下次");
        return false;
    }
    return true;
}

int Compressor::run() {
    if (!platform::fileExists(m_fields.listPath)) {
        m_log << "Pressling: the compression list " << m_fields.listPath
              << " does not exist; nothing to do\n";
        return kNoList;
    }
    if (!makeToolCopy()) return kNoTranscoder;
    while (true) {
        std::optional<std::string> line = nextLine();
        if (!line) {
            platform::deleteFile(m_toolCopy);
            if (m_hooks.nothingLeft) m_hooks.nothingLeft();
            // The list once more right before it goes, so that a line appended since the last
            // reading is not lost with it.
            line = nextLine();
            if (!line) {
                platform::deleteFile(m_fields.listPath);
                if (m_hooks.listDeleted) m_hooks.listDeleted();
                // Stitchwell starts no second compressor while this one runs: a list begun
                // since the deletion is worked through before this one ends.
                if (!platform::fileExists(m_fields.listPath)) return kDone;
                line = nextLine();
                if (!line) continue;
            }
            if (!makeToolCopy()) return kNoTranscoder;  // the list stays for the next start
        }
        m_done.insert(*line);
        compress(*line);
    }
}

void Compressor::compress(const std::string& video) {
    const std::string temp = tempFilePath(m_ownFolder, video);
    if (samePath(temp, video)) {
        m_log << "Pressling: " << video
              << " is the compressor's own temporary file; left as it is\n";
        record(video, Outcome::SameAsTemp, {});
        return;
    }
    const std::optional<double> original = General::ReadDuration(video);
    if (!original || *original <= 0) {
        m_log << "Pressling: " << video << " has no readable play length; left as it is\n";
        record(video, Outcome::NotAVideo, {});
        return;
    }
    // A left-over of an earlier run must never pass for this video's result.
    platform::deleteFile(temp);
    const std::string report = temp + ".log";
    platform::deleteFile(report);
    ToolRun tools(m_fields.toolFolder);
    if (!tools.start(m_toolName, compressionCommand(video, m_fields.rate, temp), report))
        m_log << "Pressling: the transcoder copy " << m_toolName << " did not start\n";
    if (m_hooks.transcoderStarted) m_hooks.transcoderStarted(video, temp);
    // The end of the transcoder started here wakes the pump at once; another's of the same name
    // is seen within half a second. Hours of compression cost a few looks a second, not a hundred.
    ToolRun::waitWhileRunning(m_toolName, {},
                              [](bool running) { General::PumpEvents(running ? 500 : 0); });

    const std::optional<double> result = General::ReadDuration(temp);
    Outcome outcome = Outcome::Replaced;
    if (!resultAcceptable(original, result)) {
        m_log << "Pressling: the re-encoded " << video << " is missing or broken ("
              << (result ? std::to_string(*result) + " s" : std::string("no play length"))
              << " against " << *original << " s); the original stays\n";
        outcome = Outcome::BadResult;
    } else if (!platform::copyFileReplace(temp, video)) {
        m_log << "Pressling: cannot put the re-encoded video in the place of " << video
              << "; the original stays\n";
        outcome = Outcome::ReplaceFailed;
    }
    platform::deleteFile(temp);
    record(video, outcome, report);
    platform::deleteFile(report);
}

void Compressor::record(const std::string& video, Outcome outcome, const std::string& report) {
    m_outcomes.emplace_back(video, outcome);
    std::vector<std::string> tail;
    if (outcome == Outcome::BadResult) tail = ToolReport::FileTail(report, kReportLines);
    if (!tail.empty()) tail.insert(tail.begin(), "转码程序的报告（最后几行）：");
    m_runLog.write(outcomeText(video, outcome), tail);
}

// ---- the program ---------------------------------------------------------------------------

int runProgram(const std::string& commandLine, const std::string& ownFolder, std::ostream& log) {
    // One instance at a time: a lock in the program's own folder. An instance that ended without
    // giving it up (killed, crashed) leaves a stale lock that the next start takes.
    QLockFile lock(QString::fromStdString(ProgramFolder(ownFolder).compressorLock()));
    const InstanceLock::Outcome taken = InstanceLock::Take(lock);
    if (taken != InstanceLock::Outcome::Taken) {
        platform::terminalBeep();
        if (taken == InstanceLock::Outcome::HeldByAnother) {
            log << "Pressling: another instance is running; this one ends\n";
            return kAnotherInstance;
        }
        log << "Pressling: cannot make the instance lock in " << ownFolder << "\n";
        return kNoLock;
    }
    if (text::trimBlanks(commandLine).empty()) {
        platform::terminalBeep();
        log << "Pressling: the command line is empty; it needs the fields tool folder, transcoder, "
               "list and rate factor separated by TAB\n";
        return kEmptyCommandLine;
    }
    const ParsedCommandLine parsed = parseCommandLine(commandLine);
    if (!parsed.fields) {
        log << "Pressling: " << parsed.error << "\n";
        return kBadCommandLine;
    }
    Compressor compressor(*parsed.fields, ownFolder, log);
    return compressor.run();
}

}  // namespace compressor
