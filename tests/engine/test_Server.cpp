// The remote command server over real TCP on 127.0.0.1: the access key on the
// raw bytes, one message = one remote command line, the protocol log, clients
// that misbehave, a port that cannot be opened, and the settings.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Makros.h"
#include "devices/uMod_Interface.h"
#include "devices/uServer.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// A client of the server under test.
class TClient {
public:
    explicit TClient(quint16 port)
    {
        FSocket.connectToHost(QHostAddress::LocalHost, port);
        WaitFor([this] { return FSocket.state() == QAbstractSocket::ConnectedState; });
        // Large enough that one write lands at the server whole.
        FSocket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 1 << 20);
    }
    bool Connected() const { return FSocket.state() == QAbstractSocket::ConnectedState; }
    void Write(const QByteArray& bytes)
    {
        FSocket.write(bytes);
        FSocket.flush();
    }
    QTcpSocket& Socket() { return FSocket; }

private:
    QTcpSocket FSocket;
};

// A server on a free port whose executor records each command line.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TErrorLog::Instance().Clear();
        Server.Port = "0";
        Server.SetExecutor([this](QStringList& tokens) { Runs << tokens.join(u'|'); });
        Server.SetAktiv(true);
        ASSERT_TRUE(Server.IsListening());
    }
    int Received() const { return CountLines(Server.Log(), "Command: "); }
    // Sends one message and waits until the server has read it.
    void Send(TClient& client, const QByteArray& bytes)
    {
        const int before = Received();
        client.Write(bytes);
        ASSERT_TRUE(WaitFor([&] { return Received() > before; }));
    }

    TRemoteServer Server;
    QStringList Runs;
};

} // namespace

TEST_F(ServerTest, OnlyMessagesBeginningWithTheExactKeyRun)
{
    TClient client(Server.ListeningPort());
    ASSERT_TRUE(client.Connected());
    Send(client, "K719K1P255");
    Send(client, "k719K2P255");   // the key's letter in lower case
    Send(client, "K71K3P255");    // only the first three characters of the key
    Send(client, "xK719K4P255");
    Send(client, "K719");         // the key alone: nothing left to run
    EXPECT_EQ(Runs, QStringList({"K1|P255", ""}));
    EXPECT_EQ(Server.Log().first().mid(8), "   Client  [127.0.0.1]   Command: K719");
    EXPECT_EQ(CountLines(Server.Log(), "Command: k719K2P255"), 1);
}

TEST(ServerMessage, ALoggedTextIsShortenedBeyondItsLimitWithoutSplittingACharacter)
{
    const int max = TProtocolLog::MaxTextChars;
    const QString clef = QStringLiteral("\U0001D11E");   // two UTF-16 units
    const struct {
        QString Text;
        QString Logged;
    } cases[] = {
        {QString(), QString()},
        {QString(max, u'a'), QString(max, u'a')},
        {QString(max + 1, u'a'), QString(max, u'a') + " ... (99 Bytes)"},
        {QString(max - 1, u'a') + clef, QString(max - 1, u'a') + " ... (99 Bytes)"},
        {QString(max - 2, u'a') + clef + "b", QString(max - 2, u'a') + clef + " ... (99 Bytes)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TProtocolLog::Shortened(c.Text, 99), c.Logged) << c.Text.size();
}

TEST(ServerMessage, AReceivedMessageIsLoggedAndRunWithoutAConnection)
{
    TRemoteServer server;
    QStringList runs;
    server.SetExecutor([&runs](QStringList& tokens) { runs << tokens.join(u'|'); });
    server.ReceiveMessage("10.0.0.7", "");   // nothing read: nothing logged
    EXPECT_TRUE(server.Log().isEmpty());
    server.ReceiveMessage("10.0.0.7", "K719K1P255");
    server.ReceiveMessage("10.0.0.7", "xK719K2P1");
    EXPECT_EQ(runs, QStringList({"K1|P255"}));
    ASSERT_EQ(server.Log().size(), 2);
    EXPECT_EQ(server.Log().last().mid(8), "   Client  [10.0.0.7]   Command: K719K1P255");
    // A long message is shortened in the log only.
    server.ReceiveMessage("10.0.0.7", "K719K3P3" + QByteArray(2000, ' '));
    EXPECT_TRUE(server.Log().first().endsWith(" ... (2008 Bytes)")) << server.Log().first().toStdString();
    EXPECT_EQ(runs.size(), 2);
}

TEST_F(ServerTest, AnEmptyKeyRunsEveryMessage)
{
    Server.Key = "";
    TClient client(Server.ListeningPort());
    Send(client, "K1P255");
    Send(client, "S1");
    EXPECT_EQ(Runs, QStringList({"K1|P255", "S1"}));
}

TEST_F(ServerTest, LinesInsideAMessageRunAsOneCommandLine)
{
    TClient client(Server.ListeningPort());
    Send(client, "K719K1P255\r\nK2P128");
    ASSERT_EQ(Runs.size(), 1);
    EXPECT_EQ(Runs.first(), "K1|P255\r\n|K2|P128");
}

TEST_F(ServerTest, ATrailingLineEndOrBlankIsNotPartOfTheCommand)
{
    // As "echo K719K1P255 | nc" and other line-based tools send it.
    const QByteArray endings[] = {"\n", "\r\n", " \r\n", "\n\n", "\t \n", "  "};
    TClient client(Server.ListeningPort());
    for (const QByteArray& ending : endings)
        Send(client, "K719K1P255" + ending);
    EXPECT_EQ(Runs, QStringList(qsizetype(std::size(endings)), "K1|P255"));
    // The log line shows the message without its line end.
    EXPECT_TRUE(Server.Log().first().endsWith("Command: K719K1P255  "));
    EXPECT_TRUE(Server.Log().at(1).endsWith("Command: K719K1P255\t "));
}

TEST_F(ServerTest, TheKeyIsComparedOnTheReceivedBytes)
{
    // The same key text in another byte encoding does not open the door.
    Server.Key = QStringLiteral("Kä9");
    TClient client(Server.ListeningPort());
    Send(client, "K\xC3\xA4" "9K1P1");   // UTF-8
    Send(client, "K\xE4" "9K2P2");       // the key's own bytes
    EXPECT_EQ(Runs, QStringList({"K2|P2"}));
}

TEST_F(ServerTest, ConnectAndDisconnectAreLoggedWithTheAddress)
{
    {
        TClient client(Server.ListeningPort());
        ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == 1; }));
        EXPECT_EQ(Server.Log().first().mid(8), "   Client connect 127.0.0.1");
    }
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == 0; }));
    EXPECT_EQ(CountLines(Server.Log(), "   Client connect 127.0.0.1"), 2);
    EXPECT_EQ(CountLines(Server.Log(), "Error"), 0);   // a normal close is no error
    // Every line begins with the time.
    for (const QString& line : Server.Log())
        EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d   ").match(line).hasMatch()) << line.toStdString();
}

TEST_F(ServerTest, AMessageSentJustBeforeTheCloseStillRuns)
{
    {
        TClient client(Server.ListeningPort());
        client.Write("K719K7P7");
        client.Socket().disconnectFromHost();
    }
    ASSERT_TRUE(WaitFor([&] { return CountLines(Server.Log(), "Client connect") == 2; }));
    EXPECT_EQ(Runs, QStringList({"K7|P7"}));
    // The message comes before the disconnect in the log (newest first).
    EXPECT_TRUE(Server.Log().at(0).endsWith("Client connect 127.0.0.1"));
    EXPECT_TRUE(Server.Log().at(1).endsWith("Command: K719K7P7"));
}

TEST_F(ServerTest, AnOversizedMessageDropsOnlyItsClient)
{
    TClient big(Server.ListeningPort());
    TClient other(Server.ListeningPort());
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == 2; }));
    big.Write("K719K1P1" + QByteArray(TRemoteServer::MaxMessageBytes + 100, 'x'));
    ASSERT_TRUE(WaitFor([&] { return !big.Connected(); }));
    EXPECT_EQ(CountLines(Server.Log(), "Bytes, Verbindung getrennt"), 1);
    EXPECT_TRUE(Runs.isEmpty());

    Send(other, "K719K2P2");
    EXPECT_EQ(Runs, QStringList({"K2|P2"}));
    EXPECT_TRUE(Server.IsListening());
}

TEST_F(ServerTest, AFloodingClientDoesNotStarveAnother)
{
    TClient flood(Server.ListeningPort());
    TClient quiet(Server.ListeningPort());
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == 2; }));
    // Far more than the log holds, written without pause.
    for (int i = 0; i < 3000; ++i)
        flood.Write("K719K1P1");
    quiet.Write("K719K9P9");
    ASSERT_TRUE(WaitFor([&] { return Runs.contains("K9|P9"); }, 20000));
    ASSERT_TRUE(WaitFor([&] { return flood.Socket().bytesToWrite() == 0 && Server.ClientCount() == 2; }, 20000));
    EXPECT_TRUE(flood.Connected());
}

TEST_F(ServerTest, ClientsBeyondTheCapAreClosedAtOnceAndLogged)
{
    std::vector<std::unique_ptr<TClient>> clients;
    for (int i = 0; i < TRemoteServer::MaxClients; ++i)
        clients.push_back(std::make_unique<TClient>(Server.ListeningPort()));
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == TRemoteServer::MaxClients; }, 20000));

    // Two more: both closed by the server, one error-log entry for both.
    QTcpSocket refused[2];
    for (QTcpSocket& socket : refused)
        socket.connectToHost(QHostAddress::LocalHost, Server.ListeningPort());
    ASSERT_TRUE(WaitFor([&] {
        return refused[0].state() == QAbstractSocket::UnconnectedState &&
               refused[1].state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(Server.ClientCount(), TRemoteServer::MaxClients);
    EXPECT_EQ(CountLines(Server.Log(), "   Client abgewiesen 127.0.0.1: schon 256 Verbindungen"), 2);
    EXPECT_EQ(ErrorLogCount("Server: mehr als 256 Verbindungen"), 1);

    // The ones inside still run commands; when one leaves, a new one gets in.
    Send(*clients.front(), "K719K1P1");
    EXPECT_EQ(Runs, QStringList({"K1|P1"}));
    clients.pop_back();
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == TRemoteServer::MaxClients - 1; }));
    TClient next(Server.ListeningPort());
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == TRemoteServer::MaxClients; }));
    Send(next, "K719K2P2");
    EXPECT_EQ(Runs.last(), "K2|P2");
    EXPECT_TRUE(next.Connected());
}

TEST_F(ServerTest, WithoutFreeDescriptorsAcceptingPausesAndResumes)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 4096);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    // The client is made before the descriptors run out: without a free
    // descriptor a sanitized build cannot even look up the socket's type.
    QTcpSocket client;
    ASSERT_EQ(client.state(), QAbstractSocket::UnconnectedState);
    std::vector<int> fillers;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        fillers.push_back(fd);
    // One descriptor for the client's socket; the network stack completes its
    // connect, but the server has none left to take it.
    ::close(fillers.back());
    fillers.pop_back();
    client.connectToHost(QHostAddress::LocalHost, Server.ListeningPort());
    const bool failed = WaitFor([&] { return CountLines(Server.Log(), "Error accept: ") > 0; });
    const int clientsWhileFull = Server.ClientCount();
    for (int fd : fillers)
        ::close(fd);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

    ASSERT_TRUE(failed);
    EXPECT_EQ(clientsWhileFull, 0);
    EXPECT_EQ(ErrorLogCount("Server: Verbindung kann nicht angenommen werden"), 1);
    // Once descriptors are free again the waiting client is taken and heard.
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == 1; }));
    ASSERT_EQ(client.state(), QAbstractSocket::ConnectedState);
    const int before = Received();
    client.write("K719K3P3");
    ASSERT_TRUE(WaitFor([&] { return Received() > before; }));
    EXPECT_EQ(Runs, QStringList({"K3|P3"}));
}

TEST_F(ServerTest, StoppingClosesTheConnections)
{
    TClient client(Server.ListeningPort());
    ASSERT_TRUE(WaitFor([&] { return Server.ClientCount() == 1; }));
    Server.SetAktiv(false);
    EXPECT_FALSE(Server.IsListening());
    EXPECT_FALSE(Server.Aktiv());
    EXPECT_EQ(CountLines(Server.Log(), "Stop Listening"), 1);
    EXPECT_TRUE(WaitFor([&] { return !client.Connected(); }));
    EXPECT_EQ(Server.ClientCount(), 0);
}

TEST(ServerPort, APortThatCannotBeOpenedIsLoggedAndLeavesTheBoxUnchecked)
{
    TErrorLog::Instance().Clear();
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::AnyIPv4, 0));
    TRemoteServer server;
    int changes = 0;
    QObject::connect(&server, &TRemoteServer::changed, [&] { ++changes; });
    server.Port = QString::number(occupant.serverPort());
    server.SetAktiv(true);
    EXPECT_FALSE(server.Aktiv());
    EXPECT_FALSE(server.IsListening());
    EXPECT_GE(changes, 1);
    EXPECT_TRUE(server.Log().first().contains("Error Port " + server.Port + ": ")) << server.Log().first().toStdString();
    EXPECT_EQ(CountLines(TErrorLog::Instance().Lines(), "kann nicht geöffnet werden"), 1);

    // Another port afterwards works.
    server.Port = "0";
    server.SetAktiv(true);
    EXPECT_TRUE(server.IsListening());
    EXPECT_TRUE(server.Log().first().endsWith("Listening in Port " + QString::number(server.ListeningPort())));
}

TEST(ServerPort, PortTextOutsideTheRangeOrNotANumberGivesTheFallback)
{
    EXPECT_EQ(TRemoteServer::PortFromText("22455"), 22455);
    EXPECT_EQ(TRemoteServer::PortFromText("0"), 0);
    EXPECT_EQ(TRemoteServer::PortFromText("65535"), 65535);
    EXPECT_EQ(TRemoteServer::PortFromText("65536"), 22456);   // would wrap to 0
    EXPECT_EQ(TRemoteServer::PortFromText("87991"), 22456);   // would wrap to 22455
    EXPECT_EQ(TRemoteServer::PortFromText("-1"), 22456);
    EXPECT_EQ(TRemoteServer::PortFromText("K719"), 22456);
    EXPECT_EQ(TRemoteServer::PortFromText(""), 22456);
}

TEST(ServerSettings, LoadStartsListeningOnlyWhenAskedAndSaveWritesAllSixKeys)
{
    TStringIniFile ini;
    TRemoteServer server;
    server.LoadServerSettings(ini);
    EXPECT_EQ(server.Port, "22455");
    EXPECT_EQ(server.Key, "K719");
    EXPECT_FALSE(server.StartAktiv || server.FindSchritt || server.Ausfuehren || server.Makro);
    EXPECT_FALSE(server.IsListening());

    ini.SetText("[Server]\nPort=0\nKey=\nStartAktiv=1\nFindSchritt=1\nAusfuehren=0\nMakro=1\n");
    server.LoadServerSettings(ini);
    EXPECT_TRUE(server.Aktiv());
    EXPECT_TRUE(server.IsListening());
    EXPECT_EQ(server.Key, "");
    EXPECT_TRUE(server.FindSchritt);
    EXPECT_FALSE(server.Ausfuehren);
    EXPECT_TRUE(server.Makro);

    TStringIniFile out;
    server.Port = "4711";
    server.SaveServerSettings(out);
    QStringList lines;
    out.ReadSectionValues("Server", lines);
    EXPECT_EQ(lines, QStringList({"Port=4711", "Key=", "StartAktiv=1", "FindSchritt=1", "Ausfuehren=0", "Makro=1"}));
}

// ---- the whole engine ----

namespace {

class TRemoteFlagMakro : public TModuleMakro {
public:
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override
    {
        Remote << int(remote);
        (void)tokens;
    }
    QList<int> Remote;
};

class EngineServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Dir.Write("PV_TESSEL.ini", "[Server]\r\nPort=0\r\nStartAktiv=1\r\n");
        Engine.Start();
        ASSERT_TRUE(ModuleInterface->Server().IsListening());
    }
    TEngine Engine;
};

} // namespace

TEST_F(EngineServerTest, AKeyedMessageSetsAChannelAsARemoteCommand)
{
    TRemoteFlagMakro spy;
    TModuleMakro* original = ModuleMakro;
    ModuleMakro = &spy;

    TClient client(ModuleInterface->Server().ListeningPort());
    client.Write("K719K1P255");
    EXPECT_TRUE(WaitFor([] { return ModuleLichtpult->GetKanal(1).Pegel == 255; }));
    client.Write("K719M5D");
    EXPECT_TRUE(WaitFor([&] { return !spy.Remote.isEmpty(); }));
    EXPECT_EQ(spy.Remote, QList<int>{1});
    ModuleMakro = original;
}

TEST_F(EngineServerTest, AMessageEndingInALineEndSetsTheChannel)
{
    TClient client(ModuleInterface->Server().ListeningPort());
    client.Write("K719K1P255\n");
    EXPECT_TRUE(WaitFor([] { return ModuleLichtpult->GetKanal(1).Pegel == 255; }));
    client.Write("K719K2P128\r\n");
    EXPECT_TRUE(WaitFor([] { return ModuleLichtpult->GetKanal(2).Pegel == 128; }));
}

TEST_F(EngineServerTest, BinaryGarbageNeitherCrashesNorBlocksTheServer)
{
    QByteArray garbage = "K719";
    QRandomGenerator random(4711);
    for (int i = 0; i < 8192; ++i)
        garbage.append(char(random.bounded(256)));
    garbage[100] = '\0';
    {
        TClient client(ModuleInterface->Server().ListeningPort());
        client.Write(garbage);
        ASSERT_TRUE(WaitFor([] { return CountLines(ModuleInterface->Server().Log(), "Command: ") == 1; }));
    }
    TClient next(ModuleInterface->Server().ListeningPort());
    next.Write("K719K2P100");
    EXPECT_TRUE(WaitFor([] { return ModuleLichtpult->GetKanal(2).Pegel == 100; }));
}

TEST_F(EngineServerTest, SettingsComeBackAfterARestart)
{
    ModuleInterface->Server().Key = "4711";
    ModuleInterface->Server().Makro = true;
    Engine.Stop();
    const QByteArray ini = Engine.Dir.Read("PV_TESSEL.ini");
    EXPECT_TRUE(ini.contains("Key=4711\r\n")) << ini.toStdString();
    Engine.Start();
    EXPECT_EQ(ModuleInterface->Server().Key, "4711");
    EXPECT_TRUE(ModuleInterface->Server().Makro);
    EXPECT_TRUE(ModuleInterface->Server().IsListening());
}
