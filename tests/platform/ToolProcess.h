#pragma once
// Real tool processes for tests: copies of the staged transcoder (or of another program) under a
// chosen file name, started through the shell start, found in the process list and waited for.

#include <string>
#include <vector>

#include "tests/support/TestMedia.h"

namespace tooltest {

// Copies the build's Vidforge.dll (the real ffmpeg) to folder/exeName, runnable. Empty on failure.
std::string stageTranscoder(const std::string& folder, const std::string& exeName);
// Copies a program of the system (e.g. "/bin/sleep") to folder/exeName, runnable.
std::string stageCopy(const std::string& source, const std::string& folder,
                      const std::string& exeName);

// Parameters that keep a transcoder busy (in real time, on a silent source) for about an hour,
// at little processor cost, until it is ended.
std::string longRunParameters();
// Parameters of a short real transcode: lavfi input encoded for the given seconds into output.
std::string shortRunParameters(double seconds, const std::string& output);

// Starts exePath through the shell start, hidden, in its own folder, and returns the pid of the
// new process bearing its name (waits until it shows in the process list). -1 when the start
// failed.
int startAndFind(const std::string& exePath, const std::string& params);
using testsupport::pidsNamed;
// Blocks until the process has ended (it need not be our child).
void waitForExit(int pid);
// Ends the process and waits until it is gone.
void killAndWait(int pid);

}  // namespace tooltest
