#pragma once
// The chaser editor: a live list of the step-sequence channels, the definition grid
// of one chaser and its LED view with the LED colour templates. A view over
// TChaserEditor (cues/uChaser); the grids are table models that change only the
// cells an action touches, so a chaser of 192 entries by 99 steps stays quick.

#include "cues/uChaser.h"
#include "cues/uChaserGrids.h"

#include <QAbstractTableModel>
#include <QList>
#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollBar;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTableWidget;
class QPushButton;
class TModuleLichtpult;
class TKanalListBox;

// The definition grid over the editor: column 0 and rows 0..2 are fixed, the step
// cells are edited in place.
class TChaserGridModel : public TGridModel {
public:
    explicit TChaserGridModel(TChaserEditor& editor, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The editor's shape or many cells changed.
    void Reset();
    // The step count changed.
    void StepsChanged();
    void CellChanged(int col, int row);

private:
    TChaserEditor& FEditor;
};

// The LED grid: row 0 the LEDs' start channels, rows 1.. the colours per step.
class TLedGridModel : public TGridModel {
public:
    explicit TLedGridModel(TChaserEditor& editor, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role) const override;
    void Reset();
    // The step count changed.
    void StepsChanged();

private:
    TChaserEditor& FEditor;
};

class TFrmChaser : public QWidget {
    Q_OBJECT
public:
    explicit TFrmChaser(TModuleLichtpult& console, const QString& templateFile, QWidget* parent = nullptr);
    ~TFrmChaser() override;

    TChaserEditor& Editor() { return FEditor; }
    TLedVorlagen& Vorlagen() { return FVorlagen; }
    TLedVorlage* CurrentTemplate() const { return FCurrentTemplate; }

    // Repaints the list when it can be seen (called on every tick).
    void RefreshChannelList();
    // Loads the template file, chooses the first template.
    void LoadTemplates();

    QTabWidget* PageControl1 = nullptr;
    QWidget* tabListe = nullptr;
    QWidget* tabDefinition = nullptr;
    QWidget* tabLedChaser = nullptr;

private:
    void BuildListe();
    void BuildDefinition();
    void BuildLedChaser();
    void LoadChaser();
    void ApplySteps(int n);
    void ShowDefinition();
    void FillVorlagenGrid();
    void ChooseTemplate(int index);
    void RebuildLedGrid();
    void SelectListLine(int line);
    void sgChaserMousePress(const QModelIndex& index, Qt::MouseButton button);
    void sgLEDClick(const QModelIndex& index);
    void sgVorlagenChanged(int row, int col);
    void NeueVorlage();
    void VorlageUmbenennen();
    void FarbeAendern();
    void SaveTemplates();

    TModuleLichtpult& FConsole;
    TChaserEditor FEditor;
    TLedVorlagen FVorlagen;
    TLedVorlage* FCurrentTemplate = nullptr;
    QString FTemplateFile;
    int FSelectedRow = 0;           // template row shown in pnlColor, 0 = none
    bool FFilling = false;          // controls are being filled by the program

    TChaserGridModel* FGridModel = nullptr;
    TLedGridModel* FLedModel = nullptr;
    TKanalListBox* pbKanaele = nullptr;
    QScrollBar* sbKanaele = nullptr;
    QSpinBox* edtChaser = nullptr;
    QList<QWidget*> FDefinitionControls;
    QLineEdit* edtName = nullptr;
    QComboBox* cbFadeModus = nullptr;
    QLabel* lblTakt = nullptr;
    QSlider* tbTakt = nullptr;
    QPushButton* btnNullszene = nullptr;
    QSpinBox* edtSchritte = nullptr;
    QPushButton* btnSchrittSpeichern = nullptr;
    QPushButton* btnAufsPult = nullptr;
    QTableView* sgChaser = nullptr;
    QLineEdit* edtSpalten = nullptr;
    QSpinBox* edtSchritteLED = nullptr;
    QTableView* sgLED = nullptr;
    QComboBox* cmbVorlagen = nullptr;
    QTableWidget* sgVorlagen = nullptr;
    QFrame* pnlColor = nullptr;
    QMenu* popVorlage = nullptr;
    QPushButton* btnSave = nullptr;
};

// The one chaser form, created with the console windows; nullptr before.
extern TFrmChaser* FrmChaser;
