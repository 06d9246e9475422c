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
#include "core/uMod_Main.h"
#include "core/uMod_Master.h"
#include "core/uProject.h"
#include "core/uStringIniFile.h"
#include "cues/uMod_Szenen.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int SceneCount = 999;
constexpr int VersionsPerScene = 10;
constexpr int VersionsPerGroup = 3;
constexpr int LitChannels = 200;

QString ShowPath;

void FillLevels(TLevelArray& levels, int seed)
{
    for (int nr = 1; nr <= LitChannels; ++nr)
        levels[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>((seed * 31 + nr * 7) % 256);
}

QString Stamp(int n)
{
    return StampText(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(n));
}

void PrepareShow()
{
    TModuleSzenen& s = *ModuleSzenen;
    int stamp = 0;
    for (int i = 0; i < SceneCount; ++i) {
        auto scene = std::make_unique<TSzene>(i, Stamp(stamp++));
        scene->SNR = i + 1;
        scene->NAME = QStringLiteral("Szene %1 – Bühne hell").arg(i + 1);
        scene->FAD = 30;
        scene->FAP = 20;
        FillLevels(scene->Versionen.front().Levels, i);
        for (int k = 1; k < VersionsPerScene; ++k) {
            TSzeneVersion& v = scene->Versionen.emplace_back();
            v.Name = Stamp(stamp++);
            FillLevels(v.Levels, i + k);
        }
        scene->SDAT = scene->Versionen.back().Name;
        *scene->MakroVersionen.front().Lines = QStringList{"K600P255", "W5 M3"};
        TMakroVersion& m = scene->MakroVersionen.emplace_back();
        m.Name = Stamp(stamp++);
        *m.Lines = QStringList{"K600P0", "W5M4", "C1T\"Licht; an\""};
        scene->MDAT = m.Name;
        s.Szenen.push_back(std::move(scene));
    }
    for (int g = 0; g < GroupCount; ++g) {
        TGroupSzene& group = s.GetGroupScene(g);
        for (int k = 0; k < VersionsPerGroup; ++k) {
            TSzeneVersion& v = group.Versionen.emplace_back();
            v.Name = Stamp(stamp++);
            FillLevels(v.Levels, g * 5 + k);
        }
        s.SelectVersion(g, group.Versionen.back().Name);
    }
}

bool ShowIsComplete()
{
    return ModuleSzenen->SceneCount() == SceneCount &&
           ModuleSzenen->GetScene(SceneCount - 1).Versionen.size() == std::size_t(VersionsPerScene) &&
           ModuleSzenen->GetGroupScene(GroupCount - 1).Versionen.size() == std::size_t(VersionsPerGroup);
}

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
