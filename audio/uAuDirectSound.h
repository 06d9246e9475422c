#pragma once
// The sound-card output driver: one device per PCM output the platform lists
// (PV_AUDIO_OUTPUT chooses ALSA, the paced null device or the WAV device).
// Its stream driver keeps about 0.1 s of audio queued in the device, topped up
// in quarters (25 ms chunks) by the player's idle thread.

#include "audio/uAcSync.h"
#include "audio/uAuDriver.h"
#include "platform/PcmOut.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The ring and chunk sizes of a stream: ring = Round(Frequency x 0.1) frames,
// chunk = Round(ring x 0.25) frames (half to even). Zero sizes for a stream
// without whole frames.
struct TAuRingSizes {
    std::int32_t BytesPerFrame = 0;
    std::int32_t RingFrames = 0;
    std::int32_t ChunkFrames = 0;
    std::int32_t RingBytes() const { return RingFrames * BytesPerFrame; }
    std::int32_t ChunkBytes() const { return ChunkFrames * BytesPerFrame; }
};
TAuRingSizes RingSizesFor(const TAuDriverParameters& parameters);

class TAuDirectSoundStreamDriver : public TAuStreamDriver {
public:
    static constexpr const char* ClassName = "TAuDirectSoundStreamDriver";
    using ClassBase = TAuStreamDriver;

    using TDeviceOpener = std::function<std::unique_ptr<TPcmOut>()>;

    // format is the stream's wave format; sizes come from RingSizesFor and
    // hold at least one whole chunk.
    TAuDirectSoundStreamDriver(TDeviceOpener device, const TAuDriverParameters& parameters,
                               const TWaveFormat& format, const TAuRingSizes& sizes);
    ~TAuDirectSoundStreamDriver() override;

    // State: 0 closed, 1 open and stopped, 2 paused, 3 playing.
    bool Open() override;        // opens the device stream (state 1); false when it is open already or refuses
    void Play() override;        // opens the device again after a Stop; state 3
    void Pause() override;       // from 3: the device holds its position; state 2
    void Stop() override;        // from 1, 2 or 3: drops the queued audio, closes the device; state 1
    void Close() override;       // in state 1: closes the device
    // Tops the device up while playing: when more than a chunk is free, reads
    // every whole free chunk through read and queues it.
    bool Idle(const TAuReadCallback& read) override;

    std::uint8_t State();
    const TWaveFormat& WaveFormat() const { return FWaveFormat; }
    const TAuRingSizes& Sizes() const { return FSizes; }

private:
    bool OpenLocked();
    void StopLocked();
    bool WriteAll(const std::uint8_t* data, std::int64_t frames);

    TAcMutex FMutex;
    TDeviceOpener FDevice;
    std::unique_ptr<TPcmOut> FPcm;   // the open device stream; nullptr when closed
    TWaveFormat FWaveFormat;
    TAuRingSizes FSizes;
    std::vector<std::uint8_t> FScratch;
};

class TAuDirectSoundDriver : public TAuDriver {
public:
    static constexpr const char* ClassName = "TAuDirectSoundDriver";
    using ClassBase = TAuDriver;

    // The devices PV_AUDIO_OUTPUT selects.
    TAuDirectSoundDriver();
    explicit TAuDirectSoundDriver(std::vector<TPcmDevice> devices);

    // Name = the description, ID = the list index, Priority 1 for the system's
    // default device and 0 for the others.
    void EnumDevices(const std::function<void(const TAuDevice&)>& callback) override;
    // nullptr for an ID outside the list and for parameters without a valid
    // wave format or without a whole chunk.
    std::unique_ptr<TAuStreamDriver> CreateStreamDriver(std::int32_t deviceID,
                                                        const TAuDriverParameters& parameters) override;

private:
    std::vector<TPcmDevice> FDevices;
};

// Makes the driver known to the class registry (at start-up, before the
// bridge driver).
void RegisterDirectSoundDriver();
