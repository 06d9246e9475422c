#pragma once
// The scenes page: the list of scenes and, for the scene shown, its number, name,
// level versions, macro versions, macro text and both fade times, with the buttons
// that store a version, put a scene on the console or fade to it. All data live in
// the scene module; the page keeps only the index of the scene it shows and looks
// the scene up for each use, so a show load that frees the scenes leaves nothing
// behind to write into.

#include "cues/uMod_Szenen.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;

class TFrmSzenen : public QWidget, public TScenePageLink {
public:
    explicit TFrmSzenen(TModuleSzenen& module, QWidget* parent = nullptr);
    ~TFrmSzenen() override;

    // Shows scene index of the module, or the empty state when there is none.
    void ShowScene(int index);
    // Both fade groups from tenths of a second.
    void ShowFadeTimes(int forward, int backward);
    // Docks the macro assistant into pnlAssiHilfe; its lines go to memMakro.
    void AttachMacroAssistant();
    // The scene shown; nullptr when none.
    TSzene* Szene() const;

    // TScenePageLink
    void FillSceneList() override;
    void SelectScene(int index) override;
    void RefreshSceneForm() override;
    void ScenesCleared() override;

    QListWidget* lbSzenen = nullptr;
    QTabWidget* pcSzene = nullptr;
    QWidget* tabSzene = nullptr;
    QWidget* tabMakro = nullptr;
    QWidget* tabMakros = nullptr;
    QWidget* tabAdmin = nullptr;
    QLabel* lblSzenenNummer = nullptr;
    QLabel* lblSzene_a = nullptr;
    QLabel* lblMakro_a = nullptr;
    QLineEdit* edtSzenenName = nullptr;
    QPushButton* btnSzeneAufsPult = nullptr;
    QPushButton* btnNeueVersion = nullptr;
    QPushButton* btnZurSzeneUeberblenden = nullptr;
    QPushButton* btnSzene2Schritte = nullptr;
    QPushButton* btnNeuesMakroLeer = nullptr;
    QPushButton* btnNeuesMakroCopy = nullptr;
    QPushButton* btnAdminSzenenNeu = nullptr;
    QSpinBox* edtMin = nullptr;   // edit and up-down in one
    QSpinBox* edtSec = nullptr;
    QSpinBox* edtZehntel = nullptr;
    QSlider* tbZeit = nullptr;
    QLabel* lblFadeTime = nullptr;
    QSpinBox* edtMinPrior = nullptr;
    QSpinBox* edtSecPrior = nullptr;
    QSpinBox* edtZehntelPrior = nullptr;
    QSlider* tbZeitPrior = nullptr;
    QLabel* lblFadeTimePrior = nullptr;
    QToolButton* sbUebertragen = nullptr;
    QListWidget* lbSzeneVersionen = nullptr;
    QListWidget* lbMakroVersionen = nullptr;
    QPlainTextEdit* memMakro = nullptr;
    QPlainTextEdit* memMakro2 = nullptr;
    QWidget* pnlAssiHilfe = nullptr;
    QMenu* popSzenen = nullptr;
    QMenu* popMakros = nullptr;

private:
    struct TFadeControls {
        QSpinBox* Min;
        QSpinBox* Sec;
        QSpinBox* Zehntel;
        QSlider* Zeit;
        QLabel* Label;
    };
    QWidget* BuildFadeGroup(const QString& caption, const QString& suffix, TFadeControls& c);
    void BuildPopups();
    void FillFade(const TFadeControls& c, int ds);
    void FadeEdited(const TFadeControls& c, bool forward);
    void NameEdited(const QString& text);
    void MacroEdited();
    QString SelectedVersionName() const;
    void MakeSelectedVersionCurrent();
    void PutSelectedVersionOnConsole();
    void ShowSelectedMacroVersion();
    void MakeSelectedMacroCurrent();
    void NewMacro(bool copy);

    TModuleSzenen& FModule;
    int FIndex = -1;            // the scene shown; -1 none
    bool Aktualisiert = false;  // set while the controls are filled from a scene
    TFadeControls FForward{};
    TFadeControls FBackward{};
};

// The one scene page, made by the composition root; nullptr before.
extern TFrmSzenen* FrmSzenen;
