#pragma once
// The decoder over the media decoder library libmediadec.so in the program
// folder: compressed formats and anything else that library opens. The
// library is bound once at start-up by RegisterMediaDecDecoder; without it the
// decoder is not registered and the program plays WAV files only.

#include "audio/mediadec/mediadec.h"
#include "audio/uAuDecoder.h"

#include <cstdint>
#include <mutex>

// The block timecode: the library's timecode when it moves on; several blocks
// under one library timecode count on by their own lengths.
class TAuMediaDecClock {
public:
    // The timecode (ms) of a block of frames at frequency whose library
    // timecode is librarySeconds.
    std::int64_t Next(double librarySeconds, std::int64_t frames, std::int32_t frequency);

private:
    bool FHaveLast = false;
    std::int64_t FLast = 0;      // last library timecode, ms
    std::int64_t FRunning = 0;   // timecode handed out, ms
};

class TAuMediaDecDecoder : public TAuDecoder {
public:
    static constexpr const char* ClassName = "TAuMediaDecDecoder";
    using ClassBase = TAuDecoder;

    explicit TAuMediaDecDecoder(TAuProtocol* protocol);
    ~TAuMediaDecDecoder() override;

    void GetInfo(TAuDriverParameters& info) override;
    bool OpenDecoder() override;
    void CloseDecoder() override;
    std::int32_t Decode() override;
    void GetData(TAuDecoderData& data) override;
    // Hands the seek to the decoder thread: the next Decode carries it out.
    bool SeekTo(std::int32_t currentMs, std::int32_t targetMs) override;
    std::int32_t GetLength() override;

    // The callbacks handed to ac_open; sender is the decoder. The seek
    // callback answers an origin outside 0..2 with -1 without touching the
    // protocol.
    static std::int32_t ReadCallback(void* sender, void* buffer, std::int32_t size);
    static std::int64_t SeekCallback(void* sender, std::int64_t position, std::int32_t whence);

private:

    ac_instance* FInstance = nullptr;
    ac_decoder* FDecoder = nullptr;
    TAuMediaDecClock FClock;
    // A seek waiting for the decoder thread; SeekTo runs on the player's thread.
    std::mutex FSeekLock;
    bool FSeekPending = false;
    std::int64_t FSeekTarget = 0;
    std::int32_t FSeekStream = 0;
    std::int32_t FSeekDirection = 0;   // 0 forward, -1 backward
};

// Binds libmediadec.so in the program folder, hands it the memory functions
// and registers TAuMediaDecDecoder. False, with nothing registered, when the
// library or one of its entries is missing.
bool RegisterMediaDecDecoder();
