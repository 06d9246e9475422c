#pragma once
// Drives libmediadec over bytes in memory the way the player's decoder does:
// open, the first audio stream that gets a decoder, then packages in a loop.
// Shared by the tests, the fuzz target and the benchmark.

#include "mediadec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

// A byte source in memory behind the read and seek callbacks; a seek from the
// end adds the offset to the size. Records every seek call's origin.
struct TMemorySource {
    const uint8_t* Data = nullptr;
    int64_t Size = 0;
    int64_t Pos = 0;
    std::vector<int32_t> Origins;

    static int32_t Read(void* sender, void* buffer, int32_t size)
    {
        auto* s = static_cast<TMemorySource*>(sender);
        const int64_t n = size <= 0 || s->Pos >= s->Size ? 0 : std::min<int64_t>(size, s->Size - s->Pos);
        if (n > 0)
            std::memcpy(buffer, s->Data + s->Pos, size_t(n));
        s->Pos += n;
        return int32_t(n);
    }
    static int64_t Seek(void* sender, int64_t position, int32_t whence)
    {
        auto* s = static_cast<TMemorySource*>(sender);
        s->Origins.push_back(whence);
        const int64_t base = whence == 0 ? 0 : whence == 1 ? s->Pos : whence == 2 ? s->Size : -1;
        if (base < 0 || base + position < 0)
            return -1;
        s->Pos = base + position;
        return s->Pos;
    }
};

class TMediaDecSession {
public:
    TMediaDecSession(const void* data, size_t size, bool seekable = true)
    {
        FSource.Data = static_cast<const uint8_t*>(data);
        FSource.Size = int64_t(size);
        Instance = ac_init();
        ac_open(Instance, &FSource, nullptr, TMemorySource::Read, seekable ? TMemorySource::Seek : nullptr, nullptr);
        for (int32_t i = 0; i < Instance->stream_count && !Decoder; ++i) {
            ac_stream_info info{};
            if (ac_get_stream_info(Instance, i, &info) && info.stream_type == AC_STREAM_AUDIO)
                Decoder = ac_create_decoder(Instance, i);
        }
    }
    ~TMediaDecSession()
    {
        ac_free_decoder(Decoder);
        ac_free(Instance);
    }
    TMediaDecSession(const TMediaDecSession&) = delete;
    TMediaDecSession& operator=(const TMediaDecSession&) = delete;

    bool Opened() const { return Instance->opened && Decoder; }
    int FrameBytes() const { return Decoder->channels * Decoder->bits_per_sample / 8; }

    // One package: 1 audio was appended to out (its timecode in *timecode),
    // 0 none this time, 2 the end.
    int Next(std::vector<uint8_t>* out, double* timecode = nullptr)
    {
        ac_package* pkg = ac_read_package(Instance);
        if (!pkg)
            return 2;
        int result = 0;
        if (pkg->stream_index == Decoder->stream_index && ac_decode_package(pkg, Decoder) > 0) {
            const auto* b = static_cast<const uint8_t*>(Decoder->buffer);
            if (out)
                out->insert(out->end(), b, b + Decoder->buffer_size);
            if (timecode)
                *timecode = Decoder->timecode;
            result = 1;
        }
        ac_free_package(pkg);
        return result;
    }

    // Decodes to the end, or maxPackages packages; Ended tells which.
    std::vector<uint8_t> ReadAll(int maxPackages = 1 << 22)
    {
        std::vector<uint8_t> out;
        Ended = false;
        for (int i = 0; i < maxPackages && Opened(); ++i)
            if (Next(&out) == 2) {
                Ended = true;
                break;
            }
        return out;
    }

    TMemorySource FSource;
    ac_instance* Instance = nullptr;
    ac_decoder* Decoder = nullptr;
    bool Ended = false;
};
