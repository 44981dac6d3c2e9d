#include "tests/compressor/CompressorTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QThread>

#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace compressortest {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool makeLongVideo(const QString& path) {
    return testsupport::makeVideo(path, 640, 360, 12, true);
}
bool makeShortVideo(const QString& path) {
    return testsupport::makeVideo(path, 176, 144, 2, true);
}

void expectReencoded(const QString& path, const QByteArray& originalBytes, double originalSeconds) {
    const QByteArray now = readBytes(path);
    EXPECT_FALSE(now.isEmpty()) << path.toStdString();
    EXPECT_NE(now, originalBytes) << path.toStdString() << " was not replaced";
    EXPECT_EQ(testsupport::probeVideo(path).codec, "h264") << path.toStdString();
    EXPECT_NEAR(testsupport::probeDuration(path), originalSeconds, 0.1) << path.toStdString();
}

}  // namespace compressortest
