// The raw command line a shell start hands over through the environment (posix).

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/Platform.h"

namespace {

using Words = std::vector<std::string>;

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
