#include "audio/uAuMediaDec.h"

#include "audio/uAcUtils.h"
#include "audio/uAuProtocol.h"
#include "framework/uMod_Main.h"

#include <QDir>

#include <cstdlib>
#include <limits>

namespace {

// The library's entries, bound once at start-up and only read afterwards.
struct TMediaDecApi {
    decltype(&ac_mem_mgr) MemMgr;
    decltype(&ac_init) Init;
    decltype(&ac_open) Open;
    decltype(&ac_get_stream_info) GetStreamInfo;
    decltype(&ac_create_decoder) CreateDecoder;
    decltype(&ac_read_package) ReadPackage;
    decltype(&ac_decode_package) DecodePackage;
    decltype(&ac_free_package) FreePackage;
    decltype(&ac_seek) Seek;
    decltype(&ac_free_decoder) FreeDecoder;
    decltype(&ac_free) Free;
};

const TMediaDecApi* Api = nullptr;

template <class F>
bool Bind(void* module, const char* name, F& entry)
{
    entry = reinterpret_cast<F>(GetProcSafe(module, name));
    return entry != nullptr;
}

std::int32_t ClampMs(std::int64_t ms)
{
    if (ms > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (ms < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(ms);
}

} // namespace

std::int64_t TAuMediaDecClock::Next(double librarySeconds, std::int64_t frames, std::int32_t frequency)
{
    const std::int64_t ms = RoundEven(librarySeconds * 1000.0);
    if (!FHaveLast || ms != FLast) {
        FHaveLast = true;
        FLast = ms;
        FRunning = ms;
    } else if (frequency > 0) {
        FRunning += RoundEven(static_cast<double>(frames) / frequency * 1000.0);
    }
    return FRunning;
}

TAuMediaDecDecoder::TAuMediaDecDecoder(TAuProtocol* protocol) : TAuDecoder(protocol) {}

TAuMediaDecDecoder::~TAuMediaDecDecoder()
{
    TAuMediaDecDecoder::CloseDecoder();
}

std::int32_t TAuMediaDecDecoder::ReadCallback(void* sender, void* buffer, std::int32_t size)
{
    auto* self = static_cast<TAuMediaDecDecoder*>(sender);
    return self->FProtocol ? self->FProtocol->Read(buffer, size) : 0;
}

std::int64_t TAuMediaDecDecoder::SeekCallback(void* sender, std::int64_t position, std::int32_t whence)
{
    auto* self = static_cast<TAuMediaDecDecoder*>(sender);
    if (whence < 0 || whence >= 3 || !self->FProtocol)
        return -1;
    return self->FProtocol->Seek(whence, position);
}

void TAuMediaDecDecoder::GetInfo(TAuDriverParameters& info)
{
    if (!FDecoder) {
        info = TAuDriverParameters{};
        return;
    }
    info = MakeDriverParameters(FDecoder->samples_per_second, FDecoder->channels, FDecoder->bits_per_sample);
}

bool TAuMediaDecDecoder::OpenDecoder()
{
    CloseDecoder();
    if (!Api || !FProtocol)
        return false;
    FInstance = Api->Init();
    if (!FInstance)
        return false;
    Api->Open(FInstance, this, nullptr, ReadCallback, FProtocol->Seekable() ? SeekCallback : nullptr, nullptr);
    for (std::int32_t i = 0; i < FInstance->stream_count && !FDecoder; ++i) {
        ac_stream_info info{};
        Api->GetStreamInfo(FInstance, i, &info);
        if (info.stream_type == AC_STREAM_AUDIO)
            FDecoder = Api->CreateDecoder(FInstance, i);
    }
    return FDecoder != nullptr;
}

void TAuMediaDecDecoder::CloseDecoder()
{
    if (!Api)
        return;
    if (FDecoder)
        Api->FreeDecoder(FDecoder);
    if (FInstance)
        Api->Free(FInstance);
    FDecoder = nullptr;
    FInstance = nullptr;
    FClock = TAuMediaDecClock{};
    std::lock_guard<std::mutex> lock(FSeekLock);
    FSeekPending = false;
}

std::int32_t TAuMediaDecDecoder::Decode()
{
    if (!Api || !FInstance || !FInstance->opened || !FDecoder)
        return audEnd;
    bool seek;
    std::int64_t target;
    std::int32_t direction;
    {
        std::lock_guard<std::mutex> lock(FSeekLock);
        seek = FSeekPending;
        target = FSeekTarget;
        direction = FSeekDirection;
    }
    if (seek) {
        Api->Seek(FDecoder, direction, target);
        // Cleared only now, so SeekTo refuses until the library has moved.
        std::lock_guard<std::mutex> lock(FSeekLock);
        FSeekPending = false;
    }
    ac_package* package = Api->ReadPackage(FInstance);
    if (!package)
        return audEnd;
    const bool data = package->stream_index == FDecoder->stream_index && Api->DecodePackage(package, FDecoder) > 0;
    Api->FreePackage(package);
    return data ? audData : audNothing;
}

void TAuMediaDecDecoder::GetData(TAuDecoderData& data)
{
    if (!FDecoder) {
        data = TAuDecoderData{};
        return;
    }
    const std::int32_t frameBytes = FDecoder->channels * (FDecoder->bits_per_sample / 8);
    const std::int64_t frames = frameBytes > 0 ? FDecoder->buffer_size / frameBytes : 0;
    data.Timecode = ClampMs(FClock.Next(FDecoder->timecode, frames, FDecoder->samples_per_second));
    data.Size = FDecoder->buffer_size;
    data.Buffer = FDecoder->buffer;
}

bool TAuMediaDecDecoder::SeekTo(std::int32_t currentMs, std::int32_t targetMs)
{
    std::lock_guard<std::mutex> lock(FSeekLock);
    if (FSeekPending || !FInstance || !FDecoder || targetMs < 0)
        return false;
    FSeekTarget = targetMs;
    FSeekStream = FDecoder->stream_index;
    FSeekDirection = targetMs >= currentMs ? 0 : -1;
    FSeekPending = true;
    return true;
}

std::int32_t TAuMediaDecDecoder::GetLength()
{
    if (!FInstance)
        return -1;
    return ClampMs(FInstance->duration_ms);
}

bool RegisterMediaDecDecoder()
{
    if (!Api) {
        // By absolute path only: a bare name would make the loader search the
        // system's library folders.
        const QString path = ProgramDir + QStringLiteral("libmediadec.so");
        void* module = QDir::isAbsolutePath(path) ? LoadLibrarySafe(path) : nullptr;
        if (!module)
            return false;
        static TMediaDecApi api;
        TMediaDecApi bound{};
        if (!Bind(module, "ac_mem_mgr", bound.MemMgr) || !Bind(module, "ac_init", bound.Init)
            || !Bind(module, "ac_open", bound.Open) || !Bind(module, "ac_get_stream_info", bound.GetStreamInfo)
            || !Bind(module, "ac_create_decoder", bound.CreateDecoder)
            || !Bind(module, "ac_read_package", bound.ReadPackage)
            || !Bind(module, "ac_decode_package", bound.DecodePackage)
            || !Bind(module, "ac_free_package", bound.FreePackage) || !Bind(module, "ac_seek", bound.Seek)
            || !Bind(module, "ac_free_decoder", bound.FreeDecoder) || !Bind(module, "ac_free", bound.Free)) {
            FreeLibrarySafe(module);
            return false;
        }
        // The library stays loaded for the life of the process.
        api = bound;
        Api = &api;
        Api->MemMgr(std::malloc, std::realloc, std::free);
    }
    RegisterAudioClass<TAuMediaDecDecoder>(
        [](TAuProtocol* protocol) { return std::unique_ptr<TAcPersistent>(new TAuMediaDecDecoder(protocol)); });
    return true;
}
