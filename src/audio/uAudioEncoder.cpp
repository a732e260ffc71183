#include "audio/uAudioEncoder.h"

#include "audio/uAudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

struct TOutputCloser {
    void operator()(AVFormatContext* p) const {
        if (p->pb && !(p->oformat->flags & AVFMT_NOFILE))
            avio_closep(&p->pb);
        avformat_free_context(p);
    }
};
using TOutputPtr = std::unique_ptr<AVFormatContext, TOutputCloser>;

AVSampleFormat pickFormat(const AVCodec* codec) {
    if (!codec->sample_fmts)
        return AV_SAMPLE_FMT_S16;
    for (AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16,
                                  AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_S32})
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == wanted)
                return wanted;
    return AV_SAMPLE_FMT_NONE;
}

int pickRate(const AVCodec* codec, int wanted) {
    if (!codec->supported_samplerates)
        return wanted;
    int best = codec->supported_samplerates[0];
    for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == wanted)
            return wanted;
        else if (std::abs(*r - wanted) < std::abs(best - wanted))
            best = *r;
    return best;
}

// Mono, so planar and packed layouts hold the same bytes.
void fillFrame(AVFrame* frame, const float* src, int n) {
    switch (static_cast<AVSampleFormat>(frame->format)) {
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
        std::memcpy(frame->data[0], src, std::size_t(n) * sizeof(float));
        break;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P: {
        auto* dst = reinterpret_cast<int16_t*>(frame->data[0]);
        for (int i = 0; i < n; ++i)
            dst[i] = int16_t(std::lround(std::clamp(src[i], -1.0f, 1.0f) * 32767.0f));
        break;
    }
    default: {
        auto* dst = reinterpret_cast<int32_t*>(frame->data[0]);
        for (int i = 0; i < n; ++i)
            dst[i] = int32_t(std::llround(double(std::clamp(src[i], -1.0f, 1.0f)) * 2147483647.0));
        break;
    }
    }
}

bool drain(AVCodecContext* codec, AVFormatContext* out, AVStream* stream, AVPacket* packet) {
    for (;;) {
        const int rc = avcodec_receive_packet(codec, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(out, packet) < 0)
            return false;
    }
}

} // namespace

bool EncodeAudioFile(const QString& path, const std::vector<float>& samples, int sampleRate,
                     const QString& formatName, QString* error) {
    ffmpeg::QuietLogs();
    const QByteArray file = path.toUtf8();
    const QByteArray fmtName = formatName.toLatin1();
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, fmtName.isEmpty() ? nullptr : fmtName.constData(),
                                            file.constData());
    if (rc < 0 || !raw)
        return ffmpeg::Fail(error, QStringLiteral("no container for ") + path);
    TOutputPtr out(raw);

    const AVCodec* encoder = avcodec_find_encoder(out->oformat->audio_codec);
    if (!encoder)
        return ffmpeg::Fail(error,
                            QStringLiteral("no encoder for ") + QString::fromLatin1(out->oformat->name));
    ffmpeg::TCodecPtr codec(avcodec_alloc_context3(encoder));
    codec->sample_fmt = pickFormat(encoder);
    if (codec->sample_fmt == AV_SAMPLE_FMT_NONE)
        return ffmpeg::Fail(error, QStringLiteral("no usable sample format"));
    codec->sample_rate = pickRate(encoder, sampleRate);
    av_channel_layout_default(&codec->ch_layout, 1);
    codec->bit_rate = 64000;
    codec->time_base = AVRational{1, codec->sample_rate};
    if (out->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    rc = avcodec_open2(codec.get(), encoder, nullptr);
    if (rc < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));

    AVStream* stream = avformat_new_stream(out.get(), nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec.get()) < 0)
        return ffmpeg::Fail(error, QStringLiteral("cannot add the stream"));
    stream->time_base = codec->time_base;
    if (!(out->oformat->flags & AVFMT_NOFILE) &&
        (rc = avio_open(&out->pb, file.constData(), AVIO_FLAG_WRITE)) < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));
    if ((rc = avformat_write_header(out.get(), nullptr)) < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));

    // The samples at the codec's rate (nearest-neighbour is enough for our tones).
    std::vector<float> pcm;
    if (codec->sample_rate == sampleRate) {
        pcm = samples;
    } else {
        const std::size_t n = std::size_t(double(samples.size()) * codec->sample_rate / sampleRate);
        pcm.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            pcm[i] = samples[std::min(samples.size() - 1,
                                      std::size_t(double(i) * sampleRate / codec->sample_rate))];
    }

    const int frameSize = codec->frame_size > 0 ? codec->frame_size : 1024;
    ffmpeg::TFramePtr frame(av_frame_alloc());
    ffmpeg::TPacketPtr packet(av_packet_alloc());
    std::int64_t pts = 0;
    for (std::size_t pos = 0; pos < pcm.size(); pos += std::size_t(frameSize)) {
        const int n = int(std::min<std::size_t>(std::size_t(frameSize), pcm.size() - pos));
        // A fixed-size codec takes only full frames: the last one is padded with silence.
        const int alloc = codec->frame_size > 0 ? frameSize : n;
        av_frame_unref(frame.get());
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        frame->nb_samples = alloc;
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            return ffmpeg::Fail(error, QStringLiteral("out of memory"));
        std::vector<float> chunk(std::size_t(alloc), 0.0f);
        std::copy_n(pcm.begin() + std::ptrdiff_t(pos), n, chunk.begin());
        fillFrame(frame.get(), chunk.data(), alloc);
        frame->pts = pts;
        pts += alloc;
        if (avcodec_send_frame(codec.get(), frame.get()) < 0 ||
            !drain(codec.get(), out.get(), stream, packet.get()))
            return ffmpeg::Fail(error, QStringLiteral("encoding failed"));
    }
    avcodec_send_frame(codec.get(), nullptr);
    if (!drain(codec.get(), out.get(), stream, packet.get()))
        return ffmpeg::Fail(error, QStringLiteral("encoding failed"));
    if ((rc = av_write_trailer(out.get())) < 0)
        return ffmpeg::Fail(error, ffmpeg::ErrorText(rc));
    return true;
}
