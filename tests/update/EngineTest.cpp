// The download engine: its texts, bar and connect time-out with an injected clock, the abort and
// the busy mark, and real transfers against the tests' own server (complete, refused, timed out,
// cut, without a length, over TLS) mapped onto the result codes; the progress pacing.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "tests/support/TestMedia.h"
#include "tests/update/TestServer.h"
#include "update/DownloadSupport.h"
#include "update/TaksDL.h"

namespace {

using testsupport::TempDir;

struct FakeView : DownloadView {
    QStringList texts;
    double bar = -1;
    int echoes = 0;
    TaksDL* engine = nullptr;
    void setStatusText(const QString& text) override { texts << text; }
    void setProgress(double fraction) override { bar = fraction; }
    void EchoCancelRequest() override {
        ++echoes;
        if (engine) engine->KillTak();
    }
};

// Every event of an engine, as text.
struct Events {
    QStringList list;
    qint32 code = 0;
    explicit Events(TaksDL& dl) {
        QObject::connect(&dl, &TaksDL::TakDLStart, [this] { list << "start"; });
        QObject::connect(&dl, &TaksDL::TakDLDone, [this] { list << "done"; });
        QObject::connect(&dl, &TaksDL::TakDLCancelled, [this] { list << "cancelled"; });
        QObject::connect(&dl, &TaksDL::TakDLCrash, [this](qint32 c, const QString& text, bool x) {
            code = c;
            list << QString("crash %1 %2").arg(text).arg(x);
        });
    }
};

TEST(TaksDL, ReportsWriteTheLabelAndTheBar) {
    struct Case {
        qint64 bytes, total;
        QString label;
        double bar;
    } cases[] = {
        {0, 0, "正在检查文件下载相关信息中...连接中0kb", -1},
        {1536, 4096, "文件正在下载中...1.5kb/4kb", 0.375},
        {1, 3, "文件正在下载中...0kb/0kb", 0.3333},
        {1153, 5120, "文件正在下载中...1.13kb/5kb", 0.2252},
    };
    for (const Case& c : cases) {
        FakeView view;
        TaksDL dl(&view, {{}, 300, [] { return 1000.0; }, [] {}});
        QList<qint64> reported;
        QObject::connect(&dl, &TaksDL::TakDLProg, [&](qint64 b, qint64 t) { reported << b << t; });
        dl.OnProgress(c.bytes, c.total);
        EXPECT_EQ(view.texts, QStringList{c.label});
        EXPECT_DOUBLE_EQ(view.bar, c.bar) << c.bytes;
        EXPECT_EQ(reported.size(), c.total > 0 ? 2 : 0);
    }
}

TEST(TaksDL, ConnectPhaseAbortsAfterMoreThan300WholeSeconds) {
    FakeView view;
    double now = 1000.4;
    int pumps = 0;
    TaksDL dl(&view, {{}, 300, [&] { return now; }, [&] { ++pumps; }});
    dl.OnProgress(0, 0);  // only notes the time
    now = 1300.9;         // 300 whole seconds later
    dl.OnProgress(0, 0);
    EXPECT_EQ(view.echoes, 0);
    now = 1301.0;
    dl.OnProgress(0, 0);
    EXPECT_EQ(view.echoes, 1);
    // Bytes arriving without an announced size are no connect phase.
    now = 2000;
    dl.OnProgress(5000, 0);
    EXPECT_EQ(view.echoes, 1);
    EXPECT_EQ(pumps, 4);
}

TEST(TaksDL, KillTakWithoutTransferAndUnknownCodes) {
    TaksDL dl(nullptr);
    Events events(dl);
    dl.KillTak();
    EXPECT_EQ(events.list, QStringList{"cancelled"});
    EXPECT_FALSE(dl.bound());
    EXPECT_EQ(TaksDL::BindErrorText(static_cast<qint32>(0x800C0012)),
              "未知错误，或用户取消，或者超时！");
    EXPECT_EQ(TaksDL::BindErrorText(urlcode::kConnectionTimeout), "连接超时");
    EXPECT_EQ(TaksDL::BindErrorText(urlcode::kAbort), "未知错误，或用户取消，或者超时！");
}

class Transfers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        server.serve("/downs/big.bin", body);
        server.setBehaviour(R"({"/downs/500": {"status": 500}, "/downs/403": {"status": 403},
            "/downs/401": {"status": 401}, "/downs/stall": {"stall": 5},
            "/downs/nolength": {"nolength": true}, "/downs/cut": {"cut": true},
            "/downs/slow": {"slow": [65536, 0.02]}})");
        for (const char* p : {"/downs/nolength", "/downs/cut", "/downs/slow"})
            server.serve(p, body);
    }
    // Runs one download into target (which holds "old" before) and returns its events.
    QStringList run(const QString& url, TransferLimits limits, qint32* code = nullptr,
                    std::optional<bool>* result = nullptr) {
        testsupport::writeText(target, "old");
        TaksDL dl(nullptr, {limits, 300, {}, [] {}});
        Events events(dl);
        const auto r = dl.StartTheStinkinDownLoad(url, target);
        if (result) *result = r;
        if (code) *code = events.code;
        EXPECT_FALSE(dl.bound());
        // Never a partial file under the final name or left beside it.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"目标.bin"});
        return events.list;
    }
    QByteArray saved() const {
        QFile f(target);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempDir dir;
    QString target = dir.sub("目标.bin");
    TestServer server;
    QByteArray body = noise(3 * 1024 * 1024 + 17);
};

TEST_F(Transfers, FailuresMapOntoTheErrorTableAndKeepTheEarlierFile) {
    const TransferLimits quick{2000, 1500, 0, 0, {}};
    struct Case {
        QString url;
        qint32 code;
        QString text;
    } cases[] = {
        {server.url("/downs/missing"), urlcode::kResourceNotFound, "资源不存在！"},
        {server.url("/downs/500"), urlcode::kFail, "未知错误，或用户取消，或者超时！"},
        {server.url("/downs/403"), urlcode::kAuthenticationRequired, "认证失败！"},
        {server.url("/downs/401"), urlcode::kAuthenticationRequired, "认证失败！"},
        {server.url("/downs/stall"), urlcode::kConnectionTimeout, "连接超时"},
        {server.url("/downs/cut"), urlcode::kDownloadFailure, "下载失败！"},
        {"http://127.0.0.1:9/downs/x", urlcode::kCannotConnect, "无法连接！"},
        {"http://", urlcode::kInvalidUrl, "非法Url地址！"},
        {"", urlcode::kInvalidUrl, "非法Url地址！"},
        {"ftp://127.0.0.1/x", urlcode::kUnknownProtocol, "未知的数据传输协议！"},
        {"file:///etc/hostname", urlcode::kUnknownProtocol, "未知的数据传输协议！"},
    };
    for (const Case& c : cases) {
        qint32 code = 0;
        std::optional<bool> result;
        EXPECT_EQ(run(c.url, quick, &code, &result),
                  (QStringList{"start", "crash " + c.text + " 0"}))
            << c.url.toStdString();
        EXPECT_EQ(code, c.code) << c.url.toStdString();
        EXPECT_EQ(result, std::optional<bool>(false));
        EXPECT_EQ(saved(), "old");
    }
}

TEST_F(Transfers, CompleteTransfersWithAndWithoutLength) {
    for (const char* path : {"/downs/big.bin", "/downs/nolength"}) {
        std::optional<bool> result;
        EXPECT_EQ(run(server.url(path), {}, nullptr, &result), (QStringList{"start", "done"}));
        EXPECT_EQ(result, std::optional<bool>(true));
        EXPECT_TRUE(saved() == body) << path;
    }
}

TEST_F(Transfers, AbortDuringTheTransferAndASecondStartWhileBound) {
    testsupport::writeText(target, "old");
    TaksDL dl(nullptr, {{}, 300, {}, [] {}});
    Events events(dl);
    std::optional<bool> second = true;
    QString partial;
    QObject::connect(&dl, &TaksDL::TakDLProg, [&](qint64 bytes, qint64) {
        if (bytes < 200000 || !partial.isEmpty()) return;
        second = dl.StartTheStinkinDownLoad(server.url("/downs/big.bin"), dir.sub("b"));
        partial = dl.partialFile();
        EXPECT_TRUE(QFile::exists(partial));
        dl.KillTak();
    });
    EXPECT_EQ(dl.StartTheStinkinDownLoad(server.url("/downs/slow"), target),
              std::optional<bool>(false));
    EXPECT_EQ(second, std::nullopt);
    EXPECT_EQ(events.list,
              (QStringList{"start", "cancelled", "crash 未知错误，或用户取消，或者超时！ 1"}));
    EXPECT_EQ(events.code, urlcode::kAbort);
    EXPECT_FALSE(QFile::exists(partial));
    EXPECT_EQ(saved(), "old");
    EXPECT_EQ(server.requests().count("/downs/big.bin"), 0);
}

TEST(TlsTransfers, CertificatesAreVerified) {
    TempDir certs;
    const auto [cert, key] = makeCertificate(certs.path());
    ASSERT_FALSE(cert.isEmpty());
    TestServer server(cert, key);
    ASSERT_TRUE(server.running());
    server.serve("/downs/f", "payload");
    const QString target = certs.sub("f");
    EXPECT_EQ(UrlDownloadToFile(server.url("/downs/f"), target, nullptr, {}),
              urlcode::kSecurityProblem);
    EXPECT_FALSE(QFile::exists(target));
    TransferLimits trusting;
    trusting.caFile = cert;
    EXPECT_EQ(UrlDownloadToFile(server.url("/downs/f"), target, nullptr, trusting), urlcode::kOk);
    EXPECT_TRUE(QFile::exists(target));
}

TEST(ProgressPacer, FiftiethReportsPauseAndTheCounterRestartsAfter1000) {
    QList<int> waitsAt;
    int pumps = 0, report = 0;
    DownloadSupport::ProgressPacer pacer([&](float s) { waitsAt << report << int(s * 10); },
                                         [&] { ++pumps; });
    // 1 of 300 is 0.33 %: still 0 once rounded.
    for (report = 1; report <= 1000; ++report) pacer.report(1, 300);
    EXPECT_EQ(waitsAt.size(), 40);
    EXPECT_EQ(waitsAt.mid(0, 4), (QList<int>{50, 2, 100, 2}));
    EXPECT_EQ(waitsAt.mid(38), (QList<int>{1000, 2}));
    EXPECT_EQ(pumps, 1000);
    pacer.report(0, 100);  // the counter has reached 1000: reset, no pump
    EXPECT_EQ(pacer.counter(), 0);
    EXPECT_EQ(pumps, 1000);
    pacer.report(0, 100);
    EXPECT_EQ(pacer.counter(), 1);
    pacer.report(2, 300);  // 0.67 % rounds to 1
    EXPECT_EQ(pacer.counter(), 0);
    pacer.report(5, 4);  // more bytes than the total: ignored
    EXPECT_EQ(pumps, 1002);
}

}  // namespace
