// A show played from a remote computer: the real program, started in a temporary
// program folder, reopens a show with three scenes; the step command "T0E1" over
// the remote port fades the Art-Net frames to scene 1's levels.

#include "TestHelpers.h"

#include "core/uUtils.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int ArtDmxHeaderSize = 18;

}   // namespace

// The real program reopens a show with three scenes; the step command from a
// remote computer fades the frame to scene 1's levels over its fade time.
TEST(SceneProgram, ARemoteStepCommandFadesTheFrameToTheFirstScene)
{
    QString scenes = QStringLiteral("[Szenen]\r\nAnzahl=3\r\n");
    const int levels[3][2] = {{200, 100}, {50, 250}, {0, 30}};
    for (int i = 1; i <= 3; ++i) {
        TLevelArray a{};
        a[1] = static_cast<std::uint8_t>(levels[i - 1][0]);
        a[2] = static_cast<std::uint8_t>(levels[i - 1][1]);
        scenes +=
            QStringLiteral("SZ_%1_SNR=%1\r\nSZ_%1_NAME=Szene %1\r\nSZ_%1_SDAT=v\r\nSZ_%1_MDAT=v\r\nSZ_%1_FAD=10\r\n"
                           "SZ_%1_FAP=10\r\nSZ_%1_SZ_CNT=1\r\nSZ_%1_SZ_1_DAT=v\r\nSZ_%1_SZ_1_KAN=%2\r\n"
                           "SZ_%1_MAK_CNT=0\r\n")
                .arg(i)
                .arg(EncodeLevels(a));
    }
    TRemoteShowProgram remote(HandMadeShow(QStringLiteral("\r\n[Kanäle]\r\n\r\n") + scenes, "{{1}} Vorhang"));
    ASSERT_TRUE(remote.Ready) << (remote.Program ? remote.Program->Stderr().toStdString() : std::string());
    TProgramProcess& program = *remote.Program;
    QUdpSocket& artnet = remote.ArtNet;
    QTcpSocket& client = remote.Client;
    client.write("K719T0E1");
    ASSERT_TRUE(client.waitForBytesWritten(5000));

    // The frames rise through the fade (one second, 25 ticks) to the scene.
    int between = 0;
    bool reached = false;
    QByteArray last;
    QDeadlineTimer deadline(30000);
    while (!reached && program.Running() && !deadline.hasExpired()) {
        if (!artnet.hasPendingDatagrams())
            artnet.waitForReadyRead(100);
        while (artnet.hasPendingDatagrams()) {
            QByteArray p(int(artnet.pendingDatagramSize()), '\0');
            artnet.readDatagram(p.data(), p.size());
            if (p.size() != ArtDmxHeaderSize + 512)
                continue;
            last = p;
            const int slot1 = quint8(p.at(ArtDmxHeaderSize));
            between += slot1 > 0 && slot1 < 200 ? 1 : 0;
            reached = reached || (slot1 == 200 && quint8(p.at(ArtDmxHeaderSize + 1)) == 100);
        }
    }
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    EXPECT_TRUE(reached) << err;
    EXPECT_GT(between, 0) << err;   // a fade, not a jump
    ASSERT_FALSE(last.isEmpty()) << err;
    EXPECT_EQ(quint8(last.at(ArtDmxHeaderSize + 2)), 0);
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
}
