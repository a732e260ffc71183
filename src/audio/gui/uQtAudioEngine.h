#pragma once
// The audio module's player: FFmpeg decodes, Qt's audio sink plays, and on a
// machine without an output device a null output swallows the samples in real
// time, so position and the end of playback are reported the same everywhere.

#include "platform/gui/uAudioEngineInterface.h"

#include <QObject>
#include <memory>
#include <vector>

class TAudioDecoder;
class QAudioSink;
class QTimer;
class QElapsedTimer;
class TPcmSource;

class TQtAudioEngine final : public QObject, public TAudioEngine {
    Q_OBJECT
public:
    explicit TQtAudioEngine(TAudioEvents* events);
    ~TQtAudioEngine() override;

    bool TryOpen(const QString& path, bool paused) override;
    bool Play() override;
    void Stop() override;
    [[nodiscard]] qint64 PositionMs() const override;
    [[nodiscard]] qint64 LengthMs() const override;
    [[nodiscard]] bool UsesNullOutput() const override { return FNullOutput; }
    void SetForceNullOutput(bool on) override { FForceNullOutput = on; }

private:
    void SetState(TAudioEngineState state);
    void StartOutput();
    void StopOutput();
    [[nodiscard]] bool StartSink();
    void NullTick();
    void PositionTick();
    void SinkStateChanged();
    void Finish();

    TAudioEvents* FEvents;
    std::unique_ptr<TAudioDecoder> FDecoder;
    std::unique_ptr<TPcmSource> FSource;
    QAudioSink* FSink = nullptr;
    QTimer* FNullTimer;
    QTimer* FPositionTimer;
    std::unique_ptr<QElapsedTimer> FNullClock;
    bool FForceNullOutput = false;
    bool FNullOutput = false;
    qint64 FNullConsumed = 0;
    // What the null output reads and drops.
    std::vector<char> FScratch;
    qint64 FEndPositionMs = 0;
    TAudioEngineState FState = esClosed;
};
