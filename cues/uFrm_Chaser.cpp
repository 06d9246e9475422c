#include "cues/uFrm_Chaser.h"

#include "console/uKanal.h"
#include "console/uKanalListBox.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uColors.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"
#include "framework/uPrompts.h"
#include "framework/uUtils.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

TFrmChaser* FrmChaser = nullptr;

namespace {

const QColor ButtonFace(240, 240, 240);

// A fixed cell of a grid: the label column and the rows above the values.
QVariant FixedBackground()
{
    return QBrush(ButtonFace);
}

} // namespace

// ---- the grid models -------------------------------------------------------------

TChaserGridModel::TChaserGridModel(TChaserEditor& editor, QObject* parent) : TGridModel(parent), FEditor(editor)
{
    Reset();
}

QVariant TChaserGridModel::data(const QModelIndex& index, int role) const
{
    const int col = index.column();
    const int row = index.row();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (col == 0 && row >= 3)
            return QString::number(row - 2);
        return FEditor.Cell(col, row);
    }
    if (role == Qt::BackgroundRole && (col == 0 || row < 3))
        return FixedBackground();
    return {};
}

bool TChaserGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || index.column() < 1 || index.row() < 3)
        return false;
    FEditor.EditCell(index.column(), index.row(), value.toString());
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags TChaserGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() >= 1 && index.row() >= 3)
        f |= Qt::ItemIsEditable;
    return f;
}

void TChaserGridModel::Reset()
{
    TGridModel::Reset(FEditor.RowCount(), FEditor.ColumnCount());
}

void TChaserGridModel::StepsChanged()
{
    ResizeRows(FEditor.RowCount());
}

void TChaserGridModel::CellChanged(int col, int row)
{
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i);
}

TLedGridModel::TLedGridModel(TChaserEditor& editor, QObject* parent) : TGridModel(parent), FEditor(editor)
{
    Reset();
}

QVariant TLedGridModel::data(const QModelIndex& index, int role) const
{
    const int col = index.column();
    const int row = index.row();
    const bool fixed = col == 0 || row == 0;
    int colour = -1;
    if (!fixed && !TryDecimalToInt(FEditor.LedCell(col, row), colour))
        colour = -1;
    switch (role) {
    case Qt::DisplayRole:
        if (col == 0)
            return row > 0 ? QString::number(row) : QString();
        if (row == 0)
            return FEditor.LedHeader(col);
        return colour >= 0 ? QString() : QStringLiteral("?");
    case Qt::BackgroundRole:
        if (fixed)
            return FixedBackground();
        return QBrush(colour >= 0 ? ColorFromValue(colour) : QColor(Qt::white));
    default:
        return {};
    }
}

void TLedGridModel::Reset()
{
    TGridModel::Reset(FEditor.StepCount + 1, FEditor.LedColumnCount());
}

void TLedGridModel::StepsChanged()
{
    ResizeRows(FEditor.StepCount + 1);
}

// ---- the form --------------------------------------------------------------------

namespace {

// Calls a handler for some events of a widget.
class TEventHook : public QObject {
public:
    TEventHook(QObject* target, std::function<bool(QEvent*)> handler) : QObject(target), FHandler(std::move(handler))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override { return FHandler(e); }

private:
    std::function<bool(QEvent*)> FHandler;
};

} // namespace

TFrmChaser::TFrmChaser(TModuleLichtpult& console, const QString& templateFile, QWidget* parent)
    : QWidget(parent), FConsole(console), FEditor(console), FTemplateFile(templateFile)
{
    setObjectName(QStringLiteral("FrmChaser"));
    FrmChaser = this;
    PageControl1 = Named<QTabWidget>(QStringLiteral("PageControl1"));
    tabListe = Named<QWidget>(QStringLiteral("tabListe"));
    tabDefinition = Named<QWidget>(QStringLiteral("tabDefinition"));
    tabLedChaser = Named<QWidget>(QStringLiteral("tabLedChaser"));
    PageControl1->addTab(tabListe, QStringLiteral("Liste"));
    PageControl1->addTab(tabDefinition, QStringLiteral("Definition"));
    PageControl1->addTab(tabLedChaser, QStringLiteral("LED-Chaser"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);

    BuildListe();
    BuildDefinition();
    BuildLedChaser();

    PageControl1->setCurrentWidget(tabLedChaser);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == tabLedChaser)
            RebuildLedGrid();
    });
    if (console.Signals())
        connect(console.Signals(), &TLichtpultSignals::tickDone, this, [this] { RefreshChannelList(); });
    LoadTemplates();
}

TFrmChaser::~TFrmChaser()
{
    if (FrmChaser == this)
        FrmChaser = nullptr;
}

void TFrmChaser::BuildListe()
{
    auto* pnlListe = Named<QWidget>(QStringLiteral("pnlListe"));
    sbKanaele = Named<QScrollBar>(QStringLiteral("sbKanaele"), Qt::Vertical);
    sbKanaele->setRange(0, 50);   // chaser 60 in the tenth line
    pbKanaele = new TKanalListBox(*sbKanaele, LetzterGruppenKanal, QStringLiteral("Schritt"),
                                  [this](int nr, TKanalListZeile& line) {
                                      TKanal* k = nullptr;
                                      if (!FConsole.FindKanal(nr, k))
                                          return false;
                                      line.Kind = k->Kind;
                                      line.Texts = {k->NrText(),
                                                    k->Name,
                                                    k->ModusText(),
                                                    k->IconText(),
                                                    k->FlashText(),
                                                    k->BlackoutText(),
                                                    k->PegelText(),
                                                    k->OutputText(),
                                                    k->StepText()};
                                      return true;
                                  });
    pbKanaele->setObjectName(QStringLiteral("pbKanaele"));
    auto* row = new QHBoxLayout(pnlListe);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(pbKanaele, 1);
    row->addWidget(sbKanaele);
    (new QVBoxLayout(tabListe))->addWidget(pnlListe);
    pbKanaele->OnPress = [this](int line, Qt::MouseButton) { SelectListLine(line); };
    pbKanaele->OnDoubleClick = [this] { PageControl1->setCurrentWidget(tabDefinition); };
}

void TFrmChaser::BuildDefinition()
{
    edtChaser = Named<QSpinBox>(QStringLiteral("edtChaser"));
    edtChaser->setRange(0, ChaserAnzahl);
    edtName = Named<QLineEdit>(QStringLiteral("edtName"));
    cbFadeModus = Named<QComboBox>(QStringLiteral("cbFadeModus"));
    cbFadeModus->addItems({QStringLiteral("-"), QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("up/down")});
    lblTakt = Named<QLabel>(QStringLiteral("lblTakt"), QStringLiteral("Takt 1"));
    tbTakt = Named<QSlider>(QStringLiteral("tbTakt"), Qt::Horizontal);
    tbTakt->setRange(ChaserTaktMin, ChaserTaktMax);
    btnNullszene = Named<QPushButton>(QStringLiteral("btnNullszene"), QStringLiteral("Nullszene speichern"));
    edtSchritte = Named<QSpinBox>(QStringLiteral("edtSchritte"));
    edtSchritte->setRange(ChaserSchritteMin, ChaserSchritteMax);
    btnSchrittSpeichern = Named<QPushButton>(QStringLiteral("btnSchrittSpeichern"), QStringLiteral("Schritt speichern"));
    btnAufsPult = Named<QPushButton>(QStringLiteral("btnAufsPult"), QStringLiteral("Schritt auf's Pult"));
    FGridModel = new TChaserGridModel(FEditor, this);
    sgChaser = MakeGridView(QStringLiteral("sgChaser"), FGridModel);
    // 50 pixels, or what the labels of the fixed column need in this font.
    sgChaser->setColumnWidth(0, std::max(50, static_cast<QAbstractItemView*>(sgChaser)->sizeHintForColumn(0)));

    auto* Label2 = Named<QLabel>(QStringLiteral("Label2"), QStringLiteral("Name"));
    auto* Label3 = Named<QLabel>(QStringLiteral("Label3"), QStringLiteral("Fade"));
    auto* Label5 = Named<QLabel>(QStringLiteral("Label5"), QStringLiteral("Schritte"));
    FDefinitionControls = {Label2, edtName, cbFadeModus, Label3, lblTakt, tbTakt, btnNullszene,
                           Label5, edtSchritte, btnSchrittSpeichern, btnAufsPult};
    // The step time is set with the mouse: a pixel or more for each of the 300 values.
    tbTakt->setMinimumWidth(300);
    lblTakt->setMinimumWidth(lblTakt->fontMetrics().horizontalAdvance(QStringLiteral("Takt 300")));

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Chaser")));
    top->addWidget(edtChaser);
    top->addSpacing(8);
    top->addWidget(Label2);
    top->addWidget(edtName, 1);
    top->addSpacing(8);
    top->addWidget(Label3);
    top->addWidget(cbFadeModus);
    top->addSpacing(8);
    top->addWidget(Label5);
    top->addWidget(edtSchritte);
    auto* steps = new QHBoxLayout;
    steps->addWidget(lblTakt);
    steps->addWidget(tbTakt, 1);
    steps->addSpacing(8);
    steps->addWidget(btnNullszene);
    steps->addWidget(btnSchrittSpeichern);
    steps->addWidget(btnAufsPult);
    auto* column = new QVBoxLayout(tabDefinition);
    column->addLayout(top);
    column->addLayout(steps);
    column->addWidget(sgChaser, 1);

    connect(edtChaser, &QSpinBox::valueChanged, this, [this] { LoadChaser(); });
    connect(edtName, &QLineEdit::textChanged, this, [this](const QString& s) {
        if (!FFilling)
            FEditor.SetName(s);
    });
    connect(cbFadeModus, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!FFilling)
            FEditor.SetFadeModus(i);
    });
    connect(tbTakt, &QSlider::valueChanged, this, [this](int v) {
        lblTakt->setText(QStringLiteral("Takt ") + QString::number(v));
        if (!FFilling)
            FEditor.SetTakt(v);
    });
    connect(edtSchritte, &QSpinBox::valueChanged, this, [this](int n) { ApplySteps(n); });
    connect(btnNullszene, &QPushButton::clicked, this, [this] {
        FEditor.StoreNullszene();
        FGridModel->Reset();
    });
    connect(btnSchrittSpeichern, &QPushButton::clicked, this, [this] {
        const int row = sgChaser->currentIndex().row();
        FEditor.StoreStep(row);
        if (row >= 0)
            emit FGridModel->dataChanged(FGridModel->index(row, 0), FGridModel->index(row, FEditor.ColumnCount() - 1));
        FEditor.GridToSequence();
    });
    connect(btnAufsPult, &QPushButton::clicked, this, [this] { FEditor.StepToConsole(sgChaser->currentIndex().row()); });
    connect(sgChaser->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { FEditor.GridToSequence(); });
    new TEventHook(sgChaser->viewport(), [this](QEvent* e) {
        // The second of two quick presses comes as a double click: a press all the same.
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
            auto* m = static_cast<QMouseEvent*>(e);
            sgChaserMousePress(sgChaser->indexAt(m->position().toPoint()), m->button());
        }
        return false;
    });
    new TEventHook(sgChaser, [this](QEvent* e) {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                FEditor.GridToSequence();
        }
        return false;
    });
}

void TFrmChaser::BuildLedChaser()
{
    edtSpalten = Named<QLineEdit>(QStringLiteral("edtSpalten"));
    edtSpalten->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9,]*")), edtSpalten));
    edtSchritteLED = Named<QSpinBox>(QStringLiteral("edtSchritteLED"));
    edtSchritteLED->setRange(ChaserSchritteMin, ChaserSchritteMax);
    FLedModel = new TLedGridModel(FEditor, this);
    sgLED = MakeGridView(QStringLiteral("sgLED"), FLedModel);
    sgLED->horizontalHeader()->setDefaultSectionSize(40);
    sgLED->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cmbVorlagen = Named<QComboBox>(QStringLiteral("cmbVorlagen"));
    sgVorlagen = Named<QTableWidget>(QStringLiteral("sgVorlagen"), LedFarben + 1, LedKanaele + 1);
    sgVorlagen->horizontalHeader()->hide();
    sgVorlagen->verticalHeader()->hide();
    sgVorlagen->horizontalHeader()->setDefaultSectionSize(30);
    sgVorlagen->verticalHeader()->setDefaultSectionSize(18);
    sgVorlagen->setContextMenuPolicy(Qt::CustomContextMenu);
    pnlColor = Named<QFrame>(QStringLiteral("pnlColor"));
    pnlColor->setMinimumSize(40, 20);
    pnlColor->setAutoFillBackground(true);
    btnSave = Named<QPushButton>(QStringLiteral("btnSave"), QStringLiteral("Speichern"));
    popVorlage = Named<QMenu>(QStringLiteral("popVorlage"), this);
    auto add = [this](const QString& name, const QString& caption, void (TFrmChaser::*slot)()) {
        QAction* a = popVorlage->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
    };
    add(QStringLiteral("NeueVorlage1"), QStringLiteral("&Neue Vorlage"), &TFrmChaser::NeueVorlage);
    add(QStringLiteral("NamederVorlagendern1"), QStringLiteral("Name der Vorlage &ändern"), &TFrmChaser::VorlageUmbenennen);
    add(QStringLiteral("FarbederZeilendern1"), QStringLiteral("&Farbe der Zeile ändern"), &TFrmChaser::FarbeAendern);

    // The LEDs of the chaser and its step count.
    auto* gbChaser = Named<QGroupBox>(QStringLiteral("gbChaser"), QStringLiteral(" Chaser: "));
    auto* lblSpalten = Named<QLabel>(QStringLiteral("lblSpalten"), QStringLiteral("LEDs (Startkanäle kommasepariert)"));
    lblSpalten->setBuddy(edtSpalten);
    auto* chaser = new QGridLayout(gbChaser);
    chaser->addWidget(lblSpalten, 0, 0);
    chaser->addWidget(edtSpalten, 1, 0);
    chaser->addWidget(edtSchritteLED, 1, 1);
    chaser->setColumnStretch(0, 1);
    // The colour templates: all 9 x 9 cells of the template grid in sight.
    sgVorlagen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgVorlagen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgVorlagen->setFixedSize(30 * (LedKanaele + 1) + 2 * sgVorlagen->frameWidth(),
                             18 * (LedFarben + 1) + 2 * sgVorlagen->frameWidth());
    auto* gbFarben = Named<QGroupBox>(QStringLiteral("gbFarben"), QStringLiteral(" Farben: "));
    auto* farben = new QGridLayout(gbFarben);
    farben->addWidget(cmbVorlagen, 0, 0);
    farben->addWidget(btnSave, 0, 1);
    farben->addWidget(sgVorlagen, 1, 0, 1, 2);
    farben->addWidget(pnlColor, 2, 0, 1, 2);
    auto* left = new QVBoxLayout;
    left->addWidget(gbChaser);
    left->addWidget(sgLED, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(gbFarben);
    right->addStretch(1);
    auto* row = new QHBoxLayout(tabLedChaser);
    row->addLayout(left, 1);
    row->addLayout(right);

    FFilling = true;
    for (int c = 1; c <= LedKanaele; ++c) {
        auto* label = new QTableWidgetItem(QString::number(c));
        label->setFlags(Qt::ItemIsEnabled);
        sgVorlagen->setItem(0, c, label);
    }
    FFilling = false;

    connect(edtSchritteLED, &QSpinBox::valueChanged, this, [this](int n) { ApplySteps(n); });
    new TEventHook(edtSpalten, [this](QEvent* e) {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                FEditor.SetLedDefs(edtSpalten->text());
                RebuildLedGrid();
            }
        }
        return false;
    });
    connect(sgLED, &QTableView::clicked, this, [this](const QModelIndex& i) { sgLEDClick(i); });
    connect(cmbVorlagen, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!FFilling)
            ChooseTemplate(i);
    });
    connect(sgVorlagen, &QTableWidget::cellChanged, this, [this](int r, int c) { sgVorlagenChanged(r, c); });
    connect(sgVorlagen, &QTableWidget::cellClicked, this, [this](int r, int) {
        if (!FCurrentTemplate || r < 1 || r > LedFarben)
            return;
        FSelectedRow = r;
        QPalette pal = pnlColor->palette();
        pal.setColor(QPalette::Window, ColorFromValue(FCurrentTemplate->Color[static_cast<std::size_t>(r - 1)]));
        pnlColor->setPalette(pal);
    });
    connect(sgVorlagen, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { popVorlage->popup(sgVorlagen->viewport()->mapToGlobal(p)); });
    connect(btnSave, &QPushButton::clicked, this, [this] { SaveTemplates(); });
}

void TFrmChaser::RefreshChannelList()
{
    if (pbKanaele->isVisible())
        pbKanaele->update();
}

void TFrmChaser::SelectListLine(int line)
{
    edtChaser->setValue(line + sbKanaele->value());
    pbKanaele->SelectedNr = LetzterGruppenKanal + edtChaser->value();
    pbKanaele->update();
}

void TFrmChaser::LoadChaser()
{
    FEditor.LoadChaser(edtChaser->value());
    for (QWidget* w : FDefinitionControls)
        w->setVisible(FEditor.DefinitionVisible());
    if (TKanal* k = FEditor.ChaserKanal) {
        FFilling = true;
        edtName->setText(k->Name);
        cbFadeModus->setCurrentIndex(k->FadeModus >= 0 && k->FadeModus <= 3 ? k->FadeModus : -1);
        tbTakt->setValue(k->Takt);
        lblTakt->setText(QStringLiteral("Takt ") + QString::number(tbTakt->value()));
        edtSpalten->setText(k->LedDefs);
        FFilling = false;
    }
    const QSignalBlocker a(edtSchritte), b(edtSchritteLED);
    edtSchritte->setValue(FEditor.StepCount);
    edtSchritteLED->setValue(FEditor.StepCount);
    FGridModel->Reset();
    FLedModel->Reset();
}

void TFrmChaser::ApplySteps(int n)
{
    FEditor.SetSteps(n);
    const QSignalBlocker a(edtSchritte), b(edtSchritteLED);
    edtSchritte->setValue(FEditor.StepCount);
    edtSchritteLED->setValue(FEditor.StepCount);
    FGridModel->StepsChanged();
    FLedModel->StepsChanged();
}

void TFrmChaser::sgChaserMousePress(const QModelIndex& index, Qt::MouseButton button)
{
    if (button == Qt::RightButton && index.isValid() && FEditor.ToggleCell(index.column(), index.row()))
        FGridModel->CellChanged(index.column(), index.row());
    FEditor.GridToSequence();
}

void TFrmChaser::sgLEDClick(const QModelIndex& index)
{
    if (!index.isValid() || index.column() < 1 || index.row() < 1 || !FCurrentTemplate || FSelectedRow < 1)
        return;
    FEditor.ApplyTemplateRow(index.column(), index.row(), *FCurrentTemplate, FSelectedRow);
    emit FLedModel->dataChanged(index, index);
    const int row = index.row() + 2;
    emit FGridModel->dataChanged(FGridModel->index(row, 1), FGridModel->index(row, FEditor.ColumnCount() - 1));
}

void TFrmChaser::RebuildLedGrid()
{
    FEditor.RebuildLedGrid(FCurrentTemplate);
    FLedModel->Reset();
}

// ---- templates ---------------------------------------------------------------------

void TFrmChaser::LoadTemplates()
{
    FFilling = true;
    cmbVorlagen->clear();
    FCurrentTemplate = nullptr;
    FVorlagen.LoadFromFile(FTemplateFile);
    for (const auto& v : FVorlagen.Items)
        cmbVorlagen->addItem(v->Name);
    FFilling = false;
    if (FVorlagen.Count() > 0) {
        cmbVorlagen->setCurrentIndex(0);
        ChooseTemplate(0);
    } else {
        FillVorlagenGrid();
    }
}

void TFrmChaser::ChooseTemplate(int index)
{
    FCurrentTemplate = FVorlagen.Get(index);
    FillVorlagenGrid();
    RebuildLedGrid();
}

void TFrmChaser::FillVorlagenGrid()
{
    FFilling = true;
    for (int r = 1; r <= LedFarben; ++r) {
        auto* label = new QTableWidgetItem;
        label->setFlags(Qt::ItemIsEnabled);
        if (FCurrentTemplate)
            label->setBackground(ColorFromValue(FCurrentTemplate->Color[static_cast<std::size_t>(r - 1)]));
        sgVorlagen->setItem(r, 0, label);
        for (int c = 1; c <= LedKanaele; ++c) {
            QString text;
            if (FCurrentTemplate) {
                const int w = FCurrentTemplate->W[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)];
                if (w >= 0 && w <= 255)
                    text = QString::number(w);
            }
            sgVorlagen->setItem(r, c, new QTableWidgetItem(text));
        }
    }
    FFilling = false;
}

void TFrmChaser::sgVorlagenChanged(int row, int col)
{
    if (FFilling || !FCurrentTemplate || row < 1 || row > LedFarben || col < 1 || col > LedKanaele)
        return;
    const QTableWidgetItem* item = sgVorlagen->item(row, col);
    FCurrentTemplate->W[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(col - 1)] =
        StrToIntDef(item ? item->text() : QString(), -1);
}

void TFrmChaser::NeueVorlage()
{
    TLedVorlage& v = FVorlagen.Add();
    FFilling = true;
    cmbVorlagen->addItem(v.Name);
    cmbVorlagen->setCurrentIndex(cmbVorlagen->count() - 1);
    FFilling = false;
    ChooseTemplate(cmbVorlagen->count() - 1);
}

void TFrmChaser::VorlageUmbenennen()
{
    if (!FCurrentTemplate)
        return;
    QString name = FCurrentTemplate->Name;
    if (!Prompts().InputText(QStringLiteral("Vorlage umbenennen"), QStringLiteral("Neuer Name"), name))
        return;
    FCurrentTemplate->Name = name;
    cmbVorlagen->setItemText(cmbVorlagen->currentIndex(), name);
}

void TFrmChaser::FarbeAendern()
{
    const int row = sgVorlagen->currentRow();
    if (!FCurrentTemplate || row < 1 || row > LedFarben)
        return;
    int colour = FCurrentTemplate->Color[static_cast<std::size_t>(row - 1)];
    if (!Prompts().PickColor(colour))
        return;
    FCurrentTemplate->Color[static_cast<std::size_t>(row - 1)] = colour;
    if (row == FSelectedRow) {
        QPalette pal = pnlColor->palette();
        pal.setColor(QPalette::Window, ColorFromValue(colour));
        pnlColor->setPalette(pal);
    }
    FillVorlagenGrid();
}

void TFrmChaser::SaveTemplates()
{
    try {
        FVorlagen.SaveToFile(FTemplateFile);
    } catch (const EPvError& e) {
        // The templates stay as they are in the editor; the log keeps the failure.
        LogApplicationException(e.Message());
        Prompts().Info(e.Message());
    }
}
