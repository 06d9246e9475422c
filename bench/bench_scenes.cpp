// The scene store on the whole engine, headless, in a temporary program folder.
// The show: 999 scenes of 10 level versions and 2 macro versions each, and all 60
// group scenes with 3 versions each. Every version lights channels 1..200 with
// levels that change from channel to channel (long literal groups in the level
// text) and leaves the rest dark.
// BM_SaveShowScenes / BM_OpenShowScenes: SaveProject / OpenProject of that show.
// BM_ScenesSave / BM_ScenesLoad: the two sections alone, without container or file.
// BM_RecallStart: RecallScene up to the start of the crossfade (levels, lanes of all
// 729 channels, state change with the scene's macro lines, log entry).

#include "BenchProgramFolder.h"
#include "BenchSceneShow.h"
#include "console/uMod_Master.h"
#include "cues/uMod_Szenen.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace bench_show;

QString ShowPath;

void BM_SaveShowScenes(benchmark::State& state)
{
    for (auto _ : state) {
        if (!SaveProject(ShowPath)) {
            state.SkipWithError("SaveProject failed");
            return;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(ShowPath).size());
}
BENCHMARK(BM_SaveShowScenes)->Unit(benchmark::kMillisecond);

void BM_OpenShowScenes(benchmark::State& state)
{
    SaveProject(ShowPath);
    for (auto _ : state) {
        if (!OpenProject(ShowPath)) {
            state.SkipWithError("OpenProject failed");
            return;
        }
    }
    if (!ShowIsComplete())
        state.SkipWithError("show not read back");
}
BENCHMARK(BM_OpenShowScenes)->Unit(benchmark::kMillisecond);

void BM_ScenesSave(benchmark::State& state)
{
    BenchModuleSave(state, *ModuleSzenen);
}
BENCHMARK(BM_ScenesSave)->Unit(benchmark::kMillisecond);

void BM_ScenesLoad(benchmark::State& state)
{
    BenchModuleLoad(state, *ModuleSzenen);
    if (!ShowIsComplete())
        state.SkipWithError("show not read back");
}
BENCHMARK(BM_ScenesLoad)->Unit(benchmark::kMillisecond);

void BM_RecallStart(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state) {
        ModuleSzenen->RecallScene(i, false, false);
        i = (i + 1) % SceneCount;
        if (ModuleSzenen->Protokoll.size() > 10000)
            ModuleSzenen->Protokoll.clear();   // the log of a long evening, not of millions of recalls
    }
}
BENCHMARK(BM_RecallStart)->Unit(benchmark::kMicrosecond);

}   // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TBenchProgramFolder dir;
    ShowPath = dir.File(QStringLiteral("Szenen.pvs"));
    auto main = std::make_unique<TModuleMain>();
    PrepareShow();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    main.reset();
    return 0;
}
