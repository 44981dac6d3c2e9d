#pragma once
#include <string>

namespace ShutDownP {
// Ends the first process (in process-list order) whose executable name equals exeName, any case,
// never the calling process. 1 when a process matched, 0 otherwise.
int TerminateProcessByName(const std::string& exeName);
}  // namespace ShutDownP
