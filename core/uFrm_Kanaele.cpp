#include "core/uFrm_Kanaele.h"

#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uFader.h"
#include "core/uFormUtils.h"
#include "core/uFrm_EditSymbol.h"
#include "core/uIconGlyph.h"
#include "core/uKanaeleModel.h"
#include "core/uKanal.h"
#include "core/uMod_Lichtpult.h"
#include "core/uPrompts.h"
#include "core/uStringIniFile.h"
#include "core/uTextCodec.h"

#include <QBrush>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

// The table model with the text colours of the channel kinds.
class TFrmKanaele::TViewModel : public TKanaeleModel {
public:
    using TKanaeleModel::TKanaeleModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::ForegroundRole)
            return TKanaeleModel::data(index, role);
        static const QColor Colors[] = {Qt::black, Qt::blue, QColor(0x80, 0, 0), QColor(0x80, 0, 0x80)};
        const int kind = TKanaeleModel::data(index, KindRole).toInt();
        return QBrush(Colors[std::clamp(kind, 0, 3)]);
    }
};

namespace {

QSpinBox* LevelSpin(const QString& name, int value)
{
    auto* s = Named<QSpinBox>(name);
    s->setRange(0, 255);
    s->setValue(value);
    return s;
}

} // namespace

TFrmKanaele::TFrmKanaele(TModuleLichtpult& pult, QWidget* parent) : QWidget(parent), FPult(pult)
{
    setObjectName(QStringLiteral("FrmKanaele"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    pnlEdit = Named<QWidget>(QStringLiteral("pnlEdit"), this);
    pnlEdit->setFixedHeight(69);
    auto* edit = new QGridLayout(pnlEdit);
    edtKanal = Named<QLineEdit>(QStringLiteral("edtKanal"));
    edtKanal->setReadOnly(true);
    edtKanal->setFrame(false);
    QFont big = edtKanal->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    edtKanal->setFont(big);
    edtKanal->setMaximumWidth(70);
    edtKanal->installEventFilter(this);
    edtName = Named<QLineEdit>(QStringLiteral("edtName"));
    cmbStatus = Named<QComboBox>(QStringLiteral("cmbStatus"));
    cmbStatus->addItems({QStringLiteral("HTP"), QStringLiteral("LTP"), QStringLiteral("Direkt"), QStringLiteral("Blinken"),
                         QStringLiteral("Flackern")});
    edtFlash = LevelSpin(QStringLiteral("edtFlash"), 255);
    edtBO = LevelSpin(QStringLiteral("edtBO"), 0);
    sbFlash = Named<TFlashButton>(QStringLiteral("sbFlash"));
    sbFlash->setFixedSize(25, 25);
    sbFlash->OnButton = [this](Qt::MouseButton b, bool down) { Guarded([&] { FlashButton(b, down); }); };
    tbFader = Named<QSlider>(QStringLiteral("tbFader"), Qt::Horizontal);
    tbFader->setRange(0, 255);
    tbFader->setTickInterval(64);
    tbFader->setTickPosition(QSlider::TicksBelow);
    lblDMX = Named<QLabel>(QStringLiteral("lblDMX"));
    edit->addWidget(edtKanal, 0, 0, 2, 1);
    const char* const captions[] = {"Name", "Status", "Flash-Pegel", "Blackout"};
    QWidget* fields[] = {edtName, cmbStatus, edtFlash, edtBO};
    for (int i = 0; i < 4; ++i) {
        edit->addWidget(new QLabel(QString::fromUtf8(captions[i])), 0, 1 + i);
        edit->addWidget(fields[i], 1, 1 + i);
    }
    edit->addWidget(sbFlash, 1, 5);
    edit->addWidget(tbFader, 1, 6);
    edit->addWidget(lblDMX, 0, 6);
    layout->addWidget(pnlEdit);

    FModel = new TViewModel(pult, this);
    tvKanaele = Named<QTableView>(QStringLiteral("tvKanaele"), this);
    tvKanaele->setModel(FModel);
    tvKanaele->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvKanaele->setSelectionMode(QAbstractItemView::SingleSelection);
    tvKanaele->verticalHeader()->hide();
    tvKanaele->verticalHeader()->setDefaultSectionSize(tvKanaele->fontMetrics().height() + 4);
    tvKanaele->horizontalHeader()->setStretchLastSection(true);
    tvKanaele->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {40, 160, 30, 40, 45, 45, 45, 45};
    for (int c = 0; c < 8; ++c)
        tvKanaele->setColumnWidth(c, widths[c]);
    tvKanaele->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(tvKanaele, 1);

    PopupMenu1 = Named<QMenu>(QStringLiteral("PopupMenu1"), this);
    QAction* exp = PopupMenu1->addAction(QStringLiteral("Kanäle &exportieren"));
    exp->setObjectName(QStringLiteral("Kanaeleexportieren1"));
    QAction* imp = PopupMenu1->addAction(QStringLiteral("Kanäle &importieren"));
    imp->setObjectName(QStringLiteral("Kanaeleimportieren1"));
    connect(exp, &QAction::triggered, this, [this] { ShowExportDialog(); });
    connect(imp, &QAction::triggered, this, [this] { ShowImportDialog(); });
    connect(tvKanaele, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(tvKanaele->viewport()->mapToGlobal(p)); });

    connect(tvKanaele->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (current.isValid() && TKanaeleModel::NrOf(current.row()) != FSelected) {
            FSelected = TKanaeleModel::NrOf(current.row());
            ShowSelected();
        }
    });
    connect(edtName, &QLineEdit::textEdited, this, [this](const QString& s) { Edit(TKanaeleModel::colName, s); });
    connect(cmbStatus, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0)
            Edit(TKanaeleModel::colStatus, i);
    });
    connect(edtFlash, &QSpinBox::valueChanged, this, [this](int v) { Edit(TKanaeleModel::colFlash, v); });
    connect(edtBO, &QSpinBox::valueChanged, this, [this](int v) { Edit(TKanaeleModel::colBlackout, v); });
    connect(tbFader, &QSlider::valueChanged, this, [this](int v) { Edit(TKanaeleModel::colFader, v); });

    TLichtpultSignals* s = pult.Signals();
    connect(s, &TLichtpultSignals::focusChannelListRequested, this, [this] { SelectKanalView(); });
    connect(s, &TLichtpultSignals::tickDone, this, [this] {
        if (FModel->Visible())
            RefreshPanel();
    });
    connect(s, &TLichtpultSignals::kanalChanged, this, [this](int nr, int code) {
        if (nr == FSelected && code != kcPegel && code != kcOutput && FModel->Visible())
            ShowSelected();
    });
    ShowSelected();
}

void TFrmKanaele::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FModel->SetVisible(true);
}

void TFrmKanaele::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    FModel->SetVisible(false);
}

void TFrmKanaele::SelectKanal(int nr)
{
    FSelected = std::clamp(nr, 1, MaxKanal);
    const QModelIndex i = FModel->index(TKanaeleModel::RowOf(FSelected), 0);
    tvKanaele->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tvKanaele->scrollTo(i);
    ShowSelected();
}

void TFrmKanaele::SelectKanalView()
{
    SelectKanal(FSelected);
    edtKanal->setFocus();
}

void TFrmKanaele::ShowSelected()
{
    TKanal* k = nullptr;
    if (!FPult.FindKanal(FSelected, k))
        return;
    FUpdating = true;
    edtKanal->setText(k->NrText());
    if (edtName->text() != k->Name)
        edtName->setText(k->Name);
    cmbStatus->setCurrentIndex(k->Modus >= kmHTP && k->Modus <= kmFlackern ? k->Modus : -1);
    edtFlash->setValue(k->FlashPegel);
    edtBO->setValue(k->BlackoutPegel);
    lblDMX->setText(k->PatchText);
    SetButtonGlyph(sbFlash, k->Icon, k->HF, k->VF);
    FUpdating = false;
    RefreshPanel();
}

void TFrmKanaele::RefreshPanel()
{
    TKanal* k = nullptr;
    if (!FPult.FindKanal(FSelected, k))
        return;
    FUpdating = true;
    tbFader->setValue(std::clamp(k->Pegel, 0, 255));
    tbFader->setToolTip(QString::number(k->Output));
    FUpdating = false;
}

void TFrmKanaele::Edit(int column, const QVariant& value)
{
    if (FUpdating)
        return;
    Guarded([&] { FModel->setData(FModel->index(TKanaeleModel::RowOf(FSelected), column), value); });
}

void TFrmKanaele::FlashButton(Qt::MouseButton button, bool down)
{
    TKanal* k = nullptr;
    if (!FPult.FindKanal(FSelected, k))
        return;
    if (button == Qt::LeftButton) {
        if (down) {
            FFlashSaved = k->Pegel;
            k->SetPegel(k->FlashPegel);
        } else {
            k->SetPegel(FFlashSaved);
        }
    } else if (button == Qt::RightButton && down) {
        if (!EditKanalSymbol(*k))
            return;
        ShowSelected();
    }
    FModel->Flush();
}

bool TFrmKanaele::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != edtKanal || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false;
    int delta = 0;
    switch (key->key()) {
    case Qt::Key_PageUp: delta = -16; break;
    case Qt::Key_PageDown: delta = 16; break;
    case Qt::Key_Left: case Qt::Key_Up: delta = -1; break;
    case Qt::Key_Right: case Qt::Key_Down: delta = 1; break;
    default: break;
    }
    if (delta != 0)
        SelectKanal(FSelected + delta);
    return true;   // every other key is swallowed
}

void TFrmKanaele::ShowExportDialog()
{
    TFrmExportKanaele dialog(FPult);
    RunDialog(dialog);
}

void TFrmKanaele::ShowImportDialog()
{
    TFrmImportKanaele dialog(FPult);
    RunDialog(dialog);
}

// ---------------------------------------------------------------------------

namespace {

TFileDialogOptions TextDialog()
{
    TFileDialogOptions o;
    o.Filter = QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)");
    o.DefaultSuffix = QStringLiteral("txt");
    return o;
}

QSpinBox* RangeSpin(const QString& name, int value)
{
    auto* s = Named<QSpinBox>(name);
    s->setRange(ErsterKonsolenKanal, LetzterKonsolenKanal);
    s->setValue(value);
    return s;
}

} // namespace

TFrmKanaeleRange::TFrmKanaeleRange(TModuleLichtpult& pult, bool import) : FPult(pult)
{
    setObjectName(import ? QStringLiteral("FrmImportKanaele") : QStringLiteral("FrmExportKanaele"));
    setWindowTitle(import ? QStringLiteral("Kanäle importieren") : QStringLiteral("Kanäle exportieren"));
    edtVon = RangeSpin(QStringLiteral("edtVon"), 1);
    edtBis = RangeSpin(QStringLiteral("edtBis"), import ? LetzterKonsolenKanal : 12);
    btnDatei = Named<QPushButton>(QStringLiteral("btnDatei"), import ? QStringLiteral("Importieren aus einer &Datei ...")
                                                                     : QStringLiteral("Exportieren in eine &Datei ..."));
    btnZwischenablage = Named<QPushButton>(QStringLiteral("btnZwischenablage"),
                                           import ? QStringLiteral("Importieren aus der &Zwischenablage")
                                                  : QStringLiteral("Exportieren in die &Zwischenablage"));
    btnAbbrechen = Named<QPushButton>(QStringLiteral("btnAbbrechen"), QStringLiteral("Abbrechen"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("von Kanal")), 0, 0);
    layout->addWidget(edtVon, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("bis Kanal")), 1, 0);
    layout->addWidget(edtBis, 1, 1);
    layout->addWidget(btnDatei, 2, 0, 1, 2);
    layout->addWidget(btnZwischenablage, 3, 0, 1, 2);
    layout->addWidget(btnAbbrechen, 4, 0, 1, 2);
    connect(btnDatei, &QPushButton::clicked, this, [this, import] {
        Guarded([&] { Datei(import); });
        accept();
    });
    connect(btnZwischenablage, &QPushButton::clicked, this, [this, import] {
        Guarded([&] { Zwischenablage(import); });
        accept();
    });
    connect(btnAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmKanaeleRange::Datei(bool import)
{
    if (import) {
        const QString name = Prompts().OpenFileName(TextDialog(), QString());
        if (name.isEmpty())
            return;
        QString text;
        if (!ReadTextFile(name, text))
            throw EPvError(QStringLiteral("Datei kann nicht gelesen werden: ") + name);
        ImportKanaeleText(FPult, edtVon->value(), edtBis->value(), text);
        return;
    }
    const QString name = Prompts().SaveFileName(TextDialog(), QString());
    if (name.isEmpty() || !ConfirmOverwrite(name))
        return;
    WriteTextFileAtomic(name, ExportKanaeleLines(FPult, edtVon->value(), edtBis->value()));
}

void TFrmKanaeleRange::Zwischenablage(bool import)
{
    if (import)
        ImportKanaeleText(FPult, edtVon->value(), edtBis->value(), QGuiApplication::clipboard()->text());
    else
        QGuiApplication::clipboard()->setText(JoinLinesCrLf(ExportKanaeleLines(FPult, edtVon->value(), edtBis->value())));
}
