// A stand-in transcoder for pacing tests. By default it makes nothing and ends after the
// milliseconds named by SW_STANDIN_MS in its environment (at once when unset; never when
// negative).
//
// With SW_STANDIN_SESSIONS=K it plays a hardware encoder whose driver takes K sessions at once:
// it takes one of K slots, locks on files in the folder SW_STANDIN_SLOTS (held by a descriptor
// that the process keeps until it ends); without a free slot it fails at once and makes nothing,
// as such an encoder does. With a slot it waits SW_STANDIN_MS, then becomes the real transcoder
// (a copy of FFMPEG_EXECUTABLE under the stand-in's name) on its command with the hardware pieces
// made software ones.
#include <fcntl.h>
#include <libgen.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

int transcodeInASlot(int argc, char** argv, int sessions, const std::string& slots, long waitMs) {
    bool slot = false;
    for (int i = 0; i < sessions && !slot; ++i) {
        const std::string name = slots + "/slot-" + std::to_string(i);
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        slot = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!slot && fd >= 0) ::close(fd);
    }
    if (!slot) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    // before the input a hardware piece picks the decoder (dropped), after it the encoder
    std::vector<std::string> args{FFMPEG_EXECUTABLE};
    bool inputSeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        inputSeen = inputSeen || a == "-i";
        const bool hardware = a == "h264_qsv" || a == "h264_cuvid" || a == "h264_nvenc";
        if (hardware && !inputSeen) {
            args.pop_back();  // its "-c:v"
            continue;
        }
        args.push_back(hardware ? "libx264" : a);
    }
    std::vector<char*> raw;
    for (auto& a : args) raw.push_back(a.data());
    raw.push_back(nullptr);
    // through a copy under the stand-in's own name, so the process keeps the name it is known by
    const std::string copy = slots + "/" + basename(argv[0]);
    if (!std::filesystem::exists(copy)) {
        const std::string part = copy + "." + std::to_string(::getpid());
        std::filesystem::copy_file(FFMPEG_EXECUTABLE, part);
        std::filesystem::rename(part, copy);
    }
    ::execv(copy.c_str(), raw.data());
    return 127;
}

}  // namespace

int main(int argc, char** argv) {
    const char* ms = std::getenv("SW_STANDIN_MS");
    const long wait = ms ? std::atol(ms) : 0;
    if (const char* sessions = std::getenv("SW_STANDIN_SESSIONS"))
        return transcodeInASlot(argc, argv, std::atoi(sessions), std::getenv("SW_STANDIN_SLOTS"),
                                wait);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait < 0 ? 1000 : wait));
    } while (wait < 0);
    return 0;
}
