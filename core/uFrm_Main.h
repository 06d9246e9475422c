#pragma once
// The program's main window. Its creation creates the main module (and with it
// every module); its destruction writes its position and frees the main module,
// which writes the settings file.

#include <QMainWindow>

class QLabel;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class TfrmMaster;

extern const char* const MainCaption;

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    void SetProjectFileName(const QString& fileName);

    QTabWidget* PageControl1 = nullptr;
    QTabWidget* pcDiverses = nullptr;
    QPlainTextEdit* memFehlerLog = nullptr;
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
    QWidget* tabInterface = nullptr;
    QTabWidget* pcInterface = nullptr;
    QWidget* tabPatch = nullptr;
    QLabel* lblDMXInit = nullptr;

    // Moves shared panels to the page that has become active.
    void PageControl1Change();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool FLetztesPatch = false;   // reopen the last patch file when first shown
    void FormShow();
    void FormClose();
    bool FShown = false;
};
