// The real program across a restart: it reopens the last show when started,
// saves it with a backup when a signal ends it, and remembers the show and its
// options for the next start.

#include "TestHelpers.h"

#include "framework/uProject.h"
#include "framework/uStringIniFile.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Starts the program, waits for its clock, then ends it with SIGTERM.
TProgramProcess::TResult RunUntilClockThenTerminate(const TTempProgramDir& dir)
{
    TProgramProcess program(dir);
    program.WaitForClock();
    return program.Stop(SIGTERM);
}

} // namespace

TEST(MainWindowRestart, ReopensTheLastShowAndSavesItWhenEndedBySignal)
{
    TTempProgramDir dir;
    const QString show = dir.File("Abend.pvs");
    const QByteArray original = EncodeShowString("[Makros]\r\nMakroCount=2\r\nText_1=K1P255|\r\n");
    dir.Write("Abend.pvs", original);
    dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetzteDatei=1\r\nProzent=1\r\nPI_Main=2\r\nLetzteProjektDatei=" +
                                   show.toUtf8() + "\r\n");

    const TProgramProcess::TResult run = RunUntilClockThenTerminate(dir);
    ASSERT_FALSE(run.Crashed) << run.Stderr.toStdString();
    EXPECT_EQ(run.ExitCode, 0) << run.Stderr.toStdString();

    // Auto-save is on by default: the reopened show was saved over its file,
    // the previous version kept as backup.
    EXPECT_EQ(dir.Read("Abend.~pvs"), original);
    EXPECT_TRUE(dir.Read("Abend.pvs").contains("Text_1=K1P255|"));

    TStringIniFile ini(dir.File("PV_TESSEL.ini"));
    EXPECT_EQ(ini.ReadString("FrmMain", "LetzteProjektDatei", "?"), show);
    EXPECT_EQ(ini.ReadString("FrmMain", "LetzteDatei", "?"), "1");
    EXPECT_EQ(ini.ReadString("FrmMain", "Prozent", "?"), "1");
    EXPECT_EQ(ini.ReadString("FrmMain", "AutoSpeichern", "?"), "1");
    EXPECT_EQ(ini.ReadString("FrmMain", "PI_Main", "?"), "2");
    EXPECT_EQ(ini.ReadString("FrmMain", "DefaultFadeVor", "?"), "10");
}
