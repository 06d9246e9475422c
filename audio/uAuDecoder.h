#pragma once
// A decoder turns the bytes of one protocol into blocks of integer or float
// PCM, each with its timecode. The player tries the registered decoders in
// registration order; the first whose OpenDecoder succeeds plays the file.

#include "audio/uAcClasses.h"
#include "audio/uAuTypes.h"

#include <cstdint>

class TAuProtocol;

// One decoded block. Buffer is the decoder's and valid until its next Decode.
struct TAuDecoderData {
    std::int32_t Timecode = 0;   // ms from the start of the stream
    std::int32_t Size = 0;       // bytes
    void* Buffer = nullptr;
};

enum : std::int32_t { audNothing = 0, audData = 1, audEnd = 2 };

class TAuDecoder : public TAcPersistent {
public:
    static constexpr const char* ClassName = "TAuDecoder";
    using ClassBase = TAcPersistent;

    explicit TAuDecoder(TAuProtocol* protocol) : FProtocol(protocol) {}
    // A derived decoder's destructor calls its own CloseDecoder.
    ~TAuDecoder() override = default;

    virtual void GetInfo(TAuDriverParameters& info) = 0;
    // True when this decoder can play the protocol's data.
    virtual bool OpenDecoder() = 0;
    virtual void CloseDecoder() = 0;
    // audNothing (call again), audData (a block is ready) or audEnd.
    virtual std::int32_t Decode() = 0;
    virtual void GetData(TAuDecoderData& data) = 0;
    virtual bool SeekTo(std::int32_t currentMs, std::int32_t targetMs) = 0;
    // Milliseconds, -1 when unknown.
    virtual std::int32_t GetLength() = 0;

    TAuProtocol* Protocol() const { return FProtocol; }

protected:
    TAuProtocol* FProtocol;   // not owned
};
