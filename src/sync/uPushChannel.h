#pragma once
// The push channel: one TCP connection from this computer to the push server,
// living on the UI thread. Over it the client signs in, announces its uploads
// and keeps the line alive; the server tells it when another device changed a
// note. Connecting never blocks: an unreachable server costs a pending connect
// with a time-out of its own, never a frozen note. What arrives is read as a
// stream of packets, every one acted on, however the reads cut it.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "shared/uPushPacket.h"

class QTcpSocket;
class QTimer;

class TPushChannel : public QObject {
    Q_OBJECT
public:
    static constexpr int kKeepAliveIntervalMs = 50000;
    static constexpr std::uint32_t kSilenceLimitMs = 300000;
    static constexpr int kDefaultConnectTimeoutMs = 5000;

    explicit TPushChannel(QObject* parent = nullptr);
    ~TPushChannel() override;

    // Where the channel connects: a dotted address and a port.
    void SetServer(const QString& address, quint16 port);
    [[nodiscard]] const QString& ServerAddress() const { return FServerAddress; }
    [[nodiscard]] quint16 ServerPort() const { return FServerPort; }
    void SetConnectTimeoutMs(int ms) { FConnectTimeoutMs = ms; }
    // The millisecond tick (wrapping at 32 bits) the silence rule measures with.
    void SetTickSource(std::function<std::uint32_t()> tick);

    // Connected and signed in (the sign-in packet has gone out).
    [[nodiscard]] bool IsOpen() const { return FOpen; }
    // A connect is under way.
    [[nodiscard]] bool IsConnecting() const { return FSocket != nullptr && !FOpen; }
    [[nodiscard]] std::uint32_t LastServerActivity() const { return FLastServerActivity; }

    // Connects and signs in, when a user is signed in. An open channel is
    // dropped first; a connect under way is left to finish.
    void CreateClientSock();
    // Closes the connection (or the connect under way) without a word to the server.
    void CloseClientSock();
    // Tells the server this computer signs off; only on an open channel.
    void SendCloseData();
    // Announces an upload to the user's other devices. A closed channel is
    // connected first and the notice follows the sign-in.
    void SendNoteChanged(const QString& noteId);
    // The keep-alive timer's work: reconnect a closed or silent channel, then
    // send a keep-alive.
    void tmrSocketTimer();

signals:
    // Another device changed a note.
    void NoteChangedNotice();
    // The channel is open; again: it had been open before in this run, so
    // notices may have been missed meanwhile.
    void ChannelOpened(bool again);
    void ChannelClosed();

private:
    void SendData(const QByteArray& packet);
    void SendKeepAlive();
    void SockReceive();
    void OnConnected();
    void OnConnectFailed();
    void DropSocket();
    [[nodiscard]] QByteArray DeviceId() const;

    QTcpSocket* FSocket = nullptr;
    QTimer* FConnectTimer = nullptr;
    // One per connection: a new connection starts at a packet boundary.
    std::unique_ptr<push::TPushStreamReader> FReader;
    bool FOpen = false;
    bool FWasOpen = false;
    QString FServerAddress;
    quint16 FServerPort = 0;
    int FConnectTimeoutMs = kDefaultConnectTimeoutMs;
    std::uint32_t FLastServerActivity = 0;
    std::function<std::uint32_t()> FTick;
    // Notices asked for while the channel was connecting.
    QStringList FPendingNotices;
    bool FKeepAliveAfterSignIn = false;
};
