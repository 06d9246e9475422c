// The main module: lifecycle broadcasts, the busy flag, shut-down order, the
// clock and its flags, own-document operations, module text export and import,
// and the settings file written at shut-down.

#include "TestHelpers.h"

#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A module that records every call it gets, and whether the busy flag was set.
class TSpyModule : public TModuleAbstract {
public:
    TSpyModule(QString name, QStringList& log) : FLog(log) { Name = std::move(name); }
    ~TSpyModule() override { FLog << "free " + Name; }

    void Init() override { FLog << "Init " + Name; }
    void Done() override { FLog << "Done " + Name; }
    void LoadIni(TStringIniFile& ini) override
    {
        FLog << QStringLiteral("LoadIni %1 busy=%2").arg(Name).arg(ModulesBusy.load());
        if (ThrowIn == "LoadIni")
            throw EPvError("kaputt");
        Loaded = ini.ReadString(Name, "x", "");
    }
    void NewProject() override
    {
        FLog << QStringLiteral("NewProject %1 busy=%2").arg(Name).arg(ModulesBusy.load());
        if (ThrowIn == "NewProject")
            throw EPvError("kaputt");
    }
    void SaveToStrings(QStringList& lines) override
    {
        if (ThrowIn == "SaveToStrings")
            throw EPvError("Platte voll");
        lines << "" << "[" + Name + "]" << "x=" + Name.toLower();
    }
    void Tick() override
    {
        ++Ticks;
        if (ThrowIn == "Tick")
            throw EPvError("Tickfehler");
    }
    void SaveToFile() override
    {
        ++Saves;
        WriteTextFileAtomic(FileName, {"doc"});
    }
    void ClearDocument() override { ++Clears; }

    QString ThrowIn;
    QString Loaded;
    int Ticks = 0;
    int Saves = 0;
    int Clears = 0;

private:
    QStringList& FLog;
};

class ModuleMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();   // what the start-up logged (no plug-in here) is not under test
    }
    // Appends spies behind the eight real modules.
    TSpyModule* AddSpy(const QString& name)
    {
        auto* spy = new TSpyModule(name, Log);
        Engine.Main->Modules.emplace_back(spy);
        return spy;
    }
    QStringList Log;
    TEngine Engine;
};

} // namespace

TEST_F(ModuleMainTest, CreatesTheEightModulesInOrderAndPublishesThem)
{
    ASSERT_EQ(Engine.Main->Modules.size(), 8u);
    EXPECT_EQ(ModuleMain, Engine.Main);
    const std::vector<const void*> expected{ModuleIcons, ModuleMakro, ModulePatch, ModuleAudio,
                                            ModuleLichtpult, ModuleMaster, ModuleSzenen, ModuleInterface};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NE(expected[i], nullptr);
        EXPECT_EQ(static_cast<const void*>(Engine.Main->Modules[i].get()), expected[i]) << i;
    }
    EXPECT_EQ(ProgramDir, Engine.Dir.Path());
    EXPECT_EQ(DataDir, Engine.Dir.Path() + "Data/");
    EXPECT_EQ(ProjectDir, Engine.Dir.Path() + "Projekte/");
}

TEST_F(ModuleMainTest, LoadIniSetsBusyAndAStopsAtAFailingModule)
{
    AddSpy("A");
    AddSpy("B")->ThrowIn = "LoadIni";
    TSpyModule* c = AddSpy("C");
    TStringIniFile ini;
    ini.SetText("[C]\nx=1\n");
    EXPECT_THROW(Engine.Main->LoadIni(ini), EPvError);
    EXPECT_EQ(Log, QStringList({"LoadIni A busy=1", "LoadIni B busy=1"}));
    EXPECT_TRUE(c->Loaded.isEmpty());
    EXPECT_FALSE(ModulesBusy);

    Log.clear();
    AddSpy("D")->ThrowIn = "NewProject";
    EXPECT_THROW(Engine.Main->NewProject(), EPvError);
    EXPECT_EQ(Log, QStringList({"NewProject A busy=1", "NewProject B busy=1", "NewProject C busy=1", "NewProject D busy=1"}));
    EXPECT_FALSE(ModulesBusy);
}

TEST_F(ModuleMainTest, SaveToStringsLogsAFailingModuleAndKeepsTheOthers)
{
    AddSpy("A");
    AddSpy("B")->ThrowIn = "SaveToStrings";
    AddSpy("C");
    QStringList lines;
    Engine.Main->SaveToStrings(lines);
    EXPECT_TRUE(lines.contains("[A]"));
    EXPECT_FALSE(lines.contains("[B]"));
    EXPECT_TRUE(lines.contains("[C]"));
    const QStringList logged = TErrorLog::Instance().Lines();
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].endsWith("  F     Fehler beim Speichern von Modul B    Platte voll")) << logged[0].toStdString();
}

TEST_F(ModuleMainTest, ShutDownSendsDoneInOrderAndFreesLastToFirst)
{
    AddSpy("A");
    AddSpy("B");
    Engine.Stop();
    EXPECT_EQ(Log, QStringList({"Done A", "Done B", "free B", "free A"}));
    EXPECT_EQ(ModuleMain, nullptr);
    EXPECT_EQ(ModuleIcons, nullptr);
    EXPECT_EQ(ModuleInterface, nullptr);
}

TEST_F(ModuleMainTest, ExportAndImportOneModulesText)
{
    TSpyModule* a = AddSpy("A");
    EXPECT_EQ(Engine.Main->ExportText(*a), QString("\r\n[A]\r\nx=a\r\n"));
    Engine.Main->ImportText(*a, "[A]\r\nx=neu\r\n");
    EXPECT_EQ(a->Loaded, "neu");
}

TEST(ClockIncrement, RoundsHalvesToEvenAndRunsBackForNegativeFactors)
{
    EXPECT_EQ(TModuleMain::ClockIncrement(1.0f), 40);
    EXPECT_EQ(TModuleMain::ClockIncrement(0.0f), 0);
    EXPECT_EQ(TModuleMain::ClockIncrement(0.5625f), 22);    // 22.5 -> 22
    EXPECT_EQ(TModuleMain::ClockIncrement(0.6875f), 28);    // 27.5 -> 28
    EXPECT_EQ(TModuleMain::ClockIncrement(-0.5625f), -22);
    EXPECT_EQ(TModuleMain::ClockIncrement(-1.0f), -40);
    EXPECT_EQ(TModuleMain::ClockIncrement(100.0f), 4000);
    // A factor that is no number must not stop the clock with undefined arithmetic.
    EXPECT_EQ(TModuleMain::ClockIncrement(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST_F(ModuleMainTest, TickAdvancesTheClocksUnlessAFlagIsSet)
{
    FadeFactor = 0.5625f;
    ChaseFactor = 0.0f;
    Engine.Main->ClockTick();
    EXPECT_EQ(FadeClock, 22);
    EXPECT_EQ(ChaseClock, 0);   // a stopped factor stops the clock; ticks go on
    EXPECT_EQ(Engine.Main->TickCount, 1);

    ModulesBusy = true;
    Engine.Main->ClockTick();
    ModulesBusy = false;
    AppTerminating = true;
    Engine.Main->ClockTick();
    AppTerminating = false;
    EXPECT_EQ(Engine.Main->TickCount, 1);
    EXPECT_EQ(FadeClock, 22);

    AppClosing = true;
    Engine.Main->ClockTick();
    EXPECT_EQ(Engine.Main->TickCount, 1);
}

TEST_F(ModuleMainTest, AnExceptionInATickIsLoggedAndTheNextTickRuns)
{
    struct TThrowingMain : TModuleMain {
        int Ticks = 0;
        void Tick() override
        {
            ++Ticks;
            throw EPvError("Tickfehler");
        }
    };
    Engine.Stop();
    TThrowingMain* main = nullptr;
    Engine.Start([&] { return main = new TThrowingMain; });
    main->ClockTick();
    main->ClockTick();
    EXPECT_EQ(main->Ticks, 2);
    EXPECT_EQ(FadeClock, 80);
    EXPECT_TRUE(0 < ErrorLogCount("  F     Application-Exception: Tickfehler"));
}

TEST_F(ModuleMainTest, WindowTimerAndClockThreadBothTickAndStopCleanly)
{
    for (bool thread : {false, true}) {
        Engine.Stop();
        Engine.Dir.Write("PV_TESSEL.ini", thread ? "[System]\r\nMMTimer=1\r\n" : "");
        Engine.Start();
        Engine.Main->StartClock();
        EXPECT_EQ(Engine.Main->UsesClockThread(), thread);
        ASSERT_TRUE(WaitFor([&] { return Engine.Main->TickCount >= 3; }, 10000));
        Engine.Main->StopClock();
        QCoreApplication::processEvents();
        const auto stopped = Engine.Main->TickCount;
        QThread::msleep(100);
        QCoreApplication::processEvents();
        EXPECT_EQ(Engine.Main->TickCount, stopped) << "no tick after the clock was stopped";
    }
}

TEST_F(ModuleMainTest, SettingsFileIsWrittenAtShutDownKeepingUnknownKeys)
{
    Engine.Stop();
    Engine.Dir.Write("PV_TESSEL.ini", "[System]\nMMTimer=0\n; comment\n[Fremd]\nSchlüssel = Wert\n[Server]\nKey=geheim\n");
    Engine.Start();
    Engine.Stop();
    TStringIniFile ini(Engine.Dir.File("PV_TESSEL.ini"));
    EXPECT_EQ(ini.ReadString("System", "MMTimer", "?"), "0");
    EXPECT_EQ(ini.ReadString("fremd", "schlüssel", "?"), "Wert");
    EXPECT_EQ(ini.ReadString("Server", "Key", "?"), "geheim");
    EXPECT_EQ(ini.ReadString("Server", "Port", "?"), "22455");
    EXPECT_EQ(ini.ReadString("Master", "Ablauf", "?"), "N");
    EXPECT_TRUE(Engine.Dir.Read("PV_TESSEL.ini").contains("\r\n"));
}

TEST_F(ModuleMainTest, WithoutASettingsFileOneIsCreatedAtExit)
{
    EXPECT_FALSE(QFile::exists(Engine.Dir.File("PV_TESSEL.ini")));
    Engine.Stop();
    TStringIniFile ini(Engine.Dir.File("PV_TESSEL.ini"));
    QStringList sections;
    ini.ReadSections(sections);
    EXPECT_TRUE(sections.contains("Master"));
    EXPECT_TRUE(sections.contains("Server"));
    EXPECT_FALSE(sections.contains("System")) << "MMTimer is never written";
}

TEST_F(ModuleMainTest, OwnDocumentOperations)
{
    TScriptedPrompts prompts;
    TSpyModule* doc = AddSpy("Patch");

    // Not modified: cleared without a question.
    doc->NewDocument();
    EXPECT_EQ(doc->Clears, 1);
    EXPECT_TRUE(prompts.Asked.isEmpty());

    // Modified, answer Abort: nothing; answer No: cleared.
    doc->Modified = true;
    prompts.YesNoAbortAnswers = {TDialogResult::Abort, TDialogResult::No};
    doc->NewDocument();
    EXPECT_EQ(doc->Clears, 1);
    doc->NewDocument();
    EXPECT_EQ(doc->Clears, 2);
    EXPECT_EQ(prompts.Asked.value(0), "Patch hat sich geändert. Vorher speichern?");

    // A file name whose file was deleted opens the save dialog; cancelling saves nothing.
    doc->FileName = Engine.Dir.File("weg.pvp");
    prompts.Asked.clear();
    EXPECT_FALSE(doc->SaveDocument());
    EXPECT_EQ(prompts.Asked.size(), 1);
    EXPECT_EQ(doc->Saves, 0);

    // Yes with a chosen new file: saved, then cleared.
    doc->Modified = true;
    prompts.YesNoAbortAnswers = {TDialogResult::Yes};
    prompts.FileAnswers = {Engine.Dir.File("neu.pvp")};
    doc->NewDocument();
    EXPECT_EQ(doc->Saves, 1);
    EXPECT_EQ(doc->Clears, 3);
    EXPECT_EQ(doc->FileName, Engine.Dir.File("neu.pvp"));
    EXPECT_FALSE(doc->Modified);

    // Save as over an existing file asks; No keeps the file and the name, yet the
    // result is the dialog's.
    prompts.FileAnswers = {Engine.Dir.File("neu.pvp")};
    prompts.YesNoAnswers = {false};
    doc->FileName = "anders.pvp";
    EXPECT_TRUE(doc->SaveDocumentAs());
    EXPECT_EQ(doc->FileName, "anders.pvp");
    EXPECT_EQ(doc->Saves, 1);

    // Opening a file that does not exist only takes the name.
    doc->Modified = true;
    doc->OpenDocument(Engine.Dir.File("fehlt.pvp"));
    EXPECT_EQ(doc->FileName, Engine.Dir.File("fehlt.pvp"));
    EXPECT_FALSE(doc->Modified);
}
