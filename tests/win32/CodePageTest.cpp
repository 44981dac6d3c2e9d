// Texts through the ANSI code pages: exact or refused, never altered; the join and compression
// lists through GBK (code page 936) and back, CR LF included; the shell's answers and the
// command line's arguments part.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "merge/MergeTexts.h"
#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "platform/win32/ShellStart.h"
#include "tests/win32/WinTestSupport.h"

namespace {

using platform::win32::fromCodePage;
using platform::win32::toCodePage;

constexpr unsigned kGbk = 936, kWestern = 1252;

TEST(CodePage, TextIsCarriedExactlyOrRefused) {
    struct Case {
        const char* utf8;
        unsigned codePage;
        std::optional<std::string> bytes;  // nullopt: the code page cannot carry it
    };
    const Case cases[] = {
        {"", kGbk, ""},
        {"C:\\a b\\it's 1.mp4", kGbk, "C:\\a b\\it's 1.mp4"},
        {"视频", kGbk, "\xCA\xD3\xC6\xB5"},
        {"素材 程序", kGbk, "\xCB\xD8\xB2\xC4 \xB3\xCC\xD0\xF2"},
        {"é", kGbk, "\xA8\xA6"},
        {"é€", kWestern, "\xE9\x80"},
        // Characters the code page lacks: refused, not replaced by '?' or a look-alike ("A").
        {"视频", kWestern, std::nullopt},
        {"Ā", kWestern, std::nullopt},
        {"Ā", kGbk, std::nullopt},
        {"a😀.mp4", kGbk, std::nullopt},
        {"ก", kGbk, std::nullopt},
        // Not UTF-8 at all.
        {"\xFF\xFE", kGbk, std::nullopt},
        {"\xE8\xA7", kGbk, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toCodePage(c.utf8, c.codePage), c.bytes) << c.utf8 << " in " << c.codePage;
        EXPECT_EQ(platform::win32::carried(c.utf8, c.codePage), c.bytes.has_value()) << c.utf8;
        if (c.bytes) {
            EXPECT_EQ(fromCodePage(*c.bytes, c.codePage), std::string(c.utf8));
        }
    }
    // A lead byte without its trail byte is no GBK text.
    EXPECT_EQ(fromCodePage("\xCA", kGbk), std::nullopt);
    EXPECT_EQ(fromCodePage("ok\xCA\xD3", kGbk), std::string("ok视"));
}

// The lists that the system writes for itself, through GBK into a file and back.
TEST(CodePage, JoinAndCompressionListsRoundTripThroughGbk) {
    const char sep = '\\';
    const std::string program = "C:\\程序 文件夹", output = "D:\\输出 it's 视频";
    const std::string joinList = MergeTexts::ClipJoinList(program, 3, sep) +
                                 MergeTexts::MusicJoinList("E:\\背景 音乐\\it's 歌.mp3", 2);
    std::string compressionList;
    for (int n : {0, 1, 12}) compressionList += MergeTexts::OutputFile(output, n, sep) + "\r\n";

    wintest::TempDir tmp;
    for (const std::string& list : {joinList, compressionList}) {
        const auto bytes = toCodePage(list, kGbk);
        ASSERT_TRUE(bytes);
        const std::string path = tmp.str() + "\\List.txt";
        ASSERT_TRUE(platform::writeFile(path, *bytes));
        const std::string onDisk = platform::readFile(path).value_or("");
        EXPECT_EQ(onDisk, *bytes);
        // Every line ends in CR LF, and the Chinese names are GBK on the disk.
        size_t lines = 0;
        for (size_t i = 0; i < onDisk.size(); ++i) {
            if (onDisk[i] != '\n') continue;
            ++lines;
            EXPECT_TRUE(i > 0 && onDisk[i - 1] == '\r') << "line " << lines;
        }
        EXPECT_EQ(lines, list == joinList ? 5u : 3u);
        EXPECT_NE(onDisk.find(list == joinList ? "\xB3\xCC\xD0\xF2" : "\xCA\xD3\xC6\xB5"),
                  std::string::npos);
        EXPECT_EQ(fromCodePage(onDisk, kGbk), list);
    }
    EXPECT_NE(joinList.find("file 'E:\\背景 音乐\\it'\\''s 歌.mp3'\r\n"), std::string::npos);
    EXPECT_EQ(compressionList.substr(0, compressionList.find('\r')),
              "D:\\输出 it's 视频\\000000.mp4");
    // A list naming a file that GBK cannot carry cannot be written in GBK at all.
    EXPECT_FALSE(toCodePage(MergeTexts::JoinListLine("C:\\a\\😀.mp4"), kGbk));
}

TEST(ShellResult, EverySuccessIs42AndFailuresKeepTheShellsValue) {
    const std::pair<std::intptr_t, int> cases[] = {
        {33, 42},  // wine
        {42, 42},  // Windows
        {1000, 42}, {32, 32}, {31, 31}, {11, 11}, {5, 5}, {3, 3}, {2, 2}, {0, 0},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(platform::win32::shellResult(value), expected) << value;
}

TEST(ArgumentsPart, WhatFollowsTheProgramsName) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\程序 dir\\Pressling.exe\" C:\\程序 dir\tVidforge.exe",
         "C:\\程序 dir\tVidforge.exe"},
        {R"("C:\a b\x.exe"   "q r" s)", R"("q r" s)"},
        {"x.exe a\tb", "a\tb"},
        {"x.exe\t\ta", "a"},
        {R"("C:\a b\x.exe")", ""},
        {"x.exe", ""},
        {"", ""},
        {R"("unclosed)", ""},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(platform::win32::argumentsPart(line), expected) << line;
}

}  // namespace
