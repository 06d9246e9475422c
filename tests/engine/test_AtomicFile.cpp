// The one file writer: symbolic links written through, permissions kept, a link
// loop refused, the backup copy by hard link or by copy, the temporary files of
// killed writes removed at start-up.

#include "TestHelpers.h"

#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "framework/uAtomicFile.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList HiddenAndPlainFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool MakeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

mode_t Mode(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

TEST(AtomicFile, ALinkedTargetIsWrittenThroughAndKeepsItsPermissions)
{
    TTempProgramDir dir;
    dir.Write("sub/real.ini", "old");
    dir.Write("sub/chained.ini", "old");
    ASSERT_TRUE(MakeLink(dir.File("sub/real.ini"), dir.File("absolute.ini")));
    ASSERT_TRUE(MakeLink("sub/real.ini", dir.File("relative.ini")));
    ASSERT_TRUE(MakeLink("../sub/chained.ini", dir.File("sub/step.ini")));
    ASSERT_TRUE(MakeLink("sub/step.ini", dir.File("chain.ini")));
    ASSERT_TRUE(MakeLink("sub/created.ini", dir.File("dangling.ini")));

    const struct {
        const char* Link;
        const char* File;
        mode_t Mode;
    } cases[] = {
        {"absolute.ini", "sub/real.ini", 0640},
        {"relative.ini", "sub/real.ini", 0604},   // unusual permissions stay as they were
        {"chain.ini", "sub/chained.ini", 0600},
        {"dangling.ini", "sub/created.ini", 0},   // the missing file is made
    };
    for (const auto& c : cases) {
        const QString link = dir.File(c.Link);
        const QString before = QFile::symLinkTarget(link);
        if (c.Mode) {
            ASSERT_EQ(::chmod(QFile::encodeName(dir.File(c.File)).constData(), c.Mode), 0);
        }
        WriteBytesAtomic(link, QByteArray("new ") + c.Link);
        EXPECT_EQ(dir.Read(c.File), QByteArray("new ") + c.Link) << c.Link;
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << c.Link;
        EXPECT_EQ(QFile::symLinkTarget(link), before) << c.Link;
        if (c.Mode) {
            EXPECT_EQ(Mode(dir.File(c.File)), c.Mode) << c.Link;
        }
    }
    EXPECT_EQ(ResolveWriteTarget(dir.File("chain.ini")), dir.File("sub/../sub/chained.ini"));
    EXPECT_EQ(ResolveWriteTarget(dir.File("plain.ini")), dir.File("plain.ini"));

    // A loop of links is an error and changes nothing.
    ASSERT_TRUE(MakeLink("b.ini", dir.File("a.ini")));
    ASSERT_TRUE(MakeLink("a.ini", dir.File("b.ini")));
    try {
        WriteBytesAtomic(dir.File("a.ini"), "x");
        FAIL() << "no error raised";
    } catch (const EPvError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Datei \"%1\" kann nicht geschrieben werden: ").arg(dir.File("a.ini"))))
            << e.Message().toStdString();
    }
    EXPECT_TRUE(QFileInfo(dir.File("a.ini")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir.File("b.ini")).isSymLink());

    // No temporary file is left anywhere.
    for (const QString& folder : {dir.Path(), dir.File("sub")})
        for (const QString& name : HiddenAndPlainFiles(folder))
            EXPECT_FALSE(IsAtomicTempName(name)) << name.toStdString();
}

TEST(AtomicFile, FailuresNameTheFileInGermanAndLeaveNothingBehind)
{
    TTempProgramDir dir;
    dir.Write("blocker", "a file, not a folder");
    dir.Write("keep.txt", "old");
    const struct {
        QString Path;
        long long Limit;   // file size limit, 0 for none
    } cases[] = {
        {dir.File("fehlt/neu.txt"), 0},
        {dir.File("blocker/neu.txt"), 0},
        {dir.File("keep.txt"), 1000},   // the disk fills up while writing
    };
    for (const auto& c : cases) {
        std::unique_ptr<TFileSizeLimit> limit;
        if (c.Limit)
            limit = std::make_unique<TFileSizeLimit>(c.Limit);
        try {
            WriteBytesAtomic(c.Path, QByteArray(5000, 'x'));
            ADD_FAILURE() << "no error raised for " << c.Path.toStdString();
        } catch (const EPvError& e) {
            const QString start = QStringLiteral("Datei \"%1\" kann nicht geschrieben werden: ").arg(c.Path);
            EXPECT_TRUE(e.Message().startsWith(start)) << e.Message().toStdString();
            EXPECT_GT(e.Message().size(), start.size()) << "a reason follows";
        }
    }
    EXPECT_EQ(dir.Read("keep.txt"), QByteArray("old"));
    EXPECT_EQ(HiddenAndPlainFiles(dir.Path()), (QStringList{"blocker", "keep.txt"}));
}

TEST(AtomicFile, AFileWithoutWritePermissionForItsOwnerIsNeverReplaced)
{
    // The tests run as root, who may write any file: the mode decides.
    TTempProgramDir dir;
    dir.Write("quelle.pvs", "quelle");
    const struct {
        const char* Name;
        mode_t Mode;
        std::function<void(const QString&)> Write;
        bool Replaced;
    } cases[] = {
        {"a-w.pvs", 0444, [](const QString& p) { WriteBytesAtomic(p, "neu"); }, false},
        {"owner-only.pvs", 0400, [](const QString& p) { WriteBytesAtomic(p, "neu"); }, false},
        {"others-may.pvs", 0466, [](const QString& p) { WriteBytesAtomic(p, "neu"); }, false},
        {"link.pvs", 0444,
         [&dir](const QString& p) {
             ASSERT_TRUE(MakeLink(p, dir.File("zeiger.pvs")));
             WriteBytesAtomic(dir.File("zeiger.pvs"), "neu");
         },
         false},
        {"backup.~pvs", 0444, [&dir](const QString& p) { ReplaceWithCopy(dir.File("quelle.pvs"), p); }, false},
        {"chmod-while-written.pvs", 0644,
         [](const QString& p) {
             TAtomicFile file(p);
             file.Write("neu");
             ::chmod(QFile::encodeName(p).constData(), 0444);
             file.Commit();
         },
         false},
        {"write-only.pvs", 0200, [](const QString& p) { WriteBytesAtomic(p, "neu"); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString path = dir.File(c.Name);
        dir.Write(c.Name, "alt");
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.Mode), 0);
        try {
            c.Write(path);
            EXPECT_TRUE(c.Replaced) << "no error raised";
        } catch (const EPvError& e) {
            EXPECT_FALSE(c.Replaced) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().endsWith("kann nicht geschrieben werden: sie ist schreibgeschützt."))
                << e.Message().toStdString();
        }
        EXPECT_EQ(dir.Read(c.Name), QByteArray(c.Replaced ? "neu" : "alt"));
        EXPECT_EQ(Mode(path), c.Mode == 0644 ? mode_t(0444) : c.Mode);
    }
    for (const QString& name : HiddenAndPlainFiles(dir.Path()))
        EXPECT_FALSE(IsAtomicTempName(name)) << name.toStdString();
}

TEST(AtomicFile, AWriteProtectedPatchOrSettingsFileStaysAndTheFailureIsLogged)
{
    TEngine engine;
    engine.Dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetzteDatei=1\r\n");
    engine.Dir.Write("Abend.pvp", "[Patch]\r\n");
    for (const char* name : {"PV_TESSEL.ini", "Abend.pvp"})
        ASSERT_EQ(::chmod(QFile::encodeName(engine.Dir.File(name)).constData(), 0444), 0);
    engine.Start();
    TErrorLog::Instance().Clear();
    ModulePatch->OpenDocument(engine.Dir.File("Abend.pvp"));
    ModulePatch->Modified = true;
    EXPECT_THROW(ModulePatch->SaveDocument(), EPvError);
    EXPECT_TRUE(ModulePatch->Modified);
    engine.Stop();

    EXPECT_EQ(engine.Dir.Read("Abend.pvp"), QByteArray("[Patch]\r\n"));
    EXPECT_EQ(engine.Dir.Read("PV_TESSEL.ini"), QByteArray("[FrmMain]\r\nLetzteDatei=1\r\n"));
    EXPECT_EQ(Mode(engine.Dir.File("PV_TESSEL.ini")), mode_t(0444));
    EXPECT_EQ(ErrorLogCount("Einstellungen nicht gespeichert: Datei"), 1);
    EXPECT_EQ(ErrorLogCount("sie ist schreibgeschützt."), 1);
}

TEST(AtomicFile, ReplaceWithCopyKeepsTheSourceAndReplacesTheTargetWhole)
{
    TTempProgramDir dir;
    dir.Write("show.pvs", "current show");
    dir.Write("show.~pvs", "old backup");
    ReplaceWithCopy(dir.File("show.pvs"), dir.File("show.~pvs"));
    EXPECT_EQ(dir.Read("show.pvs"), QByteArray("current show"));
    EXPECT_EQ(dir.Read("show.~pvs"), QByteArray("current show"));

    // The source replaced afterwards leaves the copy alone.
    WriteBytesAtomic(dir.File("show.pvs"), "next show");
    EXPECT_EQ(dir.Read("show.~pvs"), QByteArray("current show"));

    // Already the same file (a save killed between its two renames): nothing to do.
    ASSERT_EQ(::unlink(QFile::encodeName(dir.File("show.~pvs")).constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(dir.File("show.pvs")).constData(), QFile::encodeName(dir.File("show.~pvs")).constData()), 0);
    ReplaceWithCopy(dir.File("show.pvs"), dir.File("show.~pvs"));
    EXPECT_EQ(dir.Read("show.~pvs"), QByteArray("next show"));

    // A missing source is an error; the target stays.
    EXPECT_THROW(ReplaceWithCopy(dir.File("fehlt.pvs"), dir.File("show.~pvs")), EPvError);
    EXPECT_EQ(dir.Read("show.~pvs"), QByteArray("next show"));
    EXPECT_EQ(HiddenAndPlainFiles(dir.Path()), (QStringList{"show.pvs", "show.~pvs"}));
}

TEST(AtomicFile, CommitNewNeverReplacesAFile)
{
    TTempProgramDir dir;
    dir.Write("Projekt.pvs", "fremd");
    {
        TAtomicFile file(dir.File("Projekt.pvs"));
        file.Write("neu");
        EXPECT_FALSE(file.CommitNew());
    }
    TAtomicFile other(dir.File("Projekt_2.pvs"));
    other.Write("neu");
    EXPECT_TRUE(other.CommitNew());
    EXPECT_EQ(dir.Read("Projekt.pvs"), QByteArray("fremd"));
    EXPECT_EQ(dir.Read("Projekt_2.pvs"), QByteArray("neu"));
    EXPECT_EQ(HiddenAndPlainFiles(dir.Path()), (QStringList{"Projekt.pvs", "Projekt_2.pvs"}));
}

TEST(AtomicFile, ReplaceWithCopyCopiesWhereNoHardLinkCanBeMade)
{
    // A hard link cannot cross file systems: the source lives on a tmpfs of its own.
    TTempProgramDir dir;
    TTempProgramDir other;
    TTmpfsMount mount(other.Path(), 1 << 20);
    if (!mount.Mounted())
        GTEST_SKIP() << "no second file system: " << mount.Error().toStdString();
    other.Write("show.pvs", "show on another disk");
    dir.Write("show.~pvs", "old backup");
    ::chmod(QFile::encodeName(dir.File("show.~pvs")).constData(), 0604);
    ReplaceWithCopy(other.File("show.pvs"), dir.File("show.~pvs"));
    EXPECT_EQ(dir.Read("show.~pvs"), QByteArray("show on another disk"));
    EXPECT_EQ(Mode(dir.File("show.~pvs")), mode_t(0604));
    EXPECT_EQ(HiddenAndPlainFiles(dir.Path()), QStringList{"show.~pvs"});
}

TEST(AtomicFile, StaleTemporaryFilesAreRemovedOnlyWhenTheyAreOursAndTheirWriterIsGone)
{
    TTempProgramDir dir;
    const QString dead = QString::number(INT_MAX);   // above any process id the kernel hands out
    const QString living = QString::number(::getppid());
    const QString own = QString::number(::getpid());
    const struct {
        QString Name;
        bool Removed;
    } cases[] = {
        {".show.pvs." + dead + ".0123abcd.tmp", true},
        {".PV_TESSEL.ini." + own + ".89abcdef.tmp", true},   // our id: from an earlier run
        {".show.pvs.0123abcd.tmp", true},                       // written by an earlier build
        {".show.pvs." + living + ".0123abcd.tmp", false},      // its writer still runs
        {"show.pvs." + dead + ".0123abcd.tmp", false},         // not hidden
        {".show.pvs." + dead + ".0123ABCD.tmp", false},        // not our digits
        {".show.pvs." + dead + ".0123abc.tmp", false},
        {".show.pvs.tmp", false},
        {".tmp", false},
        {"show.pvs", false},
    };
    for (const auto& c : cases)
        dir.Write(c.Name, "x");
    // Only regular files go: a folder or a link of that name stays.
    QDir().mkpath(dir.File(".folder." + dead + ".0123abcd.tmp"));
    ASSERT_TRUE(MakeLink("show.pvs", dir.File(".link." + dead + ".0123abcd.tmp")));

    int expected = 0;
    for (const auto& c : cases)
        expected += c.Removed ? 1 : 0;
    EXPECT_EQ(RemoveStaleTempFiles(dir.Path()), expected);
    for (const auto& c : cases)
        EXPECT_EQ(QFileInfo::exists(dir.File(c.Name)), !c.Removed) << c.Name.toStdString();
    EXPECT_TRUE(QFileInfo(dir.File(".folder." + dead + ".0123abcd.tmp")).isDir());
    EXPECT_TRUE(QFileInfo(dir.File(".link." + dead + ".0123abcd.tmp")).isSymLink());
}

TEST(AtomicFile, StartUpClearsTheFoldersTheProgramWritesTo)
{
    TEngine engine;
    TTempProgramDir elsewhere;   // the last show and patch live outside the program folder
    const QString stale = QStringLiteral(".x.pvs.%1.0123abcd.tmp").arg(INT_MAX);
    const QStringList folders{"", "Data/", "Projekte/", "Fehlerlogs/"};
    for (const QString& folder : folders) {
        engine.Dir.Write(folder + stale, "x");
        engine.Dir.Write(folder + "keep.txt", "x");
    }
    elsewhere.Write("shows/" + stale, "x");
    elsewhere.Write("patches/" + stale, "x");
    elsewhere.Write("other/" + stale, "x");
    elsewhere.Write("settings/" + stale, "x");
    // The settings file is a link into another folder.
    elsewhere.Write("settings/PV_TESSEL.ini", ("[FrmMain]\r\nLetzteProjektDatei=" + elsewhere.File("shows/a.pvs")
                                              + "\r\nLetztePatchDatei=" + elsewhere.File("patches/a.pvp") + "\r\n")
                                                 .toUtf8());
    ASSERT_TRUE(MakeLink(elsewhere.File("settings/PV_TESSEL.ini"), engine.Dir.File("PV_TESSEL.ini")));
    engine.Start();
    for (const QString& folder : folders) {
        EXPECT_FALSE(QFileInfo::exists(engine.Dir.File(folder + stale))) << folder.toStdString();
        EXPECT_TRUE(QFileInfo::exists(engine.Dir.File(folder + "keep.txt"))) << folder.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(elsewhere.File("shows/" + stale)));
    EXPECT_FALSE(QFileInfo::exists(elsewhere.File("patches/" + stale)));
    EXPECT_FALSE(QFileInfo::exists(elsewhere.File("settings/" + stale)));
    EXPECT_TRUE(QFileInfo::exists(elsewhere.File("other/" + stale)));   // not ours to clean

    // At shut-down the settings are written into the linked file.
    engine.Stop();
    EXPECT_TRUE(QFileInfo(engine.Dir.File("PV_TESSEL.ini")).isSymLink());
    EXPECT_TRUE(elsewhere.Read("settings/PV_TESSEL.ini").contains("[Master]"));
}

} // namespace
