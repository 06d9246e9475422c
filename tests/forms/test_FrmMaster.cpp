// The master panel offscreen, through its named widgets, on the whole engine;
// and the main window moving the panel between its two pages.

#include "TestHelpers.h"

#include "console/uFrm_Master.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class FrmMasterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        M = ModuleMaster;
        Form = std::make_unique<TfrmMaster>(*M);
        Form->show();
    }
    void TearDown() override
    {
        Form.reset();
        Engine.Stop();
    }

    template <typename T>
    T* W(const char* name)
    {
        T* w = Form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Run(const QString& line) { ModuleMain->ExecuteLines({line}, false); }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static void Tick() { ModuleMain->ClockTick(); }

    TEngine Engine;
    TModuleMaster* M = nullptr;
    std::unique_ptr<TfrmMaster> Form;
};

TEST_F(FrmMasterTest, StartsAsDesigned)
{
    EXPECT_EQ(W<QPushButton>("btnBlackout")->text(), "Black-Out");
    EXPECT_TRUE(W<QRadioButton>("rbPult")->isChecked());
    EXPECT_TRUE(W<QCheckBox>("cbEins")->isChecked());
    EXPECT_EQ(W<QLabel>("lblFadeFaktor")->text(), "1");
    EXPECT_EQ(W<QLabel>("lblFadeRestzeit")->text(), "0 s");
    EXPECT_EQ(W<QSlider>("tbPultMaster")->value(), 0);   // top = 255
    EXPECT_EQ(W<QSlider>("tbFadeFaktor")->value(), 100);
    EXPECT_EQ(W<QSlider>("tbChaseFaktor")->value(), 100);
}

TEST_F(FrmMasterTest, GrandmasterBarDimsTheStage)
{
    Run("K1P200");
    W<QSlider>("tbGrandmaster")->setValue(255 - 128);
    EXPECT_EQ(M->Grandmaster, 128);
    EXPECT_EQ(ModuleLichtpult->Grandmaster, 128);
    Tick();
    EXPECT_EQ(K(1).Output, 100);   // 200 x 128 div 255

    W<QSlider>("tbPultMaster")->setValue(255 - 51);
    EXPECT_EQ(M->Pultmaster, 51);
    Tick();
    EXPECT_EQ(K(1).Output, 20);   // 200 x 51 div 255 = 40, x 128 div 255
}

TEST_F(FrmMasterTest, ValuesTheBarCannotShowStayInTheModule)
{
    // 300 is past the bar's top; showing it must not feed a clamped 255 back.
    Run("R0P300");
    EXPECT_EQ(W<QSlider>("tbPultMaster")->value(), 0);
    EXPECT_EQ(M->Pultmaster, 300);
    Run("K1P200");
    Tick();
    EXPECT_EQ(K(1).Output, 235);
}

TEST_F(FrmMasterTest, BlackOutButtonClearsTheFaders)
{
    Run("K1P200");
    Run("K2P100B30");
    QTest::mouseClick(W<QPushButton>("btnBlackout"), Qt::LeftButton);
    EXPECT_EQ(K(1).Pegel, 0);
    EXPECT_EQ(K(2).Pegel, 30);
    Tick();
    EXPECT_EQ(K(1).Output, 0);
}

TEST_F(FrmMasterTest, RadioButtonsSwitchTheMode)
{
    auto* pult = W<QRadioButton>("rbPult");
    auto* ablauf = W<QRadioButton>("rbAblauf");
    auto* bar = W<QSlider>("tbPultMaster");

    ablauf->click();
    EXPECT_TRUE(M->Ablauf);
    EXPECT_TRUE(ModuleLichtpult->Ablauf);
    EXPECT_TRUE(bar->isHidden());

    pult->click();
    EXPECT_FALSE(M->Ablauf);
    EXPECT_FALSE(ModuleLichtpult->Ablauf);
    EXPECT_FALSE(bar->isHidden());

    Run("R0A1");
    EXPECT_TRUE(ablauf->isChecked());
    EXPECT_FALSE(pult->isChecked());
    EXPECT_TRUE(bar->isHidden());
}

TEST_F(FrmMasterTest, TransportButtonsFollowTheState)
{
    auto* pause = W<QPushButton>("btnPause");
    auto* play = W<QPushButton>("btnPlay");
    auto* rev = W<QPushButton>("btnRev");
    const struct {
        int state;
        bool pause, play, rev;
    } rows[] = {{0, false, false, false}, {1, true, false, true},  {2, false, true, true}, {3, true, false, true},
                {4, true, true, false},   {5, false, false, false}, {6, true, false, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.state);
        M->SetMasterState(static_cast<std::uint8_t>(r.state));
        EXPECT_EQ(pause->isEnabled(), r.pause);
        EXPECT_EQ(play->isEnabled(), r.play);
        EXPECT_EQ(rev->isEnabled(), r.rev);
        EXPECT_TRUE(W<QPushButton>("btnEins")->isEnabled());
    }

    M->SetMasterState(1);
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_EQ(M->GetMasterState(), 2);
    EXPECT_FLOAT_EQ(FadeFactor, 0.0f);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(M->GetMasterState(), 3);
    QTest::mouseClick(rev, Qt::LeftButton);
    EXPECT_EQ(M->GetMasterState(), 4);
    EXPECT_EQ(W<QLabel>("lblFadeFaktor")->text(), FormatFloat(-1.0, 2));
}

TEST_F(FrmMasterTest, SpeedBarsAndTheOneButton)
{
    auto* fade = W<QSlider>("tbFadeFaktor");
    fade->setValue(50);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);
    EXPECT_EQ(W<QLabel>("lblFadeFaktor")->text(), FormatFloat(10.0, 2));

    W<QSlider>("tbChaseFaktor")->setValue(150);
    EXPECT_FLOAT_EQ(ChaseFactor, 0.1f);
    EXPECT_EQ(W<QLabel>("lblChaseFaktor")->text(), FormatFloat(0.1, 2));

    QTest::mouseClick(W<QPushButton>("btnEins"), Qt::LeftButton);
    EXPECT_EQ(fade->value(), 100);
    EXPECT_FLOAT_EQ(FadeFactor, 1.0f);

    // Unchecked "1": a fade start keeps the bar where it is.
    W<QCheckBox>("cbEins")->click();
    EXPECT_FALSE(M->Eins);
    fade->setValue(50);
    M->SetMasterState(1);
    EXPECT_EQ(fade->value(), 50);

    M->SetRestzeit(2500);
    EXPECT_EQ(W<QLabel>("lblFadeRestzeit")->text(), FormatFloat(2.5, 1) + " s");
}

TEST(FrmMainMasterTest, PageChangesMoveTheMasterPanel)
{
    TTempProgramDir dir;
    qputenv("PV_PROGRAM_DIR", dir.Path().toUtf8());
    auto* main = new TFrmMain;
    qunsetenv("PV_PROGRAM_DIR");

    ASSERT_GE(main->PageControl1->count(), 3);
    EXPECT_EQ(main->PageControl1->tabText(0), "Diverses");
    EXPECT_EQ(main->PageControl1->tabText(1), "Lichtpult und Master");
    EXPECT_EQ(main->PageControl1->tabText(2), "Szenen und Master");
    ASSERT_NE(frmMaster, nullptr);
    EXPECT_EQ(frmMaster->parentWidget(), main->pnlPultUnten);

    for (int round = 0; round < 2; ++round) {
        main->PageControl1->setCurrentIndex(2);
        EXPECT_EQ(frmMaster->parentWidget(), main->pnlSzenenUnten);
        main->PageControl1->setCurrentIndex(1);
        EXPECT_EQ(frmMaster->parentWidget(), main->pnlPultUnten);
    }
    main->PageControl1->setCurrentIndex(0);
    EXPECT_EQ(frmMaster->parentWidget(), main->pnlPultUnten);

    // A grand-master group lent to another page comes back with the master pages.
    auto* elsewhere = new QWidget(main);
    frmMaster->DockGrandmasterPanel(elsewhere);
    EXPECT_EQ(frmMaster->gbGrandmaster->parentWidget(), elsewhere);
    main->PageControl1->setCurrentIndex(2);
    EXPECT_EQ(frmMaster->gbGrandmaster->parentWidget(), frmMaster->GetGrandmasterPanel());

    // The panel outlives the module by a moment at shut-down; that must be harmless.
    delete main;
    EXPECT_EQ(frmMaster, nullptr);
    EXPECT_EQ(ModuleMain, nullptr);
}

} // namespace
