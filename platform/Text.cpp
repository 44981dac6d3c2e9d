#include "platform/Text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace text {

namespace {

// Adds one to a string of decimal digits.
std::string incrementDigits(std::string digits) {
    int i = static_cast<int>(digits.size()) - 1;
    for (; i >= 0; --i) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            break;
        }
    }
    if (i < 0) digits.insert(digits.begin(), '1');
    return digits;
}

}  // namespace

double parseDouble(std::string_view text) {
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc()) return 0;
    return v;
}

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> splitAt(std::string_view text, char sep) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const auto hit = text.find(sep, start);
        if (hit == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            return fields;
        }
        fields.emplace_back(text.substr(start, hit - start));
        start = hit + 1;
    }
}

std::string_view baseName(std::string_view path, char sep) {
    const auto at = path.rfind(sep);
    return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string withoutTrailingSeparators(std::string path, char sep, KeepRoot keep) {
    const std::size_t least = keep == KeepRoot::Nothing ? 0 : 1;
    while (path.size() > least && path.back() == sep) {
        if (keep == KeepRoot::Drive && path.size() == 3 && path[1] == ':') break;
        path.pop_back();
    }
    return path;
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string upperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lowerAscii(std::string(a)) == lowerAscii(std::string(b));
}

bool endsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && equalsNoCase(text.substr(text.size() - tail.size()), tail);
}

// The value is judged by its shortest round-trip decimal text, i.e. the number as it is written
// and read (0.125, 1.0035, 2.5), not by the binary fraction stored for it: 1.0035 is stored as
// 1.00349999999999994...; taken literally it would never be a half, while everyone reading it
// sees one. So the digits of the shortest text are rounded as decimal digits, halves to the even
// neighbour, and the result is read back as the nearest double.
double RoundHalfEven(double x, int decimals) {
    if (!std::isfinite(x) || x == 0) return x;
    const bool negative = x < 0;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
    std::string text(buf, res.ptr);  // d.ddddde±XX
    const auto ePos = text.find('e');
    std::string digits = text.substr(0, ePos);
    if (digits.size() > 1) digits.erase(1, 1);  // drop the point
    const int exponent = std::stoi(text.substr(ePos + 1));
    // value = 0.digits × 10^(exponent + 1); keep the digits down to the given decimal place
    const long keep = static_cast<long>(exponent) + 1 + decimals;
    if (keep >= static_cast<long>(digits.size())) return x;  // nothing beyond that place
    std::string kept, rest;
    if (keep > 0) {
        kept = digits.substr(0, keep);
        rest = digits.substr(keep);
    } else {
        rest = std::string(static_cast<size_t>(-keep), '0') + digits;
    }
    bool up = false;
    if (rest[0] > '5') {
        up = true;
    } else if (rest[0] == '5') {
        const bool moreAfterFive = rest.find_first_not_of('0', 1) != std::string::npos;
        const int lastKept = kept.empty() ? 0 : kept.back() - '0';
        up = moreAfterFive || (lastKept % 2 == 1);
    }
    if (kept.empty()) kept.push_back('0');
    if (up) kept = incrementDigits(kept);
    const std::string result = kept + "e" + std::to_string(-decimals);
    const double v = parseDouble(result);
    return negative ? -v : v;
}

std::string PlainNumber(double x) {
    if (!std::isfinite(x) || x == 0) return "0";
    // the fewest significant digits (at most 15) that give the value back
    char buf[64];
    int precision = 15;
    for (int p = 1; p <= 15; ++p) {
        auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, p - 1);
        if (parseDouble(std::string_view(buf, res.ptr - buf)) == x) {
            precision = p;
            break;
        }
    }
    auto res =
        std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, precision - 1);
    const std::string written(buf, res.ptr);
    const bool negative = written[0] == '-';
    const std::string body = negative ? written.substr(1) : written;
    const auto ePos = body.find('e');
    std::string digits = body.substr(0, ePos);
    if (digits.size() > 1) digits.erase(1, 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int exponent = std::stoi(body.substr(ePos + 1));
    std::string out;
    if (exponent < 0) {
        out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (static_cast<size_t>(exponent) + 1 >= digits.size()) {
        out = digits + std::string(exponent + 1 - digits.size(), '0');
    } else {
        out = digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
    }
    return (negative ? "-" : "") + out;
}

std::optional<int> toInt16(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    text = text.substr(first, last - first + 1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    const double rounded = RoundHalfEven(value, 0);
    if (rounded < -32768 || rounded > 32767) return std::nullopt;
    return static_cast<int>(rounded);
}

}  // namespace text
