#pragma once
// The faders of one view painted and refreshed together: the strip that paints
// their track bars and level fields in one pass, and the refresh that keeps
// them in step with their channels once per tick.

#include <QObject>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include <vector>

class TFader;

// Paints the track bars and level fields of all faders of one view in one
// paint pass. It lies above the faders, as large as the view, with a mask of
// exactly those parts (less a level field being edited, which paints itself);
// it takes no mouse input, which goes on to the parts beneath. The parts stay
// for input and focus; their repaints come here. Painting a window's moving
// parts as one widget keeps the repaint of a tick to one paint pass per window
// instead of three widgets per fader, each merged into the window's regions.
class TFaderStrip : public QWidget {
public:
    TFaderStrip(QWidget* view, std::vector<TFader*> faders);

    // Repaints areas, in view coordinates, each within one part of a fader.
    void Repaint(std::vector<QRect>& areas);
    // Repaints an area of a part (in the part's coordinates).
    void RepaintPart(const QWidget* part, const QRect& area);
    // Recomputes the mask now if faders or parts moved, resized, showed or hid.
    void UpdateMask();
    // A level field started or stopped being edited: the mask follows now.
    void LiveChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct TPart {
        QRect Area;   // in view coordinates
        QWidget* Widget;
        bool Bar;
    };
    // Parts of one kind, top and height, from left to right, and the band
    // they span, which the strip paints whole.
    struct TRow {
        QRect Band;
        std::vector<TPart> Parts;
    };
    void MaskChanged();

    QWidget* FView;
    std::vector<TFader*> FFaders;
    std::vector<TRow> FRows;
    QRegion FMask;
    bool FMaskStale = true;
    bool FMaskPosted = false;
};

// A region of rects that do not overlap, built in one pass when they form
// rows (same top and height within a row, rows apart), else by unions.
QRegion RegionOfRects(std::vector<QRect>& rects);

// Keeps the faders of one window in step with the levels and outputs of their
// channels. A notification only marks the window as changed; the faders are
// compared with their channels and refreshed once: after the engine's tick
// (Flush on tickDone), or, for a change outside a tick (a remote command, the
// operator's own drag), by a refresh posted to the event loop. While the view
// is not shown (a hidden tab page, a closed or minimised window) nothing is
// refreshed; when it is shown again every fader is.
class TFaderRefresh : public QObject {
public:
    TFaderRefresh(QWidget* view, std::vector<TFader*> faders);

    // A level or output of some channel changed.
    void Changed();
    // Refreshes what changed (or everything, after the view was not shown).
    void Flush();
    // Shows every fader's level text again (the level format changed).
    void ReformatAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Showing() const;
    void RefreshAll();

    QWidget* FView;
    std::vector<TFader*> FFaders;
    TFaderStrip* FStrip;
    bool FChanged = false;
    bool FStale = false;
    bool FPosted = false;
};
