// Audio CD tracks over fake drives made here: a text table of contents and a
// raw file of sectors in a temporary folder, named through the drive table.

#include "TestHelpers.h"

#include "audio/uAcClasses.h"
#include "audio/uAuCDAudio.h"
#include "audio/uAuRegistry.h"
#include "framework/uErrorLog.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cstdlib>

namespace {

// Byte n of the disc's raw data (logical sector 0 starts at byte 0): no period
// of a sector, so a read from a wrong offset shows.
char DiscByte(qint64 n)
{
    return static_cast<char>((static_cast<quint64>(n) * 2654435761u) >> 11);
}

QByteArray DiscBytes(qint64 from, qint64 count)
{
    QByteArray out(count, '\0');
    for (qint64 i = 0; i < count; ++i)
        out[i] = DiscByte(from + i);
    return out;
}

QByteArray Le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

QByteArray CdaFile(quint32 track, quint32 size = 36, const char* form = "CDDA")
{
    QByteArray f = "RIFF" + Le(size, 4) + form + "fmt " + Le(24, 4) + Le(1, 2) + Le(track, 2);
    return f + QByteArray(44 - f.size(), '\0');
}

QByteArray WaveHeader(quint32 length)
{
    return "RIFF" + Le(36 + length, 4) + "WAVE" + "fmt " + Le(16, 4) + Le(1, 2) + Le(2, 2) + Le(44100, 4)
           + Le(176400, 4) + Le(4, 2) + Le(16, 2) + "data" + Le(length, 4);
}

// A disc of three tracks: 10 sectors, 100 sectors (more than the reading
// thread keeps ahead), 3 sectors; sectors after rawSectors fail to read.
struct TFakeDisc {
    static constexpr qint64 Starts[] = {0, 10, 110, 113};

    explicit TFakeDisc(const QByteArray& extra = {}, qint64 rawSectors = 113, const char* name = "disc")
    {
        QByteArray toc = "# fake disc\n1 00:02:00\n2 00:02:10\n3 00:03:35   # sector 110\nleadout 00:03:38\n";
        dir.Write(QStringLiteral("/%1.toc").arg(name), toc + extra);
        dir.Write(QStringLiteral("/%1.raw").arg(name), DiscBytes(0, rawSectors * CdSectorBytes));
        Toc = dir.File(QStringLiteral("/%1.toc").arg(name)).toStdString();
    }
    static QByteArray Track(int t) { return DiscBytes(Starts[t - 1] * CdSectorBytes, (Starts[t] - Starts[t - 1]) * CdSectorBytes); }

    TTempProgramDir dir;
    std::string Toc;
};

class AudioCD : public ::testing::Test {
protected:
    void TearDown() override { ResetCdDriveTable(); }
};

// Everything a decoder gives until its end.
QByteArray DecodeAll(TAuDecoder& decoder)
{
    QByteArray out;
    TAuDecoderData block;
    while (decoder.Decode() == audData) {
        decoder.GetData(block);
        out.append(static_cast<const char*>(block.Buffer), block.Size);
    }
    return out;
}

QByteArray ReadAll(TAuProtocol& protocol, qint64 limit)
{
    QByteArray out;
    char chunk[5000];
    while (out.size() < limit) {
        const int got = protocol.Read(chunk, sizeof chunk);
        if (got <= 0)
            break;
        out.append(chunk, got);
    }
    return out;
}

struct TTrackFile {
    TTrackFile(const QByteArray& bytes, const QString& location) : file(dir.File("/t.cda")), protocol(&file)
    {
        dir.Write("/t.cda", bytes);
        file.open(QIODevice::ReadOnly);
        protocol.SetURL(location);
    }
    TTempProgramDir dir;
    QFile file;
    TAuStreamProtocol protocol;
};

} // namespace

TEST_F(AudioCD, TocArithmetic)
{
    struct {
        TCdMsf msf;
        qint64 sector;
    } const addresses[] = {{{0, 2, 0}, 0}, {{0, 0, 0}, -150}, {{1, 0, 0}, 4350}, {{0, 3, 74}, 149}, {{99, 59, 74}, 449849}};
    for (const auto& a : addresses)
        EXPECT_EQ(CdMsfToSector(a.msf), a.sector) << int(a.msf.Minutes) << ':' << int(a.msf.Seconds);

    struct {
        const char* what;
        TCdToc toc;
        std::vector<std::pair<int, int>> tracks;   // number, byte length
    } const cases[] = {
        {"lengths from the next track and the lead-out",
         {1, 3, {{0, 2, 0}, {0, 4, 10}, {1, 0, 0}, {1, 0, 5}}},
         {{1, 160 * 2352}, {2, 4190 * 2352}, {3, 5 * 2352}}},
        {"numbers start at the first track", {5, 6, {{0, 2, 0}, {0, 2, 1}, {0, 2, 3}}}, {{5, 2352}, {6, 2 * 2352}}},
        {"a start after the next one has no bytes", {1, 2, {{0, 5, 0}, {0, 3, 0}, {0, 6, 0}}}, {{1, 0}, {2, 225 * 2352}}},
        {"a lead-out missing ends the list", {1, 3, {{0, 2, 0}, {0, 3, 0}}}, {{1, 75 * 2352}}},
        {"no tracks", {0, 0, {}}, {}},
    };
    for (const auto& c : cases) {
        const Tcdrom_toc list = Tcdrom_toc::FromToc(c.toc);
        std::vector<std::pair<int, int>> got;
        for (const auto& e : list.Entries())
            got.emplace_back(e.TrackNumber, e.ByteLength);
        EXPECT_EQ(got, c.tracks) << c.what;
    }

    // A track's sectors, and the end of the track as a seek target.
    Tcdrom cdrom;
    TFakeCdDisc disc;
    disc.Toc = cases[0].toc;
    ASSERT_TRUE(cdrom.Open(std::make_unique<TFakeCdDrive>(disc, QByteArray())));
    EXPECT_EQ(cdrom.OpenTrack(4), nullptr);
    EXPECT_EQ(cdrom.OpenTrack(0), nullptr);
    auto track = cdrom.OpenTrack(2);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->StartSector, 160);
    EXPECT_EQ(track->SectorCount, 4190);
    EXPECT_EQ(track->RemainingSectors, 4190);
    EXPECT_EQ(track->DiskOffset, 160 * 2048);
    Tcdrom::SeekSector(*track, 4190);
    EXPECT_EQ(track->RemainingSectors, 0);
    Tcdrom::SeekSector(*track, 4191);
    EXPECT_EQ(track->RemainingSectors, 0);
    EXPECT_EQ(cdrom.ReadSectors(*track, nullptr), 0);
    Tcdrom::SeekSector(*track, 10);
    EXPECT_EQ(track->DiskOffset, 170 * 2048);
}

TEST_F(AudioCD, FakeTableOfContents)
{
    struct {
        const char* text;
        bool valid;
        int tracks;
        qint64 stall;
    } const cases[] = {
        {"1 00:02:00\nleadout 00:04:00\n", true, 1, -1},
        {"# c\n\n 3 00:02:00  # x\n4 00:05:00\nleadout 01:00:00\nraw other.bin\nstall 7\n", true, 2, 7},
        {"1 00:02:00\n", false, 0, -1},                            // no lead-out
        {"leadout 00:04:00\n", false, 0, -1},                      // no track
        {"1 00:02:00\n3 00:03:00\nleadout 00:04:00\n", false, 0, -1},   // a number skipped
        {"1 00:60:00\nleadout 00:04:00\n", false, 0, -1},          // 60 seconds
        {"1 00:02:75\nleadout 00:04:00\n", false, 0, -1},          // 75 frames
        {"0 00:02:00\nleadout 00:04:00\n", false, 0, -1},
        {"100 00:02:00\nleadout 00:04:00\n", false, 0, -1},
        {"1 00:02\nleadout 00:04:00\n", false, 0, -1},
        {"1 00:02:00\nleadout 00:04:00\n2 00:05:00\n", false, 0, -1},   // a track after the lead-out
        {"1 00:02:00\nleadout 00:04:00\nstall -1\n", false, 0, -1},
        {"1 00:02:00\nleadout 00:04:00\neject now\n", false, 0, -1},
    };
    for (const auto& c : cases) {
        TFakeCdDisc disc;
        ASSERT_EQ(ParseFakeCdToc(c.text, disc), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(static_cast<int>(disc.Toc.Starts.size()), c.tracks + 1) << c.text;
            EXPECT_EQ(disc.Toc.LastTrack - disc.Toc.FirstTrack + 1, c.tracks) << c.text;
            EXPECT_EQ(disc.StallSector, c.stall) << c.text;
        }
    }
}

TEST_F(AudioCD, DriveTable)
{
    const auto home = [](char c) { return CdDevicePath(c); };
    ResetCdDriveTable();
    unsetenv("PV_CD_DRIVES");
    EXPECT_TRUE(home('D') == "/dev/cdrom" || home('D') == "/dev/sr0");
    EXPECT_EQ(home('d'), home('D'));
    EXPECT_EQ(home('E'), "/dev/sr1");
    EXPECT_EQ(home('Z'), "/dev/sr22");
    EXPECT_EQ(home('/'), home('D'));   // a location without a drive letter: the first drive
    EXPECT_EQ(home('C'), "");

    setenv("PV_CD_DRIVES", "f=/tmp/a.toc,G=/dev/sr4,junk,H=,4=/dev/x", 1);
    ResetCdDriveTable();
    struct {
        char drive;
        const char* path;
    } const cases[] = {{'F', "/tmp/a.toc"}, {'f', "/tmp/a.toc"}, {'G', "/dev/sr4"}, {'D', ""},
                       {'H', ""},           {'4', "/tmp/a.toc"}, {'\0', "/tmp/a.toc"}};
    for (const auto& c : cases)
        EXPECT_EQ(home(c.drive), c.path) << c.drive;
    unsetenv("PV_CD_DRIVES");
}

TEST_F(AudioCD, DecoderPlaysTheTrackNamedByTheFileOnItsDrive)
{
    TFakeDisc first;
    TFakeDisc second("", 113, "second");
    SetCdDriveTable({{'D', first.Toc}, {'E', second.Toc}});
    struct {
        const char* location;
        int track;
    } const cases[] = {{"E:\\Audio\\Track02.cda", 2}, {"/home/show/Track01.cda", 1}, {"d:/x/Track03.cda", 3}};
    for (const auto& c : cases) {
        TTrackFile file(CdaFile(c.track), c.location);
        TAuCDADecoder decoder(&file.protocol);
        ASSERT_TRUE(decoder.OpenDecoder()) << c.location;
        EXPECT_EQ(decoder.TrackNumber(), c.track);
        TAuDriverParameters info;
        decoder.GetInfo(info);
        EXPECT_EQ(info.Frequency, 44100);
        EXPECT_EQ(info.Channels, 2);
        EXPECT_EQ(info.BitDepth, 16);
        const QByteArray track = TFakeDisc::Track(c.track);
        EXPECT_EQ(decoder.GetLength(), qRound(track.size() / 176.4));
        const QByteArray played = DecodeAll(decoder);
        EXPECT_EQ(played.size(), track.size()) << c.location;
        EXPECT_TRUE(played == track) << c.location;
    }

    // A seek by time lands on the frame of that time.
    TTrackFile file(CdaFile(2), "D:\\Track02.cda");
    TAuCDADecoder decoder(&file.protocol);
    ASSERT_TRUE(decoder.OpenDecoder());
    ASSERT_TRUE(decoder.SeekTo(0, 1000));
    ASSERT_EQ(decoder.Decode(), audData);
    TAuDecoderData block;
    decoder.GetData(block);
    EXPECT_EQ(block.Timecode, 1000);
    EXPECT_TRUE(QByteArray(static_cast<const char*>(block.Buffer), block.Size) == TFakeDisc::Track(2).mid(176400, block.Size));
}

TEST_F(AudioCD, DecoderRefusesWhatNamesNoPlayableTrack)
{
    TFakeDisc disc;
    SetCdDriveTable({{'D', disc.Toc}});
    // A valid wave file right behind the track file: with track 0 the decoder
    // must not play the file's own bytes.
    QByteArray wave = WaveHeader(400) + QByteArray(400, '\x05');
    struct {
        const char* what;
        QByteArray bytes;
        const char* location;
    } const cases[] = {
        {"track 0 followed by a wave file", CdaFile(0) + wave, "D:\\t.cda"},
        {"a track the disc does not have", CdaFile(4) + wave, "D:\\t.cda"},
        {"a drive the table does not name", CdaFile(1), "K:\\t.cda"},
        {"size field not 36", CdaFile(1, 37), "D:\\t.cda"},
        {"not CDDA", CdaFile(1, 36, "WAVE"), "D:\\t.cda"},
        {"cut short", CdaFile(1).left(30), "D:\\t.cda"},
        {"no location", CdaFile(1), ""},
    };
    for (const auto& c : cases) {
        TTrackFile file(c.bytes, c.location);
        TAuCDADecoder decoder(&file.protocol);
        EXPECT_FALSE(decoder.OpenDecoder()) << c.what;
    }
}

TEST_F(AudioCD, ProtocolStreamAndSeeks)
{
    TFakeDisc disc;
    SetCdDriveTable({{'D', disc.Toc}});
    const QByteArray track = TFakeDisc::Track(2);
    const QByteArray stream = WaveHeader(track.size()) + track;
    const qint64 total = stream.size();

    TAuCDDAProtocol protocol;
    for (const char* name : {"cdda", "CDDA", "Cdda", "cdda:", "http", ""})
        EXPECT_EQ(protocol.SupportsProtocol(name), QByteArray(name) == "cdda") << name;
    for (const char* url : {"cdda://D/", "cdda://D/?track=x", "cdda://D/?track=9", "cdda://D/?track=0"})
        EXPECT_FALSE(protocol.Open(url)) << url;
    EXPECT_EQ(protocol.Read(nullptr, 10), 0);
    EXPECT_EQ(protocol.Seek(auSeekFromStart, 0), 0);

    ASSERT_TRUE(protocol.Open("cdda://D/?track=2"));
    EXPECT_TRUE(protocol.Opened());
    EXPECT_TRUE(ReadAll(protocol, 10000).left(44) == stream.left(44));   // the wave header first
    struct {
        int origin;
        qint64 offset;
        qint64 position;   // -1: refused, nothing changes
    } const seeks[] = {
        {auSeekFromStart, 20, 20},                        // inside the header: from the first sector on
        {auSeekFromStart, 0, 0},
        {auSeekFromStart, 44, 44},
        {auSeekFromEnd, 0, total},                        // the end: nothing more to read
        {auSeekFromStart, 44 + 3 * 2352 + 100, 44 + 3 * 2352 + 100},
        {auSeekFromCurrent, -5000, 44 + 3 * 2352 + 100 - 5000},
        {auSeekFromEnd, -100, total - 100},
        {auSeekFromStart, total + 1, -1},
        {auSeekFromCurrent, -total - 1, -1},
        {7, 0, -1},
    };
    qint64 position = 0;
    for (const auto& s : seeks) {
        const qint64 got = protocol.Seek(s.origin, s.offset);
        if (s.position >= 0)
            position = s.position;
        EXPECT_EQ(got, s.position < 0 ? 0 : s.position) << s.origin << ' ' << s.offset;
        const QByteArray next = ReadAll(protocol, 6000);
        EXPECT_TRUE(next == stream.mid(position, next.size())) << s.origin << ' ' << s.offset;
        EXPECT_EQ(next.size(), std::min<qint64>(total - position, 10000)) << s.origin << ' ' << s.offset;
        protocol.Seek(auSeekFromStart, position);
    }
    // The whole stream in one pass, past the buffer's limit several times.
    protocol.Seek(auSeekFromStart, 0);
    EXPECT_TRUE(ReadAll(protocol, total + 1) == stream);
    protocol.Close();
    EXPECT_FALSE(protocol.Opened());
    EXPECT_EQ(protocol.Read(nullptr, 10), 0);
}

TEST_F(AudioCD, DriveThatStopsDeliveringEndsInBoundedTime)
{
    TErrorLog::Instance().Clear();
    struct {
        const char* what;
        QByteArray tocExtra;
        qint64 rawSectors;
        int track;
        bool opens;
        qint64 playedSectors;
        const char* logged;
    } const cases[] = {
        {"stalls from the first sector", "stall 0\n", 113, 2, false, 0, "liefert keine Daten"},
        {"fails at the first sector", "", 10, 2, false, 0, "Lesefehler"},
        {"fails after five sectors (one read)", "", 15, 2, true, 5, "Lesefehler"},
        {"stalls after the track", "stall 110\n", 113, 2, true, 100, nullptr},
    };
    for (const auto& c : cases) {
        TErrorLog::Instance().Clear();
        TFakeDisc disc(c.tocExtra, c.rawSectors);
        SetCdDriveTable({{'D', disc.Toc}});
        TAuCDDAProtocol protocol;
        protocol.SetFillTimeout(std::chrono::milliseconds(300));
        ASSERT_EQ(protocol.Open(QStringLiteral("cdda://D/?track=%1").arg(c.track)), c.opens) << c.what;
        EXPECT_EQ(protocol.Opened(), c.opens) << c.what;
        if (c.opens) {
            EXPECT_EQ(ReadAll(protocol, 1 << 20).size(), 44 + c.playedSectors * 2352) << c.what;
        }
        if (c.logged) {
            EXPECT_EQ(ErrorLogCount(c.logged), 1) << c.what;
        } else {
            EXPECT_TRUE(TErrorLog::Instance().Lines().isEmpty()) << c.what;
        }
    }
}

TEST_F(AudioCD, RegisteredAfterTheWavDecoder)
{
    AudioRegistry().Clear();
    StopAudioEngine();
    StartAudioEngine();
    std::vector<std::string> names;
    for (const auto& e : AudioRegistry().Entries())
        names.push_back(e.ClassName);
    const auto wav = std::find(names.begin(), names.end(), "TAuWAVDecoder");
    ASSERT_NE(wav, names.end());
    EXPECT_EQ(std::vector<std::string>(wav + 1, std::min(wav + 3, names.end())),
              (std::vector<std::string>{"TAuCDDAProtocol", "TAuCDADecoder"}));
    EXPECT_EQ(AudioRegistry().Entries()[static_cast<std::size_t>(wav - names.begin()) + 2].ClassPath,
              "TAcPersistent.TAuDecoder.TAuWAVDecoder.TAuCDADecoder");
    const TAcCreator* protocol = AudioRegistry().FindCreator("TAuCDDAProtocol");
    ASSERT_NE(protocol, nullptr);
    EXPECT_NE(dynamic_cast<TAuCDDAProtocol*>((*protocol)(nullptr).get()), nullptr);
}
