#pragma once
// Shared between the shell start and the reading of the raw command line.

namespace platform {

// Environment variable in which a shell start hands the unsplit parameter text to its child.
inline constexpr const char* kShellParamsVariable = "SW_SHELL_PARAMS";

}  // namespace platform
