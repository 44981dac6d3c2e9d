// The command texts and join lists run through the real ffmpeg, split into arguments by the
// Windows command-line rules as the shell start does. Names carry apostrophes, blanks and Chinese
// characters.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/General.h"
#include "merge/MergeTexts.h"
#include "tests/support/TestMedia.h"

using namespace MergeTexts;
using testsupport::TempDir;

namespace {

const char kSep = '/';

// Windows command-line rules: blanks and tabs separate words outside quotes, a double quote
// toggles quoting, 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal
// quote; other backslashes are literal.
std::vector<std::string> splitWindows(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\\') {
            size_t n = 0;
            while (i < text.size() && text[i] == '\\') ++n, ++i;
            if (i < text.size() && text[i] == '"') {
                word.append(n / 2, '\\');
                if (n % 2) {
                    word += '"';
                    ++i;
                }
            } else {
                word.append(n, '\\');
            }
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
            ++i;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            ++i;
        } else {
            word += c;
            inWord = true;
            ++i;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

// Runs ffmpeg with the command text as the transcoder would receive it.
bool runCommandText(const std::string& text, QString* err = nullptr) {
    QStringList args;
    for (const auto& w : splitWindows(text)) args << QString::fromStdString(w);
    return testsupport::runFfmpeg(args, err);
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    return testsupport::writeText(QString::fromStdString(path), QByteArray::fromStdString(bytes));
}

double duration(const std::string& path) {
    return testsupport::probeDuration(QString::fromStdString(path));
}

// A 1-second clip whose left half is white and right half black.
bool makeHalfWhiteClip(const std::string& path, int w, int h) {
    return testsupport::runFfmpeg(
        {"-f", "lavfi", "-i",
         QString("color=c=black:s=%1x%2:r=25:d=1,drawbox=x=0:y=0:w=%3:h=%2:color=white:t=fill")
             .arg(w)
             .arg(h)
             .arg(w / 2),
         "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-f", "mp4",
         QString::fromStdString(path)});
}

// Mean brightness of the top half and of the bottom half of the first frame.
bool topBottomBrightness(const std::string& path, int w, int h, double* top, double* bottom) {
    const std::string raw = path + ".gray";
    if (!testsupport::runFfmpeg({"-i", QString::fromStdString(path), "-frames:v", "1", "-f",
                                 "rawvideo", "-pix_fmt", "gray", QString::fromStdString(raw)}))
        return false;
    QFile f(QString::fromStdString(raw));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray px = f.readAll();
    if (px.size() != w * h) return false;
    double t = 0, b = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double v = static_cast<unsigned char>(px[y * w + x]);
            (y < h / 2 ? t : b) += v;
        }
    }
    *top = t / (w * (h / 2));
    *bottom = b / (w * (h - h / 2));
    return true;
}

}  // namespace

TEST(SplitRules, QuotesAndBackslashes) {
    EXPECT_EQ(splitWindows("-i \"a b\"  -y"), (std::vector<std::string>{"-i", "a b", "-y"}));
    EXPECT_EQ(splitWindows("\"D:\\x y\\a.mp4\" \\\"q"),
              (std::vector<std::string>{"D:\\x y\\a.mp4", "\"q"}));
}

TEST(FfmpegJoinLists, ConcatListCarriesApostrophesBlanksAndChinese) {
    TempDir dir;
    const std::string folder = dir.str() + "/素材 it's";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const std::string a = folder + "/it's a 视频 clip.mp4";
    const std::string b = folder + "/''two'' 片段.mp4";
    ASSERT_TRUE(testsupport::makeVideo(QString::fromStdString(a), 176, 144, 1.0));
    ASSERT_TRUE(testsupport::makeVideo(QString::fromStdString(b), 176, 144, 1.0));
    const std::string list = dir.str() + "/list.txt";
    ASSERT_TRUE(writeBytes(list, JoinListLine(a) + JoinListLine(b) + JoinListLine(a)));
    const std::string out = dir.str() + "/out.mp4";
    QString err;
    ASSERT_TRUE(
        testsupport::runFfmpeg({"-f", "concat", "-safe", "0", "-i", QString::fromStdString(list),
                                "-c", "copy", QString::fromStdString(out)},
                               &err))
        << err.toStdString();
    EXPECT_NEAR(duration(out), 3.0, 0.2);
}

TEST(FfmpegMusic, JoinAndCutCommandsRun) {
    TempDir dir;
    const std::string prog = dir.str() + "/程序 it's";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(prog + "/Tmps")));
    const std::string music = dir.str() + "/音乐 's";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(music)));
    const std::string src = music + "/歌 it's.mp3";
    ASSERT_TRUE(testsupport::makeMp3(QString::fromStdString(src), 2.0));
    const std::string tmps = prog + "/Tmps/";

    // 5 s from a 2 s mp3: three copies joined, then cut.
    const int repeats = MusicRepeats(5, duration(src));
    ASSERT_EQ(repeats, 3);
    ASSERT_TRUE(writeBytes(tmps + "List.txt", MusicJoinList(src, repeats)));
    QString err;
    ASSERT_TRUE(runCommandText(MusicJoinCommand(prog, kSep), &err)) << err.toStdString();
    EXPECT_NEAR(duration(tmps + "M.mp3"), 6.0, 0.2);
    ASSERT_TRUE(runCommandText(MusicCutJoinedCommand(MusicLength("5", 0), prog, kSep), &err))
        << err.toStdString();
    EXPECT_NEAR(duration(tmps + "a.mp3"), 5.0, 0.2);

    // A direct cut of the source, the length written from the clips' total.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(tmps + "a.mp3")));
    ASSERT_TRUE(
        runCommandText(MusicCutCommand(MusicLength("0", 0.75 + 0.75), src, prog, kSep), &err))
        << err.toStdString();
    EXPECT_NEAR(duration(tmps + "a.mp3"), 1.5, 0.15);
}

TEST(FfmpegClipCommands, SoftwareFormsTurnAndResize) {
    TempDir dir;
    const std::string prog = dir.str() + "/程序 it's";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(prog + "/Tmps")));
    const std::string src = dir.str() + "/源 it's";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(src)));
    const std::string landscape = src + "/横 it's a clip.mp4";
    const std::string portrait = src + "/竖 clip.mp4";
    ASSERT_TRUE(makeHalfWhiteClip(landscape, 176, 144));
    ASSERT_TRUE(makeHalfWhiteClip(portrait, 144, 176));

    JobOptions job{*SizeOption("144×176"), RateOption("25"), BitRateOption("10000"),
                   MuteOption(true)};
    struct Case {
        std::string clip;
        Turn turn;
        bool whiteOnTop;  // where the white left half ends up after the turn
    };
    // Clockwise moves the left edge to the top, counter-clockwise to the bottom.
    const Case cases[] = {{landscape, Turn::Clockwise, true},
                          {landscape, Turn::CounterClockwise, false}};
    int index = 0;
    for (const auto& c : cases) {
        const std::string cmd =
            ClipCommand(Encoder::Software, c.turn, c.clip, job, prog, index, kSep);
        QString err;
        ASSERT_TRUE(runCommandText(cmd, &err)) << cmd << "\n" << err.toStdString();
        const std::string out = prog + "/Tmps/" + std::to_string(index) + ".mp4";
        const auto info = testsupport::probeVideo(QString::fromStdString(out));
        EXPECT_EQ(info.width, 144) << cmd;
        EXPECT_EQ(info.height, 176) << cmd;
        EXPECT_NEAR(info.fps, 25, 0.01);
        double top = 0, bottom = 0;
        ASSERT_TRUE(topBottomBrightness(out, 144, 176, &top, &bottom));
        if (c.whiteOnTop) {
            EXPECT_GT(top, 200) << cmd;
            EXPECT_LT(bottom, 50) << cmd;
        } else {
            EXPECT_LT(top, 50) << cmd;
            EXPECT_GT(bottom, 200) << cmd;
        }
        ++index;
    }

    // The upright form leaves the picture as it is.
    {
        const std::string cmd = ClipCommand(Encoder::Software, TurnFor("144", "176", false),
                                            portrait, job, prog, index, kSep);
        QString err;
        ASSERT_TRUE(runCommandText(cmd, &err)) << cmd << "\n" << err.toStdString();
        const std::string out = prog + "/Tmps/" + std::to_string(index) + ".mp4";
        const auto info = testsupport::probeVideo(QString::fromStdString(out));
        EXPECT_EQ(info.width, 144);
        EXPECT_EQ(info.height, 176);
        double top = 0, bottom = 0;
        ASSERT_TRUE(topBottomBrightness(out, 144, 176, &top, &bottom));
        EXPECT_NEAR(top, bottom, 20);  // left/right split: both halves half white
        ++index;
    }

    // The frame size option applies after the turn: the turned picture is scaled to the job's
    // size, whatever that is (a landscape job size squeezes the turned clip back to landscape).
    {
        JobOptions wide = job;
        wide.SizeOption = *SizeOption("176×144");
        const std::string cmd = ClipCommand(Encoder::Software, Turn::CounterClockwise, landscape,
                                            wide, prog, index, kSep);
        QString err;
        ASSERT_TRUE(runCommandText(cmd, &err)) << cmd << "\n" << err.toStdString();
        const auto info = testsupport::probeVideo(
            QString::fromStdString(prog + "/Tmps/" + std::to_string(index) + ".mp4"));
        EXPECT_EQ(info.width, 176);
        EXPECT_EQ(info.height, 144);
    }
}

TEST(FfmpegFinalCommands, SoftwareFormsJoinFitAndLayMusic) {
    TempDir dir;
    const std::string prog = dir.str() + "/程序 it's";
    const std::string tmps = prog + "/Tmps/";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tmps)));
    const std::string outDir = dir.str() + "/输出 's";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(outDir)));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(testsupport::makeVideo(
            QString::fromStdString(tmps + std::to_string(i) + ".mp4"), 144, 176, 1.0));
    }
    ASSERT_TRUE(writeBytes(tmps + "List.txt", ClipJoinList(prog, 2, kSep)));
    ASSERT_TRUE(testsupport::makeMp3(QString::fromStdString(tmps + "a.mp3"), 3.0));
    const std::string track = tmps + "a.mp3";
    const double joined = 2.0;

    struct Case {
        bool music;
        std::string filter;
        double expected;
    };
    const Case cases[] = {
        {false, SpeedFilter(false, 0), 2.0},                        // no target
        {false, SpeedFilter(true, 0), 2.0},                         // factor 0: natural speed
        {false, SpeedFilter(true, SpeedFactor(3, joined)), 3.0},    // one stage, slower
        {false, SpeedFilter(true, SpeedFactor(0.5, joined)), 0.5},  // two stages, faster
        {true, SpeedFilter(true, SpeedFactor(3, joined)), 3.0},
        {true, SpeedFilter(false, 0), 3.0},  // the longer music track sets the length
    };
    int made = 0;
    for (const auto& c : cases) {
        const std::string out = OutputFile(outDir, made, kSep);
        const std::string cmd = FinalCommand(c.music, Encoder::Software, track, prog, c.filter,
                                             RateOption("25"), BitRateOption("1000"), out, kSep);
        QString err;
        ASSERT_TRUE(runCommandText(cmd, &err)) << cmd << "\n" << err.toStdString();
        EXPECT_NEAR(duration(out), c.expected, 0.2) << cmd;
        const auto info = testsupport::probeVideo(QString::fromStdString(out));
        EXPECT_EQ(info.width, 144);
        EXPECT_EQ(info.height, 176);
        ++made;
    }
    EXPECT_TRUE(QFile::exists(QString::fromStdString(outDir + "/000005.mp4")));
}

namespace {

// The first frame as gray pixels at the given size; empty on failure.
QByteArray grayFrame(const std::string& path, int w, int h, const QString& filter = {}) {
    const std::string raw = path + ".frame.gray";
    QStringList args = {"-v", "error", "-y", "-i", QString::fromStdString(path), "-frames:v", "1"};
    args << "-vf"
         << (filter.isEmpty() ? QString() : filter + ",") + QString("scale=%1:%2").arg(w).arg(h);
    args << "-f"
         << "rawvideo"
         << "-pix_fmt"
         << "gray" << QString::fromStdString(raw);
    if (!testsupport::runFfmpeg(args)) return {};
    QFile f(QString::fromStdString(raw));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

double meanDifference(const QByteArray& a, const QByteArray& b) {
    if (a.isEmpty() || a.size() != b.size()) return 1e9;
    double sum = 0;
    for (int i = 0; i < a.size(); ++i)
        sum +=
            std::abs(int(static_cast<unsigned char>(a[i])) - int(static_cast<unsigned char>(b[i])));
    return sum / a.size();
}

}  // namespace

// Phone clips stored landscape with a display rotation: the software form, judged on the picture
// as shown, gives the same frame as ffmpeg's own upright rendering of the source (turned when
// that is landscape), for every quarter turn. Judged on the stored size instead, a quarter-turned
// clip would come out turned once more and squeezed.
TEST(FfmpegClipCommands, RotatedPhoneClipsComeOutUpright) {
    TempDir dir;
    const std::string prog = dir.str() + "/prog";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(prog + "/Tmps")));
    const std::string stored = dir.str() + "/stored.mp4";
    ASSERT_TRUE(testsupport::runFfmpeg({"-v", "error", "-f", "lavfi", "-i",
                                        "testsrc2=size=320x240:rate=25:duration=1", "-pix_fmt",
                                        "yuv420p", QString::fromStdString(stored)}));
    const JobOptions job{*SizeOption("144×204"), RateOption("25"), BitRateOption("2000"),
                         MuteOption(true)};
    int index = 0;
    for (int rotate : {0, 90, 180, 270}) {
        SCOPED_TRACE(rotate);
        const std::string clip = dir.str() + "/phone " + std::to_string(rotate) + ".mp4";
        ASSERT_TRUE(testsupport::runFfmpeg(
            {"-v", "error", "-i", QString::fromStdString(stored), "-c", "copy", "-metadata:s:v:0",
             QString("rotate=%1").arg(rotate), QString::fromStdString(clip)}));
        const General::ClipFacts facts = General::ReadClipFacts(clip);
        ASSERT_TRUE(facts.sized);
        const bool shownLandscape = rotate % 180 == 0;
        const QByteArray upright =
            grayFrame(clip, 144, 204, shownLandscape ? "transpose=2" : QString());

        const auto normalised = [&](Turn turn) {
            const std::string cmd =
                ClipCommand(Encoder::Software, turn, clip, job, prog, index, kSep);
            EXPECT_TRUE(runCommandText(cmd)) << cmd;
            return grayFrame(prog + "/Tmps/" + std::to_string(index++) + ".mp4", 144, 204);
        };
        const Turn turn =
            TurnForClip(Encoder::Software, facts.width, facts.height, facts.rotation, false);
        EXPECT_LT(meanDifference(normalised(turn), upright), 12.0);
        if (!shownLandscape) {
            const Turn byStoredSize = TurnFor(facts.width, facts.height, false);
            EXPECT_GT(meanDifference(normalised(byStoredSize), upright), 30.0);
        }
    }
}
