#pragma once
// The URL download underneath the updater: one synchronous transfer of an http or https URL into
// a local file through libcurl, reporting to a binding-status callback from libcurl's
// transfer-info callback on the calling thread. Qt Core only.
//
// The file is written under a temporary name in the target folder (".NAME.XXXXXX.part") and
// renamed to its final name only when the transfer arrived complete: HTTP 2xx and, when the
// server announced a length, exactly that many bytes. Anything else removes the temporary file
// and leaves an earlier file under the final name as it was.
//
// Results are the platform's URL-moniker result codes: 0 for a complete transfer, an INET_E code
// for the failures listed in urlcode, E_ABORT for a transfer aborted through its binding, E_FAIL
// for everything else. TLS certificates are always verified.

#include <QString>
#include <cstdint>

namespace urlcode {
constexpr std::int32_t kOk = 0;
// The code the end-of-binding callback receives for a transfer that arrived complete.
constexpr std::int32_t kCompleted = 1;
constexpr std::int32_t kInvalidUrl = static_cast<std::int32_t>(0x800C0002);
constexpr std::int32_t kCannotConnect = static_cast<std::int32_t>(0x800C0004);
constexpr std::int32_t kResourceNotFound = static_cast<std::int32_t>(0x800C0005);
constexpr std::int32_t kDownloadFailure = static_cast<std::int32_t>(0x800C0008);
constexpr std::int32_t kAuthenticationRequired = static_cast<std::int32_t>(0x800C0009);
constexpr std::int32_t kConnectionTimeout = static_cast<std::int32_t>(0x800C000B);
constexpr std::int32_t kUnknownProtocol = static_cast<std::int32_t>(0x800C000D);
constexpr std::int32_t kSecurityProblem = static_cast<std::int32_t>(0x800C000E);
constexpr std::int32_t kRedirecting = static_cast<std::int32_t>(0x800C0014);
constexpr std::int32_t kAbort = static_cast<std::int32_t>(0x80004004);  // E_ABORT
constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005);   // E_FAIL
}  // namespace urlcode

// Bounds of one transfer. Zero means "no bound" for every field but connectMs.
struct TransferLimits {
    // Time allowed for the connection (TCP and TLS) to be made.
    long connectMs = 300000;
    // Time allowed for the whole transfer.
    long totalMs = 0;
    // A transfer that moves no byte for this many seconds is ended as timed out.
    long stallSeconds = 300;
    // Largest file accepted; a larger one fails as a download failure.
    std::int64_t maxBytes = 0;
    // A certificate file to trust instead of the system's store (a test's own authority).
    QString caFile;
};

// The transfer in progress as the callback sees it. Abort() asks it to stop; the transfer ends
// with E_ABORT at its next report (before it starts when asked from OnStartBinding).
class Binding {
public:
    void Abort() { m_aborted = true; }
    bool aborted() const { return m_aborted; }
    // The temporary file the transfer writes into; empty once it is gone or renamed.
    const QString& partialFile() const { return m_partialFile; }
    void setPartialFile(const QString& path) { m_partialFile = path; }

private:
    bool m_aborted = false;
    QString m_partialFile;
};

class BindStatusCallback {
public:
    virtual ~BindStatusCallback() = default;
    // The transfer starts; the binding stays valid until OnStopBinding returns.
    virtual void OnStartBinding(Binding& binding) = 0;
    // Bytes so far and the announced total (0 while the size is not known).
    virtual void OnProgress(std::int64_t bytes, std::int64_t total) = 0;
    // The transfer ended: urlcode::kCompleted when the file arrived complete, else the failure.
    virtual void OnStopBinding(std::int32_t code) = 0;
};

// Downloads url into path. The callback (may be null) gets OnStartBinding first and
// OnStopBinding last, whatever happens. Returns 0 when the file arrived complete and was put in
// place, else the failure code.
std::int32_t UrlDownloadToFile(const QString& url, const QString& path,
                               BindStatusCallback* callback, const TransferLimits& limits);

// The code for a libcurl result and the HTTP status of the response (0 when none came).
std::int32_t CodeForTransfer(int curlCode, long httpStatus);

// Removes temporary files a download into folder/name left behind (a program that ended during
// the transfer). Other files are not touched.
void RemoveLeftoverDownloads(const QString& folder, const QString& name);
