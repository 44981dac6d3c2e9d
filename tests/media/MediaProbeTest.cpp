// ReadDuration and ReadVideoInfo on real files made with ffmpeg, through the real library; the
// binding's library search, with no library and with a logging stand-in in the program folder.

#include <gtest/gtest.h>

#include "media/General.h"
#include "media/MediaInfoDLL.h"
#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;

// Media made once for the whole suite, in a folder whose name holds blanks, an apostrophe and
// Chinese characters.
class RealMedia : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_folder = s_dir->sub("素材 it's", true);
        ASSERT_TRUE(testsupport::makeVideo(s_folder + "/有声 clip.mp4", 176, 144, 2.4, true));
        ASSERT_TRUE(testsupport::makeVideo(s_folder + "/silent's.mp4", 144, 204, 1.5, false));
        ASSERT_TRUE(testsupport::makeVideo(s_folder + "/full hd.mp4", 1920, 1080, 0.4, false));
        ASSERT_TRUE(testsupport::makeMp3(s_folder + "/音乐 1.mp3", 3.3));
        // Over an hour of sound, cheap to encode.
        ASSERT_TRUE(testsupport::runFfmpeg(
            {"-f", "lavfi", "-i", "sine=frequency=330:sample_rate=8000:duration=3725.5", "-c:a",
             "libmp3lame", "-b:a", "8k", s_folder + "/long 长.mp3"}));
        ASSERT_TRUE(testsupport::writeText(s_folder + "/notes.txt", "not media at all\n"));
        ASSERT_TRUE(testsupport::writeText(s_folder + "/empty.mp4", ""));
        ASSERT_TRUE(testsupport::writeText(s_folder + "/corrupt.mp4", QByteArray(5000, 'z')));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void TearDown() override { MediaInfoDLL::ResetLibraryCandidates(); }
    static std::string path(const char* name) { return (s_folder + "/" + name).toStdString(); }

    static TempDir* s_dir;
    static QString s_folder;
};
TempDir* RealMedia::s_dir = nullptr;
QString RealMedia::s_folder;

TEST_F(RealMedia, DurationMatchesTheContainerLength) {
    for (const char* name :
         {"有声 clip.mp4", "silent's.mp4", "full hd.mp4", "音乐 1.mp3", "long 长.mp3"}) {
        const double expected = testsupport::probeDuration(s_folder + "/" + name);
        ASSERT_GT(expected, 0) << name;
        const auto seconds = General::ReadDuration(path(name));
        ASSERT_TRUE(seconds.has_value()) << name;
        EXPECT_NEAR(*seconds, expected, 0.05) << name;
    }
    EXPECT_GT(*General::ReadDuration(path("long 长.mp3")), 3600.0);
}

TEST_F(RealMedia, DurationFailsForFilesWithoutOne) {
    EXPECT_FALSE(General::ReadDuration(path("notes.txt")));
    EXPECT_FALSE(General::ReadDuration(path("empty.mp4")));
    EXPECT_FALSE(General::ReadDuration(path("corrupt.mp4")));
    EXPECT_FALSE(General::ReadDuration(path("missing.mp4")));
    EXPECT_FALSE(General::ReadDuration(""));
}

TEST_F(RealMedia, VideoSizeAsDigitText) {
    std::string w = "0", h = "0";
    EXPECT_TRUE(General::ReadVideoInfo(path("full hd.mp4"), w, h));
    EXPECT_EQ(w, "1920");
    EXPECT_EQ(h, "1080");
    EXPECT_TRUE(General::ReadVideoInfo(path("silent's.mp4"), w, h));
    EXPECT_EQ(w, "144");
    EXPECT_EQ(h, "204");

    for (const char* name : {"音乐 1.mp3", "notes.txt", "missing.mp4", "corrupt.mp4"}) {
        w = "old w", h = "old h";
        EXPECT_FALSE(General::ReadVideoInfo(path(name), w, h)) << name;
        EXPECT_EQ(w, "old w") << name;
        EXPECT_EQ(h, "old h") << name;
    }
}

// One opening gives both reports: the complete form for the length, then the plain form for the
// size, each as the separate reads give it.
TEST_F(RealMedia, ClipFactsFromOneOpeningMatchTheSeparateReads) {
    for (const char* name : {"有声 clip.mp4", "silent's.mp4", "full hd.mp4", "音乐 1.mp3",
                             "notes.txt", "missing.mp4", "corrupt.mp4"}) {
        const General::ClipFacts facts = General::ReadClipFacts(path(name));
        EXPECT_EQ(facts.duration, General::ReadDuration(path(name))) << name;
        std::string w, h;
        EXPECT_EQ(facts.sized, General::ReadVideoInfo(path(name), w, h)) << name;
        EXPECT_EQ(facts.width, w) << name;
        EXPECT_EQ(facts.height, h) << name;
    }
    const General::ClipFacts hd = General::ReadClipFacts(path("full hd.mp4"));
    EXPECT_TRUE(hd.sized);
    EXPECT_EQ(hd.width, "1920");
    EXPECT_GT(hd.duration.value_or(0), 0.0);
}

TEST_F(RealMedia, WithoutAnyLibraryTheProbesFailCleanly) {
    const std::string fake = s_dir->str() + "/program/MediaInfoT.dll";
    MediaInfoDLL::SetLibraryCandidates({});
    EXPECT_FALSE(MediaInfoDLL::LibraryAvailable());
    EXPECT_FALSE(General::ReadDuration(path("音乐 1.mp3")));
    std::string w = "w", h = "h";
    EXPECT_FALSE(General::ReadVideoInfo(path("full hd.mp4"), w, h));
    EXPECT_EQ(w + h, "wh");

    // A program folder file that is not a library, or a library without the entry points, is
    // passed over.
    ASSERT_TRUE(platform::makeSurePathExists(s_dir->str() + "/program"));
    ASSERT_TRUE(platform::writeFile(fake, "not a library"));
    MediaInfoDLL::SetLibraryCandidates({fake, "libz.so.1"});
    EXPECT_FALSE(MediaInfoDLL::LibraryAvailable());
    EXPECT_FALSE(General::ReadDuration(path("音乐 1.mp3")));

    MediaInfoDLL::SetLibraryCandidates({fake, platform::systemMediaInfoLibrary()});
    EXPECT_EQ(MediaInfoDLL::BoundLibraryPath(), platform::systemMediaInfoLibrary());
    EXPECT_TRUE(General::ReadDuration(path("音乐 1.mp3")).has_value());
}

TEST(LibrarySearch, ProgramFolderFirstThenTheSystem) {
    const auto candidates = MediaInfoDLL::DefaultLibraryCandidates();
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], platform::programFolder() + "/MediaInfoT.dll");
    EXPECT_EQ(candidates[1], platform::systemMediaInfoLibrary());
}

// The logging stand-in, copied into a program folder as "MediaInfoT.dll".
class StandIn : public ::testing::Test {
protected:
    void SetUp() override {
        m_library = m_dir.str() + "/程序 dir/MediaInfoT.dll";
        ASSERT_TRUE(platform::makeSurePathExists(m_dir.str() + "/程序 dir"));
        ASSERT_TRUE(platform::copyFileReplace(FAKE_MEDIAINFO_PATH, m_library));
        MediaInfoDLL::SetLibraryCandidates({m_library, platform::systemMediaInfoLibrary()});
        m_self = platform::loadLibrary(m_library);
        ASSERT_NE(m_self, nullptr);
        m_takeLog = reinterpret_cast<const wchar_t* (*)()>(
            platform::librarySymbol(m_self, "FakeMediaInfo_TakeLog"));
        m_live = reinterpret_cast<int (*)()>(
            platform::librarySymbol(m_self, "FakeMediaInfo_LiveHandles"));
        m_setReport = reinterpret_cast<void (*)(const wchar_t*)>(
            platform::librarySymbol(m_self, "FakeMediaInfo_SetReport"));
        ASSERT_TRUE(m_takeLog && m_live && m_setReport);
    }
    void TearDown() override {
        MediaInfoDLL::ResetLibraryCandidates();
        platform::unloadLibrary(m_self);
    }
    std::string takeLog() { return MediaInfoDLL::Utf8FromWide(m_takeLog()); }

    TempDir m_dir;
    std::string m_library;
    void* m_self = nullptr;
    const wchar_t* (*m_takeLog)() = nullptr;
    int (*m_live)() = nullptr;
    void (*m_setReport)(const wchar_t*) = nullptr;
};

TEST_F(StandIn, EveryProbeOpensAsksAndReleasesItsOwnHandle) {
    EXPECT_EQ(MediaInfoDLL::BoundLibraryPath(), m_library);
    takeLog();
    const std::string clip = "/素材 it's/clip.mp4";
    m_setReport(L"General\nDuration : 00:00:07.500\n");
    EXPECT_DOUBLE_EQ(General::ReadDuration(clip).value_or(-1), 7.5);
    EXPECT_EQ(takeLog(), "New;Open(/素材 it's/clip.mp4);Option(Complete=1);Inform;Close;Delete");

    std::string w = "w", h = "h";
    m_setReport(L"Video\nWidth : 1 280 pixels\nHeight : 720 pixels\n");
    EXPECT_TRUE(General::ReadVideoInfo(clip, w, h));
    EXPECT_EQ(w + "x" + h, "1280x720");
    EXPECT_EQ(takeLog(), "New;Open(/素材 it's/clip.mp4);Option(Complete=);Inform;Close;Delete");

    // Failing probes release the handle just the same.
    m_setReport(L"");
    EXPECT_FALSE(General::ReadDuration(clip));
    EXPECT_FALSE(General::ReadVideoInfo(clip, w, h));
    EXPECT_EQ(takeLog(),
              "New;Open(/素材 it's/clip.mp4);Option(Complete=1);Inform;Close;Delete;"
              "New;Open(/素材 it's/clip.mp4);Option(Complete=);Inform;Close;Delete");
    EXPECT_EQ(m_live(), 0);
}

TEST(WideText, Utf8RoundTrip) {
    const std::string text = "a b'中文\t😀é";
    const std::wstring wide = MediaInfoDLL::WideFromUtf8(text);
    EXPECT_EQ(wide, L"a b'中文\t😀é");
    EXPECT_EQ(MediaInfoDLL::Utf8FromWide(wide), text);
    EXPECT_EQ(MediaInfoDLL::WideFromUtf8("a\xff"
                                         "b\xe4\xb8"),
              L"a\xfffd"
              L"b\xfffd\xfffd");
    EXPECT_EQ(MediaInfoDLL::StringFromWidePtr(nullptr), L"");
    EXPECT_EQ(MediaInfoDLL::StringFromWidePtr(L"report\r\n"), L"report\r\n");
}

}  // namespace
