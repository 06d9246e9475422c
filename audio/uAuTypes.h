#pragma once
// The records the audio engine passes between decoders, filters and drivers,
// and the sample conversions between integer PCM and 32-bit float.

#include <QString>

#include <atomic>
#include <cstdint>

// A stream of 32-bit float samples, interleaved by channel.
struct TAuAudioParameters {
    std::int32_t Frequency = 0;   // samples per second per channel
    std::int32_t Channels = 0;
    std::int32_t Reserved = 0;
};

// An integer (8 or 16 bits) or float (32 bits) PCM stream.
struct TAuDriverParameters {
    std::int32_t Frequency = 0;
    std::int32_t Channels = 0;
    std::int32_t Reserved = 0;
    std::int32_t BitDepth = 0;
};

static_assert(sizeof(TAuAudioParameters) == 12);
static_assert(sizeof(TAuDriverParameters) == 16);

// One output device as a driver hands it out.
struct TAuDevice {
    QString Name;                  // at most 255 characters
    std::int32_t ID = 0;
    std::int32_t Priority = 0;
    std::uint32_t Data = 0;        // not used
};

// Travels with every read through the filter chain.
enum : std::uint8_t { ausReset = 0, ausData = 1, ausEnd = 2 };

struct TAuSyncData {
    std::int32_t Timecode = 0;     // stream position in ms of the data just read
    std::uint8_t State = ausReset;
};

// Same timecode and same state byte.
bool SameSyncData(const TAuSyncData& a, const TAuSyncData& b);

// A TAuSyncData that one thread writes and another reads without a lock.
class TAuAtomicSyncData {
public:
    TAuSyncData Load() const;
    void Store(const TAuSyncData& data);

private:
    std::atomic<std::uint64_t> FPacked{0};
};

// Frequency equal and the low bytes of Channels equal; the other fields are ignored.
bool SameParameters(const TAuAudioParameters& a, const TAuAudioParameters& b);
bool SameParameters(const TAuDriverParameters& a, const TAuDriverParameters& b);
TAuAudioParameters MakeParameters(std::int32_t frequency, std::int32_t channels, std::int32_t reserved = 0);
TAuDriverParameters MakeDriverParameters(std::int32_t frequency, std::int32_t channels, std::int32_t bitDepth,
                                         std::int32_t reserved = 0);
TAuDriverParameters ToDriverParameters(const TAuAudioParameters& p, std::int32_t bitDepth);

// Byte arithmetic on a stream. A record with no whole frame (zero channels or
// fewer than 8 bits) has no frames: the counts that divide by the frame size are 0.
std::int64_t BytesPerSecond(const TAuDriverParameters& p);
std::int64_t FloatBytesPerSecond(const TAuDriverParameters& p);
std::int32_t BytesPerFrame(const TAuDriverParameters& p);
std::int32_t FloatBytesPerFrame(const TAuDriverParameters& p);
std::int64_t FrameCount(std::int64_t bytes, const TAuDriverParameters& p);
std::int64_t ConvertByteCount(std::int64_t bytes, const TAuDriverParameters& from, const TAuDriverParameters& to);

// One sample at 8 (unsigned), 16 (signed) or 32 (float) bits; the pointer
// advances by the sample's size. Other depths read 0.0 / write nothing and do
// not move the pointer.
float ReadSample(const std::uint8_t*& p, std::int32_t bitDepth);
void WriteSample(std::uint8_t*& p, std::int32_t bitDepth, float value);
// Above 1 gives 1; below -1, and not-a-number, give -1.
float ClampSample(float v);
// frames x Channels samples from PCM to float, and back (with clamping).
void ToFloat(const TAuDriverParameters& p, const void* source, float* destination, std::int64_t frames);
void FromFloat(const TAuDriverParameters& p, const float* source, void* destination, std::int64_t frames);
// 10 ^ (dB / 10): -6 dB gives 0.251, +10 dB gives 10.
float DbToFactor(double dB);
// Round half to even, the rounding of every audio computation.
std::int64_t RoundEven(double v);
