// The report parsers as pure functions: on reports captured from the library on this machine
// (data/, made from ffmpeg files whose container durations ffprobe gave as noted below) and on
// reports in the carriage-return layout the ninth-hit search was written for.

#include <gtest/gtest.h>

#include "media/MediaReport.h"
#include "platform/Platform.h"

namespace {

std::string data(const std::string& name) {
    const auto text = platform::readFile(std::string(MEDIA_DATA_DIR) + "/" + name);
    EXPECT_TRUE(text.has_value()) << name;
    return text.value_or("");
}

// One report line of the carriage-return layout: label padded to 41 characters.
std::string line(const std::string& label, const std::string& value) {
    std::string l = label;
    l.resize(41, ' ');
    return l + ": " + value + "\r\n";
}

// A complete report in the carriage-return layout: General with the given Duration values (each
// a line of its own), then a Video section with more.
std::string crReport(const std::vector<std::string>& general,
                     const std::vector<std::string>& video = {}) {
    std::string r = "General\r\n" + line("Count", "331") + line("Complete name", "C:\\a b\\x.mp4");
    for (const auto& v : general) r += line("Duration", v);
    r += line("Overall bit rate", "1000");
    if (!video.empty()) {
        r += "\r\nVideo\r\n";
        for (const auto& v : video) r += line("Duration", v);
        r += line("Width", "176");
    }
    return r;
}

TEST(SecondsFromTimeText, HoursMinutesSeconds) {
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText("00:01:05.250"), 65.25);
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText("01:00:00"), 3600);
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText("01:02:05.712"), 3725.712);
    // Field 3 is read as a leading number; a fourth field is not looked at.
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText("00:00:02.000 (00:00:02:00)"), 2.0);
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText("00:00:01:13"), 1.0);
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText("00:02:"), 120.0);
    EXPECT_DOUBLE_EQ(*MediaReport::SecondsFromTimeText(" 1 : 2 : 3 s"), 3723.0);
    EXPECT_FALSE(MediaReport::SecondsFromTimeText("01:05.250"));
    EXPECT_FALSE(MediaReport::SecondsFromTimeText("65250"));
    EXPECT_FALSE(MediaReport::SecondsFromTimeText(""));
    EXPECT_FALSE(MediaReport::SecondsFromTimeText("1 h:2 min:5 s"));
    EXPECT_FALSE(MediaReport::SecondsFromTimeText(":01:05"));
}

TEST(LeadingNumber, ReadsUpToTheFirstCharacterThatCannotContinue) {
    const std::pair<std::string, double> cases[] = {
        {"1 920x", 1920}, {"  05.250 ms", 5.25},
        {"2.5.3", 2.5},   {"-3", -3},
        {"", 0},          {"pixels", 0},
        {"12abc", 12},    {" 3.5", 3.5},
        {"1e3", 1000},    {"1e", 1},
        {"2 e 2", 200},   {".5", 0.5},
        {".", 0},         {"  10  ", 10},
        {"1,5", 1},       {"+7x", 7},
        {"0", 0},         {"1920 pixels", 1920},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_DOUBLE_EQ(MediaReport::LeadingNumber(text), expected) << text;
}

TEST(NinthDurationSearch, CarriageReturnLayout) {
    // Nine hits: the ninth line's value has no colon, so the next line's value is read.
    const std::string nine =
        crReport({"65250", "1mn 5s", "1mn 5s 250ms", "1mn 5s", "00:01:05.250", "65250", "1mn 5s",
                  "1mn 5s 250ms", "1mn 5s", "00:01:05.250"});
    EXPECT_EQ(MediaReport::NinthDurationText(nine), "00:01:05.250");
    EXPECT_DOUBLE_EQ(*MediaReport::DurationFromCompleteReport(nine), 65.25);

    const std::string hour = crReport({"a", "b", "c", "d", "e", "f", "g", "h", "1h", "01:00:00"});
    EXPECT_DOUBLE_EQ(*MediaReport::DurationFromCompleteReport(hour), 3600);

    // Only two fields after the colon: the search fails, and no line of the report holds a full
    // hours:minutes:seconds value either.
    const std::string two = crReport({"a", "b", "c", "d", "e", "f", "g", "h", "x", "01:05.250"});
    EXPECT_EQ(MediaReport::NinthDurationText(two), "01:05.250");
    EXPECT_FALSE(MediaReport::DurationFromCompleteReport(two));
}

TEST(NinthDurationSearch, FewerThanNineHitsWrapAround) {
    // Four hits: 1 2 3 4, none, 1 2 3 4 - the ninth is the fourth hit.
    // Each hit's next colon leads to the following line's value.
    std::string r = "General\r\n" + line("Duration", "x") + line("D1", "00:00:01.000") +
                    line("Duration", "x") + line("D2", "00:00:02.000") + line("Duration", "x") +
                    line("D3", "00:00:03.000") + line("Duration", "x") + line("D4", "00:00:04.000");
    EXPECT_EQ(MediaReport::NinthDurationText(r), "00:00:04.000");
    // Three hits: 1 2 3, none, 1 2 3, none, 1 - the ninth is the first hit.
    std::string three = "General\r\n" + line("Duration", "x") + line("D1", "00:00:01.000") +
                        line("Duration", "x") + line("D2", "00:00:02.000") + line("Duration", "x") +
                        line("D3", "00:00:03.000");
    EXPECT_EQ(MediaReport::NinthDurationText(three), "00:00:01.000");
    EXPECT_FALSE(MediaReport::NinthDurationText(""));
    EXPECT_FALSE(MediaReport::NinthDurationText("General\r\n" + line("Format", "MPEG-4")));
}

TEST(CompleteReports, CapturedFromTheLibraryOnThisMachine) {
    // Lines end in a line feed only, so the ninth-hit search never reaches a value; the General
    // section's "hh:mm:ss.fff" line gives the container's play length.
    const struct {
        const char* file;
        double ffprobe;
    } cases[] = {
        {"complete_av_1920x1080.txt", 2.0},
        {"complete_video_only.txt", 1.52},
        {"complete_mp3.txt", 65.28},
        {"complete_long_mp3.txt", 3725.712},
    };
    for (const auto& c : cases) {
        const std::string report = data(c.file);
        EXPECT_FALSE(MediaReport::NinthDurationText(report)) << c.file;
        const auto seconds = MediaReport::DurationFromCompleteReport(report);
        ASSERT_TRUE(seconds.has_value()) << c.file;
        EXPECT_NEAR(*seconds, c.ffprobe, 0.0005) << c.file;
    }
    EXPECT_FALSE(MediaReport::DurationFromCompleteReport(data("complete_text_file.txt")));
    EXPECT_FALSE(MediaReport::DurationFromCompleteReport(""));
}

TEST(CompleteReports, ContainerDurationBeforeStreamDurations) {
    const std::string both =
        "General\nDuration : 10000\nDuration : 00:00:10.000\n\nVideo\n"
        "Duration : 00:00:09.000\n";
    EXPECT_DOUBLE_EQ(*MediaReport::SectionDuration(both), 10.0);
    // Without a container duration, a stream's is the play length.
    const std::string streamOnly =
        "General\nFormat : MPEG-TS\n\nVideo\nDuration : 00:00:09.500 (00:00:09:12)\n"
        "Duration : 00:00:09:12\nDuration : 00:00:09.500\n";
    EXPECT_DOUBLE_EQ(*MediaReport::SectionDuration(streamOnly), 9.5);
    // Other labels holding the word do not count.
    EXPECT_FALSE(MediaReport::SectionDuration(
        "General\nSource_Duration_LastFrame : -00:00:00.020\nDuration_Start : 00:00:01.000\n"));
}

TEST(NormalReports, WidthAndHeight) {
    std::string w = "old w", h = "old h";
    EXPECT_TRUE(MediaReport::VideoSizeFromReport(data("normal_av_1920x1080.txt"), w, h));
    EXPECT_EQ(w, "1920");
    EXPECT_EQ(h, "1080");

    w = "keep w", h = "keep h";
    EXPECT_FALSE(MediaReport::VideoSizeFromReport(data("normal_mp3.txt"), w, h));
    EXPECT_EQ(w, "keep w");
    EXPECT_EQ(h, "keep h");

    // A width label without a pixel count changes nothing either.
    EXPECT_FALSE(MediaReport::VideoSizeFromReport("Video\nWidth : 176\n", w, h));
    EXPECT_EQ(w, "keep w");

    // A width but no height: the width is taken, the height keeps its value.
    EXPECT_FALSE(MediaReport::VideoSizeFromReport("Video\r\nWidth : 1 280 pixels\r\n", w, h));
    EXPECT_EQ(w, "1280");
    EXPECT_EQ(h, "keep h");

    w = "x", h = "y";
    EXPECT_TRUE(MediaReport::VideoSizeFromReport(
        "Video\r\nWidth                : 144 pixels\r\nHeight             : 204 pixels\r\n", w, h));
    EXPECT_EQ(w, "144");
    EXPECT_EQ(h, "204");
    // No number between the label and the unit reads as 0.
    EXPECT_TRUE(MediaReport::VideoSizeFromReport("Width : pixels\nHeight : ? pixels\n", w, h));
    EXPECT_EQ(w, "0");
    EXPECT_EQ(h, "0");
}

// The display rotation of a phone clip, from a report of the library on this machine (a clip
// stored 320x240 with a quarter turn) and hand-made lines.
TEST(NormalReports, Rotation) {
    EXPECT_EQ(MediaReport::RotationFromReport(data("normal_rotated_320x240.txt")), 270);
    EXPECT_EQ(MediaReport::RotationFromReport(data("normal_av_1920x1080.txt")), 0);
    const std::pair<std::string, int> cases[] = {
        {"Video\r\nRotation : 90°\r\n", 90},
        {"Video\nRotation                                 : 180.000°\n", 180},
        {"Video\nRotation : -90°\n", 270},
        {"Video\nRotation : 450\n", 90},
        {"Video\nCodec configuration box : avcC\nNo Rotation here : 90\n", 0},
        {"", 0},
    };
    for (const auto& [report, degrees] : cases)
        EXPECT_EQ(MediaReport::RotationFromReport(report), degrees) << report;
}

}  // namespace
