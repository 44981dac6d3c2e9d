// Paths of the running program, the clock, shared libraries, the environment and the registry
// (none here).

#include <dlfcn.h>
#include <locale.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/Platform.h"

namespace platform {

const char kSep = '/';

std::string machineName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string programFolder() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    buf.resize(static_cast<size_t>(n));
    const auto slash = buf.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return buf.substr(0, slash);
}

double secondsSinceMidnight() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    const time_t now = ts.tv_sec;
    tm local{};
    ::localtime_r(&now, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ts.tv_nsec / 1e9;
}

Date today() {
    const time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void* loadLibrary(const std::string& path) {
    if (path.empty()) return nullptr;
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* librarySymbol(void* lib, const char* name) {
    if (!lib || !name) return nullptr;
    return ::dlsym(lib, name);
}

void unloadLibrary(void* lib) {
    if (lib) ::dlclose(lib);
}

std::string systemMediaInfoLibrary() {
    return "libmediainfo.so.0";
}

std::string environmentVariable(const char* name) {
    const char* v = name ? std::getenv(name) : nullptr;
    return v ? std::string(v) : std::string();
}

bool showFileSelected(const std::string&) {
    return false;
}

bool systemCarries(const std::string&) {
    return true;
}

std::optional<std::string> toSystemText(const std::string& utf8) {
    return utf8;
}

std::optional<std::string> fromSystemText(const std::string& bytes) {
    return bytes;
}

bool systemTextIsUtf8() {
    return true;
}

bool setEnvironmentVariable(const char* name, const std::string& value) {
    if (!name || !*name) return false;
    return (value.empty() ? ::unsetenv(name) : ::setenv(name, value.c_str(), 1)) == 0;
}

std::string registryDefaultValue(const std::string&) {
    return {};  // no registry here
}

}  // namespace platform

namespace platform {

Utf8ConversionScope::Utf8ConversionScope() {
    locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!utf8) return;
    m_locale = utf8;
    m_previous = ::uselocale(utf8);
}

Utf8ConversionScope::~Utf8ConversionScope() {
    if (!m_locale) return;
    ::uselocale(static_cast<locale_t>(m_previous));
    ::freelocale(static_cast<locale_t>(m_locale));
}

}  // namespace platform
