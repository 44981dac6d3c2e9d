#pragma once
// DownloadToFile of module General: a quiet, one-shot download of a URL into a file, for small
// files such as the version file.

#include <QString>

#include "update/UrlDownload.h"

namespace General {

// True when the file arrived complete and was put in place under path. There is no URL cache to
// clear afterwards. The limits bound the transfer (the version check uses short ones).
bool DownloadToFile(const QString& url, const QString& path, const TransferLimits& limits = {});

}  // namespace General
