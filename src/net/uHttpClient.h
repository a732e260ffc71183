#pragma once
// One HTTP request over libcurl, blocking the calling thread. Every run makes
// its own handle: nothing (cookies, connections) is shared between runs.

#include <QByteArray>
#include <QList>
#include <QString>

struct THttpRequest {
    QByteArray Method = "GET"; // "GET" or "POST"
    QString Url;
    QByteArray Body;        // sent as is with POST
    QByteArray ContentType; // e.g. "application/x-www-form-urlencoded"
    QByteArray UserAgent;
    QByteArray Referer;
    QByteArray Accept;
    QList<QByteArray> ExtraHeaders; // "Name: value"
    int ConnectTimeoutMs = 10000;
    // No byte moved for this long ends the request (libcurl has no read time-out).
    int ReadTimeoutMs = 10000;
    // Hard limit on the whole request; 0 = none.
    int TotalTimeoutMs = 0;
    // With an https address: a file of CA certificates to trust instead of the
    // system's store (a self-hosted server with its own CA). Certificates are
    // always verified; one that fails ends the request as a transport failure.
    QString CaFile;
    // A reply body longer than this fails the request instead of filling memory; 0 = no limit.
    qsizetype MaxBodyBytes = 0;
    // The request carries a password or the password digest, which is the
    // account's secret: it goes out only where SecretMayGoTo() allows, and
    // follows redirects only to https. Otherwise it fails without a byte sent.
    bool CarriesSecret = false;
};

struct THttpResponse {
    bool Ok = false; // a complete HTTP reply with a status below 400 arrived
    long Status = 0;
    QByteArray Body;
    QByteArray ContentType;
    QString Error; // why it failed, when it did

    // The body decoded with the charset of the Content-Type (UTF-8 when none).
    [[nodiscard]] QString Text() const;
};

[[nodiscard]] THttpResponse HttpPerform(const THttpRequest& request);

// An https address, or an http address of this computer (localhost, 127.0.0.0/8,
// ::1), where nothing crosses a network.
[[nodiscard]] bool SecretMayGoTo(const QString& url);

// Form body of name=value lines joined by "&"; each value part is escaped the way
// the services expect ("*#%<> []" and bytes below 33 or from 128 up as %XX of UTF-8),
// and so are "&", "=" and "+", which would otherwise cut or alter a value such as
// a password on the server's side.
[[nodiscard]] QByteArray FormBody(const QList<QString>& lines);
