// The lighting engine's 40 ms tick (TModuleLichtpult::Tick) on the whole engine,
// headless. BM_TickWorstCase loads everything a tick can have to do at once:
// - all 729 channels with levels, in every mode (HTP, LTP, Direkt, Blinken, Flackern);
// - a crossfade running over all channels (510 console channels to new levels),
//   which sweeps from start to end every 250 ticks, so outputs change every tick;
// - all 60 group faders up, each group scene holding every channel;
// - all 60 step-sequence channels running with 16 steps of 0.2 s, every entry aimed
//   at a console channel: 64 entries each in fade mode 3 (crossfading steps), and
//   the table's maximum of 192 entries each in fade modes 3 and 0.
// BM_TickIdle is the same engine after "Neu": nothing lit, nothing running.

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "cues/uMod_Szenen.h"
#include "framework/uMod_Main.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<TModuleMain> StartEngine(QTemporaryDir& dir)
{
    qputenv("PV_PROGRAM_DIR", dir.path().toUtf8());
    return std::make_unique<TModuleMain>();
}

void LoadWorstCase(int entries, int fadeModus)
{
    TModuleLichtpult& lp = *ModuleLichtpult;

    // Every channel lit; one console channel in eight is not HTP.
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetPegel(40 + nr % 200);
        if (nr <= 510) {
            switch (nr % 8) {
            case 1: k.SetModus(kmLTP); break;
            case 2: k.SetModus(kmDirekt); break;
            case 3: k.SetModus(kmBlinken); k.SetBlinkPeriod(7); k.SetBlinkPhase(nr * 37 % 360); break;
            case 4: k.SetModus(kmFlackern); k.SetBlinkPeriod(3); break;
            default: break;
            }
        }
    }

    // Full group scenes and all group faders up.
    for (int g = 0; g < GroupCount; ++g) {
        TSzeneVersion& v = ModuleSzenen->GetGroupScene(g).Versionen.emplace_back();
        v.Name = QStringLiteral("Gruppe");
        for (int nr = 1; nr <= MaxKanal; ++nr)
            v.Levels[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>((g * 31 + nr * 7) % 256);
        ModuleSzenen->SelectVersion(g, v.Name);
        lp.GetKanal(511 + g).SetPegel(100 + g * 2);
    }

    // 60 chasers of 192 entries and 16 steps, 0.2 s per step, crossfading.
    for (int nr = 571; nr <= 630; ++nr) {
        TKanal& c = lp.GetKanal(nr);
        c.SetPegel(255);
        c.SetTakt(5);
        c.SetSchrittZahl(16);
        c.SetEintragZahl(entries);
        c.SetFadeModus(fadeModus);
        for (int i = 1; i <= entries; ++i) {
            c.SetEintrag(i, -1, 1 + (nr * 13 + i * 7) % 510);
            for (int s = 1; s <= 16; ++s)
                c.SetEintrag(i, s, (i * 17 + s * 29 + nr) % 256);
        }
    }

    // A crossfade to a scene that holds every console channel and a few group faders.
    TLevelArray scene{};
    for (int nr = 1; nr <= 510; ++nr)
        scene[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>(255 - nr % 256);
    for (int g = 0; g < GroupCount; g += 6)
        scene[static_cast<std::size_t>(511 + g)] = 200;
    lp.StartCrossfade(scene, 100, false);   // 10 s
}

void BM_TickWorstCase(benchmark::State& state)
{
    QTemporaryDir dir;
    auto engine = StartEngine(dir);
    LoadWorstCase(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TModuleLichtpult& lp = *ModuleLichtpult;
    // Let the chasers rise and start.
    for (int i = 0; i < 3; ++i) {
        FadeClock += 40;
        ChaseClock += 40;
        lp.Tick();
    }
    const std::int64_t fadeStart = lp.FadeStart;
    std::int64_t tick = 0;
    for (auto _ : state) {
        ++tick;
        FadeClock = fadeStart + (tick % 250) * 40;   // the 10 s fade, again and again
        ChaseClock += 40;
        lp.Tick();
    }
    if (ModuleMaster->GetMasterState() != msStart)
        state.SkipWithError("the crossfade did not run throughout");
    state.SetItemsProcessed(state.iterations());
}
// Arguments: entries per sequence, fade mode. 64 entries is a large real chaser (a
// 64-channel bar); 192 is the table's maximum in every sequence at once.
BENCHMARK(BM_TickWorstCase)
    ->ArgNames({"entries", "fademode"})
    ->Args({64, 3})
    ->Args({KanalEintragMax, 3})
    ->Args({KanalEintragMax, 0})
    ->Unit(benchmark::kMicrosecond);

void BM_TickIdle(benchmark::State& state)
{
    QTemporaryDir dir;
    auto engine = StartEngine(dir);
    TModuleLichtpult& lp = *ModuleLichtpult;
    for (auto _ : state) {
        FadeClock += 40;
        ChaseClock += 40;
        lp.Tick();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TickIdle)->Unit(benchmark::kMicrosecond);

}   // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
