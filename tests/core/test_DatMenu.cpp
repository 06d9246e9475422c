// The main menu offscreen on the whole engine, through its named actions and
// scripted answers: the show items with auto-save and backup, module export and
// import through text files and the clipboard, the patch items, the main
// window's items, and the last-chance rule for a handler that fails.

#include "TestHelpers.h"

#include "audio/uMod_Audio.h"
#include "core/uDat_Menu.h"
#include "core/uErrorLog.h"
#include "core/uMod_Lichtpult.h"
#include "core/uMod_Main.h"
#include "core/uMod_Patch.h"
#include "core/uProject.h"
#include "core/uTextCodec.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMainWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

namespace {

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
    void Trigger(const char* name)
    {
        if (QAction* a = A(name))
            a->trigger();
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
    Engine.Dir.Write("show.pvs", HandMadeShow("\r\n[Makros]\r\nv=1\r\n"));
    ASSERT_TRUE(OpenProject(Path("show.pvs")));
    ModuleMain->ImportText(*ModuleMakro, "[Makros]\r\nv=2\r\n");

    Prompts.YesNoAnswers = {false};
    Trigger("Neu2");
    EXPECT_EQ(Prompts.Asked, QStringList{"Soll ein neues Projekt angelegt werden?"});
    EXPECT_EQ(Lines(ModuleMakro->ShowSections, "Makros"), QStringList{"v=2"});
    EXPECT_EQ(ProjectFileName, Path("show.pvs"));

    QSignalSpy renamed(&ProjectSignals(), &TProjectSignals::projectFileNameChanged);
    Prompts.YesNoAnswers = {true};
    Trigger("Neu2");
    EXPECT_TRUE(ModuleMakro->ShowSections.Lines("Makros").isEmpty());
    EXPECT_TRUE(ProjectFileName.isEmpty());
    ASSERT_FALSE(renamed.isEmpty());
    EXPECT_EQ(renamed.last().at(0).toString(), QString());
    // Saved with backup before it was cleared.
    EXPECT_TRUE(Engine.Dir.Read("show.pvs").contains("v=2"));
    EXPECT_TRUE(Engine.Dir.Read("show.~pvs").contains("v=1"));

    // No show file now: the save dialog comes first; cancelled, the new show is made anyway.
    ModuleMain->ImportText(*ModuleMakro, "[Makros]\r\nv=3\r\n");
    Prompts.Asked.clear();
    Prompts.YesNoAnswers = {true};
    Trigger("Neu2");
    ASSERT_EQ(Prompts.Asked.size(), 2);
    EXPECT_TRUE(Prompts.Asked.at(1).startsWith("save:"));
    EXPECT_FALSE(ModuleMakro->ShowSections.Has("Makros"));
}

TEST_F(DatMenuTest, OpenSavesTheCurrentShowAndTakesTheNewName)
{
    Engine.Dir.Write("a.pvs", HandMadeShow("\r\n[Audio]\r\nSeite1=A\r\n"));
    Engine.Dir.Write("b.pvs", HandMadeShow("\r\n[Audio]\r\nSeite1=B\r\n"));
    ASSERT_TRUE(OpenProject(Path("a.pvs")));
    ModuleMain->ImportText(*ModuleAudio, "[Audio]\r\nSeite1=A2\r\n");

    Prompts.FileAnswers = {Path("b.pvs")};
    Trigger("ffnen1");
    EXPECT_EQ(Prompts.Asked, QStringList{"open:Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)"});
    EXPECT_EQ(ProjectFileName, Path("b.pvs"));
    EXPECT_EQ(Lines(ModuleAudio->ShowSections, "Audio"), QStringList{"Seite1=B"});
    EXPECT_TRUE(Engine.Dir.Read("a.pvs").contains("Seite1=A2"));
    EXPECT_TRUE(QFileInfo::exists(Path("a.~pvs")));

    // Cancelled: nothing happens.
    Trigger("ffnen1");
    EXPECT_EQ(ProjectFileName, Path("b.pvs"));
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(DatMenuTest, SaveWithoutAFileAndSaveAsOverAnExistingFile)
{
    ModuleMain->ImportText(*ModuleMakro, "[Makros]\r\nv=1\r\n");
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
        {"Makros", ModuleMakro, QStringLiteral("[Makros]\r\nM1=K1P255\r\nTitel=Bühne\r\n")},
        {"Audio", ModuleAudio, QStringLiteral("[Audio]\r\nSeite1=Musik\r\n")},
        {"Szenen", ModuleSzenen, QStringLiteral("[Szenen]\r\nAnzahl=1\r\n[Gruppen]\r\nG1=FF\r\n")},
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
    EXPECT_TRUE(Engine.Dir.Read("Makros.txt").contains("Titel=B\xFChne\r\n"));
    EXPECT_EQ(Engine.Dir.Read("Szenen.txt"), QByteArray("\r\n[Szenen]\r\nAnzahl=1\r\n\r\n[Gruppen]\r\nG1=FF\r\n"));

    // An existing export file is replaced only after the question.
    Prompts.Asked.clear();
    Prompts.FileAnswers = {Path("Audio.txt")};
    Prompts.YesNoAnswers = {false};
    ModuleMain->ImportText(*ModuleAudio, "[Audio]\r\nSeite1=Neu\r\n");
    Trigger("ExportAudioDatei");
    EXPECT_EQ(Prompts.Asked.size(), 2);
    EXPECT_FALSE(Engine.Dir.Read("Audio.txt").contains("Neu"));
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(DatMenuTest, ExportAndImportThroughTheClipboard)
{
    ModuleMain->ImportText(*ModuleSzenen, "[Szenen]\r\nS1=Auftakt\r\n");
    Trigger("ExportSzenenZwischenablage");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("\r\n[Szenen]\r\nS1=Auftakt\r\n"));

    ModuleMain->NewProject();
    Trigger("ImportSzenenZwischenablage");
    EXPECT_EQ(Lines(ModuleSzenen->ShowSections, "Szenen"), QStringList{"S1=Auftakt"});
}

TEST_F(DatMenuTest, AFailingHandlerLogsOneLineAndNothingElseHappens)
{
    ModuleMain->ImportText(*ModuleMakro, "[Makros]\r\nv=1\r\n");
    Prompts.FileAnswers = {Path("fehlt.txt")};
    Trigger("ImportMakrosDatei");
    EXPECT_EQ(ErrorLogCount("Application-Exception: "), 1);
    EXPECT_EQ(TErrorLog::Instance().Lines().size(), 1);
    EXPECT_TRUE(TErrorLog::Instance().Lines().first().contains("fehlt.txt"));
    EXPECT_EQ(Lines(ModuleMakro->ShowSections, "Makros"), QStringList{"v=1"});
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
