// The show file: the container's string value (type bytes and length limits,
// UTF-8 and UTF-16 texts, damaged files), open and save on the whole engine with
// the backup, failed reads and writes that leave everything as it was, and the
// sections of the not yet built modules carried through a load and a save.

#include "TestHelpers.h"

#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMod_Interface.h"
#include "framework/uAtomicFile.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

QStringList ErrorLines()
{
    return TErrorLog::Instance().Lines();
}

// The sections of a show file's string value, read back the way a module reads them.
QStringList SectionLines(const QByteArray& file, const QString& section)
{
    qsizetype used = 0;
    TStringIniFile ini;
    ini.SetText(DecodeShowString(file, used));
    const QStringList* lines = ini.GetSection(section);
    return lines ? *lines : QStringList{QStringLiteral("<fehlt>")};
}

// The Interface section without the input box's eight script lines, which
// every saved show holds: what the tests below carry through it.
QStringList CarriedInterfaceLines(const QByteArray& file)
{
    QStringList lines = SectionLines(file, QStringLiteral("Interface"));
    static const QRegularExpression boxLine(QStringLiteral("^BI\\d="));
    lines.removeIf([](const QString& line) { return boxLine.match(line).hasMatch(); });
    return lines;
}

QByteArray Tail(const QByteArray& file)
{
    qsizetype used = 0;
    DecodeShowString(file, used);
    return file.mid(used);
}

class ShowFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        AutoSpeichern = true;
        TErrorLog::Instance().Clear();
    }
    void TearDown() override { Engine.Stop(); }

    QString Path(const QString& name) const { return Engine.Dir.File(name); }
    void Import(TModuleAbstract& m, const QString& text) { ModuleMain->ImportText(m, text); }

    TEngine Engine;
};

// ---- the string value ----

TEST(ShowString, TypeByteAndLengthFollowTheTextAndItsSize)
{
    const QString at255(255, u'a');
    QByteArray b = EncodeShowString(at255);
    ASSERT_EQ(b.size(), 2 + 255);
    EXPECT_EQ(b.at(0), char(0x06));
    EXPECT_EQ(quint8(b.at(1)), 255);

    const QString at256(256, u'a');
    b = EncodeShowString(at256);
    ASSERT_EQ(b.size(), 5 + 256);
    EXPECT_EQ(b.at(0), char(0x0C));
    EXPECT_EQ(b.mid(1, 4), Le32(256));

    // One umlaut anywhere makes the whole text UTF-8, however short.
    const QString umlaut = QStringLiteral("[Kanäle]\r\n");
    b = EncodeShowString(umlaut);
    EXPECT_EQ(b, QByteArray(1, char(0x14)) + Le32(11) + umlaut.toUtf8());

    b = EncodeShowString(QString());
    EXPECT_EQ(b, QByteArray("\x06\x00", 2));

    for (const QString& text : {at255, at256, umlaut, QString()}) {
        qsizetype used = -1;
        const QByteArray bytes = EncodeShowString(text) + QByteArray("{\\rtf1}");
        EXPECT_EQ(DecodeShowString(bytes, used), text);
        EXPECT_EQ(used, bytes.size() - 7);
    }
}

TEST(ShowString, DamagedValuesAreErrorsNotCrashesOrHugeAllocations)
{
    const QByteArray cases[] = {
        QByteArray(),                                           // empty file
        QByteArray("\x07\x01" "a", 3),                          // unknown type byte
        QByteArray("{\\rtf1 only rich text}"),                  // no string value at all
        QByteArray("\x06", 1),                                  // length byte missing
        QByteArray("\x06\x0A" "abc", 5),                        // short value cut off
        QByteArray("\x0C\x00\x01", 3),                          // length field cut off
        QByteArray(1, char(0x0C)) + Le32(1000) + "abc",         // length past the end
        QByteArray(1, char(0x14)) + Le32(0xFFFFFFF0u) + "abc",  // about 4 GiB announced
        QByteArray(1, char(0x12)) + Le32(0x80000001u) + "ab",   // its byte count overflows 32 bits
        QByteArray(1, char(0x12)) + Le32(3) + "abcde",          // one byte short of 3 characters
    };
    for (const QByteArray& bytes : cases) {
        qsizetype used = 0;
        EXPECT_THROW(DecodeShowString(bytes, used), EPvError) << bytes.toHex().constData();
    }
}

// ---- save and open on the engine ----

TEST_F(ShowFileTest, SectionsOfUnbuiltModulesAndTheScriptTextSurviveOpenAndSave)
{
    // Written by hand, in an order of its own, with an empty line missing and
    // blanks around a separator; the modules' own order comes out.
    const QString text = QStringLiteral(
        "[MIDI]\r\nCount=1\r\nPara_1=6569104\r\nSzene_1=1\r\n"
        "[Szenen]\r\nAnzahl=1\r\nSZ_1_SNR=4\r\nSZ_1_NAME=Akt I – Bühne\r\nSZ_1_SDAT=a\r\nSZ_1_MDAT=a\r\nSZ_1_FAD=10\r\n"
        "SZ_1_FAP=20\r\nSZ_1_SZ_CNT=0\r\nSZ_1_MAK_CNT=1\r\nSZ_1_MAK_1_DAT=a\r\nSZ_1_MAK_1_MAK=K1P255;\"W5 M3\"\r\n"
        "\r\n[Makros]\r\nMakroCount=2\r\nText_1=K1P0|UK1P255|\r\n"
        "\r\n[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nTrackID_1=1\r\nName_1_0=Musik\r\nFile_1_0=/fehlt/Musik.wav\r\nLevel_1_0=-60\r\n"
        "\r\n[Gruppen]\r\nSZ_2_SDAT=g\r\nSZ_2_SZ_CNT=1\r\nSZ_2_SZ_1_DAT=g\r\nSZ_2_SZ_1_KAN=FF00FF00FF00FF00FF00DE00\r\n"
        "\r\n[Interface]\r\nCOM = 3\r\n");
    QByteArray tail("{\\rtf1\\ansi {{1}} Vorhang \\'e4\r\n}\x00\xFF", 33);
    Engine.Dir.Write("hand.pvs", HandMadeShow(text, tail));

    ASSERT_TRUE(OpenProject(Path("hand.pvs")));
    EXPECT_EQ(ProjectFileName, Path("hand.pvs"));
    ASSERT_TRUE(SaveProject(Path("again.pvs")));
    ModuleMain->NewProject();
    ASSERT_TRUE(OpenProject(Path("again.pvs")));
    ASSERT_TRUE(SaveProject(Path("third.pvs")));

    const QByteArray again = Engine.Dir.Read("again.pvs");
    EXPECT_EQ(Tail(again), tail);
    EXPECT_EQ(SectionLines(again, "Makros"), (QStringList{"MakroCount=2", "EditCount=0", "Name_1=", "Text_1=K1P0|UK1P255|",
                                                      "Icon_1=-1", "VF_1=0", "HF_1=10"}));
    EXPECT_EQ(SectionLines(again, "Audio"), (QStringList{"PanelCount=10", "TrackCount_1=1", "TrackID_1=1", "Name_1_0=Musik",
                                                     "File_1_0=/fehlt/Musik.wav", "Level_1_0=-60"}));
    EXPECT_EQ(SectionLines(again, "Szenen"),
              (QStringList{"Anzahl=1", "SZ_1_SNR=4", QStringLiteral("SZ_1_NAME=Akt I – Bühne"), "SZ_1_SDAT=a", "SZ_1_MDAT=a",
                           "SZ_1_FAD=10", "SZ_1_FAP=20", "SZ_1_SZ_CNT=0", "SZ_1_MAK_CNT=1", "SZ_1_MAK_1_DAT=a",
                           "SZ_1_MAK_1_MAK=K1P255;\"W5 M3\""}));
    EXPECT_EQ(SectionLines(again, "Gruppen"),
              (QStringList{"SZ_2_SDAT=g", "SZ_2_SZ_CNT=1", "SZ_2_SZ_1_DAT=g", "SZ_2_SZ_1_KAN=FF00FF00FF00FF00FF00DE00"}));
    // The input box writes its eight scripts first; the line nothing reads stays.
    EXPECT_EQ(SectionLines(again, "Interface"),
              (QStringList{"BI0=", "BI1=", "BI2=", "BI3=", "BI4=", "BI5=", "BI6=", "BI7=", "COM=3"}));
    EXPECT_EQ(SectionLines(again, "MIDI"), (QStringList{"Count=1", "Para_1=6569104", "Szene_1=1"}));
    EXPECT_EQ(Engine.Dir.Read("third.pvs"), again);

    // Module order: the macros first, each later section after an empty line.
    qsizetype used = 0;
    const QString saved = DecodeShowString(again, used);
    EXPECT_TRUE(saved.startsWith(QStringLiteral("[Makros]\r\n")));
    const QStringList order{"Audio", "Szenen", "Gruppen", "Interface", "MIDI"};
    qsizetype last = 0;
    for (const QString& name : order) {
        const qsizetype at = saved.indexOf(QStringLiteral("\r\n\r\n[") + name + QStringLiteral("]\r\n"));
        EXPECT_GT(at, last) << name.toStdString();
        last = at;
    }
    EXPECT_TRUE(saved.endsWith(QStringLiteral("Szene_1=1\r\n")));

    // A new show forgets the scenes, the script and the carried sections.
    ModuleMain->NewProject();
    ASSERT_TRUE(SaveProject(Path("leer.pvs")));
    const QByteArray empty = Engine.Dir.Read("leer.pvs");
    EXPECT_TRUE(Tail(empty).isEmpty());
    EXPECT_EQ(SectionLines(empty, "Szenen"), QStringList{"Anzahl=0"});
    EXPECT_EQ(SectionLines(empty, "Gruppen").size(), 4);   // a new show keeps the group scenes
}

TEST_F(ShowFileTest, SaveLeavesTheOldVersionAsBackupAndSaveAsMakesNone)
{
    const QString show = Path("show.pvs");
    Engine.Dir.Write("show.pvs", HandMadeShow("\r\n[Interface]\r\nv=1\r\n"));
    Engine.Dir.Write("show.~pvs", "uralt");
    ASSERT_TRUE(OpenProject(show));
    Import(*ModuleInterface, "[Interface]\r\nv=2\r\n");

    ASSERT_TRUE(SaveCurrentProject());
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("show.pvs")), QStringList{"v=2"});
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("show.~pvs")), QStringList{"v=1"});

    // Save as: the target is replaced after the overwrite question, no backup beside it.
    TScriptedPrompts prompts;
    Engine.Dir.Write("other.pvs", "old other");
    prompts.FileAnswers = {Path("other.pvs")};
    prompts.YesNoAnswers = {true};
    ASSERT_TRUE(SaveProjectAs());
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("other.pvs")), QStringList{"v=2"});
    EXPECT_FALSE(QFileInfo::exists(Path("other.~pvs")));
    EXPECT_EQ(ProjectFileName, Path("other.pvs"));
    ASSERT_EQ(prompts.Asked.size(), 2);
    EXPECT_TRUE(prompts.Asked.at(1).contains("existiert bereits"));

    // No temporary files are left behind.
    const QStringList left = QDir(Engine.Dir.Path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, (QStringList{"other.pvs", "show.pvs", "show.~pvs"}));
    EXPECT_TRUE(ErrorLines().isEmpty()) << ErrorLines().join('\n').toStdString();
}

TEST_F(ShowFileTest, AFailedWriteLeavesShowAndBackupUntouched)
{
    const QString show = Path("show.pvs");
    const QByteArray oldShow = HandMadeShow("\r\n[Interface]\r\nv=1\r\n", "old rich text");
    Engine.Dir.Write("show.pvs", oldShow);
    Engine.Dir.Write("show.~pvs", "older backup");
    ASSERT_TRUE(OpenProject(show));
    Import(*ModuleInterface, QStringLiteral("[Interface]\r\nv=") + QString(20000, u'x') + QStringLiteral("\r\n"));

    // The disk takes no more than 4 KiB per file, so the new show cannot be written.
    bool saved = true;
    {
        TFileSizeLimit limit(4096);
        saved = SaveCurrentProject();
    }

    EXPECT_FALSE(saved);
    EXPECT_EQ(Engine.Dir.Read("show.pvs"), oldShow);
    EXPECT_EQ(Engine.Dir.Read("show.~pvs"), QByteArray("older backup"));
    EXPECT_EQ(ErrorLogCount("Fehler beim Speichern: "), 1) << ErrorLines().join(QLatin1Char(10)).toStdString();
    EXPECT_EQ(QDir(Engine.Dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

    // A folder that does not exist: nothing written, the show keeps its name.
    EXPECT_FALSE(SaveProject(Path("fehlt/neu.pvs")));
    EXPECT_EQ(ProjectFileName, show);
    EXPECT_EQ(ErrorLogCount("Fehler beim Speichern: "), 2);
}

TEST_F(ShowFileTest, ABackgroundSaveNamesTheShowOnlyOnceWrittenAndASecondWaitsForTheFirst)
{
    Engine.Dir.Write("show.pvs", HandMadeShow("\r\n[Interface]\r\nv=1\r\n"));
    ASSERT_TRUE(OpenProject(Path("show.pvs")));
    Import(*ModuleInterface, "[Interface]\r\nv=2\r\n");
    ASSERT_TRUE(SaveProjectInBackground(Path("a.pvs")));
    EXPECT_EQ(ProjectFileName, Path("show.pvs"));   // the result has not come back yet

    // What the show holds at the moment of each save is what its file gets.
    Import(*ModuleInterface, "[Interface]\r\nv=3\r\n");
    ASSERT_TRUE(SaveProjectInBackground(Path("b.pvs")));
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("a.pvs")), QStringList{"v=2"});
    EXPECT_EQ(ProjectFileName, Path("a.pvs"));
    EXPECT_TRUE(ShowFileBusy());
    WaitForShowSaves();
    EXPECT_FALSE(ShowFileBusy());
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("b.pvs")), QStringList{"v=3"});
    EXPECT_EQ(ProjectFileName, Path("b.pvs"));

    // A write that fails keeps the show's name and is logged once.
    Import(*ModuleInterface, QStringLiteral("[Interface]\r\nv=") + QString(20000, u'x') + QStringLiteral("\r\n"));
    {
        TFileSizeLimit limit(4096);
        ASSERT_TRUE(SaveProjectInBackground(Path("c.pvs")));
        WaitForShowSaves();
    }
    EXPECT_FALSE(QFileInfo::exists(Path("c.pvs")));
    EXPECT_EQ(ProjectFileName, Path("b.pvs"));
    EXPECT_EQ(ErrorLogCount("Fehler beim Speichern: "), 1);
}

TEST_F(ShowFileTest, TheEventLoopGoesOnWhileAShowIsRead)
{
    // With the clock running, the show comes through a pipe that only a timer of
    // the event loop feeds: the open returns only because the loop ran while the
    // file was being read. A
    // thread feeds it after 20 s all the same, so a loop that stands still fails
    // the test instead of hanging it.
    ModuleMain->StartClock();
    const QString fifo = Path("pipe.pvs");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray show = HandMadeShow("[Interface]\r\nv=7\r\n", "rtf");
    std::atomic<bool> fed{false};
    auto feed = [&] {
        if (fed.exchange(true))
            return;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::write(fd, show.constData(), size_t(show.size())), show.size());
        ::close(fd);
    };
    bool fedByTheLoop = false;
    QTimer::singleShot(0, [&] {
        fedByTheLoop = !fed;
        feed();
    });
    std::thread fallback([&] {
        for (int i = 0; i < 2000 && !fed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        feed();
    });
    const bool opened = OpenProject(fifo);
    fallback.join();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(fedByTheLoop);
    EXPECT_EQ(ModuleInterface->ShowSections.Lines("Interface"), QStringList{"v=7"});
    EXPECT_EQ(ModuleSzenen->SaveTextToStream(), QByteArray("rtf"));
}

TEST_F(ShowFileTest, AModuleThatCannotSaveStillYieldsAFile)
{
    // One fails on the GUI thread, one on the save's thread.
    class TBroken : public TModuleAbstract {
    public:
        TBroken() { Name = "Kaputt"; }
        void SaveToStrings(QStringList&) override { throw EPvError("geht nicht"); }
    };
    class TBrokenLater : public TModuleAbstract {
    public:
        TBrokenLater() { Name = "Später"; }
        std::function<void(QStringList&)> SaveLater() override
        {
            return [](QStringList&) { throw EPvError("geht später nicht"); };
        }
    };
    ModuleMain->Modules.emplace(ModuleMain->Modules.begin() + 1, new TBroken);
    ModuleMain->Modules.emplace(ModuleMain->Modules.begin() + 2, new TBrokenLater);
    Import(*ModuleInterface, "[Interface]\r\nSeite1=Musik\r\n");
    for (const bool clock : {false, true}) {
        if (clock)
            ModuleMain->StartClock();
        TErrorLog::Instance().Clear();
        ASSERT_TRUE(SaveProject(Path("s.pvs")));
        EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("s.pvs")), QStringList{"Seite1=Musik"});
        EXPECT_EQ(SectionLines(Engine.Dir.Read("s.pvs"), "Szenen"), QStringList{"Anzahl=0"});
        EXPECT_EQ(ErrorLogCount("Fehler beim Speichern von Modul Kaputt    geht nicht"), 1);
        EXPECT_EQ(ErrorLogCount(QStringLiteral("Fehler beim Speichern von Modul Später    geht später nicht")), 1);
    }
}

TEST_F(ShowFileTest, WithTheClockRunningScenesAreReadAndWrittenOffTheGuiThread)
{
    ModuleMain->StartClock();
    // Read on the reading thread: a count beyond the section is logged once.
    Engine.Dir.Write(
        "s.pvs", HandMadeShow(QStringLiteral(
                     "\r\n[Szenen]\r\nAnzahl=50\r\nSZ_1_SNR=4\r\nSZ_1_NAME=Akt I\r\nSZ_1_SDAT=a\r\nSZ_1_MDAT=a\r\n"
                     "SZ_1_SZ_CNT=1\r\nSZ_1_SZ_1_DAT=a\r\nSZ_1_SZ_1_KAN=FF00\r\nSZ_1_MAK_CNT=1\r\nSZ_1_MAK_1_DAT=a\r\n"
                     "SZ_1_MAK_1_MAK=K1P255\r\n")));
    ASSERT_TRUE(OpenProject(Path("s.pvs")));
    ASSERT_EQ(ModuleSzenen->SceneCount(), 1);
    TSzene& scene = ModuleSzenen->GetScene(0);
    EXPECT_EQ(scene.NAME, "Akt I");
    EXPECT_EQ(scene.Versionen.size(), 1u);
    EXPECT_EQ(ErrorLogCount("ist größer als der Abschnitt"), 1);

    // A save writes the scenes as they stood when it began; what changes while
    // it is written, the macro lines shared with the master among it, waits for
    // the next save.
    const auto saved = [this] { return SectionLines(Engine.Dir.Read("s.pvs"), "Szenen"); };
    ASSERT_TRUE(SaveProjectInBackground(Path("s.pvs")));
    scene.NAME = "Akt II";
    *scene.MakroVersionen.at(0).Lines = QStringList{"K2P0"};
    ModuleSzenen->GetGroupScene(0).Versionen.emplace_back().Name = "neu";
    WaitForShowSaves();
    EXPECT_TRUE(saved().contains("SZ_1_NAME=Akt I"));
    EXPECT_TRUE(saved().contains("SZ_1_MAK_1_MAK=K1P255"));
    EXPECT_TRUE(SectionLines(Engine.Dir.Read("s.pvs"), "Gruppen").isEmpty());
    ASSERT_TRUE(SaveProject(Path("s.pvs")));
    EXPECT_TRUE(saved().contains("SZ_1_NAME=Akt II"));
    EXPECT_TRUE(saved().contains("SZ_1_MAK_1_MAK=K2P0"));
    EXPECT_TRUE(SectionLines(Engine.Dir.Read("s.pvs"), "Gruppen").contains("SZ_1_SZ_1_DAT=neu"));
}

TEST_F(ShowFileTest, AFileThatCannotBeReadChangesNothing)
{
    Engine.Dir.Write("good.pvs", HandMadeShow("[Interface]\r\nv=1\r\n", "rtf"));
    ASSERT_TRUE(OpenProject(Path("good.pvs")));
    QSignalSpy renamed(&ProjectSignals(), &TProjectSignals::projectFileNameChanged);

    EXPECT_FALSE(OpenProject(Path("missing.pvs")));
    QDir().mkpath(Path("folder.pvs"));
    EXPECT_FALSE(OpenProject(Path("folder.pvs")));

    EXPECT_EQ(ProjectFileName, Path("good.pvs"));
    EXPECT_EQ(renamed.count(), 0);
    EXPECT_EQ(ModuleInterface->ShowSections.Lines("Interface"), QStringList{"v=1"});
    EXPECT_EQ(ModuleSzenen->SaveTextToStream(), QByteArray("rtf"));
    EXPECT_EQ(ErrorLogCount("Fehler beim Öffnen: "), 2);
    EXPECT_TRUE(ErrorLines().first().contains("missing.pvs"));
}

TEST_F(ShowFileTest, AShowThatFailsToOpenIsNeverWrittenOver)
{
    Engine.Main->Modules.emplace_back(std::make_unique<TFailingModule>());
    TScriptedPrompts prompts;   // a save dialog is cancelled
    Engine.Dir.Write("good.pvs", HandMadeShow("[Interface]\r\nv=1\r\n", "rtf"));
    const struct {
        const char* Name;
        QByteArray Bytes;
        const char* Logged;
        bool Mixture;   // some modules read their sections before the failure
    } cases[] = {
        {"type.pvs", QByteArray("\x07\x03" "abc", 5), "Fehler beim Öffnen: Unbekannter Texttyp $07 am Anfang der Datei.",
         false},
        {"wav.pvs", QByteArray("RIFF\x24\x08\x00\x00WAVEfmt ", 16), "Unbekannter Texttyp $52 am Anfang der Datei.", false},
        {"short.pvs", QByteArray(1, char(0x14)) + Le32(500) + "[Interface]\r\nv=2\r\n",
         "Die Textlänge 500 übersteigt die 18 Bytes", false},
        {"module.pvs", HandMadeShow("[Interface]\r\nv=2\r\n[Kaputt]\r\nx=1\r\n", "neu"),
         "Fehler beim Öffnen: Abschnitt Kaputt unlesbar", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(OpenProject(Path("good.pvs")));
        TErrorLog::Instance().Clear();
        prompts.Asked.clear();
        Engine.Dir.Write(c.Name, c.Bytes);

        EXPECT_FALSE(OpenProject(Path(c.Name)));
        EXPECT_EQ(ErrorLogCount(QString::fromUtf8(c.Logged)), 1) << ErrorLines().join(u'\n').toStdString();
        EXPECT_EQ(ProjectFileName, c.Mixture ? QString() : Path("good.pvs"));
        EXPECT_TRUE(ModuleInterface->ShowSections.Lines("Interface").contains(c.Mixture ? "v=2" : "v=1"));
        EXPECT_EQ(ModuleSzenen->SaveTextToStream(), QByteArray("rtf"));   // the script is not read
        EXPECT_FALSE(ModulesBusy);

        // "Speichern" writes the good show into its own file, or asks where a
        // mixture goes; the file that failed to open is never touched.
        EXPECT_EQ(SaveCurrentProject(), !c.Mixture);
        EXPECT_EQ(prompts.Asked.size(), c.Mixture ? 1 : 0);
        EXPECT_EQ(Engine.Dir.Read(c.Name), c.Bytes);
        EXPECT_FALSE(QFileInfo::exists(BackupFileName(Path(c.Name))));
        if (!c.Mixture) {
            EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("good.pvs")), QStringList{"v=1"});
        }
    }
}

TEST_F(ShowFileTest, OpensAUtf16Show)
{
    const QString text = QStringLiteral("\r\n[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nName_1_0=Bühne\r\nFile_1_0=/fehlt/Bühne.wav\r\n\r\n[Interface]\r\nName=Bühne\r\n");
    QByteArray file(1, char(0x12));
    file += Le32(quint32(text.size()));
    for (QChar c : text) {
        file.append(char(c.unicode() & 0xFF));
        file.append(char(c.unicode() >> 8));
    }
    Engine.Dir.Write("utf16.pvs", file + "RTF");
    ASSERT_TRUE(OpenProject(Path("utf16.pvs")));
    EXPECT_EQ(ModuleAudio->GetPanel(0)->Names.value(0), QStringLiteral("Bühne"));
    EXPECT_EQ(ModuleInterface->ShowSections.Lines("Interface"), QStringList{QStringLiteral("Name=Bühne")});
    EXPECT_EQ(ModuleSzenen->SaveTextToStream(), QByteArray("RTF"));

    // Written back, it is UTF-8.
    ASSERT_TRUE(SaveCurrentProject());
    EXPECT_EQ(Engine.Dir.Read("utf16.pvs").at(0), char(0x14));
}

TEST_F(ShowFileTest, ALinkedShowIsSavedIntoItsFileWithTheBackupBesideIt)
{
    // The show's name is a link into another folder; a save left the backup as a
    // second name of the show (killed between its two renames).
    Engine.Dir.Write("real/show.pvs", HandMadeShow("\r\n[Interface]\r\nv=1\r\n"));
    ASSERT_EQ(::link(QFile::encodeName(Path("real/show.pvs")).constData(), QFile::encodeName(Path("real/show.~pvs")).constData()), 0);
    ASSERT_EQ(::symlink("real/show.pvs", QFile::encodeName(Path("show.pvs")).constData()), 0);
    ASSERT_TRUE(OpenProject(Path("show.pvs")));
    for (const char* v : {"2", "3"}) {
        Import(*ModuleInterface, QStringLiteral("[Interface]\r\nv=%1\r\n").arg(v));
        ASSERT_TRUE(SaveCurrentProject());
    }
    EXPECT_TRUE(QFileInfo(Path("show.pvs")).isSymLink());
    EXPECT_EQ(ProjectFileName, Path("show.pvs"));
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("real/show.pvs")), QStringList{"v=3"});
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("real/show.~pvs")), QStringList{"v=2"});
    EXPECT_FALSE(QFileInfo::exists(Path("show.~pvs")));
    EXPECT_EQ(QDir(Path("real")).entryList(QDir::Files | QDir::Hidden, QDir::Name), (QStringList{"show.pvs", "show.~pvs"}));

    // BackupProjectFile alone copies the show and leaves it in place.
    BackupProjectFile();
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("real/show.~pvs")), QStringList{"v=3"});
    EXPECT_EQ(CarriedInterfaceLines(Engine.Dir.Read("real/show.pvs")), QStringList{"v=3"});
    EXPECT_TRUE(ErrorLines().isEmpty()) << ErrorLines().join('\n').toStdString();
}

// A child process saves the show with backup over and over, alternating between
// two versions, and is killed at a random moment. Every time, the show on the disk
// is one of the two versions, whole, and so is the backup.
TEST_F(ShowFileTest, ASaveKilledAtAnyMomentLeavesACompleteShowAndBackup)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "fork() fails in a program built with ThreadSanitizer";
#endif
    const QString show = Path("show.pvs");
    const QByteArray tailA(400000, 'a'), tailB(450000, 'b');
    QString audio = QStringLiteral("[Interface]\r\n");
    for (int i = 1; i <= 2000; ++i)
        audio += QStringLiteral("M%1=K%1P255\r\n").arg(i);
    Import(*ModuleInterface, audio);
    ModuleSzenen->LoadTextFromStream(tailA);
    const QByteArray a = BuildShowFile();
    ModuleSzenen->LoadTextFromStream(tailB);
    const QByteArray b = BuildShowFile();

    // One timed save tells how long a save takes here; the kills spread over two.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(SaveProject(show));
    const auto saveTime = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(SaveProject(show, true));
    ASSERT_EQ(Engine.Dir.Read("show.pvs"), b);
    ASSERT_EQ(Engine.Dir.Read("show.~pvs"), b);
    const auto spread = std::chrono::duration_cast<std::chrono::microseconds>(saveTime).count() * 2 + 100;

    std::mt19937 random(20261208);
    std::uniform_int_distribution<long long> moment(0, spread);
    int failures = 0;
    for (int kill = 0; kill < 100 && failures < 3; ++kill) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            for (unsigned i = 0;; ++i) {
                ModuleSzenen->LoadTextFromStream(i % 2 ? tailB : tailA);
                SaveProject(show, true);
                if (::write(pipeFds[1], "s", 1) != 1)
                    ::_exit(0);
            }
        }
        ::close(pipeFds[1]);
        // After the child's first whole save, the kill comes at a random moment.
        pollfd ready{pipeFds[0], POLLIN, 0};
        char c = 0;
        const bool saved = ::poll(&ready, 1, 30000) == 1 && ::read(pipeFds[0], &c, 1) == 1;
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(pipeFds[0]);
        ASSERT_TRUE(saved) << "the child never finished a save";

        const QByteArray now = Engine.Dir.Read("show.pvs");
        const QByteArray backup = Engine.Dir.Read("show.~pvs");
        qsizetype used = 0;
        bool parsed = true;
        try {
            DecodeShowString(now, used);
        } catch (const std::exception&) {
            parsed = false;
        }
        const bool whole = parsed && (now == a || now == b) && (backup == a || backup == b);
        EXPECT_TRUE(whole) << "kill " << kill << ": show " << now.size() << " bytes, backup " << backup.size() << " bytes";
        failures += whole ? 0 : 1;
    }

    // The temporary files the kills left are ours to remove; nothing else goes.
    RemoveStaleTempFiles(Engine.Dir.Path());
    const QStringList left = QDir(Engine.Dir.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(left, (QStringList{"show.pvs", "show.~pvs"}));
}

} // namespace

// ---- the save at a signal ----

namespace {

QStringList Rescued(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("Projekt_*.pvs")}, QDir::Files);
}

}   // namespace

TEST_F(ShowFileTest, ASignalSavesTheShowToItsFileOrElseToANewOneAndSaysWhy)
{
    Import(*ModuleInterface, QStringLiteral("[Interface]\r\nv=Abend\r\n"));
    struct TCase {
        const char* Name;
        std::function<void()> Arrange;
        const char* Reason;   // empty: saved to its own file
    };
    const TCase cases[] = {
        {"no file yet", [] { SetProjectFileName(QString()); }, "das Projekt hatte noch keine Datei"},
        {"saved where it was",
         [this] {
             Engine.Dir.Write("show.pvs", HandMadeShow(""));
             SetProjectFileName(Path("show.pvs"));
         },
         ""},
        {"its file vanished behind a link",
         [this] {
             QFile::link(Path("weg.pvs"), Path("link.pvs"));
             SetProjectFileName(Path("link.pvs"));
         },
         "gibt es nicht mehr"},
        {"its file cannot be written", [] { SetProjectFileName(QStringLiteral("/proc/version")); },
         "ist fehlgeschlagen"},
        {"its file is write-protected",
         [this] {
             Engine.Dir.Write("schreibgeschuetzt.pvs", HandMadeShow(""));
             ::chmod(QFile::encodeName(Path("schreibgeschuetzt.pvs")).constData(), 0444);
             SetProjectFileName(Path("schreibgeschuetzt.pvs"));
         },
         "ist fehlgeschlagen"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TErrorLog::Instance().Clear();
        c.Arrange();
        const QString before = ProjectFileName;
        const QStringList earlier = Rescued(ProjectDir);
        const QString written = SaveProjectUnattended();
        ASSERT_FALSE(written.isEmpty()) << ErrorLines().join(u'\n').toStdString();
        EXPECT_EQ(ProjectFileName, written);
        QFile file(written);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(SectionLines(file.readAll(), QStringLiteral("Interface")).contains("v=Abend"));
        if (*c.Reason == 0) {
            EXPECT_EQ(written, before);
            EXPECT_EQ(Rescued(ProjectDir), earlier);
            EXPECT_TRUE(QFileInfo::exists(BackupFileName(before)));
            continue;
        }
        EXPECT_EQ(Rescued(ProjectDir).size(), earlier.size() + 1);
        EXPECT_EQ(QFileInfo(written).absolutePath() + u'/', ProjectDir);
        EXPECT_EQ(ErrorLogCount(QStringLiteral("Projekt beim Beenden gesichert in \"%1\"").arg(written)), 1);
        EXPECT_EQ(ErrorLogCount(QString::fromUtf8(c.Reason)), 1) << ErrorLines().join(u'\n').toStdString();
    }
    // Not even root replaces a write-protected show, nor backs it up.
    EXPECT_EQ(Engine.Dir.Read("schreibgeschuetzt.pvs"), HandMadeShow(""));
    EXPECT_FALSE(QFileInfo::exists(Path("schreibgeschuetzt.~pvs")));
    EXPECT_EQ(ErrorLogCount("sie ist schreibgeschützt."), 1);
}

namespace {

// Sets an environment variable while it lives.
class TEnvironment {
public:
    TEnvironment(const char* name, const QString& value) : FName(name), FOld(qgetenv(name)), FWasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value.toUtf8());
    }
    ~TEnvironment()
    {
        if (FWasSet)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    QByteArray FOld;
    bool FWasSet;
};

} // namespace

TEST_F(ShowFileTest, ARescuedShowNeverReplacesAFileAndFallsBackToHomeThenTheTemporaryFolder)
{
    QTemporaryDir home, temp;
    const TEnvironment homeVar("HOME", home.path()), tempVar("TMPDIR", temp.path());
    const QDateTime at(QDate(2026, 2, 3), QTime(14, 5, 9));
    Engine.Dir.Write("Projekte/Projekt_2026_02_03_-_14_05_09.pvs", "fremd");
    EXPECT_EQ(SaveProjectToNewFile(at), ProjectDir + "Projekt_2026_02_03_-_14_05_09_2.pvs");
    EXPECT_EQ(SaveProjectToNewFile(at), ProjectDir + "Projekt_2026_02_03_-_14_05_09_3.pvs");
    EXPECT_EQ(Engine.Dir.Read("Projekte/Projekt_2026_02_03_-_14_05_09.pvs"), "fremd");

    // A show folder that cannot exist (a file is in its way): the home folder,
    // and where there is none, the temporary folder, which the log names as one
    // the system may empty.
    Engine.Dir.Write("Datei", "x");
    const QString oldProjectDir = ProjectDir;
    ProjectDir = Path("Datei/Projekte/");
    const struct {
        QString Home;
        QString Folder;
    } cases[] = {{home.path(), home.path()}, {Path("fehlt"), temp.path()}, {Path("Datei"), temp.path()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Home.toStdString());
        const TEnvironment homeHere("HOME", c.Home);
        const bool inTemp = c.Folder == temp.path();
        bool temporary = !inTemp;
        const QString written = SaveProjectToNewFile(at, &temporary);
        EXPECT_EQ(QFileInfo(written).absolutePath(), c.Folder);
        EXPECT_EQ(temporary, inTemp);

        TErrorLog::Instance().Clear();
        SetProjectFileName(QString());
        const QString rescued = SaveProjectUnattended();
        EXPECT_EQ(QFileInfo(rescued).absolutePath(), c.Folder);
        EXPECT_EQ(ErrorLogCount(QStringLiteral("Projekt beim Beenden gesichert in \"%1\"").arg(rescued)), 1);
        EXPECT_EQ(ErrorLogCount("Achtung: Das ist ein temporärer Ordner, den das System leeren kann"), inTemp ? 1 : 0);
    }
    ProjectDir = oldProjectDir;

    // Nowhere to write: no file, the reason in the log, and nothing raised.
    TErrorLog::Instance().Clear();
    SetProjectFileName(QString());
    {
        TFileSizeLimit limit(0);
        EXPECT_TRUE(SaveProjectUnattended().isEmpty());
    }
    EXPECT_EQ(ErrorLogCount("Projekt beim Beenden nicht gesichert (das Projekt hatte noch keine Datei)"), 1);
}

TEST_F(ShowFileTest, ASignalWritesNoFileForAShowThatIsStillNew)
{
    TScriptedPrompts prompts;
    prompts.YesNoAnswers = {true};
    Engine.Dir.Write("leer.pvs", HandMadeShow(""));
    const struct {
        const char* Name;
        std::function<void()> Act;
        bool Written;
    } cases[] = {
        {"untouched", [] {}, false},
        {"changed", [this] { Import(*ModuleInterface, "[Interface]\r\nv=1\r\n"); }, true},
        {"changed and changed back",
         [this] {
             Import(*ModuleInterface, "[Interface]\r\nv=1\r\n");
             ModuleMain->NewProject();
         },
         false},
        {"a show opened", [this] { ASSERT_TRUE(OpenProject(Path("leer.pvs"))); SetProjectFileName(QString()); }, true},
        {"a show that failed to open", [this] { EXPECT_FALSE(OpenProject(Path("fehlt.pvs"))); }, false},
        {"a new show after a changed one",
         [this] {
             Import(*ModuleInterface, "[Interface]\r\nv=1\r\n");
             AutoSpeichern = false;
             ASSERT_TRUE(NewProjectFile());
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ModuleMain->NewProject();
        SetProjectFileName(QString());
        RememberNewShow();
        prompts.YesNoAnswers = {true};
        TErrorLog::Instance().Clear();
        const QStringList before = Rescued(ProjectDir);
        c.Act();
        const QString written = SaveProjectUnattended();
        EXPECT_EQ(!written.isEmpty(), c.Written);
        EXPECT_EQ(Rescued(ProjectDir).size(), before.size() + (c.Written ? 1 : 0));
        EXPECT_EQ(ErrorLogCount("Projekt beim Beenden"), c.Written ? 1 : 0);
    }
}
