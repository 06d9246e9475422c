// The real program, started in a temporary program folder: it starts its clock,
// ticks, closes on SIGTERM or SIGINT with exit code 0 and writes the settings
// file, keeping the keys it does not write itself.

#include "TestHelpers.h"

#include "framework/uStringIniFile.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// Starts the program and sends sig once its clock has ticked a few times: every
// tick hands one 512-byte frame to the driver stand-in, which appends it to a
// file. Waiting for the frames, not for a time, holds on a loaded machine too.
TProgramProcess::TResult RunProgramUntilSignal(const TTempProgramDir& dir, int sig)
{
    EXPECT_TRUE(CopyDmxLibraries(dir));
    const QString frames = dir.File("frames.bin");
    TProgramProcess program(dir, {{"USBIO_DEVICE", "file:" + frames}});
    EXPECT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
    EXPECT_TRUE(WaitFor([&] { return QFileInfo(frames).size() >= 3 * 512 || !program.Running(); }, 60000));
    return program.Stop(sig);
}

} // namespace

TEST(Program, RunsTicksAndClosesOnSigtermKeepingUnknownSettings)
{
    for (const char* mmTimer : {"1", "0"}) {
        TTempProgramDir dir;
        // MIDI input is on, on a machine without a MIDI system: the choice stays.
        dir.Write("PV_TESSEL.ini", QByteArray("[System]\r\nMMTimer=") + mmTimer +
                                       "\r\n[Fremd]\r\nSchluessel=Wert\r\n[MIDI]\r\nAktiv=1\r\n");
        const TProgramProcess::TResult r = RunProgramUntilSignal(dir, SIGTERM);
        EXPECT_FALSE(r.Crashed) << r.Stderr.toStdString();
        EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
        EXPECT_GT(r.Ticks, 0) << r.Stderr.toStdString();
        EXPECT_TRUE(r.Stderr.contains(mmTimer[0] == '1' ? "Taktgeber-Thread" : "40-ms-Timer")) << r.Stderr.toStdString();

        TStringIniFile ini(dir.File("PV_TESSEL.ini"));
        EXPECT_EQ(ini.ReadString("System", "MMTimer", "?"), mmTimer);
        EXPECT_EQ(ini.ReadString("Fremd", "Schluessel", "?"), "Wert");
        EXPECT_EQ(ini.ReadString("FrmMain", "Left", "?"), "4");
        EXPECT_EQ(ini.ReadString("Master", "Ablauf", "?"), "N");
        EXPECT_EQ(ini.ReadString("Server", "Port", "?"), "22455");
        EXPECT_EQ(ini.ReadString("MIDI", "Aktiv", "?"), "1");
    }
}

TEST(Program, ClosesOnSigintAndCreatesTheSettingsFile)
{
    TTempProgramDir dir;
    const TProgramProcess::TResult r = RunProgramUntilSignal(dir, SIGINT);
    EXPECT_FALSE(r.Crashed) << r.Stderr.toStdString();
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_GT(r.Ticks, 0);
    TStringIniFile ini(dir.File("PV_TESSEL.ini"));
    QStringList sections;
    ini.ReadSections(sections);
    for (const char* section : {"FrmMain", "Master", "Server"})
        EXPECT_TRUE(sections.contains(section)) << section << " in " << sections.join(", ").toStdString();
    EXPECT_FALSE(sections.contains("System")) << "the clock choice is never written";
}
