// libmediadec on any bytes, fed from memory through its read and seek
// callbacks: probing, the demuxer and decoder FFmpeg picks, a seek chosen by
// the input, and every package to the end (or a bounded number of them).
// The first byte chooses: bit 0 a seekable source, the rest the seek target.

#include "MediaDecSession.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    if (size < 1)
        return 0;
    const bool seekable = data[0] & 1;
    const std::int64_t seekMs = (data[0] >> 1) * 40;
    TMediaDecSession s(data + 1, size - 1, seekable);
    if (!s.Opened())
        return 0;
    const int frameBytes = s.FrameBytes();
    if (frameBytes <= 0 || s.Decoder->samples_per_second <= 0 ||
        (s.Decoder->bits_per_sample != 16 && s.Decoder->bits_per_sample != 32))
        std::abort();
    for (int i = 0; i < 256; ++i) {
        if (i == 4 && seekable)
            ac_seek(s.Decoder, 0, seekMs);
        if (s.Next(nullptr) == 2)
            break;
        // Whole frames only, and a timecode that is a number.
        if (s.Decoder->buffer_size < 0 || s.Decoder->buffer_size % frameBytes != 0 ||
            !std::isfinite(s.Decoder->timecode))
            std::abort();
    }
    return 0;
}
