#pragma once
// The tests' own download server (update_test_server.py) on 127.0.0.1, on a free port, serving a
// folder of its own; ended with the object.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <ostream>

#include "tests/support/TestMedia.h"

class TestServer {
public:
    // With a certificate and key, the server speaks https.
    explicit TestServer(const QString& cert = {}, const QString& key = {});
    ~TestServer();
    bool running() const { return m_port > 0; }
    // "http://127.0.0.1:PORT" (or https).
    QString base() const;
    QString url(const QString& path) const { return base() + path; }
    // Puts a file to serve under path ("/downs/Stitchwell.txt").
    void serve(const QString& path, const QByteArray& bytes) const;
    // Gives paths another behaviour: a JSON object of path -> behaviour (see the script).
    void setBehaviour(const QByteArray& json) const;
    // The paths requested so far, in order.
    QStringList requests() const;

private:
    testsupport::TempDir m_root;
    QProcess m_process;
    int m_port = 0;
    bool m_tls = false;
};

// A self-signed certificate for 127.0.0.1 made with openssl into dir: the paths of the
// certificate and of its key; empty texts when it cannot be made.
std::pair<QString, QString> makeCertificate(const QString& dir);
// Bytes that do not compress, of the given length.
QByteArray noise(int length);
// The file's bytes; empty when it cannot be read.
QByteArray readAll(const QString& path);

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
