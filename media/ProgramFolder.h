#pragma once
// The program folder and every file and folder of it that the programs know by name: the
// transcoder as shipped and as run, the work folder, the compression list, the compressor, the
// acceleration probe's files, the single-copy lock, the default used-material folder. Nothing
// else spells these names. Qt-free; paths are composed with the given separator.

#include <string>
#include <string_view>

#include "platform/Platform.h"

class ProgramFolder {
public:
    // File names that programs run under or are looked for by.
    static constexpr const char* kTranscoder = "Vidforge.exe";
    static constexpr const char* kCompressor = "Pressling.exe";
    static constexpr const char* kUpdater = "Powerloop.exe";
    // The updater's files: the version file, the update package and the archiver's installer, as
    // saved in the program folder.
    static constexpr const char* kVersionFile = "Stitchwell.txt";
    static constexpr const char* kUpdatePackage = "Stitchwell.rar";
    static constexpr const char* kArchiverInstaller = "WinRAR.exe";
    // The single-copy locks of Stitchwell and of Pressling.
    static constexpr const char* kCopyLock = "Stitchwell.lock";
    static constexpr const char* kCompressorLock = "Pressling.lock";

    explicit ProgramFolder(std::string folder, char sep = platform::kSep);

    const std::string& path() const { return m_folder; }
    char separator() const { return m_sep; }
    // folder + separator + name
    std::string file(std::string_view name) const;

    std::string transcoder() const;                     // "Vidforge.exe", the copy that runs
    std::string shippedTranscoder() const;              // "Vidforge.dll", as shipped
    std::string compressor() const;                     // "Pressling.exe"
    std::string shippedCompressor() const;              // "Pressling.dll"
    std::string compressionList() const;                // "CompList.txt"
    std::string workFolder() const;                     // "Tmps"
    std::string workFile(std::string_view name) const;  // "Tmps" + separator + name
    std::string probeSample() const;                    // "Accelerate.dll", as shipped
    std::string probeInput() const;                     // "Accelerate.mp4"
    std::string probeOutput() const;                    // "Acc.mp4"
    std::string probeSessionOutput(int n) const;        // "Acc<n>.mp4", session n of a round
    std::string copyLock() const;                       // "Stitchwell.lock"
    std::string claimJournal() const;                   // "Claims.txt", this copy's claim folders
    std::string compressorLock() const;                 // "Pressling.lock"
    std::string updater() const;                        // "Powerloop.exe"
    std::string defaultUsedRoot() const;                // "已使用素材"

private:
    std::string m_folder;
    char m_sep;
};
