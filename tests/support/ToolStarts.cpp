#include "tests/support/ToolStarts.h"

#include <algorithm>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace testsupport {

std::string ToolStart::writes() const {
    const size_t close = params.rfind('"');
    if (close == std::string::npos || close == 0) return {};
    const size_t open = params.rfind('"', close - 1);
    if (open == std::string::npos) return {};
    return std::string(text::baseName(params.substr(open + 1, close - open - 1), platform::kSep));
}

std::vector<std::string> ToolStarts::written() const {
    std::vector<std::string> names;
    for (const ToolStart& s : m_all) names.push_back(s.writes());
    return names;
}

ToolStart ToolStarts::writing(const std::string& name) const {
    const auto it = std::find_if(m_all.rbegin(), m_all.rend(),
                                 [&](const ToolStart& s) { return s.writes() == name; });
    return it == m_all.rend() ? ToolStart{} : *it;
}

int ToolStarts::holding(const std::string& piece) const {
    return int(std::count_if(m_all.begin(), m_all.end(), [&](const ToolStart& s) {
        return s.params.find(piece) != std::string::npos;
    }));
}

}  // namespace testsupport
