#include "audio/uAuTypes.h"

#include <cmath>
#include <cstring>

bool SameSyncData(const TAuSyncData& a, const TAuSyncData& b)
{
    return a.Timecode == b.Timecode && a.State == b.State;
}

TAuSyncData TAuAtomicSyncData::Load() const
{
    const std::uint64_t packed = FPacked.load();
    TAuSyncData data;
    data.Timecode = static_cast<std::int32_t>(static_cast<std::uint32_t>(packed & 0xFFFFFFFFu));
    data.State = static_cast<std::uint8_t>(packed >> 32);
    return data;
}

void TAuAtomicSyncData::Store(const TAuSyncData& data)
{
    FPacked.store(static_cast<std::uint64_t>(static_cast<std::uint32_t>(data.Timecode))
                  | (static_cast<std::uint64_t>(data.State) << 32));
}

bool SameParameters(const TAuAudioParameters& a, const TAuAudioParameters& b)
{
    return a.Frequency == b.Frequency && (a.Channels & 0xFF) == (b.Channels & 0xFF);
}

bool SameParameters(const TAuDriverParameters& a, const TAuDriverParameters& b)
{
    return a.Frequency == b.Frequency && (a.Channels & 0xFF) == (b.Channels & 0xFF);
}

TAuAudioParameters MakeParameters(std::int32_t frequency, std::int32_t channels, std::int32_t reserved)
{
    return TAuAudioParameters{frequency, channels, reserved};
}

TAuDriverParameters MakeDriverParameters(std::int32_t frequency, std::int32_t channels, std::int32_t bitDepth,
                                         std::int32_t reserved)
{
    return TAuDriverParameters{frequency, channels, reserved, bitDepth};
}

TAuDriverParameters ToDriverParameters(const TAuAudioParameters& p, std::int32_t bitDepth)
{
    return TAuDriverParameters{p.Frequency, p.Channels, p.Reserved, bitDepth};
}

std::int64_t BytesPerSecond(const TAuDriverParameters& p)
{
    return static_cast<std::int64_t>(p.Frequency) * p.Channels * p.BitDepth / 8;
}

std::int64_t FloatBytesPerSecond(const TAuDriverParameters& p)
{
    return static_cast<std::int64_t>(p.Frequency) * p.Channels * 4;
}

std::int32_t BytesPerFrame(const TAuDriverParameters& p)
{
    return p.Channels * (p.BitDepth / 8);
}

std::int32_t FloatBytesPerFrame(const TAuDriverParameters& p)
{
    return p.Channels * 4;
}

std::int64_t FrameCount(std::int64_t bytes, const TAuDriverParameters& p)
{
    const std::int32_t frame = BytesPerFrame(p);
    return frame > 0 ? bytes / frame : 0;
}

std::int64_t ConvertByteCount(std::int64_t bytes, const TAuDriverParameters& from, const TAuDriverParameters& to)
{
    return FrameCount(bytes, from) * BytesPerFrame(to);
}

std::int64_t RoundEven(double v)
{
    return static_cast<std::int64_t>(std::nearbyint(v));
}

float ClampSample(float v)
{
    if (v > 1.0f)
        return 1.0f;
    if (!(v >= -1.0f))
        return -1.0f;
    return v;
}

float ReadSample(const std::uint8_t*& p, std::int32_t bitDepth)
{
    switch (bitDepth) {
    case 8: {
        const float v = (static_cast<float>(*p) - 127.0f) / 127.0f;
        p += 1;
        return v;
    }
    case 16: {
        std::int16_t s;
        std::memcpy(&s, p, 2);
        p += 2;
        return static_cast<float>(s) / 32767.0f;
    }
    case 32: {
        float f;
        std::memcpy(&f, p, 4);
        p += 4;
        return f;
    }
    default:
        return 0.0f;
    }
}

void WriteSample(std::uint8_t*& p, std::int32_t bitDepth, float value)
{
    const double v = ClampSample(value);
    switch (bitDepth) {
    case 8:
        *p = static_cast<std::uint8_t>(RoundEven((v + 1.0) / 2.0 * 255.0));
        p += 1;
        break;
    case 16: {
        const auto s = static_cast<std::int16_t>(RoundEven(v * 32767.0));
        std::memcpy(p, &s, 2);
        p += 2;
        break;
    }
    case 32: {
        const float f = static_cast<float>(v);
        std::memcpy(p, &f, 4);
        p += 4;
        break;
    }
    default:
        break;
    }
}

void ToFloat(const TAuDriverParameters& p, const void* source, float* destination, std::int64_t frames)
{
    const auto* in = static_cast<const std::uint8_t*>(source);
    const std::int64_t samples = frames * p.Channels;
    for (std::int64_t i = 0; i < samples; ++i)
        destination[i] = ReadSample(in, p.BitDepth);
}

void FromFloat(const TAuDriverParameters& p, const float* source, void* destination, std::int64_t frames)
{
    auto* out = static_cast<std::uint8_t*>(destination);
    const std::int64_t samples = frames * p.Channels;
    for (std::int64_t i = 0; i < samples; ++i)
        WriteSample(out, p.BitDepth, source[i]);
}

float DbToFactor(double dB)
{
    return static_cast<float>(std::pow(10.0, dB / 10.0));
}
