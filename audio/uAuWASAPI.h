#pragma once
// The output driver over the bridge library libwasapi_interface.so, bound at
// run time by name. No such library ships with the program: the driver is
// offered only where one is installed that has all seven entries and reports
// itself available. Its one device is the bridge's default output.

#include "audio/uAcSync.h"
#include "audio/uAuDriver.h"

#include <QString>

#include <atomic>
#include <cstdint>

// The bridge's entries (C calling convention). A stream handle of 0 is none.
using TWasapiHandle = std::intptr_t;
// fill(user pointer, buffer, frame count): fills frame count whole frames.
using TWasapiFill = void (*)(void* user, void* buffer, std::int32_t frames);

class TAuWASAPIStreamDriver : public TAuStreamDriver {
public:
    static constexpr const char* ClassName = "TAuWASAPIStreamDriver";
    using ClassBase = TAuStreamDriver;

    explicit TAuWASAPIStreamDriver(const TAuDriverParameters& parameters);
    ~TAuWASAPIStreamDriver() override;

    bool Open() override;    // false when a stream is open already or the bridge refuses one
    void Play() override;    // starts or resumes the stream
    void Pause() override;   // stops the stream, keeping its data
    void Stop() override;    // drops the stream's data
    void Close() override;   // stops and frees the stream
    // Hands the bridge the fill function; true when the bridge delivered data.
    bool Idle(const TAuReadCallback& read) override;

    // What the bridge calls inside Idle: silence, then (while playing) the
    // read callback's bytes over it.
    static void Fill(void* user, void* buffer, std::int32_t frames);

private:
    void CloseLocked();

    // The bridge may be called from the player's thread and the idle thread
    // at once; one lock keeps its calls for a stream in turn.
    TAcMutex FMutex;
    std::atomic<bool> FPlaying{false};
    TWasapiHandle FHandle = 0;
    const TAuReadCallback* FRead = nullptr;   // set for the run of Idle only
};

class TAuWASAPIDriver : public TAuDriver {
public:
    static constexpr const char* ClassName = "TAuWASAPIDriver";
    using ClassBase = TAuDriver;

    TAuWASAPIDriver();
    // One device: "WASAPI Default Audio Device", ID -1, Priority 10.
    void EnumDevices(const std::function<void(const TAuDevice&)>& callback) override;
    // The device ID is not used.
    std::unique_ptr<TAuStreamDriver> CreateStreamDriver(std::int32_t deviceID,
                                                        const TAuDriverParameters& parameters) override;
};

// Binds the bridge once per process: name (default "libwasapi_interface.so";
// a bare name is looked for in the program folder first, then on the
// library search path). True when a bridge is bound already, or when all
// seven entries exist and wasapi_available() returns 1; otherwise the library
// is released again.
bool LoadWASAPIBridge(const QString& name = {});
// Releases the bound bridge (tests; the program keeps it to the end). No
// stream driver of it may exist any more.
void FreeWASAPIBridge();
// Binds the bridge and registers the driver when it binds.
bool RegisterWASAPIDriver(const QString& name = {});
