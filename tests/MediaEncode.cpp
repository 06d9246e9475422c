#include "MediaEncode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <memory>

namespace {

struct TEncoder {
    AVFormatContext* Out = nullptr;
    AVCodecContext* Codec = nullptr;
    SwrContext* Swr = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    AVStream* Stream = nullptr;

    ~TEncoder()
    {
        if (Out && !(Out->oformat->flags & AVFMT_NOFILE))
            avio_closep(&Out->pb);
        avformat_free_context(Out);
        avcodec_free_context(&Codec);
        swr_free(&Swr);
        av_frame_free(&Frame);
        av_packet_free(&Packet);
    }

    // Sends frame (nullptr: the end) and writes what the encoder hands back.
    bool Send(const AVFrame* frame)
    {
        if (avcodec_send_frame(Codec, frame) < 0)
            return false;
        for (;;) {
            const int ret = avcodec_receive_packet(Codec, Packet);
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return true;
            if (ret < 0)
                return false;
            av_packet_rescale_ts(Packet, Codec->time_base, Stream->time_base);
            Packet->stream_index = Stream->index;
            if (av_interleaved_write_frame(Out, Packet) < 0)
                return false;
        }
    }
};

} // namespace

bool EncodeAudio(const QString& path, const TEncodeFormat& format, int rate, int channels, int bits,
                 const std::vector<int32_t>& samples, QString* error)
{
    auto fail = [error](const char* why) {
        if (error)
            *error = QString::fromUtf8(why);
        return false;
    };
    const AVCodec* codec = avcodec_find_encoder_by_name(format.Encoder);
    if (!codec)
        return fail("encoder missing");
    TEncoder e;
    const QByteArray file = path.toUtf8();
    if (avformat_alloc_output_context2(&e.Out, nullptr, format.Container, file.constData()) < 0)
        return fail("muxer missing");
    e.Codec = avcodec_alloc_context3(codec);
    e.Frame = av_frame_alloc();
    e.Packet = av_packet_alloc();
    e.Stream = avformat_new_stream(e.Out, nullptr);
    if (!e.Codec || !e.Frame || !e.Packet || !e.Stream)
        return fail("out of memory");

    // The first sample format the encoder takes; 24-bit input goes in as 32-bit
    // integers with 24 significant bits where the encoder has them.
    AVSampleFormat fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if ((bits > 16 && (*f == AV_SAMPLE_FMT_S32 || *f == AV_SAMPLE_FMT_S32P)) ||
            (bits <= 16 && (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P))) {
            fmt = *f;
            break;
        }
    e.Codec->sample_fmt = fmt;
    e.Codec->sample_rate = rate;
    av_channel_layout_default(&e.Codec->ch_layout, channels);
    e.Codec->time_base = AVRational{1, rate};
    e.Codec->bit_rate = format.BitRate;
    if (bits > 16)
        e.Codec->bits_per_raw_sample = bits;
    if (e.Out->oformat->flags & AVFMT_GLOBALHEADER)
        e.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(e.Codec, codec, nullptr) < 0)
        return fail("encoder refused the parameters");
    if (avcodec_parameters_from_context(e.Stream->codecpar, e.Codec) < 0)
        return fail("stream parameters");
    e.Stream->time_base = e.Codec->time_base;
    if (avio_open(&e.Out->pb, file.constData(), AVIO_FLAG_WRITE) < 0)
        return fail("cannot write the file");
    if (avformat_write_header(e.Out, nullptr) < 0)
        return fail("header");

    // The samples go in as S32 at full scale, which swresample turns into the
    // encoder's format without loss for 16 and 24 significant bits.
    if (swr_alloc_set_opts2(&e.Swr, &e.Codec->ch_layout, fmt, rate, &e.Codec->ch_layout, AV_SAMPLE_FMT_S32,
                            rate, 0, nullptr) < 0 ||
        swr_init(e.Swr) < 0)
        return fail("converter");
    const int frameSize = e.Codec->frame_size > 0 ? e.Codec->frame_size : 1024;
    const int totalFrames = int(samples.size() / size_t(channels));
    std::vector<int32_t> chunk;
    for (int done = 0; done < totalFrames;) {
        const int n = std::min(frameSize, totalFrames - done);
        chunk.assign(samples.begin() + ptrdiff_t(done) * channels, samples.begin() + ptrdiff_t(done + n) * channels);
        for (int32_t& s : chunk)
            s = int32_t(uint32_t(s) << (32 - bits));
        av_frame_unref(e.Frame);
        e.Frame->format = fmt;
        e.Frame->nb_samples = n;
        e.Frame->sample_rate = rate;
        if (av_channel_layout_copy(&e.Frame->ch_layout, &e.Codec->ch_layout) < 0 ||
            av_frame_get_buffer(e.Frame, 0) < 0)
            return fail("frame");
        const uint8_t* in = reinterpret_cast<const uint8_t*>(chunk.data());
        if (swr_convert(e.Swr, e.Frame->extended_data, n, &in, n) != n)
            return fail("conversion");
        e.Frame->pts = done;
        if (!e.Send(e.Frame))
            return fail("encoding");
        done += n;
    }
    if (!e.Send(nullptr) || av_write_trailer(e.Out) < 0)
        return fail("trailer");
    return true;
}

std::vector<int16_t> DecodeAudioS16(const QString& path, int* channels, QString* error)
{
    std::vector<int16_t> out;
    auto fail = [&](const char* why) {
        if (error)
            *error = QString::fromUtf8(why);
        out.clear();
        return out;
    };
    AVFormatContext* in = nullptr;
    const QByteArray file = path.toUtf8();
    if (avformat_open_input(&in, file.constData(), nullptr, nullptr) < 0)
        return fail("cannot open");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> inGuard(
        in, [](AVFormatContext* c) { avformat_close_input(&c); });
    const AVCodec* codec = nullptr;
    if (avformat_find_stream_info(in, nullptr) < 0)
        return fail("no stream info");
    const int stream = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return fail("no audio stream");
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(avcodec_alloc_context3(codec),
                                                                   [](AVCodecContext* c) { avcodec_free_context(&c); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    if (!ctx || !frame || !packet || avcodec_parameters_to_context(ctx.get(), in->streams[stream]->codecpar) < 0 ||
        avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return fail("decoder");
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &ctx->ch_layout, AV_SAMPLE_FMT_S16, ctx->sample_rate, &ctx->ch_layout,
                            ctx->sample_fmt, ctx->sample_rate, 0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        swr_free(&swr);
        return fail("converter");
    }
    std::unique_ptr<SwrContext, void (*)(SwrContext*)> swrGuard(swr, [](SwrContext* s) { swr_free(&s); });
    const int ch = ctx->ch_layout.nb_channels;
    auto drain = [&]() {
        while (avcodec_receive_frame(ctx.get(), frame.get()) >= 0) {
            const size_t at = out.size();
            out.resize(at + size_t(frame->nb_samples) * size_t(ch));
            uint8_t* dst = reinterpret_cast<uint8_t*>(out.data() + at);
            const int n = swr_convert(swr, &dst, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
            out.resize(at + size_t(std::max(n, 0)) * size_t(ch));
        }
    };
    while (av_read_frame(in, packet.get()) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(ctx.get(), packet.get()) >= 0)
            drain();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(ctx.get(), nullptr);
    drain();
    if (channels)
        *channels = ch;
    return out;
}
