#include "console/uFrmKanalvorlage.h"

#include "console/uFader.h"
#include "console/uFrm_EditSymbol.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uPrompts.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Below this a fader's parts would overlap; the box then scrolls.
constexpr int MinFaderHeight = 120;

QSpinBox* Spin(const QString& name, int from, int to, int value)
{
    auto* s = Named<QSpinBox>(name);
    s->setRange(from, to);
    s->setValue(value);
    return s;
}

} // namespace

TFrmKanalvorlage::TFrmKanalvorlage(TModuleLichtpult& pult, const QString& fileName, QWidget* parent)
    : QWidget(parent), FPult(pult), FFileName(fileName)
{
    setObjectName(QStringLiteral("FrmKanalvorlage"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    lbVorlagen = Named<QListWidget>(QStringLiteral("lbVorlagen"));
    edtVorlagenname = Named<QLineEdit>(QStringLiteral("edtVorlagenname"));
    udKanalzahl = Spin(QStringLiteral("udKanalzahl"), 1, TKanalvorlage::MaxKanaele, 1);
    btnAdd = Named<QPushButton>(QStringLiteral("btnAdd"), QStringLiteral("+"));
    btnDelete = Named<QPushButton>(QStringLiteral("btnDelete"), QStringLiteral("-"));
    btnSave = Named<QPushButton>(QStringLiteral("btnSave"), QStringLiteral("Speichern"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnDelete);
    buttons->addWidget(btnSave);
    left->addLayout(buttons);
    left->addWidget(lbVorlagen, 1);
    left->addWidget(new QLabel(QStringLiteral("Name")));
    left->addWidget(edtVorlagenname);
    left->addWidget(new QLabel(QStringLiteral("Kanalzahl")));
    left->addWidget(udKanalzahl);
    layout->addLayout(left);

    sbFader = Named<QScrollArea>(QStringLiteral("sbFader"));
    // The faders fill the box's height (less 4 pixels above and below) and
    // scroll sideways only.
    sbFader->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sbFader->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FFaderBox = Named<QWidget>(QStringLiteral("pnlFader"));
    FFaderBox->setFixedSize((TFader::FaderWidth + 4) * TKanalvorlage::MaxKanaele + 4, MinFaderHeight + 8);
    for (int f = 0; f < TKanalvorlage::MaxKanaele; ++f) {
        auto* fader = Named<TFader>(QStringLiteral("Fader%1").arg(f), FFaderBox);
        fader->FaderIndex = f;
        fader->SetModus(kkVorlage);
        fader->setGeometry((TFader::FaderWidth + 4) * f + 4, 4, TFader::FaderWidth, MinFaderHeight);
        fader->hide();
        FFader[static_cast<std::size_t>(f)] = fader;
    }
    sbFader->setWidget(FFaderBox);
    sbFader->viewport()->installEventFilter(this);
    layout->addWidget(sbFader, 1);

    popFader = Named<QMenu>(QStringLiteral("popFader"), this);
    auto add = [this](const char* name, const QString& caption, void (TFrmKanalvorlage::*slot)(int)) {
        QAction* a = popFader->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, slot] { Guarded([&] { (this->*slot)(FPopupX); }); });
    };
    add("Iconndern1", QStringLiteral("&Icon ändern"), &TFrmKanalvorlage::IconAendern);
    add("Namenndern1", QStringLiteral("&Namen ändern"), &TFrmKanalvorlage::NamenAendern);
    popFader->addSeparator();
    QAction* insert = popFader->addAction(QStringLiteral("&Vorlage einfügen..."));
    insert->setObjectName(QStringLiteral("Vorlageeinfgen1"));
    connect(insert, &QAction::triggered, this, [this] { Guarded([this] { ShowVorlageEinfuegen(); }); });
    FFaderBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FFaderBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        FPopupX = p.x();
        popFader->popup(FFaderBox->mapToGlobal(p));
    });

    connect(btnAdd, &QPushButton::clicked, this, [this] { Guarded([this] { btnAddClick(); }); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { Guarded([this] { btnDeleteClick(); }); });
    connect(btnSave, &QPushButton::clicked, this, [this] { Guarded([this] { btnSaveClick(); }); });
    connect(lbVorlagen, &QListWidget::currentRowChanged, this, [this] { lbVorlagenClick(); });
    connect(edtVorlagenname, &QLineEdit::textChanged, this, [this](const QString& s) {
        TKanalvorlage* v = Selected();
        if (FUpdating || !v)
            return;
        v->Name = s;
        lbVorlagen->currentItem()->setText(s);
        btnSave->setEnabled(true);
    });
    connect(udKanalzahl, &QSpinBox::valueChanged, this, [this] {
        if (!FUpdating)
            edtKanalzahlChange();
    });
    // A template channel's change repaints the fader that shows it.
    FVorlagen.OnKanalChange = [this](TKanal* k, int code) {
        for (TFader* fader : FFader)
            if (fader->Kanal() == k)
                fader->KanalChanged(k, code);
        btnSave->setEnabled(true);
    };
    LoadVorlagen();
}

bool TFrmKanalvorlage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == sbFader->viewport() && event->type() == QEvent::Resize) {
        const int height = std::max(sbFader->viewport()->height(), MinFaderHeight + 8);
        FFaderBox->setFixedHeight(height);
        for (TFader* fader : FFader)
            fader->resize(TFader::FaderWidth, height - 8);
    }
    return QWidget::eventFilter(watched, event);
}

TFrmKanalvorlage::~TFrmKanalvorlage()
{
    // The faders must not outlive their channels' notification target.
    FVorlagen.OnKanalChange = nullptr;
    for (TFader* fader : FFader)
        fader->SetKanal(nullptr);
}

void TFrmKanalvorlage::LoadVorlagen()
{
    Guarded([this] { FVorlagen.LoadFromFile(FFileName); });
    FUpdating = true;
    for (int i = 0; i < FVorlagen.Count(); ++i)
        lbVorlagen->addItem(FVorlagen.Vorlage(i)->Name);
    FUpdating = false;
    lbVorlagen->setCurrentRow(-1);
    EnableEdits();
    btnSave->setEnabled(false);
}

TKanalvorlage* TFrmKanalvorlage::Selected() const
{
    return FVorlagen.Vorlage(lbVorlagen->currentRow());
}

void TFrmKanalvorlage::EnableEdits()
{
    const bool on = Selected() != nullptr;
    edtVorlagenname->setEnabled(on);
    udKanalzahl->setEnabled(on);
}

void TFrmKanalvorlage::btnAddClick()
{
    TKanalvorlage& v = FVorlagen.Add();
    lbVorlagen->addItem(v.Name);
    if (FVorlagen.Count() == 1)
        lbVorlagen->setCurrentRow(0);
    btnSave->setEnabled(true);
}

void TFrmKanalvorlage::btnDeleteClick()
{
    const int row = lbVorlagen->currentRow();
    TKanalvorlage* v = Selected();
    if (!v || !Prompts().AskYesNo(QStringLiteral("Soll Vorlage") + v->Name + QStringLiteral(" gelöscht werden?")))
        return;
    // No fader may keep a channel of the template that goes.
    ShowFaders(nullptr);
    FUpdating = true;
    delete lbVorlagen->takeItem(row);
    lbVorlagen->setCurrentRow(-1);
    FUpdating = false;
    FVorlagen.Delete(row);
    lbVorlagen->clearSelection();
    EnableEdits();
    btnSave->setEnabled(true);
}

void TFrmKanalvorlage::btnSaveClick()
{
    FVorlagen.SaveToFile(FFileName);
    btnSave->setEnabled(false);
}

void TFrmKanalvorlage::lbVorlagenClick()
{
    if (FUpdating)
        return;
    EnableEdits();
    TKanalvorlage* v = Selected();
    if (!v) {
        ShowFaders(nullptr);
        return;
    }
    FUpdating = true;
    udKanalzahl->setValue(v->Kanalzahl());
    FUpdating = false;
    edtVorlagenname->setText(v->Name);
    edtKanalzahlChange();
}

void TFrmKanalvorlage::edtKanalzahlChange()
{
    TKanalvorlage* v = Selected();
    if (!v)
        return;
    v->SetKanalzahl(udKanalzahl->value());
    ShowFaders(v);
    btnSave->setEnabled(true);
}

void TFrmKanalvorlage::ShowFaders(TKanalvorlage* v)
{
    for (int f = 0; f < TKanalvorlage::MaxKanaele; ++f) {
        TFader* fader = FFader[static_cast<std::size_t>(f)];
        fader->SetKanal(v ? v->Kanal(f + 1) : nullptr);
        fader->setVisible(v && f < v->Kanalzahl());
    }
}

TFader* TFrmKanalvorlage::FaderAt(int x) const
{
    for (TFader* fader : FFader)
        if (!fader->isHidden() && fader->Kanal() && x >= fader->x() && x < fader->x() + fader->width())
            return fader;
    return nullptr;
}

void TFrmKanalvorlage::IconAendern(int x)
{
    TFader* fader = FaderAt(x);
    if (!fader)
        return;
    EditKanalSymbol(*fader->Kanal());
}

void TFrmKanalvorlage::NamenAendern(int x)
{
    TFader* fader = FaderAt(x);
    if (!fader)
        return;
    TKanal* k = fader->Kanal();
    QString name = k->Name;
    if (Prompts().InputText(QStringLiteral("Namen ändern"), QStringLiteral("Kanal ") + k->NrText(), name))
        k->SetName(name);
}

void TFrmKanalvorlage::ShowVorlageEinfuegen()
{
    TfrmVorlageEinfuegen dialog(this);
    if (RunDialog(dialog) != QDialog::Accepted)
        return;
    TKanalvorlage* v = Selected();
    if (!v) {
        Prompts().Info(QStringLiteral("Keine Vorlage gewählt!"));
        return;
    }
    InsertVorlage(*v, FPult, dialog.edtAnzahl->value(), dialog.edtStart->value(), dialog.edtVersatz->value());
}

// ---------------------------------------------------------------------------

TfrmVorlageEinfuegen::TfrmVorlageEinfuegen(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmVorlageEinfuegen"));
    setWindowTitle(QStringLiteral("Vorlage einfügen"));
    edtAnzahl = Spin(QStringLiteral("edtAnzahl"), 1, MaxKanal, 1);
    edtStart = Spin(QStringLiteral("edtStart"), 1, LetzterKonsolenKanal, 1);
    edtVersatz = Spin(QStringLiteral("edtVersatz"), 1, 200, 1);
    btnOK = Named<QPushButton>(QStringLiteral("btnOK"), QStringLiteral("OK"));
    btnAbbrechen = Named<QPushButton>(QStringLiteral("btnAbbrechen"), QStringLiteral("Abbrechen"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Anzahl der einzufügenden Kopien")), 0, 0);
    layout->addWidget(edtAnzahl, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Start-Kanal")), 1, 0);
    layout->addWidget(edtStart, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Kanal-Versatz")), 2, 0);
    layout->addWidget(edtVersatz, 2, 1);
    layout->addWidget(btnOK, 3, 0);
    layout->addWidget(btnAbbrechen, 3, 1);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}
