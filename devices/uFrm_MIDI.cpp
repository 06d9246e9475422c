#include "devices/uFrm_MIDI.h"

#include "devices/uMidiUtils.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

TFrmMIDI* FrmMIDI = nullptr;

namespace {
enum TColumn { colId = 0, colGeraet = 1, colBefehl = 2, colParam1 = 3, colParam2 = 4, colSzene = 5, colCount = 6 };
} // namespace

TFrmMIDI::TFrmMIDI(TMidiMapping& midi, QWidget* parent) : QWidget(parent), FMidi(&midi)
{
    setObjectName(QStringLiteral("FrmMIDI"));
    FrmMIDI = this;

    cbAktiv = Named<QCheckBox>(QStringLiteral("cbAktiv"), QStringLiteral("MIDI In aktiv"));
    cbSteuern = Named<QCheckBox>(QStringLiteral("cbSteuern"), QStringLiteral("MIDI steuert Szenen"));
    cbAnlegen = Named<QCheckBox>(QStringLiteral("cbAnlegen"), QStringLiteral("MIDI legt Szenen an"));
    cmbGeraet = Named<QComboBox>(QStringLiteral("cmbGeraet"));
    btnSzeneAusfuehren = Named<QPushButton>(QStringLiteral("btnSzeneAusfuehren"), QStringLiteral("Szene ausführen"));
    btnSzeneAusfuehren->setToolTip(QStringLiteral("Führt die Szene der gewählten Zeile aus"));
    lblLog = Named<QLabel>(QStringLiteral("lblLog"));
    lblStatus = Named<QLabel>(QStringLiteral("lblStatus"));
    sgMIDI = new QTableWidget(0, colCount);
    sgMIDI->setObjectName(QStringLiteral("sgMIDI"));
    sgMIDI->setHorizontalHeaderLabels(
        {QStringLiteral("ID"), QStringLiteral("Gerät"), QStringLiteral("Befehl"), QStringLiteral("Param 1"),
         QStringLiteral("Param 2"), QStringLiteral("Szene")});
    sgMIDI->verticalHeader()->hide();
    sgMIDI->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgMIDI->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgMIDI->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* top = new QGridLayout;
    top->addWidget(cbAktiv, 0, 0);
    top->addWidget(cmbGeraet, 0, 1);
    top->addWidget(cbSteuern, 1, 0);
    top->addWidget(cbAnlegen, 2, 0);
    top->addWidget(btnSzeneAusfuehren, 2, 1);
    top->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblStatus);
    layout->addWidget(lblLog);
    layout->addWidget(sgMIDI, 1);

    connect(cbAktiv, &QCheckBox::toggled, this, [this](bool on) {
        Guarded([&] {
            if (!FMidi)
                return;
            FMidi->SetAktiv(on);
            ShowState();
        });
    });
    connect(cbSteuern, &QCheckBox::toggled, this, [this](bool on) {
        if (FMidi)
            FMidi->Steuern = on;
    });
    connect(cbAnlegen, &QCheckBox::toggled, this, [this](bool on) {
        if (FMidi)
            FMidi->Anlegen = on;
    });
    connect(cmbGeraet, &QComboBox::activated, this, [this](int index) {
        Guarded([&] {
            if (!FMidi)
                return;
            FMidi->Device = index;
            if (FMidi->Aktiv())
                FMidi->SetAktiv(true);   // reopen on the chosen device
            ShowState();
        });
    });
    connect(btnSzeneAusfuehren, &QPushButton::clicked, this, [this] { Guarded([&] {
            if (FMidi)
                btnSzeneAusfuehrenClick();
        }); });
    connect(&midi, &TMidiMapping::rowsChanged, this, &TFrmMIDI::FillGrid);
    connect(&midi, &TMidiMapping::logChanged, this, [this] { lblLog->setText(FMidi->LogText()); });
    connect(&midi, &TMidiMapping::stateChanged, this, &TFrmMIDI::ShowState);

    FillGrid();
    ShowState();
}

TFrmMIDI::~TFrmMIDI()
{
    if (FrmMIDI == this)
        FrmMIDI = nullptr;
}

void TFrmMIDI::FillGrid()
{
    const QList<TMidiMappingRow>& rows = FMidi->Rows();
    // The mappings and one empty row after them.
    sgMIDI->clearContents();
    sgMIDI->setRowCount(int(rows.size()) + 1);
    for (int i = 0; i < rows.size(); ++i) {
        const TMidiMessageInfo m = DecodeMidiMessage(std::uint32_t(rows.at(i).Message));
        const QString cells[colCount] = {QString::number(rows.at(i).Message), QString::number(m.Channel), m.Name,
                                         QString::number(m.Param1), QString::number(m.Param2), rows.at(i).Scene};
        for (int c = 0; c < colCount; ++c)
            sgMIDI->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
}

void TFrmMIDI::FillDevices()
{
    const QSignalBlocker block(cmbGeraet);
    const QStringList devices = FMidi->Devices();
    cmbGeraet->clear();
    cmbGeraet->addItems(devices);
    cmbGeraet->setCurrentIndex(FMidi->Device < devices.size() ? FMidi->Device : -1);
    cmbGeraet->setEnabled(!devices.isEmpty());
}

void TFrmMIDI::ShowState()
{
    if (!FMidi)
        return;
    FillDevices();
    const QSignalBlocker a(cbAktiv), s(cbSteuern), n(cbAnlegen);
    cbAktiv->setChecked(FMidi->Aktiv());
    cbSteuern->setChecked(FMidi->Steuern);
    cbAnlegen->setChecked(FMidi->Anlegen);
    lblStatus->setText(FMidi->StatusText());
}

void TFrmMIDI::btnSzeneAusfuehrenClick()
{
    FMidi->ExecuteRow(sgMIDI->currentRow());
}
