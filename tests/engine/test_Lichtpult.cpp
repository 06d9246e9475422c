// The console module's engine on the whole engine, headless: the output of each
// mode under the masters and the group faders, crossfades, step sequences, the
// K command, playback mode and the change notifications. Ticks are driven by hand,
// so every clock value is exact: after n ticks at speed 1 the clocks stand at 40 x n ms.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Szenen.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
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
        ASSERT_TRUE(L && ModuleMaster && ModuleSzenen);
    }

    static void Run(const QString& line) { ModuleMain->ExecuteLines({line}, false); }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static int Out(int nr) { return K(nr).Output; }
    static void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            ModuleMain->ClockTick();
    }
    static int State() { return ModuleMaster->GetMasterState(); }
    // Ticks until done holds, at most limit ticks.
    static bool WaitForTicks(const std::function<bool()>& done, int limit)
    {
        for (int i = 0; i < limit && !done(); ++i)
            Tick();
        return done();
    }
    static void Group(int g, int nr, int level)
    {
        // The group's current version, made on first use.
        TGroupSzene& group = ModuleSzenen->GetGroupScene(g);
        if (group.Versionen.empty()) {
            group.Versionen.emplace_back().Name = QStringLiteral("2026-01-01 20:00:00");
            ModuleSzenen->SelectVersion(g, group.Versionen.back().Name);
        }
        group.Versionen[static_cast<std::size_t>(group.AktuellIndex)].Levels[static_cast<std::size_t>(nr)] =
            static_cast<std::uint8_t>(level);
    }
    static void Fade(std::initializer_list<std::pair<int, int>> values, int tenths)
    {
        TLevelArray a{};
        for (const auto& [nr, level] : values)
            a[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>(level);
        ModuleLichtpult->StartCrossfade(a, tenths, false);
    }
    // The scene's macro lines: "K9P1" stands in for a line that recalls a scene, which
    // the test then does from the notification it causes.
    QMetaObject::Connection RecallOnK9(const std::function<void()>& recall)
    {
        ModuleMaster->SetStateCommands(std::make_shared<const QStringList>(QStringList{"K9P1"}));
        return QObject::connect(L->Signals(), &TLichtpultSignals::kanalChanged, [recall](int nr, int code) {
            if (nr == 9 && code == kcPegel && K(9).Pegel == 1) {
                K(9).SetPegel(0);   // so that the next run of the line changes it again
                recall();
            }
        });
    }

    TEngine Engine;
    TModuleLichtpult* L = nullptr;
};

}   // namespace

TEST_F(LichtpultTest, OutputOfEachModeUnderTheMasters)
{
    Run("K1P200");
    Run("K2S1P90");
    Run("K3S2P77");
    ModuleMaster->Pultmaster = 128;
    Tick();
    EXPECT_EQ(Out(1), 100);   // 200 x 128 div 255
    ModuleMaster->Pultmaster = 300;   // not clamped
    L->SetGrandmaster(128);
    Tick();
    EXPECT_EQ(Out(1), 117);   // 235 x 128 div 255
    ModuleMaster->Pultmaster = 0;
    L->SetGrandmaster(0);
    Tick();
    EXPECT_EQ(Out(1), 0);
    EXPECT_EQ(Out(2), 90);   // LTP and Direkt ignore the masters
    EXPECT_EQ(Out(3), 77);

    // Products beyond 32 bits clamp instead of wrapping around.
    L->SetGrandmaster(200);
    ModuleMaster->Pultmaster = 2000000000;
    Run("K1P2000000000");
    Run("K4P-2000000000");
    Tick();
    EXPECT_EQ(Out(1), 255);
    EXPECT_EQ(Out(4), 0);
    L->SetGrandmaster(999);
    EXPECT_EQ(L->Grandmaster, 255);

    // A mode outside 0..4 keeps its output.
    Run("K3S-1P5");
    Tick();
    EXPECT_EQ(Out(3), 77);
}

TEST_F(LichtpultTest, SceneLaneCountsInConsoleModeAndDuringFades)
{
    Fade({{1, 150}}, 0);
    Tick();
    ASSERT_EQ(State(), 5);
    Run("K1P200");
    ModuleMaster->Pultmaster = 128;
    Tick();
    EXPECT_EQ(Out(1), 150);   // console mode: highest takes precedence
    L->Ablauf = true;          // (without SetAblauf's level take-over)
    Tick();
    EXPECT_EQ(Out(1), 100);   // playback mode, no fade: the faders alone
    ModuleMaster->SetMasterState(2);
    Tick();
    EXPECT_EQ(Out(1), 150);
}

TEST_F(LichtpultTest, LampProtectionLimitsRisesAndKeepsALitStage)
{
    Run("K1P255");
    Run("K2P255");
    Tick();
    L->SetLampenschonung(true);   // channel 2 is lit already: it must not dip
    Run("K2P255");
    Run("K1P0");
    Tick();
    Run("K1P255");
    std::vector<int> rise;
    for (int i = 0; i < 11; ++i) {
        Tick();
        rise.push_back(Out(1));
        EXPECT_EQ(Out(2), 255);
    }
    EXPECT_EQ(rise, (std::vector<int>{24, 48, 72, 96, 120, 144, 168, 192, 216, 240, 255}));
    Run("K1P0");
    Tick();
    EXPECT_EQ(Out(1), 0);   // falls are not limited
}

TEST_F(LichtpultTest, LtpFollowsTheFadeThenTheFader)
{
    ModuleMaster->Pultmaster = 0;
    L->SetGrandmaster(10);
    Run("K2S1");
    Fade({{2, 200}}, 10);
    Tick(5);
    EXPECT_EQ(Out(2), 40);   // 200 x 200 / 1000.001, regardless of masters
    Tick(21);
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(Out(2), 200);
    Run("K2P50");
    Tick();
    EXPECT_EQ(Out(2), 50);   // after the fade a fader move takes over at once

    // The next scene holds the level the channel has: the channel must not jump to
    // the previous fade's 200 left in its lane.
    Run("K2P0");
    Tick();
    Fade({}, 10);
    for (int i = 0; i < 27; ++i) {
        Tick();
        ASSERT_EQ(Out(2), 0) << "tick " << i;
    }
    EXPECT_EQ(State(), 5);
}

TEST_F(LichtpultTest, BlinkAndFlicker)
{
    Run("K3P255S3G10A50");       // 1 s period, 50 % on
    Run("K4P255S3G10A50W180");   // half a period later
    for (int i = 0; i < 50; ++i) {
        Tick();
        const bool firstHalf = FadeClock % 1000 < 500;
        ASSERT_EQ(Out(3), firstHalf ? 255 : 0) << FadeClock;
        ASSERT_EQ(Out(4), firstHalf ? 0 : 255) << FadeClock;
    }
    Run("K3P128");
    FadeClock = 960;
    Tick();
    EXPECT_EQ(Out(3), 64);   // 128 x 255 x 128 div 65025
    FadeFactor = 0.0f;        // pause freezes the phase
    FadeClock = 960;
    Tick(30);
    EXPECT_EQ(Out(3), 0);

    // Flicker lights at most up to r / 10 of the period, between half and full level.
    FadeFactor = 1.0f;
    Run("K5P255S4G10");
    for (int i = 0; i < 100; ++i) {
        Tick();
        if (FadeClock % 1000 >= 900) {
            ASSERT_EQ(Out(5), 0) << FadeClock;
        }
        ASSERT_TRUE(Out(5) == 0 || (Out(5) >= 127 && Out(5) <= 254)) << Out(5);
    }
}

TEST_F(LichtpultTest, BlinkWithoutPeriodAndFlickerWithoutLevel)
{
    Run("K3P255S3G0A50");   // no period: steadily on while the duty is above 0
    Run("K4P255S3G-1A0");
    Run("K5P255S4G0");      // flickers on every draw r >= 1
    Run("K6P0S4G10");       // Random(0)
    Run("K7P-5S4G10");
    int on = 0, off = 0;
    for (int i = 0; i < 200; ++i) {
        Tick();
        ASSERT_EQ(Out(3), 255);
        ASSERT_EQ(Out(4), 0);
        ASSERT_EQ(Out(6) + Out(7), 0);
        (Out(5) > 0 ? on : off) += 1;
    }
    EXPECT_GT(on, 0);
    EXPECT_GT(off, 0);
}

TEST_F(LichtpultTest, CrossfadeWithoutTimeIsACut)
{
    Group(0, 5, 200);
    Fade({{1, 100}, {511, 255}}, 0);
    EXPECT_EQ(State(), 1);
    Tick();
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(Out(1), 100);
    EXPECT_EQ(ModuleMaster->Restzeit, 0);
    // The scene's group fader reaches channel 5 through the group lane although
    // the group fader itself stays down.
    EXPECT_EQ(K(511).Pegel, 0);
    EXPECT_EQ(Out(5), 200);

    // Like every fade, a cut moves only with the fade clock: while the clock stands
    // still (speed bar at its slow end, or paused) nothing changes, in either mode;
    // the first tick in which it moves reaches the targets and ends the fade. A
    // negative time is no time.
    for (const bool ablauf : {false, true}) {
        SCOPED_TRACE(ablauf);
        L->SetAblauf(ablauf);
        Run("K1P0");
        Fade({{1, 100}}, 0);
        Tick();
        ASSERT_EQ(Out(1), 100);
        Fade({{1, 30}}, 0);
        FadeFactor = 0.0f;
        Tick(3);
        EXPECT_EQ(Out(1), 100);
        EXPECT_EQ(K(1).FadeA.Current, 100);
        EXPECT_EQ(State(), 1);
        FadeFactor = 1.0f;
        Tick();
        EXPECT_EQ(Out(1), 30);
        EXPECT_EQ(State(), 5);
    }
    Fade({{1, 70}}, -3);
    EXPECT_EQ(L->FadeDauer, 0);
    Tick();
    EXPECT_EQ(Out(1), 70);
    EXPECT_EQ(State(), 5);
}

TEST_F(LichtpultTest, ReverseFadeStopsAtItsStart)
{
    Fade({{1, 100}}, 0);
    Tick();
    L->SetAblauf(true);
    Fade({{1, 200}}, 10);
    Tick(5);
    ASSERT_EQ(K(1).FadeA.Current, 120);
    ModuleMaster->SetMasterState(4);
    Tick(6);   // back past the start
    ASSERT_EQ(State(), 5);
    EXPECT_EQ(K(1).FadeA.Current, 100);   // not 96 from a fraction below 0
    EXPECT_EQ(K(1).FadeMax.Current, 100);
    EXPECT_EQ(K(1).Pegel, 100);

    // A cut sent backwards before the clock moved it forward ends at its start,
    // like any fade reversed at once.
    Fade({{1, 180}}, 0);
    ModuleMaster->SetMasterState(4);
    Tick();
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(Out(1), 100);
}

TEST_F(LichtpultTest, CrossfadeStepsEachModesLanesAtExactHalves)
{
    const int modes[] = {kmHTP, kmLTP, kmDirekt, kmFlackern, -1};
    for (int nr = 1; nr <= 5; ++nr) {
        K(nr).SetModus(modes[nr - 1]);
        for (TFadeTriple* lane : {&K(nr).FadeA, &K(nr).FadeB, &K(nr).FadeMax})
            *lane = TFadeTriple{0, nr == 1 ? 7 : 5, -9};
    }
    L->Ablauf = true;
    for (int nr = 1; nr <= 5; ++nr)
        L->CrossfadeKanalStep(K(nr), 0.5f);
    // HTP: all three lanes (3.5 -> 4), the level follows lane A, the output waits.
    EXPECT_EQ(K(1).FadeB.Current, 4);
    EXPECT_EQ(K(1).FadeMax.Current, 4);
    EXPECT_EQ(K(1).Pegel, 4);
    EXPECT_EQ(Out(1), 0);
    // LTP: lane A (2.5 -> 2) straight to the output; Direkt: lane A only.
    EXPECT_EQ(K(2).FadeB.Current, -9);
    EXPECT_EQ(Out(2), 2);
    EXPECT_EQ(K(2).Pegel, 2);
    EXPECT_EQ(K(3).FadeA.Current, 2);
    EXPECT_EQ(K(3).FadeMax.Current, -9);
    EXPECT_EQ(K(3).Pegel, 0);
    EXPECT_EQ(K(4).FadeMax.Current, 2);
    EXPECT_EQ(K(5).FadeA.Current, -9);
}

TEST_F(LichtpultTest, CrossfadeLanesRoundLikeExtendedPrecision)
{
    // Lanes round in double where that is exact; the result must agree with the
    // extended-precision computation for levels and far beyond, at real fades'
    // fractions and at tiny ones.
    const int values[] = {0, 1, 5, 128, 255, -3, 524287, -524288, 524288, 2147483647, -2147483647 - 1};
    std::vector<float> fractions = {0.0f, 0.5f, 1.0f, 1.0f / 3.0f, 0.999999f, 1.0f / 512.0f, 1.0f / 1024.0f, 1e-7f};
    for (int elapsed = 40; elapsed < 1000; elapsed += 40)
        fractions.push_back(static_cast<float>(elapsed / 1000.001L));
    TKanal& k = K(1);
    for (int start : values)
        for (int target : values)
            for (float f : fractions) {
                const int expected = RoundLerp(start, target, f, false);
                k.FadeA = TFadeTriple{start, target, 0};
                L->CrossfadeKanalStep(k, f);
                ASSERT_EQ(k.FadeA.Current, expected) << start << " -> " << target << " at " << f;
            }
}

TEST_F(LichtpultTest, GroupsMixHighestTakesPrecedence)
{
    Group(0, 5, 200);
    Group(1, 5, 255);
    Run("K511P255");
    ModuleMaster->Pultmaster = 0;
    Tick();
    EXPECT_EQ(Out(5), 200);   // groups bypass the console master ...
    L->SetGrandmaster(128);
    Tick();
    EXPECT_EQ(Out(5), 100);   // ... but not the grand master
    L->SetGrandmaster(255);
    Run("K511P100");
    Run("K512P128");
    Tick();
    EXPECT_EQ(Out(5), 128);   // max(200 x 100 div 255, 255 x 128 div 255)

    // Only HTP channels outside the group block take group levels.
    for (int nr : {6, 513, 600, 700})
        Group(0, nr, 90);
    Run("K6S1P10");
    Run("K511P255");
    Tick();
    EXPECT_EQ(Out(6), 10);
    EXPECT_EQ(Out(513), 0);
    EXPECT_EQ(Out(600), 90);
    EXPECT_EQ(Out(700), 90);

    // A group fader above full scales past the stored level.
    Group(2, 8, 100);
    Run("K513P510");
    L->SetGrandmaster(100);
    Tick();
    EXPECT_EQ(K(8).GroupLevel, 200);
    EXPECT_EQ(Out(8), 78);
}

TEST_F(LichtpultTest, ChaserLightsEachStepForOneTakt)
{
    TKanal& c = K(571);   // 4 steps of 1 s; entry i lights channel 10 + i in step i
    c.SetTakt(25);
    c.SetSchrittZahl(4);
    c.SetEintragZahl(4);
    for (int i = 1; i <= 4; ++i) {
        c.SetEintrag(i, -1, 10 + i);
        c.SetEintrag(i, i, 255);
    }
    const auto lit = [] {
        std::vector<int> on;
        for (int nr = 11; nr <= 14; ++nr)
            if (Out(nr) > 0)
                on.push_back(nr);
        return on;
    };
    Run("K571P255");
    Tick();   // the chaser's output rises; its sequence starts on the next tick
    EXPECT_TRUE(lit().empty());
    std::vector<int> order;
    for (int i = 0; i < 125; ++i) {
        Tick();
        const std::vector<int> on = lit();
        ASSERT_EQ(on, std::vector<int>{10 + c.CurrentStep}) << "tick " << i;
        ASSERT_EQ(c.CurrentStep, i / 25 % 4 + 1) << "tick " << i;
        if (order.empty() || order.back() != on[0])
            order.push_back(on[0]);
    }
    EXPECT_EQ(order, (std::vector<int>{11, 12, 13, 14, 11}));

    Run("K571P0");
    Tick(2);   // dark for a tick: the sequence restarts at step 1
    Run("K571P128");
    Tick(2);
    EXPECT_EQ(c.CurrentStep, 1);
    EXPECT_EQ(Out(11), 128);   // the step's level through the chaser's output
}

TEST_F(LichtpultTest, SequenceFadeModesAtExactHalves)
{
    TKanal& c = K(572);
    c.SetSchrittZahl(2);
    c.SetEintragZahl(5);
    // target, step 1, step 2 (the step before step 1); targets 0 and 800 are skipped
    const int table[5][3] = {{20, 5, 0}, {21, 3, 8}, {22, 9, 9}, {0, 50, 0}, {800, 50, 0}};
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 3; ++j)
            c.SetEintrag(i + 1, j == 0 ? -1 : j, table[i][j]);
    c.SetOutput(255);
    const int expected[][4] = {
        // mode, channel 20, 21, 22
        {0, 5, 3, 9}, {1, 2, 2, 9}, {2, 3, 1, 9}, {3, 2, 6, 9}, {7, 5, 3, 9}, {-1, 5, 3, 9}};
    for (const auto& e : expected) {
        c.SetFadeModus(e[0]);
        for (int nr = 20; nr <= 22; ++nr)
            K(nr).SetGroupLevel(0);
        L->ApplySequenceStep(c, 1, 0.5f);
        EXPECT_EQ((std::vector<int>{K(20).GroupLevel, K(21).GroupLevel, K(22).GroupLevel}),
                  (std::vector<int>{e[1], e[2], e[3]}))
            << "mode " << e[0];
    }

    // Through the tick: Takt 2 gives f = 0.5 exactly 40 ms into a step.
    c.SetFadeModus(1);
    c.SetTakt(2);
    c.SetOutput(0);
    Run("K572P255");
    Tick(3);   // output rises, step 1 starts, 40 ms into step 1
    EXPECT_EQ(c.CurrentStep, 1);
    EXPECT_EQ(Out(20), 2);
    EXPECT_EQ(Out(21), 2);
}

TEST_F(LichtpultTest, KanalCommand)
{
    const std::pair<const char*, int> percent[] = {{"K1%50", 128}, {"K1%10", 26}, {"K1%30", 76}, {"K1%100", 255}};
    for (const auto& [line, level] : percent) {
        Run(line);
        EXPECT_EQ(K(1).Pegel, level) << line;
    }

    int changes = 0;
    const auto c = QObject::connect(L->Signals(), &TLichtpultSignals::kanalChanged, [&changes] { ++changes; });
    for (const char* line : {"K800P100", "K0P100", "F1P100"})
        Run(line);
    QObject::disconnect(c);
    EXPECT_EQ(changes, 0);

    Run("k12p255x9s3g5a20w90");   // lower case, unknown letters skipped
    Run("K12F200B30I4V99H7");
    TKanal& k = K(12);
    EXPECT_EQ((std::vector<int>{k.Pegel, k.Modus, k.BlinkPeriod, k.BlinkDuty, k.BlinkPhase}),
              (std::vector<int>{255, kmBlinken, 500, 20, 90}));
    EXPECT_EQ((std::vector<int>{k.FlashPegel, k.BlackoutPegel, k.Icon, k.VF, k.HF}), (std::vector<int>{200, 30, 4, 99, 7}));

    Run("K1P");   // malformed: stored as -1, the output clamps it
    EXPECT_EQ(K(1).Pegel, -1);
    Tick();
    EXPECT_EQ(Out(1), 0);
}

TEST_F(LichtpultTest, FaderArraysBlackOutAndPlaybackMode)
{
    Run("K1P10");
    Run("K2S1P10B7");
    Run("K3S2P10");
    TLevelArray levels{};
    levels.fill(100);
    L->SetPegelFromArray(levels);
    EXPECT_EQ((std::vector<int>{K(1).Pegel, K(2).Pegel, K(3).Pegel}), (std::vector<int>{100, 100, 10}));
    L->BlackOut();
    EXPECT_EQ((std::vector<int>{K(1).Pegel, K(2).Pegel, K(3).Pegel}), (std::vector<int>{0, 7, 10}));

    // A finished scene on stage: switching to playback mode copies every output
    // into its level, so the stage stays as it is.
    Run("K2P0");
    Fade({{1, 180}, {2, 90}, {5, 60}}, 0);
    Tick();
    L->SetAblauf(true);
    EXPECT_EQ((std::vector<int>{K(1).Pegel, K(2).Pegel, K(3).Pegel, K(5).Pegel}), (std::vector<int>{180, 90, 10, 60}));
    Tick();
    EXPECT_EQ((std::vector<int>{Out(1), Out(2), Out(5)}), (std::vector<int>{180, 90, 60}));
    ModuleMaster->Pultmaster = 128;   // and back: the lane gives up what the master takes
    Tick();
    ASSERT_EQ(Out(5), 30);
    L->SetAblauf(false);
    EXPECT_EQ(K(5).Pegel, 60);
    Tick();
    EXPECT_EQ(Out(5), 30);
}

TEST_F(LichtpultTest, SwitchingModesLeavesTheFrameAsItIs)
{
    // Under both masters: an HTP fader, an HTP channel lit by the last scene, an LTP
    // channel that the scene moved, a Direkt channel above full, a channel blinking
    // (10 s period, caught in its dark half) and one flickering.
    ModuleMaster->SetPultmaster(128);
    ModuleMaster->SetGrandmaster(200);
    Run("K1P200");
    Run("K3S1P90");
    Run("K4S2P300");
    Run("K5S3P200G100A50W180");
    Run("K6S4P180");
    Tick();
    Fade({{2, 150}, {3, 40}}, 0);
    Tick(2);
    ASSERT_EQ(State(), 5);
    const auto frame = ModulePatch->DmxOutput;
    ASSERT_EQ((std::vector<int>{frame[0], frame[1], frame[2], frame[3], frame[4]}),
              (std::vector<int>{78, 117, 40, 255, 0}));   // 200 x 128 div 255 x 200 div 255; 150 x 200 div 255

    for (int i = 1; i <= 6; ++i) {
        SCOPED_TRACE(i);
        ModuleMaster->SetAblauf(i % 2 == 1);
        for (int t = 0; t < 2; ++t) {
            Tick();
            // The flickering slot draws anew every tick; every other slot holds.
            auto now = ModulePatch->DmxOutput;
            now[5] = frame[5];
            EXPECT_EQ(now, frame);
        }
    }
    EXPECT_FALSE(ModuleMaster->Ablauf);
    EXPECT_EQ(K(1).Pegel, 200);
    EXPECT_EQ(K(4).Pegel, 300);
    EXPECT_EQ(K(5).Pegel, 200);
    EXPECT_EQ(K(6).Pegel, 180);

    // The blinking channel was not put out: it lights in its bright half.
    ASSERT_TRUE(WaitForTicks([] { return ModulePatch->DmxOutput[4] > 0; }, 200));
    EXPECT_EQ(ModulePatch->DmxOutput[4], 61);   // 100 x 200 x 200 div 65025
}

TEST_F(LichtpultTest, ChannelsAndNewProject)
{
    TKanal* k = &K(1);
    EXPECT_FALSE(L->FindKanal(0, k));
    EXPECT_EQ(k, nullptr);
    EXPECT_FALSE(L->FindKanal(730, k));
    EXPECT_THROW(L->GetKanal(730), EPvError);
    ASSERT_TRUE(L->FindKanal(7, k));
    EXPECT_EQ(k->Nr, 7);

    // "Neu" resets what the operator set, but the last scene stays on stage.
    Run("K7P90S1F10B20I3V4H5");
    k->SetName("Spot");
    k->FadeA.SetCurrent(44);
    Tick();
    L->NewProject();
    EXPECT_EQ(k->Name, "");
    EXPECT_EQ((std::vector<int>{k->FlashPegel, k->BlackoutPegel, k->Modus, k->Pegel, k->Icon, k->VF, k->HF}),
              (std::vector<int>{255, 0, kmHTP, 0, -1, 0, 10}));
    EXPECT_EQ(k->FadeA.Current, 44);
    EXPECT_EQ(k->Output, 90);
}

TEST_F(LichtpultTest, NewShowNotifiesEachChangedSettingOnce)
{
    // What a new show changes on a channel is notified, and only that: a channel at
    // its defaults stays quiet; icon and colours (stored silently) notify kcIcon.
    const struct {
        std::function<void(TKanal&)> Set;
        std::vector<int> Codes;
    } cases[] = {
        {[](TKanal&) {}, {}},
        {[](TKanal& k) { k.SetName("Spot"); }, {kcName}},
        {[](TKanal& k) { k.SetBlackout(7); }, {kcBlackout}},
        {[](TKanal& k) { k.SetFlash(9); }, {kcFlash}},
        {[](TKanal& k) { k.SetModus(kmLTP); }, {kcModus}},
        {[](TKanal& k) { k.SetVF(3); }, {kcIcon}},
        {[](TKanal& k) { k.SetHF(0); }, {kcIcon}},
        {[](TKanal& k) { k.SetIcon(2); }, {kcIcon}},
        {[](TKanal& k) { k.SetPegel(5); }, {kcPegel}},
        {[](TKanal& k) { k.SetIcon(2), k.SetName("A"), k.SetBlackout(1); }, {kcName, kcBlackout, kcIcon}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        L->NewProject();
        cases[i].Set(K(11));
        std::vector<std::pair<int, int>> changes;
        const auto c = QObject::connect(L->Signals(), &TLichtpultSignals::kanalChanged,
                                        [&](int nr, int code) { changes.emplace_back(nr, code); });
        L->NewProject();
        QObject::disconnect(c);
        std::vector<std::pair<int, int>> expected;
        for (int code : cases[i].Codes)
            expected.emplace_back(11, code);
        EXPECT_EQ(changes, expected) << "case " << i;
        EXPECT_EQ((std::vector<int>{K(11).FlashPegel, K(11).BlackoutPegel, K(11).Modus, K(11).Icon, K(11).VF, K(11).HF}),
                  (std::vector<int>{255, 0, kmHTP, -1, 0, 10}))
            << "case " << i;
        EXPECT_TRUE(K(11).Name.isEmpty()) << "case " << i;
    }
}

TEST_F(LichtpultTest, NotificationsReachListenersOnlyOnChanges)
{
    std::vector<std::pair<int, int>> changes;
    int ticks = 0;
    auto c1 = QObject::connect(L->Signals(), &TLichtpultSignals::kanalChanged, [&](int nr, int code) { changes.emplace_back(nr, code); });
    auto c2 = QObject::connect(L->Signals(), &TLichtpultSignals::tickDone, [&ticks] { ++ticks; });
    Run("K9P40");
    Tick();
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{9, kcPegel}, {9, kcOutput}}));
    Tick(3);   // an idle console repaints nothing
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(ticks, 4);
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    Run("K9P41");
    Tick();
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(Out(9), 41);

    bool percent = false;
    QObject::connect(L->Signals(), &TLichtpultSignals::prozentChanged, [&percent](bool on) { percent = on; });
    EXPECT_EQ(L->FormatLevel(128), "128");
    L->SetProzent(true);
    EXPECT_TRUE(percent);
    EXPECT_EQ(L->FormatLevel(128), "50");
    EXPECT_EQ(L->FormatLevel(26), "10");
}

TEST_F(LichtpultTest, SceneRecalledByASceneMacroOwnsTheTiming)
{
    bool recalled = false;
    const auto c = RecallOnK9([&] {
        if (!std::exchange(recalled, true))
            Fade({{1, 200}}, 20);
    });
    Fade({{1, 100}}, 50);
    QObject::disconnect(c);
    EXPECT_EQ(L->FadeDauer, 2000);
    EXPECT_EQ(K(1).FadeA.Target, 200);
    Tick(51);
    EXPECT_EQ(State(), 5);
    EXPECT_EQ(Out(1), 200);
}

TEST_F(LichtpultTest, SelfRecallingSceneStopsAtTheNestingLimit)
{
    TErrorLog::Instance().Clear();
    int starts = 1;
    const auto c = RecallOnK9([&] {
        ++starts;
        Fade({{1, 10 * starts}}, starts);
    });
    Fade({{1, 10}}, 1);
    QObject::disconnect(c);
    EXPECT_EQ(starts, TModuleLichtpult::MaxCrossfadeDepth + 1);   // the last one was refused
    int logged = 0;
    for (const QString& line : TErrorLog::Instance().Lines())
        logged += line.contains("Überblendung zu tief verschachtelt") ? 1 : 0;
    EXPECT_EQ(logged, 1);
    EXPECT_EQ(L->FadeDauer, 400);   // the innermost start that ran
    EXPECT_EQ(K(1).FadeA.Target, 40);

    ModuleMaster->SetStateCommands(nullptr);
    Fade({{1, 77}}, 0);
    Tick();
    EXPECT_EQ(Out(1), 77);
}
