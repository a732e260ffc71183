#include "audio/gui/uQtAudioEngine.h"

#include "audio/uAudioDecoder.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <vector>

namespace {

// Often enough for a smooth progress bar, rarely enough to cost nothing.
constexpr int kPositionIntervalMs = 100;
// The null output's pace; each tick takes what the elapsed time is worth.
constexpr int kNullIntervalMs = 20;

} // namespace

// The decoder seen as the byte stream the audio sink pulls from.
class TPcmSource : public QIODevice {
public:
    explicit TPcmSource(TAudioDecoder& decoder) : FDecoder(decoder) {}
    [[nodiscard]] bool isSequential() const override { return true; }
    // Decoding happens on demand, so nothing is "available" ahead of a read;
    // an output that asks before it reads is told there is more to come.
    [[nodiscard]] qint64 bytesAvailable() const override {
        return FDecoder.AtEnd() ? QIODevice::bytesAvailable() : QIODevice::bytesAvailable() + 65536;
    }
    [[nodiscard]] bool atEnd() const override { return FDecoder.AtEnd(); }
    [[nodiscard]] qint64 Delivered() const { return FDelivered; }
    void ResetCount() { FDelivered = 0; }

protected:
    qint64 readData(char* data, qint64 maxlen) override {
        const qint64 n = FDecoder.Read(data, maxlen);
        FDelivered += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    TAudioDecoder& FDecoder;
    qint64 FDelivered = 0;
};

TQtAudioEngine::TQtAudioEngine(TAudioEvents* events)
    : FEvents(events), FNullTimer(new QTimer(this)), FPositionTimer(new QTimer(this)),
      FNullClock(std::make_unique<QElapsedTimer>()) {
    FNullTimer->setInterval(kNullIntervalMs);
    FNullTimer->setTimerType(Qt::PreciseTimer);
    connect(FNullTimer, &QTimer::timeout, this, &TQtAudioEngine::NullTick);
    FPositionTimer->setInterval(kPositionIntervalMs);
    connect(FPositionTimer, &QTimer::timeout, this, &TQtAudioEngine::PositionTick);
}

TQtAudioEngine::~TQtAudioEngine() {
    StopOutput();
}

void TQtAudioEngine::SetState(TAudioEngineState state) {
    if (FState == state)
        return;
    FState = state;
    FEvents->EngineStateChanged(int(state));
}

bool TQtAudioEngine::TryOpen(const QString& path, bool paused) {
    StopOutput();
    FSource.reset();
    FEndPositionMs = 0;
    auto decoder = std::make_unique<TAudioDecoder>();
    if (!decoder->Open(path)) {
        FDecoder.reset();
        SetState(esClosed);
        return false;
    }
    FDecoder = std::move(decoder);
    FSource = std::make_unique<TPcmSource>(*FDecoder);
    FSource->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    SetState(esOpened);
    FEvents->EngineFileOpened(FDecoder->DurationMs());
    if (!paused)
        StartOutput();
    return true;
}

bool TQtAudioEngine::Play() {
    if (!FDecoder)
        return false;
    StopOutput();
    if (!FDecoder->Rewind())
        return false;
    FSource->ResetCount();
    FEndPositionMs = 0;
    StartOutput();
    return true;
}

void TQtAudioEngine::Stop() {
    if (!FDecoder || FState == esStopped)
        return;
    StopOutput();
    SetState(esStopped);
}

void TQtAudioEngine::StartOutput() {
    FNullOutput = FForceNullOutput || !StartSink();
    if (FNullOutput) {
        FNullConsumed = 0;
        FNullClock->start();
        FNullTimer->start();
    }
    FPositionTimer->start();
    SetState(esPlaying);
}

bool TQtAudioEngine::StartSink() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(FDecoder->SampleRate());
    format.setChannelCount(FDecoder->Channels());
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        const QAudioFormat preferred = device.preferredFormat();
        const int channels = std::clamp(preferred.channelCount(), 1, 2);
        if (!FDecoder->SetOutputFormat(preferred.sampleRate(), channels))
            return false;
        format.setSampleRate(preferred.sampleRate());
        format.setChannelCount(channels);
        if (!device.isFormatSupported(format))
            return false;
    }
    FSink = new QAudioSink(device, format, this);
    connect(FSink, &QAudioSink::stateChanged, this, &TQtAudioEngine::SinkStateChanged);
    FSink->start(FSource.get());
    if (FSink->error() != QAudio::NoError || FSink->state() == QAudio::StoppedState) {
        FSink->disconnect(this);
        FSink->deleteLater();
        FSink = nullptr;
        return false;
    }
    return true;
}

void TQtAudioEngine::StopOutput() {
    FNullTimer->stop();
    FPositionTimer->stop();
    if (FSink) {
        FSink->disconnect(this);
        FSink->stop();
        FSink->deleteLater();
        FSink = nullptr;
    }
}

void TQtAudioEngine::NullTick() {
    if (!FDecoder)
        return;
    const qint64 bytesPerSecond = qint64(FDecoder->SampleRate()) * FDecoder->BytesPerFrame();
    const qint64 frame = FDecoder->BytesPerFrame();
    const qint64 due = FNullClock->elapsed() * bytesPerSecond / 1000 / frame * frame;
    qint64 wanted = due - FNullConsumed;
    while (wanted > 0) {
        FScratch.resize(std::size_t(std::min<qint64>(wanted, 1 << 16) / frame * frame));
        const qint64 got = FSource->read(FScratch.data(), qint64(FScratch.size()));
        if (got <= 0) {
            Finish();
            return;
        }
        FNullConsumed += got;
        wanted -= got;
    }
}

void TQtAudioEngine::SinkStateChanged() {
    if (FSink && FSink->state() == QAudio::IdleState && FDecoder && FDecoder->AtEnd())
        Finish();
}

void TQtAudioEngine::Finish() {
    // What was played is the length, also when the container did not state one.
    const qint64 stated = FDecoder ? FDecoder->DurationMs() : 0;
    FEndPositionMs = stated > 0 ? stated : PositionMs();
    StopOutput();
    SetState(esEnded);
}

void TQtAudioEngine::PositionTick() {
    if (FState == esPlaying)
        FEvents->EnginePositionChanged(PositionMs());
}

qint64 TQtAudioEngine::PositionMs() const {
    if (FState == esEnded)
        return FEndPositionMs;
    if (!FDecoder || FState != esPlaying)
        return 0;
    if (FSink)
        return FSink->processedUSecs() / 1000;
    const qint64 bytesPerSecond = qint64(FDecoder->SampleRate()) * FDecoder->BytesPerFrame();
    return bytesPerSecond > 0 ? FNullConsumed * 1000 / bytesPerSecond : 0;
}

qint64 TQtAudioEngine::LengthMs() const {
    if (!FDecoder)
        return 0;
    const qint64 stated = FDecoder->DurationMs();
    return stated > 0 ? stated : FEndPositionMs;
}

extern "C" {

// The module's two entry points, the only symbols it exports.
Q_DECL_EXPORT int zuvo_audio_engine_interface() {
    return kAudioEngineInterface;
}

Q_DECL_EXPORT TAudioEngine* zuvo_create_audio_engine(TAudioEvents* events) {
    return new TQtAudioEngine(events);
}
}
