#pragma once
// The merge run: from the merge command to the last output video, the stop and the completion.
// One long handler on the window's thread; every wait polls a condition and pumps the window's
// events through MergeHost, so the stop command runs re-entrantly inside it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

struct MergeEnv {
    std::string programFolder;  // without a trailing separator
    // Sees every tool start of the run (file, parameter text) before it happens; may be empty.
    std::function<void(const std::string& file, const std::string& params)> onToolStart;
    // A uniform draw in [0, 1); empty: a generator re-seeded from the clock before each draw.
    std::function<float()> random;
};

class MergeRun {
public:
    MergeRun(MergeHost& host, MergeEnv env);

    // The merge command MenuDo: setup, confirmation, then one pass per output video until the
    // user stops; returns after the completion. A second merge command while one is in progress
    // (its setup still scanning, or its confirmation open) is refused: it returns at once.
    void MenuDo_Click();
    // The stop command MenuStop: asks "终止视频合并操作？"; on OK sets StopRequested, disables
    // MenuStop and ends one running transcoder.
    void MenuStop_Click();

    bool commandActive() const { return m_commandActive; }
    const MergeJob& job() const { return m_job; }
    const std::string& programFolder() const { return m_env.programFolder; }

    // The name under which a used file is stored in `dir` (ending with a separator): `name` when
    // free, else "stem (1).ext", "stem (2).ext", … — the first that `exists` does not know.
    static std::string FreeStoreName(const std::string& dir, const std::string& name,
                                     const std::function<bool(const std::string&)>& exists);

private:
    // How a step of a pass ends: go on, skip the rest of the pass, or end the run.
    enum class Step { Go, Skip, Stop };

    bool setup();
    Step runPass();
    void prepareWorkFolder();
    Step prepareClip(int folderIndex, int folderCount);
    Step prepareMusic();
    Step assemble(int folderCount);
    void bookkeeping(int folderCount);
    void complete();

    std::vector<std::string> listClips(const std::string& folder);
    std::vector<std::string> listMusic(const std::string& folder);
    std::optional<std::string> pickExisting(const std::string& folder,
                                            const std::vector<std::string>& names);
    void storeUsed(const std::string& path, const std::string& dir);
    void startTool(const std::string& file, const std::string& params);
    void pollPause();
    void pausePump();
    float draw();
    std::string tmpFile(const std::string& name) const;
    std::string trayTip() const;
    void status(const std::string& text);

    MergeHost& m_host;
    MergeEnv m_env;
    MergeJob m_job;
    bool m_commandActive = false;

    // per run
    bool m_clipFilter = false;  // listings keep only names matching the clip-type patterns
    bool m_music = false, m_compress = false, m_background = false;
    int m_nextNumber = 0;  // lowest output number that may still be free

    // per pass
    std::vector<std::string> m_usedClips;  // UsedClipList
    double m_clipsDuration = 0;            // ClipsDuration
    std::string m_musicSource;             // MusicSource
    std::string m_outputFile;              // OutputFile
    int m_outputNumber = 0;
};
