// The main menu offscreen on the whole engine, through its named actions and
// scripted answers: the show items with auto-save and backup, module export and
// import through text files and the clipboard, the patch items, the main
// window's items, and the last-chance rule for a handler that fails.

#include "TestHelpers.h"

#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMod_Interface.h"
#include "framework/uCarriedSections.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMainWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// One scene and one group scene, as the scene module writes them.
const char* const SzenenText =
    "[Szenen]\r\nAnzahl=1\r\nSZ_1_SNR=1\r\nSZ_1_NAME=Auftakt\r\nSZ_1_SDAT=a\r\nSZ_1_MDAT=a\r\nSZ_1_FAD=10\r\n"
    "SZ_1_FAP=10\r\nSZ_1_SZ_CNT=0\r\nSZ_1_MAK_CNT=0\r\n\r\n[Gruppen]\r\nSZ_1_SDAT=g\r\nSZ_1_SZ_CNT=1\r\n"
    "SZ_1_SZ_1_DAT=g\r\nSZ_1_SZ_1_KAN=FFFFFF00FF00FF00FF00DE00\r\n";

class DatMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        AutoSpeichern = true;
        TErrorLog::Instance().Clear();
        Window = std::make_unique<QMainWindow>();
        Menu = std::make_unique<TdmMenu>(Window.get());
    }
    void TearDown() override
    {
        Menu.reset();
        Window.reset();
        Engine.Stop();
    }

    QAction* A(const char* name)
    {
        auto* a = Window->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    // The menu writes a show in the background: the test goes on with it written.
    void Trigger(const char* name)
    {
        if (QAction* a = A(name))
            a->trigger();
        WaitForShowSaves();
    }
    QString Path(const QString& name) const { return Engine.Dir.File(name); }
    static QStringList Lines(const TCarriedSections& s, const char* name) { return s.Lines(QString::fromLatin1(name)); }

    TEngine Engine;
    TScriptedPrompts Prompts;
    std::unique_ptr<QMainWindow> Window;
    std::unique_ptr<TdmMenu> Menu;
};

TEST_F(DatMenuTest, ShowItemsHaveTheirShortcutsEverywhere)
{
    const std::pair<const char*, QKeySequence> keys[] = {
        {"Neu2", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"ffnen1", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"Speichern2", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"Speichernunter1", QKeySequence(Qt::Key_F3)},
    };
    for (const auto& [name, key] : keys) {
        QAction* a = A(name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), key) << name;
        EXPECT_EQ(a->shortcutContext(), Qt::ApplicationShortcut) << name;
    }
    EXPECT_EQ(A("ffnen1")->text(), QStringLiteral("&Öffnen"));
    EXPECT_EQ(A("HauptformularaufStandardgre1")->text(), QStringLiteral("&Hauptformular auf Standardgröße"));
}

TEST_F(DatMenuTest, NewAsksAndSavesTheExistingShowFirst)
{
    Engine.Dir.Write("show.pvs", HandMadeShow("\r\n[Interface]\r\nv=1\r\n"));
    ASSERT_TRUE(OpenProject(Path("show.pvs")));
    ModuleMain->ImportText(*ModuleInterface, "[Interface]\r\nv=2\r\n");

    Prompts.YesNoAnswers = {false};
    Trigger("Neu2");
    EXPECT_EQ(Prompts.Asked, QStringList{"Soll ein neues Projekt angelegt werden?"});
    EXPECT_EQ(Lines(ModuleInterface->ShowSections, "Interface"), QStringList{"v=2"});
    EXPECT_EQ(ProjectFileName, Path("show.pvs"));

    QSignalSpy renamed(&ProjectSignals(), &TProjectSignals::projectFileNameChanged);
    Prompts.YesNoAnswers = {true};
    Trigger("Neu2");
    EXPECT_TRUE(ModuleInterface->ShowSections.Lines("Interface").isEmpty());
    EXPECT_TRUE(ProjectFileName.isEmpty());
    ASSERT_FALSE(renamed.isEmpty());
    EXPECT_EQ(renamed.last().at(0).toString(), QString());
    // Saved with backup before it was cleared.
    EXPECT_TRUE(Engine.Dir.Read("show.pvs").contains("v=2"));
    EXPECT_TRUE(Engine.Dir.Read("show.~pvs").contains("v=1"));

    // No show file now: the save dialog comes first; cancelled, the new show is made anyway.
    ModuleMain->ImportText(*ModuleInterface, "[Interface]\r\nv=3\r\n");
    Prompts.Asked.clear();
    Prompts.YesNoAnswers = {true};
    Trigger("Neu2");
    ASSERT_EQ(Prompts.Asked.size(), 2);
    EXPECT_TRUE(Prompts.Asked.at(1).startsWith("save:"));
    EXPECT_FALSE(ModuleInterface->ShowSections.Has("Interface"));
}

TEST_F(DatMenuTest, OpenSavesTheCurrentShowAndTakesTheNewName)
{
    Engine.Dir.Write("a.pvs", HandMadeShow("\r\n[Interface]\r\nSeite1=A\r\n"));
    Engine.Dir.Write("b.pvs", HandMadeShow("\r\n[Interface]\r\nSeite1=B\r\n"));
    ASSERT_TRUE(OpenProject(Path("a.pvs")));
    ModuleMain->ImportText(*ModuleInterface, "[Interface]\r\nSeite1=A2\r\n");

    Prompts.FileAnswers = {Path("b.pvs")};
    Trigger("ffnen1");
    EXPECT_EQ(Prompts.Asked, QStringList{"open:Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)"});
    EXPECT_EQ(ProjectFileName, Path("b.pvs"));
    EXPECT_EQ(Lines(ModuleInterface->ShowSections, "Interface"), QStringList{"Seite1=B"});
    EXPECT_TRUE(Engine.Dir.Read("a.pvs").contains("Seite1=A2"));
    EXPECT_TRUE(QFileInfo::exists(Path("a.~pvs")));

    // Cancelled: nothing happens.
    Trigger("ffnen1");
    EXPECT_EQ(ProjectFileName, Path("b.pvs"));
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(DatMenuTest, OpeningADamagedFileNeverLetsSaveWriteIntoIt)
{
    Engine.Main->Modules.emplace_back(std::make_unique<TFailingModule>());
    for (const TDamagedShow& c : DamagedShows()) {
        SCOPED_TRACE(c.Name);
        Engine.Dir.Write("good.pvs", HandMadeShow("\r\n[Interface]\r\nv=1\r\n"));
        Engine.Dir.Write(c.Name, c.Bytes);
        ASSERT_TRUE(OpenProject(Path("good.pvs")));
        Prompts.Asked.clear();
        Prompts.FileAnswers = {Path(c.Name)};
        Trigger("ffnen1");
        ModuleMain->ImportText(*ModuleInterface, "[Interface]\r\nv=2\r\n");

        // Ctrl+S: into the good show's file, or, for a mixture, only where the
        // save dialog says (cancelled here).
        Prompts.Asked.clear();
        Trigger("Speichern2");
        EXPECT_EQ(Prompts.Asked.size(), c.Mixture ? 1 : 0);
        EXPECT_EQ(ProjectFileName, c.Mixture ? QString() : Path("good.pvs"));
        EXPECT_EQ(Engine.Dir.Read("good.pvs").contains("v=2"), !c.Mixture);
        Trigger("Speichern2");
        EXPECT_EQ(Engine.Dir.Read(c.Name), c.Bytes);
        EXPECT_FALSE(QFileInfo::exists(Path(c.Name).replace(".pvs", ".~pvs")));
    }
}

TEST_F(DatMenuTest, AFailedAutoSaveBeforeNewOrOpenKeepsTheShowUnlessTheUserGoesOn)
{
    const QString question = QStringLiteral(
        "Das Projekt konnte nicht gespeichert werden (siehe Fehlerlog). Trotzdem fortfahren und die Änderungen verwerfen?");
    const QString unsaved = QStringLiteral("v=") + QString(20000, u'x');
    const struct {
        const char* Action;
        bool GoOn;
    } cases[] = {{"Neu2", false}, {"Neu2", true}, {"ffnen1", false}, {"ffnen1", true}};
    for (const auto& c : cases) {
        const std::string label = std::string(c.Action) + (c.GoOn ? " Ja" : " Nein");
        const QByteArray onDisk = HandMadeShow("\r\n[Interface]\r\nv=1\r\n");
        Engine.Dir.Write("show.pvs", onDisk);
        Engine.Dir.Write("other.pvs", HandMadeShow("\r\n[Interface]\r\nv=other\r\n"));
        ASSERT_TRUE(OpenProject(Path("show.pvs")));
        ModuleMain->ImportText(*ModuleInterface, "[Interface]\r\n" + unsaved + "\r\n");
        Prompts.Asked.clear();
        // "Neu" asks whether to make a new show first; "Öffnen" shows its dialog.
        Prompts.YesNoAnswers = QByteArray(c.Action) == "Neu2" ? std::deque<bool>{true, c.GoOn} : std::deque<bool>{c.GoOn};
        Prompts.FileAnswers = {Path("other.pvs")};
        {
            TFileSizeLimit full(4096);   // the show no longer fits on the disk
            Trigger(c.Action);
        }
        EXPECT_EQ(Prompts.Asked.last(), question) << label;
        EXPECT_EQ(Engine.Dir.Read("show.pvs"), onDisk) << label;
        if (!c.GoOn) {
            EXPECT_EQ(Lines(ModuleInterface->ShowSections, "Interface"), QStringList{unsaved}) << label;
            EXPECT_EQ(ProjectFileName, Path("show.pvs")) << label;
        } else if (QByteArray(c.Action) == "Neu2") {
            EXPECT_FALSE(ModuleInterface->ShowSections.Has("Interface")) << label;
            EXPECT_TRUE(ProjectFileName.isEmpty()) << label;
        } else {
            EXPECT_EQ(Lines(ModuleInterface->ShowSections, "Interface"), QStringList{"v=other"}) << label;
            EXPECT_EQ(ProjectFileName, Path("other.pvs")) << label;
        }
        Prompts.FileAnswers.clear();
    }
    EXPECT_EQ(ErrorLogCount("Fehler beim Speichern: "), 4);
}

TEST_F(DatMenuTest, SaveWithoutAFileAndSaveAsOverAnExistingFile)
{
    ModuleMain->ImportText(*ModuleInterface, "[Interface]\r\nv=1\r\n");
    Prompts.FileAnswers = {Path("neu.pvs")};
    Trigger("Speichern2");
    EXPECT_EQ(Prompts.Asked, QStringList{"save:Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)"});
    EXPECT_EQ(ProjectFileName, Path("neu.pvs"));
    EXPECT_FALSE(QFileInfo::exists(Path("neu.~pvs")));

    // The dialog does not ask about an existing file; the menu does.
    Engine.Dir.Write("da.pvs", "schon da");
    Prompts.Asked.clear();
    Prompts.FileAnswers = {Path("da.pvs")};
    Prompts.YesNoAnswers = {false};
    Trigger("Speichernunter1");
    ASSERT_EQ(Prompts.Asked.size(), 2);
    EXPECT_TRUE(Prompts.Asked.at(1).contains("da.pvs"));
    EXPECT_EQ(Engine.Dir.Read("da.pvs"), QByteArray("schon da"));
    EXPECT_EQ(ProjectFileName, Path("neu.pvs"));
}

TEST_F(DatMenuTest, ExportAndImportEachModuleThroughATextFile)
{
    const struct {
        const char* Name;
        TModuleAbstract* Module;
        QString Text;
    } modules[] = {
        {"Makros", ModuleMakro, QStringLiteral("[Makros]\r\nMakroCount=100\r\nName_7=Bühne\r\nText_7=K1P255|\r\n")},
        {"Audio", ModuleAudio,
         QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nTrackID_1=1\r\nName_1_0=Bühne\r\n"
                        "File_1_0=/fehlt/Bühne.wav\r\nLevel_1_0=-60\r\n")},
        {"Szenen", ModuleSzenen, QString::fromLatin1(SzenenText)},
        {"Lichtpult", ModuleLichtpult, QString()},
    };
    for (const auto& m : modules) {
        const QString name = QString::fromLatin1(m.Name);
        ModuleMain->ImportText(*m.Module, m.Text);
        const QString exported = ModuleMain->ExportText(*m.Module);
        const QString file = Path(name + ".txt");

        Prompts.FileAnswers = {file};
        Trigger(qPrintable("Export" + name + "Datei"));
        QString onDisk;
        ASSERT_TRUE(ReadTextFile(file, onDisk)) << m.Name;
        EXPECT_EQ(onDisk, exported) << m.Name;

        ModuleMain->NewProject();
        Prompts.FileAnswers = {file};
        Trigger(qPrintable("Import" + name + "Datei"));
        EXPECT_EQ(ModuleMain->ExportText(*m.Module), exported) << m.Name;
    }
    // Western text is written as 8-bit text.
    EXPECT_TRUE(Engine.Dir.Read("Makros.txt").contains("Name_7=B\xFChne\r\n"));
    EXPECT_EQ(Engine.Dir.Read("Szenen.txt"), QByteArray("\r\n") + SzenenText);

    // An existing export file is replaced only after the question.
    Prompts.Asked.clear();
    Prompts.FileAnswers = {Path("Audio.txt")};
    Prompts.YesNoAnswers = {false};
    ModuleMain->ImportText(*ModuleAudio, "[Audio]\r\nPanelCount=10\r\nTrackCount_1=1\r\nName_1_0=Neu\r\nFile_1_0=/fehlt/x.wav\r\n");
    Trigger("ExportAudioDatei");
    EXPECT_EQ(Prompts.Asked.size(), 2);
    EXPECT_FALSE(Engine.Dir.Read("Audio.txt").contains("Neu"));
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(DatMenuTest, ExportAndImportThroughTheClipboard)
{
    ModuleMain->ImportText(*ModuleSzenen, QString::fromLatin1(SzenenText));
    Trigger("ExportSzenenZwischenablage");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("\r\n") + QString::fromLatin1(SzenenText));

    ModuleMain->NewProject();
    EXPECT_EQ(ModuleSzenen->SceneCount(), 0);
    Trigger("ImportSzenenZwischenablage");
    ASSERT_EQ(ModuleSzenen->SceneCount(), 1);
    EXPECT_EQ(ModuleSzenen->GetScene(0).NAME, "Auftakt");
}

TEST_F(DatMenuTest, ImportingConsoleTextChangesOnlyWhatTheTextHolds)
{
    // What the console module holds: every channel's settings, a step sequence, the
    // categories and the pages.
    struct TConsole {
        QStringList Kanaele;
        int Eintrag = 0;
        QStringList Kategorien;
        QStringList Pages;
        bool operator==(const TConsole&) const = default;
    };
    const auto console = [] {
        TConsole c;
        ModuleLichtpult->ExportKanaele(1, MaxKanal, c.Kanaele);
        c.Eintrag = ModuleLichtpult->GetKanal(572).GetEintrag(1, 2);
        c.Kategorien = ModuleLichtpult->Kategorien;
        for (const auto& z : ModuleLichtpult->LichtpultZeilen)
            c.Pages << z->Name + QLatin1Char('|') + z->GetRowString();
        return c;
    };
    // A show with named channels at both ends of the range and in the middle.
    TStringIniFile show;
    show.SetText("[Kanäle]\r\nName_1=Eins\r\nHF_1=3\r\nName_5=Spot\r\nSta_5=1\r\nHF_5=8\r\n"
                 "Name_729=Letzter\r\nHF_729=4\r\nCS_572=2\r\nKa_572=1\r\nCF_572_-1=9;\r\nCF_572_2=77;\r\n"
                 "[Kategorien]\r\nZahl=3\r\nName_1=a\r\nName_2=b\r\nName_3=c\r\n"
                 "[Lichtpult]\r\nZahl=1\r\nName_0=Bühne\r\nNode_0=1\r\nCmd_0=L4K5\r\n");
    ModuleLichtpult->LoadIni(show);
    const TConsole before = console();
    ASSERT_EQ(before.Eintrag, 77);

    const struct {
        const char* What;
        const char* Action;
        QString Text;
        std::function<void(TConsole&)> Changes;
    } cases[] = {
        {"categories only", "ImportLichtpultDatei", "[Kategorien]\r\nZahl=4\r\nName_1=w\r\nName_2=x\r\nName_3=y\r\nName_4=z\r\n",
         [](TConsole& c) { c.Kategorien = {"w", "x", "y", "z"}; }},
        {"channel 5 only", "ImportLichtpultZwischenablage", "[Kanäle]\r\nName_5=Neu\r\nHF_5=2\r\n",
         [](TConsole& c) {
             // After the empty line and the section name, seven keys per channel; keys
             // the text leaves out take their defaults.
             const QStringList five = {"Name_5=Neu", "Sta_5=0", "Ic_5=-1", "VF_5=0", "HF_5=2", "Fl_5=255", "BO_5=0"};
             for (int i = 0; i < 7; ++i)
                 c.Kanaele[2 + 4 * 7 + i] = five.at(i);
         }},
        {"pages only", "ImportLichtpultDatei", "[Lichtpult]\r\nZahl=1\r\nName_0=Saal\r\nNode_0=0\r\nCmd_0=L4K9\r\n",
         [](TConsole& c) { c.Pages = {"Saal|L4K9"}; }},
        {"an empty text", "ImportLichtpultZwischenablage", "", [](TConsole&) {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ModuleLichtpult->LoadIni(show);
        Engine.Dir.Write("Import.txt", EncodeText(c.Text));
        QApplication::clipboard()->setText(c.Text);
        Prompts.FileAnswers = {Path("Import.txt")};
        Trigger(c.Action);
        TConsole expected = before;
        c.Changes(expected);
        const TConsole after = console();
        EXPECT_EQ(after.Kanaele, expected.Kanaele);
        EXPECT_EQ(after.Eintrag, expected.Eintrag);
        EXPECT_EQ(after.Kategorien, expected.Kategorien);
        EXPECT_EQ(after.Pages, expected.Pages);
    }
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(DatMenuTest, AFailingHandlerLogsOneLineAndNothingElseHappens)
{
    ModuleMain->ImportText(*ModuleMakro, "[Makros]\r\nMakroCount=1\r\nName_0=v1\r\n");
    Prompts.FileAnswers = {Path("fehlt.txt")};
    Trigger("ImportMakrosDatei");
    EXPECT_EQ(ErrorLogCount("Application-Exception: "), 1);
    EXPECT_EQ(TErrorLog::Instance().Lines().size(), 1);
    EXPECT_TRUE(TErrorLog::Instance().Lines().first().contains("fehlt.txt"));
    EXPECT_EQ(ModuleMakro->GetMacro(0)->Name, "v1");
    EXPECT_EQ(ModuleMakro->MakroCount(), 1);
}

TEST_F(DatMenuTest, PatchItemsUseThePatchModuleAndItsDialog)
{
    ASSERT_EQ(ModulePatch->SaveDialog, &Menu->sdPatch());
    const QString patchFilter = QStringLiteral("Palvento Tessel 2012 Patch (*.pvp);;Alle Dateien (*)");
    EXPECT_EQ(Menu->sdPatch().Filter, patchFilter);
    EXPECT_EQ(Menu->sdPatch().DefaultSuffix, QStringLiteral("pvp"));

    Trigger("Speichernunter2");
    Trigger("ffnen2");
    EXPECT_EQ(Prompts.Asked, (QStringList{"save:" + patchFilter, "open:" + patchFilter}));

    Prompts.FileAnswers = {Path("p.pvp")};
    Trigger("Speichernunter2");
    EXPECT_EQ(ModulePatch->FileName, Path("p.pvp"));
    EXPECT_TRUE(QFileInfo::exists(Path("p.pvp")));

    // Gone with the menu, the dialog is no longer the patch module's.
    Menu.reset();
    EXPECT_EQ(ModulePatch->SaveDialog, nullptr);
}

TEST_F(DatMenuTest, MainWindowItems)
{
    Window->show();
    Window->resize(600, 400);
    Trigger("HauptformularaufStandardgre1");
    EXPECT_EQ(Window->size(), QSize(1020, 720));
    Trigger("Beenden1");
    EXPECT_FALSE(Window->isVisible());
}

// Items whose windows live elsewhere stay disabled until something takes their
// request; once connected they are enabled and a click reaches the receiver.
TEST_F(DatMenuTest, WindowItemsAreEnabledOnceTheirRequestIsConnected)
{
    const struct {
        const char* Item;
        void (TdmMenu::*Signal)();
    } items[] = {
        {"NeuesMakroFenster1", &TdmMenu::newMacroWindowRequested},
        {"NeuesPatchFenster1", &TdmMenu::newPatchWindowRequested},
        {"NeuesAudioFenster1", &TdmMenu::newAudioWindowRequested},
        {"NeueKennlinie1", &TdmMenu::newCurveRequested},
    };
    EXPECT_FALSE(A("Kennliniebearbeiten1")->isEnabled());
    EXPECT_TRUE(A("NeuesLichtpultFenster1")->isEnabled());
    for (const auto& item : items) {
        QAction* action = A(item.Item);
        EXPECT_FALSE(action->isEnabled()) << item.Item;
        int requests = 0;
        QObject receiver;
        QObject::connect(Menu.get(), item.Signal, &receiver, [&] { ++requests; });
        EXPECT_TRUE(action->isEnabled()) << item.Item;
        action->trigger();
        EXPECT_EQ(requests, 1) << item.Item;
    }
}

} // namespace
