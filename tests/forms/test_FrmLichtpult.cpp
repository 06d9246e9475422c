// The console window offscreen on the whole engine, through its named widgets:
// the page tree, the keyboard rule between neighbouring faders, the fader and page
// menus with the icon dialog, the name prompt, the group scenes and the page
// editor, and several windows opened from the main window's menu with their
// remembered places.

#include "ConsoleWindowTest.h"

#include "console/uFader.h"
#include "console/uFrm_EditLichtpultseite.h"
#include "console/uFrm_EditSymbol.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Szenen.h"
#include "framework/uDat_Menu.h"
#include "framework/uFormUtils.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <limits>

#include <memory>

namespace {

class FrmLichtpultTest : public TConsoleWindowTest {
protected:
    void PrepareFolder() override
    {
        Engine.Dir.Write("Data/icons.ini", "[Icons]\r\nIconsCount=3\r\nIcon_1=FFFF\r\nIcon_2=0F0F\r\nIcon_3=7F7F\r\n");
    }
    void TearDown() override
    {
        SetDialogRunner(QStringLiteral("Frm_EditSymbol"), {});
        SetDialogRunner(QStringLiteral("FrmEditLichtpultseite"), {});
        TConsoleWindowTest::TearDown();
    }

    QStringList Tree() const
    {
        QStringList lines;
        for (int i = 0; i < Window->tvSeiten->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* node = Window->tvSeiten->topLevelItem(i);
            lines << node->text(0);
            for (int j = 0; j < node->childCount(); ++j)
                lines << "  " + node->child(j)->text(0);
        }
        return lines;
    }
    void AddPage(const QString& name, int node, const QString& row)
    {
        L->AddPage(std::make_unique<TLichtpultZeile>(L->PageCount()));
        L->LichtpultZeilen.back()->SetName(name);
        L->LichtpultZeilen.back()->SetNode(node);
        L->LichtpultZeilen.back()->SetRowString(row);
    }
    static void Key(QWidget* part, const char* c)
    {
        part->setFocus();
        QTest::keyClicks(part, c);
    }
    QAction* Action(QMenu* menu, const char* name) { return menu->findChild<QAction*>(name); }
    void FaderMenu(int x, const char* item)
    {
        Window->PopupFaderMenu(QPoint(x, 50));
        Action(Window->popFader, item)->trigger();
        Window->popFader->close();
    }

    TScriptedPrompts Prompts;
};

} // namespace

TEST_F(FrmLichtpultTest, TheTreeListsPagesUnderTheirCategoriesAndShowsTheFirst)
{
    L->LichtpultZeilen.clear();
    AddPage("Bühne", 1, "L4K100");
    AddPage("Front", 0, "L10K1L4G2L30C3");
    AddPage("Versteckt", -1, "L4K7");
    AddPage("Ohne Knoten", 3, "L4K8");   // three categories: no node 3
    AddPage("Saal", 0, "L4K9");
    L->SortLichtpultZeilen();
    EXPECT_EQ(Tree(), (QStringList{"nach Kanal", "  Front", "  Saal", "nach Position", "  Bühne", "nach Funktion"}));
    EXPECT_EQ(L->PageCount(), 5);

    EXPECT_EQ(Window->tvSeiten->currentItem()->text(0), "Front");
    EXPECT_EQ(Window->LastSlot(), 2);
    EXPECT_EQ((QList<TKanal*>{F(0)->Kanal(), F(1)->Kanal(), F(2)->Kanal()}), (QList<TKanal*>{&K(1), &K(512), &K(573)}));
    EXPECT_EQ((QList<int>{F(0)->x(), F(1)->x(), F(2)->x()}), (QList<int>{10, 54, 124}));
    EXPECT_FALSE(F(3)->isVisible());
    EXPECT_EQ(Window->windowTitle(), " - Front");

    // A first category without pages: no page is shown, and a number typed into a
    // fader changes no page.
    for (auto& z : L->LichtpultZeilen)
        if (z->Node == 0)
            z->SetNode(2);
    L->SortLichtpultZeilen();
    EXPECT_EQ(Window->ShownPage(), -1);
    QStringList rows;
    L->SaveToStrings(rows);
    F(0)->edtNummer->setFocus();
    QTest::keyClicks(F(0)->edtNummer, "4");
    EXPECT_EQ(F(0)->Kanal(), &K(14));
    QStringList after;
    L->SaveToStrings(after);
    EXPECT_EQ(after, rows);
}

TEST_F(FrmLichtpultTest, HugeGapsFromAFileKeepTheFadersInOrderInsideTheBox)
{
    // Gaps near the 32-bit limit put the slots billions of pixels apart; the faders
    // stay where a widget can be, in slot order, and the box reaches past the last.
    L->LichtpultZeilen.clear();
    AddPage("Weit", 0, QStringLiteral("L4K1L%1K2L%1K3L4K4").arg(std::numeric_limits<int>::max()));
    L->SortLichtpultZeilen();
    ASSERT_EQ(Window->ShownPage(), 0);
    ASSERT_EQ(Window->LastSlot(), 3);
    EXPECT_EQ(F(0)->x(), 4);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(F(i)->x(), F(i - 1)->x());
        EXPECT_LE(F(i)->x(), QWIDGETSIZE_MAX - F(i)->width());
        EXPECT_TRUE(F(i)->isVisibleTo(Window->pnlFader));
    }
    EXPECT_GE(Window->pnlFader->width(), F(3)->x() + F(3)->width());
    EXPECT_EQ(L->GetLichtpultZeile(0)->GetRowString(), QStringLiteral("L4K1L%1K2L%1K3L4K4").arg(std::numeric_limits<int>::max()));
}

TEST_F(FrmLichtpultTest, KeyboardRuleBetweenNeighbours)
{
    // w in the level field of slot 3: the level goes right, the channel to blackout.
    K(4).SetPegel(100);
    K(4).SetBlackout(5);
    Key(F(3)->edtPegel, "w");
    EXPECT_EQ(K(5).Pegel, 100);
    EXPECT_EQ(K(4).Pegel, 5);
    EXPECT_TRUE(F(4)->edtPegel->hasFocus());
    EXPECT_TRUE(WaitFor([&] { return F(3)->PegelText() == "5"; }));   // the letter did not get in

    // g in the number field: the neighbour shows the same channel, stored in the page.
    Key(F(5)->edtNummer, "g");
    EXPECT_EQ(F(6)->Kanal(), &K(6));
    EXPECT_EQ(L->GetLichtpultZeile(0)->Slots[6].Nr, 6);
    EXPECT_TRUE(F(6)->edtNummer->hasFocus());

    // n past the last slot: slot 0 of the next page of the category.
    K(12).SetPegel(77);
    Key(F(11)->edtPegel, "n");
    EXPECT_EQ(Window->ShownPage(), 1);
    EXPECT_EQ(F(0)->Kanal(), &K(13));
    EXPECT_EQ(K(13).Pegel, 77);
    EXPECT_TRUE(F(0)->edtPegel->hasFocus());

    // O from slot 0 goes back to the last slot of the previous page; from the
    // first page there is nowhere to go.
    Key(F(0)->edtModus, "O");
    EXPECT_EQ(Window->ShownPage(), 0);
    EXPECT_TRUE(F(11)->edtModus->hasFocus());
    Key(F(0)->edtModus, "O");
    EXPECT_EQ(Window->ShownPage(), 0);
    EXPECT_TRUE(F(0)->edtModus->hasFocus());
}

TEST_F(FrmLichtpultTest, FaderMenuRenamesRecoloursAndBlacksOut)
{
    const int x = F(2)->x() + 5;
    Prompts.TextAnswers = {"Verfolger"};
    FaderMenu(x, "NamenAendern1");
    EXPECT_EQ(Prompts.Asked, QStringList{"Namen ändern: Kanal 3"});
    EXPECT_EQ(K(3).Name, "Verfolger");
    EXPECT_EQ(F(2)->toolTip(), "Verfolger");

    SetDialogRunner<TFrm_EditSymbol>(QStringLiteral("Frm_EditSymbol"), [](TFrm_EditSymbol& dialog) {
        dialog.IconClick(2);
        dialog.SetForeground(0x0000FF);
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(F(2)->btnFlash->icon().isNull());
    FaderMenu(x, "IconAendern1");
    EXPECT_EQ((QList<int>{K(3).Icon, K(3).VF, K(3).HF}), (QList<int>{2, 0x0000FF, 10}));
    EXPECT_FALSE(F(2)->btnFlash->icon().isNull());

    K(1).SetPegel(90);
    K(30).SetPegel(90);
    FaderMenu(x, "BlackOut1");
    EXPECT_EQ(K(1).Pegel, 0);
    EXPECT_EQ(K(30).Pegel, 0);

    EXPECT_FALSE(Action(Window->popFader, "eingestellteSzenealsGruppe1")->isEnabled());

    // A hidden fader with a channel (slot beyond the page, at left 0) is not hit.
    L->SetZeilenKanal(0, 20, 99);
    EXPECT_EQ(F(20)->Kanal(), &K(99));
    EXPECT_EQ(Window->FaderAt(2), nullptr);
    EXPECT_EQ(Window->FaderAt(6), F(0));
}

// The group items of the fader menu on group fader 1 (channel 511): a version
// stored from the set levels and one from the shown levels, the first made current
// and mixed into the frame by the group fader, the second put on the console; the
// show saved and opened again keeps the current one.
TEST_F(FrmLichtpultTest, GroupItemsStoreSelectAndApplyTheGroupScene)
{
    ModuleSzenen->Clock = [] { return QDateTime(QDate(2026, 12, 9), QTime(20, 0, 0)); };
    QMenu* current = Window->popFader->findChild<QMenu*>(QStringLiteral("aktuelleVersion1"));
    QMenu* onConsole = Window->popFader->findChild<QMenu*>(QStringLiteral("VersionaufsPult1"));
    const auto items = [](QMenu* menu) {
        QStringList texts;
        for (const QAction* a : menu->actions())
            texts << a->text() + (a->isChecked() ? " *" : "");
        return texts;
    };
    const auto frame = [&](const QStringList& lines) {
        Engine.Main->ExecuteLines(lines, false);
        Engine.Main->ClockTick();
        return QList<int>{ModulePatch->DmxOutput[0], ModulePatch->DmxOutput[1]};
    };
    L->SetZeilenKanal(0, 0, 511);
    const int group = F(0)->x() + 5;
    // On the group fader the group items are enabled (a channel fader disables them).
    Window->PopupFaderMenu(QPoint(group, 50));
    for (QAction* a : {Action(Window->popFader, "eingestellteSzenealsGruppe1"), current->menuAction(),
                       Action(Window->popFader, "angezeigteSzenealsGruppe1"), onConsole->menuAction()})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    Window->popFader->close();

    // Channel 1 set to 50 while its output still shows 200.
    EXPECT_EQ(frame({"K1P200", "K2P100"}), (QList<int>{200, 100}));
    K(1).SetPegel(50);
    FaderMenu(group, "eingestellteSzenealsGruppe1");
    FaderMenu(group, "angezeigteSzenealsGruppe1");
    Window->PopupFaderMenu(QPoint(group, 50));
    EXPECT_EQ(items(current), (QStringList{"2026-12-09 20:00:00", "2026-12-09 20:00:01 *"}));
    EXPECT_EQ(items(onConsole), items(current));
    current->actions().value(0)->trigger();
    Window->popFader->close();
    EXPECT_EQ(frame({"K1P0", "K2P0", "K511P255"}), (QList<int>{50, 100}));

    Window->PopupFaderMenu(QPoint(group, 50));
    EXPECT_EQ(items(current), (QStringList{"2026-12-09 20:00:00 *", "2026-12-09 20:00:01"}));
    onConsole->actions().value(1)->trigger();
    Window->popFader->close();
    EXPECT_EQ((QList<int>{K(1).Pegel, K(2).Pegel, K(511).Pegel}), (QList<int>{200, 100, 255}));

    ASSERT_TRUE(SaveProject(Engine.Dir.File("Gruppen.pvs")));
    ModuleSzenen->SelectVersion(0, "2026-12-09 20:00:01");
    ASSERT_TRUE(OpenProject(Engine.Dir.File("Gruppen.pvs")));
    EXPECT_EQ(frame({"K1P0", "K2P0"}), (QList<int>{50, 100}));
}

TEST_F(FrmLichtpultTest, APageMadeInThePageEditorAppearsInTheWindowAndTheShow)
{
    SetDialogRunner<TFrmEditLichtpultseite>(QStringLiteral("FrmEditLichtpultseite"), [](TFrmEditLichtpultseite& dialog) {
        dialog.edtName->setText("Bühne rechts");
        dialog.cmbKategorie->setCurrentIndex(0);
        dialog.edtCommandLine->setText("L4K100L20K101");
        return int(QDialog::Accepted);
    });
    Window->PopupPageMenu(QPoint(1, 1));
    Action(Window->popSeiten, "NeueSeite1")->trigger();
    Window->popSeiten->close();

    ASSERT_EQ(L->PageCount(), 6);
    ASSERT_EQ(Tree().value(6), "  Bühne rechts");
    QTreeWidgetItem* item = Window->tvSeiten->topLevelItem(0)->child(5);
    Window->tvSeiten->setCurrentItem(item);
    EXPECT_EQ(Window->ShownPage(), 5);
    EXPECT_EQ(F(0)->Kanal(), &K(100));
    EXPECT_EQ(F(1)->Kanal(), &K(101));
    EXPECT_EQ(F(1)->x(), 64);
    EXPECT_FALSE(F(2)->isVisible());

    QStringList lines;
    L->SaveToStrings(lines);
    EXPECT_TRUE(lines.contains("Name_5=Bühne rechts"));
    EXPECT_TRUE(lines.contains("Cmd_5=L4K100L20K101"));
}

// The console windows of the real main window and menu.
class FrmLichtpultWindowsTest : public ::testing::Test {
protected:
    void Create()
    {
        qputenv("PV_PROGRAM_DIR", Dir.Path().toUtf8());
        Main = new TFrmMain;
        qunsetenv("PV_PROGRAM_DIR");
        new TdmMenu(Main, Main);
        Main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
    }
    void TearDown() override { delete Main; }
    QStringList MenuTexts() const
    {
        QStringList texts;
        for (QAction* a : dmMenu->Lichtpult1->actions())
            texts << a->text();
        return texts;
    }

    TTempProgramDir Dir;
    TFrmMain* Main = nullptr;
};

TEST_F(FrmLichtpultWindowsTest, WindowsFromTheMenuFollowTheChannelsAndRememberTheirPlace)
{
    Dir.Write("PV_TESSEL.ini", "[FrmLichtpult1]\r\nLeft=30\r\nTop=40\r\nWidth=700\r\nHeight=300\r\nVBreite=222\r\n");
    Create();
    TFrmLichtpult* w0 = LichtpultWindow(0);
    ASSERT_NE(w0, nullptr);
    EXPECT_TRUE(Main->pnlLichtpult->isAncestorOf(w0->tvSeiten));

    // The first showing of the main window opens window 1.
    TFrmLichtpult* w1 = LichtpultWindow(1);
    ASSERT_NE(w1, nullptr);
    EXPECT_EQ(w1->objectName(), "FrmLichtpult1");
    EXPECT_TRUE(w1->isVisible());
    EXPECT_EQ(w1->windowTitle(), "Lichtpult 1 - Kanäle 1 - 12");
    EXPECT_EQ(w1->size(), QSize(700, 300));
    EXPECT_EQ(w1->pos(), QPoint(30, 40));   // the stored place rules
    EXPECT_EQ(w1->Splitter1->sizes().value(0), 222);

    Main->findChild<QAction*>("NeuesLichtpultFenster1")->trigger();
    TFrmLichtpult* w2 = LichtpultWindow(2);
    ASSERT_NE(w2, nullptr);
    EXPECT_EQ(MenuTexts(), (QStringList{"Lichtpult 1 anzeigen", "Lichtpult 1 auf den primären Screen anzeigen",
                                        "Lichtpult 2 anzeigen", "Lichtpult 2 auf den primären Screen anzeigen"}));

    // One change reaches the faders of every window shown; window 0 sits on a
    // page of the main window that is not shown, and catches up when it is.
    ASSERT_NE(Main->PageControl1->currentWidget(), Main->tabPult);
    ModuleLichtpult->GetKanal(1).SetPegel(150);
    for (TFrmLichtpult* w : {w1, w2})
        EXPECT_TRUE(WaitFor([&] { return w->Fader(0)->FaderPegel() == 150; })) << w->objectName().toStdString();
    EXPECT_EQ(w0->Fader(0)->FaderPegel(), 0);
    Main->PageControl1->setCurrentWidget(Main->tabPult);
    EXPECT_EQ(w0->Fader(0)->FaderPegel(), 150);
    EXPECT_EQ(w0->Fader(0)->PegelText(), "150");

    // A closed window comes back through its entries, the second one at the top
    // left; it showed no changes while closed and shows them when it comes back.
    w1->close();
    EXPECT_FALSE(w1->isVisible());
    ModuleLichtpult->GetKanal(1).SetPegel(70);
    ASSERT_TRUE(WaitFor([&] { return w2->Fader(0)->FaderPegel() == 70; }));
    EXPECT_EQ(w1->Fader(0)->FaderPegel(), 150);
    dmMenu->Lichtpult1->actions().at(1)->trigger();
    EXPECT_TRUE(w1->isVisible());
    EXPECT_EQ(w1->pos(), QPoint(4, 4));
    EXPECT_EQ(w1->Fader(0)->PegelText(), "70");
    EXPECT_EQ(w1->Fader(0)->tbFader->Output(), ModuleLichtpult->GetKanal(1).Output);
    w2->close();
    dmMenu->Lichtpult1->actions().at(2)->trigger();
    EXPECT_TRUE(w2->isVisible());

    // The tree gets narrower by dragging the splitter.
    QWidget* handle = w1->Splitter1->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, grip);
    QTest::mouseMove(handle, grip - QPoint(72, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, grip - QPoint(72, 0));
    const int treeWidth = w1->Splitter1->sizes().value(0);
    EXPECT_LT(treeWidth, 222);
    delete Main;
    Main = nullptr;
    TStringIniFile ini(Dir.File("PV_TESSEL.ini"));
    EXPECT_EQ(ini.ReadInteger("FrmLichtpult1", "VBreite", 0), treeWidth);
    EXPECT_EQ(ini.ReadInteger("FrmLichtpult1", "Left", 0), 4);
    EXPECT_EQ(ini.ReadInteger("FrmLichtpult2", "VBreite", 0), 180);
    EXPECT_EQ(ini.ReadInteger("FrmLichtpult", "VBreite", 0), 180);
}

TEST_F(FrmLichtpultWindowsTest, WithoutAStoredPlaceWindowsOpenBelowTheMainWindowsMenuAndPageTabs)
{
    const struct {
        const char* What;
        QByteArray Main;   // the main window's stored place
    } cases[] = {
        {"first start", ""},
        {"main window elsewhere", "[FrmMain]\r\nLeft=200\r\nTop=150\r\nWidth=900\r\nHeight=650\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        Dir.Write("PV_TESSEL.ini", c.Main);
        Create();
        const QWidget* tabs = Main->PageControl1->tabBar();
        const int tabsBottom = tabs->mapToGlobal(QPoint(0, tabs->height())).y();
        ASSERT_GT(tabs->height(), 0);
        EXPECT_GT(tabsBottom, Main->menuBar()->mapToGlobal(QPoint(0, Main->menuBar()->height())).y());

        // Window 1 opens with the first showing, window 2 from the menu: each
        // below the tabs, the second moved on from the first.
        Main->findChild<QAction*>("NeuesLichtpultFenster1")->trigger();
        TFrmLichtpult* w1 = LichtpultWindow(1);
        TFrmLichtpult* w2 = LichtpultWindow(2);
        ASSERT_TRUE(w1 && w2);
        EXPECT_EQ(w1->frameGeometry().topLeft(), QPoint(Main->frameGeometry().left(), tabsBottom));
        EXPECT_EQ(w2->frameGeometry().topLeft(), w1->frameGeometry().topLeft() + QPoint(24, 24));

        // "auf den primären Screen anzeigen" still takes the corner.
        dmMenu->Lichtpult1->actions().at(3)->trigger();
        EXPECT_EQ(w2->pos(), QGuiApplication::primaryScreen()->geometry().topLeft() + QPoint(4, 4));
        delete Main;
        Main = nullptr;
        QFile::remove(Dir.File("PV_TESSEL.ini"));
    }
}
