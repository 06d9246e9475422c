#pragma once
// The pull-driven filter chain of a player and the threads that drive it:
//
//   decoder filter -> analyze -> volume -> limiter -> driver output
//
// The output's idle thread feeds the stream driver; the stream driver pulls
// samples through the output's read callback, which reads from the limiter,
// which reads from the volume filter, and so on up to the decoder filter,
// whose decoder thread keeps a buffer of float samples ahead of the output.
// Samples are 32-bit float, interleaved by channel, until the output converts
// them to the stream driver's format.
//
// Threads with nothing to do wait on a condition: the decoder thread while its
// buffer holds what it should (the head at rest, the limit while playing) or
// the decoder has ended, the idle thread while the output is not playing, the
// analyze thread while nothing is queued.

#include "audio/uAcBuffer.h"
#include "audio/uAuDriver.h"
#include "audio/uAuTypes.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TAuDecoder;
class TAuOutputFilter;
class TAuTargetFilter;

class TAuFilter {
public:
    virtual ~TAuFilter() = default;
    // The output at the end of the chain this filter feeds; nullptr when none.
    virtual TAuOutputFilter* OutputFilter() { return nullptr; }
    // A filter takes one source: false when it already has one.
    virtual bool AddSource(TAuTargetFilter* source) = 0;
    // True and the source forgotten when source is the one stored.
    virtual bool RemoveSource(TAuTargetFilter* source) = 0;

    TAuAudioParameters Parameters;
};

// The end of a chain. It remembers the position and state the device last
// reported (SyncChanged, on the notification thread) for the player.
class TAuOutputFilter : public TAuFilter {
public:
    using TSyncHandler = std::function<void(const TAuSyncData&)>;

    virtual void SetParameters(const TAuAudioParameters& parameters) { Parameters = parameters; }
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // Milliseconds the device holds ahead of the listener.
    virtual std::int32_t Delay() const { return 0; }

    // Where a change of the device's record is delivered, on the notification
    // thread: a queued call of handler under key. Without one, the output's own
    // SyncChanged runs under the output as key. Set before a source is added.
    void SetSyncTarget(const void* key, TSyncHandler handler);
    // Stores the record as the reported one; at the end of the stream calls OnFinish.
    void SyncChanged(const TAuSyncData& data);
    TAuSyncData Reported() const { return FReported.Load(); }
    std::function<void()> OnFinish;
    ~TAuOutputFilter() override;

protected:
    // Queues a change of the device's record (any thread).
    void QueueSyncChange(const TAuSyncData& data);
    void ResetReported() { FReported.Store(TAuSyncData{}); }

private:
    TAuAtomicSyncData FReported;
    const void* FSyncKey = nullptr;
    TSyncHandler FSyncHandler;
};

// Drives one stream driver: while active it hands the driver the output's
// read callback until the driver takes no more, then polls again a few
// milliseconds later. While inactive it waits without polling.
class TAuIdleThread {
public:
    using TChangeEvent = std::function<void(const TAuSyncData&)>;
    // How often an active thread offers data to a driver that had no room.
    static constexpr int PollMilliseconds = 5;

    TAuIdleThread(TAuStreamDriver* driver, TAuReadCallback read, TChangeEvent change);
    // Terminates the thread and waits for it.
    ~TAuIdleThread();
    TAuIdleThread(const TAuIdleThread&) = delete;
    TAuIdleThread& operator=(const TAuIdleThread&) = delete;

    // Deactivating waits until a pass that is feeding the driver has ended.
    void SetActive(bool active);
    bool Active() const { return FActive.load(); }

private:
    void Execute();

    TAuStreamDriver* FDriver;
    TAuReadCallback FRead;
    TChangeEvent FChange;
    TAuSyncData FLastSeen;
    std::mutex FLock;
    std::condition_variable FWake;
    std::atomic<bool> FActive{false};
    bool FTerminated = false;
    bool FBusy = false;
    std::uint64_t FKick = 0;
    std::thread FThread;
};

// The output over a stream driver (not owned): converts float samples to the
// driver's format in its read callback.
class TAuDriverOutput : public TAuOutputFilter {
public:
    explicit TAuDriverOutput(TAuStreamDriver* driver);
    ~TAuDriverOutput() override;

    TAuOutputFilter* OutputFilter() override { return this; }
    bool AddSource(TAuTargetFilter* source) override;
    bool RemoveSource(TAuTargetFilter* source) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    std::int32_t Delay() const override { return FDelay; }

    // What the stream driver calls: count bytes in the driver's format.
    std::int32_t ReadCallback(void* buffer, std::int32_t count, TAuSyncData& sync);

private:
    TAuStreamDriver* FDriver;
    TAuTargetFilter* FSource = nullptr;
    std::unique_ptr<TAuIdleThread> FIdle;
    std::vector<float> FScratch;
    std::int32_t FDelay = 0;
};

class TAuTargetFilter : public TAuFilter {
public:
    ~TAuTargetFilter() override;
    TAuOutputFilter* OutputFilter() override;
    // Leaves the current target, then joins next (nullptr: none).
    void SetTarget(TAuFilter* next);
    TAuFilter* Target();
    // Fills buffer with up to count bytes of float samples; returns the bytes written.
    virtual std::int32_t Read(void* buffer, std::int32_t count, TAuSyncData& sync) = 0;

protected:
    // A derived class's destructor calls it first, so that the chain stops
    // reading from it before its members go.
    void Disconnect() { SetTarget(nullptr); }

private:
    std::mutex FTargetLock;
    TAuFilter* FTarget = nullptr;
};

// Reads its source first and works on the returned bytes in place.
class TAuPassthroughFilter : public TAuTargetFilter {
public:
    bool AddSource(TAuTargetFilter* source) override;
    bool RemoveSource(TAuTargetFilter* source) override;

protected:
    // The source's Read; 0 without a source.
    std::int32_t ReadSource(void* buffer, std::int32_t count, TAuSyncData& sync);

private:
    std::mutex FSourceLock;
    TAuTargetFilter* FSource = nullptr;
};

// Something that looks at the samples as they play (a level meter, a
// spectrum). The program adds none; the analyze filter drives any it is given.
class TAuAnalyzer {
public:
    virtual ~TAuAnalyzer() = default;
    virtual void SetParameters(const TAuAudioParameters& parameters) = 0;
    virtual void Setup() = 0;
    virtual void Analyze(const float* samples, std::int32_t frames) = 0;
    std::atomic<bool> Active{true};
    std::mutex Lock;
};

// Hands blocks of 128 frames to the analyzers, each once the device is about
// to play it (the data queued beyond the device's delay).
class TAuAnalyzeThread {
public:
    static constexpr std::int32_t BlockFrames = 128;

    explicit TAuAnalyzeThread(const TAuAudioParameters& parameters);
    ~TAuAnalyzeThread();
    TAuAnalyzeThread(const TAuAnalyzeThread&) = delete;
    TAuAnalyzeThread& operator=(const TAuAnalyzeThread&) = delete;

    void SetOutput(TAuOutputFilter* output);
    void AddAnalyzer(TAuAnalyzer* analyzer);
    void Append(const void* data, std::int32_t count, std::int32_t tag);
    // Bytes queued and not yet analysed (tests).
    std::int64_t Queued();

private:
    void Execute();

    TAuAudioParameters FParameters;
    std::mutex FLock;
    std::condition_variable FWake;
    TAcBuffer FBuffer;
    std::vector<TAuAnalyzer*> FAnalyzers;
    TAuOutputFilter* FOutput = nullptr;
    bool FTerminated = false;
    std::thread FThread;
};

class TAuAnalyzeFilter : public TAuPassthroughFilter {
public:
    explicit TAuAnalyzeFilter(const TAuAudioParameters& parameters);
    ~TAuAnalyzeFilter() override;
    std::int32_t Read(void* buffer, std::int32_t count, TAuSyncData& sync) override;
    void AddAnalyzer(TAuAnalyzer* analyzer);
    TAuAnalyzeThread& Thread() { return *FThread; }

private:
    std::unique_ptr<TAuAnalyzeThread> FThread;
};

class TAuVolumeFilter : public TAuPassthroughFilter {
public:
    explicit TAuVolumeFilter(const TAuAudioParameters& parameters);
    ~TAuVolumeFilter() override;
    std::int32_t Read(void* buffer, std::int32_t count, TAuSyncData& sync) override;
    // A factor within this of 1 leaves the samples untouched.
    static constexpr float UnityTolerance = 0.00001f;

    std::atomic<float> Volume{1.0f};
    // Per-channel factors on top of Volume, used only when set (before playing).
    void SetChannelFactors(std::vector<float> factors);

private:
    std::vector<float> FChannelFactors;
};

// A peak limiter with instant attack and linear release: a sample whose
// magnitude would exceed Threshold sets the gain so that it lands on
// Threshold; the gain then climbs back to 1 in Release seconds.
class TAuCompressorFilter : public TAuPassthroughFilter {
public:
    explicit TAuCompressorFilter(const TAuAudioParameters& parameters);
    ~TAuCompressorFilter() override;
    std::int32_t Read(void* buffer, std::int32_t count, TAuSyncData& sync) override;
    // The gain applied from in-place samples; the read path is the only user.
    void Process(float* samples, std::int64_t count);

    float Threshold = 1.0f;
    float Release = 0.1f;
    float Gain = 1.0f;

private:
    float FGainStep = 0.0f;
};

// A buffer of float samples read at the head of the chain. Suspended makes
// Read return nothing (a stopped player keeps its buffer for the next Play).
class TAuCustomDecoderFilter : public TAuTargetFilter {
public:
    ~TAuCustomDecoderFilter() override;
    bool AddSource(TAuTargetFilter*) override { return false; }
    bool RemoveSource(TAuTargetFilter*) override { return false; }
    std::int32_t Read(void* buffer, std::int32_t count, TAuSyncData& sync) override;
    virtual void Flush();

    std::atomic<bool> Suspended{false};

protected:
    TAuCustomDecoderFilter() = default;
    // Under FBufferLock, after a read of bytesRead bytes.
    virtual void UpdateSyncData(TAuSyncData& sync, std::int32_t bytesRead);

    std::mutex FBufferLock;
    std::condition_variable FBufferChanged;   // space freed, data written, flush, end
    TAcBuffer FBuffer;
    bool FFlushed = true;
};

class TAuDecoderThread;

// Keeps decoded float samples ahead of the output. While it plays the decoder
// thread fills up to Limit bytes; while it rests (made, stopped, sought while
// not playing) a buffer that was emptied fills again only with its head, the
// next HeadMilliseconds of the stream, so that a loaded player holds little
// and Play starts at once while the rest fills behind the head.
class TAuDecoderFilter : public TAuCustomDecoderFilter {
public:
    static constexpr std::int32_t HeadMilliseconds = 500;

    // Starts resting: the decoder thread fills the head without being waited for.
    TAuDecoderFilter(TAuDecoder* decoder, std::int32_t limit);
    ~TAuDecoderFilter() override;
    // Playing: the decoder thread fills up to the limit. Waits (at most half a
    // second) until the head is buffered or the decoder ended, so that the
    // output starts without a gap.
    void Fill();
    // Resting: from the next emptying on only the head is filled again; what
    // is buffered stays.
    void Rest();
    // Empties the buffer; while playing waits briefly for the head to fill again.
    void Flush() override;
    // Moves the decoder while the decoder thread is between two blocks; on
    // success empties the buffer as Flush does. Nothing stale is read after it.
    bool SeekDecoder(std::int32_t currentMs, std::int32_t targetMs);
    // The decoder's length, asked between two blocks.
    std::int32_t DecoderLength();
    // Bytes buffered (tests).
    std::int64_t Buffered();

protected:
    void UpdateSyncData(TAuSyncData& sync, std::int32_t bytesRead) override;

private:
    friend class TAuDecoderThread;
    // Waits until the head is buffered or the decoder ended.
    void WaitForHead(int milliseconds);
    // Empties the buffer (FDecodeLock held); true when playing. freedBytes:
    // the bucket memory the buffer held.
    bool FlushLocked(std::int64_t& freedBytes);

    // The bytes the decoder thread fills up to now; under FBufferLock.
    std::int64_t FillLimit() const { return FFillToLimit ? FLimit : FHead; }

    TAuDecoder* FDecoder;
    std::int32_t FLimit;
    std::int64_t FHead = 0;          // at most FLimit
    bool FFillToLimit = false;       // under FBufferLock
    std::int32_t FTimecodeBase = -1;
    std::int32_t FLastTag = 0;
    bool FFinished = false;          // the decoder reported its end; under FBufferLock
    bool FTerminated = false;        // under FBufferLock
    std::mutex FDecodeLock;          // held around one Decode and its write, and around a seek
    std::unique_ptr<TAuDecoderThread> FThread;
};

class TAuDecoderThread {
public:
    explicit TAuDecoderThread(TAuDecoderFilter& filter);
    // Terminates the thread and waits for it.
    ~TAuDecoderThread();
    TAuDecoderThread(const TAuDecoderThread&) = delete;
    TAuDecoderThread& operator=(const TAuDecoderThread&) = delete;

private:
    void Execute();

    TAuDecoderFilter& FFilter;
    std::vector<float> FScratch;
    std::thread FThread;
};
