#pragma once
// Audio CD tracks. A CD track file (44 bytes, "RIFF" size 36 "CDDA", the track
// number at byte 22) names a track; TAuCDADecoder reads that track from the
// drive named by the first character of the file's location, through
// TAuCDDAProtocol, which presents the track as a wave file: a 44-byte header
// for 44.1 kHz 16-bit stereo, then the raw sectors. A reading thread keeps the
// sectors ahead of the reader.

#include "audio/uAcBuffer.h"
#include "audio/uAuCdrom.h"
#include "audio/uAuProtocol.h"
#include "audio/uAuWAV.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

constexpr int CdaFileBytes = 44;
constexpr int CdWaveHeaderBytes = 44;

// The track number of a CD track file's 44 bytes; -1 when they are none.
std::int32_t ParseCdaHeader(const std::uint8_t* bytes, std::size_t size);
// Reads 44 bytes from the protocol's position; the track number or -1.
std::int32_t ReadCdaHeader(TAuProtocol* protocol);

// The wave bytes between the reading thread and the protocol, under one lock.
struct TAuCDBuffer {
    std::mutex Lock;
    std::condition_variable Filled;    // bytes arrived, or the reader ended
    std::condition_variable Drained;   // room again, or the reader is asked to stop
    TAcBuffer Bytes;
    bool ReaderEnded = true;           // no reader running: the track's end, a read error, a stop
    bool StopReader = false;
};

// Reads a track's sectors into the buffer until the track ends, the drive
// fails or it is stopped. It fills the buffer up to Limit bytes, then waits until
// the reader has taken it below half of that. A read error ends the thread (and
// is logged); it never escapes it.
class TAuCDThread {
public:
    static constexpr std::int64_t Limit = 16 * 5 * CdSectorBytes;   // 188160 bytes

    TAuCDThread(TAuCDBuffer& buffer, Tcdrom& cdrom, Tcdrom_track& track);
    ~TAuCDThread();   // Terminate
    TAuCDThread(const TAuCDThread&) = delete;
    TAuCDThread& operator=(const TAuCDThread&) = delete;

    // Asks the thread to end, interrupts a read that waits on the drive, and
    // waits until the thread has ended.
    void Terminate();

private:
    void Execute();

    TAuCDBuffer& FBuffer;
    Tcdrom& FCdrom;
    Tcdrom_track& FTrack;
    std::thread FThread;
};

class TAuCDDAProtocol : public TAuURLProtocol {
public:
    static constexpr const char* ClassName = "TAuCDDAProtocol";
    using ClassBase = TAuURLProtocol;

    TAuCDDAProtocol() = default;
    ~TAuCDDAProtocol() override;

    // Waits for the bytes asked for (up to the refill mark) while the drive
    // delivers; returns what is there when the track has ended, the drive
    // failed, or the fill timeout passed.
    std::int32_t Read(void* buffer, std::int32_t count) override;
    bool Seekable() override { return true; }
    // Positions of the wave stream: 0 .. header + track bytes. Origin 2 counts
    // from the end as the other protocols do (offset 0 or below). A target
    // outside changes nothing and gives 0.
    std::int64_t Seek(std::int32_t origin, std::int64_t offset) override;
    bool SupportsProtocol(const QString& name) override { return name == QLatin1String("cdda"); }
    // "cdda://D/?track=3": opens the drive, the track, starts the reading thread
    // and waits until the first bytes are there. False when the header and the
    // track's first sector did not arrive within the fill timeout.
    bool Open(const QString& url) override;
    void Close() override;
    bool Opened() override;

    // How long Open, a seek and a read wait for the drive at most (10 s).
    void SetFillTimeout(std::chrono::milliseconds timeout) { FFillTimeout = timeout; }

private:
    void CloseTrack();
    void StartReader();
    void StopReader();
    void WriteHeader();
    // Waits until the buffer holds bytes, the reader ended or the timeout passed.
    void WaitFor(std::unique_lock<std::mutex>& lock, std::int64_t bytes);
    std::int32_t ReadWaiting(void* buffer, std::int32_t count);

    std::mutex FSeekLock;   // seeking, reading, opening and closing
    TAuCDBuffer FBuffer;
    std::unique_ptr<TAuCDThread> FThread;
    Tcdrom FCdrom;
    std::unique_ptr<Tcdrom_track> FTrack;
    Tcdrom_tocEntry FEntry;
    std::int64_t FPosition = 0;
    std::chrono::milliseconds FFillTimeout{10000};
};

class TAuCDADecoder : public TAuWAVDecoder {
public:
    static constexpr const char* ClassName = "TAuCDADecoder";
    using ClassBase = TAuWAVDecoder;

    // Reads the CD track file from the protocol; for a track number of 1 or
    // more opens that track and decodes it instead of the protocol's bytes.
    explicit TAuCDADecoder(TAuProtocol* protocol);
    ~TAuCDADecoder() override;

    // False unless the file named a track and the track opened.
    bool OpenDecoder() override;
    std::int32_t TrackNumber() const { return FTrackNumber; }

private:
    std::unique_ptr<TAuCDDAProtocol> FCDDA;
    std::int32_t FTrackNumber = -1;
    QString FLocation;
};

// Registers TAuCDDAProtocol, then TAuCDADecoder.
void RegisterCDAudio();
