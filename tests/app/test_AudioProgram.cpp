// The audio pages in the real program: a remote client loads a WAV into panel 1
// and plays it; the program's WAV output device records the stream, whose
// samples are the source's. Ended while a panel plays, the program closes cleanly.

#include "AudioFixtures.h"
#include "TestHelpers.h"
#ifdef PV_MEDIA_FIXTURES
#include "MediaEncode.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <functional>

namespace {

quint32 Le32At(const QByteArray& b, qsizetype at)
{
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16 |
           quint32(quint8(b[at + 3])) << 24;
}

// The bytes of the "data" chunk of a WAV file; empty when there is none (yet).
QByteArray WavData(const QByteArray& wav)
{
    qsizetype at = 12;
    while (at + 8 <= wav.size()) {
        const quint32 size = Le32At(wav, at + 4);
        if (wav.mid(at, 4) == "data")
            return wav.mid(at + 8, qsizetype(size));
        at += 8 + qsizetype(size) + (size & 1);
    }
    return {};
}

// The largest difference between the 16-bit samples of two PCM byte runs over
// the length of expected; INT_MAX when played is shorter.
int WorstSampleDifference(const QByteArray& expected, const QByteArray& played)
{
    if (played.size() < expected.size())
        return INT_MAX;
    int worst = 0;
    for (qsizetype i = 0; i + 1 < expected.size(); i += 2) {
        const int a = qint16(quint16(quint8(expected[i])) | quint16(quint8(expected[i + 1])) << 8);
        const int b = qint16(quint16(quint8(played[i])) | quint16(quint8(played[i + 1])) << 8);
        worst = std::max(worst, std::abs(a - b));
    }
    return worst;
}

class AudioProgram : public ::testing::Test {
protected:
    void SetUp() override { Start(); }
    // settings: further lines of the settings file, before the server's.
    void Start(const QByteArray& settings = {})
    {
        ASSERT_TRUE(CopyDmxLibraries(Dir));
        Dir.Write("PV_TESSEL.ini", settings + "[Server]\r\nPort=" + QByteArray::number(Port) + "\r\nStartAktiv=1\r\n");
        Program = std::make_unique<TProgramProcess>(
            Dir, QList<QPair<QString, QString>>{{"PV_AUDIO_OUTPUT", "wav:" + Dir.File("out")}});
        ASSERT_TRUE(Program->Started());
    }
    // One remote message on a connection of its own.
    bool Send(const QByteArray& message)
    {
        QTcpSocket client;
        if (!ConnectWhenListening(client, Port, *Program))
            return false;
        client.write(message);
        const bool written = client.waitForBytesWritten(5000);
        client.disconnectFromHost();
        return written;
    }
    QStringList Streams() const { return QDir(Dir.File("out")).entryList({"stream-*.wav"}, QDir::Files, QDir::Name); }
    // The data of the first recorded stream that fits (a finished track
    // closes its stream); empty after a minute.
    QByteArray RecordedStream(const std::function<bool(const QString& name, const QByteArray& data)>& fits) const
    {
        QByteArray played;
        WaitFor(
            [&] {
                for (const QString& name : Streams()) {
                    QFile f(Dir.File("out/" + name));
                    const QByteArray data = f.open(QIODevice::ReadOnly) ? WavData(f.readAll()) : QByteArray();
                    if (fits(name, data)) {
                        played = data;
                        return true;
                    }
                }
                return false;
            },
            60000);
        return played;
    }
    // The first recorded stream not in seen that holds at least bytes.
    QByteArray NewStream(QStringList& seen, qsizetype bytes) const
    {
        return RecordedStream([&](const QString& name, const QByteArray& data) {
            if (seen.contains(name) || data.size() < bytes)
                return false;
            seen << name;
            return true;
        });
    }

    TTempProgramDir Dir;
    quint16 Port = FreeTcpPort();
    std::unique_ptr<TProgramProcess> Program;
};

}   // namespace

TEST_F(AudioProgram, ARemoteClientPlaysAWavWhoseSamplesReachTheOutput)
{
    // Half a second, every frame different, well below the limiter's threshold.
    const QByteArray source = AudioFixtures::Wav16(22050, [](int f, int c) { return qint16((f % 9000) - 4500 + 77 * c); });
    Dir.Write("Ton.wav", source);
    ASSERT_TRUE(Send("K719A1F\"" + Dir.File("Ton.wav").toUtf8() + "\"\n"));
    ASSERT_TRUE(Send("K719A1E1\n"));

    // At the end of the track the panel reloads the file, which closes the
    // recorded stream with its sizes written.
    const QByteArray pcm = WavData(source);
    const QByteArray played =
        RecordedStream([&](const QString&, const QByteArray& data) { return data.size() >= pcm.size(); });
    ASSERT_FALSE(played.isEmpty()) << Program->Stderr().toStdString();
    EXPECT_LE(WorstSampleDifference(pcm, played), 1);
    // Only silence follows the track.
    EXPECT_EQ(played.mid(pcm.size()), QByteArray(played.size() - pcm.size(), '\0'));

    // Ended while the panel plays again, the program closes cleanly.
    ASSERT_TRUE(Send("K719A1E1\n"));
    const TProgramProcess::TResult end = Program->Stop(SIGTERM);
    EXPECT_FALSE(end.Crashed) << end.Stderr.toStdString();
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}

#ifdef PV_MEDIA_FIXTURES

namespace {

std::vector<int16_t> Samples16(const QByteArray& pcm)
{
    std::vector<int16_t> out(size_t(pcm.size() / 2));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = qint16(quint16(quint8(pcm[qsizetype(2 * i)])) | quint16(quint8(pcm[qsizetype(2 * i + 1)])) << 8);
    return out;
}

// The largest normalised correlation of played against reference, shifted by
// up to maxLag samples either way.
double BestCorrelation(const std::vector<int16_t>& reference, const std::vector<int16_t>& played, int maxLag)
{
    double best = -1.0;
    for (int lag = -maxLag; lag <= maxLag; lag += 2) {   // whole stereo frames
        double sum = 0, a2 = 0, b2 = 0;
        for (size_t i = 0; i < reference.size(); ++i) {
            const long long j = (long long)i + lag;
            if (j < 0 || j >= (long long)played.size())
                continue;
            const double a = reference[i], b = played[size_t(j)];
            sum += a * b;
            a2 += a * a;
            b2 += b * b;
        }
        if (a2 > 0 && b2 > 0)
            best = std::max(best, sum / std::sqrt(a2 * b2));
    }
    return best;
}

}   // namespace

TEST_F(AudioProgram, PlaysMp3FlacAndAWavThatFfmpegWrote)
{
    // The decoder library comes from the program folder, as the program is installed.
    ASSERT_TRUE(QFile::copy(QStringLiteral(PV_PROGRAM_FOLDER "/libmediadec.so"), Dir.File("libmediadec.so")));
    const int rate = 44100, frames = rate * 3 / 4;
    struct TCase {
        const char* Name;
        TEncodeFormat Format;
        int Bits;
        bool Lossy;
    };
    const TCase cases[] = {
        {"Ton.mp3", kMp3, 16, true}, {"Ton.flac", kFlac, 16, false}, {"Ton24.wav", kWav24, 24, false}};
    QStringList seen;
    int panel = 1;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<int32_t> source = SineSamples(rate, 2, c.Bits, frames, 440.0, 0.25);
        QString error;
        ASSERT_TRUE(EncodeAudio(Dir.File(c.Name), c.Format, rate, 2, c.Bits, source, &error)) << error.toStdString();
        const QByteArray file = "\"" + Dir.File(c.Name).toUtf8() + "\"";
        ASSERT_TRUE(Send("K719A" + QByteArray::number(panel) + "F" + file + "\n"));
        ASSERT_TRUE(Send("K719A" + QByteArray::number(panel) + "E1\n"));
        ++panel;

        // The whole file's length of sound (an MP3 holds a little more).
        const std::vector<int16_t> played = Samples16(NewStream(seen, qsizetype(frames) * 4));
        ASSERT_GE(played.size(), size_t(frames) * 2) << Program->Stderr().toStdString();
        if (c.Lossy) {
            const std::vector<int16_t> reference = DecodeAudioS16(Dir.File(c.Name), nullptr, &error);
            ASSERT_FALSE(reference.empty()) << error.toStdString();
            EXPECT_GT(BestCorrelation(reference, played, 4096), 0.99);
        } else {
            int worst = 0;
            for (size_t i = 0; i < source.size(); ++i) {
                const int expected = c.Bits == 24 ? int(std::lrint(source[i] / 256.0)) : source[i];
                worst = std::max(worst, std::abs(expected - played[i]));
            }
            EXPECT_LE(worst, 1);
        }
    }
}

#endif
TEST_F(AudioProgram, AFileLoadedWhileAPanelPlaysPlaysOnTheNextPlay)
{
    // A plays long enough to be playing when B comes; B is short and unlike A.
    const QByteArray a = AudioFixtures::Wav16(220500, [](int f, int c) { return qint16((f % 300) * 10 + c); });
    const QByteArray b = AudioFixtures::Wav16(11025, [](int f, int c) { return qint16(-(f % 700) * 5 - c); });
    Dir.Write("A.wav", a);
    Dir.Write("B.wav", b);
    ASSERT_TRUE(Send("K719A1F\"" + Dir.File("A.wav").toUtf8() + "\"\n"));
    ASSERT_TRUE(Send("K719A1E1\n"));
    // A's stream is being recorded (under a hidden name until it closes).
    ASSERT_TRUE(WaitFor(
        [&] {
            const QFileInfoList files = QDir(Dir.File("out")).entryInfoList(QDir::Files | QDir::Hidden);
            return std::any_of(files.begin(), files.end(), [](const QFileInfo& f) { return f.size() > 4096; });
        },
        60000))
        << Program->Stderr().toStdString();

    ASSERT_TRUE(Send("K719A1F\"" + Dir.File("B.wav").toUtf8() + "\"\n"));
    ASSERT_TRUE(Send("K719A1E1\n"));
    const QByteArray pcm = WavData(b);
    const QByteArray playedB =
        RecordedStream([&](const QString&, const QByteArray& data) { return WorstSampleDifference(pcm, data) <= 1; });
    EXPECT_FALSE(playedB.isEmpty()) << Program->Stderr().toStdString();
    const TProgramProcess::TResult end = Program->Stop(SIGTERM);
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}

namespace {

// Every frame different: the left channel counts up, the right one counts the wraps.
QByteArray Ramp(int frames)
{
    return AudioFixtures::Wav16(frames, [](int f, int c) { return qint16(c == 0 ? (f % 20000) - 10000 : f / 20000); });
}

int RampFrame(const QByteArray& pcm, qsizetype frame)
{
    const auto sample = [&](qsizetype i) {
        return int(qint16(quint16(quint8(pcm[i])) | quint16(quint8(pcm[i + 1])) << 8));
    };
    return sample(frame * 4 + 2) * 20000 + sample(frame * 4) + 10000;
}

// A show of four audio pages whose 40 panels all hold Ton.wav, opened at start.
class AudioShowProgram : public AudioProgram {
protected:
    static constexpr int Panels = 40;
    void SetUp() override
    {
        Dir.Write("Ton.wav", Wav);
        QByteArray text = "\r\n[Audio]\r\nPanelCount=" + QByteArray::number(Panels) + "\r\n";
        for (int n = 1; n <= Panels; ++n) {
            const QByteArray i = QByteArray::number(n);
            text += "TrackCount_" + i + "=1\r\nTrackID_" + i + "=1\r\nName_" + i + "_0=Ton\r\nFile_" + i +
                    "_0=" + Dir.File("Ton.wav").toUtf8() + "\r\nLevel_" + i + "_0=0\r\n";
        }
        QByteArray show(1, '\x14');
        for (int b = 0; b < 4; ++b)
            show += char((quint32(text.size()) >> (8 * b)) & 0xFF);
        Dir.Write("Abend.pvs", show + text);
        Start("[FrmMain]\r\nAutoSpeichern=0\r\nLetzteDatei=1\r\nLetzteProjektDatei=" + Dir.File("Abend.pvs").toUtf8() +
              "\r\n");
    }
    // The program's resident memory in MB.
    double Rss() const
    {
        QFile f(QStringLiteral("/proc/%1/status").arg(Program->Process.processId()));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        return -1;
    }

    // 12 s: a playing panel keeps 4 MiB of decoded samples ahead, nearly all of it.
    const QByteArray Wav = Ramp(12 * AudioFixtures::Rate);
};

}   // namespace

TEST_F(AudioShowProgram, LoadedPanelsAtRestHoldLittleAndPlayWhereTheyWereSought)
{
    ASSERT_TRUE(Program->WaitForClock()) << Program->Stderr().toStdString();

    // Sought while it rests, panel 39 plays from there to the end, every sample.
    const QByteArray pcm = WavData(Wav);
    const int target = 9 * AudioFixtures::Rate;
    ASSERT_TRUE(Send("K719A39Z90\n"));
    ASSERT_TRUE(Send("K719A39E1\n"));
    const QByteArray played = RecordedStream([&](const QString&, const QByteArray& data) {
        return data.size() >= 4 && std::abs(RampFrame(data, 0) - target) <= 512;
    });
    ASSERT_FALSE(played.isEmpty()) << Program->Stderr().toStdString();
    const int landed = RampFrame(played, 0);
    const QByteArray rest = pcm.mid(qsizetype(landed) * 4);
    EXPECT_EQ(played.left(rest.size()), rest);
    EXPECT_EQ(played.mid(rest.size()), QByteArray(played.size() - rest.size(), '\0'));   // silence after the end

#if !defined(__SANITIZE_ADDRESS__)   // the sanitizer's own bookkeeping keeps freed memory
    // Forty full buffers would hold 160 MiB: at rest the panels hold a small
    // part of what they hold while they play, and give it back when they stop.
    const double rested = Rss();
    for (int n = 1; n <= Panels; ++n)
        ASSERT_TRUE(Send("K719A" + QByteArray::number(n) + "E1\n"));
    EXPECT_TRUE(WaitFor([&] { return Rss() > rested + 100; }, 60000)) << rested << " MB at rest, " << Rss();
    ASSERT_TRUE(Send("K719A0E3\n"));
    EXPECT_TRUE(WaitFor([&] { return Rss() < rested + 40; }, 60000)) << rested << " MB at rest, " << Rss();
#endif
    const TProgramProcess::TResult end = Program->Stop(SIGTERM);
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}
