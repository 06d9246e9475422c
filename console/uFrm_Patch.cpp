#include "console/uFrm_Patch.h"

#include "console/uFrm_KennEdit.h"
#include "console/uKanal.h"
#include "console/uKennlinie.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uNumberedWindows.h"
#include "framework/uUtils.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>

#include <algorithm>
#include <vector>

namespace {

const QColor Grey(0xC0, 0xC0, 0xC0);

// "99.6 %": the level over 2.56, so that full shows below 100.
QString LevelPercent(int level)
{
    return FormatFloat(level / 2.56, 1) + QStringLiteral(" %");
}

// The font of the cells: the largest, up to the window's own, in which every
// value, right-aligned 30 pixels from its letter's left edge, stays clear of it.
QFont CellFont(QFont font)
{
    const int start = QFontInfo(font).pixelSize();
    for (int px = start; px > 6; --px) {
        font.setPixelSize(px);
        const QFontMetrics fm(font);
        const int digit = fm.horizontalAdvance(QStringLiteral("8"));
        const int letter = std::max({fm.horizontalAdvance(u'D'), fm.horizontalAdvance(u'K'), fm.horizontalAdvance(u'I'),
                                     fm.horizontalAdvance(u'O')});
        if (letter + 3 * digit + 2 <= 30 && fm.horizontalAdvance(QStringLiteral("KL")) + 2 * digit + 2 <= 30)
            break;
    }
    return font;
}

// The grid of cells; paints straight from the patch entries.
class TPatchView : public QWidget {
public:
    explicit TPatchView(TFrmPatch& window) : FWindow(window)
    {
        setObjectName(QStringLiteral("pbPatch"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFont(CellFont(font()));
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override
    {
        const int n = FWindow.SlotAt(e->position().toPoint());
        if (n > 0)
            Guarded([&] { FWindow.SelectDmx(n); });
    }

private:
    TFrmPatch& FWindow;
};

void TPatchView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    const int h = FWindow.LineHeight();
    const int ascent = fontMetrics().ascent();
    const int first = FWindow.sbPatch->value();
    TModulePatch& module = FWindow.Module();
    static const QString Labels[] = {QStringLiteral("D"), QStringLiteral("K"), QStringLiteral("I"), QStringLiteral("O"),
                                     QStringLiteral("KL")};
    for (int r = 0; r < TFrmPatch::Rows; ++r) {
        for (int c = 0; c < TFrmPatch::Columns; ++c) {
            const int index = (first + r) * TFrmPatch::Columns + c;
            if (index >= DmxSlotCount)
                continue;
            const TPatch& e = module.Patches[size_t(index)];
            const QPoint o = FWindow.CellOrigin(r, c);
            const int values[] = {e.DmxKanal, e.Pultkanal, e.PegelIn, e.PegelOut, e.Kennlinie};
            const bool selected = index + 1 == FWindow.SelectedDmx();
            for (int k = 0; k < 5; ++k) {
                bool grey = (k == 4 && e.Kennlinie == 0) || (k > 0 && e.Pultkanal == 0) ||
                            (k == 1 && e.Pultkanal == e.DmxKanal);
                p.setPen(selected ? QColor(Qt::blue) : (grey ? Grey : QColor(Qt::black)));
                const int y = o.y() + h * k;
                p.drawText(o.x(), y + ascent, Labels[k]);
                p.drawText(QRect(o.x(), y, 30, h), Qt::AlignRight | Qt::AlignTop, QString::number(values[k]));
            }
        }
    }
}

using TWindows = TNumberedWindows<TFrmPatch, TModulePatch>;

const TWindows::TKind PatchWindowKind{
    .Menu = [] { return dmMenu ? dmMenu->Patch1 : nullptr; },
    .MenuClick = &TModulePatch::ShowPatchWindowClick,
    .Window0Placed = true,
};

QLabel* Caption(QGridLayout* grid, const QString& text, int row, int column)
{
    auto* label = new QLabel(text);
    grid->addWidget(label, row, column);
    return label;
}

} // namespace

void CreatePatchWindows(TModulePatch& module, QWidget* dockTarget)
{
    // Owned by the module's signals object: the windows go (and write their
    // positions) when the module goes.
    auto* windows = new TWindows(module, module.Signals(), dockTarget, PatchWindowKind);
    windows->Follow(module.Signals(), &TPatchSignals::windowOpened, &TPatchSignals::showWindowRequested);
    module.SetCurveEditor(&Tfrm_kenn_edit::EditCurve);
    if (module.PatchWindowCount() == 0)
        module.NewPatchWindow();
}

TFrmPatch* PatchWindow(int n)
{
    return TWindows::Find(n);
}

TFrmPatch::TFrmPatch(TModulePatch& module, int n) : QWidget(nullptr), FModule(module), FTag(n)
{
    setObjectName(n == 0 ? QStringLiteral("FrmPatch") : QStringLiteral("FrmPatch%1").arg(n));
    setWindowTitle(QStringLiteral("Patch %1").arg(n));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(900, 600);   // all seven rows of cells
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    pnlPatchEdit = Named<QWidget>(QStringLiteral("pnlPatchEdit"));
    pnlPatchEdit->setFixedHeight(73);
    // Hidden windows skip the refreshes: each showing catches up.
    pnlPatchEdit->installEventFilter(this);
    auto* grid = new QGridLayout(pnlPatchEdit);
    grid->setContentsMargins(8, 2, 8, 2);
    grid->setVerticalSpacing(0);
    Caption(grid, QStringLiteral("DMX-Kanal:"), 0, 0);
    Caption(grid, QStringLiteral("Eingangspegel: "), 1, 0);
    Caption(grid, QStringLiteral("Ausgangspegel:"), 2, 0);
    lblDMX = Named<QLabel>(QStringLiteral("lblDMX"));
    lblPegelIn = Named<QLabel>(QStringLiteral("lblPegelIn"));
    lblPegelOut = Named<QLabel>(QStringLiteral("lblPegelOut"));
    lblPegelInProz = Named<QLabel>(QStringLiteral("lblPegelInProz"));
    lblPegelOutProz = Named<QLabel>(QStringLiteral("lblPegelOutProz"));
    grid->addWidget(lblDMX, 0, 1);
    grid->addWidget(lblPegelIn, 1, 1);
    grid->addWidget(lblPegelOut, 2, 1);
    grid->addWidget(lblPegelInProz, 1, 2);
    grid->addWidget(lblPegelOutProz, 2, 2);
    Caption(grid, QStringLiteral("Pultkanal"), 0, 3);
    udPultkanal = Named<QSpinBox>(QStringLiteral("udPultkanal"));
    udPultkanal->setRange(0, PatchKanalMax);
    FEdit = udPultkanal->findChild<QLineEdit*>();
    FEdit->setObjectName(QStringLiteral("edtPultkanal"));
    FEdit->installEventFilter(this);
    grid->addWidget(udPultkanal, 1, 3);
    lblKanalname = Named<QLabel>(QStringLiteral("lblKanalname"));
    grid->addWidget(lblKanalname, 2, 3);
    Caption(grid, QStringLiteral("Kennlinie"), 0, 4);
    cmbKennlinie = Named<QComboBox>(QStringLiteral("cmbKennlinie"));
    cmbKennlinie->addItem(QStringLiteral("1:1 (linear)"));
    cmbKennlinie->setSizeAdjustPolicy(QComboBox::AdjustToContents);   // every curve name whole
    cmbKennlinie->installEventFilter(this);
    grid->addWidget(cmbKennlinie, 1, 4);
    QLabel* note = Caption(grid, QStringLiteral("Achtung: Patch wird im Projekt nicht mitgespeichert!"), 0, 5);
    QFont bold = note->font();
    bold.setBold(true);
    note->setFont(bold);
    lblDMXInit = Named<QLabel>(QStringLiteral("lblDMXInit"), module.DmxInitText);
    grid->addWidget(lblDMXInit, 1, 5);
    grid->setColumnStretch(5, 1);
    layout->addWidget(pnlPatchEdit);

    pnlPatchView = Named<QWidget>(QStringLiteral("pnlPatchView"));
    // The cells take all the height there is, also on a page that holds more.
    pnlPatchView->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    auto* viewLayout = new QGridLayout(pnlPatchView);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    viewLayout->setSpacing(0);
    pbPatch = new TPatchView(*this);
    sbPatch = Named<QScrollBar>(QStringLiteral("sbPatch"), Qt::Vertical);
    sbPatch->setRange(0, 41);
    sbPatch->setPageStep(Rows);
    auto* status = Named<QStatusBar>(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    lblStatusModified = Named<QLabel>(QStringLiteral("lblStatusModified"));
    lblStatusModified->setFixedWidth(100);
    lblStatusFile = Named<QLabel>(QStringLiteral("lblStatusFile"));
    status->addWidget(lblStatusModified);
    status->addWidget(lblStatusFile, 1);
    viewLayout->addWidget(pbPatch, 0, 0);
    viewLayout->addWidget(sbPatch, 0, 1);
    viewLayout->addWidget(status, 1, 0, 1, 2);
    viewLayout->setRowStretch(0, 1);
    layout->addWidget(pnlPatchView, 1);

    connect(sbPatch, &QScrollBar::valueChanged, pbPatch, qOverload<>(&QWidget::update));
    connect(udPultkanal, &QSpinBox::valueChanged, this, [this] {
        if (!FUpdating)
            Guarded([this] { ApplyEdit(); });
    });
    connect(cmbKennlinie, &QComboBox::currentIndexChanged, this, [this] {
        if (!FUpdating)
            Guarded([this] { ApplyEdit(); });
    });
    TPatchSignals* s = module.Signals();
    connect(s, &TPatchSignals::frameComputed, this, &TFrmPatch::RepaintPatchView);
    connect(s, &TPatchSignals::assignmentsChanged, this, [this] { Guarded([this] { RefreshPatchEditor(); }); });
    connect(s, &TPatchSignals::curvesChanged, this, [this] { Guarded([this] { RefreshPatchEditor(); }); });
    connect(s, &TPatchSignals::statusTextChanged, lblDMXInit, &QLabel::setText);

    SelectDmx(1);
}

TFrmPatch::~TFrmPatch()
{
    // The docked panels are this window's, wherever they are shown.
    delete FDockedEdit.data();
    delete FDockedView.data();
}

void TFrmPatch::Dock(QWidget* target)
{
    if (!target)
        return;
    // The main window shows the plug-in's status text itself: this window's
    // label stays behind, so the page holds one label of that name.
    lblDMXInit->setParent(this);
    lblDMXInit->hide();
    auto* box = qobject_cast<QBoxLayout*>(target->layout());
    if (!box) {
        DockInto(pnlPatchEdit, target);
        DockInto(pnlPatchView, target);
    } else {
        box->insertWidget(0, pnlPatchEdit);
        box->insertWidget(1, pnlPatchView, 100);
        pnlPatchEdit->show();
        pnlPatchView->show();
    }
    FDockedEdit = pnlPatchEdit;
    FDockedView = pnlPatchView;
    RefreshPatchEditor();
}

int TFrmPatch::LineHeight() const
{
    return pbPatch->fontMetrics().height();
}

QPoint TFrmPatch::CellOrigin(int r, int c) const
{
    return QPoint(12 + 62 * c + 35 * (c / 6), 8 + (5 * LineHeight() + 12) * r);
}

int TFrmPatch::SlotAt(QPoint p) const
{
    int x = p.x();
    if (x > 434)
        x -= 45;
    if (x < 0 || p.y() < 0)
        return 0;
    const int column = x / 62;
    const int row = (p.y() - 8) / (5 * LineHeight() + 12);
    // Beyond the drawn grid a hit would name a slot of the next row, or one not drawn.
    if (column >= Columns || row >= Rows)
        return 0;
    const int n = (row + sbPatch->value()) * Columns + column + 1;
    return TModulePatch::IsDmxNumber(n) ? n : 0;
}

void TFrmPatch::ShowLevels()
{
    const TPatch& e = FModule.Patches[size_t(FSelected - 1)];
    const QString in = QString::number(e.PegelIn), out = QString::number(e.PegelOut);
    if (lblPegelIn->text() != in) {
        lblPegelIn->setText(in);
        lblPegelInProz->setText(LevelPercent(e.PegelIn));
    }
    if (lblPegelOut->text() != out) {
        lblPegelOut->setText(out);
        lblPegelOutProz->setText(LevelPercent(e.PegelOut));
    }
}

void TFrmPatch::SelectDmx(int n)
{
    if (!TModulePatch::IsDmxNumber(n))
        return;
    FSelected = n;
    const TPatch& e = FModule.Patches[size_t(n - 1)];
    lblDMX->setText(QString::number(n));
    ShowLevels();
    TKanal* k = nullptr;
    lblKanalname->setText(ModuleLichtpult && e.Pultkanal > 0 && ModuleLichtpult->FindKanal(e.Pultkanal, k) ? k->Name
                                                                                                           : QString());
    FUpdating = true;
    udPultkanal->setValue(e.Pultkanal);
    // A number that names no curve shows no selection.
    cmbKennlinie->setCurrentIndex(e.Kennlinie >= 0 && e.Kennlinie < cmbKennlinie->count() ? e.Kennlinie : -1);
    FUpdating = false;
    pbPatch->update();
}

void TFrmPatch::RefreshPatchEditor()
{
    if (!pnlPatchEdit->isVisible())
        return;
    pbPatch->update();
    FUpdating = true;
    cmbKennlinie->clear();
    cmbKennlinie->addItems(FModule.GetCurveNames());
    FUpdating = false;
    SelectDmx(StrToIntDef(lblDMX->text(), FSelected));
    lblStatusModified->setText(ModifiedText(FModule.Modified));
    lblStatusFile->setText(FModule.FileName);
}

void TFrmPatch::RepaintPatchView()
{
    if (!pbPatch->isVisible())
        return;
    pbPatch->update();
    ShowLevels();
}

void TFrmPatch::ApplyEdit()
{
    FModule.SetSlot(FSelected, udPultkanal->value(), cmbKennlinie->currentIndex());
}

bool TFrmPatch::ChannelKey(QChar key)
{
    int next, channel;
    if (!PatchChannelQuickKey(key, udPultkanal->value(), FSelected, next, channel))
        return false;
    SelectDmx(next);
    FUpdating = true;
    udPultkanal->setValue(channel);
    FUpdating = false;
    ApplyEdit();
    return true;
}

bool TFrmPatch::CurveKey(QChar key)
{
    int next;
    if (!PatchCurveQuickKey(key, FSelected, next))
        return false;
    const int curve = cmbKennlinie->currentIndex();
    SelectDmx(next);
    FUpdating = true;
    cmbKennlinie->setCurrentIndex(curve);
    FUpdating = false;
    ApplyEdit();
    return true;
}

bool TFrmPatch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlPatchEdit && event->type() == QEvent::Show)
        Guarded([this] { RefreshPatchEditor(); });
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.size() != 1)
        return false;
    const QChar c = text.at(0);
    if (watched == cmbKennlinie) {
        bool handled = false;
        Guarded([&] { handled = CurveKey(c); });
        return handled;
    }
    if (watched == FEdit) {
        Guarded([&] { ChannelKey(c); });
        // Only digits and Backspace reach the edit.
        return !(c.isDigit() && c.unicode() < 128) && c != u'\b';
    }
    return false;
}
