#pragma once
// The decoder of RIFF/WAVE files with 8- or 16-bit integer PCM.

#include "audio/uAuDecoder.h"

#include <cstdint>
#include <vector>

class TAuWAVFile {
public:
    // Reads the header from the protocol's current position. Valid tells whether
    // the file can be played.
    void Open(TAuProtocol* protocol);
    // Up to frames frames; timecode gets the position of the first of them.
    std::int32_t ReadData(void* buffer, std::int32_t frames, std::int32_t& timecode);
    bool Seek(std::int32_t ms);
    std::int32_t Length() const;
    void Forget();

    bool Valid = false;
    TAuDriverParameters Parameters;
    std::uint32_t DataSize = 0;   // bytes of the data chunk as the header claims it
    std::uint32_t DataPos = 0;    // bytes of the data chunk consumed
    std::int64_t BytesPerSecond = 0;
    std::int32_t BytesPerFrame = 0;

private:
    bool ReadExact(void* buffer, std::int32_t count);
    bool FindChunk(const char id[4]);

    TAuProtocol* FProtocol = nullptr;
};

class TAuWAVDecoder : public TAuDecoder {
public:
    static constexpr const char* ClassName = "TAuWAVDecoder";
    using ClassBase = TAuDecoder;

    explicit TAuWAVDecoder(TAuProtocol* protocol);
    ~TAuWAVDecoder() override;

    void GetInfo(TAuDriverParameters& info) override;
    bool OpenDecoder() override;
    void CloseDecoder() override;
    std::int32_t Decode() override;
    void GetData(TAuDecoderData& data) override;
    bool SeekTo(std::int32_t currentMs, std::int32_t targetMs) override;
    std::int32_t GetLength() override;

protected:
    // Lets a derived decoder read through a protocol of its own.
    void SetProtocol(TAuProtocol* protocol) { FProtocol = protocol; }

private:
    TAuWAVFile FFile;
    std::vector<std::uint8_t> FBlock;
    std::int32_t FBlockFrames = 0;   // frames a block holds
    TAuDecoderData FData;
};

void RegisterWAVDecoder();
