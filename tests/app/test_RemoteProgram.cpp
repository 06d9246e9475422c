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
#include <sys/resource.h>
#include <memory>
#include <vector>

namespace {

// Reads the Art-Net frames until one carries value in DMX slot 1; last receives
// that frame's slots.
bool WaitForSlot1(QUdpSocket& artnet, int value, const TProgramProcess& program, QByteArray& last)
{
    return ReadArtNetFrames(artnet, program, [&](const QByteArray& dmx) {
        last = dmx;
        return quint8(dmx.at(0)) == value;
    });
}

// The soft and hard open-file limits of a running process, from /proc.
QStringList OpenFileLimits(qint64 pid)
{
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : limits.readAll().split('\n'))
        if (line.startsWith("Max open files"))
            return QString::fromLatin1(line.mid(14)).simplified().split(u' ').mid(0, 2);
    return {};
}

} // namespace

// A program folder whose settings switch the server on at start on a free
// port, and the receiver of the program's Art-Net frames.
class RemoteProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyDmxLibraries(Dir));
        Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=" + QByteArray::number(Port) + "\r\nStartAktiv=1\r\n");
        ASSERT_TRUE(ArtNet.bind(QHostAddress::LocalHost, 0));
    }
    QList<QPair<QString, QString>> Env() const
    {
        return {{"USBIO_DEVICE", "artnet:127.0.0.1:" + QString::number(ArtNet.localPort())}};
    }

    TTempProgramDir Dir;
    const quint16 Port = FreeTcpPort();
    QUdpSocket ArtNet;
};

TEST_F(RemoteProgram, RaisesItsFileLimitAndTakesALineEndedMessageAsNcSendsIt)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max <= 1024 || saved.rlim_max == RLIM_INFINITY)
        GTEST_SKIP() << "the hard open-file limit leaves nothing to raise";

    // Started with the usual soft limit, which it inherits from here.
    rlimit usual = saved;
    usual.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &usual), 0);
    TProgramProcess program(Dir, Env());
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(program.Started());

    // printf 'K719K1P255\n' | nc 127.0.0.1 PORT
    QTcpSocket client;
    ASSERT_TRUE(ConnectWhenListening(client, Port, program)) << program.Stderr().toStdString();
    const QStringList limits = OpenFileLimits(program.Process.processId());
    client.write("K719K1P255\n");
    ASSERT_TRUE(client.waitForBytesWritten(5000));
    client.disconnectFromHost();
    QByteArray last;
    const bool lit = WaitForSlot1(ArtNet, 255, program, last);
    const TProgramProcess::TResult end = program.Stop(SIGTERM);

    EXPECT_EQ(limits, QStringList({QString::number(saved.rlim_max), QString::number(saved.rlim_max)}));
    EXPECT_TRUE(lit) << end.Stderr.toStdString();
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}

TEST_F(RemoteProgram, AClientSetsAChannelThatAppearsInTheFrames)
{
    TProgramProcess program(Dir, Env());
    ASSERT_TRUE(program.Started());

    // The server listens once the program has started.
    QTcpSocket client;
    ASSERT_TRUE(ConnectWhenListening(client, Port, program)) << program.Stderr().toStdString();
    client.write("K719K1P255");
    ASSERT_TRUE(client.waitForBytesWritten(5000));

    // Frames come every 40 ms; one of the next ones carries the level.
    QByteArray last;
    const bool seen = WaitForSlot1(ArtNet, 255, program, last);
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    ASSERT_FALSE(last.isEmpty()) << err;
    EXPECT_TRUE(seen) << err;
    EXPECT_EQ(quint8(last.at(1)), 0);   // DMX slot 2 untouched
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;

    // The server settings are written back at the end.
    const QByteArray ini = Dir.Read("PV_TESSEL.ini");
    EXPECT_TRUE(ini.contains("StartAktiv=1\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Port=" + QByteArray::number(Port) + "\r\n")) << ini.toStdString();
}

TEST_F(RemoteProgram, AMacroOfTheShowHoldsAChannelWhilePressed)
{
    // Macro 0 lights channel 1 while pressed; macro 1 presses itself, macros 2
    // and 3 press each other; macros 10..109 each press the next, and macro 110
    // at the end of that chain lights channel 2.
    QByteArray chain;
    for (int i = 10; i < 110; ++i)
        chain += "Text_" + QByteArray::number(i) + "=M" + QByteArray::number(i + 1) + "D|\r\n";
    Dir.Write("Makros.pvs", HandMadeShow("[Makros]\r\nMakroCount=111\r\nText_0=K1P255|uK1P0|\r\nText_1=M1E|\r\n"
                                         "Text_2=M3D|\r\nText_3=M2D|\r\n" +
                                         chain + "Text_110=K2P255|\r\n"));
    Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=" + QByteArray::number(Port) +
                                   "\r\nStartAktiv=1\r\n[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=" +
                                   Dir.File("Makros.pvs").toUtf8() + "\r\n");

    TProgramProcess program(Dir, Env());
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();   // the show is loaded by then

    // One connection per message, so that no two messages arrive as one.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    auto send = [&](const QByteArray& message) {
        clients.push_back(std::make_unique<QTcpSocket>());
        if (!ConnectWhenListening(*clients.back(), Port, program))
            return false;
        clients.back()->write(message);
        return clients.back()->waitForBytesWritten(5000);
    };
    // The runaway macros end at their first repeat; the console goes on.
    ASSERT_TRUE(send("K719M1E"));
    ASSERT_TRUE(send("K719M2D"));

    QByteArray last;
    ASSERT_TRUE(send("K719M0D"));
    EXPECT_TRUE(WaitForSlot1(ArtNet, 255, program, last)) << program.Stderr().toStdString();
    ASSERT_TRUE(send("K719M0U"));
    EXPECT_TRUE(WaitForSlot1(ArtNet, 0, program, last)) << program.Stderr().toStdString();
    // The chain of a hundred macros runs to its end.
    ASSERT_TRUE(send("K719M10D"));
    EXPECT_TRUE(ReadArtNetFrames(ArtNet, program, [](const QByteArray& dmx) { return quint8(dmx.at(1)) == 255; }))
        << program.Stderr().toStdString();

    clients.clear();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    EXPECT_FALSE(end.Crashed) << end.Stderr.toStdString();
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}

// With "MIDI legt Szenen an" and "MIDI steuert Szenen" set, the N command from a
// remote computer learns a scene from the set levels the first time and recalls
// it the second time.
TEST_F(RemoteProgram, TheSameMidiCommandLearnsASceneThenRecallsIt)
{
    Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=" + QByteArray::number(Port) +
                                   "\r\nStartAktiv=1\r\n[MIDI]\r\nSteuern=1\r\nAnlegen=1\r\n");
    TProgramProcess program(Dir, Env());
    ASSERT_TRUE(program.Started());
    QByteArray last;
    ASSERT_TRUE(SendAlone("K719K1P200", Port, program)) << program.Stderr().toStdString();
    ASSERT_TRUE(WaitForSlot1(ArtNet, 200, program, last)) << program.Stderr().toStdString();
    ASSERT_TRUE(SendAlone("K719N0K1B9P60Z100", Port, program));   // learns channel 1 at 200
    ASSERT_TRUE(SendAlone("K719K1P0", Port, program));
    ASSERT_TRUE(WaitForSlot1(ArtNet, 0, program, last)) << program.Stderr().toStdString();
    ASSERT_TRUE(SendAlone("K719N0K1B9P60Z100", Port, program));   // recalls it: back to 200
    const bool recalled = WaitForSlot1(ArtNet, 200, program, last);
    const TProgramProcess::TResult end = program.Stop(SIGTERM);

    EXPECT_TRUE(recalled) << end.Stderr.toStdString();
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}
