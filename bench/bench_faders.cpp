// Repainting faders offscreen on the whole engine (raster backing store of the
// offscreen platform, so the painting itself is real; only the flush to a screen
// is missing).
// BM_AllOutputsChanged: a window of 200 faders bound to channels 1..200; every
// iteration changes all 200 outputs (as a tick during a crossfade does) and then
// processes the window's pending update request, which paints what changed.
// BM_OneOutputChanged: the same window, one output changed.
// BM_WholeWindowRepaint: the same window and all its faders repainted, for comparison.
// BM_ConsoleWindowTick: a console window of 24 faders and the 200-fader window
// during a crossfade of all channels in playback mode: one engine tick and the
// repaint it causes in both.

#include "BenchFormsApp.h"
#include "BenchProgramFolder.h"
#include "console/uFader.h"
#include "console/uFaderStrip.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "framework/uMod_Main.h"

#include <QApplication>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int FaderTotal = 200;
constexpr int PerRow = 25;

// Counts paint passes of the strips that paint the faders' track bars and level fields.
class TPaintCounter : public QObject {
public:
    long long Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

struct TFaderWall {
    std::unique_ptr<QWidget> Window;
    std::vector<TFader*> Faders;
    TFaderRefresh* Refresh = nullptr;
    QWidget* Strip = nullptr;
    TPaintCounter Paints;
};

TFaderWall* Wall = nullptr;
TFrmLichtpult* Console = nullptr;
int Round = 0;

void BuildWall()
{
    Wall = new TFaderWall;
    Wall->Window = std::make_unique<QWidget>();
    Wall->Window->resize(PerRow * 44 + 4, (FaderTotal / PerRow) * 204 + 4);
    for (int i = 0; i < FaderTotal; ++i) {
        auto* f = new TFader(Wall->Window.get());
        f->move(4 + 44 * (i % PerRow), 4 + 204 * (i / PerRow));
        f->resize(TFader::FaderWidth, 200);
        f->SetKanal(&ModuleLichtpult->GetKanal(i + 1));
        Wall->Faders.push_back(f);
    }
    // One connection for the whole window, as a console window has: a level or
    // output change marks the window, which refreshes its faders once after the
    // tick, or by a posted refresh for a change outside a tick.
    Wall->Refresh = new TFaderRefresh(Wall->Window.get(), Wall->Faders);
    Wall->Strip = Wall->Window->findChild<QWidget*>(QStringLiteral("FaderStrip"), Qt::FindDirectChildrenOnly);
    Wall->Strip->installEventFilter(&Wall->Paints);
    QObject::connect(ModuleLichtpult->Signals(), &TLichtpultSignals::kanalChanged, Wall->Window.get(),
                     [](int nr, int code) {
                         if (code == kcPegel || code == kcOutput)
                             Wall->Refresh->Changed();
                         else if (nr >= 1 && nr <= FaderTotal)
                             Wall->Faders[static_cast<std::size_t>(nr - 1)]->KanalChanged(&ModuleLichtpult->GetKanal(nr), code);
                     });
    QObject::connect(ModuleLichtpult->Signals(), &TLichtpultSignals::tickDone, Wall->Window.get(),
                     [] { Wall->Refresh->Flush(); });
    Wall->Window->show();
    QApplication::processEvents();
}

// Runs the posted refreshes of changes outside a tick, then paints what they
// and the tick marked dirty; and whatever else was posted, as the event loop
// would (events left in the queue make every later look through it slower).
void Paint(QWidget* window)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents();
}

void BM_AllOutputsChanged(benchmark::State& state)
{
    Paint(Wall->Window.get());
    Wall->Paints.Count = 0;
    for (auto _ : state) {
        ++Round;
        for (int nr = 1; nr <= FaderTotal; ++nr)
            ModuleLichtpult->GetKanal(nr).SetOutput((Round * 37 + nr) % 256);
        Paint(Wall->Window.get());
    }
    state.counters["paints"] =
        benchmark::Counter(static_cast<double>(Wall->Paints.Count), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AllOutputsChanged)->Unit(benchmark::kMillisecond);

void BM_OneOutputChanged(benchmark::State& state)
{
    Paint(Wall->Window.get());
    Wall->Paints.Count = 0;
    for (auto _ : state) {
        ++Round;
        ModuleLichtpult->GetKanal(100).SetOutput(Round % 256);
        Paint(Wall->Window.get());
    }
    state.counters["paints"] =
        benchmark::Counter(static_cast<double>(Wall->Paints.Count), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_OneOutputChanged)->Unit(benchmark::kMicrosecond);

void BM_WholeWindowRepaint(benchmark::State& state)
{
    // The faders and the strip above them paint their own background:
    // repainting the window alone would not reach them, so they all ask for
    // their repaint as well.
    Paint(Wall->Window.get());
    Wall->Paints.Count = 0;
    for (auto _ : state) {
        Wall->Window->update();
        for (TFader* f : Wall->Faders)
            f->update();
        Wall->Strip->update();
        Paint(Wall->Window.get());
    }
    state.counters["paints"] =
        benchmark::Counter(static_cast<double>(Wall->Paints.Count), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WholeWindowRepaint)->Unit(benchmark::kMillisecond);

void BM_ConsoleWindowTick(benchmark::State& state)
{
    // Every channel fades between 0 and 255 and back, 50 ticks a fade. A fade is
    // turned round one tick before its end, so no tick lands on a finished fade
    // (which would move nothing): every tick moves every level and output by
    // about 5, also across runs of the benchmark, which continue the fade.
    TLevelArray up{};
    TLevelArray down{};
    up.fill(255);
    constexpr int TickMs = 40;
    const TKanal& first = ModuleLichtpult->GetKanal(1);
    auto tick = [&] {
        if (!IsCrossfadeRunning(ModuleMaster->GetMasterState()) ||
            FadeClock + TickMs - ModuleLichtpult->FadeStart >= ModuleLichtpult->FadeDauer)
            ModuleLichtpult->StartCrossfade(first.Pegel < 128 ? up : down, 20, false);
        FadeClock += TickMs;
        ModuleLichtpult->Tick();
    };
    // From a dark stage: the outputs other benchmarks left behind are all over
    // the place. A fade without duration reaches its targets in one tick.
    ModuleLichtpult->StartCrossfade(down, 0, false);
    FadeClock += TickMs;
    ModuleLichtpult->Tick();
    Paint(Console);
    Paint(Wall->Window.get());
    Wall->Paints.Count = 0;
    for (auto _ : state) {
        const int pegel = first.Pegel;
        const int output = first.Output;
        tick();
        if (first.Pegel == pegel || first.Output == output) {
            state.SkipWithError("a tick moved no level or no output");
            break;
        }
        Paint(Console);
        Paint(Wall->Window.get());
    }
    state.counters["paints"] =
        benchmark::Counter(static_cast<double>(Wall->Paints.Count), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ConsoleWindowTick)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    TBenchFormsApp app(argc, argv);
    if (!app.ArgumentsOk())
        return 1;
    TBenchProgramFolder dir;
    auto main = std::make_unique<TModuleMain>();

    BuildWall();
    CreateLichtpultWindows(*ModuleLichtpult, nullptr);
    ModuleLichtpult->OpenLichtpultWindow();
    Console = LichtpultWindow(1);
    Console->resize(1400, 400);
    QString row;
    for (int nr = 1; nr <= TFrmLichtpult::FaderCount; ++nr)
        row += QStringLiteral("L4K%1").arg(nr);
    ModuleLichtpult->GetLichtpultZeile(0)->SetRowString(row);
    Console->ShowPage(0);
    Console->findChild<QWidget*>(QStringLiteral("FaderStrip"))->installEventFilter(&Wall->Paints);
    // Playback mode: the crossfade moves the outputs.
    ModuleLichtpult->SetAblauf(true);
    QApplication::processEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete Wall;
    main.reset();
    return 0;
}
