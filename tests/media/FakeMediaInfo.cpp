// A stand-in for the media-information library with the same wide-character entry points, for
// tests of the binding: it logs every call and hands out a report chosen by the test.

#include <cwchar>
#include <string>

namespace {
std::wstring g_log;
std::wstring g_report;
int g_live = 0;
int g_token = 0;

void log(const std::wstring& text) {
    if (!g_log.empty()) g_log += L";";
    g_log += text;
}
}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* MediaInfo_New() {
    log(L"New");
    ++g_live;
    return &g_token;
}
__attribute__((visibility("default"))) std::size_t MediaInfo_Open(void*, const wchar_t* path) {
    log(L"Open(" + std::wstring(path) + L")");
    return g_report.empty() ? 0 : 1;
}
__attribute__((visibility("default"))) const wchar_t* MediaInfo_Option(void* handle,
                                                                       const wchar_t* name,
                                                                       const wchar_t* value) {
    // The log holds the calls of the probes; the library's own configuration (no handle) is not
    // one of them.
    if (!handle) return L"";
    log(L"Option(" + std::wstring(name) + L"=" + std::wstring(value) + L")");
    return L"";
}
__attribute__((visibility("default"))) const wchar_t* MediaInfo_Inform(void*, std::size_t) {
    log(L"Inform");
    return g_report.c_str();
}
__attribute__((visibility("default"))) void MediaInfo_Close(void*) {
    log(L"Close");
}
__attribute__((visibility("default"))) void MediaInfo_Delete(void*) {
    log(L"Delete");
    --g_live;
}

// For the test: the call log (cleared by reading it), the number of handles not yet deleted,
// and the report to hand out.
__attribute__((visibility("default"))) const wchar_t* FakeMediaInfo_TakeLog() {
    static std::wstring taken;
    taken = g_log;
    g_log.clear();
    return taken.c_str();
}
__attribute__((visibility("default"))) int FakeMediaInfo_LiveHandles() {
    return g_live;
}
__attribute__((visibility("default"))) void FakeMediaInfo_SetReport(const wchar_t* report) {
    g_report = report ? report : L"";
}
}
