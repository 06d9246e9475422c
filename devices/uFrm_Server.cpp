#include "devices/uFrm_Server.h"

#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uMod_Main.h"
#include "devices/uFrm_VerbundeneRechner.h"
#include "devices/uMod_Interface.h"
#include "devices/uServer.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

TFrmServer* FrmServer = nullptr;

namespace {

// Discards typed characters other than digits and backspace. Keys without text
// (arrows, Delete) and shortcuts pass.
class TDigitsOnlyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            if (!text.isEmpty() && key->key() != Qt::Key_Backspace &&
                !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
                for (QChar c : text)
                    if (c < u'0' || c > u'9')
                        return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QCheckBox* MakeCheckBox(const QString& name, const QString& caption)
{
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    return box;
}

QLineEdit* MakeEdit(const QString& name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

QWidget* FindOrAddTab(QTabWidget* pc, const QString& name, const QString& caption)
{
    for (int i = 0; i < pc->count(); ++i)
        if (pc->widget(i)->objectName() == name)
            return pc->widget(i);
    auto* tab = new QWidget;
    tab->setObjectName(name);
    pc->addTab(tab, caption);
    return tab;
}

void Dock(QWidget* tab, QWidget* page)
{
    QLayout* layout = tab->layout();
    if (!layout) {
        layout = new QVBoxLayout(tab);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(page);
}

} // namespace

// ---- protocol memo ----

TProtocolMemo::TProtocolMemo(QPlainTextEdit* memo, std::function<const TProtocolLog*()> log)
    : QObject(memo), FMemo(memo), FLog(std::move(log))
{
    FMemo->setUndoRedoEnabled(false);
    FTimer.setSingleShot(true);
    FTimer.setInterval(RefreshMs);
    connect(&FTimer, &QTimer::timeout, this, [this] { Refresh(); });
    FMemo->installEventFilter(this);
    Refresh();
}

void TProtocolMemo::LineAdded()
{
    // A hidden memo catches up when it is shown.
    if (FMemo->isVisible() && !FTimer.isActive())
        FTimer.start();
}

bool TProtocolMemo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FMemo && event->type() == QEvent::Show)
        Refresh();
    return QObject::eventFilter(watched, event);
}

void TProtocolMemo::Refresh()
{
    FTimer.stop();
    const TProtocolLog* log = FLog();
    if (!log || log->Total() == FShown)
        return;
    const QStringList& lines = log->Lines();
    const qsizetype fresh = qsizetype(qMin<quint64>(log->Total() - FShown, quint64(lines.size())));
    FShown = log->Total();
    QTextDocument* doc = FMemo->document();
    QString text = lines.mid(0, fresh).join(u'\n');
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (fresh == lines.size()) {
        // Everything shown is gone from the log: the memo starts afresh.
        FMemo->setPlainText(text);
        return;
    }
    // One edit block: the memo lays itself out once for the whole refresh.
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(doc->isEmpty() ? text : text + u'\n');
    const int maxLines = TProtocolLog::MaxLines;
    if (doc->blockCount() > maxLines) {
        cursor.setPosition(doc->findBlockByNumber(maxLines).position() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
}

void AcceptTypedDigitsOnly(QLineEdit* edit)
{
    edit->installEventFilter(new TDigitsOnlyFilter(edit));
}

// ---- the page ----

TFrmServer::TFrmServer(TRemoteServer& server, QWidget* parent) : QWidget(parent), FServer(&server)
{
    setObjectName(QStringLiteral("FrmServer"));
    FrmServer = this;

    gbServer = new QGroupBox(QStringLiteral(" Server: "));
    gbServer->setObjectName(QStringLiteral("gbServer"));
    cbAktiv = MakeCheckBox(QStringLiteral("cbAktiv"), QStringLiteral("Server aktiv"));
    cbStartAktiv = MakeCheckBox(QStringLiteral("cbStartAktiv"), QStringLiteral("Server beim Programmstart aktivieren"));
    edtPort = MakeEdit(QStringLiteral("edtPort"));
    edtKey = MakeEdit(QStringLiteral("edtKey"));
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
    cbFindSchritt = MakeCheckBox(QStringLiteral("cbFindSchritt"), QStringLiteral("Schritt finden"));
    cbSchrittAusfuehren = MakeCheckBox(QStringLiteral("cbSchrittAusfuehren"), QStringLiteral("Schritt ausführen"));
    cbMakro = MakeCheckBox(QStringLiteral("cbMakro"), QStringLiteral("Makro-Button"));
    auto* koppelnLayout = new QVBoxLayout(gbKoppeln);
    koppelnLayout->addWidget(cbFindSchritt);
    koppelnLayout->addWidget(cbSchrittAusfuehren);
    koppelnLayout->addWidget(cbMakro);

    memProt = new QPlainTextEdit;
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

// ---- docking ----

void CreateInterfacePages(QTabWidget* pcInterface)
{
    if (!pcInterface || !ModuleInterface)
        return;
    if (!FrmVerbundeneRechner)
        Dock(FindOrAddTab(pcInterface, QStringLiteral("tabVerbundeneRechner"), QStringLiteral("verbundene Rechner")),
             new TFrmVerbundeneRechner(ModuleInterface->Peers()));
    if (!FrmServer)
        Dock(FindOrAddTab(pcInterface, QStringLiteral("tabServer"), QStringLiteral("Server")),
             new TFrmServer(ModuleInterface->Server()));
}
