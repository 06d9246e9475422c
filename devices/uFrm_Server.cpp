#include "devices/uFrm_Server.h"

#include "devices/uProtocolMemo.h"
#include "devices/uServer.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"
#include "framework/uTextEdits.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

TFrmServer* FrmServer = nullptr;

// ---- the page ----

TFrmServer::TFrmServer(TRemoteServer& server, QWidget* parent) : QWidget(parent), FServer(&server)
{
    setObjectName(QStringLiteral("FrmServer"));
    FrmServer = this;

    gbServer = new QGroupBox(QStringLiteral(" Server: "));
    gbServer->setObjectName(QStringLiteral("gbServer"));
    cbAktiv = Named<QCheckBox>(QStringLiteral("cbAktiv"), QStringLiteral("Server aktiv"));
    cbStartAktiv = Named<QCheckBox>(QStringLiteral("cbStartAktiv"), QStringLiteral("Server beim Programmstart aktivieren"));
    edtPort = Named<QLineEdit>(QStringLiteral("edtPort"));
    edtKey = Named<QLineEdit>(QStringLiteral("edtKey"));
    AcceptTypedDigitsOnly(edtPort);
    AcceptTypedDigitsOnly(edtKey);
    auto* serverLayout = new QGridLayout(gbServer);
    serverLayout->addWidget(cbAktiv, 0, 0, 1, 2);
    serverLayout->addWidget(cbStartAktiv, 1, 0, 1, 2);
    serverLayout->addWidget(new QLabel(QStringLiteral("Port")), 2, 0);
    serverLayout->addWidget(edtPort, 2, 1);
    serverLayout->addWidget(new QLabel(QStringLiteral("Key")), 3, 0);
    serverLayout->addWidget(edtKey, 3, 1);

    gbKoppeln = new QGroupBox(QStringLiteral(" Systeme koppeln: "));
    gbKoppeln->setObjectName(QStringLiteral("gbKoppeln"));
    cbFindSchritt = Named<QCheckBox>(QStringLiteral("cbFindSchritt"), QStringLiteral("Schritt finden"));
    cbSchrittAusfuehren = Named<QCheckBox>(QStringLiteral("cbSchrittAusfuehren"), QStringLiteral("Schritt ausführen"));
    cbMakro = Named<QCheckBox>(QStringLiteral("cbMakro"), QStringLiteral("Makro-Button"));
    auto* koppelnLayout = new QVBoxLayout(gbKoppeln);
    koppelnLayout->addWidget(cbFindSchritt);
    koppelnLayout->addWidget(cbSchrittAusfuehren);
    koppelnLayout->addWidget(cbMakro);

    memProt = new TPlainTextEdit;
    memProt->setObjectName(QStringLiteral("memProt"));
    memProt->setReadOnly(true);
    memProt->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* left = new QVBoxLayout;
    left->addWidget(gbServer);
    left->addWidget(gbKoppeln);
    left->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(memProt, 1);

    connect(cbAktiv, &QCheckBox::clicked, this, [this](bool checked) { Handle([&] { FServer->SetAktiv(checked); }); });
    connect(cbStartAktiv, &QCheckBox::toggled, this, [this](bool on) { Handle([&] { FServer->StartAktiv = on; }); });
    connect(cbFindSchritt, &QCheckBox::toggled, this, [this](bool on) { Handle([&] { FServer->FindSchritt = on; }); });
    connect(cbSchrittAusfuehren, &QCheckBox::toggled, this, [this](bool on) { Handle([&] { FServer->Ausfuehren = on; }); });
    connect(cbMakro, &QCheckBox::toggled, this, [this](bool on) { Handle([&] { FServer->Makro = on; }); });
    connect(edtPort, &QLineEdit::textChanged, this, [this](const QString& t) { Handle([&] { FServer->Port = t; }); });
    connect(edtKey, &QLineEdit::textChanged, this, [this](const QString& t) { Handle([&] { FServer->Key = t; }); });

    connect(&server, &TRemoteServer::changed, this, &TFrmServer::Refresh);
    FMemo = new TProtocolMemo(memProt, [this]() -> const TProtocolLog* { return FServer ? &FServer->ProtocolLog() : nullptr; });
    connect(&server, &TRemoteServer::logAdded, FMemo, &TProtocolMemo::LineAdded);
    Refresh();
}

TFrmServer::~TFrmServer()
{
    if (FrmServer == this)
        FrmServer = nullptr;
}

template <typename F>
void TFrmServer::Handle(F&& action)
{
    if (!FServer)
        return;
    Guarded(action);
    // The server may have refused (a port that cannot be opened unchecks the box);
    // what the user's action logged shows at once.
    Refresh();
    FMemo->Refresh();
}

void TFrmServer::Refresh()
{
    if (!FServer)
        return;
    const TRemoteServer& s = *FServer;
    const QSignalBlocker b1(cbAktiv), b2(cbStartAktiv), b3(cbFindSchritt), b4(cbSchrittAusfuehren), b5(cbMakro),
        b6(edtPort), b7(edtKey);
    cbAktiv->setChecked(s.Aktiv());
    cbStartAktiv->setChecked(s.StartAktiv);
    cbFindSchritt->setChecked(s.FindSchritt);
    cbSchrittAusfuehren->setChecked(s.Ausfuehren);
    cbMakro->setChecked(s.Makro);
    // Only a change is written, so typing keeps the cursor where it is.
    if (edtPort->text() != s.Port)
        edtPort->setText(s.Port);
    if (edtKey->text() != s.Key)
        edtKey->setText(s.Key);
}
