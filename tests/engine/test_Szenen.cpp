// The scene store on the whole engine, headless: version names and lookups,
// recalls sampled in the DMX frame the patch builds, the group scenes in the mix,
// the may-run rule, the T command with its remote flag and the events to a
// coupled computer over real TCP, the show sections, nesting and bad files.
// Ticks are driven by hand, so the fade clock advances exactly 40 ms x factor.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMod_Interface.h"
#include "devices/uPeers.h"
#include "devices/uServer.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The main window's option "Schritt ausführen während Ausführung" and its scenes page.
class TFormLink : public TMainFormLink {
public:
    int StepDuringExecution() const override { return Step; }
    void ShowScenesPage() override { ++ScenesPageShown; }
    int Step = 0;
    int ScenesPageShown = 0;
};

// Levels of the given channels, all others 0, as a level text.
QString LevelText(std::initializer_list<std::pair<int, int>> values)
{
    TLevelArray a{};
    for (const auto& [nr, level] : values)
        a[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>(level);
    return EncodeLevels(a);
}

class SzenenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();
        S = ModuleSzenen;
        S->Clock = [this] { return Now; };
        ModuleMain->SetFormLink(&Link);
    }
    void TearDown() override
    {
        if (ModuleMain)
            ModuleMain->SetFormLink(nullptr);
    }

    static void Run(const QString& line) { ModuleMain->ExecuteLines({line}, false); }
    static void Remote(const QString& line)
    {
        QStringList tokens;
        TokenizeCommand(line + u'E', tokens);
        ModuleMain->ExecuteCommand(tokens, 1);
    }
    static void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            ModuleMain->ClockTick();
    }
    static int Slot(int dmx) { return ModulePatch->DmxOutput[static_cast<std::size_t>(dmx - 1)]; }
    static int State() { return ModuleMaster->GetMasterState(); }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static void Load(const QString& text)
    {
        TStringIniFile ini;
        ini.SetText(text);
        ModuleSzenen->LoadIni(ini);
    }
    static QString Saved()
    {
        QStringList lines;
        ModuleSzenen->SaveToStrings(lines);
        return JoinLinesCrLf(lines);
    }
    // Runs ticks until no crossfade runs (state 0 or 5), at most limit ticks.
    static bool FadeEnds(int limit = 1000)
    {
        const auto running = [] { return State() != 0 && State() != 5; };
        for (int i = 0; i < limit && running(); ++i)
            Tick();
        return !running();
    }
    // Stores a scene of the given set levels (then the faders go back to 0).
    TSzene& Store(std::initializer_list<std::pair<int, int>> values, int fad, int fap)
    {
        for (const auto& [nr, level] : values)
            K(nr).SetPegel(level);
        TSzene& s = S->StoreNewScene(false);
        for (const auto& [nr, level] : values)
            K(nr).SetPegel(0);
        s.FAD = fad;
        s.FAP = fap;
        return s;
    }

    TEngine Engine;
    TFormLink Link;
    TModuleSzenen* S = nullptr;
    QDateTime Now{QDate(2026, 12, 8), QTime(20, 0, 0)};
};

}   // namespace

TEST_F(SzenenTest, VersionsStoredWithinOneSecondGetDistinctNamesAndRecallTakesTheNewest)
{
    K(1).SetPegel(10);
    TSzene& s = S->StoreNewScene(false);
    EXPECT_EQ(s.SDAT, "2026-12-08 20:00:00");
    EXPECT_EQ(s.MDAT, "2026-12-08 20:00:00");
    EXPECT_EQ(s.SNR, 1);
    EXPECT_EQ(s.FAD, 10);

    // Same second, twice more: each version a name of its own, the newest current.
    K(1).SetPegel(20);
    S->NewSceneVersion(s);
    K(1).SetPegel(30);
    S->NewSceneVersion(s);
    QStringList names;
    S->ListVersions(s, names);
    EXPECT_EQ(names, (QStringList{"2026-12-08 20:00:00", "2026-12-08 20:00:01", "2026-12-08 20:00:02 *"}));
    TLevelArray levels;
    S->CurrentLevels(s, levels);
    EXPECT_EQ(levels[1], 30);

    *S->CurrentMacroLines(s) = QStringList{"K5P1"};
    S->NewMacroVersion(s, true);
    S->NewMacroVersion(s, false);
    S->ListMacroVersions(s, names);
    EXPECT_EQ(names, (QStringList{"2026-12-08 20:00:00", "2026-12-08 20:00:01", "2026-12-08 20:00:02 (*)"}));
    QStringList lines;
    ASSERT_TRUE(S->FindMacroVersion(s, "2026-12-08 20:00:01", lines));
    EXPECT_EQ(lines, QStringList{"K5P1"});
    EXPECT_TRUE(S->CurrentMacroLines(s)->isEmpty());

    // Group versions likewise.
    S->StoreGroupVersion(3, false);
    S->StoreGroupVersion(3, false);
    EXPECT_EQ(S->GetGroupScene(3).Aktuell, "2026-12-08 20:00:01");
    EXPECT_EQ(S->GetGroupScene(3).AktuellIndex, 1);
}

TEST_F(SzenenTest, EqualNamesFromAFileFollowTheLookupRules)
{
    Load("[Szenen]\r\nAnzahl=1\r\nSZ_1_SNR=1\r\nSZ_1_SDAT=x\r\nSZ_1_MDAT=m\r\nSZ_1_SZ_CNT=2\r\n"
         "SZ_1_SZ_1_DAT=x\r\nSZ_1_SZ_1_KAN=" +
         LevelText({{1, 11}}) + "\r\nSZ_1_SZ_2_DAT=x\r\nSZ_1_SZ_2_KAN=" + LevelText({{1, 22}}) +
         "\r\nSZ_1_MAK_CNT=2\r\nSZ_1_MAK_1_DAT=m\r\nSZ_1_MAK_1_MAK=K9P1\r\nSZ_1_MAK_2_DAT=m\r\n"
         "SZ_1_MAK_2_MAK=K9P2\r\n[Gruppen]\r\nSZ_1_SDAT=g\r\nSZ_1_SZ_CNT=2\r\nSZ_1_SZ_1_DAT=g\r\nSZ_1_SZ_1_KAN=" +
         LevelText({{4, 40}}) + "\r\nSZ_1_SZ_2_DAT=g\r\nSZ_1_SZ_2_KAN=" + LevelText({{4, 80}}) + "\r\n");
    ASSERT_EQ(S->SceneCount(), 1);
    const TSzene& s = S->GetScene(0);
    TLevelArray levels;
    S->CurrentLevels(s, levels);
    EXPECT_EQ(levels[1], 11);   // recall: the first
    ASSERT_TRUE(S->FindVersionLevels(s, "x", levels));
    EXPECT_EQ(levels[1], 22);   // by name: the last
    EXPECT_EQ(*S->CurrentMacroLines(s), QStringList{"K9P1"});
    QStringList lines;
    ASSERT_TRUE(S->FindMacroVersion(s, "m", lines));
    EXPECT_EQ(lines, QStringList{"K9P2"});
    QStringList names;
    S->ListVersions(s, names);
    EXPECT_EQ(names, (QStringList{"x *", "x *"}));
    EXPECT_EQ(S->GetChannelLevel(0, 4), 40);   // group: the first

    S->PutSceneOnConsole(s, QString());
    EXPECT_EQ(K(1).Pegel, 22);
    S->PutSceneOnConsole(s, "nirgends");
    EXPECT_EQ(K(1).Pegel, 22);

    // A version stored now gets a name of its own, and recall takes it.
    K(1).SetPegel(99);
    S->NewSceneVersion(S->GetScene(0));
    S->CurrentLevels(s, levels);
    EXPECT_EQ(levels[1], 99);
}

TEST_F(SzenenTest, RecallFadesTheFrameForwardAndBackwardUnderTheSpeedFactor)
{
    Store({{1, 200}, {2, 100}}, 20, 40);   // 2 s forward, 4 s back
    Store({{1, 0}, {2, 240}}, 20, 40);
    struct TSample {
        int Ticks;   // ticks since the previous sample
        double F;    // fraction of the fade time reached
    };
    const struct {
        const char* Label;
        int Scene;
        bool Backward;
        int SpeedPosition;   // fade speed bar; the "1" box is off
        std::pair<int, int> From, To;
        std::vector<TSample> Samples;
    } cases[] = {
        {"forward, factor 1", 0, false, 100, {0, 0}, {200, 100}, {{10, 0.2}, {15, 0.5}, {15, 0.8}}},
        {"forward, factor 10", 1, false, 50, {200, 100}, {0, 240}, {{1, 0.2}, {1, 0.4}, {2, 0.8}}},
        {"backward, factor 1", 0, true, 100, {0, 240}, {200, 100}, {{25, 0.25}, {25, 0.5}, {25, 0.75}}},
        {"backward, factor 0.1", 1, true, 150, {200, 100}, {0, 240}, {{50, 0.05}, {50, 0.1}}},
    };
    ModuleMaster->SetEins(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        ModuleMaster->SetFadeFaktor(c.SpeedPosition);
        const int protokoll = int(S->Protokoll.size());
        ASSERT_TRUE(S->RecallScene(c.Scene, c.Backward, false));
        EXPECT_EQ(State(), c.Backward ? 6 : 1);
        for (const TSample& sample : c.Samples) {
            Tick(sample.Ticks);
            const auto at = [&](int from, int to) { return int(std::nearbyint(from + (to - from) * sample.F)); };
            EXPECT_EQ(Slot(1), at(c.From.first, c.To.first)) << sample.F;
            EXPECT_EQ(Slot(2), at(c.From.second, c.To.second)) << sample.F;
        }
        ASSERT_TRUE(FadeEnds(5000));
        Tick();
        EXPECT_EQ(Slot(1), c.To.first);
        EXPECT_EQ(Slot(2), c.To.second);
        EXPECT_EQ(S->AktuelleSzene, c.Scene);
        EXPECT_EQ(S->SelectedScene, c.Scene);
        // Only forward recalls are logged, as "n=hh:mm:ss".
        EXPECT_EQ(S->Protokoll.size(), protokoll + (c.Backward ? 0 : 1));
    }
    EXPECT_EQ(S->Protokoll, (QStringList{"1=20:00:00", "2=20:00:00"}));

    // A scene whose SDAT names no version fades everything to 0, with its fade time.
    S->GetScene(0).SDAT = "weg";
    ModuleMaster->SetFadeFaktor(100);
    ASSERT_TRUE(S->RecallScene(0, false, false));
    Tick(25);
    EXPECT_EQ(Slot(2), 120);
    ASSERT_TRUE(FadeEnds());
    Tick();
    EXPECT_EQ(Slot(2), 0);
    EXPECT_FALSE(S->RecallScene(2, false, false));
    EXPECT_FALSE(S->RecallScene(-1, false, false));
}

TEST_F(SzenenTest, GroupScenesMixIntoTheFrame)
{
    // A group version from the set levels: the group channels themselves stay 0.
    K(5).SetPegel(200);
    K(600).SetPegel(90);
    K(512).SetPegel(255);
    S->StoreGroupVersion(0, false);
    for (int nr : {5, 600, 512})
        K(nr).SetPegel(0);
    EXPECT_EQ(S->GetChannelLevel(0, 5), 200);
    EXPECT_EQ(S->GetChannelLevel(0, 600), 90);
    EXPECT_EQ(S->GetChannelLevel(0, 512), 0);

    Run("K511P255");
    Tick();
    EXPECT_EQ(Slot(5), 200);
    Run("K511P128");
    Tick();
    EXPECT_EQ(Slot(5), 100);   // 200 x 128 div 255

    // A second version; selecting the first by name mixes it again.
    K(5).SetPegel(40);
    S->StoreGroupVersion(0, false);
    K(5).SetPegel(0);
    Run("K511P255");
    Tick();
    EXPECT_EQ(Slot(5), 40);
    S->SelectVersion(0, "2026-12-08 20:00:00");
    Tick();
    EXPECT_EQ(Slot(5), 200);
    // The version menu: one item per version, the current one checked.
    std::vector<TVersionMenuItem> items{{"alt", true, 9}};
    S->FillVersionMenu(0, items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(std::tuple(items[0].Caption, items[0].Checked, items[0].Tag),
              std::tuple(QStringLiteral("2026-12-08 20:00:00"), true, 0));
    EXPECT_EQ(std::tuple(items[1].Caption, items[1].Checked, items[1].Tag),
              std::tuple(QStringLiteral("2026-12-08 20:00:01"), false, 1));
    for (int g : {1, -1, GroupCount}) {
        S->FillVersionMenu(g, items);
        EXPECT_TRUE(items.empty()) << g;
    }
    S->SelectVersion(0, "unbekannt");   // index 0
    Tick();
    EXPECT_EQ(Slot(5), 200);

    // "auf's Pult": channels 1..510 only.
    S->ApplyGroupVersion(0, 1);
    EXPECT_EQ(K(5).Pegel, 40);
    EXPECT_EQ(K(600).Pegel, 0);
    S->ApplyGroupVersion(0, 2);   // no such version
    EXPECT_EQ(K(5).Pegel, 40);

    // A scene that holds a group fader brings the group's look in with its fade.
    Run("K511P0");
    Run("K5P0");
    Store({{511, 255}}, 0, 0);
    ASSERT_TRUE(S->RecallScene(0, false, false));
    ASSERT_TRUE(FadeEnds());
    Tick();
    EXPECT_EQ(Slot(5), 200);

    // Saved and loaded back; a group without versions reads 0 and writes nothing.
    const QString text = Saved();
    EXPECT_FALSE(text.contains("SZ_2_SDAT=2026")) << text.toStdString();
    Load(text);
    EXPECT_EQ(S->GetChannelLevel(0, 600), 90);
    EXPECT_EQ(S->GetChannelLevel(1, 600), 0);
    Load("[Szenen]\r\nAnzahl=0\r\n");
    EXPECT_EQ(S->GetChannelLevel(0, 5), 0);
}

// A group number one past the last group (or before the first) names no group:
// every group operation leaves the groups, the console and the show as they were.
TEST_F(SzenenTest, AGroupNumberOutsideTheGroupsNamesNoGroup)
{
    K(5).SetPegel(200);
    for (int g : {0, GroupCount - 1})
        S->StoreGroupVersion(g, false);
    K(5).SetPegel(30);
    const QString before = Saved();
    TGroupSzene* last = nullptr;
    ASSERT_TRUE(S->TryGetGroupScene(GroupCount - 1, last));
    EXPECT_EQ(last->Versionen.size(), 1u);

    for (int g : {GroupCount, GroupCount + 1, -1}) {
        TGroupSzene* group = last;
        EXPECT_FALSE(S->TryGetGroupScene(g, group)) << g;
        EXPECT_EQ(group, nullptr) << g;
        EXPECT_EQ(S->GetChannelLevel(g, 5), 0) << g;
        EXPECT_EQ(S->GroupLevelRow(g)[5], 0) << g;
        std::vector<TVersionMenuItem> items{{"alt", true, 9}};
        S->FillVersionMenu(g, items);
        EXPECT_TRUE(items.empty()) << g;
        S->SelectVersion(g, "2026-12-08 20:00:00");
        S->ApplyGroupVersion(g, 0);
        EXPECT_EQ(K(5).Pegel, 30) << g;
        S->StoreGroupVersion(g, false);
        EXPECT_EQ(Saved(), before) << g;
    }
    EXPECT_EQ(S->GetChannelLevel(GroupCount - 1, 5), 200);
}

TEST_F(SzenenTest, TheOptionDuringExecutionDecidesWhetherARecallRuns)
{
    Store({{1, 100}}, 50, 50);
    Store({{1, 200}}, 50, 50);
    const struct {
        int Option;
        bool SameWhileFading, OtherWhileFading;
    } cases[] = {{0, true, true}, {1, false, true}, {2, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Option);
        Link.Step = c.Option;
        // Not fading: every option runs.
        ASSERT_TRUE(FadeEnds(5000));
        EXPECT_TRUE(S->RecallScene(0, false, true));
        Tick();
        ASSERT_EQ(State(), 1);
        const QStringList before = S->Protokoll;
        EXPECT_EQ(S->RecallScene(0, false, true), c.SameWhileFading);
        EXPECT_EQ(S->Protokoll.size(), before.size() + (c.SameWhileFading ? 1 : 0));
        EXPECT_EQ(S->RecallScene(1, true, true), c.OtherWhileFading);
        EXPECT_EQ(S->AktuelleSzene, c.OtherWhileFading ? 1 : 0);
        // A backward recall's fade (state 6) counts as fading too.
        if (c.OtherWhileFading) {
            Tick();
            ASSERT_EQ(State(), 6);
            EXPECT_EQ(S->RecallScene(1, false, true), c.Option == 0);
        }
    }
}

TEST_F(SzenenTest, TheTCommandRecallsAndReportsOnlyLocalSteps)
{
    TListener peer;
    TPeerList& peers = ModuleInterface->Peers();
    peers.SetPeer(1, "Bühne", "127.0.0.1", peer.Port(), "K555");
    peers.Connect(1);
    ASSERT_TRUE(WaitFor([&] { return peers.IsConnected(1); }));
    ModuleInterface->Server().Ausfuehren = true;
    Store({{1, 100}}, 0, 0);
    Store({{1, 200}}, 0, 0);

    // From a remote computer: executed, not reported back.
    Remote("T0E1");
    EXPECT_EQ(S->Protokoll.size(), 1);
    EXPECT_TRUE(S->HeadlessSteps().RemoteExecuted);
    ASSERT_TRUE(FadeEnds());
    EXPECT_FALSE(S->HeadlessSteps().RemoteExecuted);    // cleared at the fade end
    EXPECT_EQ(S->HeadlessSteps().PriorStepIndex, -1);   // one log entry: no prior step
    Remote("T0E1");
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(S->HeadlessSteps().PriorStepIndex, 0);
    // A remote back step: the last entry goes, the fade runs back, nothing is reported.
    Remote("T0E2");
    EXPECT_EQ(S->Protokoll.size(), 1);
    EXPECT_EQ(State(), 6);
    ASSERT_TRUE(FadeEnds());

    // Local: reported. E1 executes the next step, which without a script page is
    // the first scene, as on a page where no step has been shown yet.
    Run("t0e1");
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(S->HeadlessSteps().PriorStepIndex, 0);
    EXPECT_EQ(S->Protokoll.size(), 2);
    // The back step drops the last log entry and fades back to the prior step.
    Run("T0E2");
    EXPECT_EQ(S->Protokoll.size(), 1);
    EXPECT_TRUE(S->HeadlessSteps().BackStepDone);
    EXPECT_EQ(State(), 6);
    ASSERT_TRUE(WaitFor([&] { return peer.All() == "K555T0E1K555T0E2"; })) << peer.All().constData();

    // S lines, other sub-tokens and other values do nothing.
    const int state = State();
    for (const char* line : {"S1", "S0E1", "T0E3", "T0X1", "T0S1", "T0F1"})
        Run(line);
    EXPECT_EQ(State(), state);
    EXPECT_EQ(S->Protokoll.size(), 1);

    for (const auto& [line, on] : {std::pair{"T0A0", false}, {"T0A1", true}, {"T0A256", false}, {"T0a257", true}}) {
        Run(line);
        EXPECT_EQ(S->HeadlessSteps().AutomatischWeiter, on) << line;
    }

    // A back step that "nie durchführen" refuses while a fade runs keeps the log.
    ASSERT_TRUE(FadeEnds());
    Run("T0E1");
    ASSERT_TRUE(FadeEnds());
    Run("T0E1");
    ASSERT_EQ(S->Protokoll.size(), 3);
    Link.Step = 2;
    Run("T0E2");
    EXPECT_EQ(S->Protokoll.size(), 3);
    EXPECT_EQ(State(), 1);
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(SzenenTest, SectionsWrittenByHandReadBackAndWriteByteIdentical)
{
    const QString text =
        QStringLiteral("\r\n[Szenen]\r\nAnzahl=2\r\n"
                       "SZ_1_SNR=5\r\nSZ_1_NAME=Akt I – Vorhang auf\r\nSZ_1_SDAT=2026-01-02 19:00:01\r\n"
                       "SZ_1_MDAT=2026-01-02 19:00:00\r\nSZ_1_FAD=15\r\nSZ_1_FAP=-3\r\nSZ_1_SZ_CNT=2\r\n"
                       "SZ_1_SZ_1_DAT=2026-01-02 19:00:00\r\nSZ_1_SZ_1_KAN=%1\r\n"
                       "SZ_1_SZ_2_DAT=2026-01-02 19:00:01\r\nSZ_1_SZ_2_KAN=%2\r\nSZ_1_MAK_CNT=3\r\n"
                       "SZ_1_MAK_1_DAT=2026-01-02 19:00:00\r\n"
                       "SZ_1_MAK_1_MAK=K1P255;\"W5 M3\";\"C1T\"\"Hallo; Welt\"\"\";;\r\n"
                       "SZ_1_MAK_2_DAT=2026-01-02 19:00:01\r\nSZ_1_MAK_2_MAK=\"\"\r\n"
                       "SZ_1_MAK_3_DAT=2026-01-02 19:00:02\r\nSZ_1_MAK_3_MAK=\r\n"
                       "SZ_2_SNR=0\r\nSZ_2_NAME=\r\nSZ_2_SDAT=\r\nSZ_2_MDAT=\r\nSZ_2_FAD=0\r\nSZ_2_FAP=0\r\n"
                       "SZ_2_SZ_CNT=0\r\nSZ_2_MAK_CNT=0\r\n"
                       "\r\n[Gruppen]\r\nSZ_1_SDAT=a\r\nSZ_1_SZ_CNT=1\r\nSZ_1_SZ_1_DAT=a\r\nSZ_1_SZ_1_KAN=%3\r\n"
                       "SZ_60_SDAT=fehlt\r\nSZ_60_SZ_CNT=2\r\nSZ_60_SZ_1_DAT=b\r\nSZ_60_SZ_1_KAN=%2\r\n"
                       "SZ_60_SZ_2_DAT=b\r\nSZ_60_SZ_2_KAN=%1\r\n")
            .arg(LevelText({}), LevelText({{1, 255}, {2, 255}, {3, 128}, {729, 7}}), LevelText({{600, 1}}));
    Load(text);
    EXPECT_EQ(Saved().toStdString(), text.toStdString());
    Load(Saved());
    EXPECT_EQ(Saved().toStdString(), text.toStdString());

    const TSzene& s = S->GetScene(0);
    EXPECT_EQ(s.SNR, 5);
    EXPECT_EQ(s.FAP, -3);
    EXPECT_EQ(s.MakroVersionen[0].Lines->size(), 5);
    EXPECT_EQ(*s.MakroVersionen[0].Lines, (QStringList{"K1P255", "W5 M3", "C1T\"Hallo; Welt\"", "", ""}));
    EXPECT_EQ(*s.MakroVersionen[1].Lines, QStringList{""});
    EXPECT_TRUE(s.MakroVersionen[2].Lines->isEmpty());
    EXPECT_EQ(S->GetGroupScene(59).AktuellIndex, 0);   // "fehlt" names no version
    EXPECT_EQ(S->GetChannelLevel(59, 729), 7);
}

TEST_F(SzenenTest, ReaderDefaultsAndDelimitedMacroText)
{
    // The second scene has no number: skipped, and the third keeps its key number.
    Load("[Szenen]\r\nAnzahl=3\r\nSZ_1_SNR=1\r\nSZ_2_NAME=ohne Nummer\r\nSZ_3_SNR=3\r\nSZ_3_NAME=drei\r\n"
         "SZ_3_SZ_CNT=2\r\nSZ_3_SZ_2_DAT=b\r\nSZ_3_MAK_CNT=1\r\nSZ_3_MAK_1_DAT=m\r\n"
         "SZ_3_MAK_1_MAK=  a b;\"c\td\" ;e;\r\n");
    ASSERT_EQ(S->SceneCount(), 2);
    const TSzene& s = S->GetScene(1);
    EXPECT_EQ(s.Id, 2);
    EXPECT_EQ(s.NAME, "drei");
    EXPECT_EQ(s.FAD, 0);
    EXPECT_EQ(s.SDAT, "");
    ASSERT_EQ(s.Versionen.size(), 1u);   // the version without a name is skipped
    EXPECT_EQ(s.Versionen[0].Name, "b");
    EXPECT_EQ(*s.MakroVersionen[0].Lines, (QStringList{"a", "b", "c\td", "e", ""}));

    // Keys in any case count, also for the bound of the counts.
    Load("[szenen]\r\nanzahl=2\r\nsz_2_snr=7\r\nsz_2_sz_cnt=1\r\nsz_2_sz_1_dat=v\r\nSZ_2_SZ_1_kan=0105\r\n");
    ASSERT_EQ(S->SceneCount(), 1);
    EXPECT_EQ(S->GetScene(0).SNR, 7);
    ASSERT_EQ(S->GetScene(0).Versionen.size(), 1u);
    EXPECT_EQ(S->GetScene(0).Versionen[0].Levels[1], 5);

    const struct {
        QStringList Lines;
        QString Text;
    } cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"", ""}, ";"},
        {{"a", ""}, "a;"},
        {{"K1P5", "M3"}, "K1P5;M3"},
        {{"C1T\"x\""}, "\"C1T\"\"x\"\"\""},
        {{"a;b", "c d"}, "\"a;b\";\"c d\""},
        {{QStringLiteral("Bühne")}, QStringLiteral("Bühne")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JoinDelimited(c.Lines, u';'), c.Text) << c.Text.toStdString();
        EXPECT_EQ(SplitDelimited(c.Text, u';'), c.Lines) << c.Text.toStdString();
    }
}

TEST_F(SzenenTest, ASceneThatRecallsItselfStopsAtTheNestingLimitWithOneEntry)
{
    TSzene& s = Store({{1, 100}}, 10, 10);
    *S->CurrentMacroLines(s) = QStringList{"T0E1", "K7P1", "T0E1"};
    const QString entry = QStringLiteral("Szenenaufrufe zu tief verschachtelt");

    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(S->RecallScene(0, false, false));
        EXPECT_EQ(ErrorLogCount(entry), round);
        EXPECT_EQ(ErrorLogCount(QStringLiteral("Überblendung zu tief verschachtelt")), 0);
        EXPECT_EQ(K(7).Pegel, 1);   // the lines after a refused recall still run
    }
    // The console goes on: the fade ends, the frame shows the scene.
    ASSERT_TRUE(FadeEnds());
    Tick();
    EXPECT_EQ(Slot(1), 100);

    // With "nur bei abweichendem Schritt" the nested recall of the running step is
    // refused by the rule itself, and nothing is logged.
    Link.Step = 1;
    ASSERT_TRUE(S->RecallScene(0, false, false));
    EXPECT_EQ(ErrorLogCount(entry), 2);
}

namespace {

// Stands for the macro module: every M line presses a macro whose line executes
// the next step.
class TStepMakro : public TModuleMakro {
public:
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override
    {
        (void)tokens;
        (void)remote;
        ++Presses;
        ModuleMain->ExecuteLines({QStringLiteral("T0E1")}, false);
    }
    int Presses = 0;
};

}   // namespace

TEST_F(SzenenTest, ASceneThatRecallsItselfThroughAMacroStopsAsWell)
{
    TStepMakro makro;
    TModuleMakro* const real = ModuleMakro;
    ModuleMakro = &makro;
    TSzene& s = Store({{1, 100}}, 10, 10);
    *S->CurrentMacroLines(s) = QStringList{"M3"};
    const bool recalled = S->RecallScene(0, false, false);
    ModuleMakro = real;
    EXPECT_TRUE(recalled);
    EXPECT_EQ(makro.Presses, TModuleSzenen::MaxRecallDepth);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Szenenaufrufe zu tief verschachtelt")), 1);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Befehle zu tief verschachtelt")), 0);
    ASSERT_TRUE(FadeEnds());
}

TEST_F(SzenenTest, TheMasterRunsTheLiveMacroLinesAndDropsThemWithTheScenes)
{
    TSzene& s = Store({{1, 100}}, 5, 5);
    *S->CurrentMacroLines(s) = QStringList{"W5K9P1"};
    ASSERT_TRUE(S->RecallScene(0, false, false));
    EXPECT_EQ(ModuleMaster->GetStateCommands(), S->CurrentMacroLines(s));
    // Edited while the fade runs: the edit counts at the fade end.
    *S->CurrentMacroLines(s) = QStringList{"W5K9P77"};
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(K(9).Pegel, 77);

    // A scene without a current macro version hands none.
    s.MDAT = "weg";
    ASSERT_TRUE(S->RecallScene(0, false, false));
    EXPECT_EQ(ModuleMaster->GetStateCommands(), nullptr);

    s.MDAT = s.MakroVersionen[0].Name;
    ASSERT_TRUE(S->RecallScene(0, false, false));
    Load("[Szenen]\r\nAnzahl=0\r\n");
    EXPECT_EQ(ModuleMaster->GetStateCommands(), nullptr);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(K(9).Pegel, 77);
}

TEST_F(SzenenTest, NewScenesTakeTheConsoleLevelsClampedAndTheDefaults)
{
    S->SetDefaultFadeForward(25);
    S->SetDefaultFadeBackward(7);
    Run("K1P300");
    Run("K2P-5");
    Run("K3P80");
    Run("R0P128");
    Tick();
    TSzene& a = S->StoreNewScene(false);
    EXPECT_EQ(Link.ScenesPageShown, 0);
    S->SetAutoSzenenseite(true);
    TSzene& b = S->StoreNewScene(true);
    EXPECT_EQ(Link.ScenesPageShown, 1);
    EXPECT_EQ(a.Versionen[0].Levels[1], 255);
    EXPECT_EQ(a.Versionen[0].Levels[2], 0);
    EXPECT_EQ(a.Versionen[0].Levels[3], 80);
    EXPECT_EQ(b.Versionen[0].Levels[3], 40);   // the output: 80 x 128 div 255
    EXPECT_EQ(b.SNR, 2);
    EXPECT_EQ(b.Id, 1);
    EXPECT_EQ(b.FAD, 25);
    EXPECT_EQ(b.FAP, 7);
    EXPECT_EQ(S->SelectedScene, 1);

    // "Neue Version speichern" works on the selected scene.
    Run("K3P90");
    S->SelectScene(0);
    S->StoreCurrentSceneVersion();
    EXPECT_EQ(a.Versionen.size(), 2u);
    EXPECT_EQ(b.Versionen.size(), 1u);

    // Sorting is stable for equal numbers; renumbering gives 1..n in list order.
    S->SetSceneNumber(a, 9);
    TSzene& c = S->StoreNewScene(false);
    S->SetSceneNumber(c, 2);
    S->SortScenes();
    EXPECT_EQ(&S->GetScene(0), &b);
    EXPECT_EQ(&S->GetScene(1), &c);
    EXPECT_EQ(&S->GetScene(2), &a);
    S->RenumberScenes();
    EXPECT_EQ(a.SNR, 3);

    // A plain-text script gets the marker lines; rich text is left alone.
    S->SetSceneName(b, "Anfang");
    S->ScenesToSteps();
    EXPECT_EQ(
        S->ScriptText,
        QByteArray("\r\n\r\n-------------------------------------\r\n\r\n{{1}}   Anfang\r\n{{2}}   \r\n{{3}}   \r\n"));
    S->ScriptText = "{\\rtf1 x}";
    S->ScenesToSteps();
    EXPECT_EQ(S->ScriptText, QByteArray("{\\rtf1 x}"));

    // A new show drops scenes and script, but keeps groups, log and current scene.
    S->StoreGroupVersion(0, false);
    ASSERT_TRUE(S->RecallScene(2, false, true));
    ModuleMain->NewProject();
    EXPECT_EQ(S->SceneCount(), 0);
    EXPECT_TRUE(S->ScriptText.isEmpty());
    EXPECT_EQ(S->GetGroupScene(0).Versionen.size(), 1u);
    EXPECT_EQ(S->Protokoll.size(), 1);
    EXPECT_EQ(S->AktuelleSzene, 2);
    EXPECT_EQ(S->SelectedScene, -1);
}

TEST_F(SzenenTest, CountsFromAFileAreBoundedAndABadLevelTextIsLoggedWhileTheShowOpens)
{
    const QString good = LevelText({{1, 50}});
    const QString show =
        QStringLiteral(
            "[Szenen]\r\nAnzahl=2147483647\r\n"
            "SZ_1_SNR=1\r\nSZ_1_SDAT=a\r\nSZ_1_SZ_CNT=2000000000\r\nSZ_1_SZ_1_DAT=a\r\nSZ_1_SZ_1_KAN=02G1\r\n"
            "SZ_1_MAK_CNT=2147483647\r\nSZ_1_MAK_1_DAT=a\r\nSZ_1_MAK_1_MAK=K1P1\r\n"
            "SZ_2_SNR=2\r\nSZ_2_SDAT=b\r\nSZ_2_SZ_CNT=1\r\nSZ_2_SZ_1_DAT=b\r\nSZ_2_SZ_1_KAN=%1\r\n"
            "\r\n[Gruppen]\r\nSZ_1_SDAT=g\r\nSZ_1_SZ_CNT=999999999\r\nSZ_1_SZ_1_DAT=g\r\nSZ_1_SZ_1_KAN=%1\r\n"
            "\r\n[Interface]\r\nVR_Name_1=Nachbar\r\n")
            .arg(good);
    Engine.Dir.Write("kaputt.pvs", HandMadeShow(show, "Skript"));
    EXPECT_FALSE(S->RecallScene(0, false, false));

    EXPECT_TRUE(OpenProject(Engine.Dir.File("kaputt.pvs")));
    EXPECT_EQ(ErrorLogCount(QStringLiteral("SZ_1_SZ_1_KAN: \"G\" ist kein hexadezimales Zeichen.")), 1);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("ist größer als der Abschnitt")), 4);
    ASSERT_EQ(S->SceneCount(), 2);
    EXPECT_EQ(S->GetScene(0).Versionen.size(), 1u);
    EXPECT_EQ(S->GetScene(0).MakroVersionen.size(), 1u);
    TLevelArray levels;
    S->CurrentLevels(S->GetScene(1), levels);
    EXPECT_EQ(levels[1], 50);
    EXPECT_EQ(S->GetChannelLevel(0, 1), 50);
    // The rest of the show: the modules after this one and the script.
    EXPECT_EQ(ModuleInterface->Peers().Peer(1).Name, "Nachbar");
    EXPECT_EQ(S->SaveTextToStream(), QByteArray("Skript"));
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Fehler beim Öffnen")), 0);
}
