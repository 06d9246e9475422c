// A step sequence in the real program: a show whose chaser 1 has two steps for
// channel 1, written with the keys the chaser editor leaves in the show, is reopened;
// once the chaser's fader is up (over the remote port), DMX slot 1 in the Art-Net
// frames goes back and forth between the two step values at the chaser's Takt.

#include "TestHelpers.h"

#include <QDeadlineTimer>
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
