#pragma once
// The output folder of a run: which folders may not take videos, what a run that ended abnormally
// left there, the room the next video needs, and a video's way in: written under a temporary name
// beside the first free output number, renamed to that number once it is judged good.

#include <cstdint>
#include <string>
#include <vector>

class OutputFolder {
public:
    // Below this much free space a file system counts as full.
    static constexpr std::int64_t kMinFreeBytes = 1 << 20;

    explicit OutputFolder(std::string path = {});
    const std::string& path() const { return m_path; }

    // True when videos may not be written into `output`: it is the program folder, the work
    // folder Tmps or inside it, one of the source folders, or the used-material root or inside
    // it (finished videos would be deleted with the work folder, fed back in as clips, or mixed
    // with used material). Paths are compared with links resolved.
    static bool Refused(const std::string& output, const std::string& programFolder,
                        const std::vector<std::string>& sourceFolders, const std::string& usedRoot);

    // Removes what a run that ended abnormally left in `folder` (videos still being made,
    // replacements still being copied) and nothing else. The number removed.
    static int RemoveLeftovers(const std::string& folder);

    enum class Room { Enough, Full, NotWritable };
    // Whether the next video can be written: the folder is made when it is missing; it must be
    // writable and have the room a video that did not fit showed it needs.
    Room room() const;

    // The temporary name of the next video, beside the first output number from the next one
    // that holds nothing; empty when a command text could not carry it.
    std::string beginVideo();
    const std::string& partial() const { return m_partial; }
    // The video under its temporary name was no good: it is deleted. True when it failed for want
    // of room; the next one then waits for room for about twice as much as it reached.
    bool discardPartial();
    // The good video gets its finished name: the number it was begun with, or the next free one
    // when another file took that meanwhile. Empty when it cannot be renamed.
    std::string finishVideo();

private:
    std::string m_path;
    std::string m_partial;
    int m_nextNumber = 0;       // the lowest output number that may still be free
    int m_number = 0;           // the number of the video in work
    std::int64_t m_needed = 0;  // free bytes a video needs, learnt from one that did not fit
};
