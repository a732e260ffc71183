#pragma once
// The audio player of the program: FFmpeg decodes, Qt's audio sink plays. On a
// machine without an output device a null output swallows the samples in real
// time instead, so duration, position and the end of playback arrive the same
// way everywhere: as signals on the thread that owns the player, in milliseconds.

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class TAudioDecoder;
class QAudioSink;
class QTimer;
class QElapsedTimer;
class TPcmSource;

class TAudioPlayer : public QObject {
    Q_OBJECT
public:
    // The player's states; 5 is the end of playback that listeners wait for.
    enum TState : int {
        psClosed = 0,
        psOpened = 1,
        psPlaying = 2,
        psPaused = 3,
        psStopped = 4,
        psEnded = 5,
    };

    explicit TAudioPlayer(QObject* parent = nullptr);
    ~TAudioPlayer() override;

    // Opens the file (replacing whatever played) and, unless paused, starts it.
    // FileOpened is emitted before this returns. False when the file cannot be
    // decoded; the player is then closed and silent.
    bool TryOpen(const QString& path, bool paused = false);
    // Plays the open file from its start.
    bool Play();
    // Stops at once; the file stays open.
    void Stop();

    [[nodiscard]] qint64 PositionMs() const;
    [[nodiscard]] qint64 LengthMs() const;
    [[nodiscard]] TState State() const { return FState; }
    [[nodiscard]] const QString& FileName() const { return FFileName; }
    // Whether the last start went to the null output.
    [[nodiscard]] bool UsesNullOutput() const { return FNullOutput; }

    // Every player made afterwards plays into the null output (tests; a device that misbehaves).
    static void SetForceNullOutput(bool on);

signals:
    void FileOpened(qint64 durationMs);
    void PositionChanged(qint64 positionMs);
    void StateChanged(int state);

private:
    void SetState(TState state);
    void StartOutput();
    void StopOutput();
    [[nodiscard]] bool StartSink();
    void NullTick();
    void PositionTick();
    void SinkStateChanged();
    void Finish();

    std::unique_ptr<TAudioDecoder> FDecoder;
    std::unique_ptr<TPcmSource> FSource;
    QAudioSink* FSink = nullptr;
    QTimer* FNullTimer;
    QTimer* FPositionTimer;
    std::unique_ptr<QElapsedTimer> FNullClock;
    bool FNullOutput = false;
    qint64 FNullConsumed = 0;
    // What the null output reads and drops.
    std::vector<char> FScratch;
    qint64 FEndPositionMs = 0;
    QString FFileName;
    TState FState = psClosed;
};
