// The faders of a console window offscreen on the whole engine, through their
// named parts: the track bar and the level field, the number field's re-binding,
// the flash button, the mode field, and which faders repaint when outputs change.

#include "ConsoleWindowTest.h"

#include "console/uFader.h"
#include "console/uFaderStrip.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Collects what a widget paints.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(QWidget* w) { w->installEventFilter(this); }
    QRegion Painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Painted += static_cast<QPaintEvent*>(event)->region();
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
    // The faders' moving parts are painted by the strip above them: it paints
    // a part of the first fader's track bar, nothing of the second fader.
    auto* strip = F(0)->parentWidget()->findChild<QWidget*>(QStringLiteral("FaderStrip"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(strip, nullptr);
    TPaintWatch watch(strip);
    TPaintWatch nummer(F(0)->edtNummer);
    Host->repaint();
    watch.Painted = nummer.Painted = QRegion();
    K(1).SetOutput(128);
    ASSERT_TRUE(WaitFor([&] { return !watch.Painted.isEmpty(); }));
    QCoreApplication::processEvents();
    const QRect bar = F(0)->tbFader->geometry().translated(F(0)->pos());
    EXPECT_EQ(watch.Painted - bar, QRegion());
    EXPECT_LT(watch.Painted.boundingRect().height(), bar.height());
    EXPECT_TRUE(nummer.Painted.isEmpty());
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

TEST_F(FaderTest, TheScreenShowsWhatThePartsPaintWhileTheOperatorWorksWithThem)
{
    // The strip paints the track bars and level fields above the faders; the
    // parts take the input. Hovering, pressing, editing and leaving must show
    // on screen what the parts themselves paint: a level field being edited
    // paints itself, with its cursor, and the strip takes it back afterwards.
    QApplication::setCursorFlashTime(0);   // a cursor that does not blink
    TFader* f = F(1);
    auto screenMatchesParts = [&] {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        const QImage screen = Host->screen()->grabWindow(Host->winId()).toImage();
        const QImage shown =
            screen.copy(QRect(f->mapTo(Host.get(), QPoint(0, 0)), f->size())).convertToFormat(QImage::Format_RGB32);
        return shown == f->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    K(2).SetPegel(128);
    ASSERT_TRUE(WaitFor([&] { return f->PegelText() == "128"; }));
    EXPECT_TRUE(screenMatchesParts());

    TFaderTrackBar* bar = f->tbFader;
    QTest::mouseMove(bar, QPoint(bar->width() / 2, bar->height() / 2));
    EXPECT_TRUE(screenMatchesParts()) << "hovered";
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, 4));
    EXPECT_GT(K(2).Pegel, 128);
    EXPECT_TRUE(screenMatchesParts()) << "paged up, with the focus";

    TLevelField* field = f->edtPegel;
    field->setFocus();
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, "9");
    ASSERT_TRUE(field->Live());
    EXPECT_TRUE(screenMatchesParts()) << "edited";
    K(2).SetPegel(7);
    ASSERT_TRUE(WaitFor([&] { return field->text() == "7"; }));
    EXPECT_TRUE(screenMatchesParts()) << "a new level while edited";
    f->edtNummer->setFocus();
    EXPECT_FALSE(field->Live());
    EXPECT_TRUE(screenMatchesParts()) << "left";
    QApplication::setCursorFlashTime(1000);
}

TEST_F(FaderTest, PagesWithGapsAndNewSizesShowWhatTheFadersPaint)
{
    // The strip's mask follows the faders: moved and hidden by a page with
    // gaps, resized with the window. Every fader on screen is what it paints
    // itself, and a gap in a row of level fields is the background beneath.
    // A page without faders: an empty mask would be no mask, a strip over the whole view.
    auto* strip = F(0)->parentWidget()->findChild<QWidget*>(QStringLiteral("FaderStrip"), Qt::FindDirectChildrenOnly);
    L->GetLichtpultZeile(0)->SetRowString("");
    Window->ShowPage(0);
    ASSERT_TRUE(WaitFor([&] { return strip->isHidden(); }));
    L->GetLichtpultZeile(0)->SetRowString("L4K1L60K2L4K3L4L130K5");
    Window->ShowPage(0);
    ASSERT_TRUE(WaitFor([&] { return !strip->isHidden(); }));
    for (int nr = 1; nr <= 5; ++nr)
        K(nr).SetPegel(nr * 50);
    for (const QSize size : {QSize(1200, 400), QSize(900, 300)}) {
        SCOPED_TRACE(size.height());
        Host->resize(size);
        ASSERT_TRUE(WaitFor([&] { return F(4)->PegelText() == "250" && F(0)->height() < size.height(); }));
        QCoreApplication::processEvents();
        const QImage screen = Host->screen()->grabWindow(Host->winId()).toImage().convertToFormat(QImage::Format_RGB32);
        for (int slot = 0; slot < 5; ++slot) {
            SCOPED_TRACE(slot);
            TFader* f = F(slot);
            ASSERT_TRUE(f->isVisible());
            const QImage shown = screen.copy(QRect(f->mapTo(Host.get(), QPoint(0, 0)), f->size()));
            EXPECT_EQ(shown, f->grab().toImage().convertToFormat(QImage::Format_RGB32));
        }
        EXPECT_FALSE(F(5)->isVisible());
        // Between the first two faders: the level row and the flash button row.
        const QPoint gap = F(0)->mapTo(Host.get(), QPoint(TFader::FaderWidth + 20, 0));
        const int levelRow = F(0)->edtPegel->geometry().center().y();
        const int buttonRow = F(0)->btnFlash->geometry().center().y();
        EXPECT_EQ(screen.pixel(gap + QPoint(0, levelRow)), screen.pixel(gap + QPoint(0, buttonRow)));
    }
}

TEST(FaderRegion, RectsMakeTheRegionTheirUnionMakes)
{
    // Rows of rects are taken in one pass; anything else is joined rect by
    // rect. Either way the region covers exactly the rects.
    const std::vector<std::vector<QRect>> cases = {
        {},
        {QRect(5, 5, 10, 10)},
        {QRect(40, 0, 10, 32), QRect(0, 0, 10, 32), QRect(80, 0, 10, 32), QRect(0, 40, 90, 13)},   // rows
        {QRect(0, 0, 10, 32), QRect(0, 0, 10, 32), QRect(20, 0, 10, 32)},                          // twice the same
        {QRect(0, 0, 10, 32), QRect(10, 0, 10, 32)},                                               // touching
        {QRect(0, 0, 10, 32), QRect(5, 0, 10, 32)},                                                // overlapping
        {QRect(0, 0, 10, 32), QRect(20, 0, 10, 64), QRect(0, 32, 10, 32)},                         // heights differ
        {QRect(0, 0, 10, 32), QRect(0, 16, 10, 32)},                                               // rows overlap
        {QRect(0, 0, 10, 32), QRect(0, 32, 10, 32), QRect(0, 64, 0, 5)},                           // stacked, one empty
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        QRegion expected;
        for (const QRect& r : cases[i])
            expected += r;
        std::vector<QRect> rects = cases[i];
        const QRegion region = RegionOfRects(rects);
        EXPECT_TRUE((region - expected).isEmpty());
        EXPECT_TRUE((expected - region).isEmpty());
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
