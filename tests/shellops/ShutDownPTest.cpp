// TerminateProcessByName with real transcoder processes.

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "shell/ShutDownP.h"
#include "tests/platform/ToolProcess.h"
#include "tests/support/TestMedia.h"

namespace {

TEST(TerminateProcessByName, EndsExactlyOneOfTwo) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(tooltest::pidsNamed("Vidforge.exe").empty());
    const std::string exe = tooltest::stageTranscoder(tmp.str() + "/程序 it's", "Vidforge.exe");
    const int first = tooltest::startAndFind(exe, tooltest::longRunParameters());
    const int second = tooltest::startAndFind(exe, tooltest::longRunParameters());
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);

    EXPECT_EQ(ShutDownP::TerminateProcessByName("VIDFORGE.EXE"), 1);
    // The first in list order (pid order) went; the other runs on.
    tooltest::waitForExit(std::min(first, second));
    EXPECT_EQ(tooltest::pidsNamed("Vidforge.exe"), std::vector<int>{std::max(first, second)});

    EXPECT_EQ(ShutDownP::TerminateProcessByName("vidforge.exe"), 1);
    tooltest::waitForExit(std::max(first, second));
    EXPECT_TRUE(tooltest::pidsNamed("Vidforge.exe").empty());
    EXPECT_EQ(ShutDownP::TerminateProcessByName("Vidforge.exe"), 0);
    EXPECT_EQ(ShutDownP::TerminateProcessByName("Vidforge"), 0);
    EXPECT_EQ(ShutDownP::TerminateProcessByName(""), 0);
}

// With a folder only a tool of that program folder goes: another folder's tool of the same name
// runs on, even when it comes first in the list.
TEST(TerminateProcessByName, WithAFolderEndsOnlyThatFoldersTool) {
    testsupport::TempDir tmp;
    const std::string other = tooltest::stageTranscoder(tmp.str() + "/other", "Vidforge.exe");
    const std::string ours = tooltest::stageTranscoder(tmp.str() + "/our 程序", "Vidforge.exe");
    const int foreign = tooltest::startAndFind(other, tooltest::longRunParameters());
    const int own = tooltest::startAndFind(ours, tooltest::longRunParameters());
    ASSERT_LT(foreign, own);
    EXPECT_EQ(ShutDownP::TerminateProcessByName("Vidforge.exe", tmp.str() + "/our 程序/"), 1);
    tooltest::waitForExit(own);
    EXPECT_EQ(tooltest::pidsNamed("Vidforge.exe"), std::vector<int>{foreign});
    EXPECT_EQ(ShutDownP::TerminateProcessByName("Vidforge.exe", tmp.str() + "/our 程序"), 0);
    EXPECT_EQ(tooltest::pidsNamed("Vidforge.exe"), std::vector<int>{foreign});
    tooltest::killAndWait(foreign);
}

TEST(TerminateProcessByName, NeverEndsTheCallingProcess) {
    const std::string self = testing::internal::GetArgvs()[0];
    const std::string ownName = self.substr(self.rfind('/') + 1);
    EXPECT_EQ(ShutDownP::TerminateProcessByName(ownName), 0);
    EXPECT_EQ(tooltest::pidsNamed(ownName), std::vector<int>{platform::currentProcessId()});
}

}  // namespace
