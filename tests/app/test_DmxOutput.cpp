// The whole frame path: console level, patch and curve, the real output plug-in
// and its driver library, out as Art-Net packets to a UDP receiver on 127.0.0.1.
// First the engine in this process, then the real program.

#include "TestHelpers.h"

#include "console/uMod_Patch.h"
#include "framework/uMod_Main.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int ArtDmxHeaderSize = 18;

// A UDP receiver on a free local port.
class TArtNetReceiver {
public:
    TArtNetReceiver() { FSocket.bind(QHostAddress::LocalHost, 0); }
    QByteArray Device() const { return "artnet:127.0.0.1:" + QByteArray::number(FSocket.localPort()); }

    // Collects datagrams until count have come or the (generous) deadline passes.
    QList<QByteArray> Take(int count, int timeoutMs, const std::function<bool()>& alive = {})
    {
        QList<QByteArray> packets;
        QDeadlineTimer deadline(timeoutMs);
        while (packets.size() < count && !deadline.hasExpired() && (!alive || alive())) {
            if (!FSocket.hasPendingDatagrams())
                FSocket.waitForReadyRead(100);
            while (FSocket.hasPendingDatagrams()) {
                QByteArray p(int(FSocket.pendingDatagramSize()), '\0');
                FSocket.readDatagram(p.data(), p.size());
                packets << p;
            }
        }
        return packets;
    }

private:
    QUdpSocket FSocket;
};

// The fixed bytes of an ArtDmx packet of universe 0 with 512 slots.
void ExpectArtDmx(const QByteArray& p)
{
    ASSERT_EQ(p.size(), ArtDmxHeaderSize + 512);
    EXPECT_EQ(p.left(8), QByteArray("Art-Net\0", 8));
    EXPECT_EQ(p.mid(8, 4), QByteArray("\x00\x50\x00\x0E", 4));   // OpArtDmx, protocol 14
    EXPECT_NE(p.at(12), 0);                                      // sequence 1..255
    EXPECT_EQ(p.mid(13, 5), QByteArray("\x00\x00\x00\x02\x00", 5));
}

int Slot(const QByteArray& packet, int dmx) { return quint8(packet.at(ArtDmxHeaderSize + dmx - 1)); }

// The Kennlinien section of a patch file with curve 1 halving every level.
QByteArray HalfCurveSection()
{
    QByteArray hex;
    for (int i = 0; i < 256; ++i)
        hex += QByteArray::number(i / 2, 16).rightJustified(2, '0').toUpper();
    return "[Kennlinien]\r\nKennlinienzahl=1\r\nN_1=Halb\r\nK_1=" + hex + "\r\n";
}

} // namespace

TEST(DmxFramePath, EngineSendsCurvedAndPlainLevelsAsArtDmx)
{
    TEngine e;
    ASSERT_TRUE(CopyDmxLibraries(e.Dir)) << "pvm_dmx.so and libusbio.so are built into " PV_PROGRAM_FOLDER;
    e.Dir.Write("kurve.pvp", "[Patch]\r\n" + HalfCurveSection());
    TArtNetReceiver receiver;
    qputenv("USBIO_DEVICE", receiver.Device());
    e.Start();
    qunsetenv("USBIO_DEVICE");
    EXPECT_EQ(ModulePatch->DmxInitText, "Kestrolin DMX-Device");

    ModulePatch->OpenDocument(e.Dir.File("kurve.pvp"));
    ASSERT_EQ(ModulePatch->CurveCount(), 2);
    e.Main->ExecuteLines({"K1P255", "P7P1K1"}, false);
    for (int i = 0; i < 3; ++i)
        e.Main->ClockTick();

    const QList<QByteArray> packets = receiver.Take(3, 10000);
    ASSERT_EQ(packets.size(), 3);
    for (int i = 0; i < 3; ++i) {
        ExpectArtDmx(packets[i]);
        EXPECT_EQ(Slot(packets[i], 1), 255);
        EXPECT_EQ(Slot(packets[i], 7), 127);
        EXPECT_EQ(Slot(packets[i], 2), 0);
        EXPECT_EQ(Slot(packets[i], 512), 0);
    }
    EXPECT_EQ(quint8(packets[1].at(12)), quint8(packets[0].at(12)) % 255 + 1);
    EXPECT_EQ(quint8(packets[2].at(12)), quint8(packets[1].at(12)) % 255 + 1);
}

TEST(DmxFramePath, ProgramKeepsSendingAfterReopeningAMalformedPatch)
{
    TTempProgramDir dir;
    ASSERT_TRUE(CopyDmxLibraries(dir));
    dir.Write("kaputt.pvp", "[Patch]\r\nP_1=2\r\n[Kennlinien]\r\nKennlinienzahl=1\r\nN_1=X\r\nK_1=ZZ\r\n");
    dir.Write("PV_TESSEL.ini",
              "[FrmMain]\r\nLetztesPatch=1\r\nLetztePatchDatei=" + dir.File("kaputt.pvp").toUtf8() + "\r\n");
    TArtNetReceiver receiver;

    TProgramProcess program(dir, {{"USBIO_DEVICE", QString::fromLatin1(receiver.Device())}});
    ASSERT_TRUE(program.Started());

    const QList<QByteArray> packets = receiver.Take(25, 60000, [&program] { return program.Running(); });
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    ASSERT_GE(packets.size(), 25) << err;
    ExpectArtDmx(packets.front());
    ExpectArtDmx(packets.back());
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
}
