#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread, through a
// self-pipe: the handler only writes one byte, everything else runs in the loop.
// A loop that is busy answers late; with EndWithin, a thread of its own makes
// sure the process still ends in time.

#include <QObject>
#include <functional>

class QSocketNotifier;

class TSignalPipe : public QObject {
    Q_OBJECT
public:
    explicit TSignalPipe(QObject* parent = nullptr);
    ~TSignalPipe() override;

    // When the process has not ended `graceMs` after a signal, runs `lastResort`
    // and then `end` (by default _exit with 128 + the signal's number) on a
    // thread of its own, whatever the UI thread is doing. Once a signal came,
    // that thread keeps watching until the process is gone, also past this
    // object: what `lastResort` uses must live as long as the process.
    void EndWithin(int graceMs, std::function<void()> lastResort,
                   std::function<void(int signalNumber)> end = {});

    // Milliseconds since the last signal arrived (however late the loop heard of it).
    [[nodiscard]] static qint64 MsSinceSignal();

signals:
    void Terminate(int signalNumber);

private:
    void onReadable();
    QSocketNotifier* FNotifier = nullptr;
};
