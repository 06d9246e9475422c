#pragma once
// The page "MIDI" of the interface tabs: a view of the MIDI mapping. The grid
// shows one row per mapping and an empty last row; the label shows the last
// message; the status line says whether MIDI input is open and from where.

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TMidiMapping;

class TFrmMIDI : public QWidget {
    Q_OBJECT
public:
    explicit TFrmMIDI(TMidiMapping& midi, QWidget* parent = nullptr);
    ~TFrmMIDI() override;

    QCheckBox* cbAktiv = nullptr;
    QCheckBox* cbSteuern = nullptr;
    QCheckBox* cbAnlegen = nullptr;
    QComboBox* cmbGeraet = nullptr;
    QPushButton* btnSzeneAusfuehren = nullptr;
    QLabel* lblLog = nullptr;
    QLabel* lblStatus = nullptr;
    QTableWidget* sgMIDI = nullptr;

private:
    void FillGrid();
    void ShowState();
    void FillDevices();
    void btnSzeneAusfuehrenClick();

    QPointer<TMidiMapping> FMidi;   // null once the module is gone
};

extern TFrmMIDI* FrmMIDI;
