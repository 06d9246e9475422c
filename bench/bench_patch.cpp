// The patch module's share of a 40 ms tick: 512 slots through patch and curve
// into the frame, with and without handing the frame to the real output plug-in,
// which sends it as an Art-Net packet to a local port nobody listens on.

#include "BenchProgramFolder.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "framework/uMod_Main.h"

#include <QCoreApplication>
#include <QFile>
#include <QUdpSocket>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

// Half the slots through a curve, all channels lit.
void PrepareStage()
{
    auto curve = std::make_unique<TKennlinie>();
    for (int i = 0; i < 256; ++i)
        curve->Tabelle[size_t(i)] = std::uint8_t(i * i / 255);
    curve->SetName("Quadrat");
    ModulePatch->AddCurve(std::move(curve));
    for (int i = 0; i < DmxSlotCount; i += 2)
        ModulePatch->GetPatch(i).SetKennlinie(1);
    for (int nr = 1; nr <= PatchKanalMax; ++nr)
        ModuleLichtpult->GetKanal(nr).SetOutput(nr % 256);
}

void BM_PatchFrameOnly(benchmark::State& state)
{
    const TSetLevelProc saved = ModulePatch->SetLevelProc;
    ModulePatch->SetLevelProc = nullptr;
    for (auto _ : state) {
        ModulePatch->Tick();
        benchmark::DoNotOptimize(ModulePatch->DmxOutput.data());
    }
    ModulePatch->SetLevelProc = saved;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PatchFrameOnly);

void BM_PatchTickArtNet(benchmark::State& state)
{
    if (!ModulePatch->SetLevelProc) {
        state.SkipWithError("pvm_dmx.so not bound");
        return;
    }
    for (auto _ : state)
        ModulePatch->Tick();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PatchTickArtNet);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TBenchProgramFolder dir(true);

    // A free local port, closed again: the packets go nowhere.
    quint16 port;
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        port = probe.localPort();
    }
    qputenv("USBIO_DEVICE", "artnet:127.0.0.1:" + QByteArray::number(port));
    auto* main = new TModuleMain;
    std::fprintf(stderr, "Plug-in: %s\n", ModulePatch->DmxInitText.toUtf8().constData());
    PrepareStage();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete main;
    return 0;
}
