// The command language as the main module runs it: dispatch by first letter,
// W conditions, the D delay queue counted in ticks, N MIDI messages, line
// execution with the scene-macro guard, and the nesting limit.

#include "TestHelpers.h"

#include "audio/uMod_Audio.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMod_Interface.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMidiRoute.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include <gtest/gtest.h>

namespace {

// A module of class Base whose ExecuteCommand records what it receives.
template <class Base>
class TSpy : public Base {
public:
    TSpy(QStringList& log, QString tag) : FLog(log), FTag(std::move(tag)) {}
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override
    {
        FLog << FTag + ":" + tokens.join('|') + (remote ? "|remote" : "");
        if (OnCommand)
            OnCommand(tokens);
    }
    std::function<void(QStringList&)> OnCommand;

private:
    QStringList& FLog;
    QString FTag;
};

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();
        Swap(ModuleAudio, Audio, "A");
        Swap(ModuleInterface, Interface, "I");
        Swap(ModuleLichtpult, Lichtpult, "L");
        Swap(ModuleMakro, Makro, "M");
        Swap(ModulePatch, Patch, "P");
        Swap(ModuleSzenen, Szenen, "S");
        MidiRoute().Sent.clear();
        MidiRoute().Handled.clear();
    }
    void TearDown() override
    {
        for (auto& restore : Restores)
            restore();
        Engine.Stop();
    }
    template <class M>
    void Swap(M*& global, std::unique_ptr<TSpy<M>>& spy, const QString& tag)
    {
        spy = std::make_unique<TSpy<M>>(Log, tag);
        M* original = global;
        global = spy.get();
        Restores.push_back([&global, original] { global = original; });
    }
    void Run(const QStringList& lines, bool guard = false) { Engine.Main->ExecuteLines(lines, guard); }
    void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            Engine.Main->ClockTick();
    }
    // The tick on which a line queued now runs (1 = the next tick).
    int TickOfRun(const QString& line)
    {
        Log.clear();
        Run({line});
        for (int tick = 1; tick <= 100; ++tick) {
            Ticks(1);
            if (!Log.isEmpty())
                return tick;
        }
        return -1;
    }

    TEngine Engine;
    QStringList Log;
    std::vector<std::function<void()>> Restores;
    std::unique_ptr<TSpy<TModuleAudio>> Audio;
    std::unique_ptr<TSpy<TModuleInterface>> Interface;
    std::unique_ptr<TSpy<TModuleLichtpult>> Lichtpult;
    std::unique_ptr<TSpy<TModuleMakro>> Makro;
    std::unique_ptr<TSpy<TModulePatch>> Patch;
    std::unique_ptr<TSpy<TModuleSzenen>> Szenen;
};

} // namespace

TEST_F(CommandTest, FirstLetterSelectsTheModuleAndTokensArriveUnchanged)
{
    Run({"A1P3", "c1\"Hallo Welt\"", "I2", "V1\"x\"", "k1p255", "F1", "M7D", "P3K1", "S1", "t0e1"});
    EXPECT_EQ(Log, QStringList({"A:A1|P3", "I:c1\"Hallo Welt\"", "I:I2", "I:V1\"x\"", "L:k1|p255", "L:F1", "M:M7|D",
                                "P:P3|K1", "S:S1", "S:t0|e1"}));
    // Letters without a handler, digits, single-letter commands, comments and a
    // leading blank run nothing.
    Log.clear();
    Run({"B1", "E1", "Z9", "1K", "K", "R", "; K1P255", "", " K1P255", "Q5"});
    EXPECT_TRUE(Log.isEmpty()) << Log.join(", ").toStdString();
}

TEST_F(CommandTest, RemoteFlagReachesTheHandlerOnlyFromDirectCalls)
{
    QStringList tokens;
    TokenizeCommand("A1P2E", tokens);
    Engine.Main->ExecuteCommand(tokens, 1);
    // W re-dispatches with 0.
    TokenizeCommand("W0A3E", tokens);
    Engine.Main->ExecuteCommand(tokens, 1);
    EXPECT_EQ(Log, QStringList({"A:A1|P2|remote", "A:A3"}));
}

TEST_F(CommandTest, WRunsTheRestOnlyInTheListedStates)
{
    for (int state = 0; state <= 6; ++state) {
        ModuleMaster->SetMasterState(static_cast<std::uint8_t>(state));
        Log.clear();
        Run({"W16A1", "w2a2", "W2", "W0123456A3"});
        QStringList expected;
        if (state == 1 || state == 6)
            expected << "A:A1";
        if (state == 2)
            expected << "A:a2";
        expected << "A:A3";
        EXPECT_EQ(Log, expected) << "state " << state;
    }
}

TEST_F(CommandTest, GuardRunsPlainLinesOnlyWhileAFadeStarts)
{
    for (int state : {1, 5}) {
        ModuleMaster->SetMasterState(static_cast<std::uint8_t>(state));
        Log.clear();
        Run({"A1", "; A2", "W5A3", "w5a4"}, true);
        EXPECT_EQ(Log, state == 1 ? QStringList({"A:A1"}) : QStringList({"A:A3", "A:a4"})) << state;
    }
}

TEST_F(CommandTest, DelaysCountTicksNotTheFadeClock)
{
    FadeFactor = 0.0f;
    EXPECT_EQ(TickOfRun("D0A1"), 1);
    EXPECT_EQ(TickOfRun("D1A1"), 3);
    EXPECT_EQ(TickOfRun("D5A1"), 13);
    EXPECT_EQ(TickOfRun("D10A1"), 25);
    EXPECT_EQ(TickOfRun("D-7A1"), 1);
    EXPECT_EQ(TickOfRun("D A1"), 1);   // no valid number: no delay
    EXPECT_EQ(TickOfRun("DA1"), -1);   // a lone D is no command
}

TEST_F(CommandTest, DelayedLinesKeepTheRestOfTheLineAndCanNest)
{
    Run({"D5A1P\"x y\"", "D0D1A2", "D0W0A3"});
    ASSERT_EQ(Engine.Main->DelayedCommands.size(), 3u);
    EXPECT_EQ(Engine.Main->DelayedCommands[0].Text, "A1P\"x y\"");
    EXPECT_EQ(Engine.Main->DelayedCommands[0].Remaining, 500);
    Ticks(1);
    EXPECT_EQ(Log, QStringList({"A:A3"}));   // the nested D queued A2 behind the pass
    Ticks(3);
    EXPECT_EQ(Log, QStringList({"A:A3", "A:A2"}));
    Ticks(9);
    EXPECT_EQ(Log, QStringList({"A:A3", "A:A2", "A:A1|P\"x y\""}));
}

TEST_F(CommandTest, EntriesDueTogetherRunNewestFirst)
{
    Run({"D1A1", "D1A2", "D1A3"});
    Ticks(3);
    EXPECT_EQ(Log, QStringList({"A:A3", "A:A2", "A:A1"}));
}

TEST_F(CommandTest, D0CClearsTheQueueAlsoFromInsideAPass)
{
    Run({"D5A1", "d0c"});
    EXPECT_TRUE(Engine.Main->DelayedCommands.empty());
    Run({"D0C1"});
    ASSERT_EQ(Engine.Main->DelayedCommands.size(), 1u);
    EXPECT_EQ(Engine.Main->DelayedCommands[0].Text, "C1");
    Engine.Main->ClearDelayedCommands();

    // Entries run newest first: the D0C entry clears the older ones mid-pass.
    Run({"D0A1", "D0A2", "D0D0C", "D5A9"});
    Ticks(1);
    Ticks(1);
    EXPECT_TRUE(Log.isEmpty()) << Log.join(", ").toStdString();
    EXPECT_TRUE(Engine.Main->DelayedCommands.empty());
}

TEST_F(CommandTest, AFailingDelayedCommandIsLoggedAndTheTickGoesOn)
{
    Audio->OnCommand = [](QStringList& tokens) {
        if (tokens.at(0) == "A1")
            throw EPvError("Datei fehlt");
    };
    Run({"D0A2", "D0A1", "D0A3"});
    Ticks(1);
    EXPECT_EQ(Log, QStringList({"A:A3", "A:A1", "A:A2"}));
    EXPECT_EQ(ErrorLogCount("Application-Exception: Datei fehlt"), 1);
    Ticks(1);
    EXPECT_EQ(Log.size(), 3) << "a failed entry is not retried";
}

TEST_F(CommandTest, AnExceptionStopsTheRestOfItsLineList)
{
    Audio->OnCommand = [](QStringList& tokens) {
        if (tokens.at(0) == "A1")
            throw EPvError("kaputt");
    };
    EXPECT_THROW(Run({"A0", "A1", "A2"}), EPvError);
    EXPECT_EQ(Log, QStringList({"A:A0", "A:A1"}));
}

TEST_F(CommandTest, NPacksAMidiShortMessage)
{
    Run({"N0K1B9P60Z100"});
    const std::uint32_t noteOn = 0x90u + 60u * 256u + 100u * 65536u;
    EXPECT_EQ(MidiRoute().Sent, QList<std::uint32_t>({noteOn}));
    EXPECT_EQ(MidiRoute().Handled, QList<std::uint32_t>({noteOn}));

    // Channel 16, status 0, later tokens override earlier ones, other letters are ignored.
    Run({"n0k3b1p1z1x5k16b0"});
    EXPECT_EQ(MidiRoute().Sent.value(1), 15u + 0u + 256u + 65536u);

    MidiRoute().Sent.clear();
    Run({"N0K17B9P60Z100", "N0B9P60Z100", "N0K1B16P0Z0", "N0K1B0P256Z0", "N0K1B0P0Z-1", "N0K1 B9P60Z100"});
    EXPECT_TRUE(MidiRoute().Sent.isEmpty());
}

TEST_F(CommandTest, AFailingMidiRouteIsLogged)
{
    struct TFailingRoute : TMidiRoute {
        void SendMidiShortMessage(std::uint32_t) override { throw EPvError("kein Gerät"); }
    } failing;
    SetMidiRoute(&failing);
    Run({"N0K1B9P60Z100", "A1"});
    SetMidiRoute(nullptr);
    EXPECT_EQ(ErrorLogCount("  F     MIDI-Fehler: kein Gerät"), 1);
    EXPECT_EQ(Log, QStringList({"A:A1"}));
}

TEST_F(CommandTest, LinesThatRunThemselvesStopAtTheNestingLimitWithOneLogEntry)
{
    // A macro that presses itself twice would otherwise double its work at every level.
    int presses = 0;
    Makro->OnCommand = [&](QStringList&) {
        ++presses;
        Engine.Main->ExecuteLines({"M1", "M1", "A1"}, false);
    };
    Run({"M1", "A2"});
    EXPECT_EQ(ErrorLogCount("Befehle zu tief verschachtelt: M1"), 1);
    EXPECT_LE(presses, MaxCommandDepth + 1);
    EXPECT_FALSE(Log.contains("A:A2")) << "the rest of the line list is skipped";

    // The next line list runs normally again.
    Makro->OnCommand = nullptr;
    Log.clear();
    Run({"M2", "A3"});
    EXPECT_EQ(Log, QStringList({"M:M2", "A:A3"}));
}

TEST_F(CommandTest, NestingLimitAlsoHoldsForDirectCallsAndDelayedLines)
{
    Makro->OnCommand = [&](QStringList&) { Engine.Main->ExecuteLines({"M1"}, false); };
    QStringList tokens;
    TokenizeCommand("M1E", tokens);
    EXPECT_NO_THROW(Engine.Main->ExecuteCommand(tokens, 1));
    Run({"D0M1"});
    Ticks(1);
    EXPECT_EQ(ErrorLogCount("Befehle zu tief verschachtelt"), 2);
    EXPECT_EQ(ErrorLogCount("Application-Exception"), 0);
}
