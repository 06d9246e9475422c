#pragma once
// One fader of a console window: a narrow panel bound to one channel. It shows
// the channel's number, mode letter, level and output, moves the level with a
// vertical track bar or typed digits, flashes the channel with a button, and
// re-binds its slot to another channel when a number is typed.

#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QSlider>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QStyleOptionSlider;
class TFaderStrip;
class TKanal;

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

// The level field of a fader. While the operator does not edit it, the field
// shows the level text it is given from pictures of the field drawn once per
// text and look; its own line-edit text is set only when it takes the focus.
// While it has the focus every new level still replaces the text, as the field
// always did; text typed but not entered stays shown after the focus leaves,
// until the next level replaces it.
class TLevelField : public QLineEdit {
public:
    explicit TLevelField(QWidget* parent = nullptr);

    // The level text the field shows when not edited.
    const QString& LevelText() const { return FLevelText; }
    // True when the text changed; repaint false leaves the repaint to the owner.
    bool SetLevelText(const QString& text, bool repaint = true);
    // True while the field shows its own line-edit text (and paints itself).
    bool Live() const { return FLive; }
    // Paints area (in field coordinates) of the level picture with the
    // field's origin at origin, nothing outside it.
    void PaintArea(QPainter& painter, const QRect& area, const QPoint& origin);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TFaderStrip;
    struct TLook;
    const QPixmap& Picture();
    void SetLive(bool live);
    void Repaint();

    QString FLevelText;
    // The line edit shows its own text: while edited, and typed text afterwards.
    bool FLive = false;
    std::shared_ptr<TLook> FLook;
    // The picture of FPictureText in the current look; null once the look may have changed.
    QPixmap FPicture;
    QString FPictureText;
    QPointer<TFaderStrip> FStrip;
};

// The flash button: reports presses and releases of the left and the right
// mouse button; a right click opens no menu.
class TFlashButton : public QToolButton {
public:
    explicit TFlashButton(QWidget* parent = nullptr);

    std::function<void(Qt::MouseButton button, bool down)> OnButton;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The fader paints its own background (the window colour, as beneath it), so
// that a repaint of its track bar or level field ends at the fader.
class TFader : public QWidget {
public:
    static constexpr int FaderWidth = 40;

    // The parts a key or a focus request names.
    static constexpr int fpTrackBar = 1;
    static constexpr int fpModus = 4;
    static constexpr int fpNummer = 8;
    static constexpr int fpPegel = 9;

    explicit TFader(QWidget* parent = nullptr);

    // The bound channel; setting it refreshes every part of the control.
    TKanal* Kanal() const { return FKanal; }
    void SetKanal(TKanal* k);

    int FaderPegel() const { return FFaderPegel; }
    void SetFaderPegel(int v);
    int KanalPegel() const { return FKanalPegel; }
    void SetKanalPegel(int v);
    int FaderIndex = 0;    // slot 0..23 in its window
    int ZeilenIndex = -1;  // the page shown, -1 for none
    int Modus() const { return FModus; }
    // The kind of the bound channel: number colour, mode text, read-only number.
    void SetModus(int kind);

    // A change notification; ignored unless k is the bound channel. Shown at once.
    void KanalChanged(const TKanal* k, int code);
    // Shows the bound channel's level and output where they differ from what
    // the fader shows; true when something changed. With dirty, the parts that
    // changed are not repainted; their areas (in the fader's parent, in whole
    // stripes of the track bar) are added to it.
    bool Refresh(std::vector<QRect>* dirty = nullptr);
    // The level text shown (also while the level field is not edited).
    const QString& PegelText() const { return edtPegel->LevelText(); }
    // Focuses a part (fpTrackBar, fpModus, fpNummer, fpPegel).
    void FocusPart(int part);

    // Every typed character is offered to the owner's keyboard rule first, with
    // the part it was typed in.
    std::function<void(TFader& fader, int part, QChar c)> OnKey;

    QLineEdit* edtNummer = nullptr;
    TLevelField* edtPegel = nullptr;
    QLineEdit* edtModus = nullptr;
    TFaderTrackBar* tbFader = nullptr;
    TFlashButton* btnFlash = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool ShowPegel(int v, std::vector<QRect>* dirty);
    bool ShowOutput(int v, std::vector<QRect>* dirty);
    void AddBarArea(const QRect& area, std::vector<QRect>& dirty) const;
    void UpdateGlyph();
    void UpdateModusText();
    void PlaceParts();
    int PartOf(QObject* o) const;
    void TrackBarChange(int value);
    void NummerChange(const QString& text);
    void PegelEnter();
    void FlashButton(Qt::MouseButton button, bool down);
    void ModusClick();

    TKanal* FKanal = nullptr;
    int FFaderPegel = 0;
    int FKanalPegel = 0;
    int FModus = 0;
    bool FUpdating = false;
    // The channel flashed by the left button and its level before the press.
    TKanal* FFlashKanal = nullptr;
    int FFlashSaved = 0;
};

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
