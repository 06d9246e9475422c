#include "audio/uAuDirectSound.h"

#include "framework/uErrorLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

TAuRingSizes RingSizesFor(const TAuDriverParameters& parameters)
{
    TAuRingSizes sizes;
    sizes.BytesPerFrame = BytesPerFrame(parameters);
    if (sizes.BytesPerFrame <= 0 || parameters.Frequency <= 0)
        return {};
    sizes.RingFrames = std::int32_t(RoundEven(parameters.Frequency * 0.1));
    sizes.ChunkFrames = std::int32_t(RoundEven(sizes.RingFrames * 0.25));
    return sizes;
}

// ---- TAuDirectSoundStreamDriver ----

TAuDirectSoundStreamDriver::TAuDirectSoundStreamDriver(TDeviceOpener device, const TAuDriverParameters& parameters,
                                                       const TWaveFormat& format, const TAuRingSizes& sizes)
    : FDevice(std::move(device)), FWaveFormat(format), FSizes(sizes)
{
    FParameters = parameters;
    FDelay = 100;
}

TAuDirectSoundStreamDriver::~TAuDirectSoundStreamDriver()
{
    TAcLocker lock(FMutex);
    if (FPcm)
        FPcm->Close();
    FPcm.reset();
}

std::uint8_t TAuDirectSoundStreamDriver::State()
{
    TAcLocker lock(FMutex);
    return FState;
}

bool TAuDirectSoundStreamDriver::OpenLocked()
{
    if (FPcm)
        return false;
    std::unique_ptr<TPcmOut> pcm = FDevice ? FDevice() : nullptr;
    if (!pcm)
        return false;
    if (!pcm->Open(FParameters.Frequency, FParameters.Channels, FParameters.BitDepth, FSizes.RingFrames,
                   FSizes.ChunkFrames)) {
        AddToErrorLog(elError, QStringLiteral("Audio-Ausgabe kann nicht geöffnet werden: %1").arg(pcm->ErrorText()));
        return false;
    }
    FPcm = std::move(pcm);
    FState = 1;
    return true;
}

void TAuDirectSoundStreamDriver::StopLocked()
{
    FPcm->Drop();
    FPcm->Close();
    FPcm.reset();
    FState = 1;
}

bool TAuDirectSoundStreamDriver::Open()
{
    TAcLocker lock(FMutex);
    return OpenLocked();
}

void TAuDirectSoundStreamDriver::Play()
{
    TAcLocker lock(FMutex);
    if (FState == 0)
        return;
    if (!FPcm && !OpenLocked())
        return;
    if (FState == 2)
        FPcm->Pause(false);
    FState = 3;
}

void TAuDirectSoundStreamDriver::Pause()
{
    TAcLocker lock(FMutex);
    if (FState == 3 && FPcm) {
        FPcm->Pause(true);
        FState = 2;
    }
}

void TAuDirectSoundStreamDriver::Stop()
{
    TAcLocker lock(FMutex);
    if (FState != 0 && FPcm)
        StopLocked();
}

void TAuDirectSoundStreamDriver::Close()
{
    TAcLocker lock(FMutex);
    if (FState == 1 && FPcm)
        StopLocked();
}

// Queues frames; an underrun or a suspend is recovered once.
bool TAuDirectSoundStreamDriver::WriteAll(const std::uint8_t* data, std::int64_t frames)
{
    bool recovered = false;
    std::int64_t done = 0;
    while (done < frames) {
        const std::int64_t n = FPcm->Write(data + done * FSizes.BytesPerFrame, frames - done);
        if ((n == -EPIPE || n == -ESTRPIPE) && !recovered) {
            recovered = true;
            if (FPcm->Recover(int(n)))
                continue;
        }
        if (n <= 0)
            break;
        done += n;
    }
    return done > 0;
}

bool TAuDirectSoundStreamDriver::Idle(const TAuReadCallback& read)
{
    TAcLocker lock(FMutex);
    // Only a playing stream takes data: an open, stopped device would take a
    // full buffer at once and start playing before Play.
    if (!FPcm || FState != 3)
        return false;
    std::int64_t queued = FPcm->Queued();
    if (queued < 0)
        queued = 0;   // an underrun: the device is empty, the write recovers it
    const std::int64_t ring = std::min<std::int64_t>(FSizes.RingFrames, FPcm->BufferFrames());
    const std::int64_t chunk = FSizes.ChunkBytes();
    std::int64_t free = std::clamp<std::int64_t>(ring - queued, 0, ring) * FSizes.BytesPerFrame;
    if (free <= chunk)
        return false;
    free -= free % chunk;
    if (FScratch.size() != std::size_t(free))
        FScratch.resize(std::size_t(free));

    TAuSyncData sync = FSyncData.Load();
    std::int64_t got = read(FScratch.data(), std::int32_t(free), sync);
    FSyncData.Store(sync);
    got = std::clamp<std::int64_t>(got, 0, free);
    got -= got % FSizes.BytesPerFrame;
    if (got == 0)
        return false;
    if (got < free && sync.State == ausEnd) {
        // The last samples of the stream: the rest of the chunks is silence, so
        // that the device plays nothing old while the player stops the stream.
        std::memset(FScratch.data() + got, FParameters.BitDepth == 8 ? 0x80 : 0, std::size_t(free - got));
        got = free;
    }
    return WriteAll(FScratch.data(), got / FSizes.BytesPerFrame);
}

// ---- TAuDirectSoundDriver ----

TAuDirectSoundDriver::TAuDirectSoundDriver() : TAuDirectSoundDriver(ListPcmDevices()) {}

TAuDirectSoundDriver::TAuDirectSoundDriver(std::vector<TPcmDevice> devices) : FDevices(std::move(devices))
{
    FPriority = 150;
}

void TAuDirectSoundDriver::EnumDevices(const std::function<void(const TAuDevice&)>& callback)
{
    for (std::size_t i = 0; i < FDevices.size(); ++i) {
        TAuDevice device;
        device.Name = FDevices[i].Description.left(255);
        device.ID = std::int32_t(i);
        device.Priority = FDevices[i].Primary ? 1 : 0;
        callback(device);
    }
}

std::unique_ptr<TAuStreamDriver> TAuDirectSoundDriver::CreateStreamDriver(std::int32_t deviceID,
                                                                          const TAuDriverParameters& parameters)
{
    if (deviceID < 0 || std::size_t(deviceID) >= FDevices.size())
        return nullptr;
    const std::optional<TWaveFormat> format =
        MakeWaveFormat(parameters.Frequency, parameters.Channels, parameters.BitDepth);
    const TAuRingSizes sizes = RingSizesFor(parameters);
    if (!format || sizes.ChunkFrames <= 0)
        return nullptr;
    return std::make_unique<TAuDirectSoundStreamDriver>(FDevices[std::size_t(deviceID)].Create, parameters, *format,
                                                        sizes);
}

void RegisterDirectSoundDriver()
{
    RegisterAudioClass<TAuDirectSoundDriver>(
        [](TAuProtocol*) -> std::unique_ptr<TAcPersistent> { return std::make_unique<TAuDirectSoundDriver>(); });
}
