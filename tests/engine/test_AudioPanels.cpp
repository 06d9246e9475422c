// The player panels and the audio module on the whole engine with a scripted
// player: levels and their labels, fades and the fading stop, the end of a
// track, the A command, the playlists and the section "Audio".

#include "FakePanelPlayer.h"
#include "TestHelpers.h"

#include "audio/uAuTypes.h"
#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class AudioPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallFakePlayers(States, &NoOutput);
        Engine.Start();
        TErrorLog::Instance().Clear();
        for (const char* f : {"a.wav", "b.wav", "c.wav"})
            Engine.Dir.Write(f, "RIFF");
    }
    void TearDown() override
    {
        Engine.Stop();
        SetPanelPlayerFactory({});
    }

    static TSonivexPanel& P(int n) { return *ModuleAudio->GetPanel(n - 1); }
    TFakeState& S(int n) { return *States.at(size_t(n - 1)); }
    QString F(const char* name) const { return Engine.Dir.File(QString::fromLatin1(name)); }
    void Run(const QString& line) { Engine.Main->ExecuteLines({line}, false); }
    static void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            ModuleAudio->SlowTick();
    }
    // Runs the posted work (the end of a track).
    static void Finish(TFakeState& s)
    {
        s.Playing = false;
        s.Finish();
        QCoreApplication::processEvents();
    }
    static void LoadShow(const QString& text)
    {
        TStringIniFile ini;
        ini.SetText(text);
        ModuleAudio->LoadIni(ini);
    }
    static QStringList Saved()
    {
        QStringList lines;
        ModuleAudio->SaveToStrings(lines);
        return lines;
    }

    bool NoOutput = false;
    std::vector<std::shared_ptr<TFakeState>> States;
    TEngine Engine;
};

}   // namespace

TEST(SonivexPanelText, LevelAndTimeTexts)
{
    const QLocale de(QLocale::German, QLocale::Germany), en(QLocale::English, QLocale::UnitedStates);
    const struct {
        int Level;
        QString German, English;
    } levels[] = {
        {25, "+2,5dB", "+2.5dB"}, {0, "0,0dB", "0.0dB"},       {-60, "-6,0dB", "-6.0dB"},
        {-5, "-0,5dB", "-0.5dB"}, {100, "+10,0dB", "+10.0dB"}, {-399, "-39,9dB", "-39.9dB"},
        {-400, "-INF dB", "-INF dB"},
    };
    for (const auto& l : levels) {
        EXPECT_EQ(TSonivexPanel::LevelText(l.Level, de), l.German) << l.Level;
        EXPECT_EQ(TSonivexPanel::LevelText(l.Level, en), l.English) << l.Level;
    }
    const std::pair<int, const char*> times[] = {{0, "0:00:00:0"}, {36000, "1:00:00:0"}, {22254, "0:37:05:4"}, {599, "0:00:59:9"}};
    for (const auto& [t, text] : times)
        EXPECT_EQ(TSonivexPanel::TimeText(t), QString::fromLatin1(text)) << t;
    const std::pair<const char*, const char*> parts[] = {{"/a/b/Lied.wav", "Lied.wav"}, {"C:\\Musik\\x.mp3", "x.mp3"},
                                                         {"D:y.wav", "y.wav"}, {"z.wav", "z.wav"}};
    for (const auto& [path, part] : parts)
        EXPECT_EQ(TSonivexPanel::FileNamePart(QString::fromLatin1(path)), QString::fromLatin1(part));
}

TEST_F(AudioPanelTest, LevelBarSetsVolumeLabelAndTheTrackLevel)
{
    Run(QStringLiteral("A1F\"%1\"").arg(F("a.wav")));
    const struct {
        const char* Command;
        int Bar;
        float Volume;
    } cases[] = {{"A1L-60", -60, DbToFactor(-6.0)}, {"A1L500", 100, DbToFactor(10.0)}, {"A1L-400", -400, 0.0f},
                 {"A1L-9999", -400, 0.0f},          {"A1L0", 0, 1.0f}};
    for (const auto& c : cases) {
        Run(QString::fromLatin1(c.Command));
        EXPECT_EQ(P(1).Level(), c.Bar) << c.Command;
        EXPECT_FLOAT_EQ(S(1).Volume, c.Volume) << c.Command;
        EXPECT_EQ(P(1).Levels.value(0), QString::number(c.Bar)) << c.Command;
        EXPECT_EQ(P(1).View().LevelText, TSonivexPanel::LevelText(c.Bar)) << c.Command;
    }
}

TEST_F(AudioPanelTest, FadingStopFadesSeeksNearTheEndAndTheEndRestoresTheLevel)
{
    Run(QStringLiteral("A1F\"%1\"").arg(F("a.wav")));
    EXPECT_EQ(P(1).View().LengthText, "0:00:10:0");
    EXPECT_EQ(P(1).PanelName(), "a.wav");
    Run("A1E1");
    ASSERT_TRUE(P(1).Playing());
    Run("A1E3");
    EXPECT_FALSE(P(1).Playing());
    EXPECT_FALSE(P(1).View().PlayEnabled || P(1).View().StopEnabled || P(1).View().PauseEnabled);
    Ticks(1);
    EXPECT_EQ(P(1).Level(), -200);
    Ticks(1);
    EXPECT_EQ(P(1).Level(), -400);
    EXPECT_FALSE(S(1).Calls.contains("seek 9700"));
    Ticks(1);
    EXPECT_EQ(S(1).Calls.last(), "seek 9700");

    Finish(S(1));
    EXPECT_EQ(P(1).Level(), 0);
    EXPECT_TRUE(P(1).View().PlayEnabled);
    EXPECT_FALSE(P(1).Playing());
    EXPECT_EQ(P(1).TrackID(), 1);
    // The restored level stays: no fade runs on.
    Ticks(5);
    EXPECT_EQ(P(1).Level(), 0);
}

// Without a usable length, with a length under 0.3 s or with a player that no
// longer plays, the seek to the end would leave the panel disabled while the
// track replays muted: the fading stop ends with an immediate stop instead.
TEST_F(AudioPanelTest, FadingStopWithoutAUsableEndStopsAtOnce)
{
    const struct {
        int Len;
        bool PlayerStopsEarly;
        bool Seeks;
    } cases[] = {{10000, false, true}, {-1, false, false}, {200, false, false}, {10000, true, false}};
    for (const auto& c : cases) {
        States.clear();
        ModuleAudio->AddAudioPage(false);
        const int n = ModuleAudio->PageCount() * 10 - 9;
        TFakeState& s = *States.front();
        s.Len = c.Len;
        Run(QStringLiteral("A%1F\"%2\"E1L-100E3").arg(n).arg(F("a.wav")));
        if (c.PlayerStopsEarly)
            s.Playing = false;
        Ticks(3);
        EXPECT_EQ(s.Calls.contains(QStringLiteral("seek %1").arg(c.Len - 300)), c.Seeks) << c.Len;
        EXPECT_EQ(P(n).View().PlayEnabled, !c.Seeks) << c.Len;
        EXPECT_EQ(P(n).Level(), c.Seeks ? -400 : -100) << c.Len;
    }
}

// Stop while playing fades from any audible level; at the lowest level there is
// nothing to fade and the player stops at once.
TEST_F(AudioPanelTest, StopFadesFromEveryLevelAboveTheLowestAndStopsAtOnceAtIt)
{
    const struct {
        int Level;
        bool Fades;
    } cases[] = {{TSonivexPanel::MinLevel, false}, {TSonivexPanel::MinLevel + 1, true}, {0, true}};
    for (const auto& c : cases) {
        States.clear();
        ModuleAudio->AddAudioPage(false);
        const int n = ModuleAudio->PageCount() * 10 - 9;
        TFakeState& s = *States.front();
        Run(QStringLiteral("A%1F\"%2\"E1L%3E3").arg(n).arg(F("a.wav")).arg(c.Level));
        EXPECT_EQ(s.Calls.contains("stop"), !c.Fades) << c.Level;
        EXPECT_EQ(P(n).View().PlayEnabled, !c.Fades) << c.Level;
        Ticks(3);
        EXPECT_EQ(s.Calls.contains("seek 9700"), c.Fades) << c.Level;
        EXPECT_EQ(P(n).Level(), c.Fades ? TSonivexPanel::MinLevel : c.Level) << c.Level;
    }
}

TEST_F(AudioPanelTest, FadeCommandMutesOverTicksAndLDuringAFadingStopKeepsTheStop)
{
    Run(QStringLiteral("A1F\"%1\"E1D10").arg(F("a.wav")));
    for (int i = 1; i <= 10; ++i) {
        Ticks(1);
        EXPECT_EQ(P(1).Level(), -40 * i);
    }
    Ticks(1);
    EXPECT_TRUE(P(1).Playing());
    EXPECT_EQ(S(1).Calls.filter("seek").size(), 0);
    // L ends a D fade.
    Run("A1L0D4");
    Ticks(1);
    Run("A1L-20");
    Ticks(3);
    EXPECT_EQ(P(1).Level(), -20);

    // L during a fading stop changes the level but the stop goes on to its end.
    Run("A1E3L50");
    Ticks(6);
    EXPECT_TRUE(S(1).Calls.last().startsWith("seek"));
    Finish(S(1));
    EXPECT_TRUE(P(1).View().PlayEnabled);
}

TEST_F(AudioPanelTest, ButtonsOnlyActWhenEnabledAndUnknownNumbersDoNothing)
{
    // No file: play is disabled; the panel must not count as playing.
    Run("A1E1");
    EXPECT_FALSE(P(1).Playing());
    Run("A1E0E4E-1");
    Run(QStringLiteral("A1F\"%1\"").arg(F("a.wav")));
    EXPECT_TRUE(P(1).View().PlayEnabled);
    Run("A1E1E4");
    EXPECT_TRUE(P(1).Playing());
    Run("A1E2");
    EXPECT_FALSE(P(1).Playing());
    // Stop while paused at position 0 only re-evaluates the buttons.
    const qsizetype calls = S(1).Calls.size();
    Run("A1E3");
    EXPECT_EQ(S(1).Calls.size(), calls);
    EXPECT_TRUE(P(1).View().StopEnabled);
    // Paused at 1 s: an immediate stop and a reload.
    Run("A1E1");
    S(1).Position = 1000;
    Ticks(4);   // the display holds for three ticks after the stop
    EXPECT_EQ(P(1).View().PositionBar, 10);
    EXPECT_EQ(P(1).View().TimeText, "0:00:01:0");
    Run("A1E2E3");
    EXPECT_TRUE(S(1).Calls.mid(calls).contains("stop"));
    EXPECT_EQ(P(1).View().PositionBar, 0);
    EXPECT_EQ(S(1).Calls.last(), "open");
}

TEST_F(AudioPanelTest, ACommandReachesPanelsAcrossPagesAndA0OnlyPausesAndStops)
{
    for (int n : {1, 2})
        Run(QStringLiteral("A%1F\"%2\"").arg(n).arg(F("b.wav")));
    Run("A12E1");   // one page only
    EXPECT_EQ(ModuleAudio->GetPanel(11), nullptr);
    ModuleAudio->AddAudioPage(false);
    EXPECT_EQ(P(12).Number(), 12);
    Run(QStringLiteral("a12f\"%1\"e1").arg(F("b.wav")));
    EXPECT_TRUE(P(12).Playing());
    Run("A0E1");
    EXPECT_FALSE(P(1).Playing() || P(2).Playing());
    Run("A1E1");
    Run("A5E1");   // panel 5 has no file
    EXPECT_FALSE(P(5).Playing());
    Run("A0L-100E3");
    EXPECT_EQ(P(1).Level(), 0);
    EXPECT_FALSE(P(1).Playing() || P(12).Playing());
    Ticks(3);
    EXPECT_TRUE(S(1).Calls.last().startsWith("seek") && S(12).Calls.last().startsWith("seek"));
    Run("A-1E1");
    Run("AxE1");
}

TEST_F(AudioPanelTest, PlaylistTracksNamesLevelsAndTheUpDown)
{
    TSonivexPanel& p = P(1);
    p.Names = QStringList{"Eins", "Zwei", "Drei"};
    p.Files = QStringList{F("a.wav"), F("b.wav"), F("c.wav")};
    p.Levels = QStringList{"-10", "x", "25"};
    p.UpdateTrackCount();
    p.LoadTrack(1);
    EXPECT_EQ(p.TrackCount(), 3);
    EXPECT_EQ(p.View().TrackText, "1 / 3");
    EXPECT_TRUE(p.View().UpDownVisible);
    const struct {
        const char* Command;
        int Track;
        const char* Name;
        int Level;
    } cases[] = {{"A1T2", 2, "Zwei", 0}, {"A1T3", 3, "Drei", 25}, {"A1T9", 1, "Eins", -10}, {"A1T", 1, "Eins", -10}};
    for (const auto& c : cases) {
        Run(QString::fromLatin1(c.Command));
        EXPECT_EQ(p.TrackID(), c.Track) << c.Command;
        EXPECT_EQ(p.PanelName(), QString::fromLatin1(c.Name)) << c.Command;
        EXPECT_EQ(p.Level(), c.Level) << c.Command;
    }
    EXPECT_EQ(p.Filename(), F("a.wav"));
    // Up and down; above the last track the up-down goes back to track 1.
    p.TrackUpDownChanging(false);
    EXPECT_EQ(p.TrackID(), 1);
    for (int t : {2, 3, 1}) {
        p.TrackUpDownChanging(true);
        EXPECT_EQ(p.TrackID(), t);
    }
    // A track change is refused while playing.
    Run("A1E1T3");
    EXPECT_EQ(p.TrackID(), 1);
    Run("A1E2");
    // A blank last entry counts no track.
    p.Files = QStringList{F("a.wav"), " "};
    p.UpdateTrackCount();
    EXPECT_EQ(p.TrackCount(), 1);
    EXPECT_TRUE(p.View().TrackText.isEmpty());
    EXPECT_FALSE(p.View().UpDownVisible);
}

TEST_F(AudioPanelTest, FilesThatCannotBeOpenedDisableThePanelAndAreLogged)
{
    Run(QStringLiteral("A1F\"%1\"").arg(F("fehlt.wav")));
    EXPECT_FALSE(P(1).View().StopEnabled);
    EXPECT_EQ(ErrorLogCount(""), 0);
    S(1).LoadThrows = true;
    Run(QStringLiteral("A1F\"%1\"").arg(F("a.wav")));
    EXPECT_FALSE(P(1).View().PlayEnabled);
    EXPECT_TRUE(P(1).View().LengthText.isEmpty());
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Exception in TSonivexPanel.OpenAudioFile bei Datei \"%1\" Fehler: Zugriff verweigert")
                                .arg(F("a.wav"))),
              1);
    S(1).LoadThrows = false;
    S(1).OpenThrows = true;
    Run(QStringLiteral("A1F\"%1\"").arg(F("b.wav")));
    EXPECT_FALSE(P(1).View().PlayEnabled);
    EXPECT_EQ(ErrorLogCount("Fehler: kein Decoder"), 1);

    // A missing file while playing leaves the running track alone.
    S(1).OpenThrows = false;
    Run(QStringLiteral("A1F\"%1\"E1").arg(F("a.wav")));
    Run(QStringLiteral("A1F\"%1\"").arg(F("fehlt.wav")));
    EXPECT_TRUE(P(1).View().StopEnabled);
    // An empty file name closes the player: the panel no longer plays.
    Run("A1F\"\"");
    EXPECT_FALSE(P(1).Playing());
    EXPECT_EQ(S(1).Calls.last(), "close");
}

TEST_F(AudioPanelTest, PanelsWithoutAPlayerTakeEveryCommandAndSayWhyOnce)
{
    QStringList shown;
    SetAudioOutputErrorHandler([&shown](const QString& error) { shown << error; });
    NoOutput = true;
    ModuleAudio->AddAudioPage(false);
    ModuleAudio->AddAudioPage(false);
    Run(QStringLiteral("A11F\"%1\"E1L-50D3Z20T2N\"x\"E3").arg(F("a.wav")));
    Ticks(5);
    EXPECT_FALSE(P(11).HasPlayer());
    EXPECT_FALSE(P(11).Playing());
    EXPECT_EQ(P(11).PanelName(), "x");
    // Twenty panels without output: one log entry and, once the event loop
    // runs, the reason shown once.
    EXPECT_TRUE(shown.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Audio: Kein Ausgabegerät")), 1);
    EXPECT_EQ(shown, QStringList{"Kein Ausgabegerät"});

    // A new run of the engine says it again, unless the program is ending by then.
    for (const bool ending : {false, true}) {
        Engine.Stop();
        Engine.Start();
        shown.clear();
        AppClosing = ending;
        QCoreApplication::processEvents();
        AppClosing = false;
        EXPECT_EQ(shown.size(), ending ? 0 : 1) << ending;
    }
    SetAudioOutputErrorHandler({});
}

TEST_F(AudioPanelTest, TheSectionReadAndWrittenAgainIsTheSame)
{
    const QStringList section{
        "",
        "[Audio]",
        "PanelCount=20",
        "TrackCount_2=2",
        "TrackID_2=2",
        "Name_2_0=Ouvertüre",
        "File_2_0=" + F("a.wav"),
        "Level_2_0=-60",
        "Name_2_1=Pause",
        "File_2_1=" + F("b.wav"),
        "Level_2_1=25",
        "TrackCount_13=1",
        "TrackID_13=1",
        "Name_13_0=Fehlt",
        "File_13_0=/nirgends/fehlt.wav",
        "Level_13_0=0",
    };
    LoadShow(section.join("\r\n"));
    EXPECT_EQ(ModuleAudio->PageCount(), 2);
    EXPECT_EQ(P(2).PanelName(), "Pause");
    EXPECT_EQ(P(2).Level(), 25);
    EXPECT_EQ(P(2).Filename(), F("b.wav"));
    EXPECT_EQ(P(1).TrackID(), 1);
    EXPECT_EQ(Saved(), section);

    ModuleAudio->UpdateAudioFileList();
    EXPECT_EQ(ModuleAudio->AudioFileList(), QStringList{"2 | Pause"});
}

TEST_F(AudioPanelTest, ShowLoadAddsPagesReloadsPanelsAndBoundsItsCounts)
{
    // PanelCount=30 adds pages 1 and 2; a fourth page that exists stays.
    ModuleAudio->AddAudioPage(false);
    ModuleAudio->AddAudioPage(false);
    ModuleAudio->AddAudioPage(false);
    LoadShow("[Audio]\r\nPanelCount=30\r\n");
    EXPECT_EQ(ModuleAudio->PageCount(), 4);
    ModuleAudio->NewProject();
    LoadShow("[Audio]\r\nPanelCount=30\r\n");
    EXPECT_EQ(ModuleAudio->PageCount(), 3);

    // Show B over show A with the same track id: panel 1 shows B's track.
    const QString a = QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nTrackID_1=1\r\nName_1_0=A\r\nFile_1_0=%1\r\nLevel_1_0=-10\r\n"
                                     "TrackCount_2=1\r\nName_2_0=A2\r\nFile_2_0=%1\r\n")
                          .arg(F("a.wav"));
    LoadShow(a);
    Run("A2E1");
    LoadShow(QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nTrackID_1=1\r\nName_1_0=B\r\nFile_1_0=%1\r\nLevel_1_0=-20\r\n")
                 .arg(F("b.wav")));
    EXPECT_EQ(P(1).PanelName(), "B");
    EXPECT_EQ(P(1).Filename(), F("b.wav"));
    EXPECT_EQ(P(1).Level(), -20);
    // A playing panel stops and keeps nothing of show A.
    EXPECT_FALSE(P(2).Playing() || S(2).Playing);
    EXPECT_TRUE(P(2).Filename().isEmpty());
    EXPECT_EQ(P(2).TrackCount(), 0);

    // Counts beyond any show are bounded (and warned about).
    LoadShow(QStringLiteral("[Audio]\r\nPanelCount=2000000000\r\nTrackCount_1=2000000000\r\nFile_1_9999=%1\r\n"
                            "File_1_10000=%1\r\nTrackCount_990=1\r\nFile_990_0=%1\r\n")
                 .arg(F("a.wav")));
    EXPECT_EQ(ModuleAudio->PageCount(), TModuleAudio::MaxPanelCount / 10);
    EXPECT_EQ(P(1).TrackCount(), TModuleAudio::MaxTrackCount + 1);
    EXPECT_EQ(P(990).TrackCount(), 1);
    EXPECT_EQ(ErrorLogCount("PanelCount=2000000000"), 1);
    EXPECT_EQ(Saved().at(2), "PanelCount=990");
}

TEST_F(AudioPanelTest, NewAndClearPageLeaveNothingOfBeforeOnAPanel)
{
    // Panel 1 stands on the last of three tracks, panel 2 on the first of two and
    // plays; panel 11 is on the second page.
    const QString show =
        QStringLiteral(
            "[Audio]\r\nPanelCount=20\r\nTrackCount_1=3\r\nTrackID_1=3\r\nName_1_0=A\r\nFile_1_0=%1\r\n"
            "Level_1_0=-10\r\nName_1_1=B\r\nFile_1_1=%2\r\nLevel_1_1=-20\r\nName_1_2=C\r\nFile_1_2=%3\r\n"
            "Level_1_2=-30\r\nTrackCount_2=2\r\nTrackID_2=1\r\nName_2_0=D\r\nFile_2_0=%1\r\nLevel_2_0=-40\r\n"
            "Name_2_1=E\r\nFile_2_1=%2\r\nTrackCount_11=1\r\nName_11_0=F\r\nFile_11_0=%1\r\n")
            .arg(F("a.wav"), F("b.wav"), F("c.wav"));
    TScriptedPrompts prompts;
    for (const bool neu : {false, true}) {
        SCOPED_TRACE(neu ? "Neu" : "leeren");
        LoadShow(show);
        ASSERT_EQ(P(1).PanelName(), "C");
        Run("A2E1");
        S(2).Position = 2100;
        Ticks(4);   // the display may still hold after the stop before
        ASSERT_EQ(P(2).View().TimeText, "0:00:02:1");
        if (neu) {
            ModuleAudio->NewProject();
        } else {
            prompts.YesNoAnswers = {false, true};
            ModuleAudio->ClearPage(0);   // not confirmed: nothing
            EXPECT_EQ(P(1).PanelName(), "C");
            ModuleAudio->ClearPage(0);
            EXPECT_EQ(prompts.Asked.last(), "Alle Audio-Panel dieser Seite leeren?");
        }
        for (int n : {1, 2})
            EXPECT_TRUE(P(n).Filename().isEmpty() && P(n).PanelName().isEmpty() && P(n).Level() == 0 &&
                        !P(n).Playing() && !P(n).View().PlayEnabled && !S(n).Playing && P(n).View().TimeText.isEmpty() &&
                        P(n).View().PositionBar == 0 && P(n).View().PositionMax == TSonivexPanelView().PositionMax)
                << n;
        if (neu) {
            EXPECT_EQ(P(1).TrackCount(), 0);
            EXPECT_EQ(Saved(), (QStringList{"", "[Audio]", "PanelCount=10"}));
        } else {
            // Only the current track is emptied: panel 1 stays on its track 3
            // without loading track 1 in its place, panel 2 keeps its track 2.
            EXPECT_EQ(P(1).TrackID(), 3);
            EXPECT_EQ(P(1).Names, QStringList({"A", "B", ""}));
            EXPECT_EQ(P(1).Levels.mid(0, 3), QStringList({"-10", "-20", "0"}));
            EXPECT_TRUE(P(1).View().TrackText.isEmpty());
            EXPECT_EQ(P(2).Files.mid(0, 2), QStringList({"", F("b.wav")}));
            EXPECT_EQ(P(2).View().TrackText, "1 / 2");
            EXPECT_EQ(P(11).PanelName(), "F");
        }
        // A file loaded next plays under its own name at level 0.
        Run(QStringLiteral("A1F\"%1\"").arg(F("b.wav")));
        EXPECT_EQ(P(1).PanelName(), "b.wav");
        EXPECT_EQ(P(1).Level(), 0);
        EXPECT_TRUE(P(1).View().PlayEnabled);
    }
}

TEST_F(AudioPanelTest, AShowWithFewerPanelsKeepsThePagesButNoneOfTheirPlaylists)
{
    LoadShow(QStringLiteral("[Audio]\r\nPanelCount=30\r\nTrackCount_5=1\r\nName_5_0=A5\r\nFile_5_0=%1\r\n"
                            "TrackCount_15=1\r\nName_15_0=A15\r\nFile_15_0=%1\r\nLevel_15_0=-70\r\n"
                            "TrackCount_25=2\r\nName_25_0=A25\r\nFile_25_0=%1\r\nFile_25_1=%2\r\n")
                 .arg(F("a.wav"), F("b.wav")));
    Run("A25E1");
    const QString b = QStringLiteral("\r\n[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nTrackID_1=1\r\nName_1_0=B1\r\n"
                                     "File_1_0=%1\r\nLevel_1_0=-5")
                          .arg(F("c.wav"));
    LoadShow(b);
    EXPECT_EQ(ModuleAudio->PageCount(), 3);
    for (int n : {5, 15, 25})
        EXPECT_TRUE(P(n).TrackCount() == 0 && P(n).PanelName().isEmpty() && P(n).Filename().isEmpty() &&
                    P(n).Level() == 0 && !P(n).Playing() && !S(n).Playing)
            << n;
    // Saved: show B's playlist on the pages that stayed.
    EXPECT_EQ(Saved().join("\r\n"), QString(b).replace("PanelCount=10", "PanelCount=30"));
}

TEST_F(AudioPanelTest, LoadingAFileWhilePlayingLeavesAStoppedPanelThatPlaysAgain)
{
    // Playing, in a fading stop (its level comes back as at the end of a
    // track), in a D fade (its level stays where the fade was).
    const struct {
        const char* During;
        bool LevelBack;
    } cases[] = {{"", true}, {"A1E3", true}, {"A1D10", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.During);
        Run(QStringLiteral("A1F\"%1\"L-50E1").arg(F("a.wav")));
        S(1).Position = 4000;
        Ticks(4);
        ASSERT_GT(P(1).View().PositionBar, 0);
        Run(QString::fromLatin1(c.During));
        Ticks(1);
        Run(QStringLiteral("A1F\"%1\"").arg(F("b.wav")));
        const TSonivexPanelView& v = P(1).View();
        EXPECT_TRUE(!P(1).Playing() && v.PlayEnabled && v.StopEnabled && !v.PauseEnabled && v.PositionBar == 0);
        const int level = P(1).Level();
        EXPECT_EQ(level == -50, c.LevelBack) << level;
        Ticks(12);   // no fade goes on
        EXPECT_EQ(P(1).Level(), level);
        S(1).Calls.clear();
        Run("A1E1");
        EXPECT_TRUE(P(1).Playing());
        EXPECT_EQ(S(1).Calls, QStringList{"play"});
        Run("A1L-400E3");
        ASSERT_FALSE(P(1).Playing());
    }
}

TEST_F(AudioPanelTest, BatchImportAsksAndFillsAtMostTenPanels)
{
    TScriptedPrompts prompts;
    SetPrompts(&prompts);
    QStringList twelve;
    for (int i = 0; i < 12; ++i)
        twelve << F(i % 2 ? "b.wav" : "a.wav");
    prompts.YesNoAnswers = {false, true, true};
    ModuleAudio->BatchImport(0, twelve);
    EXPECT_TRUE(P(1).Filename().isEmpty());
    ModuleAudio->BatchImport(0, twelve);
    EXPECT_EQ(prompts.Asked.last(), QStringLiteral("Es wurden 12 Dateien gewählt, es können aber nur 10 Dateien geladen werden. Fortfahren?"));
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(P(n).Filename(), twelve.at(n - 1));
    ModuleAudio->BatchImport(0, twelve.mid(0, 3));
    EXPECT_EQ(prompts.Asked.last(), QStringLiteral("Es wurden 3 Dateien gewählt, es werden die ersten 3 Audio-Panel gefüllt. Fortfahren?"));
    SetPrompts(nullptr);
}

TEST_F(AudioPanelTest, CommandsAndEndsOfTrackFromOtherThreadsRunOnTheGuiThread)
{
    Run(QStringLiteral("A1F\"%1\"").arg(F("a.wav")));
    std::thread clock([] {
        QStringList tokens;
        TokenizeCommand(QStringLiteral("A1E1E"), tokens);
        ModuleAudio->ExecuteCommand(tokens, 1);
    });
    clock.join();
    ASSERT_TRUE(WaitFor([&] { return P(1).Playing(); }));
    EXPECT_EQ(S(1).PlayThread, QThread::currentThreadId());

    std::thread notifier([&] { S(1).Finish(); });
    notifier.join();
    ASSERT_TRUE(WaitFor([&] { return !P(1).Playing(); }));
    EXPECT_TRUE(P(1).View().PlayEnabled);

    // Notices racing with the end of a page are dropped, not delivered to freed panels.
    ModuleAudio->AddAudioPage(false);
    std::atomic<bool> stop{false};
    std::function<void()> finish = S(11).Finish;
    std::thread racer([&] {
        while (!stop)
            finish();
    });
    ModuleAudio->NewProject();
    stop = true;
    racer.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(ModuleAudio->PageCount(), 1);
}

TEST_F(AudioPanelTest, AHugeTrackNumberNeverGrowsThePlaylist)
{
    // Found by fuzzing: each of these grew the playlist to the track number.
    Run("A1T999999999");
    Run(QStringLiteral("A2T999999999F\"%1\"").arg(F("a.wav")));
    Run("A3T999999999F\"\"");
    for (int n : {1, 2, 3})
        EXPECT_LE(P(n).Files.size(), TSonivexPanel::MaxPlaylistEntries) << n;

    // A show may bring one entry more than a playlist takes: F on that track
    // leaves it as it was, F on the last track it takes stores its file.
    const int last = TSonivexPanel::MaxPlaylistEntries;
    LoadShow(QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_4=%1\r\nFile_4_%2=%3\r\nFile_4_%1=%3\r\n")
                 .arg(last)
                 .arg(last - 1)
                 .arg(F("a.wav")));
    ASSERT_EQ(P(4).Files.size(), last + 1);
    Run(QStringLiteral("A4T%1F\"%2\"").arg(last + 1).arg(F("b.wav")));
    EXPECT_EQ(P(4).TrackID(), last + 1);
    EXPECT_EQ(P(4).Files.at(last), F("a.wav"));
    Run(QStringLiteral("A4T%1F\"%2\"").arg(last).arg(F("b.wav")));
    EXPECT_EQ(P(4).Files.at(last - 1), F("b.wav"));
    EXPECT_EQ(P(4).Files.size(), last + 1);
}

// Show A plays track 2 of panel 3 (saved level -30) when show B (no panel 3) or
// show C (panel 3 with one track at -50) comes, through a load or an import;
// the end of A's track may already be on its way to the panel.
TEST_F(AudioPanelTest, AShowThatComesWhileAPanelPlaysGetsNothingOfTheShowBefore)
{
    const QString a = QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_3=2\r\nTrackID_3=2\r\nName_3_0=A1\r\n"
                                     "File_3_0=%1\r\nLevel_3_0=-10\r\nName_3_1=A2\r\nFile_3_1=%2\r\nLevel_3_1=-30\r\n")
                          .arg(F("a.wav"), F("b.wav"));
    const QStringList b{"", "[Audio]", "PanelCount=10"};
    const QStringList c{"", "[Audio]", "PanelCount=10", "TrackCount_3=1", "TrackID_3=1", "Name_3_0=C",
                        "File_3_0=" + F("c.wav"), "Level_3_0=-50"};
    for (const bool import : {false, true})
        for (const bool noticeOnItsWay : {false, true})
            for (const QStringList& next : {b, c}) {
                SCOPED_TRACE(QStringLiteral("import %1, notice %2, %3").arg(import).arg(noticeOnItsWay).arg(next.size()).toStdString());
                LoadShow(a);
                Run("A3E1");
                ASSERT_EQ(S(3).Calls.filter("load").last(), "load b.wav");
                ASSERT_TRUE(P(3).Playing());
                if (noticeOnItsWay)
                    S(3).Finish();   // posted, not yet run
                if (import)
                    Engine.Main->ImportText(*ModuleAudio, next.join("\r\n"));
                else
                    LoadShow(next.join("\r\n"));
                EXPECT_FALSE(P(3).Playing() || S(3).Playing);
                QCoreApplication::processEvents();
                EXPECT_EQ(Saved(), next);
                EXPECT_EQ(P(3).Level(), next.size() > 3 ? -50 : 0);
                EXPECT_EQ(P(3).Filename(), next.size() > 3 ? F("c.wav") : QString());
            }
}
