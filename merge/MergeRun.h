#pragma once
// The merge run: from the merge command to the last output video, the stop and the completion.
// One long handler on the window's thread; every wait polls a condition and pumps the window's
// events through MergeHost, so the stop command runs re-entrantly inside it.
//
// What a run will not do, whatever the folders hold: use a clip twice (used material moves out
// before a video gets its final name), leave a broken video under a finished name (the final run
// writes to a temporary name, renamed once the video is judged good), pick a clip that is still
// being copied in (a file counts once it has not changed for a second), or go round silently:
// material that cannot be used is set aside for the rest of the run and named in the status line,
// and a pass that cannot be made says why and waits until the cause is gone.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "media/ProgramFolder.h"
#include "media/RunLog.h"
#include "media/ToolRun.h"
#include "merge/Claims.h"
#include "merge/MergeHost.h"
#include "merge/MergeTexts.h"

// The option texts and folders of one merge run.
struct MergeJob {
    MergeTexts::JobOptions options;  // SizeOption, RateOption, BitRateOption, MuteOption
    int MaxVideos = 999999999;
    std::string RunDate;       // 2020-7-1
    std::string UsedVideoDir;  // used-material root + sep + RunDate + sep + "视频" + sep
    std::string UsedAudioDir;  // used-material root + sep + RunDate + sep + "音频" + sep
};

// The run's state, which the window's other handlers (the stop command, the tray) read.
struct RunState {
    bool Running = false;        // a run is in progress
    bool StopRequested = false;  // the user asked to stop; every loop of the run tests it
    int MadeCount = 0;           // videos finished in this run
};

struct MergeEnv {
    std::string programFolder;  // without a trailing separator
    // Sees every tool start of the run (file, parameter text) before it happens; may be empty.
    std::function<void(const std::string& file, const std::string& params)> onToolStart;
    // A uniform draw in [0, 1); empty: a generator re-seeded from the clock before each draw.
    std::function<float()> random;
    // The machine's logical processors, which bound the transcoders of a pass in parallel mode;
    // 0: asked of the system.
    int processors = 0;
};

class MergeRun {
public:
    MergeRun(MergeHost& host, MergeEnv env);

    // The merge command MenuDo: setup, confirmation, then one pass per output video until the
    // user stops; returns after the completion. A second merge command while one is in progress
    // (its setup still scanning, or its confirmation open) is refused: it returns at once.
    void MenuDo_Click();
    // The stop command MenuStop: asks "终止视频合并操作？"; on OK sets StopRequested, disables
    // MenuStop and ends one running transcoder of this program folder.
    void MenuStop_Click();
    // The window is closing while a run goes on: the run stops without asking anything, and
    // every transcoder of this run and of this program folder ends now.
    void EndForClose();

    bool commandActive() const { return m_commandActive; }
    const RunState& state() const { return m_state; }
    const MergeJob& job() const { return m_job; }
    const std::string& programFolder() const { return m_env.programFolder; }
    const RunLog& runLog() const { return m_log; }

    // How many transcoders of a pass run at once in parallel mode: one per logical processor (at
    // least 2; an unknown count, 0 or less, counts as 2); for a hardware form the sessions the
    // acceleration probe saw run at once (at least 1).
    static int ParallelToolBound(bool hardware, int hardwareSessions, int processors);

    // The name under which a used file is stored in `dir` (ending with a separator): `name` when
    // free, else "stem (1).ext", "stem (2).ext", … — the first that `exists` does not know.
    static std::string FreeStoreName(const std::string& dir, const std::string& name,
                                     const std::function<bool(const std::string&)>& exists);

    // Moves `from` into `dir` (ending with a separator) under FreeStoreName(dir, name): never
    // replaces, and tries the next free name when one is taken meanwhile. The path it has now, or
    // nullopt when the move failed for another reason than the name.
    static std::optional<std::string> MoveUnderFreeName(const std::string& from,
                                                        const std::string& dir,
                                                        const std::string& name);

    // True when videos may not be written into `output`: it is the program folder, the work
    // folder Tmps or inside it, one of the source folders, or the used-material root or inside
    // it (finished videos would be deleted with the work folder, fed back in as clips, or mixed
    // with used material). Paths are compared with links resolved.
    static bool OutputFolderRefused(const std::string& output, const std::string& programFolder,
                                    const std::vector<std::string>& sourceFolders,
                                    const std::string& usedRoot);

    // Removes what a run that ended abnormally left in an output folder (videos still being made,
    // replacements still being copied) and nothing else. The number removed.
    static int RemoveLeftoverOutputs(const std::string& outputFolder);

private:
    // How a step of a pass ends: go on, skip the rest of the pass, or end the run.
    enum class Step { Go, Skip, Stop };
    // The usable names of a folder listing and how many more are still being copied in.
    struct Listing {
        std::vector<std::string> names;
        int settling = 0;
    };

    bool setup();
    bool checkJob(std::vector<std::string>& sources);
    void scanMaterial(const std::vector<std::string>& sources);
    void beginRun();
    Step awaitReadiness();
    std::string readinessProblem();
    Step runPass();
    Step prepareWorkFolder();
    Step prepareClip(int folderIndex, int folderCount);
    Step prepareMusic();
    Step assemble(int folderCount);
    Step awaitClips(int folderCount, std::vector<double>& lengths);
    Step remakeMusic();
    Step runFinal(const std::string& speedFilter, const std::string& track);
    bool bookkeeping(int folderCount);
    void complete();

    Listing listClips(const std::string& folder);
    Listing listMusic(const std::string& folder);
    bool usable(const std::string& path);
    bool settled(const std::string& path);
    bool writeToolList(const std::string& text);
    void setAside(const std::string& path, const std::string& notice);
    void noteFailure(const std::string& path, const std::string& notice,
                     const std::string& reportName);
    std::optional<std::string> pickExisting(const std::string& folder,
                                            const std::vector<std::string>& names);
    void storeUsed(const std::string& path, const std::string& dir);
    std::optional<std::string> claim(const std::string& picked, const std::string& refused);
    std::string giveBack(const std::string& claimed);
    void giveBackPass();
    std::string originOf(const std::string& claimed) const;
    bool startTool(const std::string& params, const std::string& reportName);
    void startProgram(const std::string& file, const std::string& params);
    bool waitForTools(const std::function<void()>& between);
    void hold(float seconds);
    void holdWhileToolRuns(double seconds);
    bool awaitToolRoom(int bound);
    float draw();
    std::string tmpFile(const std::string& name) const;
    void status(const std::string& text);
    bool stopped() const;
    // The run log: a line with the transcoder's report tail; the start and end of a wait.
    void logWithReport(const std::string& text, const std::string& reportName);
    void waitBegins(const std::string& what);
    void waitEnds();
    void logRunStart();
    void setFolderEntry(int row, const std::string& text);

    MergeHost& m_host;
    MergeEnv m_env;
    ProgramFolder m_folder;
    ToolRun m_tools;
    MergeJob m_job;
    RunState m_state;
    MergeHost::JobInputs m_inputs;
    std::vector<std::string> m_entries;  // List1 as the run last read or wrote it
    std::string m_status;                // the status text the run last wrote
    RunLog m_log;
    std::string m_waitingFor;  // the wait in progress, for the run log
    double m_waitStart = 0;
    bool m_commandActive = false;
    bool m_closing = false;
    Claims m_claims;

    // per run
    bool m_clipFilter = false;  // listings keep only names matching the clip-type patterns
    bool m_music = false, m_compress = false, m_background = false;
    int m_nextNumber = 0;            // lowest output number that may still be free
    std::int64_t m_neededSpace = 0;  // free bytes a video needs, learnt from one that did not fit
    std::map<std::string, std::int64_t> m_setAside;  // unusable file -> its length then
    std::map<std::string, int> m_failures;           // failed preparations per file
    std::unordered_set<std::string> m_settled;       // files seen unchanged for a second
    // hardware form -> the sessions at once it is held to after a pass that ran more failed
    std::map<std::string, int> m_hardwareSessions;

    // per pass
    struct Taken {
        std::string original, claimed;
    };
    std::vector<Taken> m_taken;            // the pass's claimed clips and mp3, where they came from
    std::vector<std::string> m_usedClips;  // UsedClipList
    std::vector<bool> m_hardwareClips;     // prepared with a hardware form
    int m_hardwareAtOnce = 0;              // the most hardware sessions the pass ran at once
    std::string m_hardwareForm;            // the hardware form the pass used last
    double m_clipsDuration = 0;            // ClipsDuration
    std::string m_musicSource;             // MusicSource
    int m_musicRepeats = 1;                // copies of it joined for the track
    std::string m_musicLength;             // the track's cut length
    double m_passStart = 0;                // when the pass began (seconds since midnight)
    std::string m_partialFile;             // the final run's output until it is judged
    int m_outputNumber = 0;
};
