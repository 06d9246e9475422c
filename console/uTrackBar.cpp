#include "console/uTrackBar.h"

#include <QPainter>
#include <QPolygon>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

void TTrackBar::SetSelection(int start, int end)
{
    if (start == FSelStart && end == FSelEnd)
        return;
    FSelStart = start;
    FSelEnd = end;
    update();
}

void TTrackBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    // The channel is drawn empty (some styles fill it up to the knob), so that the
    // selection band stands out in it.
    QStyleOptionSlider under = opt;
    under.sliderPosition = under.sliderValue = opt.upsideDown ? maximum() : minimum();
    under.subControls = QStyle::SC_SliderGroove;
    if (tickPosition() != NoTicks)
        under.subControls |= QStyle::SC_SliderTickmarks;
    under.activeSubControls = QStyle::SC_None;
    style()->drawComplexControl(QStyle::CC_Slider, &under, &p, this);

    // The selection band lies in the channel, under the knob.
    const int start = std::clamp(std::min(FSelStart, FSelEnd), minimum(), maximum());
    const int end = std::clamp(std::max(FSelStart, FSelEnd), minimum(), maximum());
    if (end > start) {
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
        const QRect knob = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
        const bool horizontal = orientation() == Qt::Horizontal;
        const int span = horizontal ? groove.width() - knob.width() : groove.height() - knob.height();
        const int offset = horizontal ? groove.left() + knob.width() / 2 : groove.top() + knob.height() / 2;
        const int a = offset + QStyle::sliderPositionFromValue(minimum(), maximum(), start, span, opt.upsideDown);
        const int b = offset + QStyle::sliderPositionFromValue(minimum(), maximum(), end, span, opt.upsideDown);
        const int from = std::min(a, b), length = std::abs(b - a);
        const QRect band = horizontal ? QRect(from, groove.center().y() - 2, length, 5)
                                      : QRect(groove.center().x() - 2, from, 5, length);
        const QColor colour = palette().color(QPalette::Highlight);
        p.fillRect(band, colour);
        // A small triangle beside the channel marks each end of the selection.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        for (const int at : {a, b}) {
            const QPoint tip = horizontal ? QPoint(at, groove.bottom() + 1) : QPoint(groove.right() + 1, at);
            const QPoint side1 = horizontal ? tip + QPoint(-3, 4) : tip + QPoint(4, -3);
            const QPoint side2 = horizontal ? tip + QPoint(3, 4) : tip + QPoint(4, 3);
            p.drawPolygon(QPolygon({tip, side1, side2}));
        }
        p.setRenderHint(QPainter::Antialiasing, false);
    }

    opt.subControls = QStyle::SC_SliderHandle;
    if (isSliderDown()) {
        opt.activeSubControls = QStyle::SC_SliderHandle;
        opt.state |= QStyle::State_Sunken;
    }
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
}
