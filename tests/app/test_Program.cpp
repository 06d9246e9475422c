// The real program, started in a temporary program folder: it starts its clock,
// ticks, closes on SIGTERM or SIGINT with exit code 0 and writes the settings
// file, keeping the keys it does not write itself.

#include "TestHelpers.h"

#include "core/uStringIniFile.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

struct TRunResult {
    int ExitCode = -1;
    bool Crashed = true;
    QString Stderr;
    long long Ticks = -1;
};

TRunResult RunProgramUntilSignal(const TTempProgramDir& dir, int sig)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PV_PROGRAM_DIR", dir.Path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(PV_PROGRAM_BINARY, {});
    TRunResult result;
    if (!program.waitForStarted(20000))
        return result;
    QByteArray err;
    QDeadlineTimer deadline(30000);
    while (!err.contains("Uhr gestartet") && program.state() == QProcess::Running && !deadline.hasExpired()) {
        program.waitForReadyRead(200);
        err += program.readAllStandardError();
    }
    // Let the clock run for a while (a tick is 40 ms).
    QThread::msleep(600);
    ::kill(static_cast<pid_t>(program.processId()), sig);
    program.waitForFinished(20000);
    err += program.readAllStandardError();
    result.ExitCode = program.exitCode();
    result.Crashed = program.exitStatus() != QProcess::NormalExit;
    result.Stderr = QString::fromLocal8Bit(err);
    const auto m = QRegularExpression("beendet nach (\\d+) Takten").match(result.Stderr);
    if (m.hasMatch())
        result.Ticks = m.captured(1).toLongLong();
    return result;
}

} // namespace

TEST(Program, RunsTicksAndClosesOnSigtermKeepingUnknownSettings)
{
    for (const char* mmTimer : {"1", "0"}) {
        TTempProgramDir dir;
        dir.Write("PV_TESSEL.ini", QByteArray("[System]\r\nMMTimer=") + mmTimer + "\r\n[Fremd]\r\nSchluessel=Wert\r\n");
        const TRunResult r = RunProgramUntilSignal(dir, SIGTERM);
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
    }
}

TEST(Program, ClosesOnSigintAndCreatesTheSettingsFile)
{
    TTempProgramDir dir;
    const TRunResult r = RunProgramUntilSignal(dir, SIGINT);
    EXPECT_FALSE(r.Crashed) << r.Stderr.toStdString();
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_GT(r.Ticks, 0);
    TStringIniFile ini(dir.File("PV_TESSEL.ini"));
    QStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, QStringList({"FrmMain", "Master", "Server"}));
}
