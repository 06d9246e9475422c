#pragma once
// The channel template editor: the list of templates of Data/Vorlagen.ini, the
// name and channel count of the selected one, its channels on up to 99 faders,
// and the insert dialog that copies a template onto console channels.

#include "console/uKanalvorlage.h"

#include <QDialog>
#include <QWidget>

#include <array>

class QListWidget;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QSpinBox;
class TFader;
class TModuleLichtpult;

class TFrmKanalvorlage : public QWidget {
public:
    TFrmKanalvorlage(TModuleLichtpult& pult, const QString& fileName, QWidget* parent = nullptr);
    ~TFrmKanalvorlage() override;

    TKanalvorlagen& Vorlagen() { return FVorlagen; }
    QString FileName() const { return FFileName; }
    // The selected template, nullptr for none.
    TKanalvorlage* Selected() const;
    TFader* Fader(int f) const { return FFader[static_cast<std::size_t>(f)]; }

    // The actions of the controls.
    void btnAddClick();
    void btnDeleteClick();
    void btnSaveClick();
    void ShowVorlageEinfuegen();
    // The fader menu's entries for the fader under x (in the fader box's coordinates).
    void IconAendern(int x);
    void NamenAendern(int x);

    QListWidget* lbVorlagen = nullptr;
    QLineEdit* edtVorlagenname = nullptr;
    QSpinBox* udKanalzahl = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnSave = nullptr;
    QScrollArea* sbFader = nullptr;
    QMenu* popFader = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadVorlagen();
    void lbVorlagenClick();
    void edtKanalzahlChange();
    void ShowFaders(TKanalvorlage* v);
    TFader* FaderAt(int x) const;
    void EnableEdits();

    TModuleLichtpult& FPult;
    QString FFileName;
    TKanalvorlagen FVorlagen;
    std::array<TFader*, TKanalvorlage::MaxKanaele> FFader{};
    QWidget* FFaderBox = nullptr;
    int FPopupX = 0;
    bool FUpdating = false;
};

// "Vorlage einfügen": number of copies, first channel and offset between copies.
class TfrmVorlageEinfuegen : public QDialog {
public:
    explicit TfrmVorlageEinfuegen(QWidget* parent = nullptr);
    QSpinBox* edtAnzahl = nullptr;
    QSpinBox* edtStart = nullptr;
    QSpinBox* edtVersatz = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnAbbrechen = nullptr;
};
