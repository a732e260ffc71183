// The audio decoder on the formats recordings and alarm sounds come in, and the
// player's reports (duration once, positions, end of playback) through the null
// output that machines without a sound card use, and the audio module the
// player loads at its first file.

#include "audio/uAudioDecoder.h"
#include "audio/uAudioEncoder.h"
#include "platform/gui/uAudioModule.h"
#include "platform/gui/uAudioPlayer.h"
#include "reminders/uAlarmSounds.h"
#include "support/TestEnv.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace {

std::vector<float> tone(double seconds, int rate = 44100, double hz = 440.0) {
    std::vector<float> s(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(0.5 * std::sin(2 * std::numbers::pi * hz * double(i) / rate));
    return s;
}

QString makeFile(const QString& name, double seconds, const QString& format = {}) {
    const QString path = testenv::freshDir(QStringLiteral("audio")) + QLatin1Char('/') + name;
    QString error;
    EXPECT_TRUE(EncodeAudioFile(path, tone(seconds), 44100, format, &error)) << error.toStdString();
    return path;
}

bool moduleMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/zuvonote-audio.so");
}

struct TDecoded {
    qint64 Bytes = 0;
    double Rms = 0;
};

TDecoded decodeAll(TAudioDecoder& d) {
    TDecoded r;
    std::vector<char> buf(4096 * 4);
    double sum = 0;
    qint64 samples = 0;
    for (;;) {
        const auto n = d.Read(buf.data(), qint64(buf.size()));
        if (n == 0)
            break;
        EXPECT_EQ(n % d.BytesPerFrame(), 0);
        r.Bytes += n;
        const auto* s = reinterpret_cast<const int16_t*>(buf.data());
        for (qint64 i = 0; i < n / 2; ++i)
            sum += double(s[i]) * s[i];
        samples += n / 2;
    }
    r.Rms = samples ? std::sqrt(sum / double(samples)) / 32768.0 : 0;
    return r;
}

} // namespace

TEST(AudioDecoder, ReadsEveryFormatWeMeetAsPcmOfTheRightLength) {
    struct Case {
        const char* name;
        const char* format; // empty: by extension
    };
    const Case cases[] = {
        {"tone.mp3", ""},
        {"tone.wav", ""},
        {"tone.m4a", ""},
        // Recordings are stored under the note id, without an extension: the content decides.
        {"2F1C0B7E-0000-4000-8000-000000000001", "ipod"},
        {"2F1C0B7E-0000-4000-8000-000000000002", "mp3"},
        {"2F1C0B7E-0000-4000-8000-000000000003", "adts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = makeFile(QString::fromLatin1(c.name), 1.5, QString::fromLatin1(c.format));
        TAudioDecoder d;
        QString error;
        ASSERT_TRUE(d.Open(path, &error)) << error.toStdString();
        EXPECT_EQ(d.SampleRate(), 44100);
        EXPECT_EQ(d.Channels(), 1);
        // Raw AAC states no length; the others do, within a frame or two of padding.
        if (std::string(c.format) != "adts") {
            EXPECT_NEAR(double(d.DurationMs()), 1500.0, 80.0);
        }
        const TDecoded all = decodeAll(d);
        EXPECT_NEAR(double(all.Bytes) / (44100.0 * 2), 1.5, 0.08);
        // A sine of amplitude 0.5 has an RMS of about 0.35.
        EXPECT_NEAR(all.Rms, 0.354, 0.05);
        EXPECT_TRUE(d.AtEnd());
        EXPECT_EQ(d.Read(nullptr, 0), 0);
    }
}

TEST(AudioDecoder, RewindAndOutputFormat) {
    const QString path = makeFile(QStringLiteral("tone.mp3"), 1.0);
    TAudioDecoder d;
    ASSERT_TRUE(d.Open(path));
    const qint64 first = decodeAll(d).Bytes;
    ASSERT_TRUE(d.Rewind());
    EXPECT_EQ(decodeAll(d).Bytes, first);

    ASSERT_TRUE(d.Rewind());
    ASSERT_TRUE(d.SetOutputFormat(8000, 2));
    const TDecoded small = decodeAll(d);
    EXPECT_NEAR(double(small.Bytes) / (8000.0 * 4), double(first) / (44100.0 * 2), 0.02);
    EXPECT_NEAR(small.Rms, 0.354, 0.05);
    EXPECT_FALSE(d.SetOutputFormat(8000, 3));
}

TEST(AudioDecoder, ARecordingCutShortPlaysWhatIsThere) {
    struct Case {
        const char* name;
        const char* format;
    };
    for (const Case c : {Case{"cut.mp3", "mp3"}, Case{"cut-recording", "adts"}}) {
        SCOPED_TRACE(c.name);
        const QString path = makeFile(QString::fromLatin1(c.name), 2.0, QString::fromLatin1(c.format));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(f.size() / 2));
        f.close();
        TAudioDecoder d;
        ASSERT_TRUE(d.Open(path));
        const double seconds = double(decodeAll(d).Bytes) / (44100.0 * 2);
        EXPECT_GT(seconds, 0.7);
        EXPECT_LT(seconds, 1.3);
        EXPECT_TRUE(d.AtEnd());
    }
}

TEST(AudioDecoder, FilesThatAreNoAudioFailToOpen) {
    const QString dir = testenv::freshDir(QStringLiteral("noaudio"));
    testenv::writeFile(dir + QStringLiteral("/text"), "this is not a recording\n");
    testenv::writeFile(dir + QStringLiteral("/empty"), QByteArray());
    for (const QString& name : {QStringLiteral("text"), QStringLiteral("empty"), QStringLiteral("missing")}) {
        TAudioDecoder d;
        QString error;
        EXPECT_FALSE(d.Open(dir + QLatin1Char('/') + name, &error)) << name.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(d.IsOpen());
        char buf[16];
        EXPECT_EQ(d.Read(buf, sizeof buf), 0);
    }
}

TEST(AudioPlayer, WithoutADeviceTheNullOutputPlaysInRealTimeAndReportsLikeASoundCard) {
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        // No sound card here: the fallback is chosen by itself.
        TAudioPlayer probe;
        ASSERT_TRUE(probe.TryOpen(makeFile(QStringLiteral("probe.wav"), 0.2)));
        EXPECT_TRUE(probe.UsesNullOutput());
    }
    TAudioPlayer::SetForceNullOutput(true);
    TAudioPlayer player;
    QSignalSpy opened(&player, &TAudioPlayer::FileOpened);
    QSignalSpy positions(&player, &TAudioPlayer::PositionChanged);
    QSignalSpy states(&player, &TAudioPlayer::StateChanged);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(player.TryOpen(makeFile(QStringLiteral("tone.mp3"), 0.8)));
    // The duration arrives once, before the open returns.
    ASSERT_EQ(opened.count(), 1);
    EXPECT_NEAR(double(opened.at(0).at(0).toLongLong()), 800.0, 60.0);
    EXPECT_EQ(player.State(), TAudioPlayer::psPlaying);

    ASSERT_TRUE(QTest::qWaitFor([&] { return player.State() == TAudioPlayer::psEnded; }, 5000));
    // Consumed at the pace of playback, not as fast as it decodes.
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_EQ(states.last().at(0).toInt(), 5);
    ASSERT_GE(positions.count(), 3);
    qint64 last = -1;
    for (const auto& p : positions) {
        EXPECT_GE(p.at(0).toLongLong(), last);
        last = p.at(0).toLongLong();
    }
    EXPECT_LE(last, player.LengthMs());
    EXPECT_EQ(player.PositionMs(), player.LengthMs());
    EXPECT_EQ(opened.count(), 1);

    // Again from the start, then a stop: no end of playback follows a stop.
    states.clear();
    ASSERT_TRUE(player.Play());
    QTest::qWait(250);
    EXPECT_GT(player.PositionMs(), 100);
    EXPECT_LT(player.PositionMs(), 600);
    player.Stop();
    EXPECT_EQ(player.State(), TAudioPlayer::psStopped);
    QTest::qWait(900);
    for (const auto& s : states)
        EXPECT_NE(s.at(0).toInt(), 5);

    // A file that cannot be decoded: the open fails and nothing is reported.
    opened.clear();
    EXPECT_FALSE(player.TryOpen(testenv::freshDir(QStringLiteral("none")) + QStringLiteral("/missing")));
    EXPECT_EQ(opened.count(), 0);
    EXPECT_EQ(player.State(), TAudioPlayer::psClosed);
    TAudioPlayer::SetForceNullOutput(false);
}

TEST(AudioModule, LoadedAtTheFirstFileAndAMissingOrStaleOneFailsThePlaybackOnly) {
    if (moduleMapped())
        GTEST_SKIP() << "an earlier test in this process loaded the module";
    const QString file = makeFile(QStringLiteral("tone.wav"), 0.3);
    TAudioPlayer::SetForceNullOutput(true);
    TAudioPlayer player;
    EXPECT_FALSE(moduleMapped());

    const QString empty = testenv::freshDir(QStringLiteral("no-module"));
    SetAudioModuleFolder(empty);
    QSignalSpy opened(&player, &TAudioPlayer::FileOpened);
    EXPECT_FALSE(player.TryOpen(file));
    EXPECT_TRUE(player.ErrorText().contains(empty + QStringLiteral("/zuvonote-audio.so")))
        << player.ErrorText().toStdString();
    EXPECT_EQ(player.State(), TAudioPlayer::psClosed);
    EXPECT_EQ(opened.count(), 0);
    EXPECT_FALSE(player.Play());
    player.Stop();
    EXPECT_EQ(player.PositionMs(), 0);
    EXPECT_EQ(player.LengthMs(), 0);
    EXPECT_FALSE(moduleMapped());

    // One of another build (another interface version) is refused, not called.
    SetAudioModuleFolder(QStringLiteral(ZUVO_STALE_AUDIO_MODULE_DIR));
    EXPECT_FALSE(player.TryOpen(file));
    EXPECT_TRUE(player.ErrorText().contains(QStringLiteral("does not belong to this program")))
        << player.ErrorText().toStdString();
    EXPECT_EQ(player.State(), TAudioPlayer::psClosed);
    EXPECT_EQ(opened.count(), 0);

    // The right module, appearing later, is found at the next playback.
    SetAudioModuleFolder(testenv::binDir());
    EXPECT_TRUE(player.TryOpen(file));
    EXPECT_TRUE(player.ErrorText().isEmpty());
    EXPECT_EQ(opened.count(), 1);
    EXPECT_TRUE(moduleMapped());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.State() == TAudioPlayer::psEnded; }, 5000));
    TAudioPlayer::SetForceNullOutput(false);
}

TEST(AlarmSounds, EachOfTheEightShipsAsAFewSecondsOfMp3) {
    const QString programFolder = testenv::binDir() + QLatin1Char('/');
    ASSERT_EQ(AlarmSoundNames().size(), 8);
    ASSERT_EQ(AlarmSoundChineseNames().size(), 8);
    for (const QString& name : AlarmSoundNames()) {
        SCOPED_TRACE(name.toStdString());
        TAudioDecoder d;
        QString error;
        ASSERT_TRUE(d.Open(AlarmSoundPath(programFolder, name), &error)) << error.toStdString();
        EXPECT_GE(d.DurationMs(), 1500);
        EXPECT_LE(d.DurationMs(), 4000);
        EXPECT_GT(decodeAll(d).Rms, 0.05);
    }
}
