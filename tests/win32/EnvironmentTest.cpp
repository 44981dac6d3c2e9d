// The program's own folder, the clock, the environment, the registry and libraries, on Windows.

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "tests/win32/WinTestSupport.h"

namespace {

TEST(Environment, ProgramFolderSeparatorClockAndDate) {
    std::wstring exe(32768, L'\0');
    exe.resize(::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
    const std::string path = platform::win32::utf8FromWide(exe).value_or("");
    EXPECT_EQ(platform::programFolder(), path.substr(0, path.rfind('\\')));
    EXPECT_EQ(platform::sepStr(), "\\");

    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    const double now = platform::secondsSinceMidnight();
    const double reference =
        local.wHour * 3600.0 + local.wMinute * 60 + local.wSecond + local.wMilliseconds / 1000.0;
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 86400.0);
    if (reference > 1 && reference < 86399) {
        EXPECT_NEAR(now, reference, 1.0);
        const auto d = platform::today();
        EXPECT_EQ(d.year, local.wYear);
        EXPECT_EQ(d.month, local.wMonth);
        EXPECT_EQ(d.day, local.wDay);
    }
    // Two readings a moment apart show the fraction of the second moving.
    const double a = platform::secondsSinceMidnight();
    ::Sleep(30);
    const double b = platform::secondsSinceMidnight();
    if (b > a) {
        EXPECT_GT(b - a, 0.01);
    }
}

TEST(Environment, VariablesComeBackWhole) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"SW_TEST_VALUE", L"C:\\\u89c6\u9891 it's \U0001F600"));
    EXPECT_EQ(platform::environmentVariable("SW_TEST_VALUE"), "C:\\视频 it's 😀");
    ::SetEnvironmentVariableW(L"SW_TEST_VALUE", nullptr);
    EXPECT_EQ(platform::environmentVariable("SW_TEST_VALUE"), "");
    EXPECT_EQ(platform::environmentVariable(nullptr), "");
}

// A key of the test's own, written with the registry calls and read through the layer.
class Registry : public ::testing::Test {
protected:
    void TearDown() override {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
                HKEY parent = nullptr;
                if (::RegOpenKeyExA(root, "Software", 0, KEY_ALL_ACCESS | view, &parent) ==
                    ERROR_SUCCESS) {
                    ::RegDeleteTreeA(parent, m_name.c_str());
                    ::RegCloseKey(parent);
                }
            }
        }
    }
    // Sets the default value of Software\<test key>\sub (in the given view).
    bool setDefault(HKEY root, const std::string& sub, DWORD type, const void* data, DWORD size,
                    REGSAM view = 0) {
        HKEY key = nullptr;
        const auto name = platform::win32::toCodePage("Software\\" + m_name + "\\" + sub);
        if (!name || ::RegCreateKeyExA(root, name->c_str(), 0, nullptr, 0, KEY_SET_VALUE | view,
                                       nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        const bool ok = ::RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data),
                                         size) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        return ok;
    }
    std::string keyText(const std::string& root, const std::string& sub) const {
        return root + "\\Software\\" + m_name + "\\" + sub;
    }
    std::string m_name = "Stitchwell test " + std::to_string(::GetCurrentProcessId());
};

TEST_F(Registry, DefaultValuesOfKeys) {
    const wchar_t path[] = L"C:\\Program Files\\WinRAR\\WinRAR.exe";
    ASSERT_TRUE(setDefault(HKEY_CURRENT_USER, "App Paths\\WinRAR.exe", REG_SZ, path, sizeof path));
    const std::string expected = "C:\\Program Files\\WinRAR\\WinRAR.exe";
    for (const char* root : {"HKEY_CURRENT_USER", "HKCU", "hkey_current_user"}) {
        EXPECT_EQ(platform::registryDefaultValue(keyText(root, "App Paths\\WinRAR.exe\\")),
                  expected)
            << root;
    }
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKCU", "App Paths\\WinRAR.exe")), expected);
    // A key without a default value, a missing key, an unknown root, a value that is not text.
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKCU", "App Paths\\")), "");
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKCU", "App Paths\\Missing.exe\\")), "");
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKEY_NOWHERE", "App Paths\\WinRAR.exe\\")),
              "");
    EXPECT_EQ(platform::registryDefaultValue(""), "");
    const DWORD number = 7;
    ASSERT_TRUE(setDefault(HKEY_CURRENT_USER, "Number", REG_DWORD, &number, sizeof number));
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKCU", "Number")), "");
    // Expandable text is expanded.
    const wchar_t expandable[] = L"%SW_TEST_ROOT%\\WinRAR.exe";
    ::SetEnvironmentVariableW(L"SW_TEST_ROOT", L"D:\\Tools");
    ASSERT_TRUE(
        setDefault(HKEY_CURRENT_USER, "Expand", REG_EXPAND_SZ, expandable, sizeof expandable));
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKCU", "Expand")), "D:\\Tools\\WinRAR.exe");
}

TEST_F(Registry, ChineseValuesAndKeysAndThe32BitView) {
    WINTEST_NEEDS_GBK();
    const wchar_t value[] = L"D:\\\u5de5\u5177 it's\\WinRAR.exe";
    ASSERT_TRUE(
        setDefault(HKEY_CURRENT_USER, "\u5de5\u5177\\WinRAR.exe", REG_SZ, value, sizeof value));
    EXPECT_EQ(platform::registryDefaultValue(keyText("HKCU", "工具\\WinRAR.exe\\")),
              "D:\\工具 it's\\WinRAR.exe");
    // A 32-bit installer writes where 32-bit programs look; a 64-bit program finds it there.
    const wchar_t old[] = L"C:\\Program Files (x86)\\WinRAR\\WinRAR.exe";
    if (!setDefault(HKEY_LOCAL_MACHINE, "App Paths\\WinRAR.exe", REG_SZ, old, sizeof old,
                    KEY_WOW64_32KEY))
        GTEST_SKIP() << "no right to write the machine's keys";
    EXPECT_EQ(
        platform::registryDefaultValue(keyText("HKEY_LOCAL_MACHINE", "App Paths\\WinRAR.exe\\")),
        "C:\\Program Files (x86)\\WinRAR\\WinRAR.exe");
}

TEST(Libraries, TheMediaLibraryIsLoadedByItsPathAndFailuresAreQuiet) {
    WINTEST_NEEDS_GBK();
    wintest::TempDir tmp;
    const std::string folder = tmp.str() + "\\程序 it's";
    const std::string dll =
        wintest::stageCopy(wintest::builtHelper("sw_win_library.dll"), folder, "MediaInfoT.dll");
    ASSERT_FALSE(dll.empty());
    void* lib = platform::loadLibrary(dll);
    ASSERT_NE(lib, nullptr);
    using NewFn = void* (*)();
    const auto create = reinterpret_cast<NewFn>(platform::librarySymbol(lib, "MediaInfo_New"));
    ASSERT_NE(create, nullptr);
    EXPECT_NE(create(), nullptr);
    EXPECT_EQ(platform::librarySymbol(lib, "MediaInfo_Missing"), nullptr);
    EXPECT_EQ(platform::librarySymbol(nullptr, "MediaInfo_New"), nullptr);
    platform::unloadLibrary(lib);

    EXPECT_EQ(platform::loadLibrary(folder + "\\missing.dll"), nullptr);
    EXPECT_EQ(platform::loadLibrary(""), nullptr);
    ASSERT_TRUE(platform::writeFile(folder + "\\broken.dll", "MZ not a library"));
    EXPECT_EQ(platform::loadLibrary(folder + "\\broken.dll"), nullptr);
    EXPECT_EQ(platform::loadLibrary(folder + "\\😀.dll"), nullptr);
    EXPECT_EQ(platform::systemMediaInfoLibrary(), "");
}

}  // namespace
