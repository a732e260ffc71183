#include "support/LoopbackHttpServer.h"

#include "platform/uThreadHandOver.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <future>

class TLoopbackWorker : public QObject {
public:
    explicit TLoopbackWorker(TLoopbackHttpServer* owner) : FOwner(owner) {}

    quint16 listen() {
        FServer = new QTcpServer(this);
        FServer->listen(QHostAddress::LocalHost, 0);
        QObject::connect(FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = FServer->nextPendingConnection())
                serve(s);
        });
        return FServer->serverPort();
    }

private:
    void serve(QTcpSocket* s) {
        auto buf = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buf] {
            buf->append(s->readAll());
            const qsizetype headEnd = buf->indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            TRecordedRequest r;
            const QList<QByteArray> lines = buf->left(headEnd).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            r.Method = first.value(0);
            r.Target = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype c = lines[i].indexOf(':');
                if (c > 0)
                    r.Headers.insert(lines[i].left(c).trimmed().toLower(), lines[i].mid(c + 1).trimmed());
            }
            const qsizetype len = r.Headers.value("content-length", "0").toLongLong();
            if (buf->size() < headEnd + 4 + len)
                return;
            r.Body = buf->mid(headEnd + 4, len);
            buf->remove(0, headEnd + 4 + len);
            FOwner->record(r);
            const TCannedReply reply = FOwner->replyFor(r);
            auto send = [s, reply] {
                QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.Status) + " X\r\n";
                out += "Content-Type: " + reply.ContentType + "\r\n";
                out +=
                    "Content-Length: " +
                    QByteArray::number(reply.DeclaredLength >= 0 ? reply.DeclaredLength : reply.Body.size()) +
                    "\r\n";
                out += "Connection: close\r\n\r\n" + reply.Body;
                s->write(out);
                s->disconnectFromHost();
            };
            if (reply.DelayMs > 0)
                QTimer::singleShot(reply.DelayMs, s, send);
            else
                send();
        });
    }

    TLoopbackHttpServer* FOwner;
    QTcpServer* FServer = nullptr;
};

TLoopbackHttpServer::TLoopbackHttpServer() {
    FReply.Body = "0";
    auto* worker = new TLoopbackWorker(this);
    worker->moveToThread(&FThread);
    QObject::connect(&FThread, &QThread::finished, worker, &QObject::deleteLater);
    FThread.start();
    // Standard primitives rather than Qt's, so that ThreadSanitizer sees the answer.
    std::promise<quint16> listening;
    PostToThreadOf(worker, [worker, &listening] { listening.set_value(worker->listen()); });
    FPort = listening.get_future().get();
}

TLoopbackHttpServer::~TLoopbackHttpServer() {
    FThread.quit();
    FThread.wait();
}

QString TLoopbackHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(FPort);
}

void TLoopbackHttpServer::setReply(const TCannedReply& reply) {
    std::lock_guard l(FLock);
    FReply = reply;
}

void TLoopbackHttpServer::setHandler(std::function<TCannedReply(const TRecordedRequest&)> handler) {
    std::lock_guard l(FLock);
    FHandler = std::move(handler);
}

QList<TRecordedRequest> TLoopbackHttpServer::requests() const {
    std::lock_guard l(FLock);
    // A list of its own, not one sharing the recorded block: the server thread
    // appends to that block in place once it holds the only reference, and
    // Qt's check for that is not ordered with the caller's last read of it.
    return QList<TRecordedRequest>(FRequests.cbegin(), FRequests.cend());
}

TCannedReply TLoopbackHttpServer::replyFor(const TRecordedRequest& r) {
    std::lock_guard l(FLock);
    return FHandler ? FHandler(r) : FReply;
}

void TLoopbackHttpServer::record(const TRecordedRequest& r) {
    std::lock_guard l(FLock);
    FRequests.append(r);
}
