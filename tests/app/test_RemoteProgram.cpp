// Remote control of the real program: started in a temporary program folder
// with the server switched on at start, a TCP client sets a channel, and the
// level comes out in the Art-Net frames of the output plug-in.

#include "TestHelpers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int ArtDmxHeaderSize = 18;

// A local TCP port that was free a moment ago.
quint16 FreeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

} // namespace

TEST(RemoteProgram, AClientSetsAChannelThatAppearsInTheFrames)
{
    TTempProgramDir dir;
    ASSERT_TRUE(CopyDmxLibraries(dir));
    const quint16 port = FreeTcpPort();
    dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=" + QByteArray::number(port) + "\r\nStartAktiv=1\r\n");

    QUdpSocket artnet;
    ASSERT_TRUE(artnet.bind(QHostAddress::LocalHost, 0));

    TProgramProcess program(dir, {{"USBIO_DEVICE", "artnet:127.0.0.1:" + QString::number(artnet.localPort())}});
    ASSERT_TRUE(program.Started());
    auto running = [&program] { return program.Running(); };

    // The server listens once the program has started.
    QTcpSocket client;
    QDeadlineTimer connectDeadline(30000);
    while (running() && !connectDeadline.hasExpired()) {
        client.connectToHost(QHostAddress::LocalHost, port);
        if (client.waitForConnected(500))
            break;
        client.abort();
        QThread::msleep(100);
    }
    ASSERT_EQ(client.state(), QAbstractSocket::ConnectedState) << program.Stderr().toStdString();
    client.write("K719K1P255");
    ASSERT_TRUE(client.waitForBytesWritten(5000));

    // Frames come every 40 ms; one of the next ones carries the level.
    bool seen = false;
    QByteArray last;
    QDeadlineTimer deadline(30000);
    while (!seen && running() && !deadline.hasExpired()) {
        if (!artnet.hasPendingDatagrams())
            artnet.waitForReadyRead(100);
        while (artnet.hasPendingDatagrams()) {
            QByteArray p(int(artnet.pendingDatagramSize()), '\0');
            artnet.readDatagram(p.data(), p.size());
            if (p.size() == ArtDmxHeaderSize + 512 && p.startsWith(QByteArray("Art-Net\0", 8))) {
                last = p;
                seen = seen || quint8(p.at(ArtDmxHeaderSize)) == 255;
            }
        }
    }
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    ASSERT_FALSE(last.isEmpty()) << err;
    EXPECT_TRUE(seen) << err;
    EXPECT_EQ(quint8(last.at(ArtDmxHeaderSize + 1)), 0);   // DMX slot 2 untouched
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;

    // The server settings are written back at the end.
    const QByteArray ini = dir.Read("PV_TESSEL.ini");
    EXPECT_TRUE(ini.contains("StartAktiv=1\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Port=" + QByteArray::number(port) + "\r\n")) << ini.toStdString();
}
