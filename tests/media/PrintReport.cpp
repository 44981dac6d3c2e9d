// Prints the media-information library's report for a file, as the probes see it: the complete
// report with "--complete", else the normal one. Used to capture the reports kept under data/.

#include <cstdio>
#include <cstring>
#include <string>

#include "media/MediaInfoDLL.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s [--complete] file\n", argv[0]);
        return 2;
    }
    const bool complete = argc > 2 && std::strcmp(argv[1], "--complete") == 0;
    const std::string path = argv[argc - 1];
    void* handle = MediaInfoDLL::MediaInfo_New();
    if (!handle) {
        std::fprintf(stderr, "no media-information library\n");
        return 1;
    }
    const std::wstring widePath = MediaInfoDLL::WideFromUtf8(path);
    MediaInfoDLL::MediaInfo_Open(handle, widePath.c_str());
    MediaInfoDLL::MediaInfo_Option(handle, L"Complete", complete ? L"1" : L"");
    const std::wstring report =
        MediaInfoDLL::StringFromWidePtr(MediaInfoDLL::MediaInfo_Inform(handle, 0));
    MediaInfoDLL::MediaInfo_Close(handle);
    MediaInfoDLL::MediaInfo_Delete(handle);
    const std::string text = MediaInfoDLL::Utf8FromWide(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
