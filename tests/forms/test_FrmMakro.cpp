// The macro pages and the macro editor offscreen on the whole engine, through
// their named widgets: raw press and release on the buttons, the editor with
// its test run, icon, line limit and abort, a macro saved with the show, and a
// further macro window from the window menu that comes back where it was.

#include "TestHelpers.h"

#include "console/uFrm_EditSymbol.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uFrm_EditMakro.h"
#include "cues/uFrm_Makro.h"
#include "cues/uFrm_MakroAssiHilfe.h"
#include "cues/uMod_Makros.h"
#include "framework/uComposition.h"
#include "framework/uDat_Menu.h"
#include "framework/uFormUtils.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

int Pegel(int nr)
{
    return ModuleLichtpult->GetKanal(nr).Pegel;
}

void Set(int nr, int level)
{
    ModuleMain->ExecuteLines({QStringLiteral("K%1P%2").arg(nr).arg(level)}, false);
}

void Send(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

class FrmMakroTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Dir.Write(QStringLiteral("Data/icons.ini"), "[Icons]\r\nIconsCount=2\r\nIcon_1=FFFF\r\nIcon_2=7F7F\r\n");
        Engine.Start();
        Host = std::make_unique<QWidget>();
        new QVBoxLayout(Host.get());
        CreateMacroPages(*ModuleMakro, Host.get());
        Page = MacroPage(0);
        ASSERT_NE(Page, nullptr);
    }
    void TearDown() override
    {
        SetDialogRunner(QStringLiteral("frm_EditMakro"), {});
        SetDialogRunner(QStringLiteral("Frm_EditSymbol"), {});
        Host.reset();
        Engine.Stop();
    }

    TEngine Engine;
    std::unique_ptr<QWidget> Host;
    TFrmMakro* Page = nullptr;
};

// A button pressed, dragged off and back on and released off it runs its press
// lines once and its release lines once; a right click only opens the editor.
TEST_F(FrmMakroTest, OnePressAndOneReleasePerClickWhereverTheMouseGoes)
{
    ModuleMakro->GetMacro(7)->Lines = {"K1P255", "UK1P0"};
    QWidget* b = Host->findChild<QWidget*>("btnMakro7");
    ASSERT_EQ(b, Page->Buttons[7]);
    int edits = 0;
    SetDialogRunner(QStringLiteral("frm_EditMakro"), [&edits](QDialog&) {
        ++edits;
        return int(QDialog::Rejected);
    });
    const QPoint in(5, 5), out(200, 300);
    const struct {
        QEvent::Type Type;
        Qt::MouseButton Button;
        QPoint Pos;
        int Pegel;   // channel 1 afterwards; 77 = nothing ran
        int Edits;
    } steps[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton, in, 255, 0},
        {QEvent::MouseMove, Qt::LeftButton, out, 77, 0},
        {QEvent::MouseMove, Qt::LeftButton, in, 77, 0},
        {QEvent::MouseButtonPress, Qt::RightButton, in, 77, 0},   // while held: no editor
        {QEvent::MouseMove, Qt::LeftButton, out, 77, 0},
        {QEvent::MouseButtonRelease, Qt::LeftButton, out, 0, 0},
        {QEvent::MouseButtonRelease, Qt::LeftButton, in, 77, 0},   // a second release runs nothing
        {QEvent::MouseButtonPress, Qt::RightButton, in, 77, 1},
        {QEvent::MouseButtonRelease, Qt::RightButton, in, 77, 1},
        {QEvent::MouseButtonDblClick, Qt::LeftButton, in, 255, 1},   // a quick second click presses too
        {QEvent::MouseButtonRelease, Qt::LeftButton, in, 0, 1},
    };
    int i = 0;
    for (const auto& s : steps) {
        Set(1, 77);
        Send(b, s.Type, s.Button, s.Pos);
        EXPECT_EQ(Pegel(1), s.Pegel) << "step " << i;
        EXPECT_EQ(edits, s.Edits) << "step " << i;
        ++i;
    }
}

// The editor: the line limit typed and pasted, the test run, the icon dialog,
// abort keeping everything and OK storing it, and the show keeping it.
TEST_F(FrmMakroTest, AMacroIsEditedTestRunAndSavedWithTheShow)
{
    TMakro& m = *ModuleMakro->GetMacro(12);
    m.Name = QStringLiteral("alt");
    m.Icon = -1;
    const auto edit = [&](const std::function<void(Tfrm_EditMakro&)>& run, bool ok) {
        SetDialogRunner<Tfrm_EditMakro>(QStringLiteral("frm_EditMakro"), [&](Tfrm_EditMakro& d) {
            run(d);
            QTest::mouseClick(ok ? d.btnOK : d.btnAbbrechen, Qt::LeftButton);
            return d.result();
        });
        QTest::mouseClick(Page->Buttons[12], Qt::RightButton);
    };

    const struct {
        int Before;   // characters already there, cursor at the end
        int Typed;
        int Pasted;
        int After;
    } limits[] = {{0, 0, 250, 250}, {0, 0, 251, 250}, {240, 20, 0, 250}, {100, 0, 400, 250}, {250, 1, 0, 250}};
    for (const auto& c : limits) {
        edit([&](Tfrm_EditMakro& d) {
            d.memMakro->setPlainText(QString(c.Before, u'a'));
            d.memMakro->moveCursor(QTextCursor::End);
            QTest::keyClicks(d.memMakro, QString(c.Typed, u'b'));
            d.memMakro->insertPlainText(QString(c.Pasted, u'c'));
            EXPECT_EQ(d.memMakro->toPlainText().size(), c.After) << c.Before << "+" << c.Typed << "+" << c.Pasted;
            d.edtName->setText(QStringLiteral("neu"));
        }, false);
    }
    EXPECT_EQ(m.Name, "alt");   // abort stores nothing
    EXPECT_TRUE(m.Lines.isEmpty());

    SetDialogRunner<TFrm_EditSymbol>(QStringLiteral("Frm_EditSymbol"), [](TFrm_EditSymbol& d) {
        d.IconClick(1);
        d.SetForeground(0x0000FF);
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        return d.result();
    });
    edit([&](Tfrm_EditMakro& d) {
        EXPECT_EQ(d.lblIndex->text(), "Makro 12");
        EXPECT_EQ(d.edtName->text(), "alt");
        d.edtName->setText(QStringLiteral("Licht"));
        d.memMakro->setPlainText(QStringLiteral("K1P255\nUK1P0"));
        Set(1, 77);
        // The test run runs every line as it stands: the U line does nothing.
        QTest::mouseClick(d.btnIcon, Qt::LeftButton);
        EXPECT_EQ(Pegel(1), 255);
        EXPECT_TRUE(d.btnIcon->icon().isNull());
        QTest::mouseClick(d.btnIconChange, Qt::LeftButton);
        EXPECT_EQ(d.Icon(), 1);
        EXPECT_FALSE(d.btnIcon->icon().isNull());
    }, true);
    EXPECT_EQ(m.Name, "Licht");
    EXPECT_EQ(m.Lines, QStringList({"K1P255", "UK1P0"}));
    EXPECT_EQ(m.Icon, 1);
    EXPECT_EQ(m.VF, 0x0000FF);
    EXPECT_EQ(m.HF, 10);
    EXPECT_EQ(Page->Buttons[12]->toolTip(), "Licht");
    EXPECT_FALSE(Page->Buttons[12]->icon().isNull());

    const QString show = Engine.Dir.File(QStringLiteral("show.pvs"));
    ASSERT_TRUE(SaveProject(show));
    ModuleMakro->NewProject();
    EXPECT_TRUE(ModuleMakro->GetMacro(12)->Lines.isEmpty());
    EXPECT_TRUE(Page->Buttons[12]->icon().isNull());
    ASSERT_TRUE(OpenProject(show));
    EXPECT_EQ(ModuleMakro->GetMacro(12)->Lines, QStringList({"K1P255", "UK1P0"}));
    EXPECT_EQ(Page->Buttons[12]->toolTip(), "Licht");
    EXPECT_FALSE(Page->Buttons[12]->icon().isNull());
}

// The show file joins a macro's lines with '|': OK refuses a line that holds
// one with a message and leaves the editor open with its text; once the line
// is changed OK takes it, and it comes back from the show as one line.
TEST_F(FrmMakroTest, OkRefusesALineThatHoldsABar)
{
    TScriptedPrompts prompts;
    const QString refused = QStringLiteral("Das Zeichen \"|\" kann in einer Makrozeile nicht gespeichert werden:\n");
    const struct {
        const char* Lines;
        const char* Name;
        const char* Message;   // the line named; nullptr: taken over
    } cases[] = {
        {"K1P255\nC0Z\"PWR|ON\"", "a", "C0Z\"PWR|ON\""},
        {"|", "b", "|"},
        {"K1P255\nUK1P0|\nK2|P3", "c", "UK1P0|"},
        {"C0Z\"PWR/ON\"\nUK1P0", "Licht|Ton", nullptr},   // a bar in the name is kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Lines);
        prompts.Asked.clear();
        ModuleMakro->GetMacro(4)->Lines = {"K9P9"};
        bool stayedOpen = false;
        SetDialogRunner<Tfrm_EditMakro>(QStringLiteral("frm_EditMakro"), [&](Tfrm_EditMakro& d) {
            d.edtName->setText(QString::fromUtf8(c.Name));
            d.memMakro->setPlainText(QString::fromUtf8(c.Lines));
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
            stayedOpen = d.isVisible() && d.result() != QDialog::Accepted;
            EXPECT_EQ(d.memMakro->toPlainText(), QString::fromUtf8(c.Lines));
            if (stayedOpen)
                QTest::mouseClick(d.btnAbbrechen, Qt::LeftButton);
            return d.result();
        });
        EXPECT_EQ(EditMacro(4, Page->Buttons[4]), c.Message == nullptr);
        EXPECT_EQ(stayedOpen, c.Message != nullptr);
        if (c.Message) {
            EXPECT_EQ(prompts.Asked, QStringList({refused + QString::fromUtf8(c.Message)}));
            EXPECT_EQ(ModuleMakro->GetMacro(4)->Lines, QStringList({"K9P9"}));
        } else {
            EXPECT_TRUE(prompts.Asked.isEmpty());
        }
    }
    const QString show = Engine.Dir.File(QStringLiteral("bar.pvs"));
    ASSERT_TRUE(SaveProject(show));
    ModuleMakro->NewProject();
    ASSERT_TRUE(OpenProject(show));
    EXPECT_EQ(ModuleMakro->GetMacro(4)->Lines, QStringList({"C0Z\"PWR/ON\"", "UK1P0"}));
    EXPECT_EQ(ModuleMakro->GetMacro(4)->Name, "Licht|Ton");
}

// A new show while the editor of a macro beyond 99 is open frees that macro:
// OK then stores into the macro of that number the new show has, not into the
// freed one.
TEST_F(FrmMakroTest, OkAfterTheMacroWasFreedStoresIntoTheCurrentOne)
{
    ModuleMakro->GetMacro(150)->Name = QStringLiteral("weg");
    SetDialogRunner<Tfrm_EditMakro>(QStringLiteral("frm_EditMakro"), [](Tfrm_EditMakro& d) {
        ModuleMakro->NewProject();
        d.edtName->setText(QStringLiteral("neu"));
        return int(QDialog::Accepted);
    });
    EXPECT_TRUE(EditMacro(150, nullptr));
    EXPECT_EQ(ModuleMakro->GetMacro(150)->Name, "neu");
    EXPECT_FALSE(EditMacro(2001, nullptr));
}

// Pages beyond the last macro number show and press nothing; a caption typed
// on page 2 is caption 11.
TEST_F(FrmMakroTest, PagesMapTheirButtonsAndCaptionsByPageNumber)
{
    for (int p = 1; p <= 20; ++p)
        ModuleMakro->NewMacroWindow();
    // A new macro's icon 0 in the button-face colour paints no pixel; in black it does.
    const auto painted = [](const QToolButton* b) {
        const QImage image = b->icon().pixmap(16, 16).toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += qAlpha(image.pixel(x, y)) != 0 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(painted(Page->Buttons[50]), 0);
    ModuleMakro->GetMacro(50)->VF = 0;
    Page->RefreshPage();
    EXPECT_EQ(painted(Page->Buttons[50]), 256);

    TFrmMakro* p2 = MacroPage(2);
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(p2->Buttons[7]->Macro(), 207);
    p2->Edits[1]->setText(QStringLiteral("Bühne"));
    EXPECT_EQ(ModuleMakro->GetEditText(11), "Bühne");
    TFrmMakro* p20 = MacroPage(20);
    ASSERT_NE(p20, nullptr);
    EXPECT_EQ(ModuleMakro->MakroCount(), 2001);
    Send(p20->Buttons[1], QEvent::MouseButtonPress, Qt::LeftButton, {5, 5});
    Send(p20->Buttons[1], QEvent::MouseButtonRelease, Qt::LeftButton, {5, 5});
    EXPECT_EQ(ModuleMakro->MakroCount(), 2001);
    // A new show closes every page but the first.
    ModuleMakro->NewProject();
    EXPECT_EQ(MacroPage(1), nullptr);
    EXPECT_EQ(ModuleMakro->PageCount(), 1);
    EXPECT_EQ(ModuleMakro->NewMacroWindow(), 1);
}

// The editor lends the assistant and gets it back. A second macro window through
// the window menu, moved, comes back at its place after a restart; its menu
// entries show it again after it was closed.
TEST(FrmMakroMain, ASecondWindowFromTheMenuKeepsItsPlace)
{
    TTempProgramDir dir;
    const auto create = [&dir] {
        qputenv("PV_PROGRAM_DIR", dir.Path().toUtf8());
        auto* main = new TFrmMain;
        qunsetenv("PV_PROGRAM_DIR");
        ComposeForms(*main, TStartupStage::MainFormCreated);
        return main;
    };
    TFrmMain* main = create();
    ASSERT_NE(MacroPage(0), nullptr);
    EXPECT_EQ(MacroPage(0)->parentWidget(), main->pnlMakro);
    auto* item = main->findChild<QAction*>("NeuesMakroFenster1");
    ASSERT_TRUE(item && item->isEnabled());
    item->trigger();
    TFrmMakro* w = MacroPage(1);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), "FrmMakro1");
    EXPECT_TRUE(w->isVisible());
    // The editor borrows the assistant: its lines go into the memo; afterwards
    // the assistant is back where it was, also when the editor was aborted.
    ASSERT_NE(frmMakroAssiHilfe, nullptr);
    QWidget* const home = frmMakroAssiHilfe->Host();
    for (const bool ok : {false, true}) {
        SetDialogRunner<Tfrm_EditMakro>(QStringLiteral("frm_EditMakro"), [ok](Tfrm_EditMakro& d) {
            EXPECT_EQ(frmMakroAssiHilfe->Host(), d.pnlAssiHilfe);
            d.memMakro->setPlainText(QStringLiteral("K1P1"));
            frmMakroAssiHilfe->AppendLine(QStringLiteral("K5P10"));
            return int(ok ? QDialog::Accepted : QDialog::Rejected);
        });
        QTest::mouseClick(MacroPage(0)->Buttons[3], Qt::RightButton);
        EXPECT_EQ(frmMakroAssiHilfe->Host(), home);
    }
    SetDialogRunner(QStringLiteral("frm_EditMakro"), {});
    EXPECT_EQ(ModuleMakro->GetMacro(3)->Lines, QStringList({"K1P1", "K5P10"}));

    w->move(321, 123);
    w->close();
    EXPECT_FALSE(w->isVisible());
    const QList<QAction*> entries = dmMenu->Makro1->actions();
    ASSERT_EQ(entries.size(), 2);
    entries[0]->trigger();
    EXPECT_TRUE(w->isVisible());
    delete main;
    EXPECT_EQ(MacroPage(1), nullptr);

    main = create();
    main->findChild<QAction*>("NeuesMakroFenster1")->trigger();
    ASSERT_NE(MacroPage(1), nullptr);
    EXPECT_EQ(MacroPage(1)->pos(), QPoint(321, 123));
    delete main;
}

} // namespace
