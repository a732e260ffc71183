#pragma once
// The audio player of the program: FFmpeg decodes, Qt's audio sink plays. On a
// machine without an output device a null output swallows the samples in real
// time instead, so duration, position and the end of playback arrive the same
// way everywhere: as signals on the thread that owns the player, in milliseconds.
// Both live in the audio module, which the first file opened loads; a player
// that never opens a file costs nothing of them.

#include "platform/gui/uAudioEngineInterface.h"

#include <QObject>
#include <QString>
#include <memory>

class TAudioPlayer : public QObject, private TAudioEvents {
    Q_OBJECT
public:
    enum TState : int {
        psClosed = esClosed,
        psOpened = esOpened,
        psPlaying = esPlaying,
        psPaused = esPaused,
        psStopped = esStopped,
        psEnded = esEnded,
    };

    explicit TAudioPlayer(QObject* parent = nullptr);
    ~TAudioPlayer() override;

    // Opens the file (replacing whatever played) and, unless paused, starts it.
    // FileOpened is emitted before this returns. False when the file cannot be
    // decoded or the audio module cannot be loaded (ErrorText says which); the
    // player is then closed and silent.
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
    [[nodiscard]] bool UsesNullOutput() const;
    // Why the last TryOpen failed to reach the audio module; empty otherwise.
    [[nodiscard]] const QString& ErrorText() const { return FErrorText; }

    // Every player made afterwards plays into the null output (tests; a device that misbehaves).
    static void SetForceNullOutput(bool on);

signals:
    void FileOpened(qint64 durationMs);
    void PositionChanged(qint64 positionMs);
    void StateChanged(int state);

private:
    void EngineFileOpened(qint64 durationMs) override;
    void EnginePositionChanged(qint64 positionMs) override;
    void EngineStateChanged(int state) override;
    void SetState(TState state);

    std::unique_ptr<TAudioEngine> FEngine;
    QString FFileName;
    QString FErrorText;
    TState FState = psClosed;
};
