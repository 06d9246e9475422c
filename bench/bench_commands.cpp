// Command lines through tokenizer and dispatcher, and the cost of one tick of an
// idle engine (no fade, no groups, no sequences, nothing queued).

#include "BenchProgramFolder.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

const QStringList Lines = {
    "K1P255",
    "K12P255S0",
    "W16K2%50",
    "; Kommentar",
    "K3L128F200B0",
    "N0K1B9P60Z100",
    "R0G255",
    "A1F\"Musik/Ouvertüre.wav\"",
};

void BM_TokenizeOnly(benchmark::State& state)
{
    QStringList tokens;
    for (auto _ : state) {
        for (const QString& line : Lines) {
            TokenizeCommand(line + 'E', tokens);
            benchmark::DoNotOptimize(tokens.size());
        }
    }
    state.SetItemsProcessed(state.iterations() * Lines.size());
}
BENCHMARK(BM_TokenizeOnly);

void BM_ExecuteLines(benchmark::State& state)
{
    for (auto _ : state)
        ModuleMain->ExecuteLines(Lines, false);
    state.SetItemsProcessed(state.iterations() * Lines.size());
}
BENCHMARK(BM_ExecuteLines);

void BM_IdleTick(benchmark::State& state)
{
    for (auto _ : state)
        ModuleMain->ClockTick();
}
BENCHMARK(BM_IdleTick);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TBenchProgramFolder dir;
    auto* main = new TModuleMain;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete main;
    return 0;
}
