#include "platform/gui/uAudioPlayer.h"

#include "platform/gui/uAudioModule.h"

#include <QDebug>
#include <atomic>

namespace {

std::atomic<bool> gForceNullOutput{false};
// The reason is told once: every later playback fails for the same one.
std::atomic<bool> gModuleErrorTold{false};

} // namespace

void TAudioPlayer::SetForceNullOutput(bool on) {
    gForceNullOutput = on;
}

TAudioPlayer::TAudioPlayer(QObject* parent) : QObject(parent) {}

TAudioPlayer::~TAudioPlayer() {
    // Before the members it reports to go.
    FEngine.reset();
}

void TAudioPlayer::SetState(TState state) {
    if (FState == state)
        return;
    FState = state;
    emit StateChanged(int(state));
}

bool TAudioPlayer::TryOpen(const QString& path, bool paused) {
    FFileName = path;
    FErrorText.clear();
    if (!FEngine) {
        FEngine = CreateAudioEngine(this, &FErrorText);
        if (!FEngine) {
            if (!gModuleErrorTold.exchange(true))
                qWarning().noquote() << "Sound cannot be played:" << FErrorText;
            SetState(psClosed);
            return false;
        }
    }
    FEngine->SetForceNullOutput(gForceNullOutput);
    return FEngine->TryOpen(path, paused);
}

bool TAudioPlayer::Play() {
    if (!FEngine)
        return false;
    FEngine->SetForceNullOutput(gForceNullOutput);
    return FEngine->Play();
}

void TAudioPlayer::Stop() {
    if (FEngine)
        FEngine->Stop();
}

qint64 TAudioPlayer::PositionMs() const {
    return FEngine ? FEngine->PositionMs() : 0;
}

qint64 TAudioPlayer::LengthMs() const {
    return FEngine ? FEngine->LengthMs() : 0;
}

bool TAudioPlayer::UsesNullOutput() const {
    return FEngine && FEngine->UsesNullOutput();
}

void TAudioPlayer::EngineFileOpened(qint64 durationMs) {
    emit FileOpened(durationMs);
}

void TAudioPlayer::EnginePositionChanged(qint64 positionMs) {
    emit PositionChanged(positionMs);
}

void TAudioPlayer::EngineStateChanged(int state) {
    SetState(TState(state));
}
