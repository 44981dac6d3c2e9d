#pragma once
// What failed and why, for developers: a start that failed, a folder that could not be made, a
// move that fell back to a copy, a pass the run skipped. Silent until a sink is installed; the
// programs install one that writes to standard error through a logging category per area, off by
// default (media/DiagnosticLog.h). Qt-free; the user is told nothing of this.

#include <string>

namespace diag {

enum class Area { Merge, Tools, Files, Media, Update };

using Sink = void (*)(Area area, const std::string& message);
void setSink(Sink sink);
// Hands the message to the sink, when one is installed.
void note(Area area, const std::string& message);

}  // namespace diag
