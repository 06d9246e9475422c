#include "console/uFader.h"

#include "console/uIconGlyph.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

const QColor FieldColor(0xDF, 0xDF, 0xDF);

// Number colour by kind: console channel, group, step sequence, template channel.
const QColor NummerColors[] = {Qt::black, Qt::blue, QColor(0x80, 0, 0), QColor(0x80, 0, 0x80)};

template <typename T = QLineEdit>
T* Field(QWidget* parent, const QString& name, const QColor& background)
{
    auto* e = new T(parent);
    e->setObjectName(name);
    e->setFrame(false);
    e->setTextMargins(0, 0, 0, 0);
    e->setContentsMargins(0, 0, 0, 0);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, Qt::black);
    e->setPalette(p);
    e->installEventFilter(parent);
    return e;
}

bool IsAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString FormatLevel(int v)
{
    return ModuleLichtpult ? ModuleLichtpult->FormatLevel(v) : QString::number(v);
}

} // namespace

// ---------------------------------------------------------------------------
// TFlashButton

TFlashButton::TFlashButton(QWidget* parent) : QToolButton(parent)
{
    setIconSize(QSize(16, 16));
    setFocusPolicy(Qt::NoFocus);
    // The fader's menu is empty: a right click opens none, not even the window's.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void TFlashButton::mousePressEvent(QMouseEvent* event)
{
    QToolButton::mousePressEvent(event);
    if (OnButton && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton))
        Guarded([&] { OnButton(event->button(), true); });
}

void TFlashButton::mouseReleaseEvent(QMouseEvent* event)
{
    QToolButton::mouseReleaseEvent(event);
    if (OnButton && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton))
        Guarded([&] { OnButton(event->button(), false); });
}

// ---------------------------------------------------------------------------
// TFader

TFader::TFader(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Fader"));
    // The fader paints its own background (the window colour, as beneath it),
    // so that a repaint of its parts ends at the fader.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPixelSize(10);
    setFont(f);
    resize(FaderWidth, 200);

    edtNummer = Field(this, QStringLiteral("edtNummer"), FieldColor);
    edtNummer->setMaxLength(3);
    edtPegel = Field<TLevelField>(this, QStringLiteral("edtPegel"), FieldColor);
    edtModus = Field(this, QStringLiteral("edtModus"), palette().color(QPalette::Window));
    edtModus->setToolTip(QStringLiteral("H - HTP\nL - LTP\nD - Direkt\nB - blinkend\nF - Blitze\nZ - Zufall"));

    tbFader = new TFaderTrackBar(this);
    tbFader->setObjectName(QStringLiteral("tbFader"));
    tbFader->installEventFilter(this);

    btnFlash = new TFlashButton(this);
    btnFlash->setObjectName(QStringLiteral("btnFlash"));
    btnFlash->OnButton = [this](Qt::MouseButton button, bool down) { FlashButton(button, down); };

    connect(tbFader, &QSlider::valueChanged, this, [this](int v) { Guarded([&] { TrackBarChange(v); }); });
    connect(edtNummer, &QLineEdit::textChanged, this, [this](const QString& t) { Guarded([&] { NummerChange(t); }); });
    PlaceParts();
}

void TFader::PlaceParts()
{
    const int h = height();
    edtNummer->setGeometry(2, 2, 22, 13);
    edtModus->setGeometry(28, 2, 10, 13);
    edtPegel->setGeometry(8, h - 46, 23, 13);
    tbFader->setGeometry(1, 18, 38, qMax(0, h - 66));
    btnFlash->setGeometry(7, h - 28, 25, 25);
}

void TFader::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceParts();
}

void TFader::paintEvent(QPaintEvent* event)
{
    // The track bar and the level field paint the whole of their areas; they
    // are not marked opaque, so that a repaint of the fader always includes them.
    QRegion rest = event->region();
    rest -= tbFader->geometry();
    rest -= edtPegel->geometry();
    if (rest.isEmpty())
        return;
    QPainter painter(this);
    const QBrush& background = palette().brush(backgroundRole());
    for (const QRect& r : rest)
        painter.fillRect(r, background);
}

void TFader::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A hidden fader is left out of refreshes.
    Refresh();
}

void TFader::SetKanal(TKanal* k)
{
    FUpdating = true;
    FKanal = k;
    if (k) {
        edtNummer->setText(k->NrText());
        SetModus(k->Kind);
        SetFaderPegel(k->Pegel);
        SetKanalPegel(k->Output);
        setToolTip(k->Name);
    } else {
        SetFaderPegel(0);
        SetKanalPegel(0);
        edtNummer->clear();
        edtPegel->SetLevelText(QString());
        edtModus->clear();
        setToolTip(QString());
    }
    UpdateGlyph();
    FUpdating = false;
}

void TFader::SetFaderPegel(int v)
{
    ShowPegel(v, nullptr);
}

void TFader::SetKanalPegel(int v)
{
    ShowOutput(v, nullptr);
}

bool TFader::ShowPegel(int v, std::vector<QRect>* dirty)
{
    const bool updating = FUpdating;
    FUpdating = true;
    FFaderPegel = v;
    const int before = tbFader->value();
    tbFader->Quiet = dirty != nullptr;
    tbFader->setValue(v);
    tbFader->Quiet = false;
    const bool moved = tbFader->value() != before;
    const bool text = edtPegel->SetLevelText(FormatLevel(v), !dirty);
    FUpdating = updating;
    if (dirty) {
        if (moved)
            AddBarArea(tbFader->KnobMoveArea(before, tbFader->value()), *dirty);
        if (text)
            dirty->push_back(edtPegel->geometry().translated(pos()));
    }
    return moved || text;
}

void TFader::AddBarArea(const QRect& area, std::vector<QRect>& dirty) const
{
    // One rectangle per stripe: the faders of a row then give rows of equal
    // rectangles, which make a region in one pass.
    const QPoint at = pos() + tbFader->pos();
    for (int y = area.top(); y <= area.bottom(); y = (y | TFaderTrackBar::StripeMask) + 1)
        dirty.emplace_back(QPoint(area.left(), y) + at,
                           QPoint(area.right(), std::min(area.bottom(), y | TFaderTrackBar::StripeMask)) + at);
}

bool TFader::ShowOutput(int v, std::vector<QRect>* dirty)
{
    FKanalPegel = v;
    const int before = tbFader->Output();
    if (before == v)
        return false;
    tbFader->Quiet = dirty != nullptr;
    tbFader->SetOutput(v);
    tbFader->Quiet = false;
    if (dirty)
        AddBarArea(tbFader->BandMoveArea(before, v), *dirty);
    return true;
}

bool TFader::Refresh(std::vector<QRect>* dirty)
{
    if (!FKanal)
        return false;
    bool changed = false;
    if (FKanal->Pegel != FFaderPegel)
        changed = ShowPegel(FKanal->Pegel, dirty);
    if (FKanal->Output != FKanalPegel)
        changed = ShowOutput(FKanal->Output, dirty) || changed;
    return changed;
}

void TFader::SetModus(int kind)
{
    FModus = kind;
    const QColor& color = NummerColors[kind >= 0 && kind <= 3 ? kind : 0];
    if (edtNummer->palette().color(QPalette::Text) != color) {
        QPalette p = edtNummer->palette();
        p.setColor(QPalette::Text, color);
        edtNummer->setPalette(p);
    }
    edtNummer->setReadOnly(kind == kkVorlage);
    UpdateModusText();
}

void TFader::UpdateModusText()
{
    QString text;
    if (FModus == kkGruppe)
        text = QStringLiteral("G");
    else if (FModus == kkSequenz)
        text = QStringLiteral("C");
    else if (FKanal)
        text = FKanal->ModusText();
    edtModus->setText(text);
}

void TFader::UpdateGlyph()
{
    if (FKanal)
        SetButtonGlyph(btnFlash, FKanal->Icon, FKanal->HF, FKanal->VF);
    else
        SetButtonGlyph(btnFlash, -1, 0, 0);
}

void TFader::KanalChanged(const TKanal* k, int code)
{
    if (!k || k != FKanal)
        return;
    switch (code) {
    case kcPegel:
    case kcOutput: Refresh(); break;
    case kcName: setToolTip(k->Name); break;
    case kcModus: UpdateModusText(); break;
    case kcIcon: UpdateGlyph(); break;
    default: break;
    }
}

void TFader::FocusPart(int part)
{
    switch (part) {
    case fpTrackBar: tbFader->setFocus(); break;
    case fpModus: edtModus->setFocus(); break;
    case fpNummer: edtNummer->setFocus(); break;
    case fpPegel: edtPegel->setFocus(); break;
    default: break;
    }
}

int TFader::PartOf(QObject* o) const
{
    if (o == edtNummer)
        return fpNummer;
    if (o == edtModus)
        return fpModus;
    if (o == edtPegel)
        return fpPegel;
    return fpTrackBar;
}

bool TFader::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == edtModus) {
        const auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && (me->modifiers() & Qt::ControlModifier))
            Guarded([this] { ModusClick(); });
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* ke = static_cast<QKeyEvent*>(event);
    const int key = ke->key();
    if (watched == edtPegel && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        Guarded([this] { PegelEnter(); });
        return true;
    }
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false;
    default: break;
    }
    const QString text = ke->text();
    if (text.isEmpty())
        return false;   // moving keys: arrows, Home, Page Up ...
    const QChar c = text.at(0);
    // The fader may be bound to another channel (or its window show another page)
    // once the rule has run; the character itself goes in only when it is a digit.
    if (OnKey && c.isLetter())
        Guarded([&] { OnKey(*this, PartOf(watched), c); });
    return !IsAsciiDigit(c);
}

void TFader::TrackBarChange(int value)
{
    if (FUpdating || !FKanal)
        return;
    FKanal->SetPegel(value);
}

void TFader::NummerChange(const QString& text)
{
    if (FUpdating)
        return;
    bool ok = false;
    int n = text.toInt(&ok);
    if (!ok)
        n = 0;
    switch (FModus) {
    case kkGruppe: n += LetzterKonsolenKanal; break;
    case kkSequenz: n += LetzterGruppenKanal; break;
    case kkVorlage: n += LetzterSequenzKanal; break;
    default: break;
    }
    TKanal* k = nullptr;
    if (ModuleLichtpult)
        ModuleLichtpult->FindKanal(n, k);
    SetKanal(k);
    if (ModuleLichtpult)
        ModuleLichtpult->SetZeilenKanal(ZeilenIndex, FaderIndex, n);
}

void TFader::PegelEnter()
{
    if (!FKanal)
        return;
    bool ok = false;
    int v = edtPegel->text().toInt(&ok);
    if (!ok)
        v = -1;
    if (ModuleLichtpult && ModuleLichtpult->Prozent)
        v = static_cast<int>(static_cast<std::int64_t>(v) * 255 / 100);
    if (v >= 0 && v <= 255)
        FKanal->SetPegel(v);
}

void TFader::FlashButton(Qt::MouseButton button, bool down)
{
    if (button == Qt::LeftButton && !down) {
        // The channel that was flashed gets its level back, also when the slot
        // has been bound to another channel while the button was held.
        TKanal* k = FFlashKanal;
        FFlashKanal = nullptr;
        if (k)
            k->SetPegel(FFlashSaved);
        return;
    }
    if (!down || !FKanal)
        return;
    if (button == Qt::LeftButton) {
        FFlashKanal = FKanal;
        FFlashSaved = FKanal->Pegel;
        FKanal->SetPegel(FKanal->FlashPegel);
    } else if (FKanal->Pegel == FKanal->FlashPegel) {
        FKanal->SetPegel(FKanal->BlackoutPegel);
    } else {
        FKanal->SetPegel(FKanal->FlashPegel);
    }
    tbFader->setFocus();
}

void TFader::ModusClick()
{
    if (!FKanal || (FModus != kkKonsole && FModus != kkVorlage))
        return;
    const int m = FKanal->Modus + 1;
    FKanal->SetModus(m > kmFlackern ? kmHTP : m);
}
