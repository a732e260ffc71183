#pragma once
// Writes mono samples to an audio file with FFmpeg's encoders: the alarm
// sounds we ship are made with it at build time, and tests and benchmarks make
// their recordings with it.

#include <QString>
#include <vector>

// samples: mono, -1..1. The container is the one FFmpeg names formatName
// ("mp3", "wav", "ipod", "adts" ...) or, when empty, the one the file name's
// extension implies; the codec is that container's default audio codec.
// False (with the reason) when no encoder is available or writing fails.
bool EncodeAudioFile(const QString& path, const std::vector<float>& samples, int sampleRate,
                     const QString& formatName = {}, QString* error = nullptr);
