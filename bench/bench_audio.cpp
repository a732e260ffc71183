// Decoding a one-minute recording to the PCM the player hands to the output.
#include "audio/uAudioDecoder.h"
#include "audio/uAudioEncoder.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

// A minute of speech-like sound: a wandering pitch with a syllable rhythm.
QString makeRecording(const QTemporaryDir& dir, const char* name, const char* format) {
    const int rate = 44100;
    std::vector<float> s(std::size_t(60 * rate));
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * std::numbers::pi * (180 + 60 * std::sin(t * 1.3)) / rate;
        s[i] = float(0.4 * std::sin(phase) * (0.5 + 0.5 * std::sin(t * 2 * std::numbers::pi * 3)));
    }
    const QString path = dir.path() + QLatin1Char('/') + QString::fromLatin1(name);
    if (!EncodeAudioFile(path, s, rate, QString::fromLatin1(format)))
        return {};
    return path;
}

void decodeAll(benchmark::State& state, const QString& path) {
    std::vector<char> buf(16384);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        TAudioDecoder d;
        if (!d.Open(path)) {
            state.SkipWithError("cannot open");
            return;
        }
        while (const auto n = d.Read(buf.data(), std::int64_t(buf.size())))
            bytes += n;
    }
    state.SetBytesProcessed(bytes);
}

void BM_Decode60sMp3(benchmark::State& state) {
    QTemporaryDir dir;
    decodeAll(state, makeRecording(dir, "minute.mp3", "mp3"));
}

// Phones upload AAC in an MP4 container, stored without an extension.
void BM_Decode60sAac(benchmark::State& state) {
    QTemporaryDir dir;
    decodeAll(state, makeRecording(dir, "0D7A3C1E-0000-4000-8000-000000000000", "ipod"));
}

} // namespace

BENCHMARK(BM_Decode60sMp3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode60sAac)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
