// The server and connected-computers pages offscreen, through their named
// widgets: docking into the interface tabs, the views following the engine, and
// user input reaching it.

#include "TestHelpers.h"

#include "cues/uMod_Szenen.h"
#include "devices/uFrm_MIDI.h"
#include "devices/uFrm_Server.h"
#include "devices/uFrm_VerbundeneRechner.h"
#include "devices/uMidiUtils.h"
#include "devices/uMod_Interface.h"
#include "devices/uPeers.h"
#include "devices/uProtocolMemo.h"
#include "devices/uServer.h"
#include "framework/uComposition.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

QStringList TabCaptions(const QTabWidget& tabs)
{
    QStringList captions;
    for (int i = 0; i < tabs.count(); ++i)
        captions << tabs.tabText(i) + "/" + tabs.widget(i)->objectName();
    return captions;
}

class FrmInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=0\r\nKey=K719\r\nMakro=1\r\n");
        Engine.Start();
        Tabs = std::make_unique<QTabWidget>();
        Tabs->addTab(new QWidget, "Patch");
        CreateInterfacePages(Tabs.get());
        ASSERT_NE(FrmServer, nullptr);
        ASSERT_NE(FrmVerbundeneRechner, nullptr);
        Tabs->show();
    }
    void TearDown() override
    {
        Tabs.reset();
        Engine.Stop();
    }
    TRemoteServer& Server() { return ModuleInterface->Server(); }
    TPeerList& Peers() { return ModuleInterface->Peers(); }

    TEngine Engine;
    std::unique_ptr<QTabWidget> Tabs;
};

} // namespace

TEST_F(FrmInterfaceTest, PagesAreDockedOnceUnderTheirTabs)
{
    EXPECT_EQ(TabCaptions(*Tabs),
              QStringList({"Patch/", "PLX-Interface/tabPLX", "serielle Schnittstelle/tabCOM", "verbundene Rechner/tabVerbundeneRechner",
                           "Server/tabServer", "MIDI/tabMIDI"}));
    EXPECT_EQ(FrmServer->parentWidget()->objectName(), "tabServer");
    EXPECT_EQ(FrmVerbundeneRechner->parentWidget()->objectName(), "tabVerbundeneRechner");
    EXPECT_EQ(FrmMIDI->parentWidget()->objectName(), "tabMIDI");
    CreateInterfacePages(Tabs.get());
    EXPECT_EQ(Tabs->count(), 6);
}

TEST(FrmInterfaceDocking, ExistingTabsAreUsedWhereTheyStand)
{
    TEngine engine;
    engine.Start();
    QTabWidget tabs;
    for (const char* name : {"tabServer", "tabMIDI", "tabVerbundeneRechner"}) {
        auto* tab = new QWidget;
        tab->setObjectName(name);
        tabs.addTab(tab, name);
    }
    CreateInterfacePages(&tabs);
    EXPECT_EQ(tabs.count(), 5);   // the box page's and the serial page's tabs are added
    EXPECT_EQ(FrmServer->parentWidget(), tabs.widget(0));
    EXPECT_EQ(FrmVerbundeneRechner->parentWidget(), tabs.widget(2));
    EXPECT_EQ(FrmMIDI->parentWidget(), tabs.widget(1));
}

TEST_F(FrmInterfaceTest, ServerPageShowsTheSettingsAndHandsInputToTheServer)
{
    TFrmServer& f = *FrmServer;
    EXPECT_EQ(f.edtPort->text(), "0");
    EXPECT_EQ(f.edtKey->text(), "K719");
    EXPECT_TRUE(f.cbMakro->isChecked());
    EXPECT_FALSE(f.cbAktiv->isChecked());
    EXPECT_EQ(f.cbSchrittAusfuehren->text(), QStringLiteral("Schritt ausführen"));

    // Letters typed are discarded; the loaded letter of the key stays.
    f.edtKey->setFocus();
    f.edtKey->end(false);
    QTest::keyClicks(f.edtKey, "x5y");
    EXPECT_EQ(f.edtKey->text(), "K7195");
    EXPECT_EQ(Server().Key, "K7195");
    QTest::keyClick(f.edtKey, Qt::Key_Backspace);
    EXPECT_EQ(Server().Key, "K719");

    f.cbFindSchritt->click();
    EXPECT_TRUE(Server().FindSchritt);
    f.cbStartAktiv->click();
    EXPECT_TRUE(Server().StartAktiv);

    f.cbAktiv->click();
    EXPECT_TRUE(Server().IsListening());
    EXPECT_TRUE(f.memProt->toPlainText().section('\n', 0, 0).endsWith(
        "Listening in Port " + QString::number(Server().ListeningPort())));
    f.cbAktiv->click();
    EXPECT_FALSE(Server().IsListening());
    EXPECT_TRUE(f.memProt->toPlainText().section('\n', 0, 0).endsWith("Stop Listening"));
}

TEST_F(FrmInterfaceTest, ServerBoxEndsUncheckedWhenThePortIsTaken)
{
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::AnyIPv4, 0));
    TFrmServer& f = *FrmServer;
    f.edtPort->setText(QString::number(occupant.serverPort()));
    f.cbAktiv->click();
    EXPECT_FALSE(f.cbAktiv->isChecked());
    EXPECT_FALSE(Server().Aktiv());
    EXPECT_TRUE(f.memProt->toPlainText().section('\n', 0, 0).contains("   Error Port "));
}

TEST_F(FrmInterfaceTest, ProtocolMemosHoldTheNewestLinesOnTopWithoutUndoHistory)
{
    QPlainTextEdit* memo = FrmServer->memProt;
    auto first = [](QPlainTextEdit* m) { return m->toPlainText().section('\n', 0, 0); };
    // Hidden, the memo waits; shown, it catches up.
    Server().LogServerMessage("verborgen");
    ASSERT_FALSE(memo->isVisible());
    EXPECT_FALSE(WaitFor([&] { return first(memo).endsWith("verborgen"); }, 3 * TProtocolMemo::RefreshMs));
    Tabs->setCurrentWidget(FrmServer->parentWidget());
    EXPECT_TRUE(first(memo).endsWith("verborgen"));

    // Batches of several sizes between two refreshes, the last more than the memo holds.
    for (int batch : {1, 30, 700, 3 * TProtocolLog::MaxLines}) {
        const QString prefix = "Zeile " + QString::number(batch) + ".";
        for (int i = 1; i <= batch; ++i)
            Server().LogServerMessage(prefix + QString::number(i));
        const QString newest = prefix + QString::number(batch);
        ASSERT_TRUE(WaitFor([&] { return first(memo).endsWith(newest); })) << batch;
        EXPECT_EQ(quint64(memo->document()->blockCount()),
                  std::min(Server().ProtocolLog().Total(), quint64(TProtocolLog::MaxLines)));
    }
    ASSERT_EQ(Server().Log().size(), TProtocolLog::MaxLines);
    EXPECT_EQ(memo->toPlainText().split('\n'), Server().Log());
    EXPECT_EQ(memo->document()->availableUndoSteps(), 0);

    // The peers' memo alike: more messages than the queue takes, each logged.
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    Peers().SetPeer(1, "Eins", "127.0.0.1", QString::number(listener.serverPort()), "K111");
    Peers().Connect(1);
    ASSERT_TRUE(WaitFor([&] { return Peers().IsConnected(1); }));
    for (int i = 1; i <= 2 * TProtocolLog::MaxLines; ++i)
        Peers().SendToPeer({"V1", "K111M" + QString::number(i) + "D"});
    QPlainTextEdit* peerMemo = FrmVerbundeneRechner->memMessages;
    Tabs->setCurrentWidget(FrmVerbundeneRechner->parentWidget());
    ASSERT_TRUE(WaitFor([&] { return first(peerMemo).endsWith("K111M2000D"); }));
    EXPECT_EQ(peerMemo->document()->blockCount(), TProtocolLog::MaxLines);
    EXPECT_EQ(peerMemo->document()->availableUndoSteps(), 0);
    Peers().Disconnect(1);
}

TEST_F(FrmInterfaceTest, PeerGridAndEditsFollowTheSelectedRow)
{
    TFrmVerbundeneRechner& f = *FrmVerbundeneRechner;
    EXPECT_EQ(f.sgRechner->rowCount(), 12);
    EXPECT_EQ(f.sgRechner->item(11, 0)->text(), "12");
    EXPECT_EQ(f.sgRechner->horizontalHeaderItem(5)->text(), "Key");
    EXPECT_EQ(f.btnVerbinden->text(), "&Verbinden");

    // Before any selection typing stores nothing.
    f.edtName->setText("Niemand");
    for (int row = 1; row <= 12; ++row)
        EXPECT_EQ(Peers().Peer(row).Name, "") << row;

    Peers().SetPeer(3, "Drei", "10.0.0.3", "22455", "K333");
    f.sgRechner->setCurrentCell(2, 1);
    EXPECT_EQ(Peers().Selected(), 3);
    EXPECT_EQ(f.lblNr->text(), "3");
    EXPECT_EQ(f.edtName->text(), "Drei");
    EXPECT_EQ(f.edtKey->text(), "K333");

    f.edtIP->clear();
    QTest::keyClicks(f.edtIP, "pult.local");
    EXPECT_EQ(Peers().Peer(3).IP, "pult.local");
    EXPECT_EQ(f.sgRechner->item(2, 2)->text(), "pult.local");
    EXPECT_EQ(Peers().Peer(3).Name, "Drei");
}

TEST_F(FrmInterfaceTest, LoadingAShowRefillsTheEditsAlsoWhenRowOneWasSelected)
{
    TFrmVerbundeneRechner& f = *FrmVerbundeneRechner;
    Peers().SetPeer(1, "Alt", "10.0.0.1", "1", "K111");
    f.sgRechner->setCurrentCell(0, 1);
    ASSERT_EQ(f.edtName->text(), "Alt");

    TStringIniFile show;
    show.SetText("[Interface]\nVR_Name_1=Neu\nVR_IP_1=10.0.0.9\nVR_Port_1=22455\nVR_Koppel_1=K999\n");
    ModuleInterface->LoadIni(show);
    EXPECT_EQ(f.edtName->text(), "Neu");
    EXPECT_EQ(f.edtIP->text(), "10.0.0.9");

    // The next keystroke keeps the loaded values.
    QTest::keyClicks(f.edtKey, "9");
    EXPECT_EQ(Peers().Peer(1).Name, "Neu");
    EXPECT_EQ(Peers().Peer(1).IP, "10.0.0.9");
    EXPECT_EQ(Peers().Peer(1).Key, "K9999");
}

TEST_F(FrmInterfaceTest, ConnectAndSendButtons)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    QByteArray received;
    QObject::connect(&listener, &QTcpServer::newConnection, &listener, [&] {
        QTcpSocket* s = listener.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, &listener, [&received, s] { received += s->readAll(); });
    });

    TFrmVerbundeneRechner& f = *FrmVerbundeneRechner;
    // No row selected: the buttons do nothing.
    QTest::mouseClick(f.btnVerbinden, Qt::LeftButton);
    QTest::mouseClick(f.btnSend, Qt::LeftButton);
    EXPECT_TRUE(f.memMessages->toPlainText().isEmpty());

    Peers().SetPeer(2, "Zwei", "127.0.0.1", QString::number(listener.serverPort()), "K222");
    f.sgRechner->setCurrentCell(1, 1);
    QTest::mouseClick(f.btnVerbinden, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return Peers().IsConnected(2); }));
    EXPECT_EQ(f.btnVerbinden->text(), "&Trennen");
    EXPECT_EQ(f.sgRechner->item(1, 4)->text(), "verbunden");

    f.edtCommand->setText("K222K1P255");
    QTest::mouseClick(f.btnSend, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return received == "K222K1P255"; }));
    EXPECT_TRUE(f.memMessages->toPlainText().section('\n', 0, 0).endsWith(
        "Client2  \"Zwei\"   [127.0.0.1]   gesendet: K222K1P255"));

    QTest::mouseClick(f.btnVerbinden, Qt::LeftButton);
    EXPECT_EQ(f.btnVerbinden->text(), "&Verbinden");
    EXPECT_EQ(f.sgRechner->item(1, 4)->text(), "getrennt");
}

TEST_F(FrmInterfaceTest, PagesOutliveTheModulesSafely)
{
    // The main window frees the modules before its child widgets.
    Engine.Stop();
    FrmServer->cbAktiv->click();
    QTest::keyClicks(FrmServer->edtPort, "1");
    FrmVerbundeneRechner->sgRechner->setCurrentCell(4, 1);
    QTest::keyClicks(FrmVerbundeneRechner->edtName, "x");
    QTest::mouseClick(FrmVerbundeneRechner->btnVerbinden, Qt::LeftButton);
    QTest::mouseClick(FrmVerbundeneRechner->btnSend, Qt::LeftButton);
    Tabs.reset();
    EXPECT_EQ(FrmServer, nullptr);
    EXPECT_EQ(FrmVerbundeneRechner, nullptr);
}

// The MIDI page over the program's own MIDI system: on a machine without a
// sequencer it says so, and ticking "MIDI In aktiv" neither fails nor asks.
// The grid follows the loaded mappings with one empty row after them, and the
// button recalls the scene of the selected row.
TEST_F(FrmInterfaceTest, MidiPageShowsTheMappingsAndRecallsTheSelectedRowsScene)
{
    TFrmMIDI& f = *FrmMIDI;
    TMidiMapping& midi = ModuleInterface->Midi();
    if (!QFileInfo::exists(QStringLiteral("/dev/snd/seq"))) {
        EXPECT_EQ(f.lblStatus->text(),
                  QStringLiteral("Kein MIDI-System vorhanden (kein ALSA-Sequenzer): MIDI In empfängt nichts"));
        EXPECT_EQ(f.cmbGeraet->count(), 0);
        f.cbAktiv->click();
        EXPECT_FALSE(f.cbAktiv->isChecked());
    }

    TStringIniFile ini;
    ini.SetText(QStringLiteral("[MIDI]\r\nCount=2\r\nPara_1=6569104\r\nSzene_1=1\r\nPara_2=46\r\nSzene_2=x\r\n"));
    midi.LoadMidiMappings(ini);
    ASSERT_EQ(f.sgMIDI->rowCount(), 3);
    QStringList row;
    for (int c = 0; c < 6; ++c)
        row << f.sgMIDI->item(0, c)->text();
    EXPECT_EQ(row, QStringList({"6569104", "1", "9", "60", "100", "1"}));
    ini.SetText(QStringLiteral("[MIDI]\r\nCount=1\r\nPara_1=46\r\nSzene_1=1\r\n"));
    midi.LoadMidiMappings(ini);
    ASSERT_EQ(f.sgMIDI->rowCount(), 2);
    EXPECT_EQ(f.sgMIDI->item(1, 0), nullptr) << "the last row is empty";

    ModuleSzenen->StoreNewScene(false);
    const int recalls = int(ModuleSzenen->Protokoll.size());
    f.sgMIDI->setCurrentCell(1, 0);
    f.btnSzeneAusfuehren->click();   // the empty row: nothing
    EXPECT_EQ(ModuleSzenen->Protokoll.size(), recalls);
    f.sgMIDI->setCurrentCell(0, 0);
    f.btnSzeneAusfuehren->click();
    EXPECT_EQ(ModuleSzenen->Protokoll.size(), recalls + 1);

    // The N command shows its message in the label.
    ModuleMain->ExecuteLines({QStringLiteral("N0K1B3P7Z127")}, false);
    EXPECT_EQ(f.lblLog->text(), QStringLiteral("Kanal 1  [control change]   Param1 7   Param2 127"));
}
