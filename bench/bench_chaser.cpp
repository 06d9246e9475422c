// The chaser editor with a full chaser of 192 entries by 99 steps, offscreen on the
// whole engine, the grid shown:
// BM_TypeOneCell: one step value typed into a cell in sight, then the repaint it causes.
// BM_TypeCellWithKeys: a digit and Return typed into a cell in sight (editor opened,
// value written back, editor closed).
// BM_StepCountKeystroke: the step count changed by one (a keystroke in the spinner),
// then the repaint; ...AtEnd with the grid scrolled to its last row.
// BM_LoadChaser: the chaser loaded into the grid again (a change of the number).
// BM_RepaintGrid: the grid's visible cells painted whole, for comparison.
// BM_GridToSequence: every step cell written back (a cell selection or Enter).

#include "BenchFormsApp.h"
#include "BenchProgramFolder.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uFrm_Chaser.h"
#include "framework/uMod_Main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

TFrmChaser* Form = nullptr;

QTableView* Grid()
{
    return Form->findChild<QTableView*>(QStringLiteral("sgChaser"));
}

void BM_TypeOneCell(benchmark::State& state)
{
    QAbstractItemModel* model = Grid()->model();
    int v = 0;
    for (auto _ : state) {
        model->setData(model->index(10, 5), QString::number(++v % 256));
        QApplication::processEvents();
    }
}
BENCHMARK(BM_TypeOneCell)->Unit(benchmark::kMicrosecond);

// A value typed into a cell with the keys: the first key opens the cell's
// editor, Return writes the value into the sequence and closes the editor.
void BM_TypeCellWithKeys(benchmark::State& state)
{
    QTableView* grid = Grid();
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(10, 5));
    QApplication::processEvents();
    auto press = [](QWidget* to, int key, const QString& text) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(to, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(to, &up);
        QApplication::processEvents();
    };
    int v = 0;
    for (auto _ : state) {
        const QString digit = QString::number(++v % 10);
        press(grid, Qt::Key_0 + v % 10, digit);
        press(QApplication::focusWidget(), Qt::Key_Return, QStringLiteral("\r"));
    }
    state.counters["value"] = grid->model()->index(10, 5).data().toInt();
}
BENCHMARK(BM_TypeCellWithKeys)->Unit(benchmark::kMicrosecond);

void BM_StepCountKeystroke(benchmark::State& state)
{
    auto* steps = Form->findChild<QSpinBox*>(QStringLiteral("edtSchritte"));
    bool low = false;
    for (auto _ : state) {
        steps->setValue((low = !low) ? 98 : 99);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_StepCountKeystroke)->Unit(benchmark::kMicrosecond);

// The same with the grid scrolled to its end, where the last row comes and goes
// in sight and the view scrolls by a row.
void BM_StepCountKeystrokeAtEnd(benchmark::State& state)
{
    auto* steps = Form->findChild<QSpinBox*>(QStringLiteral("edtSchritte"));
    Grid()->scrollToBottom();
    QApplication::processEvents();
    bool low = false;
    for (auto _ : state) {
        steps->setValue((low = !low) ? 98 : 99);
        QApplication::processEvents();
    }
    Grid()->scrollToTop();
    QApplication::processEvents();
}
BENCHMARK(BM_StepCountKeystrokeAtEnd)->Unit(benchmark::kMicrosecond);

void BM_LoadChaser(benchmark::State& state)
{
    auto* nr = Form->findChild<QSpinBox*>(QStringLiteral("edtChaser"));
    bool other = false;
    for (auto _ : state) {
        nr->setValue((other = !other) ? 2 : 1);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_LoadChaser)->Unit(benchmark::kMillisecond);

void BM_RepaintGrid(benchmark::State& state)
{
    for (auto _ : state)
        Grid()->viewport()->repaint();
}
BENCHMARK(BM_RepaintGrid)->Unit(benchmark::kMicrosecond);

void BM_GridToSequence(benchmark::State& state)
{
    for (auto _ : state)
        Form->Editor().GridToSequence();
}
BENCHMARK(BM_GridToSequence)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    TBenchFormsApp app(argc, argv);
    if (!app.ArgumentsOk())
        return 1;
    TBenchProgramFolder dir;
    auto main = std::make_unique<TModuleMain>();
    for (int nr : {571, 572}) {
        TKanal& k = ModuleLichtpult->GetKanal(nr);
        k.SetEintragZahl(TChaserEditor::ColumnsMax);
        k.SetSchrittZahl(ChaserSchritteMax);
        for (int i = 1; i <= TChaserEditor::ColumnsMax; ++i)
            for (int s = -1; s <= ChaserSchritteMax; ++s)
                k.SetEintrag(i, s, s < 0 ? i : (i * 7 + s) % 256);
    }
    auto form = std::make_unique<TFrmChaser>(*ModuleLichtpult, dir.File(QStringLiteral("ChaserLedVorlagen.ini")));
    Form = form.get();
    Form->resize(1400, 800);
    Form->show();
    Form->PageControl1->setCurrentWidget(Form->tabDefinition);
    Form->findChild<QSpinBox*>(QStringLiteral("edtChaser"))->setValue(1);
    QApplication::processEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    form.reset();
    main.reset();
    return 0;
}
