#include "platform/Diagnostics.h"

#include <atomic>

namespace diag {

namespace {
std::atomic<Sink> g_sink{nullptr};
}  // namespace

void setSink(Sink sink) {
    g_sink.store(sink);
}

void note(Area area, const std::string& message) {
    if (const Sink sink = g_sink.load()) sink(area, message);
}

}  // namespace diag
