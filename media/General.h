#pragma once
// Module General: probing media files and supervising tool processes.

#include <functional>
#include <optional>
#include <string>

namespace General {

// Play length of a media file in seconds; nullopt when the media library gives no duration (the
// caller's own value then stays as it was).
std::optional<double> ReadDuration(const std::string& path);

// Frame width and height as decimal digit text ("1920", "1080"). False when the report has no
// width or height; an output that was not reached keeps its value.
bool ReadVideoInfo(const std::string& path, std::string& width, std::string& height);

// Both of the above from one opening of the file: what ReadDuration and ReadVideoInfo give,
// with sized telling whether width and height were read.
struct ClipFacts {
    std::optional<double> duration;
    bool sized = false;
    std::string width, height;  // as stored
    int rotation = 0;           // display rotation in degrees (0, 90, 180, 270)
};
ClipFacts ReadClipFacts(const std::string& path);

// True while at least one running process bears the executable name (whole name, any case).
bool CountToolProcesses(const std::string& exeName);

// Processes pending window events, then waits for new ones for at most ~10 ms, so polling loops
// stay live without keeping a core busy.
void PumpEvents();
// The same with a longer wait for new events (at most maxWaitMs), for loops that poll something
// costly (the process list) only every so often but must stay live in between. The wait ends
// early when a program this process started ends, or when an event handled in it calls
// WakePumps() (a stop command, say), so that the caller looks again at once.
void PumpEvents(int maxWaitMs);
void WakePumps();
// True where the end of a program this process started ends a pump's wait by itself; elsewhere
// a caller waiting for such an end has to look again every so often.
bool PumpsWokenByToolEnds();

// Lets the given number of seconds pass while pumping events. The clock gives seconds since
// midnight; both are injectable for tests.
void WaitSeconds(float seconds, const std::function<double()>& clock,
                 const std::function<void()>& pump);
void WaitSeconds(float seconds);

}  // namespace General
