#pragma once
// Pressling, the background compressor: re-encodes the videos named in the compression list one
// after the other with a private copy of the transcoder and puts each re-encoded video in the
// place of the original. The program has no window: its account goes to standard error, and what
// it did with each video (and why it left one as it was) into the day's run log of the program
// folder, with the transcoder's own last words where it failed.

#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "media/RunLog.h"

namespace compressor {

// The fields of the command line, which is one text of TAB-separated fields:
// tool folder, transcoder file name, list path, rate factor, and two fields nobody reads.
struct Fields {
    std::string toolFolder;  // folder of the transcoder, also its working folder
    std::string toolFile;    // file name of the transcoder, e.g. "Vidforge.exe"
    std::string listPath;    // full path of the compression list
    int rate = 0;            // constant rate factor, a 16-bit integer
};

struct ParsedCommandLine {
    std::optional<Fields> fields;
    std::string error;  // why there are no fields
};
ParsedCommandLine parseCommandLine(const std::string& text);

// Exit status of the program.
enum ExitCode : int {
    kDone = 0,
    kAnotherInstance = 1,
    kEmptyCommandLine = 2,
    kBadCommandLine = 3,
    kNoList = 4,
    kNoTranscoder = 5,
    kNoLock = 6,
};

// The extension of a path's file name, from its last "." to the end, dot included; empty when the
// file name has no dot.
std::string extensionOf(const std::string& path);
// Where a video's re-encoded version is written first: own folder + separator + "Tmp" + extension.
std::string tempFilePath(const std::string& ownFolder, const std::string& video);
// The transcoder's parameter text for one video.
std::string compressionCommand(const std::string& video, int rate, const std::string& tempFile);
// File name of the private transcoder copy, so that its processes carry a name of their own.
std::string privateToolName(const std::string& toolFile);

// The first line of the list text that is still to do: blanks around it removed, not empty,
// naming an existing file, and not taken before in this run (whole-line comparison).
std::optional<std::string> pickNextLine(const std::string& listText,
                                        const std::set<std::string>& done,
                                        const std::function<bool(const std::string&)>& exists);

// A re-encoded video may take the place of its original only when its play length is readable
// and within one second of the original's.
bool resultAcceptable(std::optional<double> originalSeconds, std::optional<double> resultSeconds);

enum class Outcome {
    Replaced,       // the re-encoded video took the original's place
    NotAVideo,      // the listed file has no readable play length; left as it is
    SameAsTemp,     // the listed file is the compressor's own temporary file; left as it is
    BadResult,      // the transcoder left nothing usable; the original is unchanged
    ReplaceFailed,  // the result was good but could not be put in place; original unchanged
};

class Compressor {
public:
    // Points where tests step in: right after the transcoder was started for a video, after
    // a reading of the list found nothing left (before the last reading that precedes its
    // deletion), and right after that deletion.
    struct Hooks {
        std::function<void(const std::string& video, const std::string& tempFile)>
            transcoderStarted;
        std::function<void()> nothingLeft;
        std::function<void()> listDeleted;  // right after the emptied list was deleted
    };

    Compressor(Fields fields, std::string ownFolder, std::ostream& log, Hooks hooks = {});

    // Works through the list until nothing is left, then deletes the list and the transcoder
    // copy. Returns the exit status.
    int run();

    const std::vector<std::pair<std::string, Outcome>>& outcomes() const { return m_outcomes; }

private:
    std::optional<std::string> nextLine() const;
    bool makeToolCopy();
    void compress(const std::string& video);
    void record(const std::string& video, Outcome outcome, const std::string& report);

    Fields m_fields;
    std::string m_ownFolder;
    std::ostream& m_log;
    RunLog m_runLog;
    Hooks m_hooks;
    std::string m_toolName;  // the private copy's file name
    std::string m_toolCopy;  // the private copy's path
    std::set<std::string> m_done;
    std::vector<std::pair<std::string, Outcome>> m_outcomes;
};

// The whole program: single-instance guard (a lock in the program's own folder that dies with
// the process), command line, compression. A second instance and an empty command line beep and
// end. Returns the exit status.
int runProgram(const std::string& commandLine, const std::string& ownFolder, std::ostream& log);

}  // namespace compressor
