// The real program ended by SIGTERM with auto-save on: a last show that could
// not be opened is left exactly as it was, a write-protected show is not
// replaced (the changed show goes to the show folder instead), and a show that
// nobody touched leaves no file behind.

#include "TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

QStringList Rescued(const TTempProgramDir& dir)
{
    return QDir(dir.File("Projekte")).entryList({QStringLiteral("*.pvs"), QStringLiteral("*.~pvs")}, QDir::Files);
}

mode_t Mode(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(ShowFileProgram, ASignalLeavesAnUnreadableLastShowAsItWasAndAnUntouchedShowWritesNothing)
{
    const struct {
        const char* Name;
        QByteArray LastShow;   // empty: none
    } cases[] = {{"nothing done", {}}, {"damaged last show", DamagedShows().at(0).Bytes}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempProgramDir dir;
        ASSERT_TRUE(CopyDmxLibraries(dir));
        if (!c.LastShow.isEmpty()) {
            dir.Write("kaputt.pvs", c.LastShow);
            dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetzteDatei=1\r\nAutoSpeichern=1\r\nLetzteProjektDatei=" +
                                           dir.File("kaputt.pvs").toUtf8() + "\r\n");
        }
        const QString frames = dir.File("frames.bin");
        TProgramProcess program(dir, {{"USBIO_DEVICE", "file:" + frames}, {"HOME", dir.File("home")}});
        ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
        EXPECT_TRUE(WaitFor([&] { return QFileInfo(frames).size() >= 3 * 512 || !program.Running(); }, 60000));
        const TProgramProcess::TResult end = program.Stop(SIGTERM);

        EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
        EXPECT_FALSE(end.Stderr.contains("Projekt beim Beenden")) << end.Stderr.toStdString();
        EXPECT_EQ(Rescued(dir), QStringList()) << end.Stderr.toStdString();
        EXPECT_FALSE(QFileInfo::exists(dir.File("home")));
        if (!c.LastShow.isEmpty()) {
            EXPECT_EQ(dir.Read("kaputt.pvs"), c.LastShow);
            EXPECT_FALSE(QFileInfo::exists(dir.File("kaputt.~pvs")));
        }
    }
}

TEST(ShowFileProgram, AWriteProtectedLastShowChangedRemotelyStaysAndTheShowGoesToTheShowFolder)
{
    TTempProgramDir dir;
    QUdpSocket artNet;
    ASSERT_TRUE(CopyDmxLibraries(dir));
    ASSERT_TRUE(artNet.bind(QHostAddress::LocalHost, 0));
    const quint16 port = FreeTcpPort();
    const QByteArray show = HandMadeShow("\r\n[Makros]\r\nMakroCount=1\r\nText_0=K1P255|\r\n", "Skript");
    dir.Write("Abend.pvs", show);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.File("Abend.pvs")).constData(), 0444), 0);
    // A MIDI command from the remote computer learns a scene: the show changes.
    dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=" + dir.File("Abend.pvs").toUtf8() +
                                   "\r\n[Server]\r\nPort=" + QByteArray::number(port) +
                                   "\r\nStartAktiv=1\r\n[MIDI]\r\nSteuern=1\r\nAnlegen=1\r\n");
    TProgramProcess program(dir, {{"USBIO_DEVICE", "artnet:127.0.0.1:" + QString::number(artNet.localPort())},
                                  {"HOME", dir.File("home")}});
    ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
    ASSERT_TRUE(SendAlone("K719K1P200", port, program)) << program.Stderr().toStdString();
    ASSERT_TRUE(SendAlone("K719N0K1B9P60Z100", port, program));
    // A later message that shows in the frames: the learning has run by then.
    ASSERT_TRUE(SendAlone("K719K2P77", port, program));
    EXPECT_TRUE(ReadArtNetFrames(artNet, program, [](const QByteArray& dmx) { return quint8(dmx.at(1)) == 77; }))
        << program.Stderr().toStdString();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();

    EXPECT_EQ(dir.Read("Abend.pvs"), show);
    EXPECT_EQ(Mode(dir.File("Abend.pvs")), mode_t(0444));
    EXPECT_FALSE(QFileInfo::exists(dir.File("Abend.~pvs")));
    const QStringList rescued = Rescued(dir);
    ASSERT_EQ(rescued.size(), 1) << end.Stderr.toStdString();
    EXPECT_TRUE(end.Stderr.contains("Projekt beim Beenden gesichert in \"" + dir.File("Projekte/" + rescued[0])))
        << end.Stderr.toStdString();
    const QByteArray saved = dir.Read("Projekte/" + rescued[0]);
    EXPECT_TRUE(saved.contains("Text_0=K1P255|")) << saved.left(400).toStdString();
    EXPECT_TRUE(saved.contains("SZ_1_SZ_1_KAN=")) << saved.left(400).toStdString();
    EXPECT_TRUE(saved.contains("Skript"));
}
