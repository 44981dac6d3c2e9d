#pragma once
// The texts and numbers of a merge run as pure functions: transcoder command texts, join lists,
// the speed chain, number formats, the counted forms of folder entries and the clip rule. No I/O
// here; paths are composed with the platform separator passed in by the caller.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace MergeTexts {

// ---- numbers ------------------------------------------------------------------------------

// Rounds to the given number of decimals, halves to the even neighbour (2.5 -> 2, 0.125 -> 0.12).
using text::RoundHalfEven;
// "000000" format: at least six digits with leading zeros.
std::string Format6(int n);
// "0.000" format: three decimals, leading zero (0.8 -> "0.800").
std::string Format3(double x);
// Plain decimal form: shortest text that gives the value back, at most 15 significant digits,
// no trailing zeros (30 -> "30", 23.456 -> "23.456", 1.5 -> "1.5").
using text::PlainNumber;
// A byte count as whole megabytes: size / 1024 / 1024 rounded to 3 decimals, then to a whole
// number, halves to even (1,572,864 -> 2; 2,621,440 -> 2).
int MegaBytes(std::int64_t bytes);

// ---- folder entries and file rules ----------------------------------------------------------

// True for a name or path that a quoted command text and a CR LF separated list can carry (no
// double quote, CR or LF).
bool Carriable(const std::string& text);
// A file name is a clip when its extension (last "." to the end, lower-cased) occurs anywhere in
// the clip-type list. A name without a dot is not a clip; neither is a name that a command text
// cannot carry (a double quote in it).
bool IsClipName(const std::string& name);
// "*.mp3", any case.
bool IsMp3Name(const std::string& name);
// The clip-type list as file-name patterns ("*.mp4;*.avi;...").
const std::string& ClipPatternList();
// True when the name matches one of the clip-type patterns (any case) — the filtered listing used
// from the second pass on when music is on.
bool MatchesClipPatterns(const std::string& name);

// "MP4视频数：" + count + TAB + folder
std::string CountedEntry(int count, const std::string& folder);
// The folder of a List1 entry: a bare path (no TAB) as it is; else field 1 (split at TAB) when
// exists(field 1), otherwise field 2. Without exists, field 2 of every entry that has a TAB.
std::string EntryFolder(const std::string& entry,
                        const std::function<bool(const std::string&)>& exists = {});
// Field 2 of an entry split at TAB (empty when there is none).
std::string EntryField2(const std::string& entry);
// "背景mp3音乐数：" + count + "   " + folder
std::string CountedAudio(int count, const std::string& folder);
// The music folder of the LAudio caption: the second piece split at three blanks; the whole
// caption when there is no second piece.
std::string AudioFolder(const std::string& caption);
// True when the caption has a second piece after three blanks.
bool AudioHasSecondPiece(const std::string& caption);

// ---- job options ----------------------------------------------------------------------------

struct JobOptions {
    std::string SizeOption;     // " -s W:H "
    std::string RateOption;     // " -r 25 "
    std::string BitRateOption;  // " 10000k "
    std::string MuteOption;     // " -an " or " "
};
// nullopt when the size text is not two whole numbers separated by "×".
std::optional<std::string> SizeOption(const std::string& sizeText);
std::string RateOption(const std::string& fpsText);
std::string BitRateOption(const std::string& bitsText);
std::string MuteOption(bool mute);

// "本次操作最多可生成" + n + "个视频，…" CRLF "…" CRLF "继续执行？"
std::string ConfirmText(int maxVideos);
// year-month-day without leading zeros: 2020-7-1
std::string RunDateText(int year, int month, int day);

// ---- command texts --------------------------------------------------------------------------

enum class Encoder { Software, Intel, Nvidia };
// The hardware encoder's two pieces: the decoder option in front of the first input (with the
// automatic rotation switched off) and the encoder option in front of the output. Empty for the
// software form.
struct EncoderPieces {
    std::string_view decoder, encoder;
};
EncoderPieces PiecesOf(Encoder enc);
// The entry of the hardware-encoder list that selects the encoder ("Intel显卡硬件加速", ...).
std::string_view AcceleratorEntry(Encoder enc);
// Software when hardware is off; Intel when the selected accelerator text is
// "Intel显卡硬件加速"; NVIDIA for any other selection (none included).
Encoder EncoderFor(bool hardware, const std::string& accelText);

enum class Turn { None, Clockwise, CounterClockwise };
// Landscape (width value > height value, non-numbers count 0) turns clockwise when rotateClockwise,
// else counter-clockwise; upright and square clips are not turned.
Turn TurnFor(const std::string& widthText, const std::string& heightText, bool rotateClockwise);

// The turn of a clip as the encoder form sees it: the software form decodes with the
// transcoder's automatic rotation, so a clip whose display rotation is 90 or 270 degrees is judged
// with width and height swapped (as it is shown); the hardware forms switch automatic rotation off
// and get the picture as stored.
Turn TurnForClip(Encoder enc, const std::string& widthText, const std::string& heightText,
                 int rotation, bool rotateClockwise);

// The clip normalisation command; sep is the platform separator.
std::string ClipCommand(Encoder enc, Turn turn, const std::string& clipPath, const JobOptions& job,
                        const std::string& programFolder, int folderIndex, char sep);

// Join list line(s) for the concat demuxer, in the transcoder's own quoting (an apostrophe in a
// path is written as '\''), each line ended by CR LF.
std::string JoinListLine(const std::string& path);
std::string MusicJoinList(const std::string& musicSource, int repeats);
std::string ClipJoinList(const std::string& programFolder, int clipCount, char sep);

// Copies of the mp3 needed: T / musicDuration + 0.5, rounded halves to even.
int MusicRepeats(double target, double musicDuration);
// The cut length: the TLeng text as typed when its value is not 0, else clipsDuration in plain
// form.
std::string MusicLength(const std::string& tlengText, double clipsDuration);
std::string MusicCutCommand(const std::string& length, const std::string& source,
                            const std::string& programFolder, char sep);
std::string MusicJoinCommand(const std::string& programFolder, char sep);
std::string MusicCutJoinedCommand(const std::string& length, const std::string& programFolder,
                                  char sep);
// A music command that copies the audio stream ("-acodec copy") made to re-encode it to MP3
// instead ("-acodec libmp3lame"), all else (cut, length, files) as it was: for music whose stream
// the mp3 writer does not take as it is (MPEG-1 layer II, AAC under an .mp3 name).
std::string MusicReencoded(const std::string& copyingCommand);

// target / joined rounded to 3 decimals, halves to even; 0 when joined is 0.
double SpeedFactor(double target, double joined);
// The setpts chain for a factor already rounded to 3 decimals.
std::string SpeedChain(double r);
// " " without a target; "  " when r is not above 0; else " -filter:v \"" + chain + "\" ".
std::string SpeedFilter(bool hasTarget, double r);

// The final assembly command in its six forms.
std::string FinalCommand(bool music, Encoder enc, const std::string& musicTrack,
                         const std::string& programFolder, const std::string& speedFilter,
                         const std::string& rateOption, const std::string& bitRateOption,
                         const std::string& outputFile, char sep);
// output folder + sep + Format6(madeCount) + ".mp4"
std::string OutputFile(const std::string& outputFolder, int madeCount, char sep);
// Where the final run writes a video until it is judged good: output folder + sep +
// Format6(number) + ".partial.mp4" (the extension keeps the transcoder's choice of format).
std::string PartialOutputFile(const std::string& outputFolder, int number, char sep);
// True for a file name that only a run of ours leaves in an output folder when it ends
// abnormally: a video still being made ("000000.partial.mp4") or a replacement still being
// copied into place (".000000.mp4." followed by six letters or digits).
bool IsLeftoverOutputName(const std::string& name);

// The random pick: r × count rounded halves to even, capped at count - 1.
int PickIndex(float r, int count);

// The acceleration probe's transcoder command for one hardware encoder: the shipped sample turned,
// sized and encoded into the probe's output.
std::string ProbeCommand(Encoder enc, const std::string& programFolder, char sep);
// The same command writing outputFile (a full path) instead, for sessions that run at once.
std::string ProbeCommand(Encoder enc, const std::string& programFolder, char sep,
                         const std::string& outputFile);

// The six TAB-separated fields that start the compressor.
std::string CompressorParams(const std::string& programFolder, char sep);

}  // namespace MergeTexts
