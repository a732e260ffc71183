#include "sync/uPushChannel.h"

#include "data/uAppState.h"
#include "platform/uAnsi.h"
#include "platform/uTicks.h"
#include "shared/uPushPacket.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <utility>

namespace {

std::int32_t settingsUserId() {
    bool ok = false;
    const int id = AppState().NoteOptions.FconfigUserID.toInt(&ok);
    return ok ? id : 0;
}

bool signedIn() {
    return AppState().PushUserId.load() != 0 && !AppState().NoteOptions.FconfigUserName.isEmpty();
}

std::string bytes(const QByteArray& b) {
    return b.toStdString();
}

std::int32_t readInt(const QByteArray& data, int at) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                                     (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24));
}

} // namespace

TPushChannel::TPushChannel(QObject* parent) : QObject(parent), FTick([] { return GetTickCount(); }) {
    FConnectTimer = new QTimer(this);
    FConnectTimer->setSingleShot(true);
    connect(FConnectTimer, &QTimer::timeout, this, &TPushChannel::OnConnectFailed);
}

TPushChannel::~TPushChannel() {
    DropSocket();
}

void TPushChannel::SetServer(const QString& address, quint16 port) {
    FServerAddress = address;
    FServerPort = port;
}

void TPushChannel::SetTickSource(std::function<std::uint32_t()> tick) {
    FTick = std::move(tick);
}

QByteArray TPushChannel::DeviceId() const {
    return ToAnsiBytes(AppState().NoteOptions.FconfigPcID);
}

void TPushChannel::CreateClientSock() {
    if (!signedIn())
        return;
    if (IsConnecting())
        return;
    if (FOpen)
        CloseClientSock();

    const QHostAddress address(FServerAddress);
    if (address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return; // not a dotted address: the connect fails, the channel stays closed

    FSocket = new QTcpSocket(this);
    const quintptr serial = ++FSocketSerial;
    connect(FSocket, &QTcpSocket::connected, this, &TPushChannel::OnConnected);
    connect(FSocket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (!FOpen)
            OnConnectFailed();
    });
    connect(FSocket, &QTcpSocket::readyRead, this, [this, serial] { emit SocketEvent(serial, FD_READ); });
    connect(FSocket, &QTcpSocket::disconnected, this, [this, serial] { emit SocketEvent(serial, FD_CLOSE); });
    FConnectTimer->start(FConnectTimeoutMs);
    FSocket->connectToHost(address, FServerPort);
}

void TPushChannel::OnConnected() {
    FConnectTimer->stop();
    FSocket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    FOpen = true;
    FLastServerActivity = FTick();
    const TNoteOptions& o = AppState().NoteOptions;
    SendData(QByteArray::fromStdString(
        push::EncodeLogin(bytes(DeviceId()), push::TLoginBody{AppState().PushUserId.load(),
                                                              bytes(ToAnsiBytes(o.FconfigUserName)),
                                                              bytes(ToAnsiBytes(o.FconfigUserPass))})));
    const QStringList pending = std::exchange(FPendingNotices, {});
    for (const QString& id : pending)
        SendNoteChanged(id);
    if (std::exchange(FKeepAliveAfterSignIn, false))
        SendKeepAlive();
    const bool again = FWasOpen;
    FWasOpen = true;
    emit ChannelOpened(again);
}

void TPushChannel::OnConnectFailed() {
    if (FOpen)
        return;
    DropSocket();
}

void TPushChannel::DropSocket() {
    FConnectTimer->stop();
    FPendingNotices.clear();
    FKeepAliveAfterSignIn = false;
    FOpen = false;
    if (!FSocket)
        return;
    QTcpSocket* s = std::exchange(FSocket, nullptr);
    s->disconnect(this);
    s->abort();
    s->deleteLater();
}

void TPushChannel::CloseClientSock() {
    const bool wasOpen = FOpen;
    DropSocket();
    if (wasOpen)
        emit ChannelClosed();
}

void TPushChannel::SendData(const QByteArray& packet) {
    if (!FOpen)
        return;
    // One write, pushed to the kernel at once; a failure shows as a close event
    // or as silence, both of which repair the channel.
    FSocket->write(packet);
    FSocket->flush();
}

void TPushChannel::SendCloseData() {
    if (!FOpen)
        return;
    SendData(QByteArray::fromStdString(
        push::EncodeLogout(bytes(DeviceId()), push::TLogoutBody{settingsUserId(), 0, 1})));
}

void TPushChannel::SendNoteChanged(const QString& noteId) {
    if (!FOpen) {
        CreateClientSock();
        if (IsConnecting())
            FPendingNotices.append(noteId);
        return;
    }
    SendData(QByteArray::fromStdString(push::EncodeNoteChanged(
        bytes(DeviceId()), push::TNoteChangedBody{settingsUserId(), bytes(ToAnsiBytes(noteId))})));
}

void TPushChannel::tmrSocketTimer() {
    if (!signedIn())
        return;
    // Unsigned difference: the tick's wrap-around after 49.7 days is harmless.
    if (!FOpen || static_cast<std::uint32_t>(FTick() - FLastServerActivity) > kSilenceLimitMs)
        CreateClientSock();
    // A connect started just now completes later: the keep-alive follows its sign-in.
    if (IsConnecting())
        FKeepAliveAfterSignIn = true;
    else
        SendKeepAlive();
}

void TPushChannel::SendKeepAlive() {
    const auto random = static_cast<std::int32_t>(QRandomGenerator::global()->bounded(10000));
    SendData(
        QByteArray::fromStdString(push::EncodeKeepAlive(bytes(DeviceId()), push::TKeepAliveBody{0, random})));
}

void TPushChannel::WMSockMessage(quintptr socket, int lParam) {
    if (socket != FSocketSerial || !FSocket)
        return;
    switch (lParam & 0xFFFF) {
    case FD_READ:
        SockReceive();
        break;
    case FD_CLOSE:
        CloseClientSock();
        break;
    default:
        break;
    }
}

void TPushChannel::SockReceive() {
    // One read of at most 255 bytes, acted on by its first packet only; what
    // stays unread comes with the next read event, as the socket layer would
    // report it again.
    const QByteArray data = FSocket->read(kReadLimit);
    if (FSocket->bytesAvailable() > 0) {
        const quintptr serial = FSocketSerial;
        QMetaObject::invokeMethod(
            this, [this, serial] { emit SocketEvent(serial, FD_READ); }, Qt::QueuedConnection);
    }
    if (data.size() < 12 || readInt(data, 0) != push::kCommandPass)
        return;
    switch (readInt(data, 8)) {
    case push::CMD_NOTECHANGED:
        emit NoteChangedNotice();
        break;
    case push::CMD_KEEPALIVE:
        FLastServerActivity = FTick();
        break;
    default:
        break;
    }
}
