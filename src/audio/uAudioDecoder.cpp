#include "audio/uAudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace ffmpeg {

void TFormatCloser::operator()(AVFormatContext* p) const {
    avformat_close_input(&p);
}
void TCodecFreer::operator()(AVCodecContext* p) const {
    avcodec_free_context(&p);
}
void TSwrFreer::operator()(SwrContext* p) const {
    swr_free(&p);
}
void TPacketFreer::operator()(AVPacket* p) const {
    av_packet_free(&p);
}
void TFrameFreer::operator()(AVFrame* p) const {
    av_frame_free(&p);
}

QString ErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

void QuietLogs() {
    // FFmpeg warns on stderr about every oddity of a stream it decodes fine.
    static const bool once = (av_log_set_level(AV_LOG_ERROR), true);
    (void)once;
}

} // namespace ffmpeg

TAudioDecoder::TAudioDecoder() {
    ffmpeg::QuietLogs();
}
TAudioDecoder::~TAudioDecoder() = default;

bool TAudioDecoder::Open(const QString& path, QString* error) {
    FFormat.reset();
    FCodec.reset();
    FSwr.reset();
    FPending.clear();
    FPendingPos = 0;
    FEof = false;
    FFlushing = false;
    FStream = -1;
    FDurationMs = 0;

    AVFormatContext* raw = nullptr;
    const QByteArray file = path.toUtf8();
    int rc = avformat_open_input(&raw, file.constData(), nullptr, nullptr);
    if (rc < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));
    ffmpeg::TFormatPtr format(raw);
    rc = avformat_find_stream_info(format.get(), nullptr);
    if (rc < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || !decoder)
        return ffmpeg::Fail(error, QStringLiteral("no audio stream"));

    ffmpeg::TCodecPtr codec(avcodec_alloc_context3(decoder));
    if (!codec)
        return ffmpeg::Fail(error, QStringLiteral("out of memory"));
    const AVStream* st = format->streams[stream];
    rc = avcodec_parameters_to_context(codec.get(), st->codecpar);
    if (rc >= 0)
        rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));
    if (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0)
        return ffmpeg::Fail(error, QStringLiteral("audio stream without rate or channels"));

    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        FDurationMs = format->duration / (AV_TIME_BASE / 1000);
    else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        FDurationMs = av_rescale_q(st->duration, st->time_base, AVRational{1, 1000});

    FPacket.reset(av_packet_alloc());
    FFrame.reset(av_frame_alloc());
    if (!FPacket || !FFrame)
        return ffmpeg::Fail(error, QStringLiteral("out of memory"));
    FFormat = std::move(format);
    FCodec = std::move(codec);
    FStream = stream;
    FSourceRate = FCodec->sample_rate;
    FSourceChannels = std::min(FCodec->ch_layout.nb_channels, 2);
    FOutRate = FSourceRate;
    FOutChannels = FSourceChannels;
    return true;
}

bool TAudioDecoder::SetOutputFormat(int sampleRate, int channels) {
    if (sampleRate <= 0 || channels < 1 || channels > 2)
        return false;
    FOutRate = sampleRate;
    FOutChannels = channels;
    // The next frame builds a resampler for the new output.
    FSwr.reset();
    return true;
}

bool TAudioDecoder::MakeResampler() {
    AVChannelLayout out{};
    av_channel_layout_default(&out, FOutChannels);
    AVChannelLayout in{};
    if (FFrame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || FFrame->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&in, FFrame->ch_layout.nb_channels > 0 ? FFrame->ch_layout.nb_channels
                                                                         : FCodec->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&in, &FFrame->ch_layout);
    SwrContext* raw = nullptr;
    const int rc =
        swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, FOutRate, &in,
                            static_cast<AVSampleFormat>(FFrame->format), FFrame->sample_rate, 0, nullptr);
    // A mono recording played on two channels keeps its level on each (the
    // default mix lowers it by 3 dB).
    if (rc >= 0 && in.nb_channels == 1 && FOutChannels == 2) {
        const double matrix[2] = {1.0, 1.0};
        swr_set_matrix(raw, matrix, 1);
    }
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    ffmpeg::TSwrPtr swr(raw);
    if (rc < 0 || swr_init(swr.get()) < 0)
        return false;
    FSwr = std::move(swr);
    return true;
}

bool TAudioDecoder::ConvertFrame(const AVFrame* frame) {
    if (!FSwr && (!frame || !MakeResampler()))
        return false;
    const int inSamples = frame ? frame->nb_samples : 0;
    const int capacity = swr_get_out_samples(FSwr.get(), inSamples) + 32;
    if (capacity <= 0)
        return true;
    const std::size_t bytesPerFrame = std::size_t(BytesPerFrame());
    // Drop what has been read, so the buffer never grows past one frame's worth.
    if (FPendingPos > 0) {
        FPending.erase(FPending.begin(), FPending.begin() + std::ptrdiff_t(FPendingPos));
        FPendingPos = 0;
    }
    const std::size_t old = FPending.size();
    FPending.resize(old + std::size_t(capacity) * bytesPerFrame);
    auto* out = reinterpret_cast<uint8_t*>(FPending.data() + old);
    const int got =
        swr_convert(FSwr.get(), &out, capacity,
                    frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inSamples);
    FPending.resize(old + std::size_t(std::max(got, 0)) * bytesPerFrame);
    return got >= 0;
}

bool TAudioDecoder::DecodeMore() {
    while (!FEof) {
        int rc = avcodec_receive_frame(FCodec.get(), FFrame.get());
        if (rc == 0) {
            const bool ok = ConvertFrame(FFrame.get());
            av_frame_unref(FFrame.get());
            if (!ok) {
                FEof = true;
                return false;
            }
            return true;
        }
        if (rc == AVERROR_EOF) {
            // The resampler may still hold a few samples.
            if (FSwr)
                ConvertFrame(nullptr);
            FEof = true;
            return true;
        }
        if (rc != AVERROR(EAGAIN)) {
            FEof = true;
            return false;
        }
        if (FFlushing) {
            FEof = true;
            return true;
        }
        rc = av_read_frame(FFormat.get(), FPacket.get());
        if (rc < 0) {
            // End of file or a read error: drain the decoder either way.
            FFlushing = true;
            avcodec_send_packet(FCodec.get(), nullptr);
            continue;
        }
        if (FPacket->stream_index == FStream) {
            // A damaged packet is skipped, as players do.
            (void)avcodec_send_packet(FCodec.get(), FPacket.get());
        }
        av_packet_unref(FPacket.get());
    }
    return false;
}

std::int64_t TAudioDecoder::Read(char* data, std::int64_t maxBytes) {
    if (!FCodec)
        return 0;
    const std::int64_t frameBytes = BytesPerFrame();
    maxBytes -= maxBytes % frameBytes;
    std::int64_t done = 0;
    while (done < maxBytes) {
        if (FPendingPos >= FPending.size()) {
            FPending.clear();
            FPendingPos = 0;
            if (FEof || !DecodeMore())
                break;
            continue;
        }
        const std::int64_t n =
            std::min<std::int64_t>(maxBytes - done, std::int64_t(FPending.size() - FPendingPos));
        std::memcpy(data + done, FPending.data() + FPendingPos, std::size_t(n));
        FPendingPos += std::size_t(n);
        done += n;
    }
    return done;
}

bool TAudioDecoder::Rewind() {
    if (!FFormat)
        return false;
    if (av_seek_frame(FFormat.get(), FStream, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(FFormat.get(), -1, INT64_MIN, 0, 0, 0) < 0)
        return false;
    avcodec_flush_buffers(FCodec.get());
    FSwr.reset();
    FPending.clear();
    FPendingPos = 0;
    FEof = false;
    FFlushing = false;
    return true;
}
