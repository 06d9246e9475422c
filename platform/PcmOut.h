#pragma once
// PCM output: a stream of interleaved integer samples handed to a device that
// queues them and plays them at the stream's rate. Backends: an ALSA PCM, a
// clock-paced null device (a software play cursor that discards the samples)
// and a clock-paced WAV device (the same cursor; every stream is also written
// to a WAV file).
//
// A stream is used by one thread at a time (its owner serialises the calls).

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TPcmOut {
public:
    virtual ~TPcmOut() = default;

    // Opens the stream stopped, with room for about bufferFrames frames, handed
    // over in steps of about periodFrames. bits is 8 (unsigned) or 16 (signed,
    // little-endian); other depths are refused. False
    // with ErrorText set when the device refuses.
    virtual bool Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t bufferFrames,
                      std::int32_t periodFrames) = 0;
    // Frames the stream can hold at most (what the device granted).
    virtual std::int64_t BufferFrames() const = 0;
    // Frames written and not yet played; a negative errno when the stream needs
    // Recover (-EPIPE after an underrun, -ESTRPIPE after a suspend).
    virtual std::int64_t Queued() = 0;
    // Queues frames; the stream starts playing by itself once data is queued.
    // Returns the frames taken (fewer when full) or a negative errno.
    virtual std::int64_t Write(const void* data, std::int64_t frames) = 0;
    // Brings the stream back after the error a call returned; false when it
    // cannot be brought back.
    virtual bool Recover(int error) = 0;
    // Holds the play position (queued frames stay) and lets it go on.
    virtual void Pause(bool pause) = 0;
    // Discards the queued frames; the stream stays open, stopped.
    virtual void Drop() = 0;
    // Ends the stream; Open may be called again.
    virtual void Close() = 0;

    QString ErrorText() const { return FErrorText; }

protected:
    QString FErrorText;
};

// Monotonic time in nanoseconds.
using TPcmClock = std::function<std::int64_t()>;
// CLOCK_MONOTONIC.
std::int64_t SteadyNanoseconds();
// The clock the paced devices of the device list run on: the steady clock, or
// the one a test installs (an empty function restores the steady clock). Set it
// before any paced device is opened.
void SetPacedClock(TPcmClock clock);
TPcmClock PacedClock();

// A device that takes samples only as fast as a real one would: a software
// play cursor that moves at the stream's rate from the first queued frame on,
// stands still while paused or starved, and is reset by Drop.
class TPacedPcmOut : public TPcmOut {
public:
    explicit TPacedPcmOut(TPcmClock clock);
    bool Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t bufferFrames,
              std::int32_t periodFrames) override;
    std::int64_t BufferFrames() const override { return FBufferFrames; }
    std::int64_t Queued() override;
    std::int64_t Write(const void* data, std::int64_t frames) override;
    bool Recover(int) override { return true; }
    void Pause(bool pause) override;
    void Drop() override;
    void Close() override;

protected:
    // Receives every accepted frame (the WAV device records them).
    virtual void Accepted(const void* data, std::int64_t bytes);
    std::int32_t FBytesPerFrame = 0;

private:
    std::int64_t Played();
    TPcmClock FClock;
    std::int32_t FRate = 0;
    std::int64_t FBufferFrames = 0;
    std::int64_t FWritten = 0;      // frames queued since the stream started
    std::int64_t FPlayedBase = 0;   // frames played when the cursor last started
    std::int64_t FStartNs = 0;      // when the cursor last started
    bool FRunning = false;
    bool FPaused = false;
    bool FOpen = false;
};

// The paced device that also writes every stream into folder (made when
// missing) as
// stream-<n>.wav (n = 1, 2, ... in the order the streams open, after the
// highest number already there). The file holds every frame the stream took
// (also frames a Drop discarded before they played) and appears, complete,
// when the stream closes. A write that fails (a full disk) is an error-log entry; the stream
// plays on without recording.
class TWavPcmOut : public TPacedPcmOut {
public:
    TWavPcmOut(const QString& folder, TPcmClock clock);
    ~TWavPcmOut() override;
    bool Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t bufferFrames,
              std::int32_t periodFrames) override;
    void Close() override;
    // The file of the stream now open (or last open).
    QString FileName() const { return FFileName; }

protected:
    void Accepted(const void* data, std::int64_t bytes) override;

private:
    void Finish();
    struct TRecording;
    QString FFolder;
    QString FFileName;
    std::unique_ptr<TRecording> FRecording;
};

// An ALSA playback PCM by name ("default", "hw:0,0", "null", ...): nonblocking,
// interleaved; alsa-lib's own error printing is silenced.
std::unique_ptr<TPcmOut> CreateAlsaPcmOut(const QString& pcmName);

// One output device as the platform lists it.
struct TPcmDevice {
    QString Description;   // shown to the user
    QString Module;        // the ALSA PCM name or the folder
    bool Primary = false;  // the system's default device
    std::function<std::unique_ptr<TPcmOut>()> Create;
};

// The devices PV_AUDIO_OUTPUT selects: unset or empty = the ALSA playback PCMs
// ("default" primary, "null" left out); "null" = one paced device
// "Null-Ausgabe"; "wav:DIR" = one paced device "WAV-Datei" writing into DIR;
// "alsa:NAME" = the one ALSA PCM NAME. Another value lists nothing (an
// error-log entry).
std::vector<TPcmDevice> ListPcmDevices();
std::vector<TPcmDevice> ListPcmDevices(const QString& selection);
// An unknown selection is logged once until this is called (a new run of the
// audio module).
void ResetPcmSelectionWarning();
// The ALSA playback PCMs by their name hints.
std::vector<TPcmDevice> ListAlsaPcmDevices();

// The wave format record (40 bytes, little-endian): format tag 1 for one or
// two channels, else 0xFFFE with the extensible tail (valid bits, channel
// mask, PCM sub-format). nullopt when channels, bits or the block align do not
// fit in 16 bits, or the byte rate not in 32 bits.
using TWaveFormat = std::array<std::uint8_t, 40>;
std::optional<TWaveFormat> MakeWaveFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits);
// The bytes of the format that a WAV file's "fmt " chunk holds: 16, or all 40
// for the extensible form.
std::int32_t WaveFormatSize(const TWaveFormat& format);
