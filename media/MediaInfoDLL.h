#pragma once
// Module MediaInfoDLL: the media-information library bound at run time through its
// wide-character C interface. The library file is looked for in the program folder first
// ("MediaInfoT.dll"), then among the system's libraries; the first one that loads and offers
// every entry point is bound at the first call and stays bound.

#include <cstddef>
#include <string>
#include <vector>

namespace MediaInfoDLL {

// The places tried, in order: the program folder's "MediaInfoT.dll", then the system library.
std::vector<std::string> DefaultLibraryCandidates();
// Replaces the places tried (an empty list means no library at all) and drops the current
// binding, so the next call binds afresh. For tests.
void SetLibraryCandidates(const std::vector<std::string>& candidates);
// Back to DefaultLibraryCandidates(), binding dropped.
void ResetLibraryCandidates();
// True when a library is bound or can be bound now.
bool LibraryAvailable();
// The file that is bound, empty when none.
std::string BoundLibraryPath();

// The entry points. Handle 0 stands for "no library"; every call on it does nothing and gives
// 0 / nullptr, so a probe without the library fails cleanly.
void* MediaInfo_New();
std::size_t MediaInfo_Open(void* handle, const wchar_t* path);
const wchar_t* MediaInfo_Option(void* handle, const wchar_t* option, const wchar_t* value);
const wchar_t* MediaInfo_Inform(void* handle, std::size_t reserved);
void MediaInfo_Close(void* handle);
void MediaInfo_Delete(void* handle);

// Copies a zero-terminated wide string out of library-owned memory; empty for nullptr.
std::wstring StringFromWidePtr(const wchar_t* text);

// UTF-8 <-> wide text (UTF-32 where wchar_t has 4 bytes, UTF-16 where it has 2). Invalid bytes
// become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace MediaInfoDLL
