// The texts and numbers of a merge run, checked piece for piece against the documented tables.
// Every path-composing text is checked with both separators: the expectations are built with the
// separator in use ('/' here, '\' on Windows).

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "merge/MergeTexts.h"

using namespace MergeTexts;

namespace {

const std::vector<char> kSeps = {'/', '\\'};
std::string S(char sep) {
    return std::string(1, sep);
}
JobOptions defaultJob() {
    return {" -s 720:1280 ", " -r 25 ", " 10000k ", " "};
}

}  // namespace

// ---- numbers ----------------------------------------------------------------------------------

TEST(Numbers, RoundHalfEvenJudgesTheDecimalValueAsWritten) {
    struct Case {
        double x;
        int decimals;
        double expected;
    };
    const Case cases[] = {
        {2.5, 0, 2},        {3.5, 0, 4},           {0.5, 0, 0},       {1.5, 0, 2},
        {9.5, 0, 10},       {-2.5, 0, -2},         {-3.5, 0, -4},     {2.4999, 0, 2},
        {2.5001, 0, 3},     {0.125, 2, 0.12},      {0.375, 2, 0.38},  {1.875, 2, 1.88},
        {1.0035, 3, 1.004},  // stored just below the half, written as a half
        {1.0045, 3, 1.004},  // stored just above the half, written as a half
        {2.675, 2, 2.68},   {1.0025, 3, 1.002},    {1.004, 2, 1.0},   {0.9995, 3, 1.0},
        {0.005, 2, 0},      {0.015, 2, 0.02},      {0.006, 2, 0.01},  {0.0049, 2, 0},
        {1e-7, 3, 0},       {123.456, 5, 123.456}, {4.016, 3, 4.016}, {0, 3, 0},
        {1e300, 3, 1e300},  {1250, -2, 1200},      {1350, -2, 1400},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundHalfEven(c.x, c.decimals), c.expected) << c.x << " to " << c.decimals;
    }
}

TEST(Numbers, FormatsAndPlainNumbers) {
    const std::pair<int, std::string> six[] = {
        {0, "000000"}, {2, "000002"}, {123456, "123456"}, {1234567, "1234567"}, {-5, "-000005"}};
    for (const auto& [n, text] : six) EXPECT_EQ(Format6(n), text);

    const std::pair<double, std::string> three[] = {
        {0.8, "0.800"},   {1.88, "1.880"},   {0, "0.000"},      {12.5, "12.500"},
        {0.971, "0.971"}, {1.0005, "1.000"}, {1.0015, "1.002"}, {-0.0001, "0.000"}};
    for (const auto& [x, text] : three) EXPECT_EQ(Format3(x), text) << x;

    const std::pair<double, std::string> plain[] = {
        {30, "30"},
        {23.456, "23.456"},
        {1.5, "1.5"},
        {12.5 + 10.5, "23"},
        {0.1 + 0.2, "0.3"},  // 0.30000000000000004 needs 17 digits: 15 at most
        {1.0 / 3, "0.333333333333333"},
        {1e-5, "0.00001"},
        {1e20, "100000000000000000000"},
        {-2.5, "-2.5"},
        {3.125, "3.125"},
        {123456789012345.6, "123456789012346"},
        {0, "0"},
    };
    for (const auto& [x, text] : plain) EXPECT_EQ(PlainNumber(x), text) << x;
}

TEST(Numbers, MegaBytesRoundHalvesToEven) {
    const std::pair<std::int64_t, int> cases[] = {
        {1572864, 2}, {2621440, 2}, {0, 0}, {1048576, 1}, {3670016, 4}, {524288, 0}, {1600000, 2}};
    for (const auto& [bytes, mb] : cases) EXPECT_EQ(MegaBytes(bytes), mb) << bytes;
}

// ---- folder entries and file rules ------------------------------------------------------------

TEST(FileRules, ClipRuleIsASubstringOfTheTypeList) {
    const std::pair<std::string, bool> cases[] = {
        {"a.mp4", true},
        {"b.MOV", true},
        {"c.txt", false},
        {"d", false},
        {"e.mp", true},
        {"x.m", true},
        {"y.r", true},
        {"clip.MKV", true},
        {"a.b.ts", true},
        {"a.mp4.txt", false},
        {"song.mp3", false},
        {"名字 带空格's.mp4", true},
        {"say \"hi\".mp4", false},  // a command text could not carry it
        {"line\nbreak.mp4", false},
    };
    for (const auto& [name, clip] : cases) EXPECT_EQ(IsClipName(name), clip) << name;
    EXPECT_EQ(ClipPatternList(),
              "*.mp4;*.avi;*.mpg;*.mpeg;*.flv;*.wmv;*.mov;*.mkv;*.3gp;*.rm;*.rmvb;*.dvd;*.ts;*.dat;"
              "*.ogg;*.qt");
}

TEST(FileRules, Mp3NamesAndClipPatterns) {
    const std::pair<std::string, bool> mp3[] = {{"a.mp3", true},       {"b.MP3", true},
                                                {"歌 曲's.Mp3", true}, {"c.mp4", false},
                                                {"mp3", false},        {"q\"uote.mp3", false}};
    for (const auto& [name, yes] : mp3) EXPECT_EQ(IsMp3Name(name), yes) << name;

    const std::pair<std::string, bool> patterns[] = {
        {"a.MP4", true},  {"e.mp", false}, {"x.rmvb", true}, {"x.rm", true},
        {"a.txt", false}, {"mp4", false},  {"z.Qt", true},   {"a.mp4.bak", false}};
    for (const auto& [name, yes] : patterns) EXPECT_EQ(MatchesClipPatterns(name), yes) << name;
}

TEST(FolderEntries, CountedFormsAndTheirFolders) {
    const std::set<std::string> existing = {"/v/a", "/v/x\ty"};
    auto exists = [&](const std::string& p) { return existing.count(p) > 0; };

    EXPECT_EQ(CountedEntry(5, "/v/a"), "MP4视频数：5\t/v/a");
    // entry, its folder, its folder without a look at the disk (field 2 whenever there is a TAB)
    const std::string entries[][3] = {
        {"/v/a", "/v/a", "/v/a"},                         // bare path: field 1
        {"MP4视频数：5\t/v/a", "/v/a", "/v/a"},           // counted: field 2
        {"MP4视频数：0\t/v/gone", "/v/gone", "/v/gone"},  // field 2 even when it is missing
        {"/v/a\t/v/b", "/v/a", "/v/b"},                   // field 1 exists
        {"/v/missing", "/v/missing", "/v/missing"},       // bare path: as it is
        {"MP4视频数：3\t/v/x\ty", "/v/x\ty", "/v/x\ty"},  // a folder holding a TAB stays whole
    };
    for (const auto& [entry, folder, listed] : entries) {
        EXPECT_EQ(EntryFolder(entry, exists), folder) << entry;
        EXPECT_EQ(EntryFolder(entry), listed) << entry;
    }
    EXPECT_EQ(EntryFolder(CountedEntry(7, "/v/a"), exists), "/v/a");
    EXPECT_EQ(EntryField2("MP4视频数：5\t/v/a"), "/v/a");
    EXPECT_EQ(EntryField2("/v/a"), "");

    EXPECT_EQ(CountedAudio(3, "/m"), "背景mp3音乐数：3   /m");
    EXPECT_EQ(AudioFolder(CountedAudio(3, "/m")), "/m");
    EXPECT_EQ(AudioFolder(CountedAudio(3, "/my   music")), "/my   music");
    EXPECT_EQ(AudioFolder("/m/bare"), "/m/bare");
    EXPECT_TRUE(AudioHasSecondPiece(CountedAudio(0, "/m")));
    EXPECT_FALSE(AudioHasSecondPiece("/m/bare"));
    EXPECT_FALSE(AudioHasSecondPiece("Mp3背景音乐文件夹未指定"));
}

// ---- job options ------------------------------------------------------------------------------

TEST(JobOptions, OptionTexts) {
    const std::pair<std::string, std::optional<std::string>> sizes[] = {
        {"720×1280", " -s 720:1280 "}, {" 720 × 1280 ", " -s 720:1280 "},
        {"144×204", " -s 144:204 "},   {"720x1280", std::nullopt},
        {"a×b", std::nullopt},         {"720×", std::nullopt},
        {"×1280", std::nullopt},       {"7.5×10", std::nullopt},
        {"1×2×3", std::nullopt},       {"-720×1280", std::nullopt},
        {"0×10", std::nullopt},        {"99999999999×1", std::nullopt},
    };
    for (const auto& [text, option] : sizes) EXPECT_EQ(SizeOption(text), option) << text;
    EXPECT_EQ(RateOption("25"), " -r 25 ");
    EXPECT_EQ(BitRateOption("10000"), " 10000k ");
    EXPECT_EQ(MuteOption(false), " ");
    EXPECT_EQ(MuteOption(true), " -an ");
}

TEST(JobOptions, ConfirmationAndRunDate) {
    EXPECT_EQ(
        ConfirmText(2),
        "本次操作最多可生成2个视频，请在合并过程中，不断补充每个视频素材来源文件夹中的新视频，"
        "\r\n否则某个文件夹中的视频数量为零时将自动终止或者等待新视频的补充！\r\n继续执行？");
    EXPECT_EQ(ConfirmText(999999999).rfind("本次操作最多可生成999999999个视频", 0), 0u);
    EXPECT_EQ(RunDateText(2020, 7, 1), "2020-7-1");
    EXPECT_EQ(RunDateText(2021, 3, 5), "2021-3-5");
    EXPECT_EQ(RunDateText(2021, 12, 31), "2021-12-31");
}

// ---- clip commands ----------------------------------------------------------------------------

TEST(ClipCommands, EncoderAndTurnChoice) {
    EXPECT_EQ(EncoderFor(false, "Intel显卡硬件加速"), Encoder::Software);
    EXPECT_EQ(EncoderFor(true, "Intel显卡硬件加速"), Encoder::Intel);
    EXPECT_EQ(EncoderFor(true, "NVIDIA显卡硬件加速"), Encoder::Nvidia);
    EXPECT_EQ(EncoderFor(true, ""), Encoder::Nvidia);

    struct Case {
        std::string w, h;
        bool clockwise;
        Turn turn;
    };
    const Case cases[] = {
        {"1920", "1080", false, Turn::CounterClockwise},
        {"1920", "1080", true, Turn::Clockwise},
        {"720", "1280", false, Turn::None},
        {"1080", "1080", true, Turn::None},
        {"", "", false, Turn::None},
        {"abc", "5", false, Turn::None},
        {"5", "abc", false, Turn::CounterClockwise},
        {"1920 pixels", "1080 pixels", false, Turn::CounterClockwise},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TurnFor(c.w, c.h, c.clockwise), c.turn) << c.w << "x" << c.h;

    // The software form sees a clip as shown (its display rotation applied), the hardware forms
    // as stored.
    struct Rotated {
        Encoder enc;
        std::string w, h;
        int rotation;
        Turn turn;
    };
    const Rotated rotated[] = {
        {Encoder::Software, "320", "240", 90, Turn::None},
        {Encoder::Software, "320", "240", 270, Turn::None},
        {Encoder::Software, "320", "240", 180, Turn::CounterClockwise},
        {Encoder::Software, "240", "320", 90, Turn::CounterClockwise},
        {Encoder::Software, "240", "320", 0, Turn::None},
        {Encoder::Intel, "320", "240", 90, Turn::CounterClockwise},
        {Encoder::Nvidia, "240", "320", 270, Turn::None},
    };
    for (const auto& r : rotated)
        EXPECT_EQ(TurnForClip(r.enc, r.w, r.h, r.rotation, false), r.turn)
            << r.w << "x" << r.h << " rotated " << r.rotation;
}

TEST(Outputs, PartialNamesAndLeftovers) {
    EXPECT_EQ(PartialOutputFile("/out", 7, '/'), "/out/000007.partial.mp4");
    EXPECT_EQ(PartialOutputFile("D:\\out", 1234567, '\\'), "D:\\out\\1234567.partial.mp4");
    const std::pair<std::string, bool> names[] = {
        {"000000.partial.mp4", true},   {"1234567.partial.mp4", true},
        {".000012.mp4.aB3xY9", true},   {"000000.mp4", false},
        {"00000.partial.mp4", false},   {"000000.partial.mp4.bak", false},
        {"my.partial.mp4", false},      {".000012.mp4.aB3x", false},
        {".000012.mp4.aB3xY9Z", false}, {".000012.mov.aB3xY9", false},
        {"x000000.partial.mp4", false}, {"", false},
    };
    for (const auto& [name, leftover] : names)
        EXPECT_EQ(IsLeftoverOutputName(name), leftover) << name;
}

TEST(ClipCommands, AllNineFormsPieceForPiece) {
    // The pieces of the command table: PREFIX, VF, QUALITY, ENCODER, TARGET.
    struct Row {
        Encoder enc;
        Turn turn;
        std::string prefix, vf, quality, encoder, target;
    };
    const std::string vfCw = "\" -vf \"transpose=1\"  ";
    const std::string vfCcw = "\"   -vf \"transpose=2\"   ";
    const std::string vfNone = "\"  ";
    const std::string qsv = "-c:v h264_qsv  -noautorotate  ";
    const std::string cuvid = " -c:v h264_cuvid   -noautorotate ";
    ASSERT_EQ(qsv.size(), 30u);
    ASSERT_EQ(cuvid.size(), 33u);
    const Row rows[] = {
        {Encoder::Software, Turn::Clockwise, "", vfCw, " -q:v 0 -y \"", "", ""},
        {Encoder::Software, Turn::CounterClockwise, "", vfCcw, " -q:v 0 -y \"", "", ""},
        {Encoder::Software, Turn::None, "", vfNone, " -q:v 0 -y \"", "", ""},
        {Encoder::Intel, Turn::Clockwise, qsv, vfCw, " -q:v 0 ", "  -c:v h264_qsv ", " -y \""},
        {Encoder::Intel, Turn::CounterClockwise, qsv, vfCcw, " -q:v 0  ", "  -c:v h264_qsv ",
         "  -y \""},
        {Encoder::Intel, Turn::None, qsv, vfNone, " -q:v 0  ", "  -c:v h264_qsv ", " -y \""},
        {Encoder::Nvidia, Turn::Clockwise, cuvid, vfCw, " -q:v 0  ", " -c:v h264_nvenc ", " -y \""},
        {Encoder::Nvidia, Turn::CounterClockwise, cuvid, vfCcw, " -q:v 0  ", " -c:v h264_nvenc ",
         "  -y \""},
        {Encoder::Nvidia, Turn::None, cuvid, vfNone, " -q:v 0  ", " -c:v h264_nvenc ", " -y \""},
    };
    const JobOptions job = defaultJob();
    for (char sep : kSeps) {
        const std::string prog = "P" + S(sep) + "my prog";
        const std::string clip = "V" + S(sep) + "clip 视频.mp4";
        for (const auto& r : rows) {
            const std::string expected = r.prefix + "-i \"" + clip + r.vf + " -s 720:1280 " +
                                         "   " + " -r 25 " + "  -b:v " + " 10000k " + " " + " " +
                                         r.quality + r.encoder + r.target + prog + S(sep) + "Tmps" +
                                         S(sep) + "3" + ".mp4\"";
            EXPECT_EQ(ClipCommand(r.enc, r.turn, clip, job, prog, 3, sep), expected)
                << int(r.enc) << "/" << int(r.turn) << " sep " << sep;
        }
    }
    // Two forms written out whole, as the transcoder receives them.
    EXPECT_EQ(ClipCommand(Encoder::Software, Turn::CounterClockwise, "D:\\v\\a.mp4", job,
                          "D:\\Tools", 0, '\\'),
              "-i \"D:\\v\\a.mp4\"   -vf \"transpose=2\"    -s 720:1280     -r 25   -b:v  10000k "
              "   -q:v 0 -y \"D:\\Tools\\Tmps\\0.mp4\"");
    JobOptions muted = job;
    muted.MuteOption = " -an ";
    EXPECT_EQ(ClipCommand(Encoder::Intel, Turn::None, "/v/a.mp4", muted, "/p", 12, '/'),
              "-c:v h264_qsv  -noautorotate  -i \"/v/a.mp4\"   -s 720:1280     -r 25   -b:v  "
              "10000k   -an  -q:v 0    -c:v h264_qsv  -y \"/p/Tmps/12.mp4\"");
}

// ---- music ------------------------------------------------------------------------------------

TEST(Music, CommandsAndJoinList) {
    for (char sep : kSeps) {
        const std::string prog = "P" + S(sep) + "prog 1";
        const std::string tmps = prog + S(sep) + "Tmps" + S(sep);
        const std::string src = "M" + S(sep) + "歌 曲.mp3";
        EXPECT_EQ(MusicCutCommand("23", src, prog, sep),
                  "-ss 0 -t 23 -i \"" + src + "\" -y -acodec copy -q:a 0 \"" + tmps + "a.mp3\"");
        EXPECT_EQ(MusicJoinCommand(prog, sep), "-safe 0 -f concat -i \"" + tmps +
                                                   "List.txt\"  -y -acodec copy -q:a 0 \"" + tmps +
                                                   "M.mp3\"");
        EXPECT_EQ(
            MusicCutJoinedCommand("15", prog, sep),
            "-ss 0 -t 15 -i \"" + tmps + "M.mp3\" -y -acodec copy -q:a 0 \"" + tmps + "a.mp3\"");
        EXPECT_EQ(ClipJoinList(prog, 3, sep), "file '" + tmps + "0.mp4'\r\nfile '" + tmps +
                                                  "1.mp4'\r\nfile '" + tmps + "2.mp4'\r\n");
    }
    EXPECT_EQ(MusicJoinList("/m/s.mp3", 4),
              "file '/m/s.mp3'\r\nfile '/m/s.mp3'\r\nfile '/m/s.mp3'\r\nfile '/m/s.mp3'\r\n");
    EXPECT_EQ(MusicJoinList("/m/s.mp3", 1), "file '/m/s.mp3'\r\n");
    EXPECT_EQ(MusicJoinList("/m/s.mp3", 0), "");
    // the concat demuxer's own quoting: ' closes, \' is a quote, ' reopens
    EXPECT_EQ(JoinListLine("/a/it's.mp4"), "file '/a/it'\\''s.mp4'\r\n");
    EXPECT_EQ(JoinListLine("D:\\a b\\''.mp4"), "file 'D:\\a b\\'\\'''\\''.mp4'\r\n");
}

TEST(Music, RepeatsAndLength) {
    struct Row {
        double target, duration;
        int repeats;
    };
    const Row rows[] = {{10, 40, 1}, {10, 20, 1}, {10, 8, 2},  {10, 10, 2},
                        {20, 10, 2}, {10, 4, 3},  {30, 10, 4}, {60, 60, 2}};
    for (const auto& r : rows) {
        EXPECT_EQ(MusicRepeats(r.target, r.duration), r.repeats) << r.target << "/" << r.duration;
    }
    EXPECT_EQ(MusicRepeats(10, 0), 0);  // unreadable mp3: no copies, no track
    EXPECT_EQ(MusicRepeats(10, -1), 0);

    EXPECT_EQ(MusicLength("0", 12.5 + 10.5), "23");
    EXPECT_EQ(MusicLength("15", 100), "15");
    EXPECT_EQ(MusicLength("", 30.0), "30");
    EXPECT_EQ(MusicLength("0", 23.456), "23.456");
    EXPECT_EQ(MusicLength("10.50", 3), "10.50");  // as typed
    EXPECT_EQ(MusicCutCommand(MusicLength("0", 12.5 + 10.5), "/m/a b.mp3", "/p", '/')
                  .rfind("-ss 0 -t 23 -i \"/m/a b.mp3\"", 0),
              0u);
}

// ---- speed fitting ----------------------------------------------------------------------------

TEST(Speed, WorkedChainsAndEdges) {
    struct Row {
        double target, joined, r;
        std::string chain;
    };
    const Row rows[] = {
        {10, 50, 0.2, "setpts=0.25*PTS,setpts=0.800*PTS"},
        {5, 100, 0.05, "setpts=0.25*PTS,setpts=0.25*PTS,setpts=0.800*PTS"},
        {10, 20, 0.5, "setpts=0.500*PTS"},
        {30, 20, 1.5, "setpts=1.5*PTS"},
        {20, 20, 1, "setpts=1*PTS"},
        {60, 10, 6, "setpts=4*PTS,setpts=1.500*PTS"},
        {60, 2, 30, "setpts=4*PTS,setpts=4*PTS,setpts=1.880*PTS"},
        {10, 40, 0.25, "setpts=0.25*PTS,setpts=1.000*PTS"},
        {10, 2.5, 4, "setpts=4*PTS"},
        {10, 2.49, 4.016, "setpts=4*PTS,setpts=1.000*PTS"},
        {10, 9.7, 1.031, "setpts=1.031*PTS"},
        {10, 10.3, 0.971, "setpts=0.971*PTS"},
        {25, 8, 3.125, "setpts=3.125*PTS"},
        {10, 3, 3.333, "setpts=3.333*PTS"},
    };
    for (const auto& row : rows) {
        const double r = SpeedFactor(row.target, row.joined);
        EXPECT_EQ(r, row.r) << row.target << "/" << row.joined;
        EXPECT_EQ(SpeedChain(r), row.chain) << row.target << "/" << row.joined;
        EXPECT_EQ(SpeedFilter(true, r), " -filter:v \"" + row.chain + "\" ");
    }
    EXPECT_EQ(SpeedFactor(10, 0), 0);
    EXPECT_EQ(SpeedFilter(false, 1.5), " ");
    EXPECT_EQ(SpeedFilter(true, 0), "  ");
    EXPECT_EQ(SpeedFilter(true, -1), "  ");
}

// ---- final assembly ---------------------------------------------------------------------------

TEST(FinalCommands, SixFormsPieceForPiece) {
    const std::string F = " -filter:v \"setpts=0.500*PTS\" ";
    const std::string R = " -r 25 ", B = " 10000k ";
    for (char sep : kSeps) {
        const std::string P = "P" + S(sep) + "prog";
        const std::string M = P + S(sep) + "Tmps" + S(sep) + "a.mp3";
        const std::string O = "O" + S(sep) + "000002.mp4";
        const std::string L = P + S(sep) + "Tmps" + S(sep) + "List.txt";
        struct Row {
            bool music;
            Encoder enc;
            std::string expected;
        };
        const Row rows[] = {
            {true, Encoder::Intel,
             "-c:v h264_qsv  -noautorotate  " +
                 ("-i \"" + M + "\" -safe 0 -f concat -i \"" + L + "\" ") + F +
                 " -y -q:v 0 -crf 32 " + R + "  -b:v " + B + " " + "  -c:v h264_qsv " + " -y \"" +
                 O + "\""},
            {true, Encoder::Nvidia,
             " -c:v h264_cuvid   -noautorotate " +
                 ("-i \"" + M + "\" -safe 0 -f concat -i \"" + L + "\" ") + F +
                 " -y -q:v 0   -crf 32 " + R + "  -b:v " + B + " " + " -c:v h264_nvenc " +
                 " -y \"" + O + "\""},
            {true, Encoder::Software,
             "-i \"" + M + "\" -safe 0 -f concat -i \"" + L + "\" " + F + "  -y -q:v 0   -crf 32 " +
                 R + "  -b:v " + B + " -y \"" + O + "\""},
            {false, Encoder::Intel,
             "-c:v h264_qsv  -noautorotate  " + ("  -safe 0 -f concat -i \"" + L + "\" ") + F +
                 " -y -q:v 0   -crf 32 " + R + "  -b:v " + B + " " + "  -c:v h264_qsv " + " -y \"" +
                 O + "\""},
            {false, Encoder::Nvidia,
             " -c:v h264_cuvid   -noautorotate " + ("-safe 0 -f concat -i \"" + L + "\" ") + F +
                 " -y -q:v 0   -crf 32 " + R + "  -b:v " + B + "  " + " -c:v h264_nvenc " +
                 " -y \"" + O + "\""},
            {false, Encoder::Software,
             "-safe 0 -f concat -i \"" + L + "\" " + F + " -y -q:v 0   -crf 32 " + R + "  -b:v " +
                 B + " -y \"" + O + "\""},
        };
        for (const auto& r : rows) {
            EXPECT_EQ(FinalCommand(r.music, r.enc, M, P, F, R, B, O, sep), r.expected)
                << r.music << "/" << int(r.enc) << " sep " << sep;
        }
        EXPECT_EQ(OutputFile("O", 2, sep), O);
    }
    // Without a target the one-blank filter leaves three blanks between the list path and -y.
    EXPECT_EQ(FinalCommand(false, Encoder::Software, "", "/p", SpeedFilter(false, 0), " -r 25 ",
                           " 10000k ", "/o/000000.mp4", '/'),
              "-safe 0 -f concat -i \"/p/Tmps/List.txt\"   -y -q:v 0   -crf 32  -r 25   -b:v  "
              "10000k  -y \"/o/000000.mp4\"");
}

TEST(FinalCommands, CompressorParameters) {
    EXPECT_EQ(CompressorParams("D:\\Tools", '\\'),
              "D:\\Tools\tVidforge.exe\tD:\\Tools\\CompList.txt\t32\t25\t10000");
    EXPECT_EQ(CompressorParams("/opt/my tools", '/'),
              "/opt/my tools\tVidforge.exe\t/opt/my tools/CompList.txt\t32\t25\t10000");
}

// ---- random pick ------------------------------------------------------------------------------

TEST(Pick, EdgesAndDistribution) {
    const std::pair<float, int> four[] = {{0.0f, 0},   {0.124f, 0}, {0.125f, 0},
                                          {0.126f, 1}, {0.375f, 2}, {0.625f, 2},
                                          {0.626f, 3}, {0.8f, 3},   {0.9999f, 3}};
    for (const auto& [r, index] : four) EXPECT_EQ(PickIndex(r, 4), index) << r;
    for (float r : {0.0f, 0.3f, 0.5f, 0.7f, 0.9999f}) EXPECT_EQ(PickIndex(r, 1), 0) << r;
    EXPECT_EQ(PickIndex(0.5f, 0), 0);

    std::mt19937 rng(20240601);
    const int draws = 200000;
    int hits[4] = {0, 0, 0, 0};
    for (int i = 0; i < draws; ++i) {
        const float r = static_cast<float>(rng() >> 8) * (1.0f / 16777216.0f);  // [0, 1)
        const int index = PickIndex(r, 4);
        ASSERT_GE(index, 0);
        ASSERT_LE(index, 3);
        ++hits[index];
    }
    const double expected[] = {1.0 / 8, 1.0 / 4, 1.0 / 4, 3.0 / 8};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(static_cast<double>(hits[i]) / draws, expected[i], 0.01) << "position " << i;
    }
}
