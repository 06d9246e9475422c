#include "audio/uAuWAV.h"

#include "audio/uAuProtocol.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::int32_t BlockFrames = 512;
constexpr std::int32_t BlockBytes = 64 * 1024;
constexpr int ChunkWindow = 20;   // bytes a chunk may lie after the end of the previous read
} // namespace

bool TAuWAVFile::ReadExact(void* buffer, std::int32_t count)
{
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t total = 0;
    while (total < count) {
        const std::int32_t got = FProtocol->Read(out + total, count - total);
        if (got <= 0)
            return false;
        total += got;
    }
    return true;
}

bool TAuWAVFile::FindChunk(const char id[4])
{
    char window[4];
    if (!ReadExact(window, 4))
        return false;
    int extra = 0;
    while (std::memcmp(window, id, 4) != 0 && extra < ChunkWindow) {
        char next;
        if (FProtocol->Read(&next, 1) <= 0)
            break;
        std::memmove(window, window + 1, 3);
        window[3] = next;
        ++extra;
    }
    return std::memcmp(window, id, 4) == 0;
}

void TAuWAVFile::Open(TAuProtocol* protocol)
{
    Valid = false;
    DataPos = 0;
    FProtocol = protocol;
    if (!FProtocol)
        return;

    std::uint8_t riffSize[4];
    std::uint8_t fmt[20];
    std::uint8_t dataSize[4];
    if (!FindChunk("RIFF") || !ReadExact(riffSize, 4) || !FindChunk("WAVE") || !FindChunk("fmt ")
        || !ReadExact(fmt, sizeof fmt))
        return;
    auto u16 = [&](int at) { return static_cast<std::uint32_t>(fmt[at] | (fmt[at + 1] << 8)); };
    auto u32 = [](const std::uint8_t* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
               | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    };
    const std::uint32_t formatTag = u16(4);
    const std::uint32_t channels = u16(6);
    const std::uint32_t frequency = u32(fmt + 8);
    const std::uint32_t bits = u16(18);
    // Integer PCM only, and only the depths the sample conversion reads: a
    // 24-bit file would play as silence and a 32-bit one as full-scale noise.
    // Zero channels or a zero rate have no frames to play.
    if (formatTag != 1 || (bits != 8 && bits != 16) || channels == 0 || frequency == 0
        || frequency > 0x7FFFFFFFu)
        return;
    if (!FindChunk("data") || !ReadExact(dataSize, 4))
        return;

    DataSize = u32(dataSize);
    Parameters = MakeDriverParameters(static_cast<std::int32_t>(frequency), static_cast<std::int32_t>(channels),
                                      static_cast<std::int32_t>(bits));
    BytesPerSecond = ::BytesPerSecond(Parameters);
    BytesPerFrame = ::BytesPerFrame(Parameters);
    Valid = true;
}

std::int32_t TAuWAVFile::ReadData(void* buffer, std::int32_t frames, std::int32_t& timecode)
{
    if (!Valid || !FProtocol)
        return 0;
    std::int64_t want = static_cast<std::int64_t>(BytesPerFrame) * frames;
    if (want > static_cast<std::int64_t>(DataSize) - DataPos)
        want = static_cast<std::int64_t>(DataSize) - DataPos;
    timecode = static_cast<std::int32_t>(RoundEven(static_cast<double>(DataPos) / BytesPerSecond * 1000.0));
    if (want <= 0)
        return 0;
    const std::int32_t got = FProtocol->Read(buffer, static_cast<std::int32_t>(want));
    if (got > 0)
        DataPos += static_cast<std::uint32_t>(got);
    return got > 0 ? got : 0;
}

bool TAuWAVFile::Seek(std::int32_t ms)
{
    if (!Valid || !FProtocol || !FProtocol->Seekable())
        return false;
    std::int64_t byte = RoundEven(static_cast<double>(ms) * BytesPerSecond / 1000.0);
    byte = byte / BytesPerFrame * BytesPerFrame;
    if (byte < 0)
        byte = 0;
    if (byte > DataSize)
        byte = DataSize;
    FProtocol->Seek(auSeekFromCurrent, byte - DataPos);
    DataPos = static_cast<std::uint32_t>(byte);
    return true;
}

std::int32_t TAuWAVFile::Length() const
{
    if (!Valid)
        return -1;
    return static_cast<std::int32_t>(RoundEven(static_cast<double>(DataSize) / BytesPerSecond * 1000.0));
}

void TAuWAVFile::Forget()
{
    FProtocol = nullptr;
    Valid = false;
}

TAuWAVDecoder::TAuWAVDecoder(TAuProtocol* protocol) : TAuDecoder(protocol) {}

TAuWAVDecoder::~TAuWAVDecoder()
{
    TAuWAVDecoder::CloseDecoder();
}

void TAuWAVDecoder::GetInfo(TAuDriverParameters& info)
{
    info = FFile.Parameters;
}

bool TAuWAVDecoder::OpenDecoder()
{
    CloseDecoder();
    FFile.Open(FProtocol);
    if (!FFile.Valid)
        return false;
    // A block holds up to BlockFrames frames and up to BlockBytes bytes (one
    // frame at least): a header naming 65535 channels must not make every
    // open allocate and clear tens of megabytes.
    FBlockFrames = std::max<std::int32_t>(1, std::min<std::int32_t>(BlockFrames, BlockBytes / FFile.BytesPerFrame));
    FBlock.assign(static_cast<std::size_t>(FFile.BytesPerFrame) * static_cast<std::size_t>(FBlockFrames), 0);
    return true;
}

void TAuWAVDecoder::CloseDecoder()
{
    FFile.Forget();
    FBlock.clear();
    FData = TAuDecoderData{};
}

std::int32_t TAuWAVDecoder::Decode()
{
    if (FBlock.empty())
        return audEnd;
    std::int32_t timecode = 0;
    const std::int32_t got = FFile.ReadData(FBlock.data(), FBlockFrames, timecode);
    if (got <= 0)
        return audEnd;
    FData = TAuDecoderData{timecode, got, FBlock.data()};
    return audData;
}

void TAuWAVDecoder::GetData(TAuDecoderData& data)
{
    data = FData;
}

bool TAuWAVDecoder::SeekTo(std::int32_t /*currentMs*/, std::int32_t targetMs)
{
    if (!FProtocol || !FProtocol->Seekable())
        return false;
    return FFile.Seek(targetMs);
}

std::int32_t TAuWAVDecoder::GetLength()
{
    return FFile.Length();
}

void RegisterWAVDecoder()
{
    RegisterAudioClass<TAuWAVDecoder>(
        [](TAuProtocol* protocol) { return std::unique_ptr<TAcPersistent>(new TAuWAVDecoder(protocol)); });
}
