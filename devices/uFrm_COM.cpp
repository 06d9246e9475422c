#include "devices/uFrm_COM.h"

#include "devices/uComTerminal.h"
#include "framework/uFormUtils.h"
#include "framework/uTextEdits.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFrmCOM* FrmCOM = nullptr;

// ---- the port list ----

TCOMComboBox::TCOMComboBox(TSerial& serial, QWidget* parent) : QComboBox(parent), FSerial(&serial)
{
    setObjectName(QStringLiteral("COMComboBox1"));
    // As wide as its longest port name.
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    const QStringList ports = serial.Ports();
    if (ports.isEmpty())
        addItem(QStringLiteral("keinen"));
    else
        addItems(ports);
    setCurrentIndex(0);
    connect(this, &QComboBox::activated, this, [this] {
        if (FSerial)
            FSerial->SetCOMPort(SelectedPort());
        emit changed();
    });
}

int TCOMComboBox::SelectedPort() const
{
    const QString item = currentText();
    return item.startsWith(QStringLiteral("COM")) ? item.mid(3).toInt() : 0;
}

void TCOMComboBox::SetSelectedPort(int v)
{
    if (v < 1 || v > ComPortCount || !ComPorts().Available[std::size_t(v)])
        return;
    setCurrentIndex(findText(QStringLiteral("COM") + QString::number(v)));
    if (FSerial)
        FSerial->SetCOMPort(v);
    emit changed();
}

// ---- the page ----

TFrmCOM::TFrmCOM(TComTerminal& terminal, QWidget* parent) : QWidget(parent), FTerminal(&terminal)
{
    setObjectName(QStringLiteral("FrmCOM"));
    FrmCOM = this;

    auto* gbPort = new QGroupBox(QStringLiteral(" Schnittstelle: "));
    COMComboBox1 = new TCOMComboBox(terminal.Serial1);
    btnConnect = Named<QPushButton>(QStringLiteral("btnConnect"), QStringLiteral("&Verbinden"));
    lblConnect = Named<QLabel>(QStringLiteral("lblConnect"));
    auto* portLayout = new QHBoxLayout(gbPort);
    portLayout->addWidget(COMComboBox1);
    portLayout->addWidget(btnConnect);
    portLayout->addWidget(lblConnect, 1);

    auto* gbSend = new QGroupBox(QStringLiteral(" Text versenden: "));
    edtSend = Named<QLineEdit>(QStringLiteral("edtSend"));
    btnSend = Named<QPushButton>(QStringLiteral("btnSend"), QStringLiteral("&Senden"));
    rbAnhangKeinen = Named<QRadioButton>(QStringLiteral("rbAnhangKeinen"), QStringLiteral("keinen"));
    rbAnhang1310 = Named<QRadioButton>(QStringLiteral("rbAnhang1310"), QStringLiteral("#13#10 (Zeilenumbruch)"));
    rbAnhangKeinen->setChecked(true);
    auto* sendLayout = new QGridLayout(gbSend);
    sendLayout->addWidget(edtSend, 0, 0, 1, 3);
    sendLayout->addWidget(btnSend, 0, 3);
    sendLayout->addWidget(new QLabel(QStringLiteral("Anhang")), 1, 0);
    sendLayout->addWidget(rbAnhangKeinen, 1, 1);
    sendLayout->addWidget(rbAnhang1310, 1, 2);

    memAntwort = Named<TPlainTextEdit>(QStringLiteral("memAntwort"));
    memAntwort->setReadOnly(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbPort);
    layout->addWidget(gbSend);
    layout->addWidget(new QLabel(QStringLiteral("Antwort")));
    layout->addWidget(memAntwort, 1);

    connect(btnConnect, &QPushButton::clicked, this, [this] {
        if (FTerminal)
            FTerminal->ToggleConnect();
    });
    connect(btnSend, &QPushButton::clicked, this, [this] {
        if (FTerminal)
            FTerminal->Send(edtSend->text(), rbAnhang1310->isChecked());
    });
    connect(&terminal, &TComTerminal::stateChanged, this, &TFrmCOM::Refresh);
    connect(&terminal, &TComTerminal::answerChanged, memAntwort, &QPlainTextEdit::setPlainText);
    Refresh();
}

TFrmCOM::~TFrmCOM()
{
    if (FrmCOM == this)
        FrmCOM = nullptr;
}

void TFrmCOM::Refresh()
{
    if (!FTerminal)
        return;
    btnConnect->setText(FTerminal->ConnectCaption());
    lblConnect->setText(FTerminal->ConnectLabel());
}
