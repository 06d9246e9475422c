// A step sequence in the real program: a show whose chaser 1 has two steps for
// channel 1, written with the keys the chaser editor leaves in the show, is reopened;
// once the chaser's fader is up (over the remote port), DMX slot 1 in the Art-Net
// frames goes back and forth between the two step values at the chaser's Takt.
// The same for a chaser built in the editor of a new show and saved from there.

#include "TestHelpers.h"

#include "console/uMod_Lichtpult.h"
#include "cues/uFrm_Chaser.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <QDir>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// Raises chaser 1 over the remote port and counts how often DMX slot 1 goes
// between the two step values 200 and 50; true once it has done so three times.
bool ChaserRuns(TRemoteShowProgram& remote, std::string& err)
{
    remote.Client.write("K719K571P255");
    if (!remote.Client.waitForBytesWritten(5000))
        return false;
    int changes = 0;
    int previous = -1;
    ReadArtNetFrames(remote.ArtNet, *remote.Program, [&](const QByteArray& dmx) {
        const int slot1 = quint8(dmx.at(0));
        if (slot1 == 200 || slot1 == 50) {
            changes += previous >= 0 && slot1 != previous ? 1 : 0;
            previous = slot1;
        }
        return changes >= 3;
    });
    remote.Client.disconnectFromHost();
    const TProgramProcess::TResult end = remote.Program->Stop(SIGTERM);
    err = end.Stderr.toStdString();
    return changes >= 3 && !end.Crashed && end.ExitCode == 0;
}

}   // namespace

TEST(ChaserProgram, AStepSequenceRunsInTheArtNetFrames)
{
    // Chaser 1 (channel 571): one entry, channel 1; 0-scene 0, step 1 200, step 2 50;
    // 5 x 40 ms per step, hard steps.
    TRemoteShowProgram remote(HandMadeShow(QStringLiteral("\r\n[Kanäle]\r\nFM_571=0\r\nTa_571=5\r\nCS_571=2\r\nKa_571=1\r\n"
                                                         "LedDefs_571=\r\nCF_571_-1=1;\r\nCF_571_0=0;\r\n"
                                                         "CF_571_1=200;\r\nCF_571_2=50;\r\n")));
    ASSERT_TRUE(remote.Ready) << (remote.Program ? remote.Program->Stderr().toStdString() : std::string());
    std::string err;
    EXPECT_TRUE(ChaserRuns(remote, err)) << err;
}

// A new show, never loaded from a file: chaser 1 built in the editor (0-scene of
// channel 1, step 1 at 200, step 2 at 50) is saved with its steps; the real
// program reopens the show and plays them.
TEST(ChaserProgram, AChaserBuiltInTheEditorOfANewShowIsSavedAndPlays)
{
    QByteArray show;
    {
        TEngine engine;
        engine.Start();
        TFrmChaser form(*ModuleLichtpult, engine.Dir.File("Data/ChaserLedVorlagen.ini"));
        form.show();
        auto* edtChaser = form.findChild<QSpinBox*>(QStringLiteral("edtChaser"));
        auto* edtSchritte = form.findChild<QSpinBox*>(QStringLiteral("edtSchritte"));
        auto* sgChaser = form.findChild<QTableView*>(QStringLiteral("sgChaser"));
        auto* btnNullszene = form.findChild<QPushButton*>(QStringLiteral("btnNullszene"));
        auto* btnSchrittSpeichern = form.findChild<QPushButton*>(QStringLiteral("btnSchrittSpeichern"));
        ASSERT_TRUE(edtChaser && edtSchritte && sgChaser && btnNullszene && btnSchrittSpeichern);
        form.PageControl1->setCurrentWidget(form.tabDefinition);
        edtChaser->setValue(1);
        EXPECT_EQ(edtSchritte->value(), 2);

        ModuleMain->ExecuteLines({QStringLiteral("K1P200")}, false);
        btnNullszene->click();
        for (const auto& [row, level] : {std::pair{3, "K1P200"}, std::pair{4, "K1P50"}}) {
            ModuleMain->ExecuteLines({QString::fromLatin1(level)}, false);
            sgChaser->setCurrentIndex(sgChaser->model()->index(row, 1));
            btnSchrittSpeichern->click();
        }
        ASSERT_TRUE(SaveProject(engine.Dir.File("Neu.pvs")));
        show = engine.Dir.Read("Neu.pvs");
    }
    for (const char* key : {"CS_571=2\r\n", "CF_571_1=200;\r\n", "CF_571_2=50;\r\n"})
        EXPECT_TRUE(show.contains(key)) << key;

    TRemoteShowProgram remote(show);
    ASSERT_TRUE(remote.Ready) << (remote.Program ? remote.Program->Stderr().toStdString() : std::string());
    std::string err;
    EXPECT_TRUE(ChaserRuns(remote, err)) << err;
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
