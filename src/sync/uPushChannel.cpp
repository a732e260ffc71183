#include "sync/uPushChannel.h"

#include "data/uAppState.h"
#include "platform/uAnsi.h"
#include "platform/uTicks.h"

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
    FReader = std::make_unique<push::TPushStreamReader>();
    connect(FSocket, &QTcpSocket::connected, this, &TPushChannel::OnConnected);
    connect(FSocket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (!FOpen)
            OnConnectFailed();
    });
    // A replaced socket is disconnected from this object before it goes, so
    // these only ever concern the current one.
    connect(FSocket, &QTcpSocket::readyRead, this, &TPushChannel::SockReceive);
    connect(FSocket, &QTcpSocket::disconnected, this, &TPushChannel::CloseClientSock);
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
    FReader.reset();
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

void TPushChannel::SockReceive() {
    if (!FSocket || !FReader)
        return;
    const QByteArray data = FSocket->readAll();
    // The packets are acted on after the reader is done with the bytes: acting
    // may close the channel, and the reader with it.
    QList<std::int32_t> commands;
    const auto status =
        FReader->Feed({reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())},
                      [&commands](const push::TPacketView& p) { commands.append(p.Header.Command); });
    // Bytes that are not packets leave no way to find the next one: the
    // channel is dropped, and the keep-alive timer connects it afresh.
    if (status == push::TPushStreamReader::TStatus::Garbage)
        CloseClientSock();
    for (const std::int32_t command : commands) {
        if (command == push::CMD_KEEPALIVE)
            FLastServerActivity = FTick();
        else if (command == push::CMD_NOTECHANGED)
            emit NoteChangedNotice();
    }
}
