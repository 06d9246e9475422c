// A step sequence in the real program: a show whose chaser 1 has two steps for
// channel 1, written with the keys the chaser editor leaves in the show, is reopened;
// once the chaser's fader is up (over the remote port), DMX slot 1 in the Art-Net
// frames goes back and forth between the two step values at the chaser's Takt.

#include "TestHelpers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>

TEST(ChaserProgram, AStepSequenceRunsInTheArtNetFrames)
{
    // Chaser 1 (channel 571): one entry, channel 1; 0-scene 0, step 1 200, step 2 50;
    // 5 x 40 ms per step, hard steps.
    TRemoteShowProgram remote(HandMadeShow(QStringLiteral("\r\n[Kanäle]\r\nFM_571=0\r\nTa_571=5\r\nCS_571=2\r\nKa_571=1\r\n"
                                                         "LedDefs_571=\r\nCF_571_-1=1;\r\nCF_571_0=0;\r\n"
                                                         "CF_571_1=200;\r\nCF_571_2=50;\r\n")));
    ASSERT_TRUE(remote.Ready) << (remote.Program ? remote.Program->Stderr().toStdString() : std::string());
    TProgramProcess& program = *remote.Program;
    QUdpSocket& artnet = remote.ArtNet;
    QTcpSocket& client = remote.Client;
    client.write("K719K571P255");
    ASSERT_TRUE(client.waitForBytesWritten(5000));

    // Slot 1 follows the steps: 200, 50, 200, ... Count the changes between them.
    int changes = 0;
    int previous = -1;
    ReadArtNetFrames(artnet, program, [&](const QByteArray& dmx) {
        const int slot1 = quint8(dmx.at(0));
        if (slot1 == 200 || slot1 == 50) {
            changes += previous >= 0 && slot1 != previous ? 1 : 0;
            previous = slot1;
        }
        return changes >= 3;
    });
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();
    EXPECT_GE(changes, 3) << err;
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
}

// The LED colour templates that the program reads at start: a file of 250
// templates (as "Neue Vorlage" and "Speichern" write it) is read whole, without
// the warning that a count beyond any section gets in the error log.
TEST(ChaserProgram, ATemplateFileOf250IsReadWithoutCuttingIt)
{
    QByteArray whole = "[Allgemein]\r\nCount=250\r\n";
    for (int i = 0; i < 250; ++i)
        whole += "\r\n[Vorlage" + QByteArray::number(i) + "]\r\nName=V" + QByteArray::number(i) + "\r\nColor_1=255\r\n";
    for (const auto& [file, warned] :
         {std::pair{whole, false}, std::pair{QByteArray("[Allgemein]\r\nCount=250\r\n"), true}}) {
        TTempProgramDir dir;
        dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nFehlerlog=1\r\nAutoSpeichern=0\r\n");
        dir.Write("Data/ChaserLedVorlagen.ini", file);
        TProgramProcess program(dir);
        ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
        const TProgramProcess::TResult end = program.Stop(SIGTERM);
        ASSERT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
        const QStringList logs = QDir(dir.File("Fehlerlogs")).entryList({"Log_*.txt"}, QDir::Files);
        ASSERT_EQ(logs.size(), 1);
        const QByteArray log = dir.Read("Fehlerlogs/" + logs.at(0));
        EXPECT_EQ(log.contains("ChaserLedVorlagen: Count=250"), warned) << log.constData();
        EXPECT_EQ(dir.Read("Data/ChaserLedVorlagen.ini"), file);
    }
}
