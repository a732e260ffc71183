// Synthesises the eight alarm sounds into <folder>/<name>.mp3 at build time.
// Every sound is made from sines, sweeps and seeded noise, so the same build
// always makes the same files.

#include "audio/uAudioEncoder.h"
#include "reminders/uAlarmSounds.h"

#include <QDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kTwoPi = 2 * std::numbers::pi;

using TSamples = std::vector<float>;

// An attack-decay envelope over a note of the given length.
double envelope(double t, double length, double attack, double release) {
    if (t < 0 || t > length)
        return 0;
    return std::min({1.0, t / attack, (length - t) / release});
}

// Adds a tone whose frequency follows freq(t) (t from 0 at its start).
void addSweep(TSamples& out, double start, double length, const std::function<double(double)>& freq,
              double level, double attack = 0.005, double release = 0.02,
              const std::vector<double>& harmonics = {1.0}) {
    double phase = 0;
    const auto first = std::size_t(start * kRate);
    const auto count = std::size_t(length * kRate);
    if (out.size() < first + count)
        out.resize(first + count, 0.0f);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(i) / kRate;
        phase += kTwoPi * freq(t) / kRate;
        double v = 0;
        for (std::size_t h = 0; h < harmonics.size(); ++h)
            v += harmonics[h] * std::sin(phase * double(h + 1));
        out[first + i] += float(level * v * envelope(t, length, attack, release));
    }
}

void addTone(TSamples& out, double start, double length, double hz, double level,
             const std::vector<double>& harmonics = {1.0}) {
    addSweep(
        out, start, length, [hz](double) { return hz; }, level, 0.005, 0.02, harmonics);
}

void normalise(TSamples& s, double peak = 0.8) {
    float m = 0;
    for (float v : s)
        m = std::max(m, std::abs(v));
    if (m > 0)
        for (float& v : s)
            v = float(v * peak / m);
}

TSamples alarmClock() {
    TSamples s;
    // Four quick beeps, three times: the classic bedside alarm.
    const std::vector<double> square{1.0, 0, 0.33, 0, 0.2, 0, 0.14};
    for (int group = 0; group < 3; ++group)
        for (int beep = 0; beep < 4; ++beep)
            addTone(s, group * 0.9 + beep * 0.16, 0.1, 1760, 0.5, square);
    return s;
}

TSamples vireo() {
    TSamples s;
    // Short phrases of up- and down-slurred whistles with pauses between.
    const double phrases[][3] = {
        {2600, 4200, 0.18}, {4400, 2800, 0.16}, {3000, 4600, 0.14}, {3800, 2500, 0.2}};
    double t = 0.05;
    for (int rep = 0; rep < 2; ++rep)
        for (const auto& p : phrases) {
            const double from = p[0], to = p[1], len = p[2];
            addSweep(s, t, len,
                     [=](double x) { return from + (to - from) * std::sin(x / len * std::numbers::pi / 2); },
                     0.5, 0.01, 0.04, {1.0, 0.15});
            t += len + 0.22;
        }
    return s;
}

TSamples cricket() {
    TSamples s;
    // Chirps of three pulses on a 4.5 kHz carrier.
    for (int chirp = 0; chirp < 8; ++chirp)
        for (int pulse = 0; pulse < 3; ++pulse)
            addTone(s, chirp * 0.36 + pulse * 0.035, 0.025, 4500, 0.5, {1.0, 0.2});
    return s;
}

TSamples meow() {
    TSamples s;
    // A voiced cry whose pitch rises, holds and falls.
    for (int rep = 0; rep < 2; ++rep)
        addSweep(s, 0.05 + rep * 1.2, 0.9,
                 [](double x) { return x < 0.3    ? 450 + 1100 * x
                                       : x < 0.55 ? 780
                                                  : 780 - 900 * (x - 0.55); },
                 0.4, 0.06, 0.25, {1.0, 0.7, 0.5, 0.35, 0.2, 0.1});
    return s;
}

TSamples seagull() {
    TSamples s;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-1, 1);
    // Falling "kyow" calls with a rough edge.
    for (int call = 0; call < 5; ++call) {
        const double start = 0.05 + call * (call < 2 ? 0.55 : 0.32);
        addSweep(s, start, 0.28, [](double x) { return 2100 - 2600 * x; }, 0.35, 0.02, 0.08,
                 {1.0, 0.6, 0.4, 0.3});
    }
    for (float& v : s)
        v = float(v * (1.0 + 0.25 * noise(rng)));
    return s;
}

TSamples stream() {
    const auto length = std::size_t(3.0 * kRate);
    TSamples s(length, 0.0f);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> noise(-1, 1);
    // Low-passed noise for the rush, then bubbles: short rising blips.
    double lp = 0;
    for (std::size_t i = 0; i < length; ++i) {
        lp += 0.08 * (noise(rng) - lp);
        s[i] = float(0.5 * lp * envelope(double(i) / kRate, 3.0, 0.3, 0.5));
    }
    std::uniform_real_distribution<double> when(0.1, 2.6), pitch(500, 1400);
    for (int b = 0; b < 40; ++b) {
        const double f = pitch(rng);
        addSweep(
            s, when(rng), 0.04, [f](double x) { return f * (1 + 8 * x); }, 0.12, 0.002, 0.03);
    }
    return s;
}

TSamples schoolBell() {
    const auto length = std::size_t(2.6 * kRate);
    TSamples s(length, 0.0f);
    // An electric bell: a clapper striking about twenty times a second on a
    // metal gong with inharmonic partials.
    const double partials[][2] = {{1180, 1.0}, {2950, 0.5}, {4520, 0.3}, {6100, 0.15}};
    for (std::size_t i = 0; i < length; ++i) {
        const double t = double(i) / kRate;
        const double sinceStrike = std::fmod(t, 0.05);
        const double strike = std::exp(-sinceStrike * 30);
        double v = 0;
        for (const auto& p : partials)
            v += p[1] * std::sin(kTwoPi * p[0] * t);
        s[i] = float(0.3 * v * (0.6 + 0.4 * strike) * envelope(t, 2.6, 0.01, 0.3));
    }
    return s;
}

TSamples electronicAlarm() {
    TSamples s;
    // A rising and falling siren, four cycles.
    addSweep(s, 0.0, 2.8,
             [](double x) {
                 const double c = std::fmod(x, 0.7) / 0.7;
                 return 700 + 800 * (c < 0.5 ? 2 * c : 2 - 2 * c);
             },
             0.45, 0.02, 0.1, {1.0, 0, -0.11, 0, 0.04});
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <sound folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const std::function<TSamples()> makers[] = {alarmClock, vireo,  cricket,    meow,
                                                seagull,    stream, schoolBell, electronicAlarm};
    const QStringList& names = AlarmSoundNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        TSamples samples = makers[i]();
        normalise(samples);
        QString error;
        const QString path = folder + QLatin1Char('/') + names[i] + QStringLiteral(".mp3");
        if (!EncodeAudioFile(path, samples, kRate, QStringLiteral("mp3"), &error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
    }
    return 0;
}
