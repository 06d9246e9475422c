// A curve made with the curve editor's arithmetic and assigned to a slot, saved
// as a patch file by the patch module, reopened by the real program at start:
// a level sent over the remote port leaves the Art-Net frame through the curve.

#include "TestHelpers.h"

#include "console/uKennlinie.h"
#include "console/uMod_Patch.h"
#include "framework/uMod_Main.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(PatchProgram, ACurveAssignedToASlotShapesItsArtNetLevel)
{
    TTempProgramDir dir;
    ASSERT_TRUE(CopyDmxLibraries(dir));
    int expected = -1;
    {
        TEngine editor;
        editor.Start();
        auto curve = std::make_unique<TKennlinie>();
        curve->SetName(QStringLiteral("Knick"));
        DropCurvePoint(curve->Punkte, 2, 127, 255);   // the middle point down to 0
        RebuildCurveTable(curve->Punkte, curve->Tabelle);
        expected = curve->MapLevel(150);
        ModulePatch->AddCurve(std::move(curve));
        ModulePatch->SetSlot(3, 1, 1);
        ModulePatch->SetFileName(dir.File("knick.pvp"));
        ModulePatch->SaveToFile();
    }
    ASSERT_NE(expected, 150);

    const quint16 port = FreeTcpPort();
    dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetztesPatch=1\r\nLetztePatchDatei=" + dir.File("knick.pvp").toUtf8() +
                                   "\r\n[Server]\r\nPort=" + QByteArray::number(port) + "\r\nStartAktiv=1\r\n");
    QUdpSocket artnet;
    ASSERT_TRUE(artnet.bind(QHostAddress::LocalHost, 0));
    TProgramProcess program(dir, {{"USBIO_DEVICE", "artnet:127.0.0.1:" + QString::number(artnet.localPort())}});
    ASSERT_TRUE(program.Started());

    QTcpSocket client;
    ASSERT_TRUE(ConnectWhenListening(client, port, program)) << program.Stderr().toStdString();
    client.write("K719K1P150");   // the server's default key, then channel 1 to 150
    ASSERT_TRUE(client.waitForBytesWritten(5000));

    int slot1 = -1, slot3 = -1;
    ReadArtNetFrames(artnet, program, [&](const QByteArray& dmx) {
        slot1 = quint8(dmx.at(0));
        slot3 = quint8(dmx.at(2));
        return slot1 == 150;
    });
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    EXPECT_EQ(slot1, 150) << err;
    EXPECT_EQ(slot3, expected) << err;
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
}

} // namespace
