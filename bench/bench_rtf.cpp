// The script's rich text: reading and writing a 200-page script as RTF (the second
// part of a show file), with a step marker in bold and umlauts on every line.

#include "cues/uRtf.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

// 200 pages of 40 lines in the Windows control's dialect.
QByteArray Script()
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                     "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    for (int i = 0; i < 200 * 40; ++i)
        rtf += "Auftritt der Gr\\'fc\\'dfen \\cf1\\b {{" + QByteArray::number(i + 1) +
               "}}\\cf0\\b0  und Text bis zum Ende der Zeile im Skript.\\par\r\n";
    return rtf + "}\r\n";
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

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
