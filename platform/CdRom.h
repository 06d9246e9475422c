#pragma once
// Audio CD drives: the table of contents and raw audio sectors of 2352 bytes.
//
// Drives are named by a letter. Letters map to device paths through one table,
// fixed so that a drive keeps its letter whatever else is attached:
//   D        /dev/cdrom (the first drive's usual link; /dev/sr0 where it is missing)
//   E..Z     /dev/sr1../dev/sr22
// Letters are case-blind. Any other character (a CD track file's location that
// starts with "/", a host name) means the default drive: the table's lowest letter.
// The environment variable PV_CD_DRIVES replaces the whole table, for example
// "D=/dev/sr1,E=/tmp/disc.toc"; letters it does not name have no drive. Tests set
// the table with SetCdDriveTable.
//
// A path that ends in ".toc" names a fake drive: a text table of contents with a
// raw file of sectors beside it (see ParseFakeCdToc).

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int CdSectorBytes = 2352;   // one raw audio sector: 1/75 s of 44.1 kHz 16-bit stereo
constexpr int CdMaxTracks = 99;

// The device path of a drive letter; empty when the table names none.
std::string CdDevicePath(char drive);
// Replaces the table (upper-case letter -> path).
void SetCdDriveTable(const std::map<char, std::string>& table);
// Back to the table of PV_CD_DRIVES, or the default one.
void ResetCdDriveTable();

// A start address as the drive reports it.
struct TCdMsf {
    std::uint8_t Minutes = 0;
    std::uint8_t Seconds = 0;
    std::uint8_t Frames = 0;
};

// The address of the sector at msf: the first 150 sectors (two seconds) lie
// before logical sector 0.
inline std::int64_t CdMsfToSector(const TCdMsf& msf)
{
    return msf.Minutes * 4500LL + msf.Seconds * 75LL + msf.Frames - 150;
}

// The table of contents: the start of every track from FirstTrack to LastTrack,
// then the start of the lead-out (Starts holds LastTrack - FirstTrack + 2 entries).
struct TCdToc {
    int FirstTrack = 0;
    int LastTrack = 0;
    std::vector<TCdMsf> Starts;
};

class TCdDrive {
public:
    virtual ~TCdDrive() = default;
    virtual bool ReadToc(TCdToc& toc) = 0;
    // Reads count (1..5) raw audio sectors from logical sector lba into buffer.
    // Returns the bytes read, -1 on a read error (errno tells which).
    virtual int ReadAudio(std::int64_t lba, int count, void* buffer) = 0;
    // While set, a read that waits on the drive ends, and so does every later
    // read, as far as the drive lets it. Any thread.
    virtual void SetInterrupted(bool /*on*/) {}
};

// Opens the drive of a letter; nullptr when there is none or it does not open.
std::unique_ptr<TCdDrive> OpenCdDrive(char drive);

// The fake drive's table of contents, one entry a line ('#' starts a comment):
//   1 00:02:00         track 1 starts at 0 min 2 s 0 frames (logical sector 0)
//   2 01:10:05         the next track; numbers go up by one
//   leadout 03:00:00   the end of the last track
//   raw disc.bin       the raw file, beside the table (default: the table's name with .raw)
//   stall 40           reads that reach logical sector 40 wait until interrupted
// The raw file holds logical sector n at byte n x 2352; a sector beyond its end
// fails to read. False when the text is no table: no track, numbers out of
// order, an address out of range, an unknown line.
struct TFakeCdDisc {
    TCdToc Toc;
    std::string RawFile;
    std::int64_t StallSector = -1;   // -1: no stall
};
bool ParseFakeCdToc(const QByteArray& text, TFakeCdDisc& disc);

// A fake drive over a table of contents and sector bytes in memory.
class TFakeCdDrive : public TCdDrive {
public:
    TFakeCdDrive(TFakeCdDisc disc, QByteArray sectors);
    bool ReadToc(TCdToc& toc) override;
    int ReadAudio(std::int64_t lba, int count, void* buffer) override;
    void SetInterrupted(bool on) override;

private:
    TFakeCdDisc FDisc;
    QByteArray FSectors;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FInterrupted = false;
};
