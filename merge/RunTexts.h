#pragma once
// The status texts of a merge run that cannot go on as planned, in one place. A text that names a
// file gets the file's name appended.

#include <string>

#include "media/ProgramFolder.h"

namespace RunTexts {

inline const std::string kNoTranscoder =
    "状态：转码程序" + std::string(ProgramFolder::kTranscoder) + "缺失，等待恢复中...";
inline const std::string kOutputNotWritable = "状态：输出目录无法写入，等待恢复中...";
inline const std::string kOutputDiskFull = "状态：输出目录所在磁盘空间已满，等待清理中...";
inline const std::string kWorkDiskFull = "状态：程序文件夹所在磁盘空间已满，等待清理中...";
inline const std::string kNoWorkFolder = "状态：工作文件夹Tmps无法创建，等待恢复中...";
inline const std::string kClipUnusable = "状态：视频文件无法使用，已跳过：";
inline const std::string kMusicUnusable = "状态：mp3文件无法使用，已跳过：";
// A file that cannot be moved into this copy's claim folder (a read-only folder or share) is never
// used unclaimed: another copy could use it too.
inline const std::string kClipUnclaimable =
    "状态：视频文件无法移入认领文件夹（文件夹只读？），已跳过：";
inline const std::string kMusicUnclaimable =
    "状态：mp3文件无法移入认领文件夹（文件夹只读？），已跳过：";
inline const std::string kClipFailed = "状态：视频预处理失败，本次跳过：";
inline const std::string kMusicFailed = "状态：背景音乐预处理失败，本次跳过：";
inline const std::string kHardwareFailed =
    "状态：硬件加速处理失败，请检查显卡或取消硬件加速，重试中...";
inline const std::string kMergeFailed = "状态：合并视频失败，本次跳过，重新合并中...";
inline const std::string kMusicWaiting =
    "状态：背景音乐素材来源文件夹中的mp3已用完，等待补充新音乐文件中...";
inline const std::string kMusicCopying =
    "状态：背景音乐素材来源文件夹中的mp3正在复制中，等待复制完成...";
// The waits of source folder number n (from 1).
inline std::string ClipsWaiting(int n) {
    return "状态：" + std::to_string(n) + "号视频素材来源文件夹中的视频已用完，等待补充新视频中...";
}
inline std::string ClipsCopying(int n) {
    return "状态：" + std::to_string(n) + "号视频素材来源文件夹中的视频正在复制中，等待复制完成...";
}

// A status text as the run log says it: without its "状态：".
inline std::string Reason(const std::string& status) {
    const std::string prefix = "状态：";
    return status.rfind(prefix, 0) == 0 ? status.substr(prefix.size()) : status;
}

inline const std::string kOutputFolderRefused =
    "输出目录不能是程序文件夹、工作文件夹Tmps、视频素材来源文件夹或已使用素材文件夹，操作被取消！";

}  // namespace RunTexts
