#pragma once
// One folder of material as the run reads it: a source folder of clips or the music folder. It
// lists the files its rule takes, counts apart the files still being copied in (changed within the
// last second), keeps the files set aside for the run out of its listings, counts failed
// preparations per file, and picks one file at random.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class MaterialFolder {
public:
    enum class Kind {
        Clips,  // names of the clip types; with the pattern rule on, only those that match it
        Music,  // mp3 names
    };
    struct Hooks {
        std::function<void()> pump;     // handles pending window events
        std::function<float()> draw;    // a uniform draw in [0, 1)
        std::function<bool()> stopped;  // the user stopped the run
    };
    struct Listing {
        std::vector<std::string> names;  // usable, settled files, in listing order
        int settling = 0;                // usable files still being copied in
        // usable files whose paths the system's code page cannot carry (they would reach the
        // transcoder altered): the run sets them aside
        std::vector<std::string> uncarried;
        int count() const { return static_cast<int>(names.size()) + settling; }
    };

    MaterialFolder(std::string path, Kind kind, Hooks hooks);
    const std::string& path() const { return m_path; }
    std::string fileOf(const std::string& name) const;

    // A folder that cannot be listed (gone, unreadable) holds nothing, and so does one whose path
    // a command text cannot carry. `patternsOnly`: the clip-pattern rule (clips only).
    Listing list(bool patternsOnly = false);

    // The random pick from a listing: a picked file that has vanished since is drawn again from
    // the same listing. Nothing when every listed file has vanished, when the picked one changed
    // again (the next listing counts it as still being copied in) or a stop came.
    std::optional<std::string> pick(const std::vector<std::string>& names);

    // A file set aside stays out of the listings while its length is what it was then; a file
    // that changes (a copy that went on) is looked at again.
    void setAside(const std::string& file);
    bool usable(const std::string& file);
    // One failed preparation of `file`; true when it is the one after which the file is to be
    // set aside.
    bool failed(const std::string& file);
    void forgetFailures(const std::string& file) { m_failures.erase(file); }
    // The file left the folder (claimed): should it come back, it is looked at as a new one.
    void forgetSettled(const std::string& file) { m_settled.erase(file); }

private:
    bool takes(const std::string& name, bool patternsOnly) const;
    bool settled(const std::string& file);

    std::string m_path;
    Kind m_kind;
    Hooks m_hooks;
    std::map<std::string, std::int64_t> m_setAside;  // file -> its length then
    std::map<std::string, int> m_failures;           // failed preparations per file
    std::unordered_set<std::string> m_settled;       // files seen unchanged for a second
};
