#pragma once
// The channel list: every channel 1..729 in one painted list (a view over
// TKanaeleModel), the selected channel edited in a panel above it, and the channel
// export and import of a range through the clipboard or a text file (two small dialogs).

#include <QDialog>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QSpinBox;
class TFlashButton;
class TKanaeleModel;
class TKanalListBox;
class TModuleLichtpult;
class TTrackBar;

class TFrmKanaele : public QWidget {
public:
    explicit TFrmKanaele(TModuleLichtpult& pult, QWidget* parent = nullptr);

    int Selected() const { return FSelected; }
    // Selects channel nr (clamped to 1..729), scrolls the list so that it stays clear
    // of the list's ends and shows it.
    void SelectKanal(int nr);
    // Shows the selected channel in the edit panel and focuses its number field.
    void SelectKanalView();
    void ShowExportDialog();
    void ShowImportDialog();

    TKanaeleModel* Model() const { return FModel; }

    QWidget* pnlEdit = nullptr;
    QLineEdit* edtKanal = nullptr;
    QLineEdit* edtName = nullptr;
    QComboBox* cmbStatus = nullptr;
    QSpinBox* edtFlash = nullptr;
    QSpinBox* edtBO = nullptr;
    TFlashButton* sbFlash = nullptr;
    TTrackBar* tbFader = nullptr;   // level; the output level is its selection end
    QLabel* lblDMX = nullptr;
    QWidget* pnlGrid = nullptr;
    TKanalListBox* pbKanaele = nullptr;
    QScrollBar* sbKanaele = nullptr;
    QMenu* PopupMenu1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowSelected();
    void UpdateScrollRange();
    void RefreshPanel();
    // Applies one edited field of the panel to the selected channel.
    void Edit(int column, const QVariant& value);
    void FlashButton(Qt::MouseButton button, bool down);

    TModuleLichtpult& FPult;
    TKanaeleModel* FModel = nullptr;
    int FSelected = 1;
    int FFlashSaved = 0;
    bool FUpdating = false;
};

// The range dialog of the channel export and import: "von Kanal", "bis Kanal" and
// the two ways (file, clipboard). Either button does its work and closes.
class TFrmKanaeleRange : public QDialog {
public:
    QSpinBox* edtVon = nullptr;
    QSpinBox* edtBis = nullptr;
    QPushButton* btnDatei = nullptr;
    QPushButton* btnZwischenablage = nullptr;
    QPushButton* btnAbbrechen = nullptr;

protected:
    TFrmKanaeleRange(TModuleLichtpult& pult, bool import);
    TModuleLichtpult& FPult;

private:
    void Datei(bool import);
    void Zwischenablage(bool import);
};

class TFrmExportKanaele : public TFrmKanaeleRange {
public:
    explicit TFrmExportKanaele(TModuleLichtpult& pult) : TFrmKanaeleRange(pult, false) {}
};

class TFrmImportKanaele : public TFrmKanaeleRange {
public:
    explicit TFrmImportKanaele(TModuleLichtpult& pult) : TFrmKanaeleRange(pult, true) {}
};
