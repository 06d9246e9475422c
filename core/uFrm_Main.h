#pragma once
// The program's main window. Its creation creates the main module (and with it
// every module); its destruction writes its position and frees the main module,
// which writes the settings file.

#include <QMainWindow>

class QPlainTextEdit;
class QTabWidget;

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

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void FormClose();
    bool FShown = false;
};
