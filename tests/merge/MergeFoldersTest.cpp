// The run's folders on their own, with real files: a folder of material (listing by its rule,
// settling, set-aside, failures, the pick), the output folder (numbers, temporary name, leftovers)
// and the used-material folders (dated folders, moves under free names).

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "media/ProgramFolder.h"
#include "merge/MaterialFolder.h"
#include "merge/OutputFolder.h"
#include "merge/UsedMaterial.h"
#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;
const std::string S = platform::sepStr();

void write(const std::string& path, const std::string& content = "x") {
    std::ofstream(path, std::ios::app) << content;
}

// A material folder whose draws come from `draws` in turn.
MaterialFolder folderOf(const std::string& path, MaterialFolder::Kind kind,
                        std::vector<float> draws = {0.0f}, bool* stop = nullptr) {
    auto next = std::make_shared<std::size_t>(0);
    return MaterialFolder(path, kind,
                          {[] {}, [draws, next] { return draws[(*next)++ % draws.size()]; },
                           [stop] { return stop && *stop; }});
}

}  // namespace

TEST(MaterialFolder, ListsByItsRuleSettlesAndSetsAside) {
    TempDir tmp;
    const std::string dir = tmp.sub("m", true).toStdString();
    for (const char* name : {"a.mp4", "b.MOV", "c.mp3", "d.txt", ".hidden.mp4", "e.flv", "f.mp"})
        write(dir + S + name);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    write(dir + S + "fresh.mp4");  // still being copied in

    struct Case {
        MaterialFolder::Kind kind;
        bool patternsOnly;
        std::set<std::string> names;
        int settling;
    };
    const Case cases[] = {
        // ".mp" occurs in the clip-type list, but no pattern matches it
        {MaterialFolder::Kind::Clips, false, {"a.mp4", "b.MOV", "e.flv", "f.mp"}, 1},
        {MaterialFolder::Kind::Clips, true, {"a.mp4", "b.MOV", "e.flv"}, 1},
        {MaterialFolder::Kind::Music, false, {"c.mp3"}, 0},
    };
    for (const Case& c : cases) {
        MaterialFolder folder = folderOf(dir, c.kind);
        const auto listing = folder.list(c.patternsOnly);
        EXPECT_EQ(std::set<std::string>(listing.names.begin(), listing.names.end()), c.names);
        EXPECT_EQ(listing.settling, c.settling);
        EXPECT_EQ(listing.count(), int(c.names.size()) + c.settling);
    }

    // set aside while unchanged; a file that grows is looked at again, its failures forgotten
    MaterialFolder clips = folderOf(dir, MaterialFolder::Kind::Clips);
    const std::string a = dir + S + "a.mp4";
    EXPECT_FALSE(clips.failed(a));
    EXPECT_TRUE(clips.failed(a));
    clips.setAside(a);
    EXPECT_EQ(clips.list().count(), 4);
    write(a, "more");
    EXPECT_EQ(clips.list().count(), 5);
    EXPECT_FALSE(clips.failed(a));

    // a folder that is gone, or whose path a command cannot carry, holds nothing
    const std::string quoted = tmp.sub("q\"uote", true).toStdString();
    write(quoted + S + "a.mp4");
    for (const std::string& path : {dir + S + "gone", quoted})
        EXPECT_EQ(folderOf(path, MaterialFolder::Kind::Clips).list().count(), 0) << path;
}

TEST(MaterialFolder, PickDrawsAgainWhenThePickedFileVanished) {
    TempDir tmp;
    const std::string dir = tmp.sub("m", true).toStdString();
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) write(dir + S + name);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const std::vector<std::string> names = {"a.mp4", "b.mp4", "c.mp4"};
    platform::deleteFile(dir + S + "a.mp4");
    // draws: a (gone), then c
    EXPECT_EQ(folderOf(dir, MaterialFolder::Kind::Clips, {0.0f, 0.9f}).pick(names),
              dir + S + "c.mp4");
    write(dir + S + "b.mp4", "changed");  // picked while it changes: nothing, list again
    EXPECT_EQ(folderOf(dir, MaterialFolder::Kind::Clips, {0.3f}).pick(names), std::nullopt);
    bool stop = true;
    EXPECT_EQ(folderOf(dir, MaterialFolder::Kind::Clips, {0.9f}, &stop).pick(names), std::nullopt);
    platform::deleteFile(dir + S + "b.mp4");
    platform::deleteFile(dir + S + "c.mp4");
    EXPECT_EQ(folderOf(dir, MaterialFolder::Kind::Clips, {0.0f}).pick(names), std::nullopt);
}

TEST(OutputFolder, VideosTakeTheFirstFreeNumberThroughATemporaryName) {
    TempDir tmp;
    const std::string dir = tmp.sub("out", true).toStdString();
    write(dir + S + "000000.mp4");
    OutputFolder out(dir);
    EXPECT_EQ(out.room(), OutputFolder::Room::Enough);

    const std::string partial = out.beginVideo();
    EXPECT_EQ(partial, dir + S + "000001.partial.mp4");
    write(partial);
    write(dir + S + "000001.mp4");  // another file took the number meanwhile
    EXPECT_EQ(out.finishVideo(), dir + S + "000002.mp4");
    EXPECT_FALSE(platform::pathExists(partial));

    write(out.beginVideo());  // a failed video is deleted; a disk with room was not full
    EXPECT_EQ(out.partial(), dir + S + "000003.partial.mp4");
    EXPECT_FALSE(out.discardPartial());
    EXPECT_FALSE(platform::pathExists(out.partial()));

    // leftovers of a run that ended abnormally go, nothing else
    for (const char* name : {"000004.partial.mp4", ".000000.mp4.ab12CD", "keep.mp4"})
        write(dir + S + name);
    EXPECT_EQ(OutputFolder::RemoveLeftovers(dir), 2);
    EXPECT_EQ(platform::listFiles(dir, true)->size(), 4u);

    // a missing output folder is made
    OutputFolder missing(tmp.str() + S + "new" + S + "out");
    EXPECT_EQ(missing.room(), OutputFolder::Room::Enough);
    EXPECT_TRUE(platform::dirExists(missing.path()));
}

TEST(UsedMaterial, StoresIntoTheDatedFoldersNeverReplacing) {
    TempDir tmp;
    const UsedMaterial used(tmp.str() + S + "used", "2024-1-2");
    EXPECT_EQ(used.videoDir(), tmp.str() + S + "used" + S + "2024-1-2" + S + "视频" + S);
    EXPECT_EQ(used.audioDir(), tmp.str() + S + "used" + S + "2024-1-2" + S + "音频" + S);
    EXPECT_TRUE(platform::dirExists(used.videoDir()) && platform::dirExists(used.audioDir()));

    const std::string src = tmp.sub("src", true).toStdString();
    for (int i = 0; i < 2; ++i) {
        write(src + S + "片段 \"1\".mp4", std::to_string(i));
        used.storeClip(src + S + "片段 \"1\".mp4");
    }
    write(src + S + "m.mp3");
    used.storeMusic(src + S + "m.mp3");
    used.storeClip(src + S + "gone.mp4");
    EXPECT_EQ(platform::listFiles(src, true)->size(), 0u);
    EXPECT_EQ(platform::readFile(used.videoDir() + "片段 \"1\".mp4"), "0");
    EXPECT_EQ(platform::readFile(used.videoDir() + "片段 \"1\" (1).mp4"), "1");
    EXPECT_TRUE(platform::fileExists(used.audioDir() + "m.mp3"));
}

TEST(UsedMaterial, FreeStoreNameNeverReusesATakenName) {
    std::set<std::string> taken = {"/u/clip.mp4", "/u/clip (1).mp4", "/u/noext", "/u/.rc"};
    auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
    EXPECT_EQ(UsedMaterial::FreeStoreName("/u/", "new.mp4", exists), "/u/new.mp4");
    EXPECT_EQ(UsedMaterial::FreeStoreName("/u/", "clip.mp4", exists), "/u/clip (2).mp4");
    EXPECT_EQ(UsedMaterial::FreeStoreName("/u/", "noext", exists), "/u/noext (1)");
    EXPECT_EQ(UsedMaterial::FreeStoreName("/u/", ".rc", exists), "/u/.rc (1)");
    EXPECT_EQ(UsedMaterial::FreeStoreName("/u/", "a.b.mp3", exists), "/u/a.b.mp3");
    taken.insert("/u/a.b.mp3");
    EXPECT_EQ(UsedMaterial::FreeStoreName("/u/", "a.b.mp3", exists), "/u/a.b (1).mp3");
}
