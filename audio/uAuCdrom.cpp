#include "audio/uAuCdrom.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <system_error>

namespace {
// The longest track that still fits a wave file's 32-bit sizes with its header.
constexpr std::int64_t MaxTrackBytes = std::numeric_limits<std::int32_t>::max() - 44;
} // namespace

Tcdrom_toc Tcdrom_toc::FromToc(const TCdToc& toc)
{
    Tcdrom_toc list;
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        const std::size_t i = static_cast<std::size_t>(t - toc.FirstTrack);
        if (i + 1 >= toc.Starts.size() || i + 1 >= CdMaxTracks + 1)
            break;
        const std::int64_t bytes = (CdMsfToSector(toc.Starts[i + 1]) - CdMsfToSector(toc.Starts[i])) * CdSectorBytes;
        list.FEntries.push_back({t, bytes > 0 && bytes <= MaxTrackBytes ? static_cast<std::int32_t>(bytes) : 0});
    }
    return list;
}

const Tcdrom_tocEntry* Tcdrom_toc::FindTrack(std::int32_t trackNumber) const
{
    const auto it = std::find_if(FEntries.begin(), FEntries.end(),
                                 [&](const Tcdrom_tocEntry& e) { return e.TrackNumber == trackNumber; });
    return it == FEntries.end() ? nullptr : &*it;
}

bool Tcdrom::Open(char drive)
{
    Close();
    return Open(OpenCdDrive(drive));
}

bool Tcdrom::Open(std::unique_ptr<TCdDrive> drive)
{
    Close();
    if (!drive || !drive->ReadToc(FRawToc))
        return false;
    FDrive = std::move(drive);
    FToc = Tcdrom_toc::FromToc(FRawToc);
    return true;
}

void Tcdrom::Close()
{
    FDrive.reset();
    FRawToc = TCdToc{};
    FToc.Clear();
}

std::unique_ptr<Tcdrom_track> Tcdrom::OpenTrack(std::int32_t trackNumber) const
{
    const Tcdrom_tocEntry* entry = FToc.FindTrack(trackNumber);
    if (!FDrive || !entry || entry->ByteLength <= 0)
        return nullptr;
    const std::size_t i = static_cast<std::size_t>(trackNumber - FRawToc.FirstTrack);
    auto track = std::make_unique<Tcdrom_track>();
    track->StartSector = CdMsfToSector(FRawToc.Starts[i]);
    track->SectorCount = CdMsfToSector(FRawToc.Starts[i + 1]) - track->StartSector;
    SeekSector(*track, 0);
    return track;
}

void Tcdrom::SeekSector(Tcdrom_track& track, std::int64_t sector)
{
    if (sector < 0 || sector > track.SectorCount)
        return;
    track.DiskOffset = (sector + track.StartSector) * 2048;
    track.RemainingSectors = static_cast<std::int32_t>(track.SectorCount - sector);
}

std::int32_t Tcdrom::ReadSectors(Tcdrom_track& track, void* buffer)
{
    if (!FDrive || track.RemainingSectors <= 0)
        return 0;
    const int n = std::min(track.RemainingSectors, 5);
    const int got = FDrive->ReadAudio(track.DiskOffset / 2048, n, buffer);
    if (got < 0)
        throw std::system_error(errno, std::generic_category(), "CD read");
    track.RemainingSectors -= n;
    track.DiskOffset += static_cast<std::int64_t>(n) * 2048;
    return got;
}

void Tcdrom::Interrupt()
{
    if (FDrive)
        FDrive->SetInterrupted(true);
}

void Tcdrom::Resume()
{
    if (FDrive)
        FDrive->SetInterrupted(false);
}
