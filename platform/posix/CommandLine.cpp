// Splitting a parameter text into words the way Windows programs split their command line, and
// reading back the unsplit text a shell start handed over.

#include <cstdlib>

#include "platform/Platform.h"
#include "platform/posix/ShellStart.h"

namespace platform {

std::vector<std::string> splitCommandLine(const std::string& text) {
    // Blanks and tabs separate words outside quotes. A run of n backslashes followed by a quote
    // gives n/2 backslashes; when n is even the quote opens or closes a quoted part, when n is
    // odd it is a literal quote. Backslashes not followed by a quote are literal. Inside a quoted
    // part, two quotes in a row give one literal quote and the part goes on.
    std::vector<std::string> words;
    const size_t n = text.size();
    size_t i = 0;
    while (true) {
        while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= n) break;
        std::string word;
        bool inQuote = false;
        while (i < n) {
            const char c = text[i];
            if (!inQuote && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t count = 0;
                while (i < n && text[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < n && text[i] == '"') {
                    word.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        word.push_back('"');
                        ++i;
                    }
                    // An even run leaves the quote to the quote handling below.
                } else {
                    word.append(count, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (inQuote && i + 1 < n && text[i + 1] == '"') {
                    word.push_back('"');
                    i += 2;
                } else {
                    inQuote = !inQuote;
                    ++i;
                }
                continue;
            }
            word.push_back(c);
            ++i;
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::string rawCommandLine(int argc, char** argv) {
    std::vector<std::string> given;
    for (int i = 1; i < argc; ++i) given.emplace_back(argv[i] ? argv[i] : "");
    if (const char* raw = std::getenv(kShellParamsVariable)) {
        // Only trusted when it is the text this process was really started with (a variable
        // inherited from some other start would not split into our own arguments).
        if (splitCommandLine(raw) == given) return raw;
    }
    std::string joined;
    for (size_t i = 0; i < given.size(); ++i) {
        if (i) joined.push_back(' ');
        joined += given[i];
    }
    return joined;
}

}  // namespace platform
