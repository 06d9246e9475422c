#include "framework/uDat_Menu.h"

#include "audio/uMod_Audio.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "framework/uAtomicFile.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uTextCodec.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>

TdmMenu* dmMenu = nullptr;

namespace {

TModuleMain& Main()
{
    if (!ModuleMain)
        throw EPvError(QStringLiteral("Das Hauptmodul fehlt."));
    return *ModuleMain;
}

TModuleAbstract& Patch()
{
    TModuleAbstract* patch = ConsoleLink().PatchModule();
    if (!patch)
        throw EPvError(QStringLiteral("Das Patch-Modul fehlt."));
    return *patch;
}

void SetShortcut(QAction* action, const QKeySequence& key)
{
    action->setShortcut(key);
    action->setShortcutContext(Qt::ApplicationShortcut);
}

} // namespace

TdmMenu::TdmMenu(QMainWindow* mainWindow, QObject* parent) : QObject(parent), FMainWindow(mainWindow)
{
    setObjectName(QStringLiteral("dmMenu"));
    FPatchDialog.Filter = QStringLiteral("Palvento Tessel 2012 Patch (*.pvp);;Alle Dateien (*)");
    FPatchDialog.DefaultSuffix = QStringLiteral("pvp");
    FTextDialog.Filter = QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)");
    FTextDialog.DefaultSuffix = QStringLiteral("txt");

    QMenuBar* bar = FMainWindow->menuBar();

    Datei1 = Named<QMenu>(QStringLiteral("Datei1"), QStringLiteral("&Datei"), bar);
    SetShortcut(AddAction(Datei1, QStringLiteral("Neu2"), QStringLiteral("&Neu"), [this] { Neu2Click(); }),
                QKeySequence(Qt::CTRL | Qt::Key_N));
    SetShortcut(AddAction(Datei1, QStringLiteral("ffnen1"), QStringLiteral("&Öffnen"), [this] { ffnen1Click(); }),
                QKeySequence(Qt::CTRL | Qt::Key_O));
    SetShortcut(AddAction(Datei1, QStringLiteral("Speichern2"), QStringLiteral("&Speichern"), [this] { Speichern2Click(); }),
                QKeySequence(Qt::CTRL | Qt::Key_S));
    SetShortcut(AddAction(Datei1, QStringLiteral("Speichernunter1"), QStringLiteral("Speichern &unter ..."),
                          [this] { Speichernunter1Click(); }),
                QKeySequence(Qt::Key_F3));
    Datei1->addSeparator();
    QMenu* exportMenu = Named<QMenu>(QStringLiteral("Exportieren1"), QStringLiteral("&Exportieren"), Datei1);
    QMenu* importMenu = Named<QMenu>(QStringLiteral("Importieren1"), QStringLiteral("&Importieren"), Datei1);
    Datei1->addMenu(exportMenu);
    Datei1->addMenu(importMenu);
    BuildExportImport(exportMenu, importMenu);
    Datei1->addSeparator();
    AddAction(Datei1, QStringLiteral("Beenden1"), QStringLiteral("&Beenden"), [this] { Beenden1Click(); });
    bar->addMenu(Datei1);

    Fenster1 = Named<QMenu>(QStringLiteral("Fenster1"), QStringLiteral("&Fenster"), bar);
    FRequestItems = {
        {QMetaMethod::fromSignal(&TdmMenu::newMacroWindowRequested),
         AddAction(Fenster1, QStringLiteral("NeuesMakroFenster1"), QStringLiteral("&Neues Makro-Fenster"),
                   [this] { emit newMacroWindowRequested(); })},
        {QMetaMethod::fromSignal(&TdmMenu::newPatchWindowRequested),
         AddAction(Fenster1, QStringLiteral("NeuesPatchFenster1"), QStringLiteral("&Neues Patch-Fenster"),
                   [this] { emit newPatchWindowRequested(); })},
        {QMetaMethod::fromSignal(&TdmMenu::newAudioWindowRequested),
         AddAction(Fenster1, QStringLiteral("NeuesAudioFenster1"), QStringLiteral("&Neues Audio-Fenster"),
                   [this] { emit newAudioWindowRequested(); })},
    };
    AddAction(Fenster1, QStringLiteral("NeuesLichtpultFenster1"), QStringLiteral("&Neues Lichtpult-Fenster"),
              [] { ConsoleLink().OpenLichtpultWindow(); });
    AddAction(Fenster1, QStringLiteral("HauptformularaufStandardgre1"), QStringLiteral("&Hauptformular auf Standardgröße"),
              [this] { HauptformularaufStandardgre1Click(); });
    Lichtpult1 = Named<QMenu>(QStringLiteral("Lichtpult1"), QStringLiteral("&Lichtpult"), Fenster1);
    Fenster1->addMenu(Lichtpult1);
    Patch1 = Named<QMenu>(QStringLiteral("Patch1"), QStringLiteral("&Patch"), Fenster1);
    Fenster1->addMenu(Patch1);
    Makro1 = Named<QMenu>(QStringLiteral("Makro1"), QStringLiteral("&Makro"), Fenster1);
    Fenster1->addMenu(Makro1);
    bar->addMenu(Fenster1);

    Patch2 = Named<QMenu>(QStringLiteral("Patch2"), QStringLiteral("&Patch"), bar);
    AddAction(Patch2, QStringLiteral("Neu1"), QStringLiteral("&Neu"), [this] { Neu1Click(); });
    AddAction(Patch2, QStringLiteral("ffnen2"), QStringLiteral("&Öffnen"), [this] { ffnen2Click(); });
    AddAction(Patch2, QStringLiteral("Speichern1"), QStringLiteral("&Speichern"), [this] { Speichern1Click(); });
    AddAction(Patch2, QStringLiteral("Speichernunter2"), QStringLiteral("Speichern &unter"), [this] { Speichernunter2Click(); });
    FRequestItems.append({QMetaMethod::fromSignal(&TdmMenu::newCurveRequested),
                          AddAction(Patch2, QStringLiteral("NeueKennlinie1"), QStringLiteral("Neue &Kennlinie"),
                                    [this] { NeueKennlinie1Click(); })});
    // One item per curve but the linear one; disabled while there is none.
    Kennliniebearbeiten1 = Named<QMenu>(QStringLiteral("Kennliniebearbeiten1"), QStringLiteral("Kennlinie &bearbeiten"), Patch2);
    Kennliniebearbeiten1->menuAction()->setObjectName(QStringLiteral("Kennliniebearbeiten1"));
    Patch2->addMenu(Kennliniebearbeiten1);
    RefillCurveMenu();
    // Queued: an edit started from one of these items changes the curves while
    // the item is still being triggered, and the refill deletes it.
    ConsoleLink().OnCurvesChanged(this, [this] { RefillCurveMenu(); }, Qt::QueuedConnection);
    bar->addMenu(Patch2);
    UpdateRequestItems();

    if (TModuleAbstract* patch = ConsoleLink().PatchModule())
        patch->SetSaveDialog(&FPatchDialog);
    dmMenu = this;
}

TdmMenu::~TdmMenu()
{
    if (dmMenu == this)
        dmMenu = nullptr;
    TModuleAbstract* patch = ConsoleLink().PatchModule();
    if (patch && patch->SaveDialog == &FPatchDialog)
        patch->SetSaveDialog(nullptr);
}

void TdmMenu::connectNotify(const QMetaMethod& signal)
{
    QObject::connectNotify(signal);
    UpdateRequestItems();
}

void TdmMenu::UpdateRequestItems()
{
    for (const TRequestItem& item : FRequestItems)
        if (item.Action)
            item.Action->setEnabled(isSignalConnected(item.Signal));
}

QAction* TdmMenu::AddAction(QMenu* menu, const QString& name, const QString& caption, std::function<void()> handler)
{
    auto* action = new QAction(caption, menu);
    action->setObjectName(name);
    menu->addAction(action);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { Guarded(handler); });
    return action;
}

void TdmMenu::BuildExportImport(QMenu* exportMenu, QMenu* importMenu)
{
    struct TEntry {
        TExportModule Module;
        const char* Name;
        const char* Caption;
    };
    static const TEntry entries[] = {
        {TExportModule::Makros, "Makros", "&Makros"},
        {TExportModule::Lichtpult, "Lichtpult", "&Lichtpult"},
        {TExportModule::Audio, "Audio", "&Audio"},
        {TExportModule::Szenen, "Szenen", "&Szenen"},
    };
    for (const TEntry& e : entries) {
        const QString name = QString::fromLatin1(e.Name);
        const QString caption = QString::fromLatin1(e.Caption);
        const TExportModule module = e.Module;

        QMenu* out = Named<QMenu>(QStringLiteral("Export") + name, caption, exportMenu);
        AddAction(out, QStringLiteral("Export") + name + QStringLiteral("Zwischenablage"), QStringLiteral("in &Zwischenablage"),
                  [this, module] { ExportToClipboard(module); });
        AddAction(out, QStringLiteral("Export") + name + QStringLiteral("Datei"), QStringLiteral("in &Datei ..."),
                  [this, module] { ExportToFile(module); });
        exportMenu->addMenu(out);

        QMenu* in = Named<QMenu>(QStringLiteral("Import") + name, caption, importMenu);
        AddAction(in, QStringLiteral("Import") + name + QStringLiteral("Zwischenablage"), QStringLiteral("aus &Zwischenablage"),
                  [this, module] { ImportFromClipboard(module); });
        AddAction(in, QStringLiteral("Import") + name + QStringLiteral("Datei"), QStringLiteral("aus &Datei ..."),
                  [this, module] { ImportFromFile(module); });
        importMenu->addMenu(in);
    }
}

TModuleAbstract& TdmMenu::ModuleOf(TExportModule module)
{
    TModuleAbstract* m = nullptr;
    switch (module) {
    case TExportModule::Makros: m = ModuleMakro; break;
    case TExportModule::Lichtpult: m = ConsoleLink().ConsoleModule(); break;
    case TExportModule::Audio: m = ModuleAudio; break;
    case TExportModule::Szenen: m = ModuleSzenen; break;
    }
    if (!m)
        throw EPvError(QStringLiteral("Das Modul fehlt."));
    return *m;
}

TFileDialogOptions TdmMenu::odProjekt() const { return ProjectDialogOptions(); }
TFileDialogOptions TdmMenu::sdProjekt() const { return ProjectDialogOptions(); }

// ---- show file ----

void TdmMenu::Neu2Click()
{
    Guarded([] { NewProjectFile(); });
}

void TdmMenu::ffnen1Click()
{
    Guarded([] {
        TWaitCursor wait;
        OpenProjectFile();
    });
}

// The show is written in the background: the clock never waits for the disk.
void TdmMenu::Speichern2Click()
{
    Guarded([] { SaveCurrentProject(TSaveMode::Background); });
}

void TdmMenu::Speichernunter1Click()
{
    Guarded([] { SaveProjectAs(TSaveMode::Background); });
}

// ---- module export and import ----

void TdmMenu::ExportToClipboard(TExportModule module)
{
    Guarded([module] { QGuiApplication::clipboard()->setText(Main().ExportText(ModuleOf(module))); });
}

void TdmMenu::ExportToFile(TExportModule module)
{
    Guarded([this, module] {
        const QString chosen = Prompts().SaveFileName(sdExport(), QString());
        if (chosen.isEmpty() || !ConfirmOverwrite(chosen))
            return;
        WriteBytesAtomic(chosen, EncodeText(Main().ExportText(ModuleOf(module))));
    });
}

void TdmMenu::ImportFromClipboard(TExportModule module)
{
    Guarded([module] { Main().ImportText(ModuleOf(module), QGuiApplication::clipboard()->text()); });
}

void TdmMenu::ImportFromFile(TExportModule module)
{
    Guarded([this, module] {
        const QString chosen = Prompts().OpenFileName(odImport(), QString());
        if (chosen.isEmpty())
            return;
        QString text;
        if (!ReadTextFile(chosen, text))
            throw EPvError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden.").arg(chosen));
        Main().ImportText(ModuleOf(module), text);
    });
}

// ---- windows ----

void TdmMenu::Beenden1Click()
{
    Guarded([this] { FMainWindow->close(); });
}

void TdmMenu::HauptformularaufStandardgre1Click()
{
    Guarded([this] { FMainWindow->resize(1020, 720); });
}

// ---- patch file ----

void TdmMenu::Neu1Click()
{
    Guarded([] { Patch().NewDocument(); });
}

void TdmMenu::ffnen2Click()
{
    Guarded([this] {
        const QString chosen = Prompts().OpenFileName(odPatch(), Patch().FileName);
        if (!chosen.isEmpty())
            Patch().OpenDocument(chosen);
    });
}

void TdmMenu::Speichern1Click()
{
    Guarded([] { Patch().SaveDocument(); });
}

void TdmMenu::Speichernunter2Click()
{
    Guarded([] { Patch().SaveDocumentAs(); });
}

void TdmMenu::RefillCurveMenu()
{
    Kennliniebearbeiten1->clear();
    const QStringList names = ConsoleLink().CurveNames();
    for (int nr = 1; nr < names.size(); ++nr) {
        QAction* a = Kennliniebearbeiten1->addAction(names.at(nr));
        a->setData(nr);
        connect(a, &QAction::triggered, this, [nr] { Guarded([nr] { ConsoleLink().EditCurve(nr); }); });
    }
    Kennliniebearbeiten1->menuAction()->setEnabled(names.size() > 1);
}

void TdmMenu::NeueKennlinie1Click()
{
    Guarded([this] { emit newCurveRequested(); });
}
