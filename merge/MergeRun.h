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
#include <vector>

#include "media/General.h"
#include "media/ProgramFolder.h"
#include "media/RunLog.h"
#include "merge/Claims.h"
#include "merge/MaterialFolder.h"
#include "merge/MergeHost.h"
#include "merge/MergeTexts.h"
#include "merge/OutputFolder.h"
#include "merge/PassTools.h"
#include "merge/UsedMaterial.h"

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

private:
    // How a step of a pass ends: go on, skip the rest of the pass, or end the run.
    enum class Step { Go, Skip, Stop };
    // What a pass takes from a folder of material, and what the user reads meanwhile.
    struct Wanted {
        MaterialFolder& folder;
        bool patternsOnly;                         // the clip-pattern rule
        std::string waiting, copying, working;     // status: empty, being copied in, picked
        std::string unclaimable, unusable;         // set-aside notices
        std::function<void(int count)> showCount;  // the folder entry or the music caption
        std::function<bool(const std::string& claimed)> accept;  // can it make a video
    };
    // A clip of the pass: where it is claimed, its folder, prepared with a hardware form.
    struct UsedClip {
        std::string path;
        MaterialFolder* folder = nullptr;
        bool hardware = false;
    };
    // The pump of the scans and picks: what is pending, then a short wait for new events.
    static constexpr int kPumpMs = 10;
    // How long a reason stays in the status line before the run tries again.
    static constexpr float kHoldSeconds = 2.0f;

    // the run
    bool setup();
    bool checkJob(std::vector<std::string>& sources);
    void scanMaterial(const std::vector<std::string>& sources);
    void beginRun();
    void logRunStart();
    Step awaitReadiness();
    std::string readinessProblem();
    void complete();

    // one output video
    Step runPass();
    Step prepareWorkFolder();
    Step prepareClip(int folderIndex, int folderCount);
    Step normalise(int folderIndex, const std::string& place, const General::ClipFacts& facts);
    Step prepareMusic();
    Step makeTrack(bool reencoded);
    Step remakeMusic();
    Step awaitClips(int folderCount, std::vector<double>& lengths);
    void clipFailed(int folderIndex);
    Step assemble(int folderCount);
    Step runFinal(const std::string& speedFilter, const std::string& track);
    bool bookkeeping(int folderCount);
    std::vector<std::string> storeMaterial(int folderCount);

    // material
    MaterialFolder& material(const std::string& path, MaterialFolder::Kind kind);
    MaterialFolder::Listing list(MaterialFolder& folder, bool patternsOnly,
                                 const std::string& unusable);
    std::optional<std::string> take(const Wanted& wanted);
    void setAside(MaterialFolder& folder, const std::string& file, const std::string& notice);
    void noteFailure(MaterialFolder& folder, const std::string& file, const std::string& notice,
                     const std::string& reportName);
    std::optional<std::string> claim(MaterialFolder& folder, const std::string& picked,
                                     const std::string& refused);
    std::string giveBack(const std::string& claimed);
    void giveBackPass();

    bool startTool(const std::string& params, const std::string& reportName);
    void hold(float seconds);
    bool writeToolList(const std::string& text);
    float draw();
    std::string tmpFile(const std::string& name) const;
    void status(const std::string& text);
    bool stopped() const;
    // The run log: a line with the transcoder's report tail; the start and end of a wait.
    void logWithReport(const std::string& text, const std::string& reportName);
    void waitBegins(const std::string& what);
    void waitEnds();
    void setFolderEntry(int row, const std::string& text);
    // Seconds from `start` to now (times of day; a wait over midnight counts on).
    static double SecondsSince(double start);

    MergeHost& m_host;
    MergeEnv m_env;
    ProgramFolder m_folder;
    PassTools m_tools;
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
    std::map<std::string, MaterialFolder> m_material;  // the folders read so far, by path
    OutputFolder m_output;
    UsedMaterial m_used;

    // per pass
    std::vector<UsedClip> m_usedClips;        // UsedClipList
    double m_clipsDuration = 0;               // ClipsDuration
    std::string m_musicSource;                // MusicSource
    MaterialFolder* m_musicFolder = nullptr;  // where it came from
    int m_musicRepeats = 1;                   // copies of it joined for the track
    std::string m_musicLength;                // the track's cut length
    double m_passStart = 0;                   // when the pass began (seconds since midnight)
};
