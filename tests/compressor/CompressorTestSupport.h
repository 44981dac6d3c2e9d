#pragma once
// Shared by the compressor's tests: files, processes and the videos they work on.

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "tests/support/TestMedia.h"

namespace compressortest {

QByteArray readBytes(const QString& path);
using testsupport::pidsNamed;
using testsupport::waitUntil;
// A video long enough (640x360, 12 s, with sound) that its re-encode can be watched.
bool makeLongVideo(const QString& path);
// A short video (176x144, 2 s, with sound).
bool makeShortVideo(const QString& path);
// Checks that the file at path is the re-encoded form of the original bytes: H.264, different
// bytes, the same play length within 0.1 s.
void expectReencoded(const QString& path, const QByteArray& originalBytes, double originalSeconds);

}  // namespace compressortest
