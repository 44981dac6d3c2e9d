#include "media/UpdateRecord.h"

#include <cstdint>

#include "platform/Platform.h"

namespace UpdateRecord {

namespace {

const std::string kCrLf = "\r\n";
const char* const kWords[] = {"replaced", "unchanged", "gave-up-waiting"};
const std::string kOldVersion = "当前运行的仍是原版本，请稍后重试！";
const std::string kUnreadable =
    "上次更新升级的结果记录无法识别，已删除！请查看程序版本是否已更新。";

}  // namespace

std::string Text(Outcome outcome, const std::string& reason) {
    return std::string(kWords[static_cast<int>(outcome)]) + kCrLf + reason + kCrLf;
}

std::string Message(const std::string& record) {
    const std::size_t end = record.find_first_of("\r\n");
    const std::string word = record.substr(0, end);
    const std::size_t first = record.find_first_not_of("\r\n ", word.size());
    const std::size_t last = record.find_last_not_of("\r\n ");
    const std::string reason = end == std::string::npos || first == std::string::npos
                                   ? std::string()
                                   : record.substr(first, last - first + 1);
    if (word == kWords[0]) return "更新升级完毕！程序已更新为新版本。";
    if (word == kWords[2])
        return "更新升级失败：等待程序退出超时，程序文件未被更改！" + kCrLf + kOldVersion;
    if (word == kWords[1])
        return "更新升级失败，程序文件未被更改！" + kCrLf + "原因：" +
               (reason.empty() ? std::string("未知") : reason) + kCrLf + kOldVersion;
    return kUnreadable;
}

std::optional<std::string> Take(const std::string& programFolder) {
    const std::string path = programFolder + platform::sepStr() + kFileName;
    if (!platform::fileExists(path)) return std::nullopt;
    std::optional<std::string> record;
    if (platform::fileSize(path) <= kMaxBytes) record = platform::readFile(path);
    platform::deleteFile(path);
    return Message(record.value_or(std::string()));
}

}  // namespace UpdateRecord
