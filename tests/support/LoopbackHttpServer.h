#pragma once
// A small HTTP/1.1 server on 127.0.0.1 that runs on its own thread, records every
// request and answers each with a configured reply. Tests use it as the notes web
// service, so that blocking clients on any thread can reach it.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>

struct TRecordedRequest {
    QByteArray Method;
    QByteArray Target;                    // path and query
    QMap<QByteArray, QByteArray> Headers; // lower-case names
    QByteArray Body;
};

struct TCannedReply {
    int Status = 200;
    QByteArray ContentType = "text/html; charset=utf-8";
    QByteArray Body;
    int DelayMs = 0;
    // Content-Length to announce instead of the body's size (a reply cut short).
    qsizetype DeclaredLength = -1;
};

class TLoopbackHttpServer {
public:
    TLoopbackHttpServer();
    ~TLoopbackHttpServer();
    TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
    TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

    [[nodiscard]] quint16 port() const { return FPort; }
    [[nodiscard]] QString baseUrl() const; // "http://127.0.0.1:<port>/"

    void setReply(const TCannedReply& reply);
    void setHandler(std::function<TCannedReply(const TRecordedRequest&)> handler);
    [[nodiscard]] QList<TRecordedRequest> requests() const;

private:
    friend class TLoopbackWorker;
    TCannedReply replyFor(const TRecordedRequest& r);
    void record(const TRecordedRequest& r);

    QThread FThread;
    quint16 FPort = 0;
    mutable std::mutex FLock;
    QList<TRecordedRequest> FRequests;
    TCannedReply FReply;
    std::function<TCannedReply(const TRecordedRequest&)> FHandler;
};
