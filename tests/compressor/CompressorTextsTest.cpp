// The command line, the transcoder command, the temporary file and the choice of the next line.

#include <gtest/gtest.h>

#include "compressor/Compressor.h"
#include "platform/Platform.h"

using namespace compressor;

TEST(CompressorTexts, CommandLineFields) {
    const std::string folder = "/home/u/视频 工具";
    auto p =
        parseCommandLine(folder + "\tVidforge.exe\t" + folder + "/CompList.txt\t32\t25\t10000");
    ASSERT_TRUE(p.fields) << p.error;
    EXPECT_EQ(p.fields->toolFolder, folder);
    EXPECT_EQ(p.fields->toolFile, "Vidforge.exe");
    EXPECT_EQ(p.fields->listPath, folder + "/CompList.txt");
    EXPECT_EQ(p.fields->rate, 32);

    // Four fields are enough; the rate is a 16-bit number, halves rounded to even.
    struct Case {
        const char* rate;
        int expected;
    } good[] = {{" 32 ", 32}, {"32.5", 32}, {"33.5", 34}, {"-7", -7}, {"32767", 32767}};
    for (const auto& c : good) {
        auto q = parseCommandLine(std::string("/p\tV.exe\t/p/l.txt\t") + c.rate);
        ASSERT_TRUE(q.fields) << c.rate;
        EXPECT_EQ(q.fields->rate, c.expected) << c.rate;
    }
    for (const char* bad : {"", "abc", "32x", "40000", "nan"}) {
        auto q = parseCommandLine(std::string("/p\tV.exe\t/p/l.txt\t") + bad);
        EXPECT_FALSE(q.fields) << bad;
        EXPECT_FALSE(q.error.empty()) << bad;
    }
    // Fields are separated by TAB only: blanks belong to the fields.
    for (const std::string text : {"", "/p", "/p\tV.exe\t/p/l.txt", "/p V.exe /p/l.txt 32"}) {
        auto q = parseCommandLine(text);
        EXPECT_FALSE(q.fields) << text;
        EXPECT_NE(q.error.find("field"), std::string::npos) << q.error;
    }
}

TEST(CompressorTexts, TranscoderCommandAndTemporaryFile) {
    const std::string s = platform::sepStr();
    EXPECT_EQ(compressionCommand("/out/000000.mp4", 32, "/p" + s + "Tmp.mp4"),
              "-i \"/out/000000.mp4\" -y -q:v 0 -q:a 0 -crf 32  \"/p" + s + "Tmp.mp4\"");
    EXPECT_EQ(privateToolName("Vidforge.exe"), "CompVidforge.exe");

    EXPECT_EQ(tempFilePath("/p", "/out/000001.mp4"), "/p" + s + "Tmp.mp4");
    EXPECT_EQ(tempFilePath("/p", "/out/a.b.MKV"), "/p" + s + "Tmp.MKV");
    // A dot in a folder name is no extension of the file.
    EXPECT_EQ(tempFilePath("/p", "/out.v2/clip"), "/p" + s + "Tmp");
    EXPECT_EQ(extensionOf("C:\\out.v2\\clip"), "");
    EXPECT_EQ(extensionOf("视频 一.mov"), ".mov");
}

TEST(CompressorTexts, NextLineOfTheList) {
    const std::set<std::string> existing = {"/o/a.mp4", "/o/b.mp4", "/o/视频 c.mp4", "/x/o/a.mp4"};
    auto exists = [&](const std::string& p) { return existing.count(p) > 0; };
    const std::string list =
        "\r\n   \r\n/o/gone.mp4\r\n  /o/视频 c.mp4  "
        "\r\n/x/o/a.mp4\r\n/o/a.mp4\r\n/o/a.mp4\r\n/o/b.mp4";

    std::set<std::string> done;
    std::vector<std::string> taken;
    while (auto line = pickNextLine(list, done, exists)) {
        taken.push_back(*line);
        done.insert(*line);
    }
    // Blank and empty lines and missing files are passed over, blanks around a line dropped,
    // a repeated line taken once, and a line that is only the tail of an earlier one is a video
    // of its own. The last line needs no line end.
    EXPECT_EQ(taken,
              (std::vector<std::string>{"/o/视频 c.mp4", "/x/o/a.mp4", "/o/a.mp4", "/o/b.mp4"}));
    EXPECT_FALSE(pickNextLine("", {}, exists));
}

TEST(CompressorTexts, ResultMustMatchTheOriginalLength) {
    EXPECT_TRUE(resultAcceptable(10.0, 10.0));
    EXPECT_TRUE(resultAcceptable(10.0, 10.9));
    EXPECT_TRUE(resultAcceptable(10.0, 9.05));
    EXPECT_FALSE(resultAcceptable(10.0, 11.2));
    EXPECT_FALSE(resultAcceptable(10.0, 4.0));
    EXPECT_FALSE(resultAcceptable(10.0, std::nullopt));
    EXPECT_FALSE(resultAcceptable(std::nullopt, 10.0));
    EXPECT_FALSE(resultAcceptable(0.5, 0.0));
}
