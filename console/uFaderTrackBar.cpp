#include "console/uFaderTrackBar.h"

#include "console/uFaderLook.h"
#include "console/uFaderStrip.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <vector>

using namespace FaderLooks;

namespace {

// Events after which a slider may look different, besides those of
// MayChangeLook: hover, focus, pressing and keys.
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
