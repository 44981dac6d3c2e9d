#pragma once
// The diagnostics of every area written to standard error through the logging categories
// "stitchwell.merge", "stitchwell.tools", "stitchwell.files", "stitchwell.media"
// and "stitchwell.update" (Pressling writes its own account to standard error): silent by default,
// switched on with QT_LOGGING_RULES="stitchwell.*.debug=true" (or one area,
// "stitchwell.merge.debug=true").

namespace DiagnosticLog {
// Installs the sink of the diagnostics; once, before the program starts its work.
void install();
}  // namespace DiagnosticLog
