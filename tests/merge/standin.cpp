// A stand-in transcoder for pacing tests: makes nothing, and ends after the milliseconds named by
// SW_STANDIN_MS in its environment (at once when unset; never when negative).
#include <chrono>
#include <cstdlib>
#include <thread>

int main() {
    const char* ms = std::getenv("SW_STANDIN_MS");
    const long wait = ms ? std::atol(ms) : 0;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait < 0 ? 1000 : wait));
    } while (wait < 0);
    return 0;
}
