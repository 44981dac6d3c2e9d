#include "media/MediaInfoDLL.h"

#include <cwchar>
#include <mutex>

#include "platform/Diagnostics.h"
#include "platform/Platform.h"

namespace MediaInfoDLL {

namespace {

using NewFn = void* (*)();
using OpenFn = std::size_t (*)(void*, const wchar_t*);
using OptionFn = const wchar_t* (*)(void*, const wchar_t*, const wchar_t*);
using InformFn = const wchar_t* (*)(void*, std::size_t);
using CloseFn = void (*)(void*);
using DeleteFn = void (*)(void*);

struct Binding {
    void* library = nullptr;
    std::string path;
    NewFn newFn = nullptr;
    OpenFn openFn = nullptr;
    OptionFn optionFn = nullptr;
    InformFn informFn = nullptr;
    CloseFn closeFn = nullptr;
    DeleteFn deleteFn = nullptr;
};

struct State {
    std::mutex mutex;
    bool custom = false;
    std::vector<std::string> candidates;
    bool tried = false;
    Binding binding;
};

State& state() {
    static State s;
    return s;
}

template <typename Fn>
Fn symbol(void* library, const char* name) {
    return reinterpret_cast<Fn>(platform::librarySymbol(library, name));
}

void dropBinding(State& s) {
    if (s.binding.library) platform::unloadLibrary(s.binding.library);
    s.binding = Binding{};
    s.tried = false;
}

// The bound entry points, binding at the first call; nullptr when no library can be bound.
const Binding* bound() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.tried) {
        s.tried = true;
        const auto candidates = s.custom ? s.candidates : DefaultLibraryCandidates();
        for (const auto& path : candidates) {
            void* lib = platform::loadLibrary(path);
            if (!lib) continue;
            Binding b;
            b.library = lib;
            b.path = path;
            b.newFn = symbol<NewFn>(lib, "MediaInfo_New");
            b.openFn = symbol<OpenFn>(lib, "MediaInfo_Open");
            b.optionFn = symbol<OptionFn>(lib, "MediaInfo_Option");
            b.informFn = symbol<InformFn>(lib, "MediaInfo_Inform");
            b.closeFn = symbol<CloseFn>(lib, "MediaInfo_Close");
            b.deleteFn = symbol<DeleteFn>(lib, "MediaInfo_Delete");
            if (b.newFn && b.openFn && b.optionFn && b.informFn && b.closeFn && b.deleteFn) {
                // Once for the library, not per probe: the play length, frame size and rotation
                // the probes read come from the headers, and the library's default of reading
                // far into the streams costs three times the processor time for the same values.
                b.optionFn(nullptr, L"ParseSpeed", L"0");
                s.binding = b;
                break;
            }
            platform::unloadLibrary(lib);
        }
        if (!s.binding.library)
            diag::note(diag::Area::Media,
                       "no media-information library could be bound; every "
                       "probe fails");
    }
    return s.binding.library ? &s.binding : nullptr;
}

}  // namespace

std::vector<std::string> DefaultLibraryCandidates() {
    std::vector<std::string> list{platform::programFolder() + platform::sepStr() +
                                  "MediaInfoT.dll"};
    const std::string system = platform::systemMediaInfoLibrary();
    if (!system.empty()) list.push_back(system);
    return list;
}

void SetLibraryCandidates(const std::vector<std::string>& candidates) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dropBinding(s);
    s.custom = true;
    s.candidates = candidates;
}

void ResetLibraryCandidates() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dropBinding(s);
    s.custom = false;
    s.candidates.clear();
}

bool LibraryAvailable() {
    return bound() != nullptr;
}

std::string BoundLibraryPath() {
    const Binding* b = bound();
    return b ? b->path : std::string();
}

// The library turns wide file names into bytes through the C locale; the scope makes that
// UTF-8 for the duration of each call.
void* MediaInfo_New() {
    const Binding* b = bound();
    if (!b) return nullptr;
    platform::Utf8ConversionScope utf8;
    return b->newFn();
}

std::size_t MediaInfo_Open(void* handle, const wchar_t* path) {
    const Binding* b = bound();
    if (!b || !handle || !path) return 0;
    platform::Utf8ConversionScope utf8;
    return b->openFn(handle, path);
}

const wchar_t* MediaInfo_Option(void* handle, const wchar_t* option, const wchar_t* value) {
    const Binding* b = bound();
    if (!b || !handle || !option || !value) return nullptr;
    platform::Utf8ConversionScope utf8;
    return b->optionFn(handle, option, value);
}

const wchar_t* MediaInfo_Inform(void* handle, std::size_t reserved) {
    const Binding* b = bound();
    if (!b || !handle) return nullptr;
    platform::Utf8ConversionScope utf8;
    return b->informFn(handle, reserved);
}

void MediaInfo_Close(void* handle) {
    const Binding* b = bound();
    if (!b || !handle) return;
    platform::Utf8ConversionScope utf8;
    b->closeFn(handle);
}

void MediaInfo_Delete(void* handle) {
    const Binding* b = bound();
    if (!b || !handle) return;
    platform::Utf8ConversionScope utf8;
    b->deleteFn(handle);
}

std::wstring StringFromWidePtr(const wchar_t* text) {
    if (!text) return {};
    return std::wstring(text, std::wcslen(text));
}

std::wstring WideFromUtf8(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto emit = [&out](char32_t cp) {
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
                return;
            }
        }
        out.push_back(static_cast<wchar_t>(cp));
    };
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        int len = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        }
        bool valid = len > 0 && i + len <= n;
        for (int k = 1; valid && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            emit(0xFFFD);
            ++i;
            continue;
        }
        emit(cp);
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string Utf8FromWide(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                const auto low = static_cast<char32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace MediaInfoDLL
