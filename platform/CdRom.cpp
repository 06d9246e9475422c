#include "platform/CdRom.h"

#include "platform/DeviceTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

char UpperLetter(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    return c;
}

bool IsLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

std::map<char, std::string> DefaultTable()
{
    std::map<char, std::string> t;
    t['D'] = ::access("/dev/cdrom", F_OK) == 0 ? "/dev/cdrom" : "/dev/sr0";
    for (char c = 'E'; c <= 'Z'; ++c)
        t[c] = "/dev/sr" + std::to_string(c - 'D');
    return t;
}

bool DriveLetter(const std::string& text, char& drive)
{
    drive = text.size() == 1 ? UpperLetter(text[0]) : '\0';
    return IsLetter(drive);
}

TDeviceTable<char> Table("PV_CD_DRIVES", DriveLetter, DefaultTable);

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A drive behind the kernel's CD-ROM interface.
class TLinuxCdDrive : public TCdDrive {
public:
    explicit TLinuxCdDrive(int fd) : FFd(fd) {}
    ~TLinuxCdDrive() override { ::close(FFd); }

    bool ReadToc(TCdToc& toc) override
    {
        cdrom_tochdr header{};
        if (::ioctl(FFd, CDROMREADTOCHDR, &header) != 0)
            return false;
        if (header.cdth_trk0 < 1 || header.cdth_trk1 < header.cdth_trk0 || header.cdth_trk1 > CdMaxTracks)
            return false;
        toc = TCdToc{header.cdth_trk0, header.cdth_trk1, {}};
        for (int t = header.cdth_trk0; t <= header.cdth_trk1 + 1; ++t) {
            cdrom_tocentry entry{};
            entry.cdte_track = static_cast<__u8>(t <= header.cdth_trk1 ? t : CDROM_LEADOUT);
            entry.cdte_format = CDROM_MSF;
            if (::ioctl(FFd, CDROMREADTOCENTRY, &entry) != 0)
                return false;
            toc.Starts.push_back({entry.cdte_addr.msf.minute, entry.cdte_addr.msf.second, entry.cdte_addr.msf.frame});
        }
        return true;
    }

    int ReadAudio(std::int64_t lba, int count, void* buffer) override
    {
        // A read the kernel has begun runs to its end; later ones stop here.
        if (FInterrupted) {
            errno = EINTR;
            return -1;
        }
        cdrom_read_audio request{};
        request.addr.lba = static_cast<int>(lba);
        request.addr_format = CDROM_LBA;
        request.nframes = count;
        request.buf = static_cast<__u8*>(buffer);
        if (::ioctl(FFd, CDROMREADAUDIO, &request) != 0)
            return -1;
        return count * CdSectorBytes;
    }

    void SetInterrupted(bool on) override { FInterrupted = on; }

private:
    int FFd;
    std::atomic<bool> FInterrupted{false};
};

bool ParseMsf(const QByteArray& text, TCdMsf& msf)
{
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 3)
        return false;
    bool ok[3];
    const int m = parts[0].toInt(&ok[0]);
    const int s = parts[1].toInt(&ok[1]);
    const int f = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || m < 0 || m > 99 || s < 0 || s > 59 || f < 0 || f > 74)
        return false;
    msf = {static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(f)};
    return true;
}

} // namespace

std::string CdDevicePath(char drive)
{
    drive = UpperLetter(drive);
    if (IsLetter(drive))
        return Table.Path(drive);
    const std::map<char, std::string> table = Table.Table();
    return table.empty() ? std::string() : table.begin()->second;
}

void SetCdDriveTable(const std::map<char, std::string>& table)
{
    std::map<char, std::string> upper;
    for (const auto& [letter, path] : table)
        upper[UpperLetter(letter)] = path;
    Table.Set(upper);
}

void ResetCdDriveTable()
{
    Table.Reset();
}

bool ParseFakeCdToc(const QByteArray& text, TFakeCdDisc& disc)
{
    disc = TFakeCdDisc{};
    bool leadOut = false;
    for (QByteArray line : text.split('\n')) {
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() == 1 && words[0].isEmpty())
            continue;
        if (words.size() != 2 || (leadOut && words[0] != "raw" && words[0] != "stall"))
            return false;
        TCdMsf msf;
        bool isNumber = false;
        const int track = words[0].toInt(&isNumber);
        if (words[0] == "raw") {
            disc.RawFile = words[1].toStdString();
        } else if (words[0] == "stall") {
            disc.StallSector = words[1].toLongLong(&isNumber);
            if (!isNumber || disc.StallSector < 0)
                return false;
        } else if (words[0] == "leadout") {
            if (disc.Toc.Starts.empty() || !ParseMsf(words[1], msf))
                return false;
            disc.Toc.Starts.push_back(msf);
            leadOut = true;
        } else if (isNumber && track >= 1 && track <= CdMaxTracks && ParseMsf(words[1], msf)) {
            if (disc.Toc.Starts.empty())
                disc.Toc.FirstTrack = track;
            else if (track != disc.Toc.LastTrack + 1)
                return false;
            disc.Toc.LastTrack = track;
            disc.Toc.Starts.push_back(msf);
        } else {
            return false;
        }
    }
    return leadOut;
}

TFakeCdDrive::TFakeCdDrive(TFakeCdDisc disc, QByteArray sectors) : FDisc(std::move(disc)), FSectors(std::move(sectors))
{
}

bool TFakeCdDrive::ReadToc(TCdToc& toc)
{
    toc = FDisc.Toc;
    return true;
}

int TFakeCdDrive::ReadAudio(std::int64_t lba, int count, void* buffer)
{
    if (lba < 0 || count < 1 || count > 5) {
        errno = EINVAL;
        return -1;
    }
    if (FDisc.StallSector >= 0 && lba + count > FDisc.StallSector) {
        // A drive that stops delivering: the read returns only when interrupted.
        std::unique_lock<std::mutex> lock(FLock);
        FWake.wait(lock, [&] { return FInterrupted; });
        errno = EINTR;
        return -1;
    }
    const std::int64_t from = lba * CdSectorBytes;
    const std::int64_t bytes = static_cast<std::int64_t>(count) * CdSectorBytes;
    if (from + bytes > FSectors.size()) {
        errno = EIO;
        return -1;
    }
    std::memcpy(buffer, FSectors.constData() + from, static_cast<std::size_t>(bytes));
    return static_cast<int>(bytes);
}

void TFakeCdDrive::SetInterrupted(bool on)
{
    std::lock_guard<std::mutex> lock(FLock);
    FInterrupted = on;
    FWake.notify_all();
}

std::unique_ptr<TCdDrive> OpenCdDrive(char drive)
{
    const std::string path = CdDevicePath(drive);
    if (path.empty())
        return nullptr;
    if (EndsWith(path, ".toc")) {
        QFile tocFile(QString::fromStdString(path));
        TFakeCdDisc disc;
        if (!tocFile.open(QIODevice::ReadOnly) || !ParseFakeCdToc(tocFile.readAll(), disc))
            return nullptr;
        const QFileInfo tocInfo(tocFile);
        const QString raw = disc.RawFile.empty()
                                ? tocInfo.path() + u'/' + tocInfo.completeBaseName() + QStringLiteral(".raw")
                                : tocInfo.dir().filePath(QString::fromStdString(disc.RawFile));
        QFile rawFile(raw);
        if (!rawFile.open(QIODevice::ReadOnly))
            return nullptr;
        return std::make_unique<TFakeCdDrive>(std::move(disc), rawFile.readAll());
    }
    // O_NONBLOCK opens a drive whose tray is open or that holds no disc; reading
    // the table of contents then fails instead of the open waiting.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<TLinuxCdDrive>(fd);
}
