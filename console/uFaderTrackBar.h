#pragma once
// The track bar of a fader (see uFader.h).

#include <QPointer>
#include <QRect>
#include <QSlider>

#include <memory>

class QPainter;
class QStyleOptionSlider;
class TFaderStrip;

// The vertical track bar of a fader: 255 at the top. Besides the knob (the
// level) it shows the channel's output as a band from the output down to the
// bottom of the groove. A new output repaints only the band between its old
// and its new top, a new level only the knob's old and new place.
//
// It is painted from pictures the style draws once per look (size, state,
// palette, style): the background with the tick marks and the groove, and the
// knob, which is placed at the level. Only the band is drawn on every paint.
// The bar paints its whole area (on the window colour of its palette). Where
// a strip paints it (see TFaderStrip), every repaint goes through the strip.
class TFaderTrackBar : public QSlider {
public:
    explicit TFaderTrackBar(QWidget* parent = nullptr);

    // Paints area (in bar coordinates) with the bar's origin at origin,
    // nothing outside it.
    void PaintArea(QPainter& painter, const QRect& area, const QPoint& origin);
    // Repaints area of the bar, through the strip if there is one.
    void Repaint(const QRect& area);

    int Output() const { return FOutput; }
    void SetOutput(int v);
    // While true, a new value or output does not ask for a repaint: the owner
    // repaints the bar together with others.
    bool Quiet = false;
    // Repaint areas are rounded out to stripes of 32 rows: the faders of a row
    // then share the rows of the window's dirty region, however different
    // their levels, and that region stays small and quick to build.
    static constexpr int StripeMask = 31;
    // What a move of the knob from one position to another repaints, and a
    // move of the band's top from one output to another: the column of the
    // groove and the knob, in whole stripes (the whole bar before its first paint).
    QRect KnobMoveArea(int from, int to) const;
    QRect BandMoveArea(int from, int to) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void sliderChange(SliderChange change) override;

private:
    friend class TFaderStrip;
    struct TLook;
    const TLook& Look(const QStyleOptionSlider& opt);
    // The column of the groove and the knob (the whole bar before its first paint).
    QRect MovingArea() const;
    // The rows of the column that hold area, rounded out to whole stripes.
    QRect Stripes(const QRect& area) const;

    int FOutput = 0;
    std::shared_ptr<const TLook> FLook;
    bool FLookChecked = false;   // FLook is the current look
    QPointer<TFaderStrip> FStrip;
};
