#include "audio/uAuPlayer.h"

#include "audio/uAcClasses.h"
#include "audio/uAuDecoder.h"
#include "audio/uAuFilters.h"
#include "audio/uAuProtocol.h"
#include "audio/uAuSyncMgr.h"
#include "framework/uErrors.h"

#include <QFile>

// ---- TAuAudio ---------------------------------------------------------------

TAuAudio::TAuAudio()
{
    bool first = true;
    std::int32_t best = 0;
    AudioRegistry().Enumerate(TAuDriver::ClassName, [&](const TAcRegistrationEntry& entry) {
        if (!entry.Creator)
            return;
        const std::unique_ptr<TAcPersistent> made = entry.Creator(nullptr);
        const auto* driver = dynamic_cast<const TAuDriver*>(made.get());
        if (!driver)
            return;
        // The first driver is always taken; a later one only with a strictly
        // greater priority, so the first registered wins a tie.
        if (first || driver->Priority() > best) {
            first = false;
            best = driver->Priority();
            DriverName = QString::fromStdString(entry.ClassName);
        }
    });
}

TAuAudio::~TAuAudio() = default;

bool TAuAudio::Initialize()
{
    FDriver.reset();
    const std::string name = DriverName.left(255).toStdString();
    const TAcCreator* creator = AudioRegistry().FindCreator(name);
    if (!creator || !*creator) {
        FLastError = QStringLiteral(
            "No output driver has been specified. Probably no audio driver has been included. If this is not the "
            "case, the audio driver may have refused to work, because it is not supported on this machine or some "
            "libraries are missing.");
        return false;
    }
    std::unique_ptr<TAcPersistent> made = (*creator)(nullptr);
    auto* driver = dynamic_cast<TAuDriver*>(made.get());
    if (!driver) {
        FLastError = QStringLiteral(
            "An unspecified error occured during the creation of the Sonivex output driver. Probably the loaded "
            "Sonivex output driver is not supported by your audio hardware. Try to install the newest hardware "
            "drivers.");
        return false;
    }
    made.release();
    FDriver.reset(driver);
    FDevices.clear();
    FDriver->EnumDevices([this](const TAuDevice& device) { FDevices.push_back(device); });
    if (FDevices.empty()) {
        FLastError = QStringLiteral(
            "No output device had been found during the initialization of Sonivex. Try to use another Sonivex output "
            "driver.");
        return false;
    }
    const TAuDevice* chosen = &FDevices.front();
    for (const TAuDevice& device : FDevices)
        if (device.Priority > chosen->Priority)
            chosen = &device;
    FStandardDeviceID = chosen->ID;
    return true;
}

// ---- TAuCustomAudioObject ---------------------------------------------------

// What a queued notification reaches its object through. The call that runs
// holds Lock; the object's destructor clears Object under it, so a call either
// finishes before the object goes or finds nothing to call. Recursive: a
// handler may free its own sender on the notification thread.
struct TAuCustomAudioObject::TLink {
    std::recursive_mutex Lock;
    TAuCustomAudioObject* Object = nullptr;
};

TAuCustomAudioObject::TAuCustomAudioObject(TAuAudio* parent) : FParent(parent), FLink(std::make_shared<TLink>())
{
    FLink->Object = this;
}

TAuCustomAudioObject::~TAuCustomAudioObject()
{
    DetachNotifications();
    {
        TAcLocker locker(FLock);
        FreeSource();
    }
    TNotifyEvent onDestroy;
    {
        std::lock_guard<std::mutex> guard(FHandlerLock);
        onDestroy = FOnDestroy;
    }
    if (onDestroy)
        onDestroy(this);
}

QString TAuCustomAudioObject::URL() const
{
    auto& lock = const_cast<TAcLock&>(FLock);
    TAcLocker locker(lock);
    return FURL;
}

void TAuCustomAudioObject::SetOnStateChange(TNotifyEvent handler)
{
    std::lock_guard<std::mutex> guard(FHandlerLock);
    FOnStateChange = std::move(handler);
}

void TAuCustomAudioObject::SetOnDestroy(TNotifyEvent handler)
{
    std::lock_guard<std::mutex> guard(FHandlerLock);
    FOnDestroy = std::move(handler);
}

void TAuCustomAudioObject::SetState(TAuObjectState state, bool notify)
{
    if (FState.exchange(state) == state)
        return;
    if (notify)
        QueueNotification([](TAuCustomAudioObject* object) { object->FireStateChange(); });
}

void TAuCustomAudioObject::FireStateChange()
{
    TNotifyEvent handler;
    {
        std::lock_guard<std::mutex> guard(FHandlerLock);
        handler = FOnStateChange;
    }
    if (handler)
        handler(this);
}

void TAuCustomAudioObject::QueueNotification(std::function<void(TAuCustomAudioObject*)> call)
{
    SyncEnqueue(this, [link = FLink, call = std::move(call)] {
        std::lock_guard<std::recursive_mutex> guard(link->Lock);
        if (link->Object)
            call(link->Object);
    });
}

void TAuCustomAudioObject::DetachNotifications()
{
    {
        std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
        FLink->Object = nullptr;
    }
    SyncRemoveObject(this);
}

void TAuCustomAudioObject::FreeSource()
{
    if (FOwnsProtocol)
        delete FProtocol;
    FProtocol = nullptr;
    FOwnsProtocol = false;
    if (FOwnsStream)
        delete FStream;
    FStream = nullptr;
    FOwnsStream = false;
}

// ---- TAuPlayer --------------------------------------------------------------

TAuPlayer::TAuPlayer(TAuAudio* parent, TAuDecoderFilter* decoderFilter, TAuOutputFilter* outputFilter)
    : TAuCustomAudioObject(parent), FGivenOutput(outputFilter), FGivenDecoderFilter(decoderFilter)
{
    FDeviceID = parent ? parent->StandardDeviceID() : 0;
    if (decoderFilter)
        SetState(aosLoaded, false);
}

TAuPlayer::~TAuPlayer()
{
    // First the notifications (without the player's lock: a report that runs
    // may be waiting for it), then the chain.
    DetachNotifications();
    TAcLocker locker(FLock);
    CloseGraph(true);
}

bool TAuPlayer::LoadFromFile(const QString& fileName)
{
    TAcLocker locker(FLock);
    if (State() != aosLoading)
        Close();
    SetState(aosLoading, true);
    FURL = fileName;
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::ReadOnly))
        throw EPvError(QStringLiteral("Datei kann nicht geöffnet werden: %1 (%2)").arg(fileName, file->errorString()));
    FStream = file.release();
    FOwnsStream = true;
    return LoadFromStream(FStream, false);
}

bool TAuPlayer::LoadFromStream(QIODevice* stream, bool ownsStream)
{
    TAcLocker locker(FLock);
    if (State() != aosLoading) {
        FURL.clear();
        Close();
    }
    SetState(aosLoading, true);
    if (stream != FStream) {
        FStream = stream;
        FOwnsStream = ownsStream;
    } else if (ownsStream) {
        FOwnsStream = true;
    }
    auto* protocol = new TAuStreamProtocol(stream);
    protocol->SetURL(FURL);
    FProtocol = protocol;
    FOwnsProtocol = true;
    return LoadFromProtocol(protocol, false);
}

bool TAuPlayer::LoadFromProtocol(TAuProtocol* protocol, bool ownsProtocol)
{
    TAcLocker locker(FLock);
    if (State() != aosLoading) {
        FURL.clear();
        Close();
    }
    if (protocol != FProtocol) {
        FProtocol = protocol;
        FOwnsProtocol = ownsProtocol;
    } else if (ownsProtocol) {
        FOwnsProtocol = true;
    }
    SetState(aosLoaded, true);
    return true;
}

bool TAuPlayer::Open()
{
    TAcLocker locker(FLock);
    if (State() != aosLoaded)
        return false;
    bool found = FGivenDecoderFilter != nullptr;
    if (!found) {
        if (!FProtocol)
            return false;
        if (auto* url = dynamic_cast<TAuURLProtocol*>(FProtocol); url && !url->Opened())
            url->Open(url->URL());
        // The registered decoders in registration order; the first that takes
        // the data plays it.
        AudioRegistry().Enumerate(TAuDecoder::ClassName, [&](const TAcRegistrationEntry& entry) {
            if (found || !entry.Creator)
                return;
            std::unique_ptr<TAcPersistent> made = entry.Creator(FProtocol);
            auto* decoder = dynamic_cast<TAuDecoder*>(made.get());
            if (!decoder)
                return;
            if (decoder->OpenDecoder()) {
                made.release();
                FDecoder.reset(decoder);
                found = true;
                return;
            }
            if (FProtocol->Seekable())
                FProtocol->Seek(auSeekFromStart, 0);
        });
    }
    if (!found)
        return false;
    if (!BuildGraph()) {
        CloseGraph(false);
        if (FProtocol && FProtocol->Seekable())
            FProtocol->Seek(auSeekFromStart, 0);
        return false;
    }
    SetState(aosOpened, true);
    return true;
}

std::int32_t TAuPlayer::StreamDeviceID() const
{
    if (FOwnDevice || !FParent)
        return FDeviceID;
    return FParent->StandardDeviceID();
}

bool TAuPlayer::BuildGraph()
{
    TAuAudioParameters parameters;
    if (FDecoder) {
        TAuDriverParameters info;
        FDecoder->GetInfo(info);
        parameters = MakeParameters(info.Frequency, info.Channels, info.Reserved);
    } else if (FGivenDecoderFilter) {
        parameters = FGivenDecoderFilter->Parameters;
    } else {
        return false;
    }
    FOutput = FGivenOutput;
    if (!FOutput) {
        if (!FParent || !FParent->Driver())
            return false;
        const TAuDriverParameters driverParameters =
            MakeDriverParameters(parameters.Frequency, parameters.Channels, 16, 0);
        FStreamDriver = FParent->Driver()->CreateStreamDriver(StreamDeviceID(), driverParameters);
        if (!FStreamDriver || !FStreamDriver->Open()) {
            FStreamDriver.reset();
            return false;
        }
        FOutput = new TAuDriverOutput(FStreamDriver.get());
        FOwnsOutput = true;
    }
    const std::uint64_t generation = ++FGeneration;
    FEndReached = false;
    FOutput->OnFinish = [this] { FEndReached = true; };
    FOutput->SetSyncTarget(this, [this, generation](const TAuSyncData& data) {
        QueueNotification([generation, data](TAuCustomAudioObject* object) {
            static_cast<TAuPlayer*>(object)->OutputSyncChanged(generation, data);
        });
    });
    FDecoderFilter = FGivenDecoderFilter;
    if (!FDecoderFilter) {
        FDecoderFilter = new TAuDecoderFilter(FDecoder.get(), DecoderBufferSize);
        FOwnsDecoderFilter = true;
    }
    FAnalyzeFilter = std::make_unique<TAuAnalyzeFilter>(parameters);
    FVolumeFilter = std::make_unique<TAuVolumeFilter>(parameters);
    FVolumeFilter->Volume = FVolume.load();
    FCompressorFilter = std::make_unique<TAuCompressorFilter>(parameters);
    FDecoderFilter->Suspended = false;
    // The output knows its format before its idle thread (made when the chain
    // reaches it) can read.
    FOutput->SetParameters(parameters);
    FDecoderFilter->SetTarget(FAnalyzeFilter.get());
    FAnalyzeFilter->SetTarget(FVolumeFilter.get());
    FVolumeFilter->SetTarget(FCompressorFilter.get());
    FCompressorFilter->SetTarget(FOutput);
    return true;
}

void TAuPlayer::CloseGraph(bool freeSource)
{
    if (FOutput)
        FOutput->Stop();
    // From the output upwards: the output's idle thread ends first, so nothing
    // reads from a filter that is being freed.
    if (FCompressorFilter)
        FCompressorFilter->SetTarget(nullptr);
    if (FOutput) {
        FOutput->OnFinish = nullptr;
        FOutput->SetSyncTarget(nullptr, nullptr);
        if (FOwnsOutput)
            delete FOutput;
        FOutput = nullptr;
        FOwnsOutput = false;
    }
    FStreamDriver.reset();
    if (FDecoderFilter && FOwnsDecoderFilter)
        delete FDecoderFilter;
    else if (FDecoderFilter)
        FDecoderFilter->SetTarget(nullptr);
    FDecoderFilter = nullptr;
    FOwnsDecoderFilter = false;
    FDecoder.reset();
    FAnalyzeFilter.reset();
    FVolumeFilter.reset();
    FCompressorFilter.reset();
    ++FGeneration;
    if (freeSource)
        FreeSource();
}

void TAuPlayer::OutputSyncChanged(std::uint64_t generation, const TAuSyncData& data)
{
    bool finished = false;
    {
        TAcLocker locker(FLock);
        if (generation != FGeneration || !FOutput)
            return;
        FOutput->SyncChanged(data);
        if (FEndReached) {
            FEndReached = false;
            const TAuObjectState state = State();
            if (state == aosPlaying || state == aosPaused) {
                Stop();
                finished = true;
            }
        }
    }
    // Outside the lock: the handler may free the player.
    if (finished) {
        TNotifyEvent handler;
        {
            std::lock_guard<std::mutex> guard(FHandlerLock);
            handler = FOnFinish;
        }
        if (handler)
            handler(this);
    }
}

void TAuPlayer::Play()
{
    TAcLocker locker(FLock);
    if (FNeedsReopen) {
        FNeedsReopen = false;
        Open();
    }
    if (!FOutput)
        return;
    if (FDecoderFilter) {
        FDecoderFilter->Suspended = false;
        // The output starts on the head; the rest fills while it plays.
        FDecoderFilter->Fill();
    }
    FOutput->Play();
    SetState(aosPlaying, true);
}

void TAuPlayer::Pause()
{
    TAcLocker locker(FLock);
    if (!FOutput)
        return;
    FOutput->Pause();
    SetState(aosPaused, true);
}

void TAuPlayer::Stop()
{
    TAcLocker locker(FLock);
    if (!FOutput)
        return;
    if (FDecoderFilter) {
        FDecoderFilter->Suspended = true;
        // At rest the player keeps only the head of its track (the rewind refills it).
        FDecoderFilter->Rest();
    }
    FOutput->Stop();
    SetState(aosOpened, true);
    if (Seekable()) {
        Seek(0);
        return;
    }
    if (!FProtocol)
        return;
    CloseGraph(false);
    if (FProtocol->Seekable())
        FProtocol->Seek(auSeekFromStart, 0);
    else if (auto* url = dynamic_cast<TAuURLProtocol*>(FProtocol))
        url->Close();
    SetState(aosLoaded, false);
    FNeedsReopen = true;
}

void TAuPlayer::Seek(std::int32_t ms)
{
    TAcLocker locker(FLock);
    if (!FDecoder || !FOutput || !FDecoderFilter || State() < aosOpened)
        return;
    FOutput->Stop();
    const std::int32_t current = Position();
    FDecoderFilter->SeekDecoder(current, ms);
    if (State() == aosPlaying)
        FOutput->Play();
}

bool TAuPlayer::Seekable()
{
    TAcLocker locker(FLock);
    return State() > aosLoaded && GetLength() >= 0 && FProtocol && FProtocol->Seekable();
}

std::int32_t TAuPlayer::Position()
{
    TAcLocker locker(FLock);
    if (!FOutput)
        return -1;
    const TAuObjectState state = State();
    if (state == aosPlaying || state == aosPaused)
        return FOutput->Reported().Timecode;
    return 0;
}

std::int32_t TAuPlayer::GetLength()
{
    TAcLocker locker(FLock);
    if (FDecoderFilter && FDecoder)
        return FDecoderFilter->DecoderLength();
    return FDecoder ? FDecoder->GetLength() : -1;
}

float TAuPlayer::Volume() const
{
    return FVolume.load();
}

void TAuPlayer::SetVolume(float volume)
{
    TAcLocker locker(FLock);
    FVolume = volume;
    if (FVolumeFilter)
        FVolumeFilter->Volume = volume;
}

void TAuPlayer::Close()
{
    TAcLocker locker(FLock);
    CloseGraph(true);
}

void TAuPlayer::SetOnFinish(TNotifyEvent handler)
{
    std::lock_guard<std::mutex> guard(FHandlerLock);
    FOnFinish = std::move(handler);
}

void TAuPlayer::SetDeviceID(std::int32_t id)
{
    TAcLocker locker(FLock);
    FDeviceID = id;
    FOwnDevice = true;
}
