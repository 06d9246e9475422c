// Remote control through the command server: the cost of one received message
// on its way into the engine, how many commands one client can push through the
// server, and how long a received command takes to reach the DMX frame. The
// engine runs with its 40 ms clock and the real output plug-in, which sends each
// frame as Art-Net to a UDP receiver in this process.

#include "BenchProgramFolder.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "devices/uMod_Interface.h"
#include "devices/uServer.h"
#include "framework/uMod_Main.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUdpSocket>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int ArtDmxHeaderSize = 18;

QUdpSocket* ArtNet = nullptr;
QTcpSocket* Client = nullptr;
QElapsedTimer Clock;
std::int64_t LastFrameNs = 0;   // arrival of the last frame
int LastFrameSlot1 = -1;        // DMX slot 1 in it
std::int64_t ReceivedNs = 0;    // the server logged the last message it read

void Pump(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

int NextLevel(int level)
{
    return level % 255 + 1;   // 1..255, never the level before
}

// Key check, decoding, tokenizing and dispatch of one message, without the network.
void BM_ExecuteRemoteCommand(benchmark::State& state)
{
    TRemoteServer& server = ModuleInterface->Server();
    int level = ModuleLichtpult->GetKanal(1).Pegel;
    for (auto _ : state) {
        level = NextLevel(level);
        server.ExecuteRemoteCommand("K719K1P" + QByteArray::number(level));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExecuteRemoteCommand);

// One client sends a command and sends the next once the engine holds the
// level. Messages sent faster would merge into one line at the server.
void BM_CommandsThroughServer(benchmark::State& state)
{
    TKanal& kanal = ModuleLichtpult->GetKanal(2);
    int level = kanal.Pegel;
    for (auto _ : state) {
        level = NextLevel(level);
        Client->write("K719K2P" + QByteArray::number(level));
        Client->flush();
        Pump([&] { return kanal.Pegel == level; });
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommandsThroughServer)->Iterations(500)->UseRealTime()->Unit(benchmark::kMillisecond);

// From the server reading a command to the Art-Net frame that carries it; the
// counters add the worst case and the time from the client's write. Each
// command is sent at a random point of the 40 ms tick period.
void BM_CommandToFrame(benchmark::State& state)
{
    int level = ModuleLichtpult->GetKanal(1).Pegel;
    QRandomGenerator random(4711);
    double fromWrite = 0;
    double worst = 0;
    for (auto _ : state) {
        const std::int64_t start = Clock.nsecsElapsed() + random.bounded(40) * 1000000;
        Pump([&] { return Clock.nsecsElapsed() >= start; });
        level = NextLevel(level);
        const std::int64_t written = Clock.nsecsElapsed();
        ReceivedNs = 0;
        Client->write("K719K1P" + QByteArray::number(level));
        Client->flush();
        Pump([&] { return ReceivedNs != 0 && LastFrameSlot1 == level && LastFrameNs > ReceivedNs; });
        const double ms = double(LastFrameNs - ReceivedNs) / 1e6;
        state.SetIterationTime(ms / 1e3);
        worst = std::max(worst, ms);
        fromWrite += double(LastFrameNs - written) / 1e6;
    }
    state.counters["max_ms"] = benchmark::Counter(worst);
    state.counters["write_to_frame_ms"] = benchmark::Counter(fromWrite / double(state.iterations()));
}
BENCHMARK(BM_CommandToFrame)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TBenchProgramFolder dir(true);
    {
        QFile ini(dir.File("PV_TESSEL.ini"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Server]\r\nPort=0\r\nKey=K719\r\nStartAktiv=1\r\n");
    }
    Clock.start();

    QUdpSocket artnet;
    artnet.bind(QHostAddress::LocalHost, 0);
    ArtNet = &artnet;
    QObject::connect(&artnet, &QUdpSocket::readyRead, [] {
        while (ArtNet->hasPendingDatagrams()) {
            QByteArray p(int(ArtNet->pendingDatagramSize()), '\0');
            ArtNet->readDatagram(p.data(), p.size());
            if (p.size() == ArtDmxHeaderSize + 512) {
                LastFrameNs = Clock.nsecsElapsed();
                LastFrameSlot1 = quint8(p.at(ArtDmxHeaderSize));
            }
        }
    });
    qputenv("USBIO_DEVICE", "artnet:127.0.0.1:" + QByteArray::number(artnet.localPort()));
    auto* main = new TModuleMain;
    main->StartClock();
    TRemoteServer& server = ModuleInterface->Server();
    std::fprintf(stderr, "Server: port %u\n", unsigned(server.ListeningPort()));
    QObject::connect(&server, &TRemoteServer::logAdded, [](const QString& line) {
        if (line.contains(QStringLiteral("Command: ")))
            ReceivedNs = Clock.nsecsElapsed();
    });

    QTcpSocket client;
    Client = &client;
    client.connectToHost(QHostAddress::LocalHost, server.ListeningPort());
    client.waitForConnected(5000);
    Pump([&] { return server.ClientCount() == 1; });

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    client.abort();
    delete main;
    return 0;
}
