// Show load and save on the whole engine, headless, through the real show
// container in a temporary program folder. The show is a large one for the
// console module: all 729 channels named, coloured and with an icon, 20 step
// sequences of 16 steps and 24 entries, ten categories and 100 pages of 24 faders.
// BM_SaveShow / BM_OpenShow: SaveProject / OpenProject of that show (every module,
// the file written to a temporary file and renamed, or read and parsed).
// BM_ConsoleSave / BM_ConsoleLoad: the console module's three sections alone,
// without container, file or the other modules.
// BM_ConsoleCopyFullChasers / BM_ConsoleWriteFullChasers: with the 60 chasers
// filled to the table's maximum (192 entries, 99 steps; a section Kanäle of about
// 4.6 MB), what a save takes on the GUI thread (the copy, SaveLater) and what
// the save's thread then does with it (the lines written from the copy). They
// run last: the chasers stay filled.

#include "BenchProgramFolder.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

QString ShowPath;

void PrepareShow()
{
    TModuleLichtpult& lp = *ModuleLichtpult;
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetName(QStringLiteral("Scheinwerfer %1 Bühne links").arg(nr));
        k.SetVF(0x00FF00 + nr);
        k.SetHF(0x0000FF * (nr % 7));
        k.SetIcon(nr % 40);
        k.SetModus(nr % 3);
        k.SetFlash(200 + nr % 56);
        k.SetBlackout(nr % 10);
    }
    for (int nr = 571; nr < 591; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetSchrittZahl(16);
        k.SetEintragZahl(24);
        k.SetTakt(5);
        for (int i = 1; i <= 24; ++i) {
            k.SetEintrag(i, -1, i);
            for (int s = 1; s <= 16; ++s)
                k.SetEintrag(i, s, (i * s * 17) % 256);
        }
    }
    for (int c = 4; c <= 10; ++c)
        lp.Kategorien << QStringLiteral("Kategorie %1").arg(c);
    lp.LichtpultZeilen.clear();
    for (int p = 0; p < 100; ++p) {
        auto page = std::make_unique<TLichtpultZeile>(p);
        page->SetName(QStringLiteral("Seite %1").arg(p));
        page->SetNode(p % 10);
        QString row;
        for (int i = 0; i < 24; ++i)
            row += QStringLiteral("L%1K%2").arg(i % 6 == 0 ? 20 : 4).arg((p * 24 + i) % 510 + 1);
        page->SetRowString(row);
        lp.AddPage(std::move(page));
    }
    lp.SortLichtpultZeilen();
}

void BM_SaveShow(benchmark::State& state)
{
    for (auto _ : state) {
        if (!SaveProject(ShowPath)) {
            state.SkipWithError("SaveProject failed");
            return;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(ShowPath).size());
}
BENCHMARK(BM_SaveShow)->Unit(benchmark::kMillisecond);

void BM_OpenShow(benchmark::State& state)
{
    SaveProject(ShowPath);
    for (auto _ : state) {
        if (!OpenProject(ShowPath)) {
            state.SkipWithError("OpenProject failed");
            return;
        }
    }
    if (ModuleLichtpult->PageCount() != 100 || ModuleLichtpult->GetKanal(729).Name.isEmpty())
        state.SkipWithError("show not read back");
}
BENCHMARK(BM_OpenShow)->Unit(benchmark::kMillisecond);

void BM_ConsoleSave(benchmark::State& state)
{
    BenchModuleSave(state, *ModuleLichtpult);
}
BENCHMARK(BM_ConsoleSave)->Unit(benchmark::kMillisecond);

void BM_ConsoleLoad(benchmark::State& state)
{
    BenchModuleLoad(state, *ModuleLichtpult);
}
BENCHMARK(BM_ConsoleLoad)->Unit(benchmark::kMillisecond);

void FillChasers()
{
    for (int nr = ErsterSequenzKanal; nr <= LetzterSequenzKanal; ++nr) {
        TKanal& k = ModuleLichtpult->GetKanal(nr);
        k.SetSchrittZahl(KanalSpalteMax);
        k.SetEintragZahl(KanalEintragMax);
        for (int i = 1; i <= KanalEintragMax; ++i)
            for (int j = KanalSpalteMin; j <= KanalSpalteMax; ++j)
                k.SetEintrag(i, j, (i * j * 17 + nr) % 256);
    }
}

void BM_ConsoleCopyFullChasers(benchmark::State& state)
{
    FillChasers();
    for (auto _ : state)
        benchmark::DoNotOptimize(ModuleLichtpult->SaveLater());
}
BENCHMARK(BM_ConsoleCopyFullChasers)->Unit(benchmark::kMillisecond);

void BM_ConsoleWriteFullChasers(benchmark::State& state)
{
    FillChasers();
    const auto later = ModuleLichtpult->SaveLater();
    for (auto _ : state) {
        QStringList lines;
        later(lines);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_ConsoleWriteFullChasers)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TBenchProgramFolder dir;
    ShowPath = dir.File(QStringLiteral("Gross.pvs"));
    auto main = std::make_unique<TModuleMain>();
    PrepareShow();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    main.reset();
    return 0;
}
