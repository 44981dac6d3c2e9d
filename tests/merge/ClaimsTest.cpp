// Claims with real files: taken by a rename into the copy's claim folder, given back under their
// own name or the numbered form, and a killed copy's claims given back from its journal without
// touching another copy's.

#include <gtest/gtest.h>

#include <cstdio>

#include "merge/Claims.h"
#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace {

const std::string S = platform::sepStr();

struct Stage {
    testsupport::TempDir tmp;
    std::string program = tmp.sub("prog", true).toStdString();
    std::string source = tmp.sub("源 a", true).toStdString();
    std::string claimFolder = source + S + Claims::FolderName(platform::machineName(), program);
    std::vector<std::string> sourceFiles() const {
        return platform::listFiles(source, true).value_or(std::vector<std::string>{});
    }
    std::vector<std::string> claimed() const {
        return platform::listFiles(claimFolder, true).value_or(std::vector<std::string>{});
    }
};

TEST(Claims, FolderNameIsStablePerMachineAndProgramFolder) {
    const std::string name = Claims::FolderName("PC-1", "C:\\Stitchwell");
    EXPECT_EQ(name, Claims::FolderName("PC-1", "C:\\Stitchwell"));
    EXPECT_EQ(name.rfind(".stitchwell-claims-", 0), 0u);
    EXPECT_EQ(name.size(), std::string(".stitchwell-claims-").size() + 8);
    EXPECT_NE(name, Claims::FolderName("PC-2", "C:\\Stitchwell"));
    EXPECT_NE(name, Claims::FolderName("PC-1", "D:\\Stitchwell"));
}

// What a claim finds, and where the file is afterwards.
TEST(Claims, ClaimMovesTheFileOrSaysWhyNot) {
    enum class Before { Plain, NameTakenInClaimFolder, FileGone, ClaimFolderIsAFile };
    struct Case {
        Before before;
        Claims::Outcome outcome;
        std::vector<std::string> inSource, inClaimFolder;
    };
    for (const Case& c : {
             Case{Before::Plain, Claims::Outcome::Claimed, {}, {"c.mp4"}},
             Case{Before::NameTakenInClaimFolder,
                  Claims::Outcome::Claimed,
                  {},
                  {"c (1).mp4", "c.mp4"}},
             Case{Before::FileGone, Claims::Outcome::Gone, {}, {}},
             Case{Before::ClaimFolderIsAFile, Claims::Outcome::Refused, {"c.mp4"}, {}},
         }) {
        Stage st;
        const std::string clip = st.source + S + "c.mp4";
        if (c.before != Before::FileGone) {
            ASSERT_TRUE(platform::writeFile(clip, "clip"));
        }
        if (c.before == Before::NameTakenInClaimFolder) {
            ASSERT_TRUE(platform::makeSurePathExists(st.claimFolder));
            ASSERT_TRUE(platform::writeFile(st.claimFolder + S + "c.mp4", "earlier"));
        }
        if (c.before == Before::ClaimFolderIsAFile) {
            ASSERT_TRUE(platform::writeFile(st.claimFolder, ""));
        }
        Claims claims(st.program);
        const Claims::Claim got = claims.claim(clip);
        EXPECT_EQ(got.outcome, c.outcome) << int(c.before);
        std::vector<std::string> inSource = st.sourceFiles();
        if (c.before == Before::ClaimFolderIsAFile)
            std::erase(inSource, st.claimFolder.substr(st.source.size() + 1));
        EXPECT_EQ(inSource, c.inSource) << int(c.before);
        EXPECT_EQ(st.claimed(), c.inClaimFolder) << int(c.before);
        if (got.outcome == Claims::Outcome::Claimed) {
            EXPECT_EQ(platform::readFile(got.path), "clip");
        }
    }
}

// A claim goes back under its own name, or the numbered form when a new file took the name; a
// killed copy's journal gives everything back at the next start and removes the emptied folder,
// and never touches another copy's claim folder, even when the journal names it.
TEST(Claims, ClaimsGoBackWithoutReplacingAndOnlyThisCopys) {
    Stage st;
    const std::string a = st.source + S + "a.mp4", b = st.source + S + "b.mp4";
    ASSERT_TRUE(platform::writeFile(a, "A") && platform::writeFile(b, "B"));
    {
        Claims claims(st.program);
        const auto ca = claims.claim(a), cb = claims.claim(b);
        ASSERT_EQ(cb.outcome, Claims::Outcome::Claimed);
        ASSERT_TRUE(platform::writeFile(a, "new A"));  // a new file took the name meanwhile
        EXPECT_EQ(Claims::GiveBack(ca.path, a), st.source + S + "a (1).mp4");
        EXPECT_EQ(platform::readFile(st.source + S + "a (1).mp4"), "A");
    }  // b stays claimed: the copy is killed
    const std::string other = st.source + S + Claims::FolderName("another PC", st.program);
    ASSERT_TRUE(platform::makeSurePathExists(other));
    ASSERT_TRUE(platform::writeFile(other + S + "x.mp4", "X"));
    const std::string journal = st.program + S + "Claims.txt";
    ASSERT_TRUE(platform::appendToFile(journal, other + "\n"));

    std::vector<std::string> notes;
    EXPECT_EQ(Claims(st.program).giveBackAll(&notes), 1);
    EXPECT_EQ(st.sourceFiles(), (std::vector<std::string>{"a (1).mp4", "a.mp4", "b.mp4"}));
    EXPECT_EQ(platform::readFile(b), "B");
    EXPECT_FALSE(platform::pathExists(st.claimFolder));
    EXPECT_EQ(platform::readFile(other + S + "x.mp4"), "X");
    EXPECT_FALSE(platform::pathExists(journal));
    EXPECT_EQ(notes, std::vector<std::string>{"归还素材：" + b});
}

// A claim folder on a share that is away stays in the journal; one a user removed is forgotten.
TEST(Claims, UnreachableClaimFoldersAreKeptForTheNextTime) {
    Stage st;
    const std::string clip = st.source + S + "c.mp4";
    ASSERT_TRUE(platform::writeFile(clip, "clip"));
    Claims claims(st.program);
    ASSERT_EQ(claims.claim(clip).outcome, Claims::Outcome::Claimed);
    const std::string away = st.tmp.str() + S + "away";
    ASSERT_EQ(::rename(st.source.c_str(), away.c_str()), 0);  // the share is gone
    EXPECT_EQ(Claims(st.program).giveBackAll(), 0);
    ASSERT_EQ(::rename(away.c_str(), st.source.c_str()), 0);  // and back
    EXPECT_EQ(Claims(st.program).giveBackAll(), 1);
    EXPECT_EQ(st.sourceFiles(), std::vector<std::string>{"c.mp4"});
    ASSERT_EQ(claims.claim(clip).outcome, Claims::Outcome::Claimed);
    ASSERT_TRUE(platform::deleteTree(st.claimFolder));  // a user removed the claim folder
    EXPECT_EQ(Claims(st.program).giveBackAll(), 0);
    EXPECT_FALSE(platform::pathExists(st.program + S + "Claims.txt"));
}

}  // namespace

// The claims of a pass: their origins are known, the latest goes back first, a file that is gone
// from its claim folder is not searched for, and a stored pass is forgotten.
TEST(Claims, APassGivesBackWhatItTookAndForgetsWhatWasStored) {
    Stage st;
    Claims claims(st.program);
    std::vector<std::string> claimed;
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) {
        const std::string file = st.source + S + name;
        ASSERT_TRUE(platform::writeFile(file, name));
        claimed.push_back(claims.claim(file).path);
    }
    EXPECT_EQ(claims.passClaims(), (std::vector<std::string>{claimed[2], claimed[1], claimed[0]}));
    EXPECT_EQ(claims.originOf(claimed[1]), st.source + S + "b.mp4");
    EXPECT_EQ(claims.originOf("elsewhere"), "elsewhere");
    ASSERT_TRUE(platform::deleteFile(claimed[2]));
    const Claims::Returned gone = claims.giveBack(claimed[2]);
    EXPECT_EQ(gone.path, st.source + S + "c.mp4");
    EXPECT_FALSE(gone.stuck);
    EXPECT_EQ(claims.giveBack(claimed[0]).path, st.source + S + "a.mp4");
    EXPECT_EQ(st.sourceFiles(), std::vector<std::string>{"a.mp4"});
    claims.forgetPass();
    EXPECT_TRUE(claims.passClaims().empty());
    EXPECT_EQ(claims.giveBack(claimed[1]).path, claimed[1]);  // no longer the pass's
    EXPECT_EQ(st.claimed(), std::vector<std::string>{"b.mp4"});
}
