#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread, through a
// self-pipe: the handler only writes one byte, everything else runs in the loop.

#include <QObject>

class QSocketNotifier;

class TSignalPipe : public QObject {
    Q_OBJECT
public:
    explicit TSignalPipe(QObject* parent = nullptr);
    ~TSignalPipe() override;

signals:
    void Terminate(int signalNumber);

private:
    void onReadable();
    QSocketNotifier* FNotifier = nullptr;
};
