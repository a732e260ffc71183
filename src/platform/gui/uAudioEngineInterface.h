#pragma once
// What the program sees of the audio module (zuvonote-audio.so in the program
// folder): the decoding and sound output behind TAudioPlayer. The module is
// opened at the first playback, so a program that plays nothing never maps the
// codecs or the sound system. Plain virtual classes cross the boundary, no
// QObject: the module's meta-objects stay inside the module.

#include <QString>
#include <QtGlobal>

// The player's states; 5 is the end of playback that listeners wait for.
enum TAudioEngineState : int {
    esClosed = 0,
    esOpened = 1,
    esPlaying = 2,
    esPaused = 3,
    esStopped = 4,
    esEnded = 5,
};

// Raised by the engine on the thread that owns the player.
class TAudioEvents {
public:
    virtual void EngineFileOpened(qint64 durationMs) = 0;
    virtual void EnginePositionChanged(qint64 positionMs) = 0;
    virtual void EngineStateChanged(int state) = 0;

protected:
    ~TAudioEvents() = default;
};

class TAudioEngine {
public:
    virtual ~TAudioEngine() = default;
    // The meanings of TAudioPlayer's members of the same names.
    virtual bool TryOpen(const QString& path, bool paused) = 0;
    virtual bool Play() = 0;
    virtual void Stop() = 0;
    [[nodiscard]] virtual qint64 PositionMs() const = 0;
    [[nodiscard]] virtual qint64 LengthMs() const = 0;
    [[nodiscard]] virtual bool UsesNullOutput() const = 0;
    // Read at every start of the output.
    virtual void SetForceNullOutput(bool on) = 0;
};

// Changes whenever the two classes above change, so that a module left over
// from another build is refused instead of called wrongly.
inline constexpr int kAudioEngineInterface = 1;

// The module's two entry points (extern "C", looked up by name).
using TAudioEngineInterfaceFn = int (*)();
using TCreateAudioEngineFn = TAudioEngine* (*)(TAudioEvents* events);
inline constexpr char kAudioEngineInterfaceSymbol[] = "zuvo_audio_engine_interface";
inline constexpr char kCreateAudioEngineSymbol[] = "zuvo_create_audio_engine";
