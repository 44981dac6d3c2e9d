// Services that are the same on every system: the separator as text and the splitting of
// parameter texts by the Windows command-line rules.

#include "platform/Platform.h"

namespace platform {

std::string sepStr() {
    return std::string(1, kSep);
}

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

}  // namespace platform
