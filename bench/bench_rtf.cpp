// The script's rich text: reading and writing a 200-page script as RTF (the second
// part of a show file), with a step marker in bold and umlauts on every line.
// BM_LoadScript / BM_SaveScript: the reader into a new document, the writer.
// BM_SnapshotScript: what a save of a changed script costs the GUI thread (the
//   snapshot); BM_EncodeSnapshot: what the save's thread then does with it.
// BM_LoadIntoShownEditor: the reader into the document of an editor on screen, as
//   the script page loaded a show before; BM_ShowPreparedScript: what a show's
//   open leaves to the GUI thread now: the script page takes the document the
//   reading thread built (the swap, the old document's deletion, the first paint).

#include "BenchFormsApp.h"
#include "BenchScript.h"
#include "cues/uFrm_Text.h"
#include "cues/uRtf.h"

#include <QApplication>
#include <QTextDocument>
#include <QTextEdit>
#include <benchmark/benchmark.h>

namespace {

// 200 pages of 40 lines in the Windows control's dialect.
QByteArray Script()
{
    return bench_script::ScriptRtf(200 * 40);
}

void BM_LoadScript(benchmark::State& state)
{
    const QByteArray rtf = Script();
    for (auto _ : state) {
        QTextDocument doc;
        LoadRichText(doc, rtf);
        benchmark::DoNotOptimize(doc.blockCount());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_LoadScript)->Unit(benchmark::kMillisecond);

void BM_SaveScript(benchmark::State& state)
{
    QTextDocument doc;
    LoadRichText(doc, Script());
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveRichText(doc));
}
BENCHMARK(BM_SaveScript)->Unit(benchmark::kMillisecond);

void BM_SnapshotScript(benchmark::State& state)
{
    QTextDocument doc;
    LoadRichText(doc, Script());
    for (auto _ : state)
        benchmark::DoNotOptimize(TakeRtfSnapshot(doc));
}
BENCHMARK(BM_SnapshotScript)->Unit(benchmark::kMillisecond);

void BM_EncodeSnapshot(benchmark::State& state)
{
    QTextDocument doc;
    LoadRichText(doc, Script());
    const auto snapshot = TakeRtfSnapshot(doc);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeRtf(*snapshot));
}
BENCHMARK(BM_EncodeSnapshot)->Unit(benchmark::kMillisecond);

void BM_LoadIntoShownEditor(benchmark::State& state)
{
    const QByteArray rtf = Script();
    QTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    QApplication::processEvents();
    for (auto _ : state) {
        LoadRichText(*edit.document(), rtf);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_LoadIntoShownEditor)->Unit(benchmark::kMillisecond);

void BM_ShowPreparedScript(benchmark::State& state)
{
    const QByteArray rtf = Script();
    TfrmText page;
    page.resize(1000, 700);
    page.show();
    QApplication::processEvents();
    const TTextPreparer prepare = page.TextPreparer();
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<TPreparedText> prepared = prepare(rtf);
        state.ResumeTiming();
        page.LoadText(rtf, std::move(prepared));
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ShowPreparedScript)->Unit(benchmark::kMillisecond);

}   // namespace

int main(int argc, char** argv)
{
    TBenchFormsApp app(argc, argv);
    if (!app.ArgumentsOk())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
