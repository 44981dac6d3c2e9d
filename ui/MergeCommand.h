#pragma once
// The merge and stop commands of the main window: a MergeRun with Form1 as its window, working in
// the form's program folder; installMergeCommands points the window's mergeCommand, stopCommand
// and endRunForClose hooks at it and lets the window read the run's state.

#include <functional>
#include <memory>
#include <string>

class Form1;
class MergeRun;

// onToolStart (may be empty) sees every tool start of the run before it happens. Returns the run,
// which lives as long as the form's hooks.
std::shared_ptr<MergeRun> installMergeCommands(
    Form1& form,
    std::function<void(const std::string& file, const std::string& params)> onToolStart = {});
