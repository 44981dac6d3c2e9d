#include "media/ToolReport.h"

#include <algorithm>

#include "platform/Platform.h"

namespace ToolReport {

std::string Setting(const std::string& path, int level) {
    std::string escaped;
    for (const char c : path) {
        if (c == '%')
            escaped += "%%";
        else if (c == '\\' || c == '\'' || c == ':')
            escaped += std::string("\\") + c;
        else
            escaped += c;
    }
    return "file=" + escaped + ":level=" + std::to_string(level);
}

std::vector<std::string> Tail(const std::string& text, int count) {
    std::vector<std::string> lines;
    std::size_t end = text.size();
    while (end > 0 && int(lines.size()) < count) {
        const std::size_t cut = text.find_last_of("\r\n", end - 1);
        const std::size_t begin = cut == std::string::npos ? 0 : cut + 1;
        std::string line = text.substr(begin, end - begin);
        if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(std::move(line));
        if (cut == std::string::npos) break;
        end = cut;
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> FileTail(const std::string& path, int count) {
    const auto text = platform::readFile(path);
    return text ? Tail(*text, count) : std::vector<std::string>{};
}

}  // namespace ToolReport
