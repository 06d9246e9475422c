#pragma once
// The program's main window. Its creation creates the main module (and with it
// every module) and restores the options of section FrmMain; its first showing
// reopens the last show and patch and starts the clock; closing saves the show
// and the error log as configured; its destruction writes its position and
// options and frees the main module, which writes the settings file.

#include "framework/uMod_Main.h"

#include <QDateTime>
#include <QMainWindow>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;

extern const char* const MainCaption;

class TFrmMain : public QMainWindow, private TMainFormLink {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    // Sets the show's file name; the caption follows every change of it.
    void SetProjectFileName(const QString& fileName);

    // Moves shared panels to the page that has become active (OnPageChange).
    void PageControl1Change();
    // What a page that becomes active brings along from elsewhere (the master
    // panel below the console and the scene page, ...): set by the composition
    // root, which docks those panels; called with the page now active.
    std::function<void(QWidget* page)> OnPageChange;

    // Writes the error-log page to ProgramDir/Fehlerlogs/Log_<time>.txt (folder
    // created) and returns the file's path. Raises EPvError when it cannot.
    QString SaveErrorLog(const QDateTime& now = QDateTime::currentDateTime());
    static QString ErrorLogFileName(const QDateTime& time);

    // One link label on the help page for every PDF file in ProgramDir/Doku.
    void FillHelpPage();
    // Opens the document of a help link.
    void HelpLinkClick(QObject* sender);

    // Closes the window for a signal: nobody is there to answer, so no question
    // is asked and none that is open waits (open dialogs are cancelled), and the
    // show is saved unattended (SaveProjectUnattended) when auto-save is on.
    void ForceClose();

    // Where floating windows without a stored position start: the window's left
    // edge, just below its page tabs (screen coordinates).
    QPoint FloatingWindowOrigin() const;

signals:
    // The close has run through: the program ends, whatever other windows exist.
    void closeAccepted();

public:
    // Pages (PageControl1, in tab order).
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;   // "Diverses"
    QTabWidget* pcDiverses = nullptr;
    QWidget* tabHilfe = nullptr;
    QWidget* tabOptionen = nullptr;
    QWidget* tabFehlerlog = nullptr;
    QPlainTextEdit* memFehlerLog = nullptr;
    QWidget* tabKanalvorlagen = nullptr;
    // "Lichtpult und Master": the console window above, the master panel below.
    QWidget* tabPult = nullptr;
    QWidget* pnlLichtpult = nullptr;
    QSplitter* splPult = nullptr;
    QWidget* pnlPultUnten = nullptr;
    // "Szenen und Master": the scene page above, the master panel below.
    QWidget* tabSzenen = nullptr;
    QWidget* pnlSzenen = nullptr;
    QSplitter* splSzenen = nullptr;
    QWidget* pnlSzenenUnten = nullptr;
    QWidget* tabKanaele = nullptr;
    QWidget* tabChaser = nullptr;
    QWidget* tabAudio = nullptr;
    QWidget* tabInterface = nullptr;
    QTabWidget* pcInterface = nullptr;
    QWidget* tabPatch = nullptr;
    QLabel* lblDMXInit = nullptr;
    QWidget* tabPLX = nullptr;
    QWidget* tabCOM = nullptr;
    QWidget* tabMIDI = nullptr;
    QWidget* tabVerbundeneRechner = nullptr;
    QWidget* tabServer = nullptr;
    QWidget* tabText = nullptr;
    QWidget* tabDebug = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;
    // The macro page, outside the page control.
    QWidget* pnlMakro = nullptr;

    // Options.
    QCheckBox* cbLastFile = nullptr;
    QCheckBox* cbLastPatch = nullptr;
    QCheckBox* cbAutoSaveOnClosing = nullptr;
    QCheckBox* cbFehlerlog = nullptr;
    QCheckBox* cbProzent = nullptr;
    QCheckBox* cbLampenschonung = nullptr;
    QCheckBox* cbAutoSzenenseite = nullptr;
    QCheckBox* cbTextRechtsZurueck = nullptr;
    QLineEdit* edtDefaultFadeVor = nullptr;
    QLineEdit* edtDefaultFadeZurueck = nullptr;
    QGroupBox* rgWaehrendAusfuehrung = nullptr;
    QCheckBox* cbFirstNurMitStrg = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The radio group the scene module reads, and the scenes page it activates.
    int StepDuringExecution() const override;
    void ShowScenesPage() override;

    void BuildPages();
    QWidget* BuildOptionPage();
    void ConnectOptions();
    void RestoreOptions();
    void ApplyOptions();
    void WriteOptions();
    void UpdateCaption(const QString& fileName);

    void FormShow();
    // False when the window must stay open.
    bool FormClose();

    void cbAutoSaveOnClosingClick(bool checked);
    void cbProzentClick(bool checked);
    void cbLampenschonungClick(bool checked);
    void cbAutoSzenenseiteClick(bool checked);
    void cbTextRechtsZurueckClick(bool checked);
    void edtDefaultFadeVorChange(const QString& text);
    void edtDefaultFadeZurueckChange(const QString& text);

    QButtonGroup* FWaehrendAusfuehrung = nullptr;
    QList<QLabel*> FHelpLinks;
    bool FShown = false;
    bool FClosed = false;       // the close has run through
    bool FInClose = false;      // a close is running (a save dialog may be open)
    bool FForceClose = false;   // the close must not be cancelled
};
