#pragma once
// A test-only output driver: its stream driver takes every byte Idle offers,
// without a clock, and keeps it. A byte budget holds it back where a test
// needs the player in the middle of a track.

#include "audio/uAuDriver.h"

#include <QByteArray>

#include <memory>
#include <mutex>
#include <vector>

struct TCaptureState {
    std::mutex Lock;
    QByteArray Bytes;
    std::int64_t Budget = -1;          // bytes it accepts in all; -1 without limit
    bool Playing = false;
    std::vector<TAuSyncData> Records;  // every record a read returned with data
    bool EndRead = false;              // a read, with data or without, returned the end

    QByteArray Captured();
    void SetBudget(std::int64_t bytes);
    std::int64_t Size();
};

class TCaptureStream : public TAuStreamDriver {
public:
    static constexpr const char* ClassName = "TCaptureStream";
    using ClassBase = TAuStreamDriver;

    TCaptureStream(const TAuDriverParameters& parameters, std::shared_ptr<TCaptureState> state);
    bool Open() override { return true; }
    void Close() override {}
    void Play() override;
    void Pause() override;
    void Stop() override;
    bool Idle(const TAuReadCallback& read) override;

private:
    std::shared_ptr<TCaptureState> FState;
    std::vector<std::uint8_t> FChunk;
};

class TCaptureDriver : public TAuDriver {
public:
    static constexpr const char* ClassName = "TCaptureDriver";
    using ClassBase = TAuDriver;

    void EnumDevices(const std::function<void(const TAuDevice&)>& callback) override;
    std::unique_ptr<TAuStreamDriver> CreateStreamDriver(std::int32_t deviceID,
                                                        const TAuDriverParameters& parameters) override;
    // The state of the stream driver made last (the budget given to it first).
    static std::shared_ptr<TCaptureState> Last();
    static void SetNextBudget(std::int64_t bytes);
};

// Starts the engine and registers the capture driver once per process.
void StartEngineWithCapture();
