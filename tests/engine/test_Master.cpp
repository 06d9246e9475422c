// The master module on the whole engine, headless: speed factors and the
// clocks they drive, playback states with their buttons and the scene's macro
// lines, the R command, the remaining time, and the Ablauf setting. The
// transport buttons per state are tested on the panel.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

class MasterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        M = ModuleMaster;
        ASSERT_NE(M, nullptr);
    }

    static void Run(const QString& line) { ModuleMain->ExecuteLines({line}, false); }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static void Tick() { ModuleMain->ClockTick(); }
    static QString Fmt2(double v) { return FormatFloat(v, 2); }

    // Starts a crossfade of channel 1 to level (the other channels to 0).
    static void Crossfade(int level, int tenths, bool backward)
    {
        TLevelArray levels{};
        levels[1] = static_cast<std::uint8_t>(level);
        ModuleLichtpult->StartCrossfade(levels, tenths, backward);
    }

    TEngine Engine;
    TModuleMaster* M = nullptr;
};

TEST_F(MasterTest, SpeedPositionsGiveTheFactorTable)
{
    struct Row {
        int pos;
        float factor;
    };
    const Row rows[] = {{0, 100.0f}, {50, 10.0f}, {100, 1.0f}, {150, 0.1f}, {186, 0.019054607f}, {187, 0.0f}, {200, 0.0f}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.pos);
        M->SetFadeFaktor(r.pos);
        M->SetChaseFaktor(r.pos);
        EXPECT_FLOAT_EQ(FadeFactor, r.factor);
        EXPECT_FLOAT_EQ(ChaseFactor, r.factor);
        EXPECT_EQ(M->FadePosition, r.pos);
        EXPECT_EQ(M->ChasePosition, r.pos);
        EXPECT_EQ(M->FadeFaktorText, Fmt2(r.factor));
        EXPECT_EQ(M->ChaseFaktorText, Fmt2(r.factor));
    }
    EXPECT_EQ(Fmt2(0.019054607), Fmt2(0.02));   // 186 still shows 0.02

    // Position 0 advances the fade clock 4000 ms a tick; 200 stops the chase clock.
    M->SetFadeFaktor(0);
    const std::int64_t fade = FadeClock, chase = ChaseClock;
    Tick();
    EXPECT_EQ(FadeClock - fade, 4000);
    EXPECT_EQ(ChaseClock, chase);
}

TEST_F(MasterTest, PositionsBeyondTheBarAreClamped)
{
    // A factor of 10^202 is infinite as a single; the clock could not advance by it.
    Run("R0F-10000");
    EXPECT_EQ(M->FadePosition, 0);
    EXPECT_FLOAT_EQ(FadeFactor, 100.0f);
    const std::int64_t before = FadeClock;
    Tick();
    EXPECT_EQ(FadeClock - before, 4000);

    Run("R0F5000");
    EXPECT_EQ(M->FadePosition, 200);
    EXPECT_FLOAT_EQ(FadeFactor, 0.0f);

    M->SetChaseFaktor(-300);
    EXPECT_EQ(M->ChasePosition, 0);
    EXPECT_FLOAT_EQ(ChaseFactor, 100.0f);
    M->SetChaseFaktor(1000000);
    EXPECT_EQ(M->ChasePosition, 200);
    EXPECT_FLOAT_EQ(ChaseFactor, 0.0f);
}

TEST_F(MasterTest, PausePlayAndReverseSetTheFactor)
{
    M->SetEins(false);
    M->SetFadeFaktor(50);
    M->SetMasterState(1);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);

    M->SetMasterState(2);
    EXPECT_FLOAT_EQ(FadeFactor, 0.0f);

    M->SetMasterState(3);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);

    M->SetMasterState(4);
    EXPECT_FLOAT_EQ(FadeFactor, -10.0f);
    EXPECT_EQ(M->FadeFaktorText, Fmt2(-10.0));
    const std::int64_t before = FadeClock;
    Tick();
    EXPECT_EQ(FadeClock - before, -400);

    M->SetMasterState(5);
    EXPECT_FALSE(M->Reverse);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);

    // Reverse at position 100 shows minus one.
    M->SetFadeFaktor(100);
    M->SetMasterState(4);
    EXPECT_EQ(M->FadeFaktorText, Fmt2(-1.0));
}

TEST_F(MasterTest, AFadeStartRunsAtTheBarsSpeed)
{
    // After a pause the factor is 0 (and Play is disabled in state 1); after
    // reverse it is negative. A new fade start must not inherit either.
    M->SetEins(false);
    M->SetFadeFaktor(50);
    M->SetMasterState(1);
    M->SetMasterState(2);
    M->SetMasterState(1);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);

    M->SetMasterState(4);
    M->SetMasterState(6);
    EXPECT_FALSE(M->Reverse);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);

    // With "1" checked a fade start puts the bar back to 100.
    M->SetEins(true);
    M->SetMasterState(2);
    M->SetMasterState(1);
    EXPECT_EQ(M->FadePosition, 100);
    EXPECT_FLOAT_EQ(FadeFactor, 1.0f);
}

TEST_F(MasterTest, AFadeStartedWhilePausedOrReversedRunsToItsEnd)
{
    M->SetEins(false);
    M->SetMasterState(2);   // paused: factor 0
    Crossfade(200, 10, false);
    for (int i = 0; i < 30 && M->GetMasterState() != 5; ++i)
        Tick();
    EXPECT_EQ(M->GetMasterState(), 5);
    EXPECT_EQ(K(1).Output, 200);

    M->SetMasterState(4);   // reverse: factor negative
    Crossfade(0, 10, true);
    Tick();
    EXPECT_EQ(M->GetMasterState(), 6);   // does not end at once, short of the scene
    for (int i = 0; i < 30 && M->GetMasterState() != 5; ++i)
        Tick();
    EXPECT_EQ(M->GetMasterState(), 5);
    EXPECT_EQ(K(1).Output, 0);
}

TEST_F(MasterTest, FastestSpeedEndsATenSecondFadeAfterThreeTicks)
{
    M->SetEins(false);
    M->SetFadeFaktor(0);
    Crossfade(255, 100, false);
    Tick();
    Tick();
    EXPECT_EQ(M->GetMasterState(), 1);
    EXPECT_EQ(M->Restzeit, 2000);
    EXPECT_EQ(M->RestzeitText, FormatFloat(2.0, 1) + " s");
    Tick();
    EXPECT_EQ(M->GetMasterState(), 5);
    // The engine hands over -2000 ms; the remaining time never goes below 0.
    EXPECT_EQ(M->Restzeit, 0);
    EXPECT_EQ(M->RestzeitText, FormatFloat(0.0, 1) + " s");
    M->SetRestzeit(1234567);   // host-locale digit grouping
    EXPECT_EQ(M->RestzeitText, FormatFloat(1234.567, 1) + " s");
}

TEST_F(MasterTest, SpeedChangeWhilePausedWaitsForPlay)
{
    M->SetMasterState(1);
    M->SetMasterState(2);
    Run("R0F50");
    EXPECT_EQ(M->FadePosition, 50);
    EXPECT_EQ(M->FadeFaktorText, Fmt2(10.0));
    EXPECT_FLOAT_EQ(FadeFactor, 0.0f);
    const std::int64_t before = FadeClock;
    Tick();
    EXPECT_EQ(FadeClock, before);   // no jump ahead while paused

    M->SetMasterState(3);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);
}

TEST_F(MasterTest, SceneLinesRunOnTheStatesTheyName)
{
    int levelAtHook = -1;
    M->OnFadeEnd = [&] { levelAtHook = K(1).Pegel; };
    auto scene = std::make_shared<QStringList>(QStringList{"W5K1P77", "K2P88", "; K4P1", "W2K3P99"});
    M->SetStateCommands(scene);

    M->SetMasterState(1);   // fade start: the plain line
    EXPECT_EQ(K(1).Pegel, 0);
    EXPECT_EQ(K(2).Pegel, 88);
    EXPECT_EQ(K(3).Pegel, 0);
    EXPECT_EQ(K(4).Pegel, 0);

    M->SetMasterState(2);
    EXPECT_EQ(K(3).Pegel, 99);
    EXPECT_EQ(K(1).Pegel, 0);

    // The scene's list is dropped (a show load); the master keeps its lines.
    K(2).SetPegel(0);
    scene.reset();
    M->SetMasterState(5);
    EXPECT_EQ(levelAtHook, 0);   // the fade-end hook runs before the lines
    EXPECT_EQ(K(1).Pegel, 77);
    EXPECT_EQ(K(2).Pegel, 0);    // not a fade start

    M->SetMasterState(6);
    EXPECT_EQ(K(2).Pegel, 88);
}

TEST_F(MasterTest, CommandRSetsMastersSpeedAndMode)
{
    Run("R0G128F50");
    EXPECT_EQ(M->Grandmaster, 128);
    EXPECT_EQ(ModuleLichtpult->Grandmaster, 128);
    EXPECT_FLOAT_EQ(FadeFactor, 10.0f);

    Run("r0g255p300");
    EXPECT_EQ(M->Grandmaster, 255);
    EXPECT_EQ(M->Pultmaster, 300);
    Run("K1P200");
    Tick();
    EXPECT_EQ(K(1).Output, 235);   // 200 x 300 div 255
    Run("K1P250");
    Tick();
    EXPECT_EQ(K(1).Output, 255);

    Run("R0A1");
    EXPECT_TRUE(M->Ablauf);
    EXPECT_TRUE(ModuleLichtpult->Ablauf);
    Run("R0A7");   // neither mode: ignored
    Run("R0A");    // malformed: ignored
    EXPECT_TRUE(M->Ablauf);
    Run("R0A0");
    EXPECT_FALSE(M->Ablauf);
    EXPECT_FALSE(ModuleLichtpult->Ablauf);

    Run("R0B");
    EXPECT_EQ(K(1).Pegel, 0);   // the channel's blackout level

    ModuleMain->NewProject();
    EXPECT_EQ(M->Pultmaster, 255);
    EXPECT_EQ(M->Grandmaster, 255);
    EXPECT_EQ(M->FadePosition, 100);
    EXPECT_FLOAT_EQ(FadeFactor, 1.0f);
}

TEST_F(MasterTest, OpeningAShowReadsTheModeFromTheSettings)
{
    TStringIniFile show;
    SettingsIni->WriteString("Master", "Ablauf", "j");
    ModuleMain->LoadIni(show);
    EXPECT_TRUE(M->Ablauf);
    EXPECT_TRUE(ModuleLichtpult->Ablauf);

    // Already in playback mode: the faders are not taken over again.
    Run("K1P50");
    ModuleMain->LoadIni(show);
    EXPECT_EQ(K(1).Pegel, 50);

    // "N" leaves the mode as it is, in either mode.
    SettingsIni->WriteString("Master", "Ablauf", "N");
    ModuleMain->LoadIni(show);
    EXPECT_TRUE(M->Ablauf);
    M->SetAblauf(false);
    ModuleMain->LoadIni(show);
    EXPECT_FALSE(M->Ablauf);
}

TEST_F(MasterTest, ShutDownStoresTheMode)
{
    Run("R0A1");
    const QString file = Engine.Dir.File("PV_TESSEL.ini");
    Engine.Stop();
    EXPECT_EQ(TStringIniFile(file).ReadString("Master", "Ablauf", ""), "J");

    Engine.Start();
    ModuleMaster->SetAblauf(false);
    Engine.Stop();
    EXPECT_EQ(TStringIniFile(file).ReadString("Master", "Ablauf", ""), "N");
}

TEST_F(MasterTest, TheStoredModeOutlivesASessionThatLeftItAlone)
{
    // Until a show is opened the console runs in console mode whatever the settings
    // file says: only a mode set in the session is written back.
    const struct {
        const char* Stored;   // nullptr: no key
        const char* Line;     // what the session does; nullptr: nothing
        bool OpenShow;
        const char* Expected;
    } rows[] = {
        {"J", nullptr, false, "J"},
        {"N", nullptr, false, "N"},
        {"J", nullptr, true, "J"},
        {"J", "R0A0", false, "N"},
        {"N", "R0A1", false, "J"},
        {"J", "R0A1", false, "J"},
        {nullptr, nullptr, false, "N"},
    };
    const QString file = Engine.Dir.File("PV_TESSEL.ini");
    for (const auto& r : rows) {
        SCOPED_TRACE(QStringLiteral("%1 %2 %3").arg(r.Stored ? r.Stored : "-", r.Line ? r.Line : "-").arg(r.OpenShow).toStdString());
        Engine.Stop();
        Engine.Dir.Write("PV_TESSEL.ini", r.Stored ? QByteArray("[Master]\r\nAblauf=") + r.Stored + "\r\n" : QByteArray());
        Engine.Start();
        EXPECT_FALSE(ModuleMaster->Ablauf);
        if (r.OpenShow) {
            TStringIniFile show;
            ModuleMain->LoadIni(show);
            EXPECT_TRUE(ModuleMaster->Ablauf);
        }
        if (r.Line)
            Run(r.Line);
        Engine.Stop();
        EXPECT_EQ(TStringIniFile(file).ReadString("Master", "Ablauf", "?"), r.Expected);
        Engine.Start();
    }
}

} // namespace
