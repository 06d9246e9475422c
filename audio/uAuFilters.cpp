#include "audio/uAuFilters.h"

#include "audio/uAuDecoder.h"
#include "audio/uAuSyncMgr.h"
#include "framework/uErrorLog.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <malloc.h>

// ---- TAuOutputFilter --------------------------------------------------------

TAuOutputFilter::~TAuOutputFilter()
{
    if (!FSyncHandler)
        SyncRemoveObject(this);
}

void TAuOutputFilter::SetSyncTarget(const void* key, TSyncHandler handler)
{
    FSyncKey = key;
    FSyncHandler = std::move(handler);
}

void TAuOutputFilter::SyncChanged(const TAuSyncData& data)
{
    FReported.Store(data);
    if (data.State == ausEnd && OnFinish)
        OnFinish();
}

void TAuOutputFilter::QueueSyncChange(const TAuSyncData& data)
{
    if (FSyncHandler) {
        SyncEnqueue(FSyncKey, [handler = FSyncHandler, data] { handler(data); });
    } else {
        SyncEnqueue(this, [this, data] { SyncChanged(data); });
    }
}

// ---- TAuIdleThread ----------------------------------------------------------

TAuIdleThread::TAuIdleThread(TAuStreamDriver* driver, TAuReadCallback read, TChangeEvent change)
    : FDriver(driver), FRead(std::move(read)), FChange(std::move(change))
{
    FThread = std::thread([this] { Execute(); });
}

TAuIdleThread::~TAuIdleThread()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FTerminated = true;
        FActive = false;
        ++FKick;
    }
    FWake.notify_all();
    FThread.join();
}

void TAuIdleThread::SetActive(bool active)
{
    std::unique_lock<std::mutex> guard(FLock);
    FActive = active;
    ++FKick;
    FWake.notify_all();
    if (!active)
        FWake.wait(guard, [this] { return !FBusy; });
}

void TAuIdleThread::Execute()
{
    std::unique_lock<std::mutex> guard(FLock);
    while (!FTerminated) {
        FWake.wait(guard, [this] { return FTerminated || FActive.load(); });
        if (FTerminated)
            break;
        FBusy = true;
        const std::uint64_t kick = FKick;
        guard.unlock();
        // The device's record is looked at after every hand-over, so that a
        // driver that takes a whole track at once still reports its progress
        // and its end. It is queued before it is remembered, so that the
        // queued call carries the newest one.
        try {
            bool more = true;
            while (more) {
                more = FActive.load() && FDriver->Idle(FRead);
                const TAuSyncData data = FDriver->SyncData();
                if (!SameSyncData(data, FLastSeen) && FChange)
                    FChange(data);
                FLastSeen = data;
            }
        } catch (const std::exception& e) {
            // A failing device stops feeding until the next Play.
            AddToErrorLog(elError, QStringLiteral("Audio: Ausgabe angehalten: %1").arg(QString::fromUtf8(e.what())));
            FActive = false;
        }
        guard.lock();
        FBusy = false;
        FWake.notify_all();
        FWake.wait_for(guard, std::chrono::milliseconds(PollMilliseconds),
                       [this, kick] { return FTerminated || FKick != kick; });
    }
}

// ---- TAuDriverOutput --------------------------------------------------------

TAuDriverOutput::TAuDriverOutput(TAuStreamDriver* driver) : FDriver(driver), FDelay(driver ? driver->Delay() : 0) {}

TAuDriverOutput::~TAuDriverOutput()
{
    FIdle.reset();
}

bool TAuDriverOutput::AddSource(TAuTargetFilter* source)
{
    if (FSource || !source)
        return false;
    FIdle.reset();
    FSource = source;
    if (FDriver)
        FIdle = std::make_unique<TAuIdleThread>(
            FDriver, [this](void* buffer, std::int32_t count, TAuSyncData& sync) { return ReadCallback(buffer, count, sync); },
            [this](const TAuSyncData& data) { QueueSyncChange(data); });
    return true;
}

bool TAuDriverOutput::RemoveSource(TAuTargetFilter* source)
{
    if (!source || source != FSource)
        return false;
    FIdle.reset();
    FSource = nullptr;
    return true;
}

void TAuDriverOutput::Play()
{
    if (FDriver)
        FDriver->Play();
    if (FIdle)
        FIdle->SetActive(true);
}

void TAuDriverOutput::Pause()
{
    if (FIdle)
        FIdle->SetActive(false);
    if (FDriver)
        FDriver->Pause();
}

void TAuDriverOutput::Stop()
{
    ResetReported();
    // The idle thread rests until the next Play: a stopped output polls nothing.
    if (FIdle)
        FIdle->SetActive(false);
    if (FDriver)
        FDriver->Stop();
}

std::int32_t TAuDriverOutput::ReadCallback(void* buffer, std::int32_t count, TAuSyncData& sync)
{
    if (Parameters.Frequency == 0 || Parameters.Channels == 0 || !FSource || !FDriver || count <= 0)
        return 0;
    const TAuDriverParameters driver = FDriver->Parameters();
    const TAuDriverParameters floats = ToDriverParameters(Parameters, 32);
    const std::int32_t driverFrame = BytesPerFrame(driver);
    const std::int32_t floatFrame = FloatBytesPerFrame(floats);
    if (driverFrame <= 0 || floatFrame <= 0)
        return 0;
    const std::int32_t frames = count / driverFrame;
    const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(floats.Channels);
    if (FScratch.size() < samples)
        FScratch.resize(samples);
    const std::int32_t got = FSource->Read(FScratch.data(), frames * floatFrame, sync);
    const std::int32_t framesRead = got > 0 ? got / floatFrame : 0;
    FromFloat(driver, FScratch.data(), buffer, framesRead);
    return framesRead * driverFrame;
}

// ---- TAuTargetFilter --------------------------------------------------------

TAuTargetFilter::~TAuTargetFilter()
{
    SetTarget(nullptr);
}

TAuOutputFilter* TAuTargetFilter::OutputFilter()
{
    std::lock_guard<std::mutex> guard(FTargetLock);
    return FTarget ? FTarget->OutputFilter() : nullptr;
}

TAuFilter* TAuTargetFilter::Target()
{
    std::lock_guard<std::mutex> guard(FTargetLock);
    return FTarget;
}

void TAuTargetFilter::SetTarget(TAuFilter* next)
{
    // The target's source lock is never taken under this filter's target lock:
    // a read holds the target's source lock while it asks this filter for its output.
    TAuFilter* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(FTargetLock);
        old = FTarget;
        FTarget = nullptr;
    }
    if (old)
        old->RemoveSource(this);
    if (next && next->AddSource(this)) {
        std::lock_guard<std::mutex> guard(FTargetLock);
        FTarget = next;
    }
}

// ---- TAuPassthroughFilter ---------------------------------------------------

bool TAuPassthroughFilter::AddSource(TAuTargetFilter* source)
{
    std::lock_guard<std::mutex> guard(FSourceLock);
    if (FSource || !source)
        return false;
    FSource = source;
    return true;
}

bool TAuPassthroughFilter::RemoveSource(TAuTargetFilter* source)
{
    std::lock_guard<std::mutex> guard(FSourceLock);
    if (!source || source != FSource)
        return false;
    FSource = nullptr;
    return true;
}

std::int32_t TAuPassthroughFilter::ReadSource(void* buffer, std::int32_t count, TAuSyncData& sync)
{
    // Held across the read: a source that leaves waits until the read is done.
    std::lock_guard<std::mutex> guard(FSourceLock);
    return FSource ? FSource->Read(buffer, count, sync) : 0;
}

// ---- TAuAnalyzeThread / TAuAnalyzeFilter ------------------------------------

TAuAnalyzeThread::TAuAnalyzeThread(const TAuAudioParameters& parameters) : FParameters(parameters)
{
    FThread = std::thread([this] { Execute(); });
}

TAuAnalyzeThread::~TAuAnalyzeThread()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FTerminated = true;
    }
    FWake.notify_all();
    FThread.join();
}

void TAuAnalyzeThread::SetOutput(TAuOutputFilter* output)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (FOutput == output)
        return;
    FOutput = output;
    FWake.notify_all();
}

void TAuAnalyzeThread::AddAnalyzer(TAuAnalyzer* analyzer)
{
    std::lock_guard<std::mutex> guard(FLock);
    FAnalyzers.push_back(analyzer);
}

void TAuAnalyzeThread::Append(const void* data, std::int32_t count, std::int32_t tag)
{
    if (count <= 0)
        return;
    {
        std::lock_guard<std::mutex> guard(FLock);
        // Nobody looks at the samples: nothing to queue, nobody to wake.
        if (FAnalyzers.empty())
            return;
        FBuffer.Write(data, count, tag);
    }
    FWake.notify_all();
}

std::int64_t TAuAnalyzeThread::Queued()
{
    std::lock_guard<std::mutex> guard(FLock);
    return FBuffer.Size();
}

void TAuAnalyzeThread::Execute()
{
    const std::int32_t frameBytes = FParameters.Channels * 4;
    const std::int32_t blockBytes = BlockFrames * frameBytes;
    std::vector<float> block(static_cast<std::size_t>(BlockFrames) * static_cast<std::size_t>(std::max(FParameters.Channels, 1)));
    std::unique_lock<std::mutex> guard(FLock);
    for (;;) {
        FWake.wait(guard, [this] { return FTerminated || (FOutput && FBuffer.Size() > 0); });
        if (FTerminated)
            break;
        if (FAnalyzers.empty() || blockBytes <= 0) {
            // Nobody looks at the samples: drop them.
            FBuffer.Clear();
            continue;
        }
        const std::int64_t delayBytes =
            RoundEven(static_cast<double>(frameBytes) * FParameters.Frequency / 1000.0 * FOutput->Delay());
        const bool ahead = FBuffer.Size() > delayBytes;
        const bool behind = FBuffer.CurrentTag() < FOutput->Reported().Timecode;
        if (!ahead && !behind) {
            // The device has not caught up with the queued data: look again shortly.
            FWake.wait_for(guard, std::chrono::milliseconds(5));
            continue;
        }
        const std::int64_t got = FBuffer.Read(block.data(), blockBytes);
        const std::int32_t frames = static_cast<std::int32_t>(got / frameBytes);
        for (TAuAnalyzer* analyzer : FAnalyzers) {
            if (!analyzer->Active.load())
                continue;
            std::lock_guard<std::mutex> analyzerGuard(analyzer->Lock);
            analyzer->Analyze(block.data(), frames);
        }
    }
}

TAuAnalyzeFilter::TAuAnalyzeFilter(const TAuAudioParameters& parameters)
    : FThread(std::make_unique<TAuAnalyzeThread>(parameters))
{
    Parameters = parameters;
}

TAuAnalyzeFilter::~TAuAnalyzeFilter()
{
    Disconnect();
}

void TAuAnalyzeFilter::AddAnalyzer(TAuAnalyzer* analyzer)
{
    analyzer->SetParameters(Parameters);
    analyzer->Setup();
    FThread->AddAnalyzer(analyzer);
}

std::int32_t TAuAnalyzeFilter::Read(void* buffer, std::int32_t count, TAuSyncData& sync)
{
    const std::int32_t got = ReadSource(buffer, count, sync);
    if (TAuOutputFilter* output = OutputFilter())
        FThread->SetOutput(output);
    FThread->Append(buffer, got, sync.Timecode);
    return got;
}

// ---- TAuVolumeFilter --------------------------------------------------------

TAuVolumeFilter::TAuVolumeFilter(const TAuAudioParameters& parameters)
{
    Parameters = parameters;
}

TAuVolumeFilter::~TAuVolumeFilter()
{
    Disconnect();
}

void TAuVolumeFilter::SetChannelFactors(std::vector<float> factors)
{
    FChannelFactors = std::move(factors);
}

std::int32_t TAuVolumeFilter::Read(void* buffer, std::int32_t count, TAuSyncData& sync)
{
    const std::int32_t got = ReadSource(buffer, count, sync);
    if (got <= 0)
        return got;
    auto* samples = static_cast<float*>(buffer);
    const std::int32_t n = got / 4;
    const float volume = Volume.load();
    if (FChannelFactors.empty()) {
        if (std::fabs(volume - 1.0f) <= UnityTolerance)
            return got;
        for (std::int32_t i = 0; i < n; ++i)
            samples[i] *= volume;
        return got;
    }
    const auto channels = static_cast<std::int32_t>(FChannelFactors.size());
    const std::int32_t streamChannels = Parameters.Channels > 0 ? Parameters.Channels : 1;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t channel = i % streamChannels;
        samples[i] *= volume * (channel < channels ? FChannelFactors[static_cast<std::size_t>(channel)] : 1.0f);
    }
    return got;
}

// ---- TAuCompressorFilter ----------------------------------------------------

TAuCompressorFilter::TAuCompressorFilter(const TAuAudioParameters& parameters)
{
    Parameters = parameters;
}

TAuCompressorFilter::~TAuCompressorFilter()
{
    Disconnect();
}

void TAuCompressorFilter::Process(float* samples, std::int64_t count)
{
    const std::int32_t channels = Parameters.Channels > 0 ? Parameters.Channels : 1;
    for (std::int64_t i = 0; i < count; ++i) {
        if (i % channels == 0 && Gain < 1.0f) {
            Gain += FGainStep;
            if (Gain > 1.0f)
                Gain = 1.0f;
        }
        const float unscaled = samples[i];
        float v = unscaled * Gain;
        if (std::fabs(v) > Threshold) {
            Gain = Threshold / std::fabs(unscaled);
            v = unscaled * Gain;
            FGainStep = (1.0f - Gain) / (static_cast<float>(Parameters.Frequency) * Release);
        }
        samples[i] = v;
    }
}

std::int32_t TAuCompressorFilter::Read(void* buffer, std::int32_t count, TAuSyncData& sync)
{
    const std::int32_t got = ReadSource(buffer, count, sync);
    if (got > 0) {
        const std::int32_t frameBytes = (Parameters.Channels > 0 ? Parameters.Channels : 1) * 4;
        // Whole frames only: a partial frame would shift the release per channel.
        Process(static_cast<float*>(buffer), static_cast<std::int64_t>(got / frameBytes) * (frameBytes / 4));
    }
    return got;
}

// ---- TAuCustomDecoderFilter -------------------------------------------------

TAuCustomDecoderFilter::~TAuCustomDecoderFilter()
{
    Disconnect();
}

std::int32_t TAuCustomDecoderFilter::Read(void* buffer, std::int32_t count, TAuSyncData& sync)
{
    if (Suspended.load() || count <= 0)
        return 0;
    std::int32_t got = 0;
    {
        std::lock_guard<std::mutex> guard(FBufferLock);
        got = static_cast<std::int32_t>(FBuffer.Read(buffer, count));
        sync.Timecode = FBuffer.CurrentTag();
        if (FFlushed) {
            sync.State = ausReset;
            FFlushed = false;
        }
        UpdateSyncData(sync, got);
    }
    if (got > 0)
        FBufferChanged.notify_all();
    return got;
}

void TAuCustomDecoderFilter::UpdateSyncData(TAuSyncData&, std::int32_t) {}

void TAuCustomDecoderFilter::Flush()
{
    std::lock_guard<std::mutex> guard(FBufferLock);
    FFlushed = true;
    FBuffer.Clear();
}

// ---- TAuDecoderFilter / TAuDecoderThread ------------------------------------

namespace {
// How long Play waits for the head, and a flush while playing for it to fill again.
constexpr int PrebufferMilliseconds = 500;
constexpr int RefillMilliseconds = 50;

// The buffer of a player that played is freed on the player's thread, but its
// buckets came from the allocator's arena of the decoder thread, which keeps
// freed memory: a show whose tracks have each played once would go on holding
// what they held while playing. Freeing more than this hands the free memory
// of every arena back to the system, on the notification thread (the trim
// walks all arenas), one trim queued at a time.
constexpr std::int64_t TrimAfterBytes = 1 << 20;
std::atomic<bool> TrimQueued{false};

struct TTrimTicket {
    // Also when the queued call is dropped (the engine stops): a later free queues again.
    ~TTrimTicket() { TrimQueued = false; }
};

void ReturnFreedMemory(std::int64_t freedBytes)
{
    if (freedBytes < TrimAfterBytes || TrimQueued.exchange(true))
        return;
    SyncEnqueue(&TrimQueued, [ticket = std::make_shared<TTrimTicket>()] {
        TrimQueued = false;
        malloc_trim(0);
    });
}
} // namespace

TAuDecoderFilter::TAuDecoderFilter(TAuDecoder* decoder, std::int32_t limit) : FDecoder(decoder), FLimit(limit)
{
    TAuDriverParameters info;
    if (FDecoder)
        FDecoder->GetInfo(info);
    Parameters = MakeParameters(info.Frequency, info.Channels, info.Reserved);
    const std::int64_t head =
        std::int64_t(std::max(info.Frequency, 0)) * std::max(info.Channels, 0) * 4 * HeadMilliseconds / 1000;
    FHead = std::clamp<std::int64_t>(head, 0, std::max(FLimit, 0));
    if (!FDecoder) {
        FFinished = true;
        return;
    }
    FThread = std::make_unique<TAuDecoderThread>(*this);
}

TAuDecoderFilter::~TAuDecoderFilter()
{
    Disconnect();
    {
        std::lock_guard<std::mutex> guard(FBufferLock);
        FTerminated = true;
    }
    FBufferChanged.notify_all();
    FThread.reset();
    const std::int64_t freed = FBuffer.Allocated();
    FBuffer.Clear();
    ReturnFreedMemory(freed);
}

void TAuDecoderFilter::WaitForHead(int milliseconds)
{
    std::unique_lock<std::mutex> guard(FBufferLock);
    FBufferChanged.wait_for(guard, std::chrono::milliseconds(milliseconds),
                            [this] { return FBuffer.Size() >= FHead || FFinished; });
}

void TAuDecoderFilter::Fill()
{
    {
        std::lock_guard<std::mutex> guard(FBufferLock);
        FFillToLimit = true;
    }
    FBufferChanged.notify_all();
    WaitForHead(PrebufferMilliseconds);
}

void TAuDecoderFilter::Rest()
{
    std::lock_guard<std::mutex> guard(FBufferLock);
    FFillToLimit = false;
}

bool TAuDecoderFilter::FlushLocked(std::int64_t& freedBytes)
{
    std::lock_guard<std::mutex> guard(FBufferLock);
    FFlushed = true;
    freedBytes = FBuffer.Allocated();
    FBuffer.Clear();
    FTimecodeBase = -1;
    FFinished = false;
    return FFillToLimit;
}

void TAuDecoderFilter::Flush()
{
    bool playing = false;
    std::int64_t freed = 0;
    {
        std::lock_guard<std::mutex> decode(FDecodeLock);
        playing = FlushLocked(freed);
    }
    FBufferChanged.notify_all();
    ReturnFreedMemory(freed);
    if (playing)
        WaitForHead(RefillMilliseconds);
}

bool TAuDecoderFilter::SeekDecoder(std::int32_t currentMs, std::int32_t targetMs)
{
    if (!FDecoder)
        return false;
    bool playing = false;
    std::int64_t freed = 0;
    {
        // Between two blocks: the protocol is not being read, and no block
        // decoded before the seek can be written after the flush.
        std::lock_guard<std::mutex> decode(FDecodeLock);
        if (!FDecoder->SeekTo(currentMs, targetMs))
            return false;
        playing = FlushLocked(freed);
    }
    FBufferChanged.notify_all();
    ReturnFreedMemory(freed);
    if (playing)
        WaitForHead(RefillMilliseconds);
    return true;
}

std::int32_t TAuDecoderFilter::DecoderLength()
{
    if (!FDecoder)
        return -1;
    std::lock_guard<std::mutex> decode(FDecodeLock);
    return FDecoder->GetLength();
}

std::int64_t TAuDecoderFilter::Buffered()
{
    std::lock_guard<std::mutex> guard(FBufferLock);
    return FBuffer.Size();
}

void TAuDecoderFilter::UpdateSyncData(TAuSyncData& sync, std::int32_t bytesRead)
{
    if (sync.Timecode != FLastTag || FTimecodeBase == -1) {
        FLastTag = sync.Timecode;
        FTimecodeBase = sync.Timecode;
    } else {
        const double bytesPerSecond = static_cast<double>(Parameters.Channels) * 4.0 * Parameters.Frequency;
        if (bytesPerSecond > 0)
            FTimecodeBase += static_cast<std::int32_t>(RoundEven(bytesRead * 1000.0 / bytesPerSecond));
        sync.Timecode = FTimecodeBase;
    }
    sync.State = FFinished && (FBuffer.Size() == 0 || bytesRead == 0) ? ausEnd : ausData;
}

TAuDecoderThread::TAuDecoderThread(TAuDecoderFilter& filter) : FFilter(filter)
{
    FThread = std::thread([this] { Execute(); });
}

TAuDecoderThread::~TAuDecoderThread()
{
    {
        std::lock_guard<std::mutex> guard(FFilter.FBufferLock);
        FFilter.FTerminated = true;
    }
    FFilter.FBufferChanged.notify_all();
    FThread.join();
}

void TAuDecoderThread::Execute()
{
    TAuDecoder& decoder = *FFilter.FDecoder;
    TAuDriverParameters info;
    decoder.GetInfo(info);
    const std::int32_t frameBytes = BytesPerFrame(info);
    int idlePasses = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(FFilter.FBufferLock);
            FFilter.FBufferChanged.wait(guard, [this] {
                return FFilter.FTerminated || (!FFilter.FFinished && FFilter.FBuffer.Size() < FFilter.FillLimit());
            });
            if (FFilter.FTerminated)
                break;
        }
        std::int32_t result = audEnd;
        {
            std::lock_guard<std::mutex> decode(FFilter.FDecodeLock);
            {
                // A flush may have come in between; it cleared the end flag,
                // which is the next pass's business, not this one's.
                std::lock_guard<std::mutex> guard(FFilter.FBufferLock);
                if (FFilter.FTerminated)
                    break;
            }
            try {
                result = decoder.Decode();
                if (result == audData) {
                    TAuDecoderData data;
                    decoder.GetData(data);
                    const std::int64_t frames = frameBytes > 0 && data.Size > 0 ? data.Size / frameBytes : 0;
                    const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.Channels);
                    if (FScratch.size() < samples)
                        FScratch.resize(samples);
                    if (frames > 0)
                        ToFloat(info, data.Buffer, FScratch.data(), frames);
                    std::lock_guard<std::mutex> guard(FFilter.FBufferLock);
                    FFilter.FBuffer.Write(FScratch.data(), static_cast<std::int64_t>(samples) * 4, data.Timecode);
                }
            } catch (const std::exception& e) {
                AddToErrorLog(elError,
                              QStringLiteral("Audio: Dekodieren abgebrochen: %1").arg(QString::fromUtf8(e.what())));
                result = audEnd;
            }
            if (result == audEnd) {
                std::lock_guard<std::mutex> guard(FFilter.FBufferLock);
                FFilter.FFinished = true;
            }
        }
        FFilter.FBufferChanged.notify_all();
        if (result == audNothing) {
            // A decoder that has nothing yet is asked again at once, but a long
            // run of empty answers must not spin a core.
            if (++idlePasses >= 64) {
                idlePasses = 0;
                std::unique_lock<std::mutex> guard(FFilter.FBufferLock);
                FFilter.FBufferChanged.wait_for(guard, std::chrono::milliseconds(1),
                                                [this] { return FFilter.FTerminated; });
            }
        } else {
            idlePasses = 0;
        }
    }
    FScratch = {};
}
