#pragma once
// Where the material of finished videos goes: the run's dated folders under the used-material
// root ("<root>/<date>/视频/" for clips, "<root>/<date>/音频/" for mp3 files), and the moves into
// them. A stored file never replaces another: it takes the next free name "name (1).ext", ….

#include <functional>
#include <optional>
#include <string>

class UsedMaterial {
public:
    UsedMaterial() = default;
    // The dated folders of a run under `root` (made now, with every missing folder above them).
    UsedMaterial(const std::string& root, const std::string& runDate);

    // The folders, each ending with a separator.
    const std::string& videoDir() const { return m_videoDir; }
    const std::string& audioDir() const { return m_audioDir; }

    // Moves a used clip or mp3 into its folder. Where the move fails while the target name is
    // free (another file system that refuses the rename), it is copied and the original deleted
    // once the copy is there. Nothing happens to a path that holds no file.
    void storeClip(const std::string& path) const { Store(path, m_videoDir); }
    void storeMusic(const std::string& path) const { Store(path, m_audioDir); }

    // The name under which a file is stored in `dir` (ending with a separator): `name` when free,
    // else "stem (1).ext", "stem (2).ext", … — the first that `exists` does not know.
    static std::string FreeStoreName(const std::string& dir, const std::string& name,
                                     const std::function<bool(const std::string&)>& exists);

    // Moves `from` into `dir` (ending with a separator) under FreeStoreName(dir, name): never
    // replaces, and tries the next free name when one is taken meanwhile. The path it has now, or
    // nullopt when the move failed for another reason than the name.
    static std::optional<std::string> MoveUnderFreeName(const std::string& from,
                                                        const std::string& dir,
                                                        const std::string& name);

private:
    static void Store(const std::string& path, const std::string& dir);

    std::string m_videoDir, m_audioDir;
};
