#include "tests/merge/ScriptedHost.h"

#include <algorithm>
#include <chrono>
#include <thread>

MergeHost::JobInputs ScriptedHost::jobInputs() const {
    JobInputs in;
    in.size = size;
    in.fps = fps;
    in.bits = bits;
    in.length = length;
    in.mute = mute;
    in.music = music;
    in.compress = compress;
    in.background = background;
    in.outputFolder = output;
    in.usedRoot = used;
    return in;
}

MergeHost::ClipInputs ScriptedHost::clipInputs() const {
    return ClipInputs{rotateClockwise, hardware, parallel, accelerator, hardwareSessions};
}

void ScriptedHost::setAudio(const std::string& caption, int count) {
    audio = caption;
    audioTagText = std::to_string(count);
}

void ScriptedHost::showStatus(const std::string& text) {
    status = text;
    if (statusLog.empty() || statusLog.back() != text) statusLog.push_back(text);
}

void ScriptedHost::storeRunChoices() {
    settings["SaveDir"] = output;
    settings["MoveDir"] = used;
    settings["Speed"] = hardware ? "1" : "0";
    settings["CmbAcc"] = std::to_string(acceleratorRow);
}

void ScriptedHost::lock(bool on) {
    locked = on;
    stopEnabled = on;
}

std::string ScriptedHost::trayTip() const {
    return caption + "\r\n已生成视频数：" + std::to_string(run ? run->MadeCount : 0) + "\r\n" +
           status;
}

void ScriptedHost::hideBehindTray() {
    trayIcon = true;
    tips.push_back(trayTip());
    visible = false;
}

void ScriptedHost::refreshTrayTip() {
    tips.push_back(trayTip());
}

void ScriptedHost::showWindow() {
    visible = true;
    ++showCalls;
}

bool ScriptedHost::answer() {
    if (answers.empty()) return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedHost::ask(Ask kind, const std::string& text) {
    static const char* const kinds[] = {"error", "okcancel", "yesno"};
    asked.push_back({kinds[static_cast<int>(kind)], text});
    if (kind == Ask::Error) return true;
    if (onAsk) onAsk(text);
    return answer();
}

// Like the window's pump: handle what is pending (the script), then wait a little. A pump without
// a wait (between two listed names) runs no script.
void ScriptedHost::pumpEvents(int maxWaitMs) {
    if (maxWaitMs <= 0) return;
    ++pumps;
    if (onPump) onPump();
    // A real pump ends early when a tool ends; the script only needs to run often enough.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxWaitMs, 20)));
}

bool ScriptedHost::sawStatus(const std::string& text) const {
    return std::find(statusLog.begin(), statusLog.end(), text) != statusLog.end();
}

int ScriptedHost::countAsked(const std::string& kind) const {
    return int(
        std::count_if(asked.begin(), asked.end(), [&](const Asked& a) { return a.kind == kind; }));
}
