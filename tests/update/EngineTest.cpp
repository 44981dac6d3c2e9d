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
    void setStatusText(const QString& text) override { texts << text; }
    void setProgress(double fraction) override { bar = fraction; }
    void EchoCancelRequest() override { ++echoes; }
};

// Every event of an engine, as text ("crash" with its code in hex and the cancelled flag).
void record(TaksDL& dl, QStringList& events) {
    QObject::connect(&dl, &TaksDL::TakDLStart, [&] { events << "start"; });
    QObject::connect(&dl, &TaksDL::TakDLDone, [&] { events << "done"; });
    QObject::connect(&dl, &TaksDL::TakDLCancelled, [&] { events << "cancelled"; });
    QObject::connect(&dl, &TaksDL::TakDLCrash, [&](qint32 code, const QString&, bool cancelled) {
        events << QString("crash %1 %2").arg(quint32(code), 0, 16).arg(cancelled);
    });
}

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
        int reported = 0;
        QObject::connect(&dl, &TaksDL::TakDLProg,
                         [&](qint64 b, qint64 t) { reported += b == c.bytes && t == c.total; });
        dl.OnProgress(c.bytes, c.total);
        EXPECT_EQ(view.texts, QStringList{c.label});
        EXPECT_DOUBLE_EQ(view.bar, c.bar) << c.bytes;
        EXPECT_EQ(reported, c.total > 0 ? 1 : 0);
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
    QStringList events;
    record(dl, events);
    dl.KillTak();
    EXPECT_EQ(events, QStringList{"cancelled"});
    EXPECT_EQ(TaksDL::BindErrorText(qint32(0x800C0012)), "未知错误，或用户取消，或者超时！");
    EXPECT_EQ(TaksDL::BindErrorText(urlcode::kConnectionTimeout), "连接超时");
    EXPECT_EQ(TaksDL::BindErrorText(urlcode::kResourceNotFound), "资源不存在！");
}

class Transfers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        for (const char* p : {"/downs/ok", "/downs/nolength", "/downs/cut", "/downs/slow"})
            server.serve(p, body);
        server.setBehaviour(R"({"/downs/500": {"status": 500}, "/downs/403": {"status": 403},
            "/downs/401": {"status": 401}, "/downs/stall": {"stall": 3},
            "/downs/nolength": {"nolength": true}, "/downs/cut": {"cut": true},
            "/downs/slow": {"slow": [65536, 0.02]}})");
        testsupport::writeText(target, "old");
    }
    QByteArray saved() const { return readAll(target); }
    // Never a partial file under the final name or left beside it.
    QStringList folder() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    TempDir dir;
    QString target = dir.sub("目标.bin");
    TestServer server;
    QByteArray body = noise(3 * 1024 * 1024 + 17);
};

TEST_F(Transfers, OutcomesMapOntoTheResultCodes) {
    const QString s = server.base();
    struct Case {
        QString url;
        QString end;  // the last event
    } cases[] = {
        {s + "/downs/ok", "done"},
        {s + "/downs/nolength", "done"},
        {s + "/downs/missing", "crash 800c0005 0"},
        {s + "/downs/500", "crash 80004005 0"},  // the unknown-code text
        {s + "/downs/403", "crash 800c0009 0"},
        {s + "/downs/401", "crash 800c0009 0"},
        {s + "/downs/stall", "crash 800c000b 0"},
        {s + "/downs/cut", "crash 800c0008 0"},
        {"http://127.0.0.1:9/downs/x", "crash 800c0004 0"},
        {"http://", "crash 800c0002 0"},
        {"", "crash 800c0002 0"},
        {"ftp://127.0.0.1/x", "crash 800c000d 0"},
        {"file:///etc/hostname", "crash 800c000d 0"},
    };
    for (const Case& c : cases) {
        testsupport::writeText(target, "old");
        TaksDL dl(nullptr, {{2000, 1500, 0, 0, {}}, 300, {}, [] {}});
        QStringList events;
        record(dl, events);
        const auto result = dl.StartTheStinkinDownLoad(c.url, target);
        EXPECT_EQ(events, (QStringList{"start", c.end})) << c.url.toStdString();
        EXPECT_EQ(result, std::optional<bool>(c.end == "done"));
        EXPECT_TRUE(saved() == (c.end == "done" ? body : "old")) << c.url.toStdString();
        EXPECT_EQ(folder(), QStringList{"目标.bin"});
    }
}

TEST_F(Transfers, AbortDuringTheTransferAndASecondStartWhileBound) {
    TaksDL dl(nullptr, {{}, 300, {}, [] {}});
    QStringList events;
    std::optional<bool> second = true;
    QString partial;
    QObject::connect(&dl, &TaksDL::TakDLProg, [&](qint64 bytes, qint64) {
        if (bytes < 200000 || !partial.isEmpty()) return;
        second = dl.StartTheStinkinDownLoad(server.url("/downs/ok"), dir.sub("b"));
        partial = dl.partialFile();
        EXPECT_TRUE(QFile::exists(partial));
        dl.KillTak();
    });
    record(dl, events);
    EXPECT_EQ(dl.StartTheStinkinDownLoad(server.url("/downs/slow"), target),
              std::optional<bool>(false));
    EXPECT_EQ(second, std::nullopt);
    EXPECT_EQ(events, (QStringList{"start", "cancelled", "crash 80004004 1"}));
    EXPECT_EQ(saved(), "old");
    EXPECT_EQ(folder(), QStringList{"目标.bin"});
    EXPECT_EQ(server.requests().count("/downs/ok"), 0);
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

// From https, redirects are followed to https only: one to http fails as a security problem,
// nothing is saved; a redirect loop ends as a redirect failure.
TEST(TlsTransfers, RedirectsLeadToHttpsOnly) {
    TempDir certs;
    const auto [cert, key] = makeCertificate(certs.path());
    ASSERT_FALSE(cert.isEmpty());
    TestServer server(cert, key), plain;
    ASSERT_TRUE(server.running() && plain.running());
    server.serve("/downs/f", "payload");
    plain.serve("/downs/f", "payload in clear text");
    server.setBehaviour(("{\"/downs/to-https\": {\"redirect\": \"" + server.url("/downs/f") +
                         "\"}, \"/downs/to-http\": {\"redirect\": \"" + plain.url("/downs/f") +
                         "\"}, \"/downs/loop\": {\"redirect\": \"/downs/loop\"}}")
                            .toUtf8());
    TransferLimits trusting;
    trusting.caFile = cert;
    const struct {
        const char* path;
        std::int32_t code;
    } cases[] = {
        {"/downs/to-https", urlcode::kOk},
        {"/downs/to-http", urlcode::kSecurityProblem},
        {"/downs/loop", urlcode::kRedirecting},
    };
    for (const auto& c : cases) {
        const QString target = certs.sub("saved");
        QFile::remove(target);
        EXPECT_EQ(UrlDownloadToFile(server.url(c.path), target, nullptr, trusting), c.code)
            << c.path;
        EXPECT_EQ(QFile::exists(target), c.code == urlcode::kOk) << c.path;
    }
    EXPECT_EQ(plain.requests(), QStringList{});  // nothing was fetched in clear text
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
