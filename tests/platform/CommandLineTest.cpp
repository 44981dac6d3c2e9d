// Splitting parameter texts by the Windows rules (the same on every system).

#include <gtest/gtest.h>

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

}  // namespace
