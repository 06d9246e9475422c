// The channel list offscreen on the whole engine, shown at the main window's size:
// BM_TickLevelsChanging: every console channel gets a new level, then a tick and
// the repaint of the list's lines that changed (the list shows 40 and more).
// BM_TickNothingChanging: a tick while no channel changes.
// BM_RepaintList: the whole list painted, for comparison.

#include "BenchFormsApp.h"
#include "BenchProgramFolder.h"
#include "console/uFrm_Kanaele.h"
#include "console/uKanal.h"
#include "console/uKanalListBox.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

TFrmKanaele* Form = nullptr;

void BM_TickLevelsChanging(benchmark::State& state)
{
    int v = 0;
    for (auto _ : state) {
        v = (v + 1) % 256;
        for (int nr = ErsterKonsolenKanal; nr <= LetzterKonsolenKanal; ++nr)
            ModuleLichtpult->GetKanal(nr).SetPegel(v);
        ModuleMain->ClockTick();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_TickLevelsChanging)->Unit(benchmark::kMicrosecond);

void BM_TickNothingChanging(benchmark::State& state)
{
    for (auto _ : state) {
        ModuleMain->ClockTick();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_TickNothingChanging)->Unit(benchmark::kMicrosecond);

void BM_RepaintList(benchmark::State& state)
{
    for (auto _ : state)
        Form->pbKanaele->repaint();
}
BENCHMARK(BM_RepaintList)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    TBenchFormsApp app(argc, argv);
    if (!app.ArgumentsOk())
        return 1;
    TBenchProgramFolder dir;
    auto main = std::make_unique<TModuleMain>();
    auto form = std::make_unique<TFrmKanaele>(*ModuleLichtpult);
    Form = form.get();
    Form->resize(880, 660);
    Form->show();
    QApplication::processEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    form.reset();
    main.reset();
    return 0;
}
