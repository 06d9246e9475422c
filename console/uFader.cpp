#include "console/uFader.h"

#include "console/uIconGlyph.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

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
// Looks drawn once: a look is shared by every widget that looks the same, found
// by a key of what the drawing depends on. Kept until there are too many.

namespace {

constexpr int MaxLooks = 64;
constexpr int MaxPictures = 1024;   // level texts of one look

// The colours of every group and role, which a style may use in any state.
void AddPalette(QByteArray& key, const QPalette& p)
{
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const QBrush& b = p.brush(static_cast<QPalette::ColorGroup>(g), static_cast<QPalette::ColorRole>(r));
            const QRgba64 c = b.color().rgba64();
            key.append(reinterpret_cast<const char*>(&c), sizeof c);
            key.append(static_cast<char>(b.style()));
        }
    key.append(static_cast<char>(p.currentColorGroup()));
}

// Events after which a widget may look different: its state, palette, style,
// font, size, screen or window activation.
bool MayChangeLook(QEvent::Type type)
{
    switch (type) {
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::ActivationChange:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::LayoutDirectionChange:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::ScreenChangeInternal: return true;
    default: return false;
    }
}

// And for a slider: hover, focus, pressing and keys.
bool MayChangeSliderLook(QEvent::Type type)
{
    switch (type) {
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease: return true;
    default: return false;
    }
}

template <typename T>
void AddValue(QByteArray& key, const T& v)
{
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <typename T>
std::shared_ptr<T> SharedLook(QHash<QByteArray, std::shared_ptr<T>>& looks, const QByteArray& key,
                              const std::function<std::shared_ptr<T>()>& make)
{
    auto it = looks.constFind(key);
    if (it != looks.constEnd())
        return *it;
    if (looks.size() >= MaxLooks)
        looks.clear();   // the widgets keep the looks they use
    auto look = make();
    looks.insert(key, look);
    return look;
}

} // namespace

// ---------------------------------------------------------------------------
// TFaderTrackBar

namespace {

// What a track bar looks like, drawn once per look.
struct TTrackPictures {
    QPixmap Back;        // window colour, empty groove, tick marks
    QPixmap Knob;        // the knob alone, on transparent
    QPoint KnobOffset;   // from the top left of the knob's rectangle to Knob
    QRect Groove;
    std::vector<QRect> Handle;   // the knob's rectangle by position - minimum
    QRect Column;        // what a move of the knob or the band repaints
};

} // namespace

struct TFaderTrackBar::TLook {
    // What the look was made for, compared on every paint.
    QSize Size;
    qint64 Palette = 0;
    QStyle::State State;
    QStyle::SubControls Active;
    qreal Dpr = 1;
    const QStyle* Style = nullptr;
    int Minimum = 0;
    int Maximum = 0;
    std::shared_ptr<const TTrackPictures> Pictures;

    bool Fits(const QStyleOptionSlider& opt, qint64 palette, qreal dpr, const QStyle* style) const
    {
        return Size == opt.rect.size() && Palette == palette && State == opt.state && Active == opt.activeSubControls &&
               Dpr == dpr && Style == style && Minimum == opt.minimum && Maximum == opt.maximum;
    }
};

TFaderTrackBar::TFaderTrackBar(QWidget* parent) : QSlider(Qt::Vertical, parent)
{
    setRange(0, 255);
    setTickPosition(QSlider::TicksLeft);
    setTickInterval(64);
    setPageStep(16);
    setValue(0);
}

void TFaderTrackBar::SetOutput(int v)
{
    if (v == FOutput)
        return;
    const int before = FOutput;
    FOutput = v;
    if (!Quiet)
        Repaint(BandMoveArea(before, v));
}

void TFaderTrackBar::Repaint(const QRect& area)
{
    if (FStrip)
        FStrip->RepaintPart(this, area);
    else
        update(area);
}

QRect TFaderTrackBar::MovingArea() const
{
    if (!FLook || FLook->Size != size())
        return rect();
    return FLook->Pictures->Column & rect();
}

QRect TFaderTrackBar::Stripes(const QRect& area) const
{
    const QRect& column = FLook->Pictures->Column;
    return QRect(QPoint(column.left(), area.top() & ~StripeMask), QPoint(column.right(), area.bottom() | StripeMask)) &
           rect();
}

QRect TFaderTrackBar::KnobMoveArea(int from, int to) const
{
    if (!FLook || FLook->Size != size() || FLook->Pictures->Knob.isNull())
        return MovingArea();
    const TTrackPictures& look = *FLook->Pictures;
    auto knob = [&](int v) {
        const auto i = static_cast<std::size_t>(std::clamp(v, FLook->Minimum, FLook->Maximum) - FLook->Minimum);
        if (i >= look.Handle.size())
            return rect();
        return QRect(look.Handle[i].topLeft() + look.KnobOffset, look.Knob.deviceIndependentSize().toSize());
    };
    return Stripes(knob(from) | knob(to));
}

QRect TFaderTrackBar::BandMoveArea(int from, int to) const
{
    if (!FLook || FLook->Size != size())
        return MovingArea();
    const TTrackPictures& look = *FLook->Pictures;
    // The band's top: the knob's centre at the output; no band at 0.
    auto top = [&](int v) {
        const auto i = static_cast<std::size_t>(std::clamp(v, FLook->Minimum, FLook->Maximum) - FLook->Minimum);
        if (v <= 0 || i >= look.Handle.size())
            return look.Groove.bottom();
        return look.Handle[i].center().y();
    };
    const int a = top(from);
    const int b = top(to);
    return Stripes(QRect(look.Groove.left(), std::min(a, b), look.Groove.width(), std::abs(a - b) + 1));
}

void TFaderTrackBar::sliderChange(SliderChange change)
{
    if (change != SliderValueChange)
        FLookChecked = false;
    if (Quiet && change == SliderValueChange)
        return;
    if (!FStrip) {
        QSlider::sliderChange(change);
        return;
    }
    // The base only asks for a repaint, which the strip does.
    if (change != SliderValueChange)
        QSlider::sliderChange(change);
    Repaint(rect());
}

bool TFaderTrackBar::event(QEvent* event)
{
    const bool done = QSlider::event(event);
    if (MayChangeLook(event->type()) || MayChangeSliderLook(event->type())) {
        FLookChecked = false;
        if (FStrip)
            Repaint(rect());
    }
    return done;
}

const TFaderTrackBar::TLook& TFaderTrackBar::Look(const QStyleOptionSlider& opt)
{
    const qint64 paletteKey = palette().cacheKey();
    const qreal dpr = devicePixelRatio();
    QStyle* s = style();
    if (FLook && FLook->Fits(opt, paletteKey, dpr, s))
        return *FLook;

    QByteArray key;
    AddValue(key, opt.rect.size());
    AddValue(key, static_cast<int>(opt.state));
    AddValue(key, static_cast<int>(opt.activeSubControls));
    AddValue(key, dpr);
    AddValue(key, s);
    AddValue(key, opt.minimum);
    AddValue(key, opt.maximum);
    AddValue(key, opt.tickPosition);
    AddValue(key, opt.tickInterval);
    AddValue(key, static_cast<int>(opt.direction));
    AddPalette(key, opt.palette);
    AddPalette(key, palette());

    static QHash<QByteArray, std::shared_ptr<const TTrackPictures>> looks;
    auto look = std::make_shared<TLook>();
    look->Size = opt.rect.size();
    look->Palette = paletteKey;
    look->State = opt.state;
    look->Active = opt.activeSubControls;
    look->Dpr = dpr;
    look->Style = s;
    look->Minimum = opt.minimum;
    look->Maximum = opt.maximum;
    look->Pictures = SharedLook<const TTrackPictures>(looks, key, [&] {
        auto l = std::make_shared<TTrackPictures>();
        const QSize size = opt.rect.size();
        // The knob's place for every position, and the groove from the knob's
        // centre at the top to its centre at the bottom. The groove is drawn
        // here, not by the style: styles fill it from the knob down, which would
        // read as an output equal to the level.
        QStyleOptionSlider at = opt;
        for (int v = opt.minimum; v <= opt.maximum; ++v) {
            at.sliderPosition = v;
            l->Handle.push_back(s->subControlRect(QStyle::CC_Slider, &at, QStyle::SC_SliderHandle, this));
        }
        const QRect area = s->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
        at.sliderPosition = 255;
        const int top = s->subControlRect(QStyle::CC_Slider, &at, QStyle::SC_SliderHandle, this).center().y();
        at.sliderPosition = 0;
        const int bottom = s->subControlRect(QStyle::CC_Slider, &at, QStyle::SC_SliderHandle, this).center().y();
        l->Groove = QRect(area.center().x() - 3, top - 2, 6, bottom - top + 4);

        // On an opaque window colour the picture has no alpha: it is copied, not blended.
        const QBrush& window = palette().brush(QPalette::Window);
        l->Back = QPixmap(size * dpr);
        l->Back.setDevicePixelRatio(dpr);
        l->Back.fill(window.style() == Qt::SolidPattern ? window.color() : QColor(Qt::transparent));
        {
            QPainter p(&l->Back);
            p.fillRect(QRect(QPoint(0, 0), size), window);
            p.setPen(palette().color(QPalette::Mid));
            p.setBrush(palette().color(QPalette::Base));
            p.drawRect(l->Groove.adjusted(0, 0, -1, -1));
            QStyleOptionSlider ticks = opt;
            ticks.subControls = QStyle::SC_SliderTickmarks;
            s->drawComplexControl(QStyle::CC_Slider, &ticks, &p, this);
        }

        // The knob is drawn where it is for the current position, then cut out
        // with whatever the style draws around it.
        QPixmap knob(size * dpr);
        knob.setDevicePixelRatio(dpr);
        knob.fill(Qt::transparent);
        {
            QPainter p(&knob);
            QStyleOptionSlider o = opt;
            o.subControls = QStyle::SC_SliderHandle;
            s->drawComplexControl(QStyle::CC_Slider, &o, &p, this);
        }
        const QImage image = knob.toImage();
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) != 0)
                    box |= QRect(x, y, 1, 1);
        const int position = std::clamp(opt.sliderPosition, opt.minimum, opt.maximum) - opt.minimum;
        if (!box.isEmpty() && position < static_cast<int>(l->Handle.size())) {
            l->Knob = QPixmap::fromImage(image.copy(box));
            l->Knob.setDevicePixelRatio(dpr);
            const QRect handle = l->Handle[static_cast<std::size_t>(position)];
            l->KnobOffset = QPoint(qRound(box.x() / dpr), qRound(box.y() / dpr)) - handle.topLeft();
        }
        QRect column = l->Groove;
        for (const QRect& h : l->Handle)
            column |= h;
        if (!l->Knob.isNull())
            column |= QRect(l->Handle.front().topLeft() + l->KnobOffset, l->Knob.deviceIndependentSize().toSize()) |
                      QRect(l->Handle.back().topLeft() + l->KnobOffset, l->Knob.deviceIndependentSize().toSize());
        l->Column = QRect(column.left(), 0, column.width(), size.height());
        return std::shared_ptr<const TTrackPictures>(std::move(l));
    });
    FLook = look;
    return *FLook;
}

void TFaderTrackBar::PaintArea(QPainter& painter, const QRect& area, const QPoint& origin)
{
    // The look is looked up again only after an event that may have changed it.
    if (!FLook || !FLookChecked) {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        Look(opt);
        FLookChecked = true;
    }
    const TLook& current = *FLook;
    const TTrackPictures& look = *current.Pictures;
    auto handle = [&](int v) {
        const auto i = static_cast<std::size_t>(std::clamp(v, current.Minimum, current.Maximum) - current.Minimum);
        return i < look.Handle.size() ? look.Handle[i] : QRect();
    };
    const qreal dpr = look.Back.devicePixelRatio();
    painter.drawPixmap(area.translated(origin), look.Back, QRectF(area.topLeft() * dpr, area.size() * dpr));
    // The output band: from the output level down to the bottom.
    if (FOutput > 0) {
        const int y = handle(FOutput).center().y();
        const QRect& groove = look.Groove;
        const QRect band = QRect(groove.left() + 1, y, groove.width() - 2, groove.bottom() - y) & area;
        if (!band.isEmpty())
            painter.fillRect(band.translated(origin), palette().color(QPalette::Highlight));
    }
    if (!look.Knob.isNull()) {
        const QRect knob(handle(sliderPosition()).topLeft() + look.KnobOffset, look.Knob.deviceIndependentSize().toSize());
        const QRect shown = knob & area;
        if (!shown.isEmpty())
            painter.drawPixmap(shown.translated(origin), look.Knob,
                               QRectF((shown.topLeft() - knob.topLeft()) * dpr, shown.size() * dpr));
    }
}

void TFaderTrackBar::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    PaintArea(painter, event->rect(), QPoint());
}

// ---------------------------------------------------------------------------
// TLevelField

struct TLevelField::TLook {
    // What the look was made for, compared on every paint.
    QSize Size;
    qint64 Palette = 0;
    QFont Font;
    bool Enabled = true;
    bool Active = false;
    qreal Dpr = 1;
    const QStyle* Style = nullptr;

    // The pictures by text, shared by the fields of the same look.
    std::shared_ptr<QHash<QString, QPixmap>> Pictures;
};

TLevelField::TLevelField(QWidget* parent) : QLineEdit(parent)
{
}

bool TLevelField::SetLevelText(const QString& text, bool repaint)
{
    if (text == FLevelText)
        return false;
    FLevelText = text;
    if (FLive) {
        setText(text);
        // Typed text is replaced now; a field without the focus shows the level again.
        if (window()->focusWidget() != this)
            SetLive(false);
    }
    if (repaint)
        Repaint();
    return true;
}

void TLevelField::SetLive(bool live)
{
    if (live == FLive)
        return;
    FLive = live;
    // A live field paints itself; the strip leaves it out.
    if (FStrip)
        FStrip->LiveChanged();
}

void TLevelField::Repaint()
{
    if (FStrip && !FLive)
        FStrip->RepaintPart(this, rect());
    else
        update();
}

bool TLevelField::event(QEvent* event)
{
    const bool done = QLineEdit::event(event);
    if (MayChangeLook(event->type())) {
        FPicture = QPixmap();
        if (FStrip && !FLive)
            Repaint();
    }
    return done;
}

void TLevelField::focusInEvent(QFocusEvent* event)
{
    if (!FLive) {
        setText(FLevelText);
        SetLive(true);
    }
    QLineEdit::focusInEvent(event);
}

void TLevelField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The window went inactive or a menu opened: the field keeps its focus in
    // its window, and its look (selection) with it.
    const bool kept = event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason;
    SetLive(kept || text() != FLevelText);
    Repaint();
}

const QPixmap& TLevelField::Picture()
{
    // The picture shown last, while neither the text nor the look changed.
    if (!FPicture.isNull() && FPictureText == FLevelText)
        return FPicture;
    const qint64 paletteKey = palette().cacheKey();
    const qreal dpr = devicePixelRatio();
    QStyle* s = style();
    const bool active = isActiveWindow();
    if (!FLook || FLook->Size != size() || FLook->Palette != paletteKey || FLook->Font != font() ||
        FLook->Enabled != isEnabled() || FLook->Active != active || FLook->Dpr != dpr || FLook->Style != s) {
        QPalette p = palette();
        p.setCurrentColorGroup(!isEnabled() ? QPalette::Disabled : active ? QPalette::Active : QPalette::Inactive);
        QByteArray key;
        AddValue(key, size());
        AddValue(key, isEnabled());
        AddValue(key, active);
        AddValue(key, dpr);
        AddValue(key, s);
        AddValue(key, static_cast<int>(alignment()));
        AddValue(key, textMargins());
        AddValue(key, contentsMargins());
        AddValue(key, static_cast<int>(layoutDirection()));
        key.append(font().key().toUtf8());
        AddPalette(key, p);
        static QHash<QByteArray, std::shared_ptr<QHash<QString, QPixmap>>> looks;
        auto look = std::make_shared<TLook>();
        look->Size = size();
        look->Palette = paletteKey;
        look->Font = font();
        look->Enabled = isEnabled();
        look->Active = active;
        look->Dpr = dpr;
        look->Style = s;
        look->Pictures = SharedLook<QHash<QString, QPixmap>>(looks, key, [] {
            return std::make_shared<QHash<QString, QPixmap>>();
        });
        FLook = look;
    }

    QHash<QString, QPixmap>& pictures = *FLook->Pictures;
    auto it = pictures.find(FLevelText);
    if (it != pictures.end()) {
        FPicture = *it;
        FPictureText = FLevelText;
        return FPicture;
    }
    // Levels are not bounded (a show file may hold any number): the pictures are.
    if (pictures.size() >= MaxPictures)
        pictures.clear();
    // A line edit of the same make draws the text, on what lies beneath the field.
    QLineEdit stamp;
    stamp.setAttribute(Qt::WA_DontShowOnScreen);
    stamp.setFrame(hasFrame());
    stamp.setTextMargins(textMargins());
    stamp.setContentsMargins(contentsMargins());
    stamp.setAlignment(alignment());
    stamp.setLayoutDirection(layoutDirection());
    stamp.setFont(font());
    if (s != QApplication::style())
        stamp.setStyle(s);
    // The stamp is no active window: every group gets the colours this field shows now.
    QPalette shown = palette();
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled : active ? QPalette::Active : QPalette::Inactive;
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r)
            shown.setBrush(static_cast<QPalette::ColorGroup>(g), static_cast<QPalette::ColorRole>(r),
                           palette().brush(group, static_cast<QPalette::ColorRole>(r)));
    stamp.setPalette(shown);
    stamp.setEnabled(isEnabled());
    stamp.resize(size());
    stamp.setText(FLevelText);
    stamp.ensurePolished();
    QPixmap picture(size() * dpr);
    picture.setDevicePixelRatio(dpr);
    picture.fill(palette().color(group, QPalette::Window));
    stamp.render(&picture, QPoint(), QRegion(), QWidget::RenderFlags());
    pictures.insert(FLevelText, picture);
    FPicture = picture;
    FPictureText = FLevelText;
    return FPicture;
}

void TLevelField::paintEvent(QPaintEvent* event)
{
    if (FLive) {
        {
            QPainter painter(this);
            painter.fillRect(rect(), palette().brush(QPalette::Window));
        }
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    PaintArea(painter, rect(), QPoint());
}

void TLevelField::PaintArea(QPainter& painter, const QRect& area, const QPoint& origin)
{
    const QPixmap& picture = Picture();
    const qreal dpr = picture.devicePixelRatio();
    painter.drawPixmap(area.translated(origin), picture, QRectF(area.topLeft() * dpr, area.size() * dpr));
}

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

// ---------------------------------------------------------------------------
// TFaderStrip

QRegion RegionOfRects(std::vector<QRect>& rects)
{
    rects.erase(std::remove_if(rects.begin(), rects.end(), [](const QRect& r) { return r.isEmpty(); }), rects.end());
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() != b.left() ? a.left() < b.left() : a.height() < b.height();
    });
    rects.erase(std::unique(rects.begin(), rects.end()), rects.end());
    // Rows: the rects of a row share top and height and neither overlap nor
    // touch; a row starts below the one before it.
    bool rows = true;
    for (std::size_t i = 1; i < rects.size() && rows; ++i) {
        const QRect& r = rects[i];
        const QRect& before = rects[i - 1];
        rows = r.top() == before.top() ? r.height() == before.height() && r.left() > before.right() + 1
                                       : r.top() > before.bottom();
    }
    QRegion region;
    if (rows) {
        region.setRects(rects.data(), static_cast<int>(rects.size()));
    } else {
        for (const QRect& r : rects)
            region += r;
    }
    return region;
}

TFaderStrip::TFaderStrip(QWidget* view, std::vector<TFader*> faders)
    : QWidget(view), FView(view), FFaders(std::move(faders))
{
    setObjectName(QStringLiteral("FaderStrip"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    view->installEventFilter(this);
    for (TFader* f : FFaders) {
        f->installEventFilter(this);
        f->tbFader->installEventFilter(this);
        f->edtPegel->installEventFilter(this);
        f->tbFader->FStrip = this;
        f->edtPegel->FStrip = this;
    }
    setGeometry(view->rect());
    raise();
    UpdateMask();
}

void TFaderStrip::MaskChanged()
{
    FMaskStale = true;
    if (FMaskPosted)
        return;
    FMaskPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FMaskPosted = false;
            Guarded([this] { UpdateMask(); });
        },
        Qt::QueuedConnection);
}

void TFaderStrip::UpdateMask()
{
    if (!FMaskStale)
        return;
    FMaskStale = false;
    FRows.clear();

    // The parts of the visible faders, by row: parts of the same kind, top and height.
    std::vector<TPart> parts;
    std::vector<QRect> faders;   // of the visible faders
    std::vector<QRect> live;     // level fields being edited, other widgets
    for (TFader* f : FFaders) {
        if (f->isHidden())
            continue;
        faders.push_back(f->geometry());
        parts.push_back({f->tbFader->geometry().translated(f->pos()), f->tbFader, true});
        const QRect field = f->edtPegel->geometry().translated(f->pos());
        if (f->edtPegel->Live())
            live.push_back(field);
        else
            parts.push_back({field, f->edtPegel, false});
    }
    // Anything else in the view is in the way, as a level field being edited is.
    for (QObject* o : FView->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w != this && !w->isHidden() && std::find(FFaders.begin(), FFaders.end(), w) == FFaders.end())
            live.push_back(w->geometry());
    }
    std::sort(parts.begin(), parts.end(), [](const TPart& a, const TPart& b) {
        return std::make_tuple(a.Bar, a.Area.top(), a.Area.height(), a.Area.left()) <
               std::make_tuple(b.Bar, b.Area.top(), b.Area.height(), b.Area.left());
    });

    // A row of parts becomes bands from part to part across the gaps between
    // them, which hold only the faders' background, unless a gap would cover
    // something else: a fader of another row or a level field being edited.
    for (std::size_t i = 0; i < parts.size();) {
        std::size_t end = i;
        while (end < parts.size() && parts[end].Bar == parts[i].Bar && parts[end].Area.top() == parts[i].Area.top() &&
               parts[end].Area.height() == parts[i].Area.height())
            ++end;
        const int top = parts[i].Area.top();
        const int bottom = parts[i].Area.bottom();
        std::vector<QRect> obstacles = live;
        for (const QRect& f : faders)
            if (f.top() <= bottom && f.bottom() >= top) {
                // A fader with a part in the row holds only background beside it.
                bool inRow = false;
                for (std::size_t k = i; k < end && !inRow; ++k)
                    inRow = f.contains(parts[k].Area);
                if (!inRow)
                    obstacles.push_back(f);
            }
        TRow row;
        for (std::size_t k = i; k < end; ++k) {
            const TPart& p = parts[k];
            if (!row.Parts.empty()) {
                const QRect joined = row.Band | p.Area;
                const bool free = std::none_of(obstacles.begin(), obstacles.end(),
                                               [&](const QRect& o) { return o.intersects(joined); });
                if (!free || p.Area.left() <= row.Band.right()) {
                    FRows.push_back(std::move(row));
                    row = TRow();
                }
            }
            row.Band = row.Parts.empty() ? p.Area : row.Band | p.Area;
            row.Parts.push_back(p);
        }
        if (!row.Parts.empty())
            FRows.push_back(std::move(row));
        i = end;
    }

    std::vector<QRect> bands;
    for (const TRow& r : FRows)
        bands.push_back(r.Band);
    FMask = RegionOfRects(bands);
    // An empty mask would be no mask: the strip would cover the whole view.
    if (FMask.isEmpty()) {
        hide();
        return;
    }
    setMask(FMask);
    show();
}

void TFaderStrip::LiveChanged()
{
    FMaskStale = true;
    UpdateMask();
}

bool TFaderStrip::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == FView) {
            resize(FView->size());
            break;
        }
        [[fallthrough]];
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched != FView)
            MaskChanged();
        break;
    default: break;
    }
    return false;
}

void TFaderStrip::Repaint(std::vector<QRect>& areas)
{
    UpdateMask();
    if (areas.empty())
        return;
    // The areas of a row that share top and height become one, across the
    // row: a region of few rectangles paints quickly, while one of a
    // rectangle per fader makes every picture drawn walk all of them.
    std::sort(areas.begin(), areas.end(), [](const QRect& a, const QRect& b) {
        return std::make_tuple(a.top(), a.height(), a.left()) < std::make_tuple(b.top(), b.height(), b.left());
    });
    std::size_t out = 0;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        if (out > 0 && areas[out - 1].top() == areas[i].top() && areas[out - 1].height() == areas[i].height())
            areas[out - 1] |= areas[i];
        else
            areas[out++] = areas[i];
    }
    areas.resize(out);
    update(RegionOfRects(areas) & FMask);
}

void TFaderStrip::RepaintPart(const QWidget* part, const QRect& area)
{
    UpdateMask();
    if (!area.isEmpty())
        update(area.translated(part->mapTo(FView, QPoint())));
}

void TFaderStrip::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QBrush& background = palette().brush(QPalette::Window);
    const QRegion& region = event->region();
    for (const QRect& r : region) {
        // Under a clip of one rectangle, pictures are copied row by row; under
        // the region's clip every row goes through the clip's spans.
        if (region.rectCount() > 1)
            painter.setClipRect(r);
        for (const TRow& row : FRows) {
            const QRect area = row.Band & r;
            if (area.isEmpty())
                continue;
            // The parts from left to right, the faders' background between them.
            int x = area.left();
            for (const TPart& p : row.Parts) {
                const QRect shown = p.Area & area;
                if (shown.isEmpty())
                    continue;
                if (shown.left() > x)
                    painter.fillRect(QRect(x, area.top(), shown.left() - x, area.height()), background);
                const QRect local = shown.translated(-p.Area.topLeft());
                if (p.Bar)
                    static_cast<TFaderTrackBar*>(p.Widget)->PaintArea(painter, local, p.Area.topLeft());
                else
                    static_cast<TLevelField*>(p.Widget)->PaintArea(painter, local, p.Area.topLeft());
                x = shown.right() + 1;
            }
            if (x <= area.right())
                painter.fillRect(QRect(x, area.top(), area.right() - x + 1, area.height()), background);
        }
    }
}

// ---------------------------------------------------------------------------
// TFaderRefresh

TFaderRefresh::TFaderRefresh(QWidget* view, std::vector<TFader*> faders)
    : QObject(view), FView(view), FFaders(std::move(faders)), FStrip(new TFaderStrip(view, FFaders))
{
    view->installEventFilter(this);
}

bool TFaderRefresh::Showing() const
{
    return FView->isVisible() && !FView->window()->isMinimized();
}

void TFaderRefresh::Changed()
{
    if (!FView->isVisible()) {
        FStale = true;
        return;
    }
    FChanged = true;
    if (FPosted)
        return;
    FPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FPosted = false;
            Guarded([this] { Flush(); });
        },
        Qt::QueuedConnection);
}

void TFaderRefresh::Flush()
{
    if (!FChanged && !FStale)
        return;
    if (!Showing()) {
        FStale = true;
        FChanged = false;
        return;
    }
    if (FStale) {
        RefreshAll();
        return;
    }
    FChanged = false;
    // The few rectangles that changed (the knobs' old and new places, the
    // bands' old and new tops, the level texts) are repainted by the strip,
    // in one pass.
    std::vector<QRect> dirty;
    for (TFader* f : FFaders)
        if (!f->isHidden())
            f->Refresh(&dirty);
    FStrip->Repaint(dirty);
}

void TFaderRefresh::ReformatAll()
{
    if (Showing())
        RefreshAll();
    else
        FStale = true;
}

void TFaderRefresh::RefreshAll()
{
    FChanged = FStale = false;
    for (TFader* f : FFaders)
        if (TKanal* k = f->Kanal()) {
            f->SetFaderPegel(k->Pegel);
            f->SetKanalPegel(k->Output);
        }
}

bool TFaderRefresh::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FView && event->type() == QEvent::Show && FStale)
        Guarded([this] { RefreshAll(); });
    return false;
}
