// The chaser editor offscreen, through its named widgets, on the whole engine: a
// chaser chosen, its steps, the 0-scene, a right click on a step cell, a template
// made, renamed, clicked onto an LED and saved.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uKanalListBox.h"
#include "cues/uFrm_Chaser.h"
#include "framework/uMod_Main.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// The largest difference of a colour channel between a scroll bar as it paints
// itself and the application's style painting the same bar in one piece.
int DifferenceFromTheStyle(QScrollBar* bar)
{
    QStyleOptionSlider o;
    o.initFrom(bar);
    o.orientation = bar->orientation();
    if (o.orientation == Qt::Horizontal)
        o.state |= QStyle::State_Horizontal;
    o.minimum = bar->minimum();
    o.maximum = bar->maximum();
    o.sliderPosition = bar->sliderPosition();
    o.sliderValue = bar->value();
    o.singleStep = bar->singleStep();
    o.pageStep = bar->pageStep();
    o.subControls = QStyle::SC_All;
    QImage expected(bar->size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter p(&expected);
        QApplication::style()->drawComplexControl(QStyle::CC_ScrollBar, &o, &p, bar);
    }
    const QImage shown = bar->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (shown.size() != expected.size())
        return 256;
    int most = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
            most = std::max({most, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                             std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
        }
    return most;
}

} // namespace

TEST(FrmChaser, EditsAChaserAndItsLedStepsThroughTheWidgets)
{
    TEngine engine;
    engine.Start();
    TScriptedPrompts prompts;
    TFrmChaser form(*ModuleLichtpult, engine.Dir.File("Data/ChaserLedVorlagen.ini"));
    form.resize(900, 600);
    form.show();
    auto w = [&form](const char* name) { return form.findChild<QWidget*>(QString::fromLatin1(name)); };
    auto* edtChaser = static_cast<QSpinBox*>(w("edtChaser"));
    auto* edtSchritte = static_cast<QSpinBox*>(w("edtSchritte"));
    auto* sgChaser = static_cast<QTableView*>(w("sgChaser"));
    auto* sgLED = static_cast<QTableView*>(w("sgLED"));
    ASSERT_TRUE(edtChaser && edtSchritte && sgChaser && sgLED);
    TKanal& k = ModuleLichtpult->GetKanal(575);

    // The editor opens on its LED tab; the definition controls show until a chaser
    // number is chosen, and hide for chaser 0.
    EXPECT_EQ(form.PageControl1->currentWidget(), form.tabLedChaser);
    form.PageControl1->setCurrentWidget(form.tabDefinition);
    EXPECT_TRUE(w("btnNullszene")->isVisible());
    edtChaser->setValue(1);
    edtChaser->setValue(0);
    EXPECT_FALSE(w("btnNullszene")->isVisible());
    edtChaser->setValue(5);
    EXPECT_TRUE(w("btnNullszene")->isVisible());
    edtSchritte->setValue(4);
    EXPECT_EQ(sgChaser->model()->rowCount(), 7);
    EXPECT_EQ(sgLED->model()->rowCount(), 5);
    EXPECT_EQ(k.SchrittZahl, 4);

    ModuleMain->ExecuteLines({QStringLiteral("K1P200"), QStringLiteral("K2P100")}, false);
    QTest::mouseClick(static_cast<QPushButton*>(w("btnNullszene")), Qt::LeftButton);
    ASSERT_EQ(sgChaser->model()->columnCount(), 3);
    EXPECT_EQ(k.EintragZahl, 2);
    // A right click on step 2 of channel 1 puts the 0-scene value there.
    const QModelIndex cell = sgChaser->model()->index(4, 1);
    QTest::mouseClick(sgChaser->viewport(), Qt::RightButton, {}, sgChaser->visualRect(cell).center());
    EXPECT_EQ(k.GetEintrag(1, 2), 200);
    EXPECT_EQ(cell.data().toString(), QStringLiteral("200"));

    // A new template, renamed; its red row clicked onto the LED at channel 1 in step 3.
    form.PageControl1->setCurrentWidget(form.tabLedChaser);
    EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("gbChaser"))->title(), QStringLiteral(" Chaser: "));
    EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("gbFarben"))->title(), QStringLiteral(" Farben: "));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("lblSpalten"))->text(),
              QStringLiteral("LEDs (Startkanäle kommasepariert)"));
    auto* edtSpalten = static_cast<QLineEdit*>(w("edtSpalten"));
    edtSpalten->setText(QStringLiteral("1"));
    QTest::keyClick(edtSpalten, Qt::Key_Return);
    EXPECT_EQ(k.LedDefs, QStringLiteral("1"));
    auto* pop = form.findChild<QMenu*>(QStringLiteral("popVorlage"));
    ASSERT_TRUE(pop);
    pop->findChild<QAction*>(QStringLiteral("NeueVorlage1"))->trigger();
    prompts.TextAnswers.push_back(QStringLiteral("Rot"));
    pop->findChild<QAction*>(QStringLiteral("NamederVorlagendern1"))->trigger();
    EXPECT_EQ(static_cast<QComboBox*>(w("cmbVorlagen"))->currentText(), QStringLiteral("Rot"));
    auto* sgVorlagen = static_cast<QTableWidget*>(w("sgVorlagen"));
    sgVorlagen->item(2, 1)->setText(QStringLiteral("250"));
    sgVorlagen->item(2, 2)->setText(QString());   // empty: leave channel 2 alone
    QTest::mouseClick(sgVorlagen->viewport(), Qt::LeftButton, {}, sgVorlagen->visualItemRect(sgVorlagen->item(2, 3)).center());
    sgChaser->model()->setData(sgChaser->model()->index(5, 2), QStringLiteral("17"));
    QTest::mouseClick(sgLED->viewport(), Qt::LeftButton, {}, sgLED->visualRect(sgLED->model()->index(3, 1)).center());
    EXPECT_EQ(k.GetEintrag(1, 3), 250);
    EXPECT_EQ(k.GetEintrag(2, 3), 17);
    EXPECT_EQ(sgLED->model()->index(3, 1).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 0, 0));
    EXPECT_EQ(sgLED->model()->index(2, 1).data().toString(), QStringLiteral("?"));

    QTest::mouseClick(static_cast<QPushButton*>(w("btnSave")), Qt::LeftButton);
    const QByteArray saved = engine.Dir.Read("Data/ChaserLedVorlagen.ini");
    EXPECT_TRUE(saved.contains("Name=Rot\r\n")) << saved.constData();
    EXPECT_TRUE(saved.contains("W_21=250\r\nW_22=-1\r\n")) << saved.constData();

    // The number box reaches the last chaser and no further.
    form.PageControl1->setCurrentWidget(form.tabDefinition);
    edtChaser->setValue(ChaserAnzahl + 1);
    EXPECT_EQ(edtChaser->value(), ChaserAnzahl);
    EXPECT_EQ(form.Editor().ChaserKanal, &ModuleLichtpult->GetKanal(570 + ChaserAnzahl));
}

TEST(FrmChaser, TheListShowsLevelsInDecimalWhileTheConsoleShowsPercent)
{
    TEngine engine;
    engine.Start();
    TFrmChaser form(*ModuleLichtpult, engine.Dir.File("Data/ChaserLedVorlagen.ini"));
    TKanal& k = ModuleLichtpult->GetKanal(571);
    k.SetFlash(200);
    k.SetBlackout(51);
    k.SetPegel(128);
    k.SetOutput(77);
    for (const bool prozent : {false, true}) {
        SCOPED_TRACE(prozent ? "Prozent" : "decimal");
        ModuleLichtpult->SetProzent(prozent);
        EXPECT_EQ(ModuleLichtpult->FormatLevel(128), prozent ? QStringLiteral("50") : QStringLiteral("128"));
        TKanalListZeile line;
        ASSERT_TRUE(form.findChild<TKanalListBox*>(QStringLiteral("pbKanaele"))->LineOf(571, line));
        // Flash, blackout, level and output.
        EXPECT_EQ(QStringList(line.Texts.begin() + 4, line.Texts.begin() + 8),
                  QStringList({"200", "51", "128", "77"}));
    }
}

TEST(FrmChaser, TwoQuickRightClicksOnAStepCellToggleItTwice)
{
    TEngine engine;
    engine.Start();
    TFrmChaser form(*ModuleLichtpult, engine.Dir.File("Data/ChaserLedVorlagen.ini"));
    form.resize(900, 600);
    form.show();
    form.PageControl1->setCurrentWidget(form.tabDefinition);
    form.findChild<QSpinBox*>(QStringLiteral("edtChaser"))->setValue(5);
    ModuleMain->ExecuteLines({QStringLiteral("K1P200")}, false);
    form.findChild<QPushButton*>(QStringLiteral("btnNullszene"))->click();
    auto* grid = form.findChild<QTableView*>(QStringLiteral("sgChaser"));
    const QModelIndex cell = grid->model()->index(3, 1);   // step 1 of channel 1
    const QPoint at = grid->visualRect(cell).center();
    TKanal& k = ModuleLichtpult->GetKanal(575);
    // The second press of a quick pair reaches the grid as a double click.
    const struct {
        Qt::MouseButton Button;
        const char *AfterFirst, *AfterSecond;
    } cases[] = {
        {Qt::RightButton, "200", ""},
        {Qt::LeftButton, "", ""},   // the left button toggles nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Button);
        QTest::mouseClick(grid->viewport(), c.Button, {}, at);
        EXPECT_EQ(cell.data().toString(), QLatin1String(c.AfterFirst));
        QTest::mouseDClick(grid->viewport(), c.Button, {}, at);
        QTest::mouseRelease(grid->viewport(), c.Button, {}, at);
        EXPECT_EQ(cell.data().toString(), QLatin1String(c.AfterSecond));
        EXPECT_EQ(k.GetEintrag(1, 1), QString::fromLatin1(c.AfterSecond).toInt());
        if (QWidget* editor = QApplication::focusWidget(); editor && editor != grid)
            QTest::keyClick(editor, Qt::Key_Escape);   // the cell's editor that a left double click opens
    }
}

TEST(FrmChaser, AFailedTemplateSaveIsShownAndLogged)
{
    TEngine engine;
    engine.Start();
    TScriptedPrompts prompts;
    engine.Dir.Write("Gesperrt", "eine Datei, kein Ordner");
    TFrmChaser form(*ModuleLichtpult, engine.Dir.File("Gesperrt/ChaserLedVorlagen.ini"));
    form.findChild<QMenu*>(QStringLiteral("popVorlage"))
        ->findChild<QAction*>(QStringLiteral("NeueVorlage1"))
        ->trigger();
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnSave")), Qt::LeftButton);
    ASSERT_EQ(prompts.Asked.size(), 1);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Application-Exception: ") + prompts.Asked.at(0)), 1);
}

// The definition page on a chaser of 3 entries by 99 steps, every cell set.
class ChaserGridTest : public testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        Form = std::make_unique<TFrmChaser>(*ModuleLichtpult, Engine.Dir.File("Data/ChaserLedVorlagen.ini"));
        Form->resize(900, 600);
        Form->show();
        Form->PageControl1->setCurrentWidget(Form->tabDefinition);
        TKanal& k = ModuleLichtpult->GetKanal(575);
        k.SetEintragZahl(3);
        k.SetSchrittZahl(ChaserSchritteMax);
        for (int i = 1; i <= 3; ++i)
            for (int s = 0; s <= ChaserSchritteMax; ++s)
                k.SetEintrag(i, s, (i * 7 + s) % 256);
        Form->findChild<QSpinBox*>(QStringLiteral("edtChaser"))->setValue(5);
        Grid = Form->findChild<QTableView*>(QStringLiteral("sgChaser"));
    }
    void TearDown() override { Form.reset(); }

    // What the screen shows of the grid, once the events are through.
    QImage OnScreen()
    {
        // The layout waits for a timer, the repaint for the turn after it.
        for (int turn = 0; turn < 3; ++turn)
            QCoreApplication::processEvents();
        const QImage screen = Form->screen()->grabWindow(Form->winId()).toImage();
        return screen.copy(QRect(Grid->mapTo(Form.get(), QPoint(0, 0)), Grid->size())).convertToFormat(QImage::Format_RGB32);
    }
    // The grid painted whole.
    QImage PaintedWhole() { return Grid->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    TEngine Engine;
    std::unique_ptr<TFrmChaser> Form;
    QTableView* Grid = nullptr;
};

TEST_F(ChaserGridTest, AChangeOfTheStepCountShowsWhatAFullPaintShows)
{
    // The grid repaints only from the first row that came or went; what reaches
    // the screen must still be the grid painted whole, wherever it is scrolled.
    auto* steps = Form->findChild<QSpinBox*>(QStringLiteral("edtSchritte"));
    QTableView* grid = Grid;
    auto onScreen = [this] { return OnScreen(); };
    const struct {
        const char* What;
        int From, To;
        bool AtEnd;
    } cases[] = {
        {"rows out of sight go", 99, 98, false},
        {"rows out of sight come", 98, 99, false},
        {"rows in sight come", 3, 6, false},
        {"rows in sight go", 6, 2, false},
        {"the last rows go, scrolled to the end", 99, 96, true},
        {"rows come, scrolled to the end", 96, 99, true},
        {"one row goes, scrolled to the end", 99, 98, true},
        {"one row comes, scrolled to the end", 98, 99, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        steps->setValue(c.From);
        c.AtEnd ? grid->scrollToBottom() : grid->scrollToTop();
        const QImage before = onScreen();
        steps->setValue(c.To);
        ASSERT_EQ(grid->model()->rowCount(), c.To + 3);
        const QImage shown = onScreen();
        EXPECT_NE(shown, before);
        EXPECT_EQ(shown, PaintedWhole());
        // The scroll bars, painted in pieces and kept, look as the style paints them.
        EXPECT_LE(DifferenceFromTheStyle(grid->verticalScrollBar()), 5);
        EXPECT_LE(DifferenceFromTheStyle(grid->horizontalScrollBar()), 5);
    }
}

TEST_F(ChaserGridTest, ACellTypedWithTheKeysAndTheFocusGoingShowWhatAFullPaintShows)
{
    // When the focus goes to a cell's editor and back, or to another box, the
    // grid repaints only its selected cells, whose colours follow the focus.
    QPalette colours = Grid->palette();
    colours.setColor(QPalette::Active, QPalette::Highlight, Qt::darkBlue);
    colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::gray);
    Grid->setPalette(colours);
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Grid->setFocus();
    Grid->selectionModel()->select(QItemSelection(Grid->model()->index(4, 1), Grid->model()->index(6, 2)),
                                   QItemSelectionModel::ClearAndSelect);
    Grid->selectionModel()->setCurrentIndex(Grid->model()->index(5, 2), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(OnScreen(), PaintedWhole());

    QTest::keyClick(Grid, Qt::Key_4);
    ASSERT_NE(QApplication::focusWidget(), Grid);
    EXPECT_EQ(OnScreen(), PaintedWhole()) << "the cell's editor open";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(WaitFor([this] { return QApplication::focusWidget() == Grid; }));
    EXPECT_EQ(Grid->model()->index(5, 2).data().toString(), QStringLiteral("4"));
    EXPECT_EQ(ModuleLichtpult->GetKanal(575).GetEintrag(2, 3), 4);
    EXPECT_EQ(OnScreen(), PaintedWhole()) << "the value written";

    Form->findChild<QLineEdit*>(QStringLiteral("edtName"))->setFocus();
    EXPECT_EQ(OnScreen(), PaintedWhole()) << "another box";
    Grid->setFocus();
    EXPECT_EQ(OnScreen(), PaintedWhole()) << "back";
}
