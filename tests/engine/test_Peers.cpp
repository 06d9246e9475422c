// The connected computers and the forwarding of coupled events, over real TCP
// to listeners on 127.0.0.1; the interface module's show section and commands.

#include "TestHelpers.h"

#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Makros.h"
#include "devices/uMod_Interface.h"
#include "devices/uPeers.h"
#include "devices/uServer.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <vector>

namespace {

bool Connect(TPeerList& peers, int row)
{
    peers.Connect(row);
    return WaitFor([&] { return peers.IsConnected(row); });
}

class PeersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TErrorLog::Instance().Clear();
        Peers.SetPeer(1, QStringLiteral("Bühne"), "127.0.0.1", Listener.Port(), "K555");
        Peers.SelectPeer(1);
    }
    int Sent() const { return CountLines(Peers.Log(), " gesendet: "); }

    TListener Listener;
    TPeerList Peers;
};

} // namespace

TEST_F(PeersTest, ConnectDisconnectAndTheLogLines)
{
    EXPECT_EQ(Peers.Peer(1).Status, "");
    Peers.ToggleConnection();
    ASSERT_TRUE(WaitFor([&] { return Peers.IsConnected(1) && Listener.Sockets.size() == 1; }));
    EXPECT_EQ(Peers.Peer(1).Status, "verbunden");
    EXPECT_EQ(Peers.Log().first().mid(8), QStringLiteral("   Client1  \"Bühne\"   [127.0.0.1]   verbunden"));

    // Closed by the peer: "getrennt", the port stays.
    Listener.Sockets.first()->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return !Peers.IsOpen(1); }));
    EXPECT_EQ(Peers.Peer(1).Status, "getrennt");
    EXPECT_EQ(Peers.Peer(1).Port, Listener.Port());
    EXPECT_TRUE(Peers.Log().first().endsWith("]   getrennt"));
    EXPECT_EQ(CountLines(Peers.Log(), "Fehler"), 0);   // a normal close is no error

    // The button again connects; once more closes.
    Peers.ToggleConnection();
    ASSERT_TRUE(WaitFor([&] { return Peers.IsConnected(1); }));
    Peers.ToggleConnection();
    EXPECT_FALSE(Peers.IsOpen(1));
    EXPECT_EQ(Peers.Peer(1).Status, "getrennt");
}

TEST_F(PeersTest, ARefusedConnectionIsAnError)
{
    QString port;
    {
        TListener gone;
        port = gone.Port();
    }
    Peers.SetPeer(2, "Weg", "127.0.0.1", port, "K555");
    Peers.Connect(2);
    ASSERT_TRUE(WaitFor([&] { return Peers.Peer(2).Status == "Fehler"; }));
    EXPECT_FALSE(Peers.IsOpen(2));
    // The socket's error code, its text in brackets.
    EXPECT_TRUE(Peers.Log().first().endsWith(
        QStringLiteral("]   Fehler: %1 (Connection refused)").arg(int(QAbstractSocket::ConnectionRefusedError))))
        << Peers.Log().first().toStdString();
}

TEST_F(PeersTest, BadPortsAndMissingHostsConnectNothing)
{
    Peers.SetPeer(2, "A", "127.0.0.1", "abc", "");
    Peers.SetPeer(3, "B", "127.0.0.1", "70000", "");
    Peers.SetPeer(4, "C", "  ", "22455", "");
    Peers.SetPeer(5, "D", "127.0.0.1", "", "");
    for (int row = 2; row <= 5; ++row) {
        Peers.Connect(row);
        EXPECT_FALSE(Peers.IsOpen(row)) << row;
    }
    const QStringList log = TErrorLog::Instance().Lines();
    EXPECT_EQ(CountLines(log, "'abc' ist kein gültiger Integerwert"), 1);
    EXPECT_EQ(CountLines(log, "'70000' ist kein gültiger Port"), 1);
    EXPECT_EQ(log.size(), 2);
    // Nothing selected is nothing done.
    TPeerList fresh;
    fresh.ToggleConnection();
    EXPECT_EQ(fresh.Selected(), 0);
}

TEST_F(PeersTest, SendToPeerSendsTheTokensAfterTheNumberJoined)
{
    // Closed: nothing sent, nothing logged.
    Peers.SendToPeer({"V1", "K555", "K1", "P255"});
    EXPECT_EQ(Sent(), 0);

    ASSERT_TRUE(Connect(Peers, 1));
    Peers.SendToPeer({"V0", "K555K1P1"});
    Peers.SendToPeer({"V13", "K555K1P1"});
    Peers.SendToPeer({"V", "K555K1P1"});
    EXPECT_EQ(Sent(), 0);
    Peers.SendToPeer({"V1", "K555", "S\"Akt I – Bühne\""});
    EXPECT_EQ(Sent(), 1);
    EXPECT_TRUE(Peers.Log().first().endsWith(QStringLiteral("]   gesendet: K555S\"Akt I – Bühne\"")));
    // Western text goes out as Windows-1252 bytes, the en dash included.
    const QByteArray expected = "K555S\"Akt I \x96 B\xFChne\"";
    ASSERT_TRUE(WaitFor([&] { return Listener.All().size() >= expected.size(); }));
    EXPECT_EQ(Listener.All(), expected);
}

TEST_F(PeersTest, MessagesAreWrittenOneByOneInOrder)
{
    ASSERT_TRUE(Connect(Peers, 1));
    Peers.SendToPeer({"V1", "K555M5D"});
    Peers.SendToPeer({"V1", "K555M5U"});
    Peers.SendToPeer({"V1", "K555T0E1"});
    // The first is on its way; the others wait their turn instead of joining it.
    EXPECT_EQ(Peers.PendingMessages(1), 2);
    ASSERT_TRUE(WaitFor([&] { return Listener.All().size() >= 21; }));
    EXPECT_EQ(Listener.All(), "K555M5DK555M5UK555T0E1");
    EXPECT_EQ(Peers.PendingMessages(1), 0);
}

TEST_F(PeersTest, AMessageBeyondTheQueueIsLoggedAsDroppedNotAsSent)
{
    ASSERT_TRUE(Connect(Peers, 1));
    // Counted as they come: the log keeps fewer lines than are written here.
    int sent = 0;
    QObject::connect(&Peers, &TPeerList::logAdded, [&sent](const QString& line) { sent += line.contains(" gesendet: "); });
    // One goes out at once, the queue takes its limit, the next is dropped.
    const int accepted = 1 + TPeerList::MaxPendingMessages;
    for (int i = 0; i <= accepted; ++i)
        Peers.SendToPeer({"V1", "K555M" + QString::number(i) + "D"});
    EXPECT_EQ(Peers.PendingMessages(1), TPeerList::MaxPendingMessages);
    EXPECT_EQ(sent, accepted);
    const QString dropped = "K555M" + QString::number(accepted) + "D";
    EXPECT_TRUE(Peers.Log().first().endsWith("]   verworfen (zu viele wartende Nachrichten): " + dropped))
        << Peers.Log().first().toStdString();
    EXPECT_EQ(CountLines(Peers.Log(), "gesendet: " + dropped), 0);
    Peers.Disconnect(1);
}

namespace {

// Peer 2 of peers, connected to a silent peer that has taken the connection.
bool ConnectSilent(TPeerList& peers, TSilentPeer& peer)
{
    if (peer.Port == 0)
        return false;
    peers.SetPeer(2, "Stumm", "127.0.0.1", QString::number(peer.Port), "K555");
    return Connect(peers, 2) && peer.Accept(10000);
}

} // namespace

TEST_F(PeersTest, APeerThatNeverReadsCannotGrowTheUnsentBytes)
{
    TSilentPeer peer;
    ASSERT_TRUE(ConnectSilent(Peers, peer));

    // Counted as they come: the log keeps fewer lines than may be written.
    int sent = 0, dropped = 0;
    QObject::connect(&Peers, &TPeerList::logAdded, [&](const QString& line) {
        sent += line.contains("]   gesendet: K555");
        dropped += line.contains("]   verworfen (zu viele ungesendete Bytes): K555");
    });
    // Long V commands, each handed to the socket after its gap, until the
    // system's buffers are full and the socket's own one reaches the bound.
    const QString big(200 * 1024, u'x');
    int calls = 0;
    for (int i = 0; i < 400 && dropped == 0; ++i, ++calls) {
        Peers.SendToPeer({"V2", "K555", big});
        ASSERT_TRUE(WaitFor([&] { return Peers.PendingMessages(2) == 0; }));
        ASSERT_LE(Peers.UnsentBytes(2), TPeerList::MaxUnsentBytes);
    }
    ASSERT_EQ(dropped, 1);
    EXPECT_GT(Peers.UnsentBytes(2) + big.size(), TPeerList::MaxUnsentBytes);
    // Every further event is sent or dropped and logged as what it was; the
    // unsent bytes stay within the bound.
    for (int i = 0; i < 20; ++i, ++calls) {
        Peers.SendToPeer({"V2", "K555", big});
        ASSERT_TRUE(WaitFor([&] { return Peers.PendingMessages(2) == 0; }));
        ASSERT_LE(Peers.UnsentBytes(2), TPeerList::MaxUnsentBytes);
    }
    EXPECT_GE(dropped, 2);
    EXPECT_EQ(sent + dropped, calls);
    const int before = sent;

    // Once the peer reads again, events go out again.
    ASSERT_TRUE(WaitFor([&] { return peer.Drain() >= 0 && Peers.UnsentBytes(2) == 0; }, 20000));
    Peers.SendToPeer({"V2", "K555M1D"});
    EXPECT_EQ(sent, before + 1);

    // Messages waiting for their turn count as well: a burst beyond the bound
    // is dropped at once, before any of it reaches the socket.
    const int droppedBefore = dropped;
    for (int i = 0; i < 8; ++i) {
        Peers.SendToPeer({"V2", "K555", big});
        ASSERT_LE(Peers.UnsentBytes(2), TPeerList::MaxUnsentBytes);
    }
    EXPECT_GE(dropped, droppedBefore + 2);
    Peers.Disconnect(2);
    EXPECT_EQ(Peers.UnsentBytes(2), 0);
}

// A flood of long messages to a peer that never reads: the log keeps its
// newest lines, each with the text shortened, whether sent or dropped.
TEST_F(PeersTest, TheLogShortensLongMessagesAndKeepsItsNewestLines)
{
    TSilentPeer peer;
    ASSERT_TRUE(ConnectSilent(Peers, peer));

    const QString big = "K555K1P" + QString(50000 - 7, u'7');
    for (int i = 0; i < TProtocolLog::MaxLines + 50; ++i)
        Peers.SendToPeer({"V2", big});
    Peers.SendToPeer({"V2", "K555M1D"});
    const QStringList& log = Peers.Log();
    ASSERT_EQ(log.size(), TProtocolLog::MaxLines);
    EXPECT_TRUE(log.first().endsWith("]   gesendet: K555M1D")) << log.first().toStdString();
    const QString shortened = big.left(TProtocolLog::MaxTextChars) + " ... (50000 Bytes)";
    for (const QString& line : log.mid(1)) {
        ASSERT_TRUE(line.endsWith(shortened)) << line.left(120).toStdString();
        ASSERT_LT(line.size(), 100 + shortened.size());
    }
    EXPECT_GT(CountLines(log, "]   verworfen (zu viele ungesendete Bytes): K555K1P7777"), 0);
    Peers.Disconnect(2);
}

TEST(PeersShow, SavedRowsAndLoadedRows)
{
    TPeerList peers;
    peers.SetPeer(1, "Nur Name", "", "", "");
    peers.SetPeer(2, "", "", "22455", "K719");       // neither name nor address
    peers.SetPeer(12, " ", "10.0.0.2", "22455", "K719");
    QStringList lines;
    peers.SavePeers(lines);
    EXPECT_EQ(lines, QStringList({"VR_Name_1=Nur Name", "VR_IP_1=", "VR_Port_1=", "VR_Koppel_1=", "VR_Name_12= ",
                                  "VR_IP_12=10.0.0.2", "VR_Port_12=22455", "VR_Koppel_12=K719"}));

    // Loading replaces every row and always announces row 1, also when it was selected.
    peers.SelectPeer(1);
    QSignalSpy selected(&peers, &TPeerList::selectionChanged);
    TStringIniFile ini;
    ini.SetText("[Interface]\nvr_name_3=Licht\nVR_IP_3=pult.local\nVR_Port_3=22455\nVR_Koppel_3=K1\n");
    peers.LoadPeers(ini);
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(peers.Selected(), 1);
    EXPECT_EQ(peers.Peer(1).Name, "");
    EXPECT_EQ(peers.Peer(12).IP, "");
    EXPECT_EQ(peers.Peer(3).Name, "Licht");
    EXPECT_EQ(peers.Peer(3).IP, "pult.local");
    EXPECT_EQ(peers.Peer(3).Key, "K1");

    EXPECT_TRUE(TPeerList::IsPeerKey("VR_Koppel_12"));
    EXPECT_TRUE(TPeerList::IsPeerKey("vr_ip_1"));
    EXPECT_FALSE(TPeerList::IsPeerKey("VR_IP_13"));
    EXPECT_FALSE(TPeerList::IsPeerKey("VR_IP_01"));
    EXPECT_FALSE(TPeerList::IsPeerKey("BI1"));
}

// ---- the interface module ----

TEST(InterfaceModule, ShowSectionHasTheInputBoxScriptsBeforeThePeersAndMidiAfter)
{
    TModuleInterface module;
    TStringIniFile ini;
    ini.SetText("[Interface]\nVR_Name_2=Zwei\nBI0=K1P255\nVR_IP_2=10.0.0.2\nBI1=\nVR_Port_2=22455\nVR_Koppel_2=K719\n"
                "[MIDI]\nCount=1\nPara_1=6569104\nSzene_1=3\n");
    module.LoadIni(ini);
    module.Peers().SetPeer(5, "Fünf", "10.0.0.5", "1", "K555");
    QStringList lines;
    module.SaveToStrings(lines);
    const QStringList emptyScripts{"BI2=", "BI3=", "BI4=", "BI5=", "BI6=", "BI7="};
    EXPECT_EQ(lines, QStringList({"", "[Interface]", "BI0=K1P255", "BI1="}) + emptyScripts + QStringList({"VR_Name_2=Zwei", "VR_IP_2=10.0.0.2",
                                  "VR_Port_2=22455", "VR_Koppel_2=K719", QStringLiteral("VR_Name_5=Fünf"),
                                  "VR_IP_5=10.0.0.5", "VR_Port_5=1", "VR_Koppel_5=K555", "", "[MIDI]", "Count=1",
                                  "Para_1=6569104", "Szene_1=3"}));

    // A new show empties the input box's scripts only.
    module.Server().Key = "4711";
    module.NewProject();
    lines.clear();
    module.SaveToStrings(lines);
    EXPECT_EQ(lines, QStringList({"", "[Interface]", "BI0=", "BI1="}) + emptyScripts + QStringList({"VR_Name_2=Zwei", "VR_IP_2=10.0.0.2", "VR_Port_2=22455",
                                  "VR_Koppel_2=K719", QStringLiteral("VR_Name_5=Fünf"), "VR_IP_5=10.0.0.5", "VR_Port_5=1",
                                  "VR_Koppel_5=K555", "", "[MIDI]", "Count=1", "Para_1=6569104", "Szene_1=3"}));
    EXPECT_EQ(module.Server().Key, "4711");

    // A show without the sections empties the peers and the MIDI mappings.
    TStringIniFile empty;
    module.LoadIni(empty);
    lines.clear();
    module.SaveToStrings(lines);
    EXPECT_EQ(lines, QStringList({"", "[Interface]", "BI0=", "BI1="}) + emptyScripts + QStringList({"", "[MIDI]", "Count=0"}));
}

namespace {

// Stands for the macro module: it reports a press or release to the interface
// module unless the command came from a remote computer.
class TForwardingMakro : public TModuleMakro {
public:
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override
    {
        Remote << int(remote);
        if (!remote)
            ModuleInterface->ForwardToCoupledSystems(tokens.join(QString()));
    }
    QList<int> Remote;
};

class ForwardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=0\r\nStartAktiv=1\r\n");
        Engine.Start();
        Peers = &ModuleInterface->Peers();
        Server = &ModuleInterface->Server();
    }
    // Rows 1..3 connected to their own listener; row 2's key is too short.
    void ConnectThree()
    {
        const char* keys[] = {"K555", "K5", "K5555"};
        for (int row = 1; row <= 3; ++row) {
            Peers->SetPeer(row, "P" + QString::number(row), "127.0.0.1", Listeners[row - 1].Port(), keys[row - 1]);
            ASSERT_TRUE(Connect(*Peers, row));
        }
    }
    // Messages handed to row's connection, as its log lines tell.
    int SentTo(int row) const
    {
        int n = 0;
        for (const QString& line : Peers->Log())
            n += line.contains(QStringLiteral("Client%1  ").arg(row)) && line.contains(" gesendet: ") ? 1 : 0;
        return n;
    }

    TEngine Engine;
    TPeerList* Peers = nullptr;
    TRemoteServer* Server = nullptr;
    TListener Listeners[3];
};

} // namespace

TEST_F(ForwardTest, EachCoupledPeerGetsItsOwnKeyAndTheEvent)
{
    ConnectThree();
    Server->FindSchritt = true;
    ModuleInterface->ForwardToCoupledSystems("T0F12");
    ASSERT_TRUE(WaitFor([&] { return Listeners[0].All() == "K555T0F12" && Listeners[2].All() == "K5555T0F12"; }));
    EXPECT_EQ(SentTo(2), 0);
    EXPECT_EQ(Listeners[1].All(), "");
}

TEST_F(ForwardTest, OnlyEventsWhoseCouplingIsCheckedAreSent)
{
    ConnectThree();
    ModuleInterface->ForwardToCoupledSystems("T0F7");
    ModuleInterface->ForwardToCoupledSystems("T0E1");
    ModuleInterface->ForwardToCoupledSystems("M5D");
    ModuleInterface->ForwardToCoupledSystems("M5U");
    EXPECT_EQ(SentTo(1), 0);

    Server->FindSchritt = true;
    Server->Ausfuehren = true;
    Server->Makro = true;
    // Never sent: other letters, too few tokens, nothing at all.
    for (const char* event : {"K1P255", "T0", "M5", "", "T0X1", "M5E", "S1F2"})
        ModuleInterface->ForwardToCoupledSystems(event);
    EXPECT_EQ(SentTo(1), 0);

    ModuleInterface->ForwardToCoupledSystems("m5u");   // any case
    ModuleInterface->ForwardToCoupledSystems("T0E2");
    EXPECT_EQ(SentTo(1), 2);
    ASSERT_TRUE(WaitFor([&] { return Listeners[0].All().size() >= 15; }));
    EXPECT_EQ(Listeners[0].All(), "K555m5uK555T0E2");
}

TEST_F(ForwardTest, EachCouplingOptionAloneSendsOnlyItsOwnEvents)
{
    ConnectThree();
    struct TCase {
        const char* Option;
        bool TRemoteServer::*Flag;
        std::vector<const char*> Sent;
    };
    const TCase cases[] = {
        {"FindSchritt", &TRemoteServer::FindSchritt, {"T0F7"}},
        {"Ausfuehren", &TRemoteServer::Ausfuehren, {"T0E1"}},
        {"Makro", &TRemoteServer::Makro, {"M5D", "M5U"}},
    };
    QByteArray expected;
    for (const TCase& c : cases) {
        Server->FindSchritt = Server->Ausfuehren = Server->Makro = false;
        Server->*c.Flag = true;
        const int before = SentTo(1);
        for (const char* event : {"T0F7", "T0E1", "M5D", "M5U"})
            ModuleInterface->ForwardToCoupledSystems(event);
        EXPECT_EQ(SentTo(1) - before, int(c.Sent.size())) << c.Option;
        for (const char* event : c.Sent)
            expected += QByteArray("K555") + event;
        EXPECT_TRUE(WaitFor([&] { return Listeners[0].All().size() >= expected.size(); })) << c.Option;
        EXPECT_EQ(Listeners[0].All().toStdString(), expected.toStdString()) << c.Option;
    }
}

TEST_F(ForwardTest, VCommandsReachThePeerAndBadNumbersSendNothing)
{
    ConnectThree();
    Engine.Main->ExecuteLines({"V13K555K1P1", "V0K555K1P1", "V2719K1P255", "V1K555K1P255"}, false);
    EXPECT_EQ(SentTo(1), 1);
    EXPECT_EQ(SentTo(2), 0);
    ASSERT_TRUE(WaitFor([&] { return Listeners[0].All() == "K555K1P255"; }));
}

TEST_F(ForwardTest, ARemoteCommandIsNotForwardedBack)
{
    ConnectThree();
    Server->Makro = true;
    TForwardingMakro makro;
    TModuleMakro* original = ModuleMakro;
    ModuleMakro = &makro;

    Engine.Main->ExecuteLines({"M5D"}, false);
    EXPECT_EQ(SentTo(1), 1);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, Server->ListeningPort());
    ASSERT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write("K719M5U");
    ASSERT_TRUE(WaitFor([&] { return makro.Remote.size() == 2; }));
    EXPECT_EQ(makro.Remote, QList<int>({0, 1}));
    EXPECT_EQ(SentTo(1), 1);
    ASSERT_TRUE(WaitFor([&] { return Listeners[0].All() == "K555M5D"; }));
    ModuleMakro = original;
}

TEST_F(ForwardTest, MacroPressesAndReleasesGoToThePeersUnlessTheyCameFromAPeer)
{
    ConnectThree();
    Server->Makro = true;
    ModuleMakro->GetMacro(5)->Lines = {"K1P255", "uK1P0"};
    ModuleMakro->GetMacro(7)->Lines = {"K2P99"};
    ModuleMakro->GetMacro(9)->Lines = {"K3P44"};

    // Press and release in order; a macro without release lines still reports
    // its release; a delayed press and a page button are local too.
    Engine.Main->ExecuteLines({"M5D", "M6E", "M5U", "D0M7D"}, false);
    Engine.Main->ClockTick();
    ModuleMakro->PressMacro(8, false, false);
    const QByteArray expected = "K555M5DK555M6DK555M6UK555M5UK555M7DK555M8U";
    ASSERT_TRUE(WaitFor([&] { return Listeners[0].All().size() >= expected.size(); })) << Listeners[0].All().toStdString();
    EXPECT_EQ(Listeners[0].All(), expected);
    EXPECT_EQ(ModuleLichtpult->GetKanal(2).Pegel, 99);
    EXPECT_EQ(SentTo(1), 6);
    EXPECT_EQ(SentTo(2), 0);

    // A macro pressed from a peer runs and is not sent back; nor is a press with noForward.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, Server->ListeningPort());
    ASSERT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write("K719M9E");
    ASSERT_TRUE(WaitFor([] { return ModuleLichtpult->GetKanal(3).Pegel == 44; }));
    ModuleMakro->PressMacro(5, true, true);
    EXPECT_EQ(SentTo(1), 6);
}
