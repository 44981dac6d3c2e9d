#include "tests/merge/ScriptedHost.h"

#include <algorithm>
#include <chrono>
#include <thread>

void ScriptedHost::setStatus(const std::string& text) {
    status = text;
    if (statusLog.empty() || statusLog.back() != text) statusLog.push_back(text);
}

void ScriptedHost::lockWindow() {
    locked = true;
    stopEnabled = true;
}

void ScriptedHost::unlockWindow() {
    locked = false;
    stopEnabled = false;
}

void ScriptedHost::addTrayIconAndHide(const std::string& tip) {
    trayIcon = true;
    tips.push_back(tip);
    visible = false;
}

void ScriptedHost::showWindow() {
    visible = true;
    ++showCalls;
}

void ScriptedHost::showError(const std::string& text) {
    asked.push_back({"error", text});
}

bool ScriptedHost::answer() {
    if (answers.empty()) return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedHost::askOkCancel(const std::string& text) {
    asked.push_back({"okcancel", text});
    if (onAsk) onAsk(text);
    return answer();
}

bool ScriptedHost::askYesNo(const std::string& text) {
    asked.push_back({"yesno", text});
    if (onAsk) onAsk(text);
    return answer();
}

// Like the window's pump: handle what is pending (the script), then wait a little.
void ScriptedHost::pumpEvents() {
    ++pumps;
    if (onPump) onPump();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool ScriptedHost::sawStatus(const std::string& text) const {
    return std::find(statusLog.begin(), statusLog.end(), text) != statusLog.end();
}

int ScriptedHost::countAsked(const std::string& kind) const {
    return int(
        std::count_if(asked.begin(), asked.end(), [&](const Asked& a) { return a.kind == kind; }));
}

void ScriptedHost::pumpEventsFor(int maxWaitMs) {
    ++pumps;
    if (onPump) onPump();
    // A real pump ends early when a tool ends; the script only needs to run often enough.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxWaitMs, 20)));
}
