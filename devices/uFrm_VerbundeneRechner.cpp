#include "devices/uFrm_VerbundeneRechner.h"

#include "devices/uPeers.h"
#include "devices/uProtocolMemo.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

TFrmVerbundeneRechner* FrmVerbundeneRechner = nullptr;

namespace {

enum TColumn { colNr = 0, colName = 1, colIP = 2, colPort = 3, colStatus = 4, colKey = 5, colCount = 6 };

} // namespace

TFrmVerbundeneRechner::TFrmVerbundeneRechner(TPeerList& peers, QWidget* parent) : QWidget(parent), FPeers(&peers)
{
    setObjectName(QStringLiteral("FrmVerbundeneRechner"));
    FrmVerbundeneRechner = this;

    sgRechner = new QTableWidget(TPeerList::PeerCount, colCount);
    sgRechner->setObjectName(QStringLiteral("sgRechner"));
    InitPeerGrid();

    lblNr = new QLabel;
    lblNr->setObjectName(QStringLiteral("lblNr"));
    edtName = Named<QLineEdit>(QStringLiteral("edtName"));
    edtIP = Named<QLineEdit>(QStringLiteral("edtIP"));
    edtPort = Named<QLineEdit>(QStringLiteral("edtPort"));
    edtKey = Named<QLineEdit>(QStringLiteral("edtKey"));
    btnVerbinden = Named<QPushButton>(QStringLiteral("btnVerbinden"), QStringLiteral("&Verbinden"));
    auto* edits = new QGridLayout;
    edits->addWidget(lblNr, 0, 0);
    edits->addWidget(new QLabel(QStringLiteral("Name")), 0, 1);
    edits->addWidget(edtName, 0, 2);
    edits->addWidget(new QLabel(QStringLiteral("Hostname oder IP")), 1, 1);
    edits->addWidget(edtIP, 1, 2);
    edits->addWidget(new QLabel(QStringLiteral("Port")), 2, 1);
    edits->addWidget(edtPort, 2, 2);
    edits->addWidget(new QLabel(QStringLiteral("Key")), 3, 1);
    edits->addWidget(edtKey, 3, 2);
    edits->addWidget(btnVerbinden, 4, 2);

    gbKommando = new QGroupBox(QStringLiteral(" Kommando senden: "));
    gbKommando->setObjectName(QStringLiteral("gbKommando"));
    edtCommand = Named<QLineEdit>(QStringLiteral("edtCommand"));
    edtCommand->setMaxLength(MaxCommandLineLength);
    btnSend = Named<QPushButton>(QStringLiteral("btnSend"), QStringLiteral("&Senden"));
    auto* command = new QHBoxLayout(gbKommando);
    command->addWidget(edtCommand, 1);
    command->addWidget(btnSend);

    memMessages = new TPlainTextEdit;
    memMessages->setObjectName(QStringLiteral("memMessages"));
    memMessages->setReadOnly(true);
    memMessages->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* left = new QVBoxLayout;
    left->addWidget(sgRechner, 1);
    left->addLayout(edits);
    left->addWidget(gbKommando);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(memMessages, 1);

    connect(sgRechner, &QTableWidget::currentCellChanged, this, [this](int row) {
        Handle([&] {
            FPeers->SelectPeer(row + 1);
            UpdateConnectButton();
        });
    });
    for (QLineEdit* edit : {edtName, edtIP, edtPort, edtKey})
        connect(edit, &QLineEdit::textChanged, this, [this] { Handle([&] { StorePeerEdits(); }); });
    connect(btnVerbinden, &QPushButton::clicked, this, [this] { Handle([&] { btnVerbindenClick(); }); });
    connect(btnSend, &QPushButton::clicked, this, [this] { Handle([&] { btnSendClick(); }); });

    connect(&peers, &TPeerList::peerChanged, this, &TFrmVerbundeneRechner::RefreshRow);
    connect(&peers, &TPeerList::selectionChanged, this, &TFrmVerbundeneRechner::ShowSelected);
    connect(&peers, &TPeerList::connectionChanged, this, &TFrmVerbundeneRechner::UpdateConnectButton);
    FMemo = new TProtocolMemo(memMessages, [this]() -> const TProtocolLog* { return FPeers ? &FPeers->ProtocolLog() : nullptr; });
    connect(&peers, &TPeerList::logAdded, this, [this] {
        FMemo->LineAdded();
        UpdateConnectButton();
    });

    for (int row = 1; row <= TPeerList::PeerCount; ++row)
        RefreshRow(row);
    ShowSelected();
}

TFrmVerbundeneRechner::~TFrmVerbundeneRechner()
{
    if (FrmVerbundeneRechner == this)
        FrmVerbundeneRechner = nullptr;
}

template <typename F>
void TFrmVerbundeneRechner::Handle(F&& action)
{
    if (!FPeers)
        return;
    Guarded(action);
    // What the user's action logged shows at once.
    FMemo->Refresh();
}

void TFrmVerbundeneRechner::InitPeerGrid()
{
    sgRechner->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Name"), QStringLiteral("IP"), QStringLiteral("Port"), QStringLiteral("Status"), QStringLiteral("Key")});
    sgRechner->verticalHeader()->hide();
    sgRechner->horizontalHeader()->setDefaultSectionSize(70);
    sgRechner->setColumnWidth(colNr, 20);
    sgRechner->setColumnWidth(colIP, 86);
    sgRechner->setColumnWidth(colPort, 50);
    sgRechner->setColumnWidth(colKey, 40);
    sgRechner->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgRechner->setSelectionMode(QAbstractItemView::SingleSelection);
    sgRechner->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const QSignalBlocker block(sgRechner);
    for (int r = 0; r < TPeerList::PeerCount; ++r)
        for (int c = 0; c < colCount; ++c) {
            auto* item = new QTableWidgetItem(c == colNr ? QString::number(r + 1) : QString());
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            sgRechner->setItem(r, c, item);
        }
    sgRechner->setCurrentItem(nullptr);
}

void TFrmVerbundeneRechner::RefreshRow(int row)
{
    if (!FPeers || row < 1 || row > TPeerList::PeerCount)
        return;
    const TPeer& p = FPeers->Peer(row);
    const int r = row - 1;
    sgRechner->item(r, colName)->setText(p.Name);
    sgRechner->item(r, colIP)->setText(p.IP);
    sgRechner->item(r, colPort)->setText(p.Port);
    sgRechner->item(r, colStatus)->setText(p.Status);
    sgRechner->item(r, colKey)->setText(p.Key);
}

void TFrmVerbundeneRechner::ShowSelected()
{
    if (!FPeers)
        return;
    const int row = FPeers->Selected();
    if (row >= 1 && row <= TPeerList::PeerCount) {
        const TPeer& p = FPeers->Peer(row);
        const QSignalBlocker b1(edtName), b2(edtIP), b3(edtPort), b4(edtKey), b5(sgRechner);
        lblNr->setText(QString::number(row));
        edtName->setText(p.Name);
        edtIP->setText(p.IP);
        edtPort->setText(p.Port);
        edtKey->setText(p.Key);
        if (sgRechner->currentRow() != row - 1)
            sgRechner->setCurrentCell(row - 1, colName);
    }
    UpdateConnectButton();
}

void TFrmVerbundeneRechner::StorePeerEdits()
{
    FPeers->SetPeer(FPeers->Selected(), edtName->text(), edtIP->text(), edtPort->text(), edtKey->text());
}

void TFrmVerbundeneRechner::UpdateConnectButton()
{
    if (!FPeers)
        return;
    btnVerbinden->setText(FPeers->IsOpen(FPeers->Selected()) ? QStringLiteral("&Trennen") : QStringLiteral("&Verbinden"));
}

void TFrmVerbundeneRechner::btnVerbindenClick()
{
    FPeers->ToggleConnection();
    UpdateConnectButton();
}

void TFrmVerbundeneRechner::btnSendClick()
{
    // The text goes as typed: the user includes the peer's key.
    FPeers->SendToPeer({QStringLiteral("V") + QString::number(FPeers->Selected()), edtCommand->text()});
}
