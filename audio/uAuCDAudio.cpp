#include "audio/uAuCDAudio.h"

#include "audio/uAcUtils.h"
#include "framework/uErrorLog.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace {

constexpr std::int64_t RefillMark = TAuCDThread::Limit / 2;   // 94080 bytes

std::uint32_t Le32At(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
           | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe(std::uint8_t*& p, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        *p++ = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutId(std::uint8_t*& p, const char id[4])
{
    std::memcpy(p, id, 4);
    p += 4;
}

QString DriveName(char drive)
{
    return QString::fromStdString(CdDevicePath(drive));
}

} // namespace

std::int32_t ParseCdaHeader(const std::uint8_t* bytes, std::size_t size)
{
    if (size < CdaFileBytes || std::memcmp(bytes, "RIFF", 4) != 0 || Le32At(bytes + 4) != 36
        || std::memcmp(bytes + 8, "CDDA", 4) != 0 || std::memcmp(bytes + 12, "fmt ", 4) != 0)
        return -1;
    return static_cast<std::int32_t>(bytes[22] | (bytes[23] << 8));
}

std::int32_t ReadCdaHeader(TAuProtocol* protocol)
{
    std::uint8_t bytes[CdaFileBytes];
    std::int32_t total = 0;
    while (protocol && total < CdaFileBytes) {
        const std::int32_t got = protocol->Read(bytes + total, CdaFileBytes - total);
        if (got <= 0)
            break;
        total += got;
    }
    return ParseCdaHeader(bytes, static_cast<std::size_t>(total));
}

TAuCDThread::TAuCDThread(TAuCDBuffer& buffer, Tcdrom& cdrom, Tcdrom_track& track)
    : FBuffer(buffer), FCdrom(cdrom), FTrack(track)
{
    {
        std::lock_guard<std::mutex> lock(FBuffer.Lock);
        FBuffer.ReaderEnded = false;
        FBuffer.StopReader = false;
    }
    FThread = std::thread([this] { Execute(); });
}

TAuCDThread::~TAuCDThread()
{
    Terminate();
}

void TAuCDThread::Terminate()
{
    if (!FThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(FBuffer.Lock);
        FBuffer.StopReader = true;
    }
    FBuffer.Drained.notify_all();
    FCdrom.Interrupt();
    FThread.join();
    FCdrom.Resume();
    std::lock_guard<std::mutex> lock(FBuffer.Lock);
    FBuffer.StopReader = false;
}

void TAuCDThread::Execute()
{
    std::vector<std::uint8_t> block(static_cast<std::size_t>(FTrack.BufferBytes));
    QString error;
    try {
        while (FTrack.RemainingSectors > 0) {
            {
                std::unique_lock<std::mutex> lock(FBuffer.Lock);
                if (FBuffer.Bytes.Size() + FTrack.BufferBytes > Limit)
                    FBuffer.Drained.wait(lock,
                                         [&] { return FBuffer.StopReader || FBuffer.Bytes.Size() < RefillMark; });
                if (FBuffer.StopReader)
                    break;
            }
            const std::int32_t got = FCdrom.ReadSectors(FTrack, block.data());
            if (got > 0) {
                std::lock_guard<std::mutex> lock(FBuffer.Lock);
                FBuffer.Bytes.Write(block.data(), got, 0);
                FBuffer.Filled.notify_all();
            }
        }
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        error = QStringLiteral("?");
    }
    bool stopped;
    {
        std::lock_guard<std::mutex> lock(FBuffer.Lock);
        stopped = FBuffer.StopReader;
    }
    // A read that a stop interrupted is no drive error. The line is there
    // before a waiting reader learns that the thread has ended.
    if (!error.isEmpty() && !stopped)
        AddToErrorLog(elError, QStringLiteral("CD: Lesefehler: ") + error);
    std::lock_guard<std::mutex> lock(FBuffer.Lock);
    FBuffer.ReaderEnded = true;
    FBuffer.Filled.notify_all();
}

TAuCDDAProtocol::~TAuCDDAProtocol()
{
    TAuCDDAProtocol::Close();
}

void TAuCDDAProtocol::WaitFor(std::unique_lock<std::mutex>& lock, std::int64_t bytes)
{
    FBuffer.Filled.wait_for(lock, FFillTimeout,
                            [&] { return FBuffer.Bytes.Size() >= bytes || FBuffer.ReaderEnded; });
}

std::int32_t TAuCDDAProtocol::ReadWaiting(void* buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    std::unique_lock<std::mutex> lock(FBuffer.Lock);
    WaitFor(lock, std::min<std::int64_t>(count, RefillMark));
    const std::int64_t got = FBuffer.Bytes.Read(buffer, count);
    if (FBuffer.Bytes.Size() < RefillMark)
        FBuffer.Drained.notify_all();
    return static_cast<std::int32_t>(got);
}

std::int32_t TAuCDDAProtocol::Read(void* buffer, std::int32_t count)
{
    std::lock_guard<std::mutex> guard(FSeekLock);
    if (!FTrack)
        return 0;
    const std::int32_t got = ReadWaiting(buffer, count);
    FPosition += got;
    return got;
}

void TAuCDDAProtocol::WriteHeader()
{
    const auto length = static_cast<std::uint32_t>(FEntry.ByteLength);
    std::uint8_t header[CdWaveHeaderBytes];
    std::uint8_t* p = header;
    PutId(p, "RIFF");
    PutLe(p, 36 + length, 4);
    PutId(p, "WAVE");
    PutId(p, "fmt ");
    PutLe(p, 16, 4);
    PutLe(p, 1, 2);        // integer PCM
    PutLe(p, 2, 2);        // channels
    PutLe(p, 44100, 4);
    PutLe(p, 176400, 4);   // bytes per second
    PutLe(p, 4, 2);        // bytes per frame
    PutLe(p, 16, 2);       // bits
    PutId(p, "data");
    PutLe(p, length, 4);
    std::lock_guard<std::mutex> lock(FBuffer.Lock);
    FBuffer.Bytes.Clear();
    FBuffer.Bytes.Write(header, sizeof header, 0);
}

void TAuCDDAProtocol::StartReader()
{
    FThread = std::make_unique<TAuCDThread>(FBuffer, FCdrom, *FTrack);
}

void TAuCDDAProtocol::StopReader()
{
    FThread.reset();
}

bool TAuCDDAProtocol::Open(const QString& url)
{
    std::lock_guard<std::mutex> guard(FSeekLock);
    CloseTrack();
    FURL = url;
    const TAcURLParts parts = SplitURL(url);
    const qsizetype at = parts.Query.indexOf(QLatin1String("track="));
    if (at < 0)
        return false;
    QString number = parts.Query.mid(at + 6);
    number.truncate(number.indexOf(u'&') >= 0 ? number.indexOf(u'&') : number.size());
    bool isNumber = false;
    const int trackNumber = number.toInt(&isNumber);
    if (!isNumber)
        return false;
    // One character names a drive letter; anything longer ("localhost" for a
    // location without one) means the default drive.
    const char drive = parts.Host.size() == 1 ? parts.Host.at(0).toLatin1() : '\0';
    if (!FCdrom.Open(drive)) {
        AddToErrorLog(elError, QStringLiteral("CD: Laufwerk ") + DriveName(drive)
                                   + QStringLiteral(" lässt sich nicht lesen"));
        return false;
    }
    const Tcdrom_tocEntry* entry = FCdrom.Toc().FindTrack(trackNumber);
    FTrack = FCdrom.OpenTrack(trackNumber);
    if (!entry || !FTrack) {
        AddToErrorLog(elError, QStringLiteral("CD: kein Audiotitel ") + QString::number(trackNumber)
                                   + QStringLiteral(" in Laufwerk ") + DriveName(drive));
        CloseTrack();
        return false;
    }
    FEntry = *entry;
    WriteHeader();
    FPosition = 0;
    const std::int64_t prefill
        = CdWaveHeaderBytes + std::min<std::int64_t>(std::int64_t{FTrack->RemainingSectors} * CdSectorBytes, RefillMark);
    StartReader();
    bool arrived;
    {
        std::unique_lock<std::mutex> lock(FBuffer.Lock);
        WaitFor(lock, prefill);
        arrived = FBuffer.Bytes.Size() >= CdWaveHeaderBytes + CdSectorBytes;
    }
    if (!arrived) {
        AddToErrorLog(elError, QStringLiteral("CD: Laufwerk ") + DriveName(drive)
                                   + QStringLiteral(" liefert keine Daten für Titel ") + QString::number(trackNumber));
        CloseTrack();
        return false;
    }
    return true;
}

std::int64_t TAuCDDAProtocol::Seek(std::int32_t origin, std::int64_t offset)
{
    std::lock_guard<std::mutex> guard(FSeekLock);
    if (!FTrack)
        return 0;
    const std::int64_t total = std::int64_t{FEntry.ByteLength} + CdWaveHeaderBytes;
    std::int64_t target;
    switch (origin) {
    case auSeekFromStart:
        target = offset;
        break;
    case auSeekFromCurrent:
        target = FPosition + offset;
        break;
    case auSeekFromEnd:
        target = total + offset;
        break;
    default:
        return 0;
    }
    if (target < 0 || target > total)
        return 0;

    StopReader();
    {
        std::lock_guard<std::mutex> lock(FBuffer.Lock);
        FBuffer.Bytes.Clear();
    }
    const bool inHeader = target < CdWaveHeaderBytes;
    const std::int64_t sector = inHeader ? 0 : (target - CdWaveHeaderBytes) / CdSectorBytes;
    Tcdrom::SeekSector(*FTrack, sector);
    std::int64_t reached = sector * CdSectorBytes + CdWaveHeaderBytes;
    if (inHeader) {
        // Inside the header: the header again, then the track from its first sector.
        WriteHeader();
        reached = 0;
    }
    const std::int64_t refill = (inHeader ? CdWaveHeaderBytes : 0)
                                + std::min<std::int64_t>(std::int64_t{FTrack->RemainingSectors} * CdSectorBytes,
                                                         RefillMark);
    StartReader();
    {
        std::unique_lock<std::mutex> lock(FBuffer.Lock);
        WaitFor(lock, refill);
    }
    // Drop the bytes between the sector's start and the target.
    std::uint8_t drop[512];
    while (reached < target) {
        const std::int32_t got
            = ReadWaiting(drop, static_cast<std::int32_t>(std::min<std::int64_t>(sizeof drop, target - reached)));
        if (got <= 0)
            break;
        reached += got;
    }
    FPosition = reached;
    return FPosition;
}

void TAuCDDAProtocol::CloseTrack()
{
    StopReader();
    FTrack.reset();
    {
        std::lock_guard<std::mutex> lock(FBuffer.Lock);
        FBuffer.Bytes.Clear();
    }
    FCdrom.Close();
    FEntry = Tcdrom_tocEntry{};
    FPosition = 0;
}

void TAuCDDAProtocol::Close()
{
    std::lock_guard<std::mutex> guard(FSeekLock);
    CloseTrack();
}

bool TAuCDDAProtocol::Opened()
{
    std::lock_guard<std::mutex> guard(FSeekLock);
    return FTrack != nullptr;
}

TAuCDADecoder::TAuCDADecoder(TAuProtocol* protocol) : TAuWAVDecoder(protocol)
{
    FLocation = protocol ? protocol->URL() : QString();
    if (FLocation.isEmpty())
        return;
    FTrackNumber = ReadCdaHeader(protocol);
    if (FTrackNumber < 1)
        return;
    // The location's first character names the drive ("D:\..."); on a path
    // without one ("/home/...") the protocol takes the default drive.
    auto cdda = std::make_unique<TAuCDDAProtocol>();
    if (!cdda->Open(QStringLiteral("cdda://") + FLocation.at(0) + QStringLiteral("/?track=")
                    + QString::number(FTrackNumber)))
        return;
    FCDDA = std::move(cdda);
    SetProtocol(FCDDA.get());
}

TAuCDADecoder::~TAuCDADecoder()
{
    TAuWAVDecoder::CloseDecoder();
}

bool TAuCDADecoder::OpenDecoder()
{
    // A track number of 0 names no track: without this the WAV decoder would
    // read the track file's own bytes.
    if (FTrackNumber < 1 || !FCDDA)
        return false;
    return TAuWAVDecoder::OpenDecoder();
}

void RegisterCDAudio()
{
    RegisterAudioClass<TAuCDDAProtocol>(
        [](TAuProtocol*) { return std::unique_ptr<TAcPersistent>(new TAuCDDAProtocol()); });
    RegisterAudioClass<TAuCDADecoder>(
        [](TAuProtocol* protocol) { return std::unique_ptr<TAcPersistent>(new TAuCDADecoder(protocol)); });
}
