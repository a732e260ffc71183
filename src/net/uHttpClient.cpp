#include "net/uHttpClient.h"

#include <QStringDecoder>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace {

struct TCurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct TSlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TProgress {
    int ReadTimeoutMs;
    curl_off_t LastBytes = -1;
    std::chrono::steady_clock::time_point LastMove = std::chrono::steady_clock::now();
    bool Stalled = false;
};

struct TSink {
    QByteArray* Body;
    qsizetype MaxBytes;
    bool Overflow = false;
};

size_t onWrite(char* data, size_t size, size_t n, void* user) {
    auto* sink = static_cast<TSink*>(user);
    const auto bytes = qsizetype(size * n);
    if (sink->MaxBytes > 0 && sink->Body->size() + bytes > sink->MaxBytes) {
        sink->Overflow = true;
        return 0; // aborts the transfer
    }
    sink->Body->append(data, bytes);
    return size * n;
}

int onProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) {
    (void)dltotal;
    (void)ultotal;
    auto* p = static_cast<TProgress*>(user);
    const curl_off_t moved = dlnow + ulnow;
    const auto now = std::chrono::steady_clock::now();
    if (moved != p->LastBytes) {
        p->LastBytes = moved;
        p->LastMove = now;
        return 0;
    }
    if (p->ReadTimeoutMs > 0 &&
        std::chrono::duration_cast<std::chrono::milliseconds>(now - p->LastMove).count() > p->ReadTimeoutMs) {
        p->Stalled = true;
        return 1; // aborts the transfer
    }
    return 0;
}

} // namespace

QString THttpResponse::Text() const {
    QByteArray charset;
    for (const QByteArray& part : ContentType.split(';')) {
        const QByteArray t = part.trimmed();
        if (t.toLower().startsWith("charset="))
            charset = t.mid(8).trimmed().replace('"', "");
    }
    if (!charset.isEmpty()) {
        QStringDecoder dec(charset.constData());
        if (dec.isValid())
            return dec(Body);
    }
    return QString::fromUtf8(Body);
}

bool SecretMayGoTo(const QString& url) {
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid() || u.host().isEmpty())
        return false;
    const QString scheme = u.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = u.host().toLower();
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4 || parts[0] != QLatin1String("127"))
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        const uint n = p.toUInt(&ok);
        if (!ok || n > 255 || p.size() > 3)
            return false;
    }
    return true;
}

THttpResponse HttpPerform(const THttpRequest& request) {
    globalInit();
    THttpResponse resp;
    if (request.CarriesSecret && !SecretMayGoTo(request.Url)) {
        resp.Error = QStringLiteral("the password is sent only over https or to this computer");
        return resp;
    }
    std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
    if (!curl) {
        resp.Error = QStringLiteral("cannot create an HTTP handle");
        return resp;
    }
    CURL* c = curl.get();
    const QByteArray url = request.Url.toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    if (request.CarriesSecret)
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(request.ConnectTimeoutMs));
    if (request.TotalTimeoutMs > 0)
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(request.TotalTimeoutMs));
    if (!request.UserAgent.isEmpty())
        curl_easy_setopt(c, CURLOPT_USERAGENT, request.UserAgent.constData());
    if (!request.Referer.isEmpty())
        curl_easy_setopt(c, CURLOPT_REFERER, request.Referer.constData());
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, ""); // cookies live for this run only
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caFile = request.CaFile.toLocal8Bit();
    if (!caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());

    std::unique_ptr<curl_slist, TSlistDeleter> headers;
    auto addHeader = [&headers](const QByteArray& h) {
        curl_slist* l = curl_slist_append(headers.get(), h.constData());
        if (l) {
            (void)headers.release();
            headers.reset(l);
        }
    };
    if (!request.Accept.isEmpty())
        addHeader("Accept: " + request.Accept);
    if (!request.ContentType.isEmpty())
        addHeader("Content-Type: " + request.ContentType);
    addHeader("Expect:"); // no 100-continue round trip for larger bodies
    for (const QByteArray& h : request.ExtraHeaders)
        addHeader(h);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    if (request.Method == "POST") {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.Body.constData());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.Body.size()));
    } else {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    }

    QByteArray contentTypeHeader;
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onWrite);
    TSink sink{&resp.Body, request.MaxBodyBytes};
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    TProgress progress{request.ReadTimeoutMs};
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

    const CURLcode rc = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &resp.Status);
    char* ct = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &ct) == CURLE_OK && ct)
        resp.ContentType = QByteArray(ct);
    if (rc != CURLE_OK) {
        resp.Error = progress.Stalled ? QStringLiteral("no data for %1 ms").arg(request.ReadTimeoutMs)
                     : sink.Overflow  ? QStringLiteral("reply longer than %1 bytes").arg(request.MaxBodyBytes)
                                      : QString::fromUtf8(curl_easy_strerror(rc));
        resp.Body.clear();
        return resp;
    }
    if (resp.Status >= 400) {
        resp.Error = QStringLiteral("HTTP status %1").arg(resp.Status);
        return resp;
    }
    resp.Ok = true;
    return resp;
}

QByteArray FormBody(const QList<QString>& lines) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const QString& line : lines) {
        if (!out.isEmpty())
            out += '&';
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            out += line.toUtf8();
            continue;
        }
        out += line.left(eq + 1).toUtf8();
        for (const char ch : line.mid(eq + 1).toUtf8()) {
            const auto b = static_cast<unsigned char>(ch);
            const bool escape = b < 33 || b >= 128 || b == '*' || b == '#' || b == '%' || b == '<' ||
                                b == '>' || b == '[' || b == ']' || b == '&' || b == '=' || b == '+';
            if (escape) {
                out += '%';
                out += hex[b >> 4];
                out += hex[b & 15];
            } else {
                out += char(b);
            }
        }
    }
    return out;
}
