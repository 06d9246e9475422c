// The CD track file reader and the fake drive's table of contents on any bytes:
// the first 44 bytes as a track file, the rest as a table of contents; every
// track it lists is opened, read a little and moved in.

#include "FuzzEngine.h"

#include "audio/uAuCDAudio.h"
#include "audio/uAuCdrom.h"

#include <cstdlib>
#include <system_error>

namespace {
// Twenty sectors of the drive; reads beyond them fail.
const QByteArray& Sectors()
{
    static const QByteArray sectors(20 * CdSectorBytes, '\x11');
    return sectors;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::int32_t track = ParseCdaHeader(data, size);
    if (track > 0xFFFF || (size < CdaFileBytes && track != -1))
        std::abort();
    if (size < CdaFileBytes)
        return 0;

    TFakeCdDisc disc;
    if (!ParseFakeCdToc(FuzzBytes(data + CdaFileBytes, size - CdaFileBytes), disc))
        return 0;
    if (disc.Toc.FirstTrack < 1 || disc.Toc.LastTrack > CdMaxTracks
        || disc.Toc.Starts.size() != static_cast<std::size_t>(disc.Toc.LastTrack - disc.Toc.FirstTrack + 2))
        std::abort();
    disc.StallSector = -1;   // a stalled read would wait for ever here
    Tcdrom cdrom;
    if (!cdrom.Open(std::make_unique<TFakeCdDrive>(disc, Sectors())))
        std::abort();
    static std::uint8_t buffer[5 * CdSectorBytes];
    for (const Tcdrom_tocEntry& entry : cdrom.Toc().Entries()) {
        if (entry.ByteLength < 0 || entry.ByteLength % CdSectorBytes != 0)
            std::abort();
        auto state = cdrom.OpenTrack(entry.TrackNumber);
        if (!state != (entry.ByteLength == 0))
            std::abort();
        if (!state)
            continue;
        if (state->SectorCount * CdSectorBytes != entry.ByteLength)
            std::abort();
        Tcdrom::SeekSector(*state, state->SectorCount / 2);
        try {
            for (int i = 0; i < 2; ++i)
                if (cdrom.ReadSectors(*state, buffer) > static_cast<std::int32_t>(sizeof buffer))
                    std::abort();
        } catch (const std::system_error&) {
            // a sector the fake drive does not hold
        }
    }
    if (track >= 0 && cdrom.Toc().FindTrack(track) && !cdrom.OpenTrack(track) && cdrom.Toc().FindTrack(track)->ByteLength > 0)
        std::abort();
    return 0;
}
