#include "update/UrlDownload.h"

#include <curl/curl.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <filesystem>
#include <memory>

#include "platform/Diagnostics.h"
#include "update/DownloadToFile.h"

namespace {

void initialiseCurlOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

// What the libcurl callbacks share with the transfer.
struct Transfer {
    BindStatusCallback* callback = nullptr;
    Binding binding;
    QTemporaryFile* file = nullptr;
    std::int64_t written = 0;
    std::int64_t maxBytes = 0;
    bool tooLarge = false;
};

size_t writeData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const auto n = static_cast<std::int64_t>(size * count);
    if (t->maxBytes > 0 && t->written + n > t->maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    if (t->file->write(data, n) != n) return 0;
    t->written += n;
    return static_cast<size_t>(n);
}

int transferInfo(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->callback && !t->binding.aborted()) t->callback->OnProgress(dlnow, dltotal);
    return t->binding.aborted() ? 1 : 0;
}

std::int32_t codeForStatus(long status) {
    if (status == 404 || status == 410) return urlcode::kResourceNotFound;
    if (status == 401 || status == 403 || status == 407) return urlcode::kAuthenticationRequired;
    return urlcode::kFail;
}

// A parsed http or https URL, or the code that refuses the text.
std::int32_t parseUrl(const QString& url, std::unique_ptr<CURLU, CurlDeleter>& parsed) {
    if (url.trimmed().isEmpty()) return urlcode::kInvalidUrl;
    parsed.reset(curl_url());
    if (!parsed) return urlcode::kFail;
    const CURLUcode rc = curl_url_set(parsed.get(), CURLUPART_URL, url.toUtf8().constData(), 0);
    if (rc == CURLUE_UNSUPPORTED_SCHEME) return urlcode::kUnknownProtocol;
    if (rc != CURLUE_OK) return urlcode::kInvalidUrl;
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return urlcode::kInvalidUrl;
    const QString s = QString::fromUtf8(scheme).toLower();
    curl_free(scheme);
    return s == "http" || s == "https" ? urlcode::kOk : urlcode::kUnknownProtocol;
}

bool isHttps(CURLU* url) {
    char* scheme = nullptr;
    if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    const bool https = QString::fromUtf8(scheme).compare("https", Qt::CaseInsensitive) == 0;
    curl_free(scheme);
    return https;
}

// A download from an https address follows redirects to https only: its integrity never rests on
// a transfer in clear text.
void setOptions(CURL* h, CURLU* url, Transfer& t, const TransferLimits& limits) {
    curl_easy_setopt(h, CURLOPT_CURLU, url);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, isHttps(url) ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Stitchwell");
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, limits.caFile.toLocal8Bit().constData());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.totalMs);
    if (limits.stallSeconds > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    }
    if (limits.maxBytes > 0)
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, transferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
}

// Runs the transfer into t.file; the result code before the file is put in place.
std::int32_t perform(const QString& url, Transfer& t, const TransferLimits& limits) {
    std::unique_ptr<CURLU, CurlDeleter> parsed;
    if (const std::int32_t refused = parseUrl(url, parsed); refused != urlcode::kOk) return refused;
    if (t.binding.aborted()) return urlcode::kAbort;
    initialiseCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> h(curl_easy_init());
    if (!h) return urlcode::kFail;
    setOptions(h.get(), parsed.get(), t, limits);
    const CURLcode rc = curl_easy_perform(h.get());
    long status = 0;
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &status);
    curl_off_t announced = -1;
    curl_easy_getinfo(h.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (t.tooLarge) return urlcode::kDownloadFailure;
    // a redirect away from https is refused as a security problem
    const std::int32_t code = rc == CURLE_UNSUPPORTED_PROTOCOL && isHttps(parsed.get())
                                  ? urlcode::kSecurityProblem
                                  : CodeForTransfer(rc, status);
    if (code != urlcode::kOk) {
        diag::note(diag::Area::Update, "downloading " + url.toStdString() +
                                           " failed: " + curl_easy_strerror(rc) + ", HTTP status " +
                                           std::to_string(status));
        return code;
    }
    if (announced >= 0 && t.written != announced) {
        diag::note(diag::Area::Update, "downloading " + url.toStdString() + " ended after " +
                                           std::to_string(t.written) + " of " +
                                           std::to_string(announced) + " bytes");
        return urlcode::kDownloadFailure;
    }
    return urlcode::kOk;
}

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

QString partialTemplate(const QString& path) {
    const QFileInfo target(path);
    return target.absolutePath() + "/." + target.fileName() + ".XXXXXX.part";
}

}  // namespace

std::int32_t CodeForTransfer(int curlCode, long httpStatus) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
            return httpStatus >= 200 && httpStatus < 300 ? urlcode::kOk : codeForStatus(httpStatus);
        case CURLE_HTTP_RETURNED_ERROR:
            return codeForStatus(httpStatus);
        case CURLE_URL_MALFORMAT:
            return urlcode::kInvalidUrl;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return urlcode::kUnknownProtocol;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return urlcode::kCannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return urlcode::kConnectionTimeout;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_CLIENTCERT:
        case CURLE_USE_SSL_FAILED:
            return urlcode::kSecurityProblem;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_WRITE_ERROR:
        case CURLE_FILESIZE_EXCEEDED:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return urlcode::kDownloadFailure;
        case CURLE_LOGIN_DENIED:
        case CURLE_REMOTE_ACCESS_DENIED:
            return urlcode::kAuthenticationRequired;
        case CURLE_REMOTE_FILE_NOT_FOUND:
            return urlcode::kResourceNotFound;
        case CURLE_TOO_MANY_REDIRECTS:
            return urlcode::kRedirecting;
        case CURLE_ABORTED_BY_CALLBACK:
            return urlcode::kAbort;
        default:
            return urlcode::kFail;
    }
}

std::int32_t UrlDownloadToFile(const QString& url, const QString& path,
                               BindStatusCallback* callback, const TransferLimits& limits) {
    Transfer t;
    t.callback = callback;
    t.maxBytes = limits.maxBytes;
    QTemporaryFile file(partialTemplate(path));
    const bool opened = !path.isEmpty() && file.open();
    if (opened) t.binding.setPartialFile(file.fileName());
    t.file = &file;
    if (callback) callback->OnStartBinding(t.binding);

    std::int32_t code = opened ? perform(url, t, limits) : urlcode::kFail;
    if (code == urlcode::kOk) {
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                            QFile::ReadOther);
        const bool flushed = file.flush();
        file.close();
        std::error_code ec;
        if (flushed) std::filesystem::rename(nativePath(file.fileName()), nativePath(path), ec);
        if (flushed && !ec)
            file.setAutoRemove(false);
        else
            code = urlcode::kFail;
    }
    if (opened) {
        file.close();
        if (code != urlcode::kOk) file.remove();
    }
    t.binding.setPartialFile(QString());
    if (callback) callback->OnStopBinding(code == urlcode::kOk ? urlcode::kCompleted : code);
    return code;
}

void RemoveLeftoverDownloads(const QString& folder, const QString& name) {
    const QRegularExpression ours("^\\." + QRegularExpression::escape(name) +
                                  "\\.[A-Za-z0-9]{6}\\.part$");
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (ours.match(entry).hasMatch()) QFile::remove(dir.filePath(entry));
    }
}

namespace General {

bool DownloadToFile(const QString& url, const QString& path, const TransferLimits& limits) {
    return UrlDownloadToFile(url, path, nullptr, limits) == urlcode::kOk;
}

}  // namespace General
