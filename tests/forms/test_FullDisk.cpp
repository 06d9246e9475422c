// Every file the program writes keeps its old bytes on a full disk (a tmpfs
// mounted by the test when it runs as root) and the failure is reported.

#include "TestHelpers.h"

#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "framework/uAtomicFile.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QStringList HiddenAndPlainFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

TEST(FullDisk, EveryFileKeepsItsOldBytesAndTheErrorIsReported)
{
    TTempProgramDir dir;
    TTmpfsMount disk(dir.Path(), 1 << 20);
    if (!disk.Mounted())
        GTEST_SKIP() << "a small full disk needs a tmpfs mount: " << disk.Error().toStdString();
    TErrorLog::Instance().Clear();
    AutoSpeichern = true;

    const QByteArray settings("[FrmMain]\r\nPI_Main=0\r\n\r\n");
    const QByteArray log("alter Fehlerlog\r\n");
    const QByteArray exported("alter Export\r\n");
    const QByteArray show = HandMadeShow("\r\n[Makros]\r\nv=1\r\n", "alter Text");
    dir.Write("PV_TESSEL.ini", settings);
    dir.Write("Fehlerlogs/Log_2026_02_03_-_14_05_09.txt", log);
    dir.Write("Export.txt", exported);
    dir.Write("show.pvs", show);
    dir.Write("show.~pvs", "alte Sicherung");

    TScriptedPrompts prompts;
    qputenv("PV_PROGRAM_DIR", dir.Path().toUtf8());
    auto* main = new TFrmMain;
    qunsetenv("PV_PROGRAM_DIR");
    new TdmMenu(main, main);
    auto trigger = [main](const char* name) {
        auto* action = main->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        WaitForShowSaves();   // the show is written in the background
    };
    ModulePatch->FileName = dir.File("Patch.pvp");
    ModulePatch->SaveToFile();
    const QByteArray patch = dir.Read("Patch.pvp");
    ASSERT_FALSE(patch.isEmpty());
    ASSERT_TRUE(OpenProject(dir.File("show.pvs")));
    ModuleMain->ImportText(*ModuleMakro, "[Makros]\r\nv=2\r\n");
    AddToErrorLog(elInfo, "neuer Fehlerlog");

    FillDisk(dir.Path());
    const QString reason = QStringLiteral("kann nicht geschrieben werden: ");
    auto loggedFor = [&reason](const QString& path) {
        return ErrorLogCount(QStringLiteral("Datei \"%1\" ").arg(path) + reason);
    };

    prompts.FileAnswers = {dir.File("Export.txt")};
    prompts.YesNoAnswers = {true};
    trigger("ExportMakrosDatei");
    EXPECT_EQ(dir.Read("Export.txt"), exported);
    EXPECT_EQ(loggedFor(dir.File("Export.txt")), 1);

    trigger("Speichern1");   // the patch
    EXPECT_EQ(dir.Read("Patch.pvp"), patch);
    EXPECT_EQ(loggedFor(dir.File("Patch.pvp")), 1);

    trigger("Speichern2");   // the show, with backup
    EXPECT_EQ(dir.Read("show.pvs"), show);
    EXPECT_EQ(dir.Read("show.~pvs"), QByteArray("alte Sicherung"));
    EXPECT_EQ(loggedFor(dir.File("show.pvs")), 1);

    EXPECT_THROW(main->SaveErrorLog(QDateTime(QDate(2026, 2, 3), QTime(14, 5, 9))), EPvError);
    EXPECT_EQ(dir.Read("Fehlerlogs/Log_2026_02_03_-_14_05_09.txt"), log);

    // The settings file at shut-down: on stderr and in the error log.
    testing::internal::CaptureStderr();
    delete main;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(dir.Read("PV_TESSEL.ini"), settings);
    EXPECT_EQ(loggedFor(dir.File("PV_TESSEL.ini")), 1);
    EXPECT_NE(err.find(QStringLiteral("PV_TESSEL.ini\" %1").arg(reason).toStdString()), std::string::npos) << err;

    EXPECT_EQ(HiddenAndPlainFiles(dir.Path()),
              (QStringList{"Export.txt", "PV_TESSEL.ini", "Patch.pvp", "filler", "show.pvs", "show.~pvs"}));
    EXPECT_EQ(HiddenAndPlainFiles(dir.File("Fehlerlogs")), QStringList{"Log_2026_02_03_-_14_05_09.txt"});

    // With room again the same writes go through.
    QFile::remove(dir.File("filler"));
    WriteBytesAtomic(dir.File("Export.txt"), "neuer Export");
    EXPECT_EQ(dir.Read("Export.txt"), QByteArray("neuer Export"));
}

} // namespace
