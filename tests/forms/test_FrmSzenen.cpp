// The scene page offscreen on the whole engine, through its named widgets:
// versions stored and made current (never deleted); scenes renamed and
// renumbered; fade times typed and used by the next recall; the comparison grid; the
// macro assistant's lines in the macro memo; a show load while a scene is shown.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uFrm_MakroAssiHilfe.h"
#include "cues/uFrm_Szenen.h"
#include "cues/uFrm_VersionenVergleichen.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct TPageFixture {
    TPageFixture()
    {
        engine.Start();
        ModuleSzenen->Clock = [] { return QDateTime(QDate(2026, 12, 9), QTime(20, 0, 0)); };
        for (int i = 0; i < 3; ++i) {
            ModuleLichtpult->GetKanal(1).SetPegel(10 * (i + 1));
            ModuleSzenen->StoreNewScene(false).NAME = QStringLiteral("Szene %1").arg(i + 1);
        }
        page = std::make_unique<TFrmSzenen>(*ModuleSzenen);
        page->resize(900, 600);
        page->show();
    }
    ~TPageFixture() { page.reset(); }
    void Trigger(QMenu* menu, const QString& caption)
    {
        for (QAction* a : menu->actions())
            if (a->text() == caption)
                return a->trigger();
        ADD_FAILURE() << caption.toStdString();
    }
    void Select(QListWidget* list, int row) { list->setCurrentRow(row); }
    QStringList Lines(QListWidget* list) const
    {
        QStringList lines;
        for (int i = 0; i < list->count(); ++i)
            lines << list->item(i)->text();
        return lines;
    }
    TEngine engine;
    TScriptedPrompts prompts;
    std::unique_ptr<TFrmSzenen> page;
};

} // namespace

TEST(FrmSzenen, VersionsAreStoredComparedAndMadeCurrentButNeverDeleted)
{
    TPageFixture f;
    TFrmSzenen& p = *f.page;
    f.Select(p.lbSzenen, 1);
    EXPECT_EQ(p.lblSzenenNummer->text(), "2");
    // Two more versions of scene 2 that differ in channels 1 and 300.
    ModuleLichtpult->GetKanal(1).SetPegel(20);
    ModuleLichtpult->GetKanal(300).SetPegel(77);
    QTest::mouseClick(p.btnNeueVersion, Qt::LeftButton);
    QTest::mouseClick(p.btnNeueVersion, Qt::LeftButton);
    TSzene& scene = ModuleSzenen->GetScene(1);
    ASSERT_EQ(scene.Versionen.size(), 3u);
    EXPECT_EQ(f.Lines(p.lbSzeneVersionen),
              (QStringList{"2026-12-09 20:00:00", "2026-12-09 20:00:01", "2026-12-09 20:00:02 *"}));

    // The grid: one row per version, channel 1 (20/20/20: equal) plain, 300 (0/77/77) bold.
    ModuleLichtpult->GetKanal(1).SetPegel(0);
    int rows = 0;
    struct TCell {
        int row, col;
        QString text;
        bool bold;
    };
    std::vector<TCell> cells;
    QStringList headers;
    SetDialogRunner<TFrmVersionenVergleichen>("FrmVersionenVergleichen", [&](TFrmVersionenVergleichen& d) {
        rows = d.sgKanaele->rowCount();
        // Version r, channel c.
        for (auto [r, c] : {std::pair{1, 1}, {3, 1}, {1, 300}, {2, 300}, {3, 300}, {3, 510}})
            cells.push_back(
                {r, c, d.sgKanaele->item(r - 1, c - 1)->text(), d.sgKanaele->item(r - 1, c - 1)->font().bold()});
        headers << d.sgKanaele->verticalHeaderItem(2)->text() << d.sgKanaele->horizontalHeaderItem(509)->text();
        EXPECT_EQ(d.lblSzene_a->text(), "2 - Szene 2");
        return 0;
    });
    f.Trigger(p.popSzenen, QStringLiteral("&Versionen vergleichen"));
    SetDialogRunner("FrmVersionenVergleichen", {});
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(headers, QStringList({"2026-12-09 20:00:02", "510"}));
    const std::vector<std::tuple<QString, bool>> expected = {{"20", false}, {"20", false}, {"0", true},
                                                             {"77", true},  {"77", true},  {"0", false}};
    ASSERT_EQ(cells.size(), expected.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        EXPECT_EQ(std::tuple(cells[i].text, cells[i].bold), expected[i]) << cells[i].row << "," << cells[i].col;

    // The first version made current and put on the console.
    f.Select(p.lbSzeneVersionen, 0);
    f.Trigger(p.popSzenen, QStringLiteral("gewählte Szene zur &aktuellen Szene machen"));
    EXPECT_EQ(scene.SDAT, "2026-12-09 20:00:00");
    EXPECT_EQ(p.lblSzene_a->text(), "2026-12-09 20:00:00");
    f.Select(p.lbSzeneVersionen, 1);
    f.Trigger(p.popSzenen, QStringLiteral("gewählte Szene auf's &Pult"));
    EXPECT_EQ(ModuleLichtpult->GetKanal(300).Pegel, 77);

    // The page offers no deletion: neither of a version nor of a scene.
    for (const QMenu* menu : p.findChildren<QMenu*>())
        for (const QAction* a : menu->actions())
            EXPECT_FALSE(a->text().contains(QStringLiteral("lösch"), Qt::CaseInsensitive)) << a->text().toStdString();
    EXPECT_NE(p.lbSzenen->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST(FrmSzenen, ScenesAreRenamedAndRenumbered)
{
    TPageFixture f;
    TFrmSzenen& p = *f.page;
    f.Select(p.lbSzenen, 2);
    p.edtSzenenName->setText(QStringLiteral("Finale"));
    EXPECT_EQ(ModuleSzenen->GetScene(2).NAME, "Finale");
    ModuleSzenen->GetScene(0).SNR = 10;
    ModuleSzenen->GetScene(1).SNR = 20;
    QTest::mouseClick(p.btnAdminSzenenNeu, Qt::LeftButton);
    EXPECT_EQ(f.Lines(p.lbSzenen), (QStringList{"1 - Szene 1", "2 - Szene 2", "3 - Finale"}));
    EXPECT_EQ(p.lblSzenenNummer->text(), "3");
}

TEST(FrmSzenen, FadeTimesAreShownTypedAndUsedByTheNextRecall)
{
    TPageFixture f;
    TFrmSzenen& p = *f.page;
    ModuleSzenen->GetScene(0).FAD = 605;
    ModuleSzenen->GetScene(0).FAP = 108599;
    f.Select(p.lbSzenen, 0);
    EXPECT_EQ(std::tuple(p.edtMin->value(), p.edtSec->value(), p.edtZehntel->value(), p.tbZeit->value()),
              std::tuple(1, 0, 5, 0));
    EXPECT_EQ(p.lblFadeTimePrior->text(), "108599 ds");

    // Typed: 2 min, then the track bar to 30 s, then 7 tenths.
    const struct {
        QWidget* w;
        const char* keys;
        int slider;
        int fad;
    } steps[] = {{p.edtMin, "2", -1, 1205}, {p.tbZeit, nullptr, 30, 1505}, {p.edtZehntel, "7", -1, 1507}};
    for (const auto& s : steps) {
        if (s.keys) {
            static_cast<QSpinBox*>(s.w)->selectAll();
            QTest::keyClicks(s.w, QString::fromLatin1(s.keys));
        } else {
            p.tbZeit->setValue(s.slider);
        }
        EXPECT_EQ(ModuleSzenen->GetScene(0).FAD, s.fad);
        EXPECT_EQ(p.lblFadeTime->text(), QStringLiteral("%1 ds").arg(s.fad));
    }
    QTest::mouseClick(p.sbUebertragen, Qt::LeftButton);
    EXPECT_EQ(ModuleSzenen->GetScene(0).FAP, 1507);
    EXPECT_EQ(p.edtSecPrior->value(), 30);

    // The other scenes keep their own times; the recall uses the typed one.
    EXPECT_EQ(ModuleSzenen->GetScene(1).FAD, ModuleSzenen->DefaultFadeVor);
    QTest::mouseClick(p.btnZurSzeneUeberblenden, Qt::LeftButton);
    EXPECT_EQ(ModuleSzenen->AktuelleSzene, 0);
    EXPECT_EQ(ModuleLichtpult->FadeDauer, 150700);
}

TEST(FrmSzenen, AssistantLinesGoToTheMacroAndAShowLoadLeavesNothingToWriteInto)
{
    TPageFixture f;
    TFrmSzenen& p = *f.page;
    TfrmMakroAssiHilfe assi;
    p.AttachMacroAssistant();
    f.Select(p.lbSzenen, 1);
    ModuleLichtpult->GetKanal(1).SetPegel(0);
    ModuleLichtpult->GetKanal(4).SetPegel(90);
    QTest::mouseClick(p.pnlAssiHilfe->findChild<QPushButton*>(QStringLiteral("btnKanalAnfuegen")), Qt::LeftButton);
    const auto lines = TModuleSzenen::CurrentMacroLines(ModuleSzenen->GetScene(1));
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, QStringList{"K4P90"});

    // A new empty macro version, then the first made current again.
    QTest::mouseClick(p.btnNeuesMakroLeer, Qt::LeftButton);
    EXPECT_TRUE(p.memMakro->toPlainText().isEmpty());
    f.Select(p.lbMakroVersionen, 0);
    emit p.lbMakroVersionen->itemClicked(p.lbMakroVersionen->item(0));
    EXPECT_EQ(p.memMakro2->toPlainText(), "K4P90");
    f.Trigger(p.popMakros, QStringLiteral("&gewähltes Makro zum aktuellen Makro machen"));
    EXPECT_EQ(p.memMakro->toPlainText(), "K4P90");
    const QString current = ModuleSzenen->GetScene(1).MDAT;
    f.Select(p.lbMakroVersionen, 0);   // the current line, marked " (*)", chosen again
    f.Trigger(p.popMakros, QStringLiteral("&gewähltes Makro zum aktuellen Makro machen"));
    EXPECT_EQ(ModuleSzenen->GetScene(1).MDAT, current);

    // A show load frees the scenes while scene 2 is shown: the page empties, and
    // typing afterwards writes into nothing.
    TStringIniFile ini;
    ini.WriteString(QStringLiteral("Szenen"), QStringLiteral("Anzahl"), QStringLiteral("0"));
    ModuleSzenen->LoadIni(ini);
    EXPECT_EQ(p.lbSzenen->count(), 0);
    EXPECT_EQ(p.lblSzenenNummer->text(), "-");
    p.edtSzenenName->setText(QStringLiteral("nach dem Laden"));
    p.memMakro->setPlainText(QStringLiteral("K1P1"));
    p.edtMin->setValue(3);
    QTest::mouseClick(p.btnZurSzeneUeberblenden, Qt::LeftButton);
    EXPECT_EQ(ModuleSzenen->SceneCount(), 0);
    EXPECT_TRUE(p.lblFadeTime->text().isEmpty());

    // A scene stored after the load is shown and edited as usual.
    ModuleSzenen->StoreNewScene(false);
    p.edtSzenenName->setText(QStringLiteral("Neu"));
    EXPECT_EQ(ModuleSzenen->GetScene(0).NAME, "Neu");
}
