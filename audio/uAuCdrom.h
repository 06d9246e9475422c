#pragma once
// Reading the audio tracks of a CD: the track list with each track's length and
// a read position inside one track, over a drive of platform/CdRom.h.

#include "platform/CdRom.h"

#include <cstdint>
#include <memory>
#include <vector>

struct Tcdrom_tocEntry {
    std::int32_t TrackNumber = 0;
    std::int32_t ByteLength = 0;   // raw audio bytes of the track
};

class Tcdrom_toc {
public:
    // The track list of a table of contents: each track runs from its start to
    // the next track's start (the lead-out after the last track). A track whose
    // end lies before its start, or that could not be played as one wave file,
    // gets the length 0.
    static Tcdrom_toc FromToc(const TCdToc& toc);

    // The entry of a track; nullptr when the disc has no such track.
    const Tcdrom_tocEntry* FindTrack(std::int32_t trackNumber) const;
    const std::vector<Tcdrom_tocEntry>& Entries() const { return FEntries; }
    void Clear() { FEntries.clear(); }

private:
    std::vector<Tcdrom_tocEntry> FEntries;
};

// The read position in one track.
struct Tcdrom_track {
    std::int32_t BufferBytes = 5 * CdSectorBytes;   // bytes of one read: five sectors
    std::int32_t SectorBytes = CdSectorBytes;
    std::int64_t StartSector = 0;
    std::int64_t SectorCount = 0;
    std::int64_t DiskOffset = 0;   // the next read's sector x 2048
    std::int32_t RemainingSectors = 0;
};

class Tcdrom {
public:
    Tcdrom() = default;
    Tcdrom(const Tcdrom&) = delete;
    Tcdrom& operator=(const Tcdrom&) = delete;
    ~Tcdrom() { Close(); }

    // Opens the drive of a letter and reads its table of contents.
    bool Open(char drive);
    // The same over a drive that is open already.
    bool Open(std::unique_ptr<TCdDrive> drive);
    void Close();
    bool IsOpen() const { return FDrive != nullptr; }

    // The read position at the start of a track; nullptr without a drive, for a
    // track the disc does not have, or for one without sectors.
    std::unique_ptr<Tcdrom_track> OpenTrack(std::int32_t trackNumber) const;
    // Moves to a sector of the track; the sector count itself is the end of the
    // track (nothing more to read). Anything outside that changes nothing.
    static void SeekSector(Tcdrom_track& track, std::int64_t sector);
    // Reads up to five sectors at the track's position and moves on; returns the
    // bytes read, 0 at the end of the track. A drive error throws std::system_error.
    std::int32_t ReadSectors(Tcdrom_track& track, void* buffer);
    // Ends a read that waits on the drive, and every read until Resume.
    void Interrupt();
    void Resume();

    const Tcdrom_toc& Toc() const { return FToc; }

private:
    std::unique_ptr<TCdDrive> FDrive;
    TCdToc FRawToc;
    Tcdrom_toc FToc;
};
