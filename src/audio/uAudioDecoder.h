#pragma once
// Decodes an audio file of any format FFmpeg reads (the recordings other
// devices upload, the shipped alarm sounds) into interleaved signed 16-bit PCM,
// piece by piece, so a long recording never sits decoded in memory.

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;

namespace ffmpeg {

struct TFormatCloser {
    void operator()(AVFormatContext* p) const;
};
struct TCodecFreer {
    void operator()(AVCodecContext* p) const;
};
struct TSwrFreer {
    void operator()(SwrContext* p) const;
};
struct TPacketFreer {
    void operator()(AVPacket* p) const;
};
struct TFrameFreer {
    void operator()(AVFrame* p) const;
};

using TFormatPtr = std::unique_ptr<AVFormatContext, TFormatCloser>;
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecFreer>;
using TSwrPtr = std::unique_ptr<SwrContext, TSwrFreer>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFreer>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFreer>;

// The text of an FFmpeg error code.
[[nodiscard]] QString ErrorText(int code);
// Keeps FFmpeg's warnings about streams it decodes anyway off stderr.
void QuietLogs();
// Stores the reason where the caller wants it; always false.
bool Fail(QString* error, const QString& text);

} // namespace ffmpeg

class TAudioDecoder {
public:
    TAudioDecoder();
    ~TAudioDecoder();
    TAudioDecoder(const TAudioDecoder&) = delete;
    TAudioDecoder& operator=(const TAudioDecoder&) = delete;

    // Opens the file's first audio stream. False (with the reason) when the
    // file cannot be read or holds no decodable audio.
    bool Open(const QString& path, QString* error = nullptr);
    [[nodiscard]] bool IsOpen() const { return FCodec != nullptr; }

    // The stream's own rate and channel count (channels capped at 2).
    [[nodiscard]] int SourceSampleRate() const { return FSourceRate; }
    [[nodiscard]] int SourceChannels() const { return FSourceChannels; }
    // Length in milliseconds as the container states it; 0 when unknown.
    [[nodiscard]] std::int64_t DurationMs() const { return FDurationMs; }

    // The PCM to produce; by default the source's rate and channels.
    // Takes effect from the next Read.
    bool SetOutputFormat(int sampleRate, int channels);
    [[nodiscard]] int SampleRate() const { return FOutRate; }
    [[nodiscard]] int Channels() const { return FOutChannels; }
    [[nodiscard]] int BytesPerFrame() const { return FOutChannels * 2; }

    // Copies up to maxBytes of PCM (whole frames) into data; 0 only at the end
    // (or when maxBytes is less than one frame).
    [[nodiscard]] std::int64_t Read(char* data, std::int64_t maxBytes);
    [[nodiscard]] bool AtEnd() const { return FEof && FPendingPos >= FPending.size(); }
    // Back to the start of the stream.
    bool Rewind();

private:
    bool DecodeMore();
    bool ConvertFrame(const AVFrame* frame);
    bool MakeResampler();

    ffmpeg::TFormatPtr FFormat;
    ffmpeg::TCodecPtr FCodec;
    ffmpeg::TSwrPtr FSwr;
    ffmpeg::TPacketPtr FPacket;
    ffmpeg::TFramePtr FFrame;
    int FStream = -1;
    int FSourceRate = 0;
    int FSourceChannels = 0;
    int FOutRate = 0;
    int FOutChannels = 0;
    std::int64_t FDurationMs = 0;
    bool FEof = false;
    bool FFlushing = false;
    std::vector<char> FPending;
    std::size_t FPendingPos = 0;
};
