#include <algorithm>
#include <cstdint>

#include "media/General.h"
#include "media/MediaReport.h"
#include "merge/MergeRun.h"
#include "merge/RunTexts.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "shell/FolderOps.h"

// One output video of the merge run: its clips and mp3 taken from their folders, normalised, the
// track made, the whole assembled, judged and booked.

using namespace RunTexts;

namespace {

const std::string kCompressor(ProgramFolder::kCompressor);
const std::string kCrLf = "\r\n";
// The transcoder's reports in the work folder, one per kind of step.
const std::string kMusicReport = "report-music.log";
const std::string kMusicJoinReport = "report-musicjoin.log";
const std::string kFinalReport = "report-final.log";

std::string num(std::int64_t n) {
    return std::to_string(n);
}

std::string clipReport(int folderIndex) {
    return "report-" + num(folderIndex) + ".log";
}

std::string baseName(const std::string& path) {
    return std::string(text::baseName(path, platform::kSep));
}

double durationOrZero(const std::string& path) {
    return General::ReadDuration(path).value_or(0.0);
}

}  // namespace

// ---- material ---------------------------------------------------------------------------------

// The folder of material at `path`, with what the run learnt of its files so far.
MaterialFolder& MergeRun::material(const std::string& path, MaterialFolder::Kind kind) {
    const auto found = m_material.find(path);
    if (found != m_material.end()) return found->second;
    MaterialFolder::Hooks hooks{[this] { m_host.pumpEvents(0); }, [this] { return draw(); },
                                [this] { return stopped(); }};
    return m_material.emplace(path, MaterialFolder(path, kind, std::move(hooks))).first->second;
}

// A listing; files whose paths the system cannot carry are set aside with `unusable`.
MaterialFolder::Listing MergeRun::list(MaterialFolder& folder, bool patternsOnly,
                                       const std::string& unusable) {
    MaterialFolder::Listing listing = folder.list(patternsOnly);
    for (const std::string& file : listing.uncarried) setAside(folder, file, unusable);
    return listing;
}

void MergeRun::setAside(MaterialFolder& folder, const std::string& file,
                        const std::string& notice) {
    folder.setAside(file);
    diag::note(diag::Area::Merge, "set aside for this run: " + file);
    m_log.write("本次运行中不再使用：" + file + "；原因：" + Reason(notice) + baseName(file));
    status(notice + baseName(file));
    hold(kHoldSeconds);
}

// One failed preparation of a file: the pass is skipped; after the second the file is set aside.
void MergeRun::noteFailure(MaterialFolder& folder, const std::string& file,
                           const std::string& notice, const std::string& reportName) {
    logWithReport("预处理失败：" + file, reportName);
    if (folder.failed(file))
        setAside(folder, file, notice == kMusicFailed ? kMusicUnusable : kClipUnusable);
    else
        status(notice + baseName(file));
}

// Claims a picked file for this pass. nullopt when another copy took it first (pick again) or it
// cannot be claimed (then it is set aside for the run, with `refused` in the status line).
std::optional<std::string> MergeRun::claim(MaterialFolder& folder, const std::string& picked,
                                           const std::string& refused) {
    const Claims::Claim c = m_claims.claim(picked);
    if (c.outcome == Claims::Outcome::Claimed) {
        folder.forgetSettled(picked);
        return c.path;
    }
    if (c.outcome == Claims::Outcome::Refused) setAside(folder, picked, refused);
    return std::nullopt;
}

// A claim of this pass goes back to its folder; the path the file has there.
std::string MergeRun::giveBack(const std::string& claimed) {
    const Claims::Returned back = m_claims.giveBack(claimed);
    if (back.stuck) m_log.write("无法归还素材，下次启动时归还：" + claimed);
    return back.path;
}

// Every claim of the pass goes back (a skipped pass, a stop, a close).
void MergeRun::giveBackPass() {
    if (stopped()) m_tools.awaitEnding();  // the ended transcoder may still hold a claimed file
    for (const std::string& claimed : m_claims.passClaims()) giveBack(claimed);
}

// Waits until the folder holds a file to pick (a folder that is gone is waited for like an empty
// one; the window comes up once when the wait begins), picks one, claims it and asks `accept`
// whether it can make a video; one that cannot is set aside and another is taken. The claimed
// path, or nothing on a stop.
std::optional<std::string> MergeRun::take(const Wanted& w) {
    bool shown = false;
    for (;;) {
        MaterialFolder::Listing listing;
        do {
            listing = list(w.folder, w.patternsOnly, w.unusable);
            w.showCount(listing.count());
            const bool empty = listing.names.empty();
            if (empty && !shown) {
                m_host.showWindow();
                shown = true;
            }
            m_host.pumpEvents(empty ? kPumpMs : 0);  // a short wait only while nothing to pick
            const std::string& why = empty && listing.settling > 0 ? w.copying : w.waiting;
            status(why);
            if (empty) waitBegins(why);
        } while (listing.names.empty() && !stopped());
        waitEnds();
        status(w.working);
        if (stopped()) return std::nullopt;

        // when every listed file has vanished the folder is listed again
        const auto picked = w.folder.pick(listing.names);
        if (stopped()) return std::nullopt;
        if (!picked) continue;
        const auto claimed = claim(w.folder, *picked, w.unclaimable);
        if (!claimed) continue;
        if (w.accept(*claimed)) return claimed;
        setAside(w.folder, giveBack(*claimed), w.unusable);
        if (stopped()) return std::nullopt;
    }
}

// ---- one output video ------------------------------------------------------------------------

MergeRun::Step MergeRun::runPass() {
    m_passStart = platform::secondsSinceMidnight();
    m_usedClips.clear();
    m_tools.beginPass();
    m_clipsDuration = 0;
    m_musicSource.clear();
    if (prepareWorkFolder() == Step::Skip) return Step::Skip;

    m_entries = m_host.folderEntries();
    const int count = int(m_entries.size());
    for (int i = 0; i < count; ++i) {
        const Step step = prepareClip(i, count);
        if (step != Step::Go) return step;
    }
    if (m_music) {
        const Step step = prepareMusic();
        if (step != Step::Go) return step;
    }
    return assemble(count);
}

MergeRun::Step MergeRun::prepareWorkFolder() {
    const std::string tmps = m_folder.workFolder();
    FolderOps::RunShellFileOperation(tmps, "", FolderOps::FileOp::Delete);
    bool told = false;
    // Made at once, the folder is used at once; one that cannot be made is tried again every
    // half second until it can or the user stops.
    while (!platform::dirExists(tmps)) {
        platform::makeSurePathExists(tmps + platform::sepStr());
        if (platform::dirExists(tmps)) break;
        if (!told) {
            status(kNoWorkFolder);
            told = true;
        }
        hold(0.5f);
        if (stopped()) break;
    }
    return Step::Go;
}

// Takes a clip of source folder `folderIndex` and starts its normalisation; in one-by-one mode it
// also waits for it.
MergeRun::Step MergeRun::prepareClip(int folderIndex, int folderCount) {
    m_host.selectFolder(folderIndex);
    const std::string path = MergeTexts::EntryFolder(m_entries[folderIndex]);
    MaterialFolder& folder = material(path, MaterialFolder::Kind::Clips);
    const std::string place = num(folderIndex + 1) + "/" + num(folderCount);

    General::ClipFacts facts;
    const Wanted wanted{
        folder, m_clipFilter, ClipsWaiting(folderIndex + 1), ClipsCopying(folderIndex + 1),
        "状态：处理中..." + place, kClipUnclaimable, kClipUnusable,
        [&](int count) { setFolderEntry(folderIndex, MergeTexts::CountedEntry(count, path)); },
        // a clip without a picture or without a play length can make no video
        [&](const std::string& claimed) {
            facts = General::ReadClipFacts(claimed);
            return facts.duration && *facts.duration > 0 && facts.sized;
        }};
    const auto clip = take(wanted);
    if (!clip) return Step::Stop;
    m_clipsDuration += *facts.duration;
    m_usedClips.push_back({*clip, &folder, false});
    return normalise(folderIndex, place, facts);
}

// The normalisation of the pass's last clip, paced as the mode wants.
MergeRun::Step MergeRun::normalise(int folderIndex, const std::string& place,
                                   const General::ClipFacts& facts) {
    UsedClip& clip = m_usedClips.back();
    const MergeHost::ClipInputs inputs = m_host.clipInputs();
    const auto encoder = MergeTexts::EncoderFor(inputs.hardware, inputs.accelerator);
    const MergeTexts::Turn turn = MergeTexts::TurnForClip(encoder, facts.width, facts.height,
                                                          facts.rotation, inputs.rotateClockwise);
    const std::string command = MergeTexts::ClipCommand(
        encoder, turn, clip.path, m_job.options, m_env.programFolder, folderIndex, platform::kSep);
    clip.hardware = encoder != MergeTexts::Encoder::Software;

    if (stopped()) return Step::Stop;
    if (inputs.parallel && !m_tools.awaitRoom(inputs, clip.hardware)) return Step::Stop;
    if (clip.hardware) m_tools.noteHardwareStart(inputs.accelerator);
    if (!startTool(command, clipReport(folderIndex))) return Step::Skip;
    if (!inputs.parallel) m_tools.pauseAfterStart();
    status("状态：源视频预处理中..." + place);
    if (stopped()) return Step::Stop;

    if (!inputs.parallel) {
        const std::string workFile = tmpFile(num(folderIndex) + ".mp4");
        m_tools.waitAll([&] {
            status("状态：源视频预处理中..." +
                   num(MergeTexts::MegaBytes(platform::fileSize(workFile))) + "Mb；已制作：" +
                   num(m_state.MadeCount));
        });
    }
    if (stopped()) return Step::Stop;
    return Step::Go;
}

// Takes an mp3 of the music folder and starts the making of the track: its cut, or the join of as
// many copies as the video's length needs and then the cut.
MergeRun::Step MergeRun::prepareMusic() {
    const std::string path = MergeTexts::AudioFolder(m_host.audioCaption());
    MaterialFolder& folder = material(path, MaterialFolder::Kind::Music);
    std::optional<double> musicDuration;
    std::string shownAudio;
    const Wanted wanted{folder, false, kMusicWaiting, kMusicCopying, "状态：处理中...",
                        kMusicUnclaimable, kMusicUnusable,
                        [&](int count) {
                            const std::string counted = MergeTexts::CountedAudio(count, path);
                            if (counted == shownAudio) return;
                            shownAudio = counted;
                            m_host.setAudio(counted, count);
                        },
                        // an mp3 without a readable play length gives no track
                        [&](const std::string& claimed) {
                            musicDuration = General::ReadDuration(claimed);
                            return musicDuration && *musicDuration > 0;
                        }};
    const auto music = take(wanted);
    if (!music) return Step::Stop;
    m_musicSource = *music;
    m_musicFolder = &folder;
    m_clipFilter = true;

    const std::string lengthText = m_inputs.length;
    const double lengthValue = MediaReport::LeadingNumber(lengthText);
    const double target = lengthValue != 0 ? lengthValue : m_clipsDuration;
    m_musicRepeats = MergeTexts::MusicRepeats(target, *musicDuration);
    m_musicLength = MergeTexts::MusicLength(lengthText, m_clipsDuration);
    return makeTrack(false);
}

// The music commands copy the audio stream; music whose stream the mp3 writer does not take as it
// is (MPEG-1 layer II, AAC under an .mp3 name) leaves no track. `reencoded`: the same steps again,
// re-encoding to MP3 where they copied. The join of the copies (when there are several), then the
// cut; the cut is waited for by the wait for the clips, or here when made again.
MergeRun::Step MergeRun::makeTrack(bool reencoded) {
    const auto form = [&](const std::string& command) {
        return reencoded ? MergeTexts::MusicReencoded(command) : command;
    };
    const std::string& folder = m_env.programFolder;
    std::string cut =
        form(MergeTexts::MusicCutCommand(m_musicLength, m_musicSource, folder, platform::kSep));
    if (m_musicRepeats > 1) {
        if (reencoded) platform::deleteFile(tmpFile("M.mp3"));
        if (!writeToolList(MergeTexts::MusicJoinList(m_musicSource, m_musicRepeats)))
            return Step::Skip;
        if (!startTool(form(MergeTexts::MusicJoinCommand(folder, platform::kSep)),
                       kMusicJoinReport))
            return Step::Skip;
        m_tools.waitAll([this] { status("状态：背景音乐预处理中..."); });
        if (stopped()) return Step::Stop;
        // the joined copies are an mp3 now: the cut copies it
        cut = MergeTexts::MusicCutJoinedCommand(m_musicLength, folder, platform::kSep);
    }
    if (!startTool(cut, kMusicReport)) return Step::Skip;
    if (!reencoded) return Step::Go;
    m_tools.waitAll([this] { status("状态：背景音乐预处理中..."); });
    return stopped() ? Step::Stop : Step::Go;
}

// The track made again, re-encoded, when copying its stream made none.
MergeRun::Step MergeRun::remakeMusic() {
    const std::string joinReport = m_musicRepeats == 1 ? kMusicReport : kMusicJoinReport;
    logWithReport("背景音乐无法直接复制为mp3，改为重新编码：" + m_claims.originOf(m_musicSource),
                  joinReport);
    platform::deleteFile(tmpFile("a.mp3"));
    return makeTrack(true);
}

// Waits for every transcoder and for a readable length of every normalised clip (their lengths go
// to `lengths`); a length that stays 0 once no transcoder runs any more is not waited for without
// end.
MergeRun::Step MergeRun::awaitClips(int folderCount, std::vector<double>& lengths) {
    lengths.assign(folderCount, 0.0);
    int zeroRounds = 0;
    while (!stopped()) {
        m_tools.waitAll([&] {
            std::int64_t size = 0;
            for (int i = 0; i < folderCount; ++i)
                size += platform::fileSize(tmpFile(num(i) + ".mp4"));
            status("状态：源视频预处理中..." + num(MergeTexts::MegaBytes(size)) + "Mb；已制作：" +
                   num(m_state.MadeCount));
        });
        // an unreadable clip leaves the product as it is; a length of 0 means still in work
        double product = 1;
        lengths.assign(folderCount, 0.0);
        for (int i = 0; i < folderCount; ++i) {
            if (const auto d = General::ReadDuration(tmpFile(num(i) + ".mp4"))) {
                product *= *d;
                lengths[i] = *d;
            }
        }
        if (product != 0 || ++zeroRounds > 3) break;
        hold(1.0f);
    }
    return stopped() ? Step::Stop : Step::Go;
}

// A normalised clip is missing: a hardware form that fails says nothing about the clip; where the
// pass ran more sessions at once than the card takes, the next pass runs one fewer.
void MergeRun::clipFailed(int folderIndex) {
    if (folderIndex >= int(m_usedClips.size())) return;
    const UsedClip used = m_usedClips[folderIndex];
    const std::string clip = giveBack(used.path);
    if (!used.hardware) {
        noteFailure(*used.folder, clip, kClipFailed, clipReport(folderIndex));
        return;
    }
    logWithReport("硬件加速预处理失败：" + clip, clipReport(folderIndex));
    if (const auto lowered = m_tools.hardwareFailed())
        m_log.write("硬件加速同时处理" + num(lowered->first) + "个视频时失败，此后最多同时处理" +
                    num(lowered->second) + "个");
    status(kHardwareFailed);
}

MergeRun::Step MergeRun::assemble(int folderCount) {
    std::vector<double> lengths;
    if (awaitClips(folderCount, lengths) == Step::Stop) return Step::Stop;

    // the join list (no transcoder runs any more: the lengths just read still hold)
    for (int i = 0; i < folderCount; ++i) {
        if (platform::fileExists(tmpFile(num(i) + ".mp4")) && lengths[i] > 0) continue;
        clipFailed(i);
        return Step::Skip;
    }
    // the music track, made again re-encoded when copying its stream made none
    const std::string track = tmpFile("a.mp3");
    const auto trackMade = [&] { return platform::fileExists(track) && durationOrZero(track) > 0; };
    bool haveTrack = !m_music || trackMade();
    if (!haveTrack) {
        if (remakeMusic() == Step::Stop) return Step::Stop;
        haveTrack = trackMade();
    }
    if (!haveTrack) {
        noteFailure(*m_musicFolder, giveBack(m_musicSource), kMusicFailed, kMusicReport);
        return Step::Skip;
    }
    if (!writeToolList(MergeTexts::ClipJoinList(m_env.programFolder, folderCount, platform::kSep)))
        return Step::Skip;

    // speed fitting
    const double target = MediaReport::LeadingNumber(m_inputs.length);
    std::string speedFilter = MergeTexts::SpeedFilter(false, 0);
    if (target != 0) {
        double r = MergeTexts::SpeedFactor(target, m_clipsDuration);
        if (r == 0) {
            for (double d : lengths) m_clipsDuration += d;
            r = MergeTexts::SpeedFactor(target, m_clipsDuration);
        }
        m_clipsDuration = 0;
        speedFilter = MergeTexts::SpeedFilter(true, r);
    }
    return runFinal(speedFilter, track);
}

// The final run, under a temporary name beside the first output name that holds nothing, and its
// progress until it ends.
MergeRun::Step MergeRun::runFinal(const std::string& speedFilter, const std::string& track) {
    const std::string partial = m_output.beginVideo();
    if (partial.empty()) return Step::Skip;
    const MergeHost::ClipInputs inputs = m_host.clipInputs();
    const auto encoder = MergeTexts::EncoderFor(inputs.hardware, inputs.accelerator);
    if (!startTool(MergeTexts::FinalCommand(m_music, encoder, track, m_env.programFolder,
                                            speedFilter, m_job.options.RateOption,
                                            m_job.options.BitRateOption, partial, platform::kSep),
                   kFinalReport))
        return Step::Skip;
    const std::string made = num(m_state.MadeCount);
    status("状态：生成合并视频中...已生成：" + made);
    // progress
    m_tools.waitAll([&] {
        status("状态：生成合并视频中..." + num(MergeTexts::MegaBytes(platform::fileSize(partial))) +
               "Mb；已生成：" + made);
    });
    return Step::Go;
}

// ---- after the final run -----------------------------------------------------------------------

// Judges the final run's output; a good video gets its used material moved away, then its
// finished name, then it is counted and handed on. True when a video was made.
bool MergeRun::bookkeeping(int folderCount) {
    const double length = durationOrZero(m_output.partial());
    if (!(length > 0)) {
        const bool full = m_output.discardPartial();
        if (stopped()) return false;
        logWithReport("合并失败，未生成视频", kFinalReport);
        // one that did not fit: the next one waits for room
        status(full ? kOutputDiskFull : kMergeFailed);
        return false;
    }

    // Used material goes first: a crash from here on may cost a video, never reuse a clip.
    const std::vector<std::string> origins = storeMaterial(folderCount);
    const std::string outputFile = m_output.finishVideo();
    if (outputFile.empty()) {
        status(kOutputNotWritable);
        return false;
    }
    const int made = m_state.MadeCount + 1;
    m_state.MadeCount = made;
    m_host.setMadeTag(made);
    status("状态：生成合并视频中...已生成：" + num(made));
    std::string clips;
    for (std::size_t i = 0; i + 1 < origins.size(); ++i) clips += (i ? "、" : "") + origins[i];
    m_log.write("已生成视频：" + outputFile + "（本次第" + num(made) + "个）；视频素材：" + clips +
                "；背景音乐：" + (m_music ? origins.back() : std::string("无")) + "；时长：" +
                MergeTexts::PlainNumber(text::RoundHalfEven(length, 2)) + "秒；用时：" +
                num(static_cast<std::int64_t>(SecondsSince(m_passStart))) + "秒");

    if (m_background) m_host.refreshTrayTip();
    if (m_compress) {
        if (const auto line = platform::toSystemText(outputFile + kCrLf))
            platform::appendToFile(m_folder.compressionList(), *line);
        if (!General::CountToolProcesses(kCompressor))
            m_tools.handOver(kCompressor,
                             MergeTexts::CompressorParams(m_env.programFolder, platform::kSep));
    }
    return true;
}

// The used clips and mp3 move into the dated folders; the paths they had in their folders, the
// clips' and last the mp3's (empty without music).
std::vector<std::string> MergeRun::storeMaterial(int folderCount) {
    const int moves = std::min<int>(folderCount, int(m_usedClips.size()));
    std::vector<std::string> origins;
    for (int i = 0; i < moves; ++i) origins.push_back(m_claims.originOf(m_usedClips[i].path));
    origins.push_back(m_music ? m_claims.originOf(m_musicSource) : std::string());
    for (int i = 0; i < moves; ++i) m_used.storeClip(m_usedClips[i].path);
    if (m_music) m_used.storeMusic(m_musicSource);
    m_claims.forgetPass();  // stored: nothing of the pass is claimed any more
    for (int i = 0; i < moves; ++i) m_usedClips[i].folder->forgetFailures(origins[i]);
    if (m_music) m_musicFolder->forgetFailures(origins.back());
    return origins;
}
