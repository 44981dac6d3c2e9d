#pragma once
#include <string>

namespace ShutDownP {
// Ends the first process (in process-list order) whose executable name equals exeName, any case,
// never the calling process. With a folder, only a process whose executable lies directly in that
// folder counts (a program of the same name elsewhere, or another user's whose path cannot be
// read, is left alone). 1 when a process matched, 0 otherwise.
int TerminateProcessByName(const std::string& exeName, const std::string& folder = {});
}  // namespace ShutDownP
