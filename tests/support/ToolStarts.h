#pragma once
// The tool starts a run asked for, recorded in order by the tests' start hook, and found again by
// the file each one writes (the last quoted path of its command text), not by its position.

#include <string>
#include <vector>

namespace testsupport {

struct ToolStart {
    std::string file, params;
    // The name (without folder) of the file the command writes; empty when it names none.
    std::string writes() const;
};

class ToolStarts {
public:
    void add(const std::string& file, const std::string& params) {
        m_all.push_back({file, params});
    }
    size_t size() const { return m_all.size(); }
    const std::vector<ToolStart>& all() const { return m_all; }
    // What every start wrote, in the order of the starts ("" for a start that writes no file).
    std::vector<std::string> written() const;
    // The last start that wrote that file; a start with empty texts when none did.
    ToolStart writing(const std::string& name) const;
    // How many command texts hold the piece.
    int holding(const std::string& piece) const;

private:
    std::vector<ToolStart> m_all;
};

}  // namespace testsupport
