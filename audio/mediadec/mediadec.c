/* libmediadec over FFmpeg: a custom AVIOContext over the caller's read and
 * seek callbacks, one demuxer per instance, one audio decoder per instance,
 * and swresample for the sample format and interleaving of the output. */
#include "mediadec.h"

#include <errno.h>
#include <math.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>

enum {
    kIoBufferSize = 32 * 1024,
    kProbeSize = 1024 * 1024,
    /* A stream whose codec the demuxer is not sure of (a WAV's PCM may hide a
     * compressed stream) is probed packet by packet on the data gathered so
     * far. A hidden stream shows in its first packets; probing a plain WAV's
     * whole run of packets cost each opened file some 3 ms. */
    kProbePackets = 4,
    /* Decoded audio of one package is never more than this (a damaged header
     * must not make one package allocate without bound). */
    kMaxBufferBytes = 64 * 1024 * 1024,
    kMaxChannels = 64,
    kMaxReadRetries = 64
};

/* ---- memory ------------------------------------------------------------ */

static ac_alloc_fn mem_alloc = malloc;
static ac_realloc_fn mem_realloc = realloc;
static ac_free_fn mem_free = free;

static void* alloc_zeroed(size_t size)
{
    void* p = mem_alloc(size);
    if (p)
        memset(p, 0, size);
    return p;
}

/* ---- FFmpeg's log -------------------------------------------------------- */

/* Errors go to stderr; warnings and chatter go nowhere. av_log_set_level
 * lowers this further (AV_LOG_QUIET silences the library). */
static void log_callback(void* avcl, int level, const char* fmt, va_list vl)
{
    if (level > AV_LOG_ERROR || level > av_log_get_level())
        return;
    char line[1024];
    int print_prefix = 1;
    av_log_format_line2(avcl, level, fmt, vl, line, sizeof line, &print_prefix);
    fprintf(stderr, "mediadec: %s", line);
}

static pthread_once_t log_once = PTHREAD_ONCE_INIT;
static void install_log(void) { av_log_set_callback(log_callback); }

/* ---- records ------------------------------------------------------------- */

typedef struct dec_priv dec_priv;

typedef struct inst_priv {
    AVFormatContext* fmt;
    AVIOContext* io;
    void* sender;
    ac_read_fn read;
    ac_seek_fn seek;
    int64_t size;          /* bytes of the source, -1 unknown, -2 not asked yet */
    ac_decoder* decoder;   /* the one decoder made on this instance */
    int at_end;            /* the drain package has been handed out */
} inst_priv;

struct dec_priv {
    AVCodecContext* cc;
    AVFrame* frame;
    SwrContext* swr;
    enum AVSampleFormat out_fmt;
    int out_frame_bytes;
    AVChannelLayout out_layout;
    /* What swr was set up for. */
    int in_fmt, in_rate, in_channels;
    AVRational time_base;
    int64_t start_pts;     /* the stream's first timestamp, 0 when unknown */
    size_t capacity;
    int flushed;           /* the decoder got the end-of-data packet */
    int trimming;          /* cut the audio before trim_ms (after a seek) */
    int64_t trim_ms;
    double next_s;         /* where the audio after the last frame starts */
};

/* ---- I/O over the caller's callbacks ------------------------------------ */

static int io_read(void* opaque, uint8_t* buf, int size)
{
    inst_priv* p = opaque;
    int32_t n = p->read(p->sender, buf, size);
    if (n <= 0)
        return AVERROR_EOF;
    return n > size ? size : n;
}

static int64_t source_size(inst_priv* p)
{
    if (p->size != -2)
        return p->size;
    int64_t cur = p->seek(p->sender, 0, 1);
    int64_t size = cur < 0 ? -1 : p->seek(p->sender, 0, 2);
    if (cur >= 0 && p->seek(p->sender, cur, 0) != cur)
        size = -1;
    p->size = size < 0 ? -1 : size;
    return p->size;
}

/* Only absolute and relative moves reach the source; a move from the end is
 * made absolute here, so the source's own reading of an offset from the end
 * does not matter. */
static int64_t io_seek(void* opaque, int64_t offset, int whence)
{
    inst_priv* p = opaque;
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return source_size(p);
    if (whence == SEEK_END) {
        int64_t size = source_size(p);
        if (size < 0)
            return -1;
        offset += size;
        whence = SEEK_SET;
    }
    if (whence != SEEK_SET && whence != SEEK_CUR)
        return -1;
    if (whence == SEEK_SET && offset < 0)
        return -1;
    int64_t pos = p->seek(p->sender, offset, whence);
    return pos < 0 ? -1 : pos;
}

/* A file never makes the library open another file or a network address
 * (playlists, references in containers). */
static int refuse_io_open(struct AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                          AVDictionary** options)
{
    (void)s; (void)pb; (void)url; (void)flags; (void)options;
    return AVERROR(EPERM);
}

/* ---- instance ------------------------------------------------------------ */

void ac_mem_mgr(ac_alloc_fn alloc, ac_realloc_fn realloc_fn, ac_free_fn free_fn)
{
    pthread_once(&log_once, install_log);
    if (alloc && realloc_fn && free_fn) {
        mem_alloc = alloc;
        mem_realloc = realloc_fn;
        mem_free = free_fn;
    }
}

ac_instance* ac_init(void)
{
    pthread_once(&log_once, install_log);
    ac_instance* inst = alloc_zeroed(sizeof *inst);
    if (!inst)
        return NULL;
    inst->duration_ms = -1;
    return inst;
}

static void close_source(inst_priv* p)
{
    if (p->fmt)
        avformat_close_input(&p->fmt);
    if (p->io) {
        av_freep(&p->io->buffer);
        avio_context_free(&p->io);
    }
}

static int is_cd_track_file(AVIOContext* io)
{
    uint8_t head[12];
    int n = avio_read(io, head, sizeof head);
    int cd = n == (int)sizeof head && memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "CDDA", 4) == 0;
    /* Back to the start: the bytes are still in the I/O buffer, so this works
     * on a source that cannot seek too. */
    if (avio_seek(io, 0, SEEK_SET) != 0)
        return 1;
    return cd;
}

int32_t ac_open(ac_instance* inst, void* sender, ac_open_fn open, ac_read_fn read, ac_seek_fn seek,
                ac_close_fn close)
{
    (void)open; (void)close;
    if (!inst || !read || inst->priv)
        return 0;
    inst_priv* p = alloc_zeroed(sizeof *p);
    if (!p)
        return 0;
    p->sender = sender;
    p->read = read;
    p->seek = seek;
    p->size = -2;
    inst->priv = p;

    uint8_t* buffer = av_malloc(kIoBufferSize);
    if (!buffer)
        return 0;
    p->io = avio_alloc_context(buffer, kIoBufferSize, 0, p, io_read, NULL, seek ? io_seek : NULL);
    if (!p->io) {
        av_free(buffer);
        return 0;
    }
    if (!seek)
        p->io->seekable = 0;
    if (is_cd_track_file(p->io))
        goto fail;

    p->fmt = avformat_alloc_context();
    if (!p->fmt)
        goto fail;
    p->fmt->pb = p->io;
    p->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    p->fmt->probesize = kProbeSize;
    p->fmt->max_probe_packets = kProbePackets;
    p->fmt->io_open = refuse_io_open;
    if (avformat_open_input(&p->fmt, "", NULL, NULL) < 0)
        goto fail; /* frees fmt and clears the pointer */
    if (avformat_find_stream_info(p->fmt, NULL) < 0)
        goto fail;

    int audio = 0;
    for (unsigned i = 0; i < p->fmt->nb_streams; ++i)
        if (p->fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio = 1;
    if (!audio)
        goto fail;

    inst->stream_count = (int32_t)p->fmt->nb_streams;
    inst->duration_ms = p->fmt->duration == AV_NOPTS_VALUE || p->fmt->duration < 0
                            ? -1
                            : (p->fmt->duration + 500) / 1000;
    inst->opened = 1;
    return 1;

fail:
    close_source(p);
    inst->stream_count = 0;
    inst->duration_ms = -1;
    return 0;
}

static AVStream* stream_at(ac_instance* inst, int32_t index)
{
    if (!inst || !inst->opened || !inst->priv)
        return NULL;
    inst_priv* p = inst->priv;
    if (index < 0 || (unsigned)index >= p->fmt->nb_streams)
        return NULL;
    return p->fmt->streams[index];
}

int32_t ac_get_stream_info(ac_instance* inst, int32_t index, ac_stream_info* info)
{
    AVStream* st = stream_at(inst, index);
    if (!st || !info)
        return 0;
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO: info->stream_type = AC_STREAM_AUDIO; break;
    case AVMEDIA_TYPE_VIDEO: info->stream_type = AC_STREAM_VIDEO; break;
    case AVMEDIA_TYPE_SUBTITLE: info->stream_type = AC_STREAM_SUBTITLE; break;
    case AVMEDIA_TYPE_DATA: info->stream_type = AC_STREAM_DATA; break;
    default: info->stream_type = AC_STREAM_UNKNOWN; break;
    }
    return 1;
}

void ac_free(ac_instance* inst)
{
    if (!inst)
        return;
    inst_priv* p = inst->priv;
    if (p) {
        if (p->decoder)
            p->decoder->instance = NULL;
        close_source(p);
        mem_free(p);
    }
    mem_free(inst);
}

/* ---- decoder ------------------------------------------------------------- */

static int is_short_integer(enum AVSampleFormat f)
{
    return f == AV_SAMPLE_FMT_U8 || f == AV_SAMPLE_FMT_U8P || f == AV_SAMPLE_FMT_S16 || f == AV_SAMPLE_FMT_S16P;
}

static void free_dec_priv(dec_priv* d)
{
    avcodec_free_context(&d->cc);
    av_frame_free(&d->frame);
    swr_free(&d->swr);
    av_channel_layout_uninit(&d->out_layout);
}

ac_decoder* ac_create_decoder(ac_instance* inst, int32_t index)
{
    AVStream* st = stream_at(inst, index);
    if (!st || st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return NULL;
    inst_priv* p = inst->priv;
    if (p->decoder)
        return NULL;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return NULL;

    dec_priv d;
    memset(&d, 0, sizeof d);
    d.cc = avcodec_alloc_context3(codec);
    d.frame = av_frame_alloc();
    if (!d.cc || !d.frame || avcodec_parameters_to_context(d.cc, st->codecpar) < 0)
        goto fail;
    d.cc->pkt_timebase = st->time_base;
    if (avcodec_open2(d.cc, codec, NULL) < 0)
        goto fail;
    int channels = d.cc->ch_layout.nb_channels;
    if (d.cc->sample_rate <= 0 || channels <= 0 || channels > kMaxChannels)
        goto fail;

    enum AVSampleFormat source = d.cc->sample_fmt != AV_SAMPLE_FMT_NONE ? d.cc->sample_fmt
                                                                         : (enum AVSampleFormat)st->codecpar->format;
    d.out_fmt = is_short_integer(source) ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
    d.out_frame_bytes = av_get_bytes_per_sample(d.out_fmt) * channels;
    if (d.cc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&d.out_layout, channels);
    } else if (av_channel_layout_copy(&d.out_layout, &d.cc->ch_layout) < 0) {
        goto fail;
    }
    d.in_fmt = -1;
    d.time_base = st->time_base;
    d.start_pts = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;

    ac_decoder* dec = alloc_zeroed(sizeof *dec);
    dec_priv* dp = dec ? alloc_zeroed(sizeof *dp) : NULL;
    if (!dp) {
        mem_free(dec);
        goto fail;
    }
    *dp = d;
    dec->priv = dp;
    dec->samples_per_second = d.cc->sample_rate;
    dec->bits_per_sample = d.out_fmt == AV_SAMPLE_FMT_S16 ? 16 : 32;
    dec->channels = channels;
    dec->stream_index = index;
    dec->instance = inst;
    p->decoder = dec;
    for (unsigned i = 0; i < p->fmt->nb_streams; ++i)
        p->fmt->streams[i]->discard = (int)i == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    return dec;

fail:
    free_dec_priv(&d);
    return NULL;
}

void ac_free_decoder(ac_decoder* dec)
{
    if (!dec)
        return;
    if (dec->instance && dec->instance->priv) {
        inst_priv* p = dec->instance->priv;
        if (p->decoder == dec)
            p->decoder = NULL;
    }
    dec_priv* d = dec->priv;
    if (d) {
        free_dec_priv(d);
        mem_free(d);
    }
    mem_free(dec->buffer);
    mem_free(dec);
}

/* ---- packages ------------------------------------------------------------ */

ac_package* ac_read_package(ac_instance* inst)
{
    if (!inst || !inst->opened || !inst->priv)
        return NULL;
    inst_priv* p = inst->priv;
    if (p->at_end)
        return NULL;
    ac_package* pkg = alloc_zeroed(sizeof *pkg);
    if (!pkg)
        return NULL;
    AVPacket* pkt = av_packet_alloc();
    if (pkt) {
        int retries = 0;
        for (;;) {
            int ret = av_read_frame(p->fmt, pkt);
            if (ret >= 0) {
                if (p->decoder && pkt->stream_index != p->decoder->stream_index) {
                    av_packet_unref(pkt);
                    continue;
                }
                pkg->stream_index = pkt->stream_index;
                pkg->priv = pkt;
                return pkg;
            }
            if (ret == AVERROR(EAGAIN) && ++retries < kMaxReadRetries)
                continue;
            break;
        }
        av_packet_free(&pkt);
    }
    /* The end (or an error the demuxer cannot get past): one empty package
     * that drains the decoder, then nothing. */
    p->at_end = 1;
    if (!p->decoder) {
        mem_free(pkg);
        return NULL;
    }
    pkg->stream_index = p->decoder->stream_index;
    return pkg;
}

void ac_free_package(ac_package* pkg)
{
    if (!pkg)
        return;
    AVPacket* pkt = pkg->priv;
    av_packet_free(&pkt);
    mem_free(pkg);
}

/* Sets swr up for the frame's format; 0 on failure. */
static int setup_converter(dec_priv* d, const AVFrame* f, int out_rate)
{
    int channels = f->ch_layout.nb_channels;
    if (d->swr && f->format == d->in_fmt && f->sample_rate == d->in_rate && channels == d->in_channels)
        return 1;
    swr_free(&d->swr);
    d->in_fmt = -1;
    if (channels <= 0 || channels > kMaxChannels || f->sample_rate <= 0)
        return 0;
    /* The same channel count is only repacked; another count is remixed
     * between the standard layouts of the two counts. */
    AVChannelLayout in_layout;
    if (channels == d->out_layout.nb_channels)
        av_channel_layout_copy(&in_layout, &d->out_layout);
    else if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in_layout, channels);
    else
        av_channel_layout_copy(&in_layout, &f->ch_layout);
    int ret = swr_alloc_set_opts2(&d->swr, &d->out_layout, d->out_fmt, out_rate, &in_layout,
                                  (enum AVSampleFormat)f->format, f->sample_rate, 0, NULL);
    av_channel_layout_uninit(&in_layout);
    if (ret < 0 || swr_init(d->swr) < 0) {
        swr_free(&d->swr);
        return 0;
    }
    d->in_fmt = f->format;
    d->in_rate = f->sample_rate;
    d->in_channels = channels;
    return 1;
}

static int reserve(ac_decoder* dec, dec_priv* d, size_t bytes)
{
    if (bytes <= d->capacity)
        return 1;
    if (bytes > kMaxBufferBytes)
        return 0;
    size_t cap = d->capacity ? d->capacity : 16384;
    while (cap < bytes)
        cap *= 2;
    void* buf = mem_realloc(dec->buffer, cap);
    if (!buf)
        return 0;
    dec->buffer = buf;
    d->capacity = cap;
    return 1;
}

/* Converts one decoded frame and appends it to dec->buffer, cutting what lies
 * before the seek target. */
static void append_frame(ac_decoder* dec, dec_priv* d, AVFrame* f)
{
    if (f->nb_samples <= 0)
        return;
    int rate = dec->samples_per_second;
    int in_rate = f->sample_rate > 0 ? f->sample_rate : rate;
    int64_t ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    int have_time = ts != AV_NOPTS_VALUE;
    double start = have_time ? (double)(ts - d->start_pts) * av_q2d(d->time_base) : d->next_s;
    d->next_s = start + (double)f->nb_samples / in_rate;

    /* After a seek: the first sample kept is the one at the target, in whole
     * samples (target x rate / 1000, rounded to nearest), so the cut does not
     * depend on floating-point rounding. */
    int64_t skip = 0; /* output samples cut at the start */
    if (d->trimming) {
        d->trimming = 0;
        if (have_time) {
            int64_t first = av_rescale_q(ts - d->start_pts, d->time_base, (AVRational){1, in_rate});
            int64_t cut = av_rescale(d->trim_ms, in_rate, 1000) - first;
            if (cut >= f->nb_samples) {
                d->trimming = 1;
                return;
            }
            if (cut > 0) {
                skip = av_rescale(cut, rate, in_rate);
                start = (double)(first + cut) / in_rate;
            }
        }
    }

    if (!setup_converter(d, f, rate))
        return;
    int room = swr_get_out_samples(d->swr, f->nb_samples);
    if (room <= 0)
        return;
    size_t used = (size_t)dec->buffer_size;
    if (!reserve(dec, d, used + (size_t)room * d->out_frame_bytes))
        return;
    uint8_t* out = (uint8_t*)dec->buffer + used;
    int n = swr_convert(d->swr, &out, room, (const uint8_t**)f->extended_data, f->nb_samples);
    if (n <= 0)
        return;
    if (skip >= n)
        return;
    if (skip > 0) {
        memmove(out, out + skip * d->out_frame_bytes, (size_t)(n - skip) * d->out_frame_bytes);
        n -= (int)skip;
    }
    if (used == 0)
        dec->timecode = start;
    dec->buffer_size += n * d->out_frame_bytes;
}

int32_t ac_decode_package(ac_package* pkg, ac_decoder* dec)
{
    if (!pkg || !dec || !dec->priv || pkg->stream_index != dec->stream_index)
        return 0;
    dec_priv* d = dec->priv;
    dec->buffer_size = 0;
    AVPacket* pkt = pkg->priv;
    if (d->flushed)
        return 0;
    int ret = avcodec_send_packet(d->cc, pkt);
    if (!pkt)
        d->flushed = 1;
    for (int round = 0; round < 2; ++round) {
        while (avcodec_receive_frame(d->cc, d->frame) == 0) {
            append_frame(dec, d, d->frame);
            av_frame_unref(d->frame);
        }
        /* The decoder was full: its frames are out now, so the package fits. */
        if (ret != AVERROR(EAGAIN))
            break;
        ret = avcodec_send_packet(d->cc, pkt);
    }
    return dec->buffer_size;
}

int32_t ac_seek(ac_decoder* dec, int32_t direction, int64_t target_ms)
{
    (void)direction; /* the target alone decides */
    if (!dec || !dec->priv || !dec->instance || !dec->instance->priv)
        return 0;
    inst_priv* p = dec->instance->priv;
    dec_priv* d = dec->priv;
    if (!p->seek)
        return 0;
    if (target_ms < 0)
        target_ms = 0;
    int64_t ts = d->start_pts + av_rescale_q(target_ms, (AVRational){1, 1000}, d->time_base);
    /* A key position at or before the target, so the cut below can make the
     * first sample the target's; where the format has none, the nearest. */
    if (avformat_seek_file(p->fmt, dec->stream_index, INT64_MIN, ts, ts, 0) < 0 &&
        avformat_seek_file(p->fmt, dec->stream_index, INT64_MIN, ts, INT64_MAX, 0) < 0)
        return 0;
    avcodec_flush_buffers(d->cc);
    swr_free(&d->swr);
    d->in_fmt = -1;
    d->flushed = 0;
    d->trimming = 1;
    d->trim_ms = target_ms;
    d->next_s = target_ms / 1000.0;
    p->at_end = 0;
    dec->buffer_size = 0;
    dec->timecode = d->next_s;
    return 1;
}
