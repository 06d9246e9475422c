#include "audio/uAuWASAPI.h"

#include "audio/uAcUtils.h"
#include "framework/uMod_Main.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

using TAvailable = std::int32_t (*)();
using TOpen = TWasapiHandle (*)(void* user, std::int32_t channels, std::int32_t bits, std::int32_t rate);
using TIdle = std::int32_t (*)(TWasapiHandle handle, TWasapiFill fill);
using THandleCall = std::int32_t (*)(TWasapiHandle handle);

struct TBridge {
    void* Module = nullptr;
    TOpen Open = nullptr;
    TIdle Idle = nullptr;
    THandleCall Close = nullptr;
    THandleCall Start = nullptr;
    THandleCall Stop = nullptr;
    THandleCall Reset = nullptr;
    TAvailable Available = nullptr;
};

// Bound at start-up on the main thread, before any player exists.
TBridge Bridge;

template <class F>
F Entry(void* module, const char* name)
{
    return reinterpret_cast<F>(GetProcSafe(module, name));
}

void* LoadBridgeLibrary(const QString& name)
{
    if (name.contains(QLatin1Char('/')))
        return LoadLibrarySafe(name);
    const QString folder = ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : ProgramDir;
    if (!folder.isEmpty()) {
        if (void* module = LoadLibrarySafe(QDir(folder).filePath(name)))
            return module;
    }
    return LoadLibrarySafe(name);
}

} // namespace

bool LoadWASAPIBridge(const QString& name)
{
    if (Bridge.Module)
        return true;
    void* module = LoadBridgeLibrary(name.isEmpty() ? QStringLiteral("libwasapi_interface.so") : name);
    if (!module)
        return false;
    TBridge b;
    b.Module = module;
    b.Open = Entry<TOpen>(module, "wasapi_open");
    b.Idle = Entry<TIdle>(module, "wasapi_idle");
    b.Close = Entry<THandleCall>(module, "wasapi_close");
    b.Start = Entry<THandleCall>(module, "wasapi_start");
    b.Stop = Entry<THandleCall>(module, "wasapi_stop");
    b.Reset = Entry<THandleCall>(module, "wasapi_reset");
    b.Available = Entry<TAvailable>(module, "wasapi_available");
    if (b.Open && b.Idle && b.Close && b.Start && b.Stop && b.Reset && b.Available && b.Available() == 1) {
        Bridge = b;
        return true;
    }
    FreeLibrarySafe(module);
    return false;
}

void FreeWASAPIBridge()
{
    FreeLibrarySafe(Bridge.Module);
    Bridge = {};
}

bool RegisterWASAPIDriver(const QString& name)
{
    if (!LoadWASAPIBridge(name))
        return false;
    RegisterAudioClass<TAuWASAPIDriver>(
        [](TAuProtocol*) -> std::unique_ptr<TAcPersistent> { return std::make_unique<TAuWASAPIDriver>(); });
    return true;
}

// ---- TAuWASAPIStreamDriver ----

TAuWASAPIStreamDriver::TAuWASAPIStreamDriver(const TAuDriverParameters& parameters)
{
    FParameters = parameters;
    FDelay = 20;
}

TAuWASAPIStreamDriver::~TAuWASAPIStreamDriver()
{
    TAcLocker lock(FMutex);
    CloseLocked();
}

bool TAuWASAPIStreamDriver::Open()
{
    TAcLocker lock(FMutex);
    if (FHandle != 0 || !Bridge.Module)
        return false;
    FPlaying = false;
    FHandle = Bridge.Open(this, FParameters.Channels, FParameters.BitDepth, FParameters.Frequency);
    return FHandle != 0;
}

void TAuWASAPIStreamDriver::Play()
{
    TAcLocker lock(FMutex);
    if (FHandle != 0) {
        FPlaying = true;
        Bridge.Start(FHandle);
    }
}

void TAuWASAPIStreamDriver::Pause()
{
    TAcLocker lock(FMutex);
    if (FHandle != 0) {
        FPlaying = false;
        Bridge.Stop(FHandle);
    }
}

void TAuWASAPIStreamDriver::Stop()
{
    TAcLocker lock(FMutex);
    if (FHandle != 0) {
        FPlaying = false;
        Bridge.Reset(FHandle);
    }
}

void TAuWASAPIStreamDriver::CloseLocked()
{
    if (FHandle != 0 && Bridge.Module) {
        Bridge.Stop(FHandle);
        Bridge.Close(FHandle);
    }
    FHandle = 0;
}

void TAuWASAPIStreamDriver::Close()
{
    TAcLocker lock(FMutex);
    CloseLocked();
}

bool TAuWASAPIStreamDriver::Idle(const TAuReadCallback& read)
{
    TAcLocker lock(FMutex);
    if (FHandle == 0)
        return false;
    FRead = &read;
    const bool delivered = Bridge.Idle(FHandle, &TAuWASAPIStreamDriver::Fill) == 1;
    FRead = nullptr;
    return delivered;
}

void TAuWASAPIStreamDriver::Fill(void* user, void* buffer, std::int32_t frames)
{
    auto* self = static_cast<TAuWASAPIStreamDriver*>(user);
    const std::int64_t bytes = std::int64_t(std::max(frames, 0)) * BytesPerFrame(self ? self->FParameters : TAuDriverParameters{});
    if (!self || !buffer || bytes <= 0)
        return;
    const std::int32_t count = std::int32_t(std::min<std::int64_t>(bytes, INT_MAX));
    std::memset(buffer, 0, std::size_t(count));
    if (self->FPlaying && self->FRead && *self->FRead) {
        TAuSyncData sync = self->FSyncData.Load();
        (*self->FRead)(buffer, count, sync);
        self->FSyncData.Store(sync);
    }
}

// ---- TAuWASAPIDriver ----

TAuWASAPIDriver::TAuWASAPIDriver()
{
    FPriority = 100;
}

void TAuWASAPIDriver::EnumDevices(const std::function<void(const TAuDevice&)>& callback)
{
    TAuDevice device;
    device.Name = QStringLiteral("WASAPI Default Audio Device");
    device.ID = -1;
    device.Priority = 10;
    callback(device);
}

std::unique_ptr<TAuStreamDriver> TAuWASAPIDriver::CreateStreamDriver(std::int32_t,
                                                                     const TAuDriverParameters& parameters)
{
    return std::make_unique<TAuWASAPIStreamDriver>(parameters);
}
