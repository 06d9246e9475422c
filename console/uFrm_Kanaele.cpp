#include "console/uFrm_Kanaele.h"

#include "console/uFader.h"
#include "console/uFrm_EditSymbol.h"
#include "console/uIconGlyph.h"
#include "console/uKanaeleModel.h"
#include "console/uKanal.h"
#include "console/uKanalListBox.h"
#include "console/uMod_Lichtpult.h"
#include "console/uTrackBar.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"
#include "framework/uPrompts.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

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
    tbFader = Named<TTrackBar>(QStringLiteral("tbFader"), Qt::Horizontal);
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

    FModel = new TKanaeleModel(pult, this);
    pnlGrid = Named<QWidget>(QStringLiteral("pnlGrid"), this);
    sbKanaele = Named<QScrollBar>(QStringLiteral("sbKanaele"), Qt::Vertical);
    pbKanaele = new TKanalListBox(*sbKanaele, 0, QStringLiteral("DMX"), [this](int nr, TKanalListZeile& line) {
        if (nr < 1 || nr > MaxKanal)
            return false;
        const int row = TKanaeleModel::RowOf(nr);
        for (int c = 0; c < TKanalListZeile::Columns; ++c)
            line.Texts[static_cast<std::size_t>(c)] = FModel->index(row, c).data().toString();
        line.Kind = FModel->index(row, 0).data(TKanaeleModel::KindRole).toInt();
        return true;
    });
    pbKanaele->setObjectName(QStringLiteral("pbKanaele"));
    pbKanaele->SelectedNr = FSelected;
    pbKanaele->OnResize = [this] { UpdateScrollRange(); };
    pbKanaele->OnPress = [this](int line, Qt::MouseButton) {
        TKanal* k = nullptr;
        if (!FPult.FindKanal(pbKanaele->NrOfLine(line), k))
            return;
        FSelected = k->Nr;
        pbKanaele->SelectedNr = FSelected;
        pbKanaele->update();
        SelectKanalView();
    };
    auto* grid = new QHBoxLayout(pnlGrid);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(pbKanaele, 1);
    grid->addWidget(sbKanaele);
    layout->addWidget(pnlGrid, 1);
    // The lines the model reports as changed are painted again.
    connect(FModel, &QAbstractItemModel::dataChanged, pbKanaele,
            [this](const QModelIndex& from, const QModelIndex& to) {
                pbKanaele->UpdateNrs(TKanaeleModel::NrOf(from.row()), TKanaeleModel::NrOf(to.row()));
            });

    PopupMenu1 = Named<QMenu>(QStringLiteral("PopupMenu1"), this);
    QAction* exp = PopupMenu1->addAction(QStringLiteral("Kanäle &exportieren"));
    exp->setObjectName(QStringLiteral("Kanaeleexportieren1"));
    QAction* imp = PopupMenu1->addAction(QStringLiteral("Kanäle &importieren"));
    imp->setObjectName(QStringLiteral("Kanaeleimportieren1"));
    connect(exp, &QAction::triggered, this, [this] { ShowExportDialog(); });
    connect(imp, &QAction::triggered, this, [this] { ShowImportDialog(); });
    pbKanaele->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pbKanaele, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(pbKanaele->mapToGlobal(p)); });
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
    pbKanaele->SelectedNr = FSelected;
    // Keep the selected line away from the list's ends: near the bottom it moves
    // up to a third from the bottom, near the top down to the middle.
    const int visible = pbKanaele->VisibleRows();
    int top = sbKanaele->value();
    if (top + visible - 4 < FSelected)
        top = FSelected - (2 * visible) / 3;
    if (top + 4 > FSelected)
        top = FSelected - visible / 2;
    sbKanaele->setValue(top);   // the scroll bar keeps it within its range
    pbKanaele->update();
    ShowSelected();
}

void TFrmKanaele::UpdateScrollRange()
{
    // At the end of the range the last channel is on the last line that the list
    // shows whole, not on one cut off by the bottom edge.
    const int whole = pbKanaele->WholeRows();
    sbKanaele->setRange(0, std::max(0, MaxKanal - whole));
    sbKanaele->setPageStep(std::max(1, whole));
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
    tbFader->SetSelection(0, k->Output);
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
