#pragma once
// The audio engine's public face: TAuAudio chooses the output driver and the
// device; TAuPlayer loads a file, opens it (finds a decoder, builds the filter
// chain decoder -> analyze -> volume -> limiter -> output), plays, pauses,
// stops, seeks and reports the end of the track.
//
// Threads: every public operation of a player takes the player's recursive
// lock for its whole run. OnStateChange and OnFinish run on the engine's
// notification thread, never on the GUI thread; a handler that touches the
// user interface hands the work to the GUI thread itself (a queued call with a
// context object, so that it is dropped once the receiver is gone).

#include "audio/uAcSync.h"
#include "audio/uAuDriver.h"
#include "audio/uAuTypes.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QIODevice;
class TAuProtocol;

class TAuAudio {
public:
    // Chooses DriverName: the registered driver with the highest priority.
    TAuAudio();
    ~TAuAudio();
    TAuAudio(const TAuAudio&) = delete;
    TAuAudio& operator=(const TAuAudio&) = delete;

    // Makes the driver and lists its devices; false with LastError set when
    // there is no driver or no device.
    bool Initialize();

    QString DriverName;
    const QString& LastError() const { return FLastError; }
    std::int32_t StandardDeviceID() const { return FStandardDeviceID; }
    TAuDriver* Driver() const { return FDriver.get(); }
    const std::vector<TAuDevice>& Devices() const { return FDevices; }

private:
    std::unique_ptr<TAuDriver> FDriver;
    std::vector<TAuDevice> FDevices;
    std::int32_t FStandardDeviceID = 0;
    QString FLastError;
};

enum TAuObjectState : std::uint8_t {
    aosNone = 0, aosLoading = 1, aosLoaded = 2, aosOpened = 3, aosPlaying = 4, aosPaused = 5
};

class TAuCustomAudioObject {
public:
    using TNotifyEvent = std::function<void(TAuCustomAudioObject* sender)>;

    virtual ~TAuCustomAudioObject();

    TAuObjectState State() const { return FState.load(); }
    QString URL() const;
    // Length in ms, -1 when unknown.
    virtual std::int32_t GetLength() { return -1; }
    virtual bool Open() = 0;
    virtual void Close() = 0;

    // Both run on the notification thread (see above). Set them before the
    // player is used; clear them before the receiver goes away.
    void SetOnStateChange(TNotifyEvent handler);
    void SetOnDestroy(TNotifyEvent handler);

protected:
    explicit TAuCustomAudioObject(TAuAudio* parent);
    // Stores the state; queues OnStateChange when notify is set and the state changed.
    void SetState(TAuObjectState state, bool notify);

    // Queues call on the notification thread. It runs only while the object
    // lives: a derived destructor calls DetachNotifications first, which waits
    // for a call that is running and turns the queued ones into no-ops.
    void QueueNotification(std::function<void(TAuCustomAudioObject*)> call);
    void DetachNotifications();
    // Frees an owned protocol and an owned stream and forgets both.
    void FreeSource();
    void FireStateChange();

    std::atomic<TAuObjectState> FState{aosNone};
    TAuAudio* FParent;
    TAcLock FLock;                  // held by every public operation of a player
    QIODevice* FStream = nullptr;
    bool FOwnsStream = false;
    TAuProtocol* FProtocol = nullptr;
    bool FOwnsProtocol = false;
    QString FURL;
    std::mutex FHandlerLock;        // guards the handlers below
    TNotifyEvent FOnStateChange;
    TNotifyEvent FOnDestroy;

private:
    struct TLink;
    std::shared_ptr<TLink> FLink;
};

class TAuAnalyzeFilter;
class TAuCompressorFilter;
class TAuDecoder;
class TAuDecoderFilter;
class TAuVolumeFilter;
class TAuOutputFilter;

class TAuPlayer : public TAuCustomAudioObject {
public:
    // parent may be nullptr (then Open fails unless an output filter is given).
    // A given decoder or output filter is used and not owned.
    explicit TAuPlayer(TAuAudio* parent, TAuDecoderFilter* decoderFilter = nullptr,
                       TAuOutputFilter* outputFilter = nullptr);
    ~TAuPlayer() override;
    TAuPlayer(const TAuPlayer&) = delete;
    TAuPlayer& operator=(const TAuPlayer&) = delete;

    // Closes the old source; opens the file read-only. Throws EPvError when the
    // file cannot be opened. State aosLoading, then aosLoaded.
    bool LoadFromFile(const QString& fileName);
    bool LoadFromStream(QIODevice* stream, bool ownsStream);
    bool LoadFromProtocol(TAuProtocol* protocol, bool ownsProtocol);
    // Only in aosLoaded: finds a decoder, builds the chain; aosOpened.
    bool Open() override;
    void Play();
    void Pause();
    void Stop();
    void Seek(std::int32_t ms);
    bool Seekable();
    // Last reported timecode while playing or paused; 0 otherwise; -1 without a chain.
    std::int32_t Position();
    std::int32_t Len() { return GetLength(); }
    std::int32_t GetLength() override;
    float Volume() const;
    void SetVolume(float volume);   // a factor (DbToFactor), handed to the chain at once
    // Frees the chain and the source; the state value stays.
    void Close() override;

    // Called once after the end-of-stream stop, on the notification thread.
    void SetOnFinish(TNotifyEvent handler);
    // The player's own device instead of the parent's standard device.
    void SetDeviceID(std::int32_t id);

    // Bytes of float samples the decoder keeps ahead of the output while it
    // plays (4 MiB, about 12 s of 44.1 kHz stereo); at rest it keeps half a
    // second (TAuDecoderFilter). Set before Open.
    std::int32_t DecoderBufferSize = 4194304;

private:
    bool BuildGraph();
    // Stops the output and frees the chain; with freeSource the source too.
    void CloseGraph(bool freeSource);
    // A change of the device's record, on the notification thread.
    void OutputSyncChanged(std::uint64_t generation, const TAuSyncData& data);
    std::int32_t StreamDeviceID() const;

    TAuOutputFilter* FGivenOutput;              // given at creation, never owned
    TAuDecoderFilter* FGivenDecoderFilter;      // given at creation, never owned
    TAuOutputFilter* FOutput = nullptr;         // the chain's output while a chain exists
    bool FOwnsOutput = false;
    std::unique_ptr<TAuStreamDriver> FStreamDriver;
    std::unique_ptr<TAuDecoder> FDecoder;
    TAuDecoderFilter* FDecoderFilter = nullptr;
    bool FOwnsDecoderFilter = false;
    std::unique_ptr<TAuAnalyzeFilter> FAnalyzeFilter;
    std::unique_ptr<TAuVolumeFilter> FVolumeFilter;
    std::unique_ptr<TAuCompressorFilter> FCompressorFilter;
    std::atomic<float> FVolume{1.0f};
    TNotifyEvent FOnFinish;         // under FHandlerLock
    bool FNeedsReopen = false;
    bool FEndReached = false;       // set by the output's end report, under FLock
    std::int32_t FDeviceID = 0;
    bool FOwnDevice = false;
    std::uint64_t FGeneration = 0;  // counts the chains built; stale reports are dropped
};
