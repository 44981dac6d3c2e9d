#include "media/ProgramFolder.h"

ProgramFolder::ProgramFolder(std::string folder, char sep)
    : m_folder(std::move(folder)), m_sep(sep) {}

std::string ProgramFolder::file(std::string_view name) const {
    std::string path = m_folder;
    path += m_sep;
    path += name;
    return path;
}

std::string ProgramFolder::transcoder() const {
    return file(kTranscoder);
}
std::string ProgramFolder::shippedTranscoder() const {
    return file("Vidforge.dll");
}
std::string ProgramFolder::compressor() const {
    return file(kCompressor);
}
std::string ProgramFolder::shippedCompressor() const {
    return file("Pressling.dll");
}
std::string ProgramFolder::compressionList() const {
    return file("CompList.txt");
}
std::string ProgramFolder::workFolder() const {
    return file("Tmps");
}
std::string ProgramFolder::workFile(std::string_view name) const {
    return workFolder() + m_sep + std::string(name);
}
std::string ProgramFolder::probeSample() const {
    return file("Accelerate.dll");
}
std::string ProgramFolder::probeInput() const {
    return file("Accelerate.mp4");
}
std::string ProgramFolder::probeOutput() const {
    return file("Acc.mp4");
}
std::string ProgramFolder::probeSessionOutput(int n) const {
    return file("Acc" + std::to_string(n) + ".mp4");
}
std::string ProgramFolder::copyLock() const {
    return file(kCopyLock);
}
std::string ProgramFolder::claimJournal() const {
    return file("Claims.txt");
}
std::string ProgramFolder::compressorLock() const {
    return file(kCompressorLock);
}
std::string ProgramFolder::updater() const {
    return file(kUpdater);
}
std::string ProgramFolder::defaultUsedRoot() const {
    return file("已使用素材");
}
