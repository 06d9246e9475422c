// The connected-computers page of the real program on an X server of its own,
// the page on screen: a flood of long V commands to a peer that never reads
// leaves the program's memory where it was.

#include "TestHelpers.h"

#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// The resident memory of a process in kB, from /proc.
qint64 ResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

} // namespace

TEST(PeersProgram, LongMessagesToAPeerThatNeverReadsLeaveTheMemoryAlone)
{
    TXServer x;
    ASSERT_TRUE(x.Started()) << x.Error().toStdString();
    TSilentPeer peer;
    ASSERT_NE(peer.Port, 0);
    TTempProgramDir dir;
    const quint16 port = FreeTcpPort();
    dir.Write("Abend.pvs", HandMadeShow(QStringLiteral("[Interface]\r\nVR_Name_1=Stumm\r\nVR_IP_1=127.0.0.1\r\nVR_Port_1=%1"
                                                       "\r\nVR_Koppel_1=K1\r\n")
                                            .arg(peer.Port)));
    // Reopens the show, the server on, the page "verbundene Rechner" on screen.
    dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=" + QByteArray::number(port) +
                                   "\r\nStartAktiv=1\r\n[FrmMain]\r\nAutoSpeichern=0\r\nPI_Main=6\r\nPI_Interface=4\r\n"
                                   "LetzteDatei=1\r\nLetzteProjektDatei=" + dir.File("Abend.pvs").toUtf8() + "\r\n");
    TProgramProcess program(dir, x.Environment());
    ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
    const QString main = x.WaitForWindow("^Palvento Orlisk 200");
    ASSERT_FALSE(main.isEmpty()) << program.Stderr().toStdString();
    // "&Verbinden" connects the loaded row 1.
    ASSERT_TRUE(x.Keys(main, {"alt+v"}));
    ASSERT_TRUE(peer.Accept(10000));

    const qint64 pid = program.Process.processId();
    // Each message on a connection of its own: the server takes what one
    // connection sends as one line.
    const auto send = [&](const QByteArray& message) {
        QTcpSocket client;
        if (!ConnectWhenListening(client, port, program))
            return false;
        client.write(message);
        const bool written = client.waitForBytesWritten(5000);
        client.disconnectFromHost();
        return written && (client.state() == QAbstractSocket::UnconnectedState || client.waitForDisconnected(5000));
    };
    ASSERT_TRUE(send("K719V1K1M1D"));
    QThread::msleep(1000);
    const qint64 before = ResidentKb(pid);
    const QByteArray digits(50000, '7');
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(send("K719V1K1P" + digits)) << i;
    // The last ones are logged and shown once the server has read them.
    QThread::msleep(1500);
    const qint64 after = ResidentKb(pid);
    const TProgramProcess::TResult end = program.Stop(SIGTERM);

    ASSERT_GT(before, 0);
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(after - before, 10 * 1024) << before << " kB before, " << after << " kB after";
#else
    // AddressSanitizer keeps freed memory in quarantine (256 MB by default), so the
    // resident size says nothing of what the program holds; the flood still runs.
    (void)after;
#endif
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
}
