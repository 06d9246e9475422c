// The faders of a console window offscreen on the whole engine, through their
// named parts: the track bar and the level field, the number field's re-binding,
// the flash button, the mode field, and which faders repaint when outputs change.

#include "ConsoleWindowTest.h"

#include "core/uFader.h"
#include "core/uFrm_Lichtpult.h"
#include "core/uKanal.h"
#include "core/uMod_Lichtpult.h"
#include "core/uMod_Main.h"

#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* w) { w->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

class FaderTest : public TConsoleWindowTest {
protected:
    static void Type(QLineEdit* e, const QString& text, bool replace = true)
    {
        e->setFocus();
        if (replace)
            e->selectAll();
        QTest::keyClicks(e, text);
    }
};

} // namespace

TEST_F(FaderTest, DraggingTheTrackBarSetsTheChannelLevelAndTheFieldsFollowTheChannel)
{
    TFader* f = F(0);
    ASSERT_EQ(f->Kanal(), &K(1));
    TFaderTrackBar* tb = f->tbFader;
    // The knob of level 0 sits at the bottom; it is dragged half way up.
    QStyleOptionSlider opt;
    opt.initFrom(tb);
    opt.orientation = Qt::Vertical;
    opt.maximum = 255;
    opt.upsideDown = true;
    const QPoint knob = tb->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, tb).center();
    const QPoint up = knob - QPoint(0, tb->height() / 2);
    QTest::mousePress(tb, Qt::LeftButton, Qt::NoModifier, knob);
    QTest::mouseMove(tb, up);
    QTest::mouseRelease(tb, Qt::LeftButton, Qt::NoModifier, up);
    EXPECT_GT(K(1).Pegel, 80);
    EXPECT_TRUE(WaitFor([&] { return f->PegelText() == QString::number(K(1).Pegel); }));

    // Set elsewhere (a command, another window): the fader follows, soon after.
    K(1).SetPegel(200);
    K(1).SetName("Spot links");
    K(1).SetModus(kmBlinken);
    ASSERT_TRUE(WaitFor([&] { return tb->value() == 200; }));
    EXPECT_EQ(f->PegelText(), "200");
    EXPECT_EQ(f->toolTip(), "Spot links");
    EXPECT_EQ(f->edtModus->text(), "B");
    L->SetProzent(true);
    EXPECT_EQ(f->PegelText(), "78");

    // The output a tick computes moves the band, not the knob.
    L->Tick();
    EXPECT_EQ(tb->Output(), K(1).Output);
    EXPECT_EQ(tb->value(), 200);
}

TEST_F(FaderTest, TypedNumbersRebindTheSlotAndAreStoredInThePage)
{
    TLichtpultZeile& page = *L->GetLichtpultZeile(0);
    page.SetRowString("L4K1L4G2L4C3");
    Window->ShowPage(0);
    TFader* group = F(1);
    ASSERT_EQ(group->Kanal(), &K(512));
    EXPECT_EQ(group->edtNummer->text(), "2");
    EXPECT_EQ(group->edtModus->text(), "G");

    Type(group->edtNummer, "15");
    EXPECT_EQ(group->Kanal(), &K(525));
    EXPECT_EQ(page.Slots[1].Nr, 525);
    // 0 in a group fader names channel 510, a console channel: the kind follows.
    Type(group->edtNummer, "0");
    EXPECT_EQ(group->Kanal(), &K(510));
    EXPECT_EQ(group->Modus(), kkKonsole);
    EXPECT_EQ(group->edtNummer->text(), "510");
    EXPECT_EQ(page.Slots[1].Nr, 510);

    // Letters are dropped; a number without a channel unbinds the slot.
    Type(F(0)->edtNummer, "x9");
    EXPECT_EQ(F(0)->Kanal(), &K(9));
    Type(F(0)->edtNummer, "99", false);
    EXPECT_EQ(F(0)->Kanal(), nullptr);
    EXPECT_EQ(F(0)->edtNummer->text(), "");
    EXPECT_EQ(page.Slots[0].Nr, 999);
}

TEST_F(FaderTest, TheLevelFieldTakesPlainOrPercentValuesOnEnter)
{
    QLineEdit* pegel = F(2)->edtPegel;
    Type(pegel, "1a2");
    EXPECT_EQ(pegel->text(), "12");
    EXPECT_EQ(K(3).Pegel, 0);   // nothing before Enter
    QTest::keyClick(pegel, Qt::Key_Return);
    EXPECT_EQ(K(3).Pegel, 12);
    Type(pegel, "300");
    QTest::keyClick(pegel, Qt::Key_Return);
    EXPECT_EQ(K(3).Pegel, 12);
    L->SetProzent(true);
    Type(pegel, "50");
    QTest::keyClick(pegel, Qt::Key_Enter);
    EXPECT_EQ(K(3).Pegel, 127);   // 50 x 255 div 100
}

TEST_F(FaderTest, TheLevelFieldEditsTheLevelShownWhenItTakesTheFocus)
{
    // Unedited, the field only shows the level; taking the focus it holds the
    // level of that moment, and a new level replaces what is typed there.
    TLevelField* pegel = F(2)->edtPegel;
    K(3).SetPegel(77);
    ASSERT_TRUE(WaitFor([&] { return F(2)->PegelText() == "77"; }));
    pegel->setFocus();
    EXPECT_EQ(pegel->text(), "77");
    QTest::keyClick(pegel, Qt::Key_Backspace);
    EXPECT_EQ(pegel->text(), "7");
    K(3).SetPegel(5);
    ASSERT_TRUE(WaitFor([&] { return F(2)->PegelText() == "5"; }));
    EXPECT_EQ(pegel->text(), "5");
    // Typed without Enter, then left: the typed text stays until the next level.
    QTest::keyClicks(pegel, "0");
    F(0)->tbFader->setFocus();
    EXPECT_EQ(pegel->text(), "50");
    EXPECT_EQ(K(3).Pegel, 5);
    K(3).SetPegel(9);
    ASSERT_TRUE(WaitFor([&] { return F(2)->PegelText() == "9"; }));
    EXPECT_EQ(pegel->text(), "9");
}

TEST_F(FaderTest, FlashButtonLeftFlashesRightLatches)
{
    TKanal& k = K(4);
    k.SetFlash(180);
    k.SetBlackout(20);
    k.SetPegel(60);
    QToolButton* flash = F(3)->btnFlash;
    QTest::mousePress(flash, Qt::LeftButton);
    EXPECT_EQ(k.Pegel, 180);
    EXPECT_TRUE(F(3)->tbFader->hasFocus());
    QTest::mouseRelease(flash, Qt::LeftButton);
    EXPECT_EQ(k.Pegel, 60);
    QTest::mouseClick(flash, Qt::RightButton);
    EXPECT_EQ(k.Pegel, 180);
    QTest::mouseClick(flash, Qt::RightButton);
    EXPECT_EQ(k.Pegel, 20);

    // Rebound while the button is held: the flashed channel gets its level back.
    QTest::mousePress(flash, Qt::LeftButton);
    K(40).SetPegel(33);
    F(3)->SetKanal(&K(40));
    QTest::mouseRelease(flash, Qt::LeftButton);
    EXPECT_EQ(k.Pegel, 20);
    EXPECT_EQ(K(40).Pegel, 33);
}

TEST_F(FaderTest, CtrlClickOnTheModeFieldCyclesConsoleChannelsOnly)
{
    QString seen;
    for (int i = 0; i < 5; ++i) {
        QTest::mouseClick(F(0)->edtModus, Qt::LeftButton, Qt::ControlModifier);
        seen += F(0)->edtModus->text();
    }
    EXPECT_EQ(seen, "LDBZH");
    L->GetLichtpultZeile(0)->SetRowString("L4G1");
    Window->ShowPage(0);
    QTest::mouseClick(F(0)->edtModus, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(K(511).Modus, kmHTP);
}

TEST_F(FaderTest, AnOutputChangeRepaintsOnlyTheFaderOfThatChannel)
{
    TPaintCounter first(F(0)->tbFader);
    TPaintCounter second(F(1)->tbFader);
    TPaintCounter firstNummer(F(0)->edtNummer);
    Host->repaint();
    first.Count = second.Count = firstNummer.Count = 0;
    K(1).SetOutput(128);
    ASSERT_TRUE(WaitFor([&] { return first.Count > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(second.Count, 0);
    EXPECT_EQ(firstNummer.Count, 0);
}

TEST_F(FaderTest, RepaintsAfterChangesShowWhatAFullPaintShows)
{
    // A refresh repaints only what changed (the knob's old and new places, the
    // band's old and new top, the level text); what reaches the screen must
    // equal the fader painted whole, step after step: no part left stale.
    TFader* f = F(0);
    auto onScreen = [&] {
        QCoreApplication::processEvents();
        const QImage screen = Host->screen()->grabWindow(Host->winId()).toImage();
        return screen.copy(QRect(f->mapTo(Host.get(), QPoint(0, 0)), f->size())).convertToFormat(QImage::Format_RGB32);
    };
    K(1).SetModus(kmDirekt);   // the output stays where it is put
    const struct {
        int Pegel, Output;
    } steps[] = {{200, 40}, {195, 45}, {0, 0}, {255, 255}, {3, 254}, {128, 1}, {100, 100}, {99, 0}};
    QImage last = onScreen();
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.Pegel << "/" << step.Output);
        K(1).SetPegel(step.Pegel);
        K(1).SetOutput(step.Output);
        ASSERT_TRUE(WaitFor([&] { return f->tbFader->value() == step.Pegel && f->tbFader->Output() == step.Output; }));
        const QImage shown = onScreen();
        EXPECT_NE(shown, last);
        EXPECT_EQ(shown, f->grab().toImage().convertToFormat(QImage::Format_RGB32));
        last = shown;
    }
}

TEST_F(FaderTest, PicturesFollowThePalette)
{
    // The track bar and the level field are painted from pictures drawn once per
    // look; a new palette must give new pictures, not the old colours.
    TFader* f = F(0);
    K(1).SetPegel(255);   // the knob at the top, the groove below it empty
    ASSERT_TRUE(WaitFor([&] { return f->PegelText() == "255"; }));
    auto rowHolds = [](const QImage& image, int y, QRgb colour) {
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                return true;
        return false;
    };
    for (const QRgb window : {qRgb(0x30, 0x30, 0x40), qRgb(0xF0, 0xE0, 0xA0)}) {
        SCOPED_TRACE(window);
        const QRgb base = QColor(window).lighter(150).rgb();
        QPalette p = Host->palette();
        p.setColor(QPalette::Window, QColor(window));
        p.setColor(QPalette::Base, QColor(base));
        Host->setPalette(p);
        const QImage bar = f->tbFader->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(bar.pixel(0, 0), window);
        EXPECT_TRUE(rowHolds(bar, bar.height() / 2, base));   // the empty groove
        // The level field keeps its own grey, on the window colour around it.
        const QImage field = f->edtPegel->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(field.pixel(field.width() - 2, field.height() / 2), qRgb(0xDF, 0xDF, 0xDF));
        EXPECT_EQ(f->grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(f->width() - 1, f->height() / 2), window);
    }
}
