// The console module's engine on the whole engine, headless: the output of each
// mode under the masters and the group faders, crossfades, step sequences, the
// K command, playback mode and the change notifications. Ticks are driven by hand,
// so every clock value below is exact: after n ticks at speed 1 the fade and
// chase clocks stand at 40 x n ms.

#include "TestHelpers.h"

#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uKanal.h"
#include "core/uMod_Lichtpult.h"
#include "core/uMod_Main.h"
#include "core/uMod_Master.h"
#include "cues/uMod_Szenen.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

class LichtpultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        L = ModuleLichtpult;
        ASSERT_NE(L, nullptr);
        ASSERT_NE(ModuleMaster, nullptr);
        ASSERT_NE(ModuleSzenen, nullptr);
    }

    static void Run(const QString& line) { ModuleMain->ExecuteLines({line}, false); }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            ModuleMain->ClockTick();
    }
    static void SetState(std::uint8_t s) { ModuleMaster->SetMasterState(s); }
    static std::uint8_t State() { return ModuleMaster->GetMasterState(); }
    static void Group(int g, int nr, int level)
    {
        ModuleSzenen->GroupLevels[static_cast<std::size_t>(g)][static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>(level);
    }
    static TLevelArray Scene(std::initializer_list<std::pair<int, int>> values)
    {
        TLevelArray a{};
        for (const auto& [nr, level] : values)
            a[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>(level);
        return a;
    }

    TEngine Engine;
    TModuleLichtpult* L = nullptr;
};

// Records the module's channel notifications while it lives.
struct KanalLog {
    explicit KanalLog(TModuleLichtpult* l)
    {
        Connection = QObject::connect(l->Signals(), &TLichtpultSignals::kanalChanged,
                                      [this](int nr, int code) { Entries.emplace_back(nr, code); });
    }
    ~KanalLog() { QObject::disconnect(Connection); }
    KanalLog(const KanalLog&) = delete;
    KanalLog& operator=(const KanalLog&) = delete;
    std::vector<std::pair<int, int>> Entries;
    QMetaObject::Connection Connection;
};

int WarningsContaining(const QString& text)
{
    int n = 0;
    for (const QString& line : TErrorLog::Instance().Lines())
        n += line.contains(text) ? 1 : 0;
    return n;
}

}   // namespace

TEST_F(LichtpultTest, ConstructionAndChannelLookup)
{
    EXPECT_EQ(L->Kanaele.size(), 730u);
    EXPECT_EQ(L->Grandmaster, 255);
    EXPECT_FALSE(L->Ablauf);
    EXPECT_EQ(K(1).Nr, 1);
    EXPECT_EQ(K(729).Nr, 729);
    EXPECT_EQ(K(729).HF, 10);

    TKanal* k = &K(1);
    EXPECT_FALSE(L->FindKanal(0, k));
    EXPECT_EQ(k, nullptr);
    EXPECT_FALSE(L->FindKanal(730, k));
    EXPECT_TRUE(L->FindKanal(511, k));
    EXPECT_EQ(k, &K(511));
    EXPECT_THROW(L->GetKanal(0), EPvError);
    EXPECT_THROW(L->GetKanal(730), EPvError);
}

TEST_F(LichtpultTest, HtpOutputThroughMastersWithoutOverflow)
{
    Run("K1P200");
    ModuleMaster->Pultmaster = 128;
    Tick();
    EXPECT_EQ(K(1).Output, 100);   // 200 x 128 div 255

    ModuleMaster->Pultmaster = 300;   // not clamped
    Tick();
    EXPECT_EQ(K(1).Output, 235);
    Run("K1P300");
    Tick();
    EXPECT_EQ(K(1).Output, 255);

    ModuleMaster->Pultmaster = 255;
    Run("K1P200");
    L->SetGrandmaster(128);
    Tick();
    EXPECT_EQ(K(1).Output, 100);   // 200 x 128 div 255
    L->SetGrandmaster(-4);
    EXPECT_EQ(L->Grandmaster, 0);
    L->SetGrandmaster(999);
    EXPECT_EQ(L->Grandmaster, 255);

    // Products beyond 32 bits: huge levels and masters still clamp to full, and a
    // negative product to dark, instead of wrapping around.
    Run("K1P2000000000");
    ModuleMaster->Pultmaster = 2000000000;
    Run("K2P-2000000000");
    Tick();
    EXPECT_EQ(K(1).Output, 255);
    EXPECT_EQ(K(2).Output, 0);
    ModuleMaster->Pultmaster = 1;
    L->SetGrandmaster(200);   // 7843137 x 200 exceeds 32 bits
    Tick();
    EXPECT_EQ(K(1).Output, 255);
}

TEST_F(LichtpultTest, LtpDirektAndUnknownModesIgnoreMasters)
{
    ModuleMaster->Pultmaster = 0;
    L->SetGrandmaster(0);
    Run("K1S1P90");
    Run("K2S2P77");
    Run("K3P40");
    Tick();
    EXPECT_EQ(K(1).Output, 90);
    EXPECT_EQ(K(2).Output, 77);
    EXPECT_EQ(K(3).Output, 0);

    // A mode outside 0..4 leaves the output as it is.
    ModuleMaster->Pultmaster = 255;
    L->SetGrandmaster(255);
    Tick();
    EXPECT_EQ(K(3).Output, 40);
    Run("K3S-1P200");
    EXPECT_EQ(K(3).Modus, -1);
    Tick();
    EXPECT_EQ(K(3).Output, 40);
    Run("K3S7");
    EXPECT_EQ(K(3).Modus, kmHTP);
}

TEST_F(LichtpultTest, SceneLaneInConsoleAndPlaybackMode)
{
    L->StartCrossfade(Scene({{1, 150}}), 0, false);
    Tick();
    ASSERT_EQ(State(), 5);
    EXPECT_EQ(K(1).FadeMax.Current, 150);

    Run("K1P200");
    ModuleMaster->Pultmaster = 128;
    Tick();
    EXPECT_EQ(K(1).Output, 150);   // console mode: the scene stays with the faders

    L->Ablauf = true;   // without the level take-over of SetAblauf
    Tick();
    EXPECT_EQ(K(1).Output, 100);   // playback mode, no fade running: the faders alone
    SetState(0);
    Tick();
    EXPECT_EQ(K(1).Output, 100);
    SetState(2);   // paused: the scene lane counts again
    Tick();
    EXPECT_EQ(K(1).Output, 150);
}

TEST_F(LichtpultTest, LampProtectionLimitsRisesOnly)
{
    L->SetLampenschonung(true);
    Run("K1P255");
    std::vector<int> outputs;
    for (int i = 0; i < 12; ++i) {
        Tick();
        outputs.push_back(K(1).Output);
    }
    EXPECT_EQ(outputs, (std::vector<int>{24, 48, 72, 96, 120, 144, 168, 192, 216, 240, 255, 255}));
    Run("K1P0");
    Tick();
    EXPECT_EQ(K(1).Output, 0);   // falls are not limited
}

TEST_F(LichtpultTest, SwitchingLampProtectionOnKeepsALitStage)
{
    Run("K1P255");
    Tick(3);
    ASSERT_EQ(K(1).Output, 255);
    L->SetLampenschonung(true);
    Tick();
    EXPECT_EQ(K(1).Output, 255);
    Run("K1P0");
    Tick();
    Run("K1P100");
    Tick();
    EXPECT_EQ(K(1).Output, 24);
}

TEST_F(LichtpultTest, LtpFollowsTheSceneLaneDuringAFade)
{
    ModuleMaster->Pultmaster = 0;
    L->SetGrandmaster(10);
    Run("K2S1");
    L->StartCrossfade(Scene({{2, 200}}), 10, false);   // 1 s
    Tick(5);   // 200 ms: f = 200 / 1000.001
    EXPECT_EQ(K(2).Output, 40);
    EXPECT_EQ(K(2).Output, K(2).FadeA.Current);
    Tick(21);
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(K(2).Output, 200);
    Tick();
    EXPECT_EQ(K(2).Output, 200);   // the fader has not moved: the scene stays
    Run("K2P50");
    Tick();
    EXPECT_EQ(K(2).Output, 50);   // a fader move takes over at once
}

TEST_F(LichtpultTest, LtpDoesNotReuseAnEarlierFadesLane)
{
    Run("K2S1");
    L->StartCrossfade(Scene({{2, 255}}), 0, false);
    Tick();
    ASSERT_EQ(K(2).Output, 255);
    Run("K2P10");   // the operator takes the channel on the fader ...
    Tick();
    Run("K2P0");    // ... and pulls it down
    Tick();
    ASSERT_EQ(K(2).Output, 0);

    // The next scene holds 0 for it: start and target are both 0.
    L->StartCrossfade(Scene({}), 10, false);
    for (int i = 0; i < 30; ++i) {
        Tick();
        EXPECT_EQ(K(2).Output, 0) << "tick " << i;
    }
    EXPECT_EQ(State(), 5);
}

TEST_F(LichtpultTest, BlinkFollowsTheFadeClock)
{
    Run("K3P255S3G10A50");   // period 1000 ms, 50 % on, phase 0
    Run("K4P255S3G10A50W180");
    for (int i = 1; i <= 50; ++i) {
        Tick();
        const bool firstHalf = FadeClock % 1000 < 500;
        EXPECT_EQ(K(3).Output, firstHalf ? 255 : 0) << FadeClock;
        EXPECT_EQ(K(4).Output, firstHalf ? 0 : 255) << FadeClock;
    }

    Run("K3P128");
    FadeClock = 960;   // next tick: 1000, the start of a period
    Tick();
    EXPECT_EQ(K(3).Output, 64);   // 128 x 255 x 128 div 65025

    // Pause freezes the phase.
    FadeClock = 960;
    FadeFactor = 0.0f;
    Tick(30);
    EXPECT_EQ(K(3).Output, 0);
}

TEST_F(LichtpultTest, BlinkWithoutPeriodIsSteady)
{
    Run("K3P255S3G0A50");
    Run("K4P255S3G-1A0");
    Run("K5P255S4G0");
    int flickerOn = 0, flickerOff = 0;
    for (int i = 0; i < 200; ++i) {
        Tick();
        EXPECT_EQ(K(3).Output, 255);
        EXPECT_EQ(K(4).Output, 0);
        const int v = K(5).Output;
        if (v == 0) {
            ++flickerOff;
        } else {
            ++flickerOn;
            EXPECT_GE(v, 127);   // Random(255) div 2 + 127
            EXPECT_LE(v, 254);
        }
    }
    EXPECT_GT(flickerOn, 0);
    EXPECT_GT(flickerOff, 0);
}

TEST_F(LichtpultTest, FlickerStaysInItsWindowAndDarkWithoutLevel)
{
    Run("K5P255S4G10");
    Run("K6P0S4G10");
    Run("K7P-5S4G10");
    for (int i = 0; i < 100; ++i) {
        Tick();
        // In the last tenth of each period r / 10 is never above the fraction.
        if (FadeClock % 1000 >= 900) {
            EXPECT_EQ(K(5).Output, 0) << FadeClock;
        }
        EXPECT_EQ(K(6).Output, 0);
        EXPECT_EQ(K(7).Output, 0);
    }
}

TEST_F(LichtpultTest, CrossfadeWithoutTimeIsACut)
{
    Group(0, 5, 200);
    const TLevelArray scene = Scene({{1, 100}, {2, 50}, {511, 255}});
    L->StartCrossfade(scene, 0, false);
    EXPECT_EQ(State(), 1);
    EXPECT_EQ(L->FadeDauer, 0);
    EXPECT_EQ(L->FadeStart, FadeClock);
    Tick();
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(ModuleMaster->Restzeit, 0);
    EXPECT_EQ(K(1).Output, 100);
    EXPECT_EQ(K(2).Output, 50);
    // The scene's group fader is on the group lane: the group's channels stay lit
    // although the group fader itself is down.
    EXPECT_EQ(K(511).Pegel, 0);
    EXPECT_EQ(K(5).FadeB.Current, 200);
    EXPECT_EQ(K(5).Output, 200);

    // With the fade clock standing still the targets are reached all the same;
    // the fade ends once the clock moves.
    L->StartCrossfade(Scene({{1, 30}}), 0, false);
    FadeFactor = 0.0f;
    Tick();
    EXPECT_EQ(K(1).Output, 30);
    EXPECT_EQ(State(), 1);
    FadeFactor = 1.0f;
    Tick();
    EXPECT_EQ(State(), 5);

    // A negative time is no time.
    L->StartCrossfade(Scene({{1, 70}}), -3, false);
    EXPECT_EQ(L->FadeDauer, 0);
    Tick();
    EXPECT_EQ(K(1).Output, 70);
}

TEST_F(LichtpultTest, ReverseFadeStopsAtItsStart)
{
    L->StartCrossfade(Scene({{1, 100}}), 0, false);
    Tick();
    L->SetAblauf(true);
    L->StartCrossfade(Scene({{1, 200}}), 10, false);
    Tick(5);
    ASSERT_EQ(K(1).FadeA.Current, 120);   // 100 + 100 x 200 / 1000.001
    SetState(4);
    for (int i = 0; i < 10 && State() != 5; ++i)
        Tick();
    ASSERT_EQ(State(), 5);
    EXPECT_LT(FadeClock, L->FadeStart);
    EXPECT_EQ(K(1).FadeA.Current, 100);
    EXPECT_EQ(K(1).FadeMax.Current, 100);
    EXPECT_EQ(K(1).Pegel, 100);
    EXPECT_EQ(K(2).FadeA.Current, 0);

    // A cut running backwards still cuts.
    L->StartCrossfade(Scene({{1, 180}}), 0, false);
    SetState(4);
    Tick();
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(K(1).FadeA.Current, 180);
    EXPECT_EQ(K(1).Output, 180);
}

TEST_F(LichtpultTest, CrossfadeLaneStepsByMode)
{
    // Channels 1..5: HTP, LTP, Direkt, Blinken, unknown; each from 0 towards 5.
    const int modes[] = {kmHTP, kmLTP, kmDirekt, kmBlinken, -1};
    for (int nr = 1; nr <= 5; ++nr) {
        TKanal& k = K(nr);
        k.SetModus(modes[nr - 1]);
        for (TFadeTriple* lane : {&k.FadeA, &k.FadeB, &k.FadeMax}) {
            lane->SetStart(0);
            lane->SetTarget(5);
            lane->SetCurrent(-9);
        }
    }
    L->Ablauf = true;
    for (int nr = 1; nr <= 5; ++nr)
        L->CrossfadeKanalStep(K(nr), 0.5f);   // 2.5: halves go to the even neighbour

    EXPECT_EQ(K(1).FadeA.Current, 2);
    EXPECT_EQ(K(1).FadeB.Current, 2);
    EXPECT_EQ(K(1).FadeMax.Current, 2);
    EXPECT_EQ(K(1).Pegel, 2);
    EXPECT_EQ(K(1).Output, 0);   // HTP outputs come from the tick's output step

    EXPECT_EQ(K(2).FadeA.Current, 2);
    EXPECT_EQ(K(2).FadeB.Current, -9);
    EXPECT_EQ(K(2).Output, 2);
    EXPECT_EQ(K(2).Pegel, 2);

    EXPECT_EQ(K(3).FadeA.Current, 2);
    EXPECT_EQ(K(3).FadeMax.Current, -9);
    EXPECT_EQ(K(3).Pegel, 0);

    EXPECT_EQ(K(4).FadeMax.Current, 2);
    EXPECT_EQ(K(5).FadeA.Current, -9);

    K(1).FadeA.SetTarget(7);   // 3.5 goes up to 4
    L->CrossfadeKanalStep(K(1), 0.5f);
    EXPECT_EQ(K(1).FadeA.Current, 4);
}

TEST_F(LichtpultTest, GroupsMixHighestTakesPrecedence)
{
    Group(0, 5, 200);
    Run("K511P255");
    ModuleMaster->Pultmaster = 0;
    Tick();
    EXPECT_EQ(K(5).Output, 200);   // groups bypass the console master

    L->SetGrandmaster(128);
    Tick();
    EXPECT_EQ(K(5).Output, 100);   // ... but not the grand master
    L->SetGrandmaster(255);

    Group(1, 5, 255);
    Run("K512P128");
    Tick();
    EXPECT_EQ(K(5).Output, 200);
    Run("K511P100");   // 200 x 100 div 255 = 78 against 255 x 128 div 255 = 128
    Tick();
    EXPECT_EQ(K(5).Output, 128);

    // Only HTP channels outside the group block take group levels.
    Group(0, 6, 255);
    Group(0, 513, 255);
    Group(0, 600, 90);
    Group(0, 700, 255);
    Run("K6S1P10");
    Run("K511P255");
    Tick();
    EXPECT_EQ(K(6).Output, 10);
    EXPECT_EQ(K(513).Output, 0);
    EXPECT_EQ(K(600).Output, 90);
    EXPECT_EQ(K(700).Output, 255);

    // A group fader above full (levels are not clamped) scales past the scene's level.
    Group(2, 8, 100);
    Run("K513P510");
    L->SetGrandmaster(100);
    Tick();
    EXPECT_EQ(K(8).GroupLevel, 200);
    EXPECT_EQ(K(8).Output, 78);   // 200 x 100 div 255
    EXPECT_EQ(K(5).GroupLevel, 200);

    Run("K511P0");
    Run("K512P0");
    Run("K513P0");
    Tick();
    EXPECT_EQ(K(5).GroupLevel, 0);
    EXPECT_EQ(K(5).Output, 0);
}

TEST_F(LichtpultTest, ChaserStepsOncePerTakt)
{
    // Channel 571: 4 steps of 1 s, entry i lights channel 10 + i in step i.
    TKanal& c = K(571);
    c.SetTakt(25);
    c.SetSchrittZahl(4);
    c.SetEintragZahl(4);
    c.SetFadeModus(0);
    for (int i = 1; i <= 4; ++i) {
        c.SetEintrag(i, -1, 10 + i);
        c.SetEintrag(i, i, 255);
    }
    const auto lit = [] {
        std::vector<int> on;
        for (int nr = 11; nr <= 14; ++nr)
            if (K(nr).Output > 0)
                on.push_back(nr);
        return on;
    };

    Run("K571P255");
    Tick();   // the chaser's output rises; the sequence starts on the next tick
    EXPECT_EQ(c.Output, 255);
    EXPECT_TRUE(lit().empty());
    std::vector<int> sequence;
    for (int i = 0; i < 25 * 5; ++i) {
        Tick();
        const std::vector<int> on = lit();
        ASSERT_EQ(on.size(), 1u) << "tick " << i;
        EXPECT_EQ(on[0], 10 + c.CurrentStep);
        EXPECT_EQ(K(on[0]).Output, 255);
        if (sequence.empty() || sequence.back() != on[0])
            sequence.push_back(on[0]);
        if (i % 25 == 0) {
            EXPECT_EQ(c.CurrentStep, i / 25 % 4 + 1) << "tick " << i;
        }
    }
    EXPECT_EQ(sequence, (std::vector<int>{11, 12, 13, 14, 11}));

    // Down for a tick, then up again: the sequence restarts at step 1.
    Run("K571P0");
    Tick(2);
    EXPECT_EQ(c.Output, 0);
    EXPECT_EQ(c.SequenceStart, 0);
    Run("K571P128");
    Tick(2);
    EXPECT_EQ(c.CurrentStep, 1);
    EXPECT_EQ(K(11).Output, 128);   // the entry's level through the chaser's output
}

TEST_F(LichtpultTest, SequenceFadeModesAtExactHalves)
{
    TKanal& c = K(572);
    c.SetSchrittZahl(2);
    c.SetEintragZahl(5);
    // entry: target, step 1 (new), step 2 (the previous step of step 1)
    const int table[5][3] = {{20, 5, 0}, {21, 3, 8}, {22, 9, 9}, {0, 50, 0}, {800, 50, 0}};
    for (int i = 0; i < 5; ++i) {
        c.SetEintrag(i + 1, -1, table[i][0]);
        c.SetEintrag(i + 1, 1, table[i][1]);
        c.SetEintrag(i + 1, 2, table[i][2]);
    }
    c.SetOutput(255);
    struct Expect {
        int modus;
        int e20, e21, e22;
    };
    const Expect cases[] = {
        {0, 5, 3, 9},
        {1, 2, 2, 9},   // Round(2.5), Round(1.5)
        {2, 3, 1, 9},   // 5 - 2, 3 - 2
        {3, 2, 6, 9},   // Round(2.5), Round(-2.5 + 8)
        {7, 5, 3, 9},   // unknown modes step hard
        {-1, 5, 3, 9},
    };
    for (const Expect& e : cases) {
        c.SetFadeModus(e.modus);
        for (int nr = 20; nr <= 22; ++nr)
            K(nr).SetGroupLevel(0);
        L->ApplySequenceStep(c, 1, 0.5f);
        EXPECT_EQ(K(20).GroupLevel, e.e20) << "mode " << e.modus;
        EXPECT_EQ(K(21).GroupLevel, e.e21) << "mode " << e.modus;
        EXPECT_EQ(K(22).GroupLevel, e.e22) << "mode " << e.modus;
    }

    // The chaser's own output scales the levels, and only raises a target.
    c.SetFadeModus(0);
    c.SetOutput(128);
    K(20).SetGroupLevel(1);
    K(22).SetGroupLevel(100);
    L->ApplySequenceStep(c, 1, 0.0f);
    EXPECT_EQ(K(20).GroupLevel, 2);   // 128 x 5 div 255
    EXPECT_EQ(K(22).GroupLevel, 100);

    // Through the tick: Takt 2 gives f = 0.5 exactly 40 ms into a step.
    c.SetFadeModus(1);
    c.SetTakt(2);
    c.SetOutput(0);
    Run("K572P255");
    Tick(3);   // output rises, step 1 starts, 40 ms into step 1
    EXPECT_EQ(c.CurrentStep, 1);
    EXPECT_EQ(K(20).Output, 2);
    EXPECT_EQ(K(21).Output, 2);
}

TEST_F(LichtpultTest, KanalCommand)
{
    KanalLog log(L);
    Run("K1%50");
    EXPECT_EQ(K(1).Pegel, 128);
    Run("K1%10");
    EXPECT_EQ(K(1).Pegel, 26);
    Run("K1%30");
    EXPECT_EQ(K(1).Pegel, 76);
    Run("K1%70");
    EXPECT_EQ(K(1).Pegel, 178);

    log.Entries.clear();
    Run("K800P100");
    Run("K0P100");
    Run("KP100");
    Run("F1P100");
    Run("F");
    EXPECT_TRUE(log.Entries.empty());

    // Lower case, several values in one line, unknown letters skipped.
    Run("k12p255x9s3g5a20w90");
    EXPECT_EQ(K(12).Pegel, 255);
    EXPECT_EQ(K(12).Modus, kmBlinken);
    EXPECT_EQ(K(12).BlinkPeriod, 500);
    EXPECT_EQ(K(12).BlinkDuty, 20);
    EXPECT_EQ(K(12).BlinkPhase, 90);
    Run("K12F200B30I4V99H7L17");
    EXPECT_EQ(K(12).FlashPegel, 200);
    EXPECT_EQ(K(12).BlackoutPegel, 30);
    EXPECT_EQ(K(12).Icon, 4);
    EXPECT_EQ(K(12).VF, 99);
    EXPECT_EQ(K(12).HF, 7);
    EXPECT_EQ(K(12).Pegel, 17);

    // A malformed number is stored as -1; the output clamps it.
    Run("K1P");
    EXPECT_EQ(K(1).Pegel, -1);
    Tick();
    EXPECT_EQ(K(1).Output, 0);
}

TEST_F(LichtpultTest, FaderArraysBlackOutAndPlaybackMode)
{
    Run("K1P10");
    Run("K2S1P10");
    Run("K3S2P10");
    Run("K4S3P10");
    Run("K2B7");
    L->SetPegelFromArray(Scene({{1, 100}, {2, 110}, {3, 120}, {4, 130}}));
    EXPECT_EQ(K(1).Pegel, 100);
    EXPECT_EQ(K(2).Pegel, 110);
    EXPECT_EQ(K(3).Pegel, 10);
    EXPECT_EQ(K(4).Pegel, 10);
    L->BlackOut();
    EXPECT_EQ(K(1).Pegel, 0);
    EXPECT_EQ(K(2).Pegel, 7);
    EXPECT_EQ(K(3).Pegel, 10);

    // A finished scene on stage: switching to playback mode copies the outputs into
    // the levels, so the stage stays as it is.
    Run("K2P0");
    L->StartCrossfade(Scene({{1, 180}, {2, 90}, {5, 60}}), 0, false);
    Tick();
    ASSERT_EQ(K(1).Output, 180);
    L->SetAblauf(true);
    EXPECT_EQ(K(1).Pegel, 180);
    EXPECT_EQ(K(2).Pegel, 90);
    EXPECT_EQ(K(3).Pegel, 10);   // every mode takes its output
    EXPECT_EQ(K(5).Pegel, 60);
    Tick();
    EXPECT_EQ(K(1).Output, 180);
    EXPECT_EQ(K(2).Output, 90);
    EXPECT_EQ(K(5).Output, 60);

    // Back to console mode the levels take the outputs as well, masters included.
    ModuleMaster->Pultmaster = 128;
    Tick();
    ASSERT_EQ(K(5).Output, 30);
    L->SetAblauf(false);
    EXPECT_FALSE(L->Ablauf);
    EXPECT_EQ(K(5).Pegel, 30);
}

TEST_F(LichtpultTest, NewProjectResetsChannelsButNotTheStage)
{
    Run("K7P90S1F10B20I3V4H5");
    K(7).SetName("Spot");
    K(7).FadeA.SetCurrent(44);
    K(7).SetOutput(90);
    K(7).SetBlinkPeriod(3);
    L->NewProject();
    TKanal& k = K(7);
    EXPECT_EQ(k.Name, "");
    EXPECT_EQ(k.FlashPegel, 255);
    EXPECT_EQ(k.BlackoutPegel, 0);
    EXPECT_EQ(k.Modus, kmHTP);
    EXPECT_EQ(k.Pegel, 0);
    EXPECT_EQ(k.Icon, -1);
    EXPECT_EQ(k.VF, 0);
    EXPECT_EQ(k.HF, 10);
    EXPECT_EQ(k.FadeA.Current, 44);
    EXPECT_EQ(k.Output, 90);
    EXPECT_EQ(k.BlinkPeriod, 300);
}

TEST_F(LichtpultTest, NotificationsReachListenersOnlyOnChanges)
{
    int ticks = 0;
    const auto tickConnection = QObject::connect(L->Signals(), &TLichtpultSignals::tickDone, [&ticks] { ++ticks; });
    {
        KanalLog log(L);
        Run("K9P40");
        Tick();
        EXPECT_EQ(log.Entries, (std::vector<std::pair<int, int>>{{9, kcPegel}, {9, kcOutput}}));
        log.Entries.clear();
        Tick(3);   // nothing changes: an idle console repaints nothing
        EXPECT_TRUE(log.Entries.empty());
        EXPECT_EQ(ticks, 4);
    }
    // Disconnected: the engine runs on without listeners.
    Run("K9P41");
    Tick();
    EXPECT_EQ(K(9).Output, 41);
    QObject::disconnect(tickConnection);
    Tick();
    EXPECT_EQ(ticks, 5);

    bool shown = false;
    QObject::connect(L->Signals(), &TLichtpultSignals::prozentChanged, [&shown](bool on) { shown = on; });
    EXPECT_EQ(L->FormatLevel(128), "128");
    L->SetProzent(true);
    EXPECT_TRUE(shown);
    EXPECT_EQ(L->FormatLevel(128), "50");
    EXPECT_EQ(L->FormatLevel(255), "100");
    EXPECT_EQ(L->FormatLevel(26), "10");
}

TEST_F(LichtpultTest, NestedSceneRecallOwnsTheTiming)
{
    // A scene macro line K9P1 stands in for a line that recalls another scene: the
    // scene store is driven from the notification it causes.
    ModuleMaster->SetStateCommands(std::make_shared<const QStringList>(QStringList{"K9P1"}));
    bool recalled = false;
    const auto c = QObject::connect(L->Signals(), &TLichtpultSignals::kanalChanged, [&](int nr, int code) {
        if (nr == 9 && code == kcPegel && !recalled) {
            recalled = true;
            L->StartCrossfade(Scene({{1, 200}}), 20, false);
        }
    });
    L->StartCrossfade(Scene({{1, 100}}), 50, false);
    QObject::disconnect(c);
    ASSERT_TRUE(recalled);
    EXPECT_EQ(L->FadeDauer, 2000);
    EXPECT_EQ(K(1).FadeA.Target, 200);
    Tick(50);
    EXPECT_EQ(State(), 1);
    Tick();
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(K(1).Output, 200);
}

TEST_F(LichtpultTest, SelfRecallingSceneStopsAtTheNestingLimit)
{
    TErrorLog::Instance().Clear();
    ModuleMaster->SetStateCommands(std::make_shared<const QStringList>(QStringList{"K9P1"}));
    int starts = 1;
    const auto c = QObject::connect(L->Signals(), &TLichtpultSignals::kanalChanged, [&](int nr, int code) {
        if (nr == 9 && code == kcPegel && K(9).Pegel == 1) {
            K(9).SetPegel(0);   // so that the next run of the line changes it again
            ++starts;
            L->StartCrossfade(Scene({{1, 10 * starts}}), starts, false);
        }
    });
    L->StartCrossfade(Scene({{1, 10}}), 1, false);
    QObject::disconnect(c);
    EXPECT_EQ(starts, TModuleLichtpult::MaxCrossfadeDepth + 1);   // the last one was refused
    EXPECT_EQ(WarningsContaining("Überblendung zu tief verschachtelt"), 1);
    EXPECT_EQ(L->FadeDauer, 400);   // the innermost start that ran
    EXPECT_EQ(K(1).FadeA.Target, 40);
    EXPECT_EQ(State(), 1);

    // The engine is whole afterwards.
    ModuleMaster->SetStateCommands(nullptr);
    L->StartCrossfade(Scene({{1, 77}}), 0, false);
    Tick();
    EXPECT_EQ(K(1).Output, 77);
}
