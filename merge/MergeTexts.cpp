#include "merge/MergeTexts.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>
#include <system_error>

#include "media/MediaReport.h"
#include "media/ProgramFolder.h"
#include "platform/Text.h"

// All number texts go through std::to_chars / std::from_chars: they never depend on the process
// locale (a Qt program sets the user's locale, which may use "," as the decimal point).

namespace MergeTexts {

namespace {

const std::string kClipPatterns =
    "*.mp4;*.avi;*.mpg;*.mpeg;*.flv;*.wmv;*.mov;*.mkv;*.3gp;*.rm;*.rmvb;*.dvd;*.ts;*.dat;*.ogg;*."
    "qt";
const std::string kTimes = "\xC3\x97";  // "×"
const std::string kAudioSeparator = "   ";
const std::string kCrLf = "\r\n";

std::string workFile(const std::string& programFolder, char sep, const std::string& name) {
    return ProgramFolder(programFolder, sep).workFile(name);
}

int clampToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

// Whole number of a trimmed piece of the size text: digits only, 1 .. INT_MAX.
std::optional<int> sizeNumber(std::string piece) {
    const auto first = piece.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const auto last = piece.find_last_not_of(" \t");
    piece = piece.substr(first, last - first + 1);
    int v = 0;
    auto res = std::from_chars(piece.data(), piece.data() + piece.size(), v);
    if (res.ec != std::errc() || res.ptr != piece.data() + piece.size()) return std::nullopt;
    if (piece[0] == '-' || v <= 0) return std::nullopt;
    return v;
}

}  // namespace

// ---- numbers ------------------------------------------------------------------------------

std::string Format6(int n) {
    const long long v = n;
    std::string digits = std::to_string(v < 0 ? -v : v);
    if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
    return (v < 0 ? "-" : "") + digits;
}

std::string Format3(double x) {
    if (!std::isfinite(x)) return "0.000";
    double v = RoundHalfEven(x, 3);
    if (v == 0) v = 0;  // no "-0.000"
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    return std::string(buf, res.ptr);
}

int MegaBytes(std::int64_t bytes) {
    const double mb = static_cast<double>(bytes) / 1024.0 / 1024.0;
    return clampToInt(RoundHalfEven(RoundHalfEven(mb, 3), 0));
}

// ---- folder entries and file rules ----------------------------------------------------------

bool Carriable(const std::string& text) {
    return text.find_first_of("\"\r\n") == std::string::npos;
}

bool IsClipName(const std::string& name) {
    if (!Carriable(name)) return false;
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    return kClipPatterns.find(text::lowerAscii(name.substr(dot))) != std::string::npos;
}

bool IsMp3Name(const std::string& name) {
    if (!Carriable(name)) return false;
    return text::endsWithNoCase(name, ".mp3");
}

const std::string& ClipPatternList() {
    return kClipPatterns;
}

bool MatchesClipPatterns(const std::string& name) {
    size_t pos = 0;
    while (pos <= kClipPatterns.size()) {
        size_t end = kClipPatterns.find(';', pos);
        if (end == std::string::npos) end = kClipPatterns.size();
        const std::string pattern = kClipPatterns.substr(pos, end - pos);  // "*.ext"
        if (text::endsWithNoCase(name, pattern.substr(1))) return true;
        pos = end + 1;
    }
    return false;
}

std::string CountedEntry(int count, const std::string& folder) {
    return "MP4视频数：" + std::to_string(count) + "\t" + folder;
}

std::string EntryField2(const std::string& entry) {
    // everything after the first TAB: a folder path may itself hold a TAB
    const auto tab = entry.find('\t');
    return tab == std::string::npos ? std::string() : entry.substr(tab + 1);
}

std::string EntryFolder(const std::string& entry,
                        const std::function<bool(const std::string&)>& exists) {
    const auto tab = entry.find('\t');
    if (tab == std::string::npos) return entry;
    const std::string field1 = entry.substr(0, tab);
    if (!field1.empty() && exists && exists(field1)) return field1;
    return EntryField2(entry);
}

std::string CountedAudio(int count, const std::string& folder) {
    return "背景mp3音乐数：" + std::to_string(count) + kAudioSeparator + folder;
}

std::string AudioFolder(const std::string& caption) {
    // everything after the first three blanks, so a folder with three blanks in it stays whole
    const auto pos = caption.find(kAudioSeparator);
    return pos == std::string::npos ? caption : caption.substr(pos + kAudioSeparator.size());
}

bool AudioHasSecondPiece(const std::string& caption) {
    return caption.find(kAudioSeparator) != std::string::npos;
}

// ---- job options ----------------------------------------------------------------------------

std::optional<std::string> SizeOption(const std::string& sizeText) {
    const auto times = sizeText.find(kTimes);
    if (times == std::string::npos) return std::nullopt;
    const std::string second = sizeText.substr(times + kTimes.size());
    if (second.find(kTimes) != std::string::npos) return std::nullopt;
    const auto w = sizeNumber(sizeText.substr(0, times));
    const auto h = sizeNumber(second);
    if (!w || !h) return std::nullopt;
    return " -s " + std::to_string(*w) + ":" + std::to_string(*h) + " ";
}

std::string RateOption(const std::string& fpsText) {
    return " -r " + fpsText + " ";
}

std::string BitRateOption(const std::string& bitsText) {
    return " " + bitsText + "k ";
}

std::string MuteOption(bool mute) {
    return mute ? " -an " : " ";
}

std::string ConfirmText(int maxVideos) {
    return "本次操作最多可生成" + std::to_string(maxVideos) +
           "个视频，请在合并过程中，不断补充每个视频素材来源文件夹中的新视频，" + kCrLf +
           "否则某个文件夹中的视频数量为零时将自动终止或者等待新视频的补充！" + kCrLf +
           "继续执行？";
}

std::string RunDateText(int year, int month, int day) {
    return std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
}

// ---- command texts --------------------------------------------------------------------------

EncoderPieces PiecesOf(Encoder enc) {
    switch (enc) {
        case Encoder::Intel:
            return {"-c:v h264_qsv  -noautorotate  ", "  -c:v h264_qsv "};
        case Encoder::Nvidia:
            return {" -c:v h264_cuvid   -noautorotate ", " -c:v h264_nvenc "};
        case Encoder::Software:
            break;
    }
    return {};
}

std::string_view AcceleratorEntry(Encoder enc) {
    switch (enc) {
        case Encoder::Intel:
            return "Intel显卡硬件加速";
        case Encoder::Nvidia:
            return "NVIDIA显卡硬件加速";
        case Encoder::Software:
            break;
    }
    return {};
}

Encoder EncoderFor(bool hardware, const std::string& accelText) {
    if (!hardware) return Encoder::Software;
    return accelText == AcceleratorEntry(Encoder::Intel) ? Encoder::Intel : Encoder::Nvidia;
}

Turn TurnFor(const std::string& widthText, const std::string& heightText, bool rotateClockwise) {
    if (!(MediaReport::LeadingNumber(widthText) > MediaReport::LeadingNumber(heightText)))
        return Turn::None;
    return rotateClockwise ? Turn::Clockwise : Turn::CounterClockwise;
}

Turn TurnForClip(Encoder enc, const std::string& widthText, const std::string& heightText,
                 int rotation, bool rotateClockwise) {
    const bool sideways = rotation % 180 == 90;
    if (enc == Encoder::Software && sideways)
        return TurnFor(heightText, widthText, rotateClockwise);
    return TurnFor(widthText, heightText, rotateClockwise);
}

std::string ClipCommand(Encoder enc, Turn turn, const std::string& clipPath, const JobOptions& job,
                        const std::string& programFolder, int folderIndex, char sep) {
    std::string vf;
    switch (turn) {
        case Turn::Clockwise:
            vf = "\" -vf \"transpose=1\"  ";
            break;
        case Turn::CounterClockwise:
            vf = "\"   -vf \"transpose=2\"   ";
            break;
        case Turn::None:
            vf = "\"  ";
            break;
    }
    const EncoderPieces pieces = PiecesOf(enc);
    const std::string prefix(pieces.decoder), encoder(pieces.encoder);
    std::string quality, target;
    switch (enc) {
        case Encoder::Software:
            quality = " -q:v 0 -y \"";
            break;
        case Encoder::Intel:
            quality = turn == Turn::Clockwise ? " -q:v 0 " : " -q:v 0  ";
            target = turn == Turn::CounterClockwise ? "  -y \"" : " -y \"";
            break;
        case Encoder::Nvidia:
            quality = " -q:v 0  ";
            target = turn == Turn::CounterClockwise ? "  -y \"" : " -y \"";
            break;
    }
    return prefix + "-i \"" + clipPath + vf + job.SizeOption + "   " + job.RateOption + "  -b:v " +
           job.BitRateOption + " " + job.MuteOption + quality + encoder + target +
           workFile(programFolder, sep, std::to_string(folderIndex) + ".mp4") + "\"";
}

std::string JoinListLine(const std::string& path) {
    std::string quoted;
    for (char c : path) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return "file '" + quoted + "'" + kCrLf;
}

std::string MusicJoinList(const std::string& musicSource, int repeats) {
    std::string out;
    const std::string line = JoinListLine(musicSource);
    for (int i = 0; i < repeats; ++i) out += line;
    return out;
}

std::string ClipJoinList(const std::string& programFolder, int clipCount, char sep) {
    std::string out;
    for (int i = 0; i < clipCount; ++i) {
        out += JoinListLine(workFile(programFolder, sep, std::to_string(i) + ".mp4"));
    }
    return out;
}

int MusicRepeats(double target, double musicDuration) {
    // no usable divisor: 0 copies, so no track is made and the pass is skipped
    if (!(musicDuration > 0) || !std::isfinite(target) || !std::isfinite(musicDuration)) return 0;
    const double v = RoundHalfEven(target / musicDuration + 0.5, 0);
    return v < 0 ? 0 : clampToInt(v);
}

std::string MusicLength(const std::string& tlengText, double clipsDuration) {
    if (MediaReport::LeadingNumber(tlengText) != 0) return tlengText;
    return PlainNumber(clipsDuration);
}

std::string MusicCutCommand(const std::string& length, const std::string& source,
                            const std::string& programFolder, char sep) {
    return "-ss 0 -t " + length + " -i \"" + source + "\" -y -acodec copy -q:a 0 \"" +
           workFile(programFolder, sep, "a.mp3") + "\"";
}

std::string MusicJoinCommand(const std::string& programFolder, char sep) {
    return "-safe 0 -f concat -i \"" + workFile(programFolder, sep, "List.txt") +
           "\"  -y -acodec copy -q:a 0 \"" + workFile(programFolder, sep, "M.mp3") + "\"";
}

std::string MusicCutJoinedCommand(const std::string& length, const std::string& programFolder,
                                  char sep) {
    return "-ss 0 -t " + length + " -i \"" + workFile(programFolder, sep, "M.mp3") +
           "\" -y -acodec copy -q:a 0 \"" + workFile(programFolder, sep, "a.mp3") + "\"";
}

std::string MusicReencoded(const std::string& copyingCommand) {
    static const std::string copy = "-acodec copy", encode = "-acodec libmp3lame";
    std::string command = copyingCommand;
    const auto at = command.find(copy);
    if (at != std::string::npos) command.replace(at, copy.size(), encode);
    return command;
}

double SpeedFactor(double target, double joined) {
    if (joined == 0 || !std::isfinite(joined) || !std::isfinite(target)) return 0;
    const double r = target / joined;
    return std::isfinite(r) ? RoundHalfEven(r, 3) : 0;
}

std::string SpeedChain(double r) {
    // a setpts stage stays within 0.25 .. 4; larger changes take up to three stages
    auto fmt = [](double x) { return RoundHalfEven(x, 2); };
    if (r <= 0.25) {
        const double s = fmt(r / 0.25);
        if (s >= 0.25) return "setpts=0.25*PTS,setpts=" + Format3(s) + "*PTS";
        return "setpts=0.25*PTS,setpts=0.25*PTS,setpts=" + Format3(fmt(s / 0.25)) + "*PTS";
    }
    if (r < 1) return "setpts=" + Format3(r) + "*PTS";
    if (r <= 4) return "setpts=" + PlainNumber(r) + "*PTS";
    const double s = fmt(r / 4);
    if (s <= 4) return "setpts=4*PTS,setpts=" + Format3(s) + "*PTS";
    return "setpts=4*PTS,setpts=4*PTS,setpts=" + Format3(fmt(s / 4)) + "*PTS";
}

std::string SpeedFilter(bool hasTarget, double r) {
    if (!hasTarget) return " ";
    if (!(r > 0)) return "  ";
    return " -filter:v \"" + SpeedChain(r) + "\" ";
}

std::string FinalCommand(bool music, Encoder enc, const std::string& musicTrack,
                         const std::string& programFolder, const std::string& speedFilter,
                         const std::string& rateOption, const std::string& bitRateOption,
                         const std::string& outputFile, char sep) {
    const std::string list =
        "-safe 0 -f concat -i \"" + workFile(programFolder, sep, "List.txt") + "\" ";
    const std::string musicInput = "-i \"" + musicTrack + "\" ";
    const std::string output = " -y \"" + outputFile + "\"";
    const std::string intelIn(PiecesOf(Encoder::Intel).decoder);
    const std::string intelOut(PiecesOf(Encoder::Intel).encoder);
    const std::string nvIn(PiecesOf(Encoder::Nvidia).decoder);
    const std::string nvOut(PiecesOf(Encoder::Nvidia).encoder);
    const std::string rateBits = rateOption + "  -b:v " + bitRateOption;
    if (music) {
        switch (enc) {
            case Encoder::Intel:
                return intelIn + musicInput + list + speedFilter + " -y -q:v 0 -crf 32 " +
                       rateBits + " " + intelOut + output;
            case Encoder::Nvidia:
                return nvIn + musicInput + list + speedFilter + " -y -q:v 0   -crf 32 " + rateBits +
                       " " + nvOut + output;
            case Encoder::Software:
                return musicInput + list + speedFilter + "  -y -q:v 0   -crf 32 " + rateBits +
                       output;
        }
    }
    switch (enc) {
        case Encoder::Intel:
            return intelIn + "  " + list + speedFilter + " -y -q:v 0   -crf 32 " + rateBits + " " +
                   intelOut + output;
        case Encoder::Nvidia:
            return nvIn + list + speedFilter + " -y -q:v 0   -crf 32 " + rateBits + "  " + nvOut +
                   output;
        case Encoder::Software:
            break;
    }
    return list + speedFilter + " -y -q:v 0   -crf 32 " + rateBits + output;
}

std::string OutputFile(const std::string& outputFolder, int madeCount, char sep) {
    return outputFolder + sep + Format6(madeCount) + ".mp4";
}

std::string PartialOutputFile(const std::string& outputFolder, int number, char sep) {
    return outputFolder + sep + Format6(number) + ".partial.mp4";
}

bool IsLeftoverOutputName(const std::string& name) {
    const auto digitsFrom = [&name](size_t at) {
        size_t end = at;
        while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
        return end - at >= 6 ? end : std::string::npos;
    };
    if (const size_t end = digitsFrom(0); end != std::string::npos)
        return name.substr(end) == ".partial.mp4";
    if (name.empty() || name[0] != '.') return false;
    const size_t end = digitsFrom(1);
    if (end == std::string::npos || name.compare(end, 5, ".mp4.") != 0) return false;
    const std::string rest = name.substr(end + 5);
    return rest.size() == 6 && std::all_of(rest.begin(), rest.end(),
                                           [](unsigned char c) { return std::isalnum(c) != 0; });
}

int PickIndex(float r, int count) {
    if (count <= 0) return 0;
    const double v = RoundHalfEven(static_cast<double>(r) * count, 0);
    if (!(v > 0)) return 0;
    if (v >= count - 1) return count - 1;
    return static_cast<int>(v);
}

std::string ProbeCommand(Encoder enc, const std::string& programFolder, char sep) {
    return ProbeCommand(enc, programFolder, sep, ProgramFolder(programFolder, sep).probeOutput());
}

std::string ProbeCommand(Encoder enc, const std::string& programFolder, char sep,
                         const std::string& outputFile) {
    const ProgramFolder folder(programFolder, sep);
    const EncoderPieces pieces = PiecesOf(enc);
    return std::string(pieces.decoder) + " -i \"" + folder.probeInput() +
           "\" -vf \"transpose=1\" -s 720:1280 -r 25 -b:v 10000k -an -q:v 0 " +
           std::string(pieces.encoder) + " -y \"" + outputFile + "\"";
}

std::string CompressorParams(const std::string& programFolder, char sep) {
    const ProgramFolder folder(programFolder, sep);
    return programFolder + "\t" + std::string(ProgramFolder::kTranscoder) + "\t" +
           folder.compressionList() + "\t32\t25\t10000";
}

}  // namespace MergeTexts
