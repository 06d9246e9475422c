#pragma once
// Output drivers. A driver lists devices and makes stream drivers; a stream
// driver owns one playing stream and is fed by the player's idle thread
// through Idle, which pulls the samples through a read callback.

#include "audio/uAcClasses.h"
#include "audio/uAuTypes.h"

#include <cstdint>
#include <functional>
#include <memory>

// Fills buffer with up to count bytes in the stream driver's format and
// updates sync (the position and state of the data read); returns the bytes
// written.
using TAuReadCallback = std::function<std::int32_t(void* buffer, std::int32_t count, TAuSyncData& sync)>;

class TAuAudioDriver : public TAcPersistent {
public:
    static constexpr const char* ClassName = "TAuAudioDriver";
    using ClassBase = TAcPersistent;

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual bool Open() = 0;
    virtual void Close() = 0;

    const TAuDriverParameters& Parameters() const { return FParameters; }

protected:
    TAuDriverParameters FParameters;
    std::uint8_t FState = 0;
};

class TAuStreamDriver : public TAuAudioDriver {
public:
    static constexpr const char* ClassName = "TAuStreamDriver";
    using ClassBase = TAuAudioDriver;

    // Hands data to the device when there is room; true when it wrote data
    // (the idle thread then calls again at once).
    virtual bool Idle(const TAuReadCallback& read) = 0;

    // The position and state of the data last handed to the device. Written by
    // Idle on the idle thread, read by the idle thread's watcher; atomic.
    TAuSyncData SyncData() const { return FSyncData.Load(); }
    // Milliseconds of audio the stream driver holds ahead of the listener.
    std::int32_t Delay() const { return FDelay; }

protected:
    TAuAtomicSyncData FSyncData;
    std::int32_t FDelay = 0;
};

class TAuDriver : public TAcPersistent {
public:
    static constexpr const char* ClassName = "TAuDriver";
    using ClassBase = TAcPersistent;

    virtual void EnumDevices(const std::function<void(const TAuDevice&)>& callback) = 0;
    // A new stream driver on the device, nullptr when it cannot be made.
    virtual std::unique_ptr<TAuStreamDriver> CreateStreamDriver(std::int32_t deviceID,
                                                                const TAuDriverParameters& parameters) = 0;
    std::int32_t Priority() const { return FPriority; }

protected:
    std::int32_t FPriority = 0;
};
