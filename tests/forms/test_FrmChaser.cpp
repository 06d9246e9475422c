// The chaser editor offscreen, through its named widgets, on the whole engine: a
// chaser chosen, its steps, the 0-scene, a right click on a step cell, a template
// made, renamed, clicked onto an LED and saved.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uFrm_Chaser.h"
#include "framework/uMod_Main.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

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
