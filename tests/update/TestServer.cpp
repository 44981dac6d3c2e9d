#include "tests/update/TestServer.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdio>

TestServer::TestServer(const QString& cert, const QString& key) : m_tls(!cert.isEmpty()) {
    QStringList args{UPDATE_TEST_SERVER, m_root.path()};
    if (m_tls) args << "--cert" << cert << "--key" << key;
    m_process.start(PYTHON3_EXECUTABLE, args);
    if (!m_process.waitForStarted(10000)) return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    const QByteArray line = m_process.readLine().trimmed();
    if (line.startsWith("PORT ")) m_port = line.mid(5).toInt();
}

TestServer::~TestServer() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString TestServer::base() const {
    return QString("%1://127.0.0.1:%2").arg(m_tls ? "https" : "http").arg(m_port);
}

void TestServer::serve(const QString& path, const QByteArray& bytes) const {
    const QString file = m_root.path() + path;
    QDir().mkpath(QFileInfo(file).absolutePath());
    testsupport::writeText(file, bytes);
}

void TestServer::setBehaviour(const QByteArray& json) const {
    const QString file = m_root.path() + "/behaviour.json";
    testsupport::writeText(file + ".new", json);
    std::rename((file + ".new").toLocal8Bit().constData(), file.toLocal8Bit().constData());
}

QStringList TestServer::requests() const {
    QFile log(m_root.path() + "/requests.log");
    if (!log.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

std::pair<QString, QString> makeCertificate(const QString& dir) {
    const QString cert = dir + "/cert.pem", key = dir + "/key.pem";
    QProcess openssl;
    openssl.setStandardOutputFile(QProcess::nullDevice());
    openssl.setStandardErrorFile(QProcess::nullDevice());
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                              "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                              "subjectAltName=IP:127.0.0.1"});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) return {};
    return {cert, key};
}

QByteArray noise(int length) {
    QByteArray bytes(length, '\0');
    QRandomGenerator gen(42);
    for (char& c : bytes) c = static_cast<char>(gen.bounded(256));
    return bytes;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
