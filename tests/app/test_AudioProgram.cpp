// The audio pages in the real program: a remote client loads a WAV into panel 1
// and plays it; the program's WAV output device records the stream, whose
// samples are the source's. Ended while a panel plays, the program closes cleanly.

#include "AudioFixtures.h"
#include "TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>

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
    void SetUp() override
    {
        ASSERT_TRUE(CopyDmxLibraries(Dir));
        Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=" + QByteArray::number(Port) + "\r\nStartAktiv=1\r\n");
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
    QByteArray played;
    const bool recorded = WaitFor(
        [&] {
            for (const QString& name : Streams()) {
                QFile f(Dir.File("out/" + name));
                const QByteArray data = f.open(QIODevice::ReadOnly) ? WavData(f.readAll()) : QByteArray();
                if (data.size() >= pcm.size()) {
                    played = data;
                    return true;
                }
            }
            return false;
        },
        60000);
    ASSERT_TRUE(recorded) << Program->Stderr().toStdString();
    EXPECT_LE(WorstSampleDifference(pcm, played), 1);
    // Only silence follows the track.
    EXPECT_EQ(played.mid(pcm.size()), QByteArray(played.size() - pcm.size(), '\0'));

    // Ended while the panel plays again, the program closes cleanly.
    ASSERT_TRUE(Send("K719A1E1\n"));
    const TProgramProcess::TResult end = Program->Stop(SIGTERM);
    EXPECT_FALSE(end.Crashed) << end.Stderr.toStdString();
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}

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
    const bool playedB = WaitFor(
        [&] {
            for (const QString& name : Streams()) {
                QFile f(Dir.File("out/" + name));
                if (f.open(QIODevice::ReadOnly) && WorstSampleDifference(pcm, WavData(f.readAll())) <= 1)
                    return true;
            }
            return false;
        },
        60000);
    EXPECT_TRUE(playedB) << Program->Stderr().toStdString();
    const TProgramProcess::TResult end = Program->Stop(SIGTERM);
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}
