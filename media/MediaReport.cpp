#include "media/MediaReport.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace MediaReport {

namespace {

constexpr std::string_view kDuration = "Duration";

// Drops n characters (not bytes) from the front of a UTF-8 text.
std::string dropChars(const std::string& text, size_t n) {
    size_t i = 0;
    while (n > 0 && i < text.size()) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        --n;
    }
    return text.substr(i);
}

// 1-based position of the first hit at or after 1-based position start; 0 when none.
size_t findFrom(const std::string& text, std::string_view what, size_t start) {
    if (start < 1) start = 1;
    if (start - 1 > text.size()) return 0;
    const auto hit = text.find(what, start - 1);
    return hit == std::string::npos ? 0 : hit + 1;
}

// A whole-text number (blanks around it allowed): "05", "1.5", "-2". nullopt otherwise.
std::optional<double> wholeNumber(const std::string& text) {
    const std::string t = text::trimBlanks(text);
    if (t.empty()) return std::nullopt;
    size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
    size_t digits = 0;
    bool point = false;
    for (size_t k = i; k < t.size(); ++k) {
        if (t[k] >= '0' && t[k] <= '9') {
            ++digits;
        } else if (t[k] == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) return std::nullopt;
    double value = 0;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    std::from_chars(begin, t.data() + t.size(), value);
    return value;
}

// "hh:mm:ss" or "hh:mm:ss.fff" exactly, digits only.
bool isClockValue(const std::string& value) {
    const auto fields = text::splitAt(value, ':');
    if (fields.size() != 3) return false;
    for (size_t f = 0; f < 3; ++f) {
        const std::string& s = fields[f];
        if (s.empty()) return false;
        bool point = false;
        for (size_t k = 0; k < s.size(); ++k) {
            if (s[k] >= '0' && s[k] <= '9') continue;
            if (f == 2 && s[k] == '.' && !point && k > 0 && k + 1 < s.size()) {
                point = true;
                continue;
            }
            return false;
        }
    }
    return true;
}

std::string formatNumber(double value) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

// The number a width or height text stands for: blanks removed, the colon dropped, the leading
// number written as plain digits.
std::string sizeText(const std::string& raw) {
    std::string packed;
    for (char c : raw)
        if (c != ' ') packed.push_back(c);
    return formatNumber(LeadingNumber(dropChars(packed, 1)));
}

}  // namespace

double LeadingNumber(const std::string& text) {
    // The digits read so far with blanks left out, so "1 920" reads as 1920.
    std::string number;
    size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    const auto readDigits = [&] {
        bool any = false;
        for (skipBlanks(); i < text.size(); skipBlanks()) {
            if (text[i] < '0' || text[i] > '9') break;
            number.push_back(text[i++]);
            any = true;
        }
        return any;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number.push_back('-');
        ++i;
    }
    bool any = readDigits();
    if (i < text.size() && text[i] == '.') {
        number.push_back('.');
        ++i;
        any = readDigits() || any;
    }
    if (!any) return 0;
    // an exponent counts only when digits follow it
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        const std::string mantissa = number;
        const size_t at = i++;
        number.push_back('e');
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.push_back(text[i++]);
        if (!readDigits()) {
            number = mantissa;
            i = at;
        }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    return error == std::errc() && std::isfinite(value) ? value : 0;
}

std::optional<std::string> NinthDurationText(const std::string& report) {
    size_t p = findFrom(report, kDuration, 1);
    if (p == 0) return std::nullopt;
    for (int i = 0; i < 8; ++i) p = findFrom(report, kDuration, p + 7);
    // p is the ninth hit, or 0 when the last search found nothing; the text starts just past it.
    std::string s = text::trimBlanks(dropChars(report, p + 7));
    s = dropChars(s, 2);
    const auto colon = s.find(':');
    if (colon != std::string::npos) s = s.substr(colon + 1);
    const auto cr = s.find('\r');
    if (cr == std::string::npos) return std::nullopt;
    return text::trimBlanks(s.substr(0, cr));
}

std::optional<double> SecondsFromTimeText(const std::string& text) {
    const auto fields = text::splitAt(text, ':');
    if (fields.size() < 3) return std::nullopt;
    const auto hours = wholeNumber(fields[0]);
    const auto minutes = wholeNumber(fields[1]);
    if (!hours || !minutes) return std::nullopt;
    return LeadingNumber(fields[2]) + *minutes * 60 + *hours * 3600;
}

std::optional<double> SectionDuration(const std::string& report) {
    bool inFirstSection = true, sawParameter = false;
    std::optional<double> elsewhere;
    size_t start = 0;
    while (start <= report.size()) {
        auto end = report.find('\n', start);
        if (end == std::string::npos) end = report.size();
        std::string line = report.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            // A section heading ends the first section once it has had parameters.
            if (!text::trimBlanks(line).empty() && sawParameter) inFirstSection = false;
            continue;
        }
        sawParameter = true;
        if (text::trimBlanks(line.substr(0, colon)) != kDuration) continue;
        const std::string value = text::trimBlanks(line.substr(colon + 1));
        if (!isClockValue(value)) continue;
        const auto seconds = SecondsFromTimeText(value);
        if (!seconds) continue;
        if (inFirstSection) return seconds;
        if (!elsewhere) elsewhere = seconds;
    }
    return elsewhere;
}

std::optional<double> DurationFromCompleteReport(const std::string& report) {
    if (const auto text = NinthDurationText(report)) {
        if (const auto seconds = SecondsFromTimeText(*text)) return seconds;
    }
    return SectionDuration(report);
}

bool VideoSizeFromReport(const std::string& report, std::string& width, std::string& height) {
    const auto w = report.find("Width");
    if (w == std::string::npos) return false;
    const auto x = report.find("pixels", w + 5);
    if (x == std::string::npos) return false;
    width = sizeText(report.substr(w + 5, x - (w + 5)));

    const auto h = report.find("Height");
    if (h == std::string::npos) return false;
    const auto y = report.find("pixels", h);
    if (y == std::string::npos) return false;
    height = sizeText(report.substr(h + 6, y - (h + 6)));
    return true;
}

int RotationFromReport(const std::string& report) {
    // Only the video section's line: the label at the start of a line.
    size_t at = 0;
    while ((at = report.find("Rotation", at)) != std::string::npos) {
        const bool lineStart = at == 0 || report[at - 1] == '\n' || report[at - 1] == '\r';
        const auto colon = report.find(':', at);
        const auto end = report.find_first_of("\r\n", at);
        if (lineStart && colon != std::string::npos && (end == std::string::npos || colon < end)) {
            const double degrees = LeadingNumber(report.substr(colon + 1, end - colon - 1));
            const long whole = std::lround(degrees);
            return static_cast<int>(((whole % 360) + 360) % 360);
        }
        at += 8;
    }
    return 0;
}

}  // namespace MediaReport
