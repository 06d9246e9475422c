#pragma once
// The main menu of the main window and its actions: the show file (new, open,
// save, save as), module export and import through the clipboard or text
// files, the window items and the patch file. Every handler logs an exception
// that escapes it as "Application-Exception: " and the program goes on.

#include "framework/uPrompts.h"

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class TModuleAbstract;

class TdmMenu : public QObject {
    Q_OBJECT
public:
    // Builds the menu into the window's menu bar and hands the patch save dialog
    // to the patch module.
    explicit TdmMenu(QMainWindow* mainWindow, QObject* parent = nullptr);
    ~TdmMenu() override;

    // The modules whose text the export and import items carry.
    enum class TExportModule { Makros, Lichtpult, Audio, Szenen };

    // The file dialogs.
    TFileDialogOptions odProjekt() const;
    TFileDialogOptions sdProjekt() const;
    const TFileDialogOptions& odPatch() const { return FPatchDialog; }
    const TFileDialogOptions& sdPatch() const { return FPatchDialog; }
    const TFileDialogOptions& odImport() const { return FTextDialog; }
    const TFileDialogOptions& sdExport() const { return FTextDialog; }

    QMenu* Datei1 = nullptr;
    QMenu* Fenster1 = nullptr;
    // The console windows' entries (two per numbered window).
    QMenu* Lichtpult1 = nullptr;
    QMenu* Patch2 = nullptr;
    // The patch windows' entries (two per further window) and the curves to edit.
    QMenu* Patch1 = nullptr;
    QMenu* Kennliniebearbeiten1 = nullptr;
    // The macro windows' entries (two per further window).
    QMenu* Makro1 = nullptr;

    // The handlers; each catches and logs what escapes it.
    void Neu2Click();
    void ffnen1Click();
    void Speichern2Click();
    void Speichernunter1Click();
    void ExportToClipboard(TExportModule module);
    void ExportToFile(TExportModule module);
    void ImportFromClipboard(TExportModule module);
    void ImportFromFile(TExportModule module);
    void Beenden1Click();
    void HauptformularaufStandardgre1Click();
    void Neu1Click();
    void ffnen2Click();
    void Speichern1Click();
    void Speichernunter2Click();
    void NeueKennlinie1Click();
    // One item per curve but the linear one (data = curve number).
    void RefillCurveMenu();

signals:
    // Window and curve items whose forms live elsewhere; the program connects them.
    // Each item stays disabled until something is connected to its signal.
    void newMacroWindowRequested();
    void newPatchWindowRequested();
    void newAudioWindowRequested();
    void newCurveRequested();

protected:
    void connectNotify(const QMetaMethod& signal) override;

private:
    struct TRequestItem {
        QMetaMethod Signal;
        QPointer<QAction> Action;   // the menu bar may go first
    };
    void UpdateRequestItems();
    QAction* AddAction(QMenu* menu, const QString& name, const QString& caption, std::function<void()> handler);
    void BuildExportImport(QMenu* exportMenu, QMenu* importMenu);
    static TModuleAbstract& ModuleOf(TExportModule module);

    QMainWindow* FMainWindow;
    QList<TRequestItem> FRequestItems;   // the items that only emit a request
    TFileDialogOptions FPatchDialog;
    TFileDialogOptions FTextDialog;
};

// The menu module while it exists; forms add their window entries to its menus.
extern TdmMenu* dmMenu;
