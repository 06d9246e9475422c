// The patch window offscreen on the whole engine, through its named widgets:
// slots chosen by clicks on the grid, the console channel typed and the quick
// keys, the curve list's keys, the level display, a further window, and a
// curve made in the curve editor.

#include "TestHelpers.h"

#include "console/uFrm_KennEdit.h"
#include "console/uFrm_KennTab.h"
#include "console/uFrm_Patch.h"
#include "console/uKanal.h"
#include "console/uKennlinie.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(FrmPatch, SlotsAreEditedByClickKeysAndCurvesFromTheEditor)
{
    TEngine engine;
    engine.Start();
    TModulePatch& p = *ModulePatch;
    auto host = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(host.get());
    layout->addWidget(new QLabel(QStringLiteral("Status")));
    host->resize(1000, 600);
    CreatePatchWindows(p, host.get());
    TFrmPatch* w = PatchWindow(0);
    ASSERT_NE(w, nullptr);
    host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    auto* pb = host->findChild<QWidget*>("pbPatch");
    auto* edit = host->findChild<QLineEdit*>("edtPultkanal");
    auto* combo = host->findChild<QComboBox*>("cmbKennlinie");
    auto* lblDMX = host->findChild<QLabel*>("lblDMX");
    ASSERT_TRUE(pb && edit && combo && lblDMX);

    // A click on the cell of slot 5 selects it; typing patches it to channel 7.
    QTest::mouseClick(pb, Qt::LeftButton, {}, w->CellOrigin(0, 4) + QPoint(5, 5));
    EXPECT_EQ(lblDMX->text(), "5");
    edit->selectAll();
    QTest::keyClicks(edit, "7x");
    EXPECT_EQ(edit->text(), "7");
    EXPECT_EQ(p.Patches[4].Pultkanal, 7);
    EXPECT_TRUE(p.Modified);
    // n: the next slot gets the next channel, twice.
    QTest::keyClicks(edit, "nn");
    EXPECT_EQ(lblDMX->text(), "7");
    EXPECT_EQ(p.Patches[5].Pultkanal, 8);
    EXPECT_EQ(p.Patches[6].Pultkanal, 9);
    EXPECT_EQ(ModuleLichtpult->GetKanal(9).PatchText, "7, 9");

    // Right of the last column and below the last row nothing is selected.
    const int rowHeight = 5 * w->LineHeight() + 12;
    for (const QPoint& outside : {QPoint(800, 20), QPoint(20, 8 + 7 * rowHeight + 2)}) {
        QTest::mouseClick(pb, Qt::LeftButton, {}, outside);
        EXPECT_EQ(lblDMX->text(), "7");
    }

    // The curve editor: no blank name; a point dragged to the bottom.
    int runs = 0;
    SetDialogRunner<Tfrm_kenn_edit>(QStringLiteral("frm_kenn_edit"), [&runs](Tfrm_kenn_edit& d) {
        ++runs;
        d.edtName->setText(QStringLiteral("  "));
        EXPECT_FALSE(d.btnOk->isEnabled());
        if (runs == 1)
            return int(QDialog::Accepted);   // a blank name is refused even so
        d.edtName->setText(QStringLiteral("Tief"));
        EXPECT_TRUE(d.btnOk->isEnabled());
        QTest::mousePress(d.Image1, Qt::LeftButton, {}, QPoint(127, 128));
        QTest::mouseRelease(d.Image1, Qt::LeftButton, {}, QPoint(127, 255));
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(p.NewCurve(), -1);
    ASSERT_EQ(p.NewCurve(), 1);
    SetDialogRunner(QStringLiteral("frm_kenn_edit"), {});
    EXPECT_EQ(p.GetCurve(1).Name, "Tief");
    EXPECT_EQ(p.GetCurve(1).MapLevel(127), 0);
    ASSERT_EQ(combo->count(), 2);

    // The curve list: g gives the next slot the curve chosen before.
    combo->setCurrentIndex(1);
    EXPECT_EQ(p.Patches[6].Kennlinie, 1);
    QTest::keyClick(combo, Qt::Key_G);
    EXPECT_EQ(lblDMX->text(), "8");
    EXPECT_EQ(p.Patches[7].Kennlinie, 1);

    // Levels of the selected slot follow the ticks.
    ModuleLichtpult->GetKanal(8).SetPegel(255);
    engine.Main->ClockTick();
    EXPECT_EQ(host->findChild<QLabel*>("lblPegelIn")->text(), "255");
    EXPECT_EQ(host->findChild<QLabel*>("lblPegelInProz")->text(), FormatFloat(255 / 2.56, 1) + " %");
    EXPECT_EQ(host->findChild<QLabel*>("lblPegelOut")->text(), QString::number(p.GetCurve(1).MapLevel(255)));

    // A further window floats under its own name.
    EXPECT_EQ(p.NewPatchWindow(), 1);
    TFrmPatch* w1 = PatchWindow(1);
    ASSERT_NE(w1, nullptr);
    EXPECT_EQ(w1->objectName(), "FrmPatch1");
    EXPECT_TRUE(w1->isVisible());
    w1->hide();
    // A curve added while the window was hidden is in its list once it shows.
    auto added = std::make_unique<TKennlinie>();
    added->SetName(QStringLiteral("Spät"));
    p.AddCurve(std::move(added));
    p.ShowPatchWindowClick(101);
    EXPECT_TRUE(w1->isVisible());
    EXPECT_EQ(w1->cmbKennlinie->count(), 3);
    host.reset();
}

// The table dialog's export, imported into a dialog holding another table,
// gives back the same cells and points; the file is the dialog's own format.
TEST(FrmKennTab, ExportThenImportGivesBackTableAndPoints)
{
    TTempProgramDir dir;
    TScriptedPrompts prompts;
    TKennlinienTabelle table = TKennlinie().Tabelle;
    table[0] = 9;
    const TCurveTableText original = CurveTableText(table, {QPoint(0, 9), QPoint(1, 2), QPoint(3, 4), QPoint(5, 6), QPoint(255, 7)});
    Tfrm_kenn_tab source;
    source.Fill(original);
    source.StringGrid1->item(3, 1)->setText(QString());   // an emptied cell travels as empty
    prompts.FileAnswers = {dir.File("tabelle.txt"), dir.File("tabelle.txt")};
    source.Export();
    EXPECT_TRUE(dir.Read("tabelle.txt").startsWith("0=9\r\n1=1\r\n2=\r\n"));

    Tfrm_kenn_tab target;
    target.Fill(CurveTableText(TKennlinie().Tabelle, TKennlinie::DefaultPunkte()));
    target.Import();
    EXPECT_EQ(target.Content().Cells, source.Content().Cells);
    EXPECT_EQ(target.Points, original.Points);
}

} // namespace
