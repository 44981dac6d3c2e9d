// Splitting parameter texts by the Windows rules, and the raw command line a shell start hands
// over.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/Platform.h"

namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char* text;
    Words words;
};

TEST(SplitCommandLine, WindowsRules) {
    const SplitCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  lead  and   trail  ", {"lead", "and", "trail"}},
        // Quotes group words and may start or stop inside a word.
        {R"("a b" c)", {"a b", "c"}},
        {R"(x"a b"y z)", {"xa by", "z"}},
        {R"("" a)", {"", "a"}},
        {R"(a "")", {"a", ""}},
        {R"("unclosed quote runs to the end)", {"unclosed quote runs to the end"}},
        // Backslashes are literal unless they stand before a quote.
        {R"(C:\dir\file.mp4 \\server\share)", {R"(C:\dir\file.mp4)", R"(\\server\share)"}},
        {R"("C:\my dir\\" next)", {R"(C:\my dir\)", "next"}},
        {R"(a\"b)", {R"(a"b)"}},
        {R"(a\\"b c")", {R"(a\b c)"}},
        {R"(a\\\"b)", {R"(a\"b)"}},
        {R"(a\\\\"b c")", {R"(a\\b c)"}},
        {R"("he said \"hi\"")", {R"(he said "hi")"}},
        // Two quotes inside a quoted part give one quote, and the part goes on.
        {R"("a""b c" d)", {R"(a"b c)", "d"}},
        // Apostrophes and Chinese characters are ordinary characters.
        {R"("/tmp/素材 文件夹/it's 1.mp4" -y)", {"/tmp/素材 文件夹/it's 1.mp4", "-y"}},
        {"它's 中文", {"它's", "中文"}},
        // A transcoder command line as the engine writes it.
        {R"(-i "/o u/a.mp4" -vf "scale=176:144,setpts=1.5*PTS" -y "/o u/000001.mp4")",
         {"-i", "/o u/a.mp4", "-vf", "scale=176:144,setpts=1.5*PTS", "-y", "/o u/000001.mp4"}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::splitCommandLine(c.text), c.words) << c.text;
}

class RawCommandLine : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("SW_SHELL_PARAMS"); }
    static std::string raw(Words args) {
        std::vector<char*> argv{const_cast<char*>("prog")};
        for (auto& a : args) argv.push_back(a.data());
        return platform::rawCommandLine(static_cast<int>(argv.size()), argv.data());
    }
};

TEST_F(RawCommandLine, HandedOverTextIsUsedOnlyWhenItMatchesTheArguments) {
    const std::string text = "/p a/中文\tVidforge.exe\t/p a/CompList.txt\t32";
    ::setenv("SW_SHELL_PARAMS", text.c_str(), 1);
    EXPECT_EQ(raw(platform::splitCommandLine(text)), text);
    // A text left over from some other start does not belong to these arguments.
    EXPECT_EQ(raw({"x", "y z"}), "x y z");
    EXPECT_EQ(raw({}), "");
}

TEST_F(RawCommandLine, WithoutHandedOverTextArgumentsAreJoinedByOneBlank) {
    ::unsetenv("SW_SHELL_PARAMS");
    EXPECT_EQ(raw({"/p\tVidforge.exe\t/p/CompList.txt\t32\t25\t10000"}),
              "/p\tVidforge.exe\t/p/CompList.txt\t32\t25\t10000");
    EXPECT_EQ(raw({"a", "b c", ""}), "a b c ");
}

}  // namespace
