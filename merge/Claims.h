#pragma once
// The claims of one copy of the program: a clip or mp3 is taken out of its folder before a
// transcoder reads it, by a rename that never replaces into a claim folder of this copy beside it
// (a sub-folder of the source folder; folder listings show files only, so no copy counts or picks
// a claimed file). Several copies on other machines may read the same folders on a share: a rename
// that finds the file gone means another copy took it.
//
// The claim folders this copy has made are kept in the journal "Claims.txt" of its program folder,
// so that a copy that was killed gives its claims back at its next start. Claims of another copy
// (another machine, or another program folder) live in folders of their own and are never touched.

#include <optional>
#include <set>
#include <string>
#include <vector>

class Claims {
public:
    explicit Claims(std::string programFolder);

    // The claim folder's name for a copy: ".stitchwell-claims-" and eight hex digits of the
    // machine's name and the program folder, the same at every start of that copy.
    static std::string FolderName(const std::string& machine, const std::string& programFolder);

    enum class Outcome {
        Claimed,  // the file is in the claim folder now
        Gone,     // the file is not there any more: another copy took it, or it was removed
        Refused,  // the file is there but could not be moved (a read-only folder or share)
    };
    struct Claim {
        Outcome outcome = Outcome::Gone;
        std::string path;  // where the file is now (Claimed)
    };
    // Claims the file at `path` into the claim folder beside it, under its name (the numbered
    // form when the claim folder holds that name already); a claimed file joins the pass.
    Claim claim(const std::string& path);

    // Moves a claimed file back to `original`'s folder under `original`'s name, or the numbered
    // form "name (1).ext", … when that name is taken meanwhile; never replaces. The path it has
    // now, or nullopt when it could not be moved (it stays claimed, for the next start).
    static std::optional<std::string> GiveBack(const std::string& claimed,
                                               const std::string& original);

    // The claims of the pass in progress: every file claim() took, until the pass gives them back
    // or its video is made (forgetPass: the files were moved on).
    struct Returned {
        std::string path;    // where the file is now
        bool stuck = false;  // it could not be moved back (it stays claimed, for the next start)
    };
    Returned giveBack(const std::string& claimed);
    std::vector<std::string> passClaims() const;  // the latest first
    // The path a claimed file of the pass had in its folder (`claimed` itself when unknown).
    std::string originOf(const std::string& claimed) const;
    void forgetPass() { m_pass.clear(); }

    // Gives back every claim this copy's journal knows of, then removes the emptied claim folders
    // and forgets them. A folder that cannot be reached (a share that is away) stays in the
    // journal for the next time. `notes` gets one line per file given back or left.
    int giveBackAll(std::vector<std::string>* notes = nullptr);

private:
    std::string folderFor(const std::string& sourceFolder) const;
    void remember(const std::string& claimFolder);
    std::set<std::string> readJournal() const;
    void writeJournal(const std::set<std::string>& folders) const;

    std::string m_journal;
    std::string m_folderName;
    std::set<std::string> m_known;  // claim folders already in the journal
    struct Taken {
        std::string original, claimed;
    };
    std::vector<Taken> m_pass;
};
