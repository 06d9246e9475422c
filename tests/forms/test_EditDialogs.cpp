// The page editor and the icon dialog offscreen, driven through their named
// widgets by a runner that stands in for the modal loop, on the whole engine.

#include "TestHelpers.h"

#include "console/uFrm_EditLichtpultseite.h"
#include "console/uFrm_EditSymbol.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

using TPageRun = std::function<void(TFrmEditLichtpultseite&)>;
using TSymbolRun = std::function<void(TFrm_EditSymbol&)>;

class EditDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Icon 0 fully set, icon 1 rows alternately set and clear, icon 2 clear.
        Engine.Dir.Write(QStringLiteral("Data/icons.ini"),
                         "[Icons]\r\nIconsCount=3\r\nIcon_1=FFFF\r\n"
                         "Icon_2=8F0F8F0F8F0F8F0F8F0F8F0F8F0F8F0F\r\nIcon_3=7F7F\r\n");
        Engine.Start();
        L = ModuleLichtpult;
        ASSERT_TRUE(L);
    }
    void TearDown() override
    {
        SetDialogRunner(QStringLiteral("FrmEditLichtpultseite"), {});
        SetDialogRunner(QStringLiteral("Frm_EditSymbol"), {});
        Engine.Stop();
    }

    // Runs the page dialog: run drives it, then it is closed with OK or abort.
    static bool EditPage(int request, bool ok, const TPageRun& run = {})
    {
        SetDialogRunner<TFrmEditLichtpultseite>(QStringLiteral("FrmEditLichtpultseite"), [&](TFrmEditLichtpultseite& d) {
            if (run)
                run(d);
            QTest::mouseClick(ok ? d.btnOK : d.btnAbbrechen, Qt::LeftButton);
            return d.result();
        });
        return EditLichtpultseite(request);
    }
    static void ShowKategorien(TFrmEditLichtpultseite& d) { d.pcSeiten->setCurrentWidget(d.tsKategorien); }
    static void SetGridName(TFrmEditLichtpultseite& d, int row, const QString& name)
    {
        d.sgKategorien->item(row, 1)->setText(name);
    }

    struct TSymbol {
        bool Ok = false;
        int Icon = -2, Fore = -2, Back = -2;
    };
    // Runs the icon dialog; run drives it and returns without closing it or closes it itself.
    static TSymbol EditIcon(const TSymbolRun& run)
    {
        SetDialogRunner<TFrm_EditSymbol>(QStringLiteral("Frm_EditSymbol"), [&](TFrm_EditSymbol& d) {
            run(d);
            return d.result();
        });
        TSymbol s;
        s.Ok = EditSymbol(s.Icon, s.Fore, s.Back);
        return s;
    }
    static QWidget* Swatch(QGroupBox* box, int row, int column)
    {
        return box->findChild<QWidget*>(QStringLiteral("Farbe_%1_%2").arg(row).arg(column));
    }
    static QColor PreviewPixel(TFrm_EditSymbol& d, int x, int y)
    {
        return d.SpeedButton2->icon().pixmap(16, 16).toImage().pixelColor(x, y);
    }

    TEngine Engine;
    TScriptedPrompts Prompts;
    TModuleLichtpult* L = nullptr;
};

// ---- page editor

TEST_F(EditDialogsTest, DuplicateAddsACopyAndLeavesTheSourceAlone)
{
    TLichtpultZeile* source = L->GetLichtpultZeile(3);
    const QString row = source->GetRowString();
    ASSERT_TRUE(EditPage(TFrmEditLichtpultseite::DuplicateOffset + 3, true, [&](TFrmEditLichtpultseite& d) {
        EXPECT_EQ(d.pcSeiten->currentWidget(), d.tsSeiten);
        EXPECT_EQ(d.edtName->text(), QStringLiteral("Kanäle 37 - 48"));
        EXPECT_EQ(d.edtCommandLine->text(), row);
        d.cmbKategorie->setCurrentIndex(1);
        d.edtName->setText(QStringLiteral("Kopie"));
    }));
    ASSERT_EQ(L->PageCount(), 6);
    EXPECT_EQ(L->GetLichtpultZeile(3), source);
    EXPECT_EQ(source->Name, QStringLiteral("Kanäle 37 - 48"));
    EXPECT_EQ(source->Node, 0);
    const TLichtpultZeile* copy = L->GetLichtpultZeile(5);
    EXPECT_EQ(copy->Name, QStringLiteral("Kopie"));
    EXPECT_EQ(copy->Node, 1);
    EXPECT_EQ(copy->GetRowString(), row);
}

TEST_F(EditDialogsTest, AbortChangesNeitherPageNorCategories)
{
    const QStringList categories = L->Kategorien;
    EXPECT_FALSE(EditPage(0, false, [&](TFrmEditLichtpultseite& d) {
        d.edtName->setText(QStringLiteral("anders"));
        ShowKategorien(d);
        QTest::mouseClick(d.btnNeueKategorie, Qt::LeftButton);
        SetGridName(d, 0, QStringLiteral("umbenannt"));
    }));
    EXPECT_EQ(L->Kategorien, categories);
    EXPECT_EQ(L->PageCount(), 5);
    EXPECT_EQ(L->GetLichtpultZeile(0)->Name, QStringLiteral("Kanäle 1 - 12"));
}

TEST_F(EditDialogsTest, OkTakesTheCategoriesFromTheGridAndEditsThePage)
{
    ASSERT_TRUE(EditPage(1, true, [&](TFrmEditLichtpultseite& d) {
        ShowKategorien(d);
        QTest::mouseClick(d.btnNeueKategorie, Qt::LeftButton);
        EXPECT_EQ(d.sgKategorien->item(3, 0)->text(), QStringLiteral("4"));
        SetGridName(d, 3, QStringLiteral("Bühne"));
        // Back on "Seiten" the new category can be chosen; the grid is read again on OK.
        d.pcSeiten->setCurrentWidget(d.tsSeiten);
        d.cmbKategorie->setCurrentIndex(3);
        d.edtCommandLine->setText(QStringLiteral("L4K100L4K101"));
        ShowKategorien(d);
        SetGridName(d, 0, QStringLiteral("Kanäle"));
    }));
    EXPECT_EQ(L->Kategorien, (QStringList{"Kanäle", "nach Position", "nach Funktion", "Bühne"}));
    // Sorted to the end as the only page of category 3.
    const TLichtpultZeile* page = L->GetLichtpultZeile(4);
    EXPECT_EQ(page->Name, QStringLiteral("Kanäle 13 - 24"));
    EXPECT_EQ(page->Node, 3);
    EXPECT_EQ(page->GetRowString(), QStringLiteral("L4K100L4K101"));
}

TEST_F(EditDialogsTest, AtMostFifteenCategoriesCanBeMade)
{
    EditPage(0, true, [&](TFrmEditLichtpultseite& d) {
        ShowKategorien(d);
        for (int i = 0; i < 12; ++i) {
            EXPECT_TRUE(d.btnNeueKategorie->isEnabled());
            QTest::mouseClick(d.btnNeueKategorie, Qt::LeftButton);
        }
        EXPECT_FALSE(d.btnNeueKategorie->isEnabled());
        d.btnNeueKategorieClick();
    });
    EXPECT_EQ(L->Kategorien.size(), 15);
}

TEST_F(EditDialogsTest, UniversalRow)
{
    EditPage(0, false, [&](TFrmEditLichtpultseite& d) {
        QTest::mouseClick(d.btnZeileAnlegen, Qt::LeftButton);
        EXPECT_EQ(d.edtCommandLine->text(), QStringLiteral("L4K1L4K2L4K3L4K4L4K5L4K6L20K7L4K8L4K9L4K10L4K11L4K12"));

        d.udFaderzahl->setValue(4);
        d.udErsterKanal->setValue(5);
        d.udAbstand->setValue(0);
        d.udAbstandVor->setValue(2);
        d.udAbstandGross->setValue(30);
        d.udAbstandVor2->setValue(4);
        d.udAbstandGross2->setValue(9);
        d.cbGroups->setChecked(true);
        QTest::mouseClick(d.btnZeileAnlegen, Qt::LeftButton);
        EXPECT_EQ(d.edtCommandLine->text(), QStringLiteral("L0G5L30G6L0G7L9G8"));
    });
}

TEST_F(EditDialogsTest, RowFromActiveChannels)
{
    EditPage(0, false, [&](TFrmEditLichtpultseite& d) {
        d.edtCommandLine->setText(QStringLiteral("L4K1"));
        QTest::mouseClick(d.btnAktiveKanaele, Qt::LeftButton);
        EXPECT_EQ(d.edtCommandLine->text(), QString());

        L->GetKanal(9).SetPegel(100);
        L->GetKanal(3).SetBlackout(40);   // level 0 differs from blackout 40
        L->GetKanal(5).SetBlackout(70);
        L->GetKanal(5).SetPegel(70);      // equal: not active
        L->GetKanal(511).SetPegel(255);   // group channels are not console channels
        for (int nr = 100; nr < 130; ++nr)
            L->GetKanal(nr).SetPegel(1);
        QTest::mouseClick(d.btnAktiveKanaele, Qt::LeftButton);
        QString expected = QStringLiteral("L4K3L4K9");
        for (int nr = 100; nr < 122; ++nr)
            expected += QStringLiteral("L4K%1").arg(nr);
        EXPECT_EQ(d.edtCommandLine->text(), expected);
    });
}

TEST_F(EditDialogsTest, ChangeChannelNumbers)
{
    EditPage(0, false, [&](TFrmEditLichtpultseite& d) {
        d.edtCommandLine->setText(QStringLiteral("L4G2L4K10"));
        d.udKanalzahlAendern->setValue(-5);
        QTest::mouseClick(d.btnAendern, Qt::LeftButton);
        EXPECT_EQ(d.edtCommandLine->text(), QStringLiteral("L4G2L4K5"));
        QTest::mouseClick(d.btnAendern, Qt::LeftButton);
        QTest::mouseClick(d.btnAendern, Qt::LeftButton);   // numbers are not limited
        EXPECT_EQ(d.edtCommandLine->text(), QStringLiteral("L4G2L4K-5"));
    });
    EXPECT_EQ(TFrmEditLichtpultseite::ShiftChannelNumbers(QStringLiteral("L4K1L4K2"), 10), QStringLiteral("L4K11L4K12"));
    // Step-sequence entries and bare gaps stay; a malformed number counts as 0.
    EXPECT_EQ(TFrmEditLichtpultseite::ShiftChannelNumbers(QStringLiteral("L4C3L40L4Kx"), 7), QStringLiteral("L4C3L40L4K7"));
}

TEST_F(EditDialogsTest, NewPagesGetTheFirstCategoryAndOddCategoriesStay)
{
    // Without a chosen category a new page would be listed nowhere.
    ASSERT_TRUE(EditPage(-1, true, [&](TFrmEditLichtpultseite& d) {
        EXPECT_EQ(d.cmbKategorie->currentIndex(), 0);
        d.edtName->setText(QStringLiteral("Neu"));
    }));
    ASSERT_EQ(L->PageCount(), 6);
    EXPECT_EQ(L->GetLichtpultZeile(5)->Name, QStringLiteral("Neu"));
    EXPECT_EQ(L->GetLichtpultZeile(5)->Node, 0);

    // A page whose category lies outside the list shows none and keeps it.
    TLichtpultZeile* page = L->GetLichtpultZeile(0);
    page->SetNode(7);
    L->SortLichtpultZeilen();
    ASSERT_TRUE(EditPage(5, true, [&](TFrmEditLichtpultseite& d) {
        EXPECT_EQ(d.cmbKategorie->currentIndex(), -1);
        d.edtName->setText(QStringLiteral("weit weg"));
    }));
    EXPECT_EQ(page->Name, QStringLiteral("weit weg"));
    EXPECT_EQ(page->Node, 7);
}

TEST_F(EditDialogsTest, BlankCategoryNamesKeepTheirName)
{
    ASSERT_TRUE(EditPage(0, true, [&](TFrmEditLichtpultseite& d) {
        ShowKategorien(d);
        QTest::mouseClick(d.btnNeueKategorie, Qt::LeftButton);
        SetGridName(d, 1, QStringLiteral("   "));
        SetGridName(d, 3, QString());
        SetGridName(d, 2, QStringLiteral(" Licht "));
    }));
    EXPECT_EQ(L->Kategorien, (QStringList{"nach Kanal", "nach Position", " Licht ", "neue Seite"}));

    // Saved and read again, no category is dropped.
    QStringList lines;
    L->SaveToStrings(lines);
    TStringIniFile ini;
    ini.SetStrings(lines);
    L->LoadIni(ini);
    EXPECT_EQ(L->Kategorien.size(), 4);
}

TEST_F(EditDialogsTest, PageRemovedWhileTheDialogIsOpenIsLeftAlone)
{
    // The page leaves the list while the dialog is open (a show load); the test
    // keeps it alive to see that OK does not write to it.
    std::unique_ptr<TLichtpultZeile> gone;
    ASSERT_TRUE(EditPage(2, true, [&](TFrmEditLichtpultseite& d) {
        d.edtName->setText(QStringLiteral("weg"));
        gone = std::move(L->LichtpultZeilen[2]);
        L->LichtpultZeilen.erase(L->LichtpultZeilen.begin() + 2);
    }));
    EXPECT_EQ(L->PageCount(), 4);
    EXPECT_EQ(gone->Name, QStringLiteral("Kanäle 25 - 36"));
}

// ---- icon dialog

TEST_F(EditDialogsTest, PickingAnIconResetsTheColours)
{
    const TSymbol s = EditIcon([&](TFrm_EditSymbol& d) {
        ASSERT_EQ(d.PaletteCount(), 3);
        QTest::mouseClick(Swatch(d.gbVorder, 1, 8), Qt::LeftButton);   // red
        QTest::mouseClick(Swatch(d.gbHinter, 9, 4), Qt::LeftButton);   // dark blue
        EXPECT_EQ(d.Foreground(), 0x0000FF);
        EXPECT_EQ(d.Background(), 0x7F0000);
        QTest::mouseClick(d.PaletteButton(1), Qt::LeftButton);
        EXPECT_EQ(d.Foreground(), 0);
        EXPECT_EQ(d.Background(), 10);
        EXPECT_EQ(PreviewPixel(d, 0, 1).alpha(), 0);

        QTest::mouseClick(Swatch(d.gbVorder, 2, 4), Qt::LeftButton);   // (127, 63, 0)
        EXPECT_EQ(PreviewPixel(d, 5, 0), QColor(127, 63, 0));
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
    });
    EXPECT_TRUE(s.Ok);
    EXPECT_EQ(s.Icon, 1);
    EXPECT_EQ(s.Fore, 0x003F7F);
    EXPECT_EQ(s.Back, 10);
}

TEST_F(EditDialogsTest, CancelReturnsFalseAndTheDialogKeepsItsValues)
{
    EditIcon([&](TFrm_EditSymbol& d) {
        QTest::mouseClick(d.PaletteButton(2), Qt::LeftButton);
        QTest::mouseClick(Swatch(d.gbHinter, 0, 8), Qt::LeftButton);   // white
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
    });
    const TSymbol cancelled = EditIcon([&](TFrm_EditSymbol& d) {
        QTest::mouseClick(d.btnVorne, Qt::LeftButton);
        QTest::mouseClick(d.btnAbbrechen, Qt::LeftButton);
    });
    EXPECT_FALSE(cancelled.Ok);
    EXPECT_EQ(cancelled.Icon, 2);
    EXPECT_EQ(cancelled.Fore, 10);
    EXPECT_EQ(cancelled.Back, 0xFFFFFF);
    // The next run opens with the values of the last one.
    EXPECT_EQ(EditIcon([&](TFrm_EditSymbol&) {}).Fore, 10);
}

TEST_F(EditDialogsTest, DoubleClicksCloseWithOk)
{
    TSymbol s = EditIcon([&](TFrm_EditSymbol& d) { QTest::mouseDClick(d.PaletteButton(0), Qt::LeftButton); });
    EXPECT_TRUE(s.Ok);
    EXPECT_EQ(s.Icon, 0);
    s = EditIcon([&](TFrm_EditSymbol& d) { QTest::mouseDClick(Swatch(d.gbHinter, 5, 8), Qt::LeftButton); });
    EXPECT_TRUE(s.Ok);
    EXPECT_EQ(s.Back, 0x00FF00);
    s = EditIcon([&](TFrm_EditSymbol& d) { QTest::mouseDClick(d.btnVorne, Qt::LeftButton); });
    EXPECT_TRUE(s.Ok);
    EXPECT_EQ(s.Fore, 10);
}

TEST_F(EditDialogsTest, GroupBoxBackgroundOpensTheColourDialog)
{
    Prompts.ColorAnswers = {0x123456};
    const TSymbol s = EditIcon([&](TFrm_EditSymbol& d) {
        QTest::mouseClick(d.PaletteButton(0), Qt::LeftButton);
        // Below the last swatch row: the group box itself.
        QTest::mouseDClick(d.gbHinter, Qt::LeftButton, {}, QPoint(100, 213));
        QTest::mouseDClick(d.gbVorder, Qt::LeftButton, {}, QPoint(100, 213));   // cancelled
    });
    EXPECT_FALSE(s.Ok);
    EXPECT_EQ(Prompts.Asked.count(QStringLiteral("color")), 2);
    EXPECT_EQ(s.Back, 0x123456);
    EXPECT_EQ(s.Fore, 0);
}

} // namespace
