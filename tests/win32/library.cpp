// Test helper: a library with one entry point of the media-information library's names, for the
// library loading tests.

namespace {
int g_token = 0;
}

extern "C" __declspec(dllexport) void* MediaInfo_New() {
    return &g_token;
}
