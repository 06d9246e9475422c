#include "AudioCapture.h"

#include "audio/uAuRegistry.h"

#include <algorithm>

QByteArray TCaptureState::Captured()
{
    std::lock_guard<std::mutex> guard(Lock);
    return Bytes;
}

void TCaptureState::SetBudget(std::int64_t bytes)
{
    std::lock_guard<std::mutex> guard(Lock);
    Budget = bytes;
}

std::int64_t TCaptureState::Size()
{
    std::lock_guard<std::mutex> guard(Lock);
    return Bytes.size();
}

TCaptureStream::TCaptureStream(const TAuDriverParameters& parameters, std::shared_ptr<TCaptureState> state)
    : FState(std::move(state))
{
    FParameters = parameters;
}

void TCaptureStream::Play()
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Playing = true;
}

void TCaptureStream::Pause()
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Playing = false;
}

void TCaptureStream::Stop()
{
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Playing = false;
    FSyncData.Store(TAuSyncData{});
}

bool TCaptureStream::Idle(const TAuReadCallback& read)
{
    const std::int32_t frame = BytesPerFrame(FParameters);
    std::int64_t room = 4096 / frame * frame;
    {
        std::lock_guard<std::mutex> guard(FState->Lock);
        if (!FState->Playing)
            return false;
        if (FState->Budget >= 0)
            room = std::min<std::int64_t>(room, (FState->Budget - FState->Bytes.size()) / frame * frame);
    }
    if (room <= 0)
        return false;
    FChunk.resize(static_cast<std::size_t>(room));
    TAuSyncData sync = FSyncData.Load();
    const std::int32_t got = read(FChunk.data(), static_cast<std::int32_t>(room), sync);
    FSyncData.Store(sync);
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->EndRead = FState->EndRead || sync.State == ausEnd;
    if (got <= 0)
        return false;
    FState->Bytes.append(reinterpret_cast<const char*>(FChunk.data()), got);
    FState->Records.push_back(sync);
    return true;
}

namespace {
std::mutex CaptureLock;
std::shared_ptr<TCaptureState> LastState;
std::int64_t NextBudget = -1;
} // namespace

void TCaptureDriver::EnumDevices(const std::function<void(const TAuDevice&)>& callback)
{
    callback(TAuDevice{QStringLiteral("Aufnahme"), 7, 1, 0});
}

std::unique_ptr<TAuStreamDriver> TCaptureDriver::CreateStreamDriver(std::int32_t, const TAuDriverParameters& parameters)
{
    std::lock_guard<std::mutex> guard(CaptureLock);
    LastState = std::make_shared<TCaptureState>();
    LastState->Budget = NextBudget;
    return std::make_unique<TCaptureStream>(parameters, LastState);
}

std::shared_ptr<TCaptureState> TCaptureDriver::Last()
{
    std::lock_guard<std::mutex> guard(CaptureLock);
    return LastState;
}

void TCaptureDriver::SetNextBudget(std::int64_t bytes)
{
    std::lock_guard<std::mutex> guard(CaptureLock);
    NextBudget = bytes;
}

void StartEngineWithCapture()
{
    StartAudioEngine();
    if (!AudioRegistry().FindCreator(TCaptureDriver::ClassName))
        RegisterAudioClass<TCaptureDriver>([](TAuProtocol*) { return std::make_unique<TCaptureDriver>(); });
}
