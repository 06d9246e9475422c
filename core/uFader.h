#pragma once
// One fader of a console window: a narrow panel bound to one channel. It shows
// the channel's number, mode letter, level and output, moves the level with a
// vertical track bar or typed digits, flashes the channel with a button, and
// re-binds its slot to another channel when a number is typed.

#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QStyleOptionSlider;
class TKanal;

// The vertical track bar of a fader: 255 at the top. Besides the knob (the
// level) it shows the channel's output as a band from the output down to the
// bottom of the groove. A new output repaints only the band between its old
// and its new top, a new level only the knob's old and new place.
//
// It is painted from pictures the style draws once per look (size, state,
// palette, style): the background with the tick marks and the groove, and the
// knob, which is placed at the level. Only the band is drawn on every paint.
// The bar paints its whole area (on the window colour of its palette).
class TFaderTrackBar : public QSlider {
public:
    explicit TFaderTrackBar(QWidget* parent = nullptr);

    int Output() const { return FOutput; }
    void SetOutput(int v);
    // While true, a new value or output does not ask for a repaint: the owner
    // repaints the bar together with others.
    bool Quiet = false;
    // What a move of the knob from one position to another repaints, and a
    // move of the band's top from one output to another: the column of the
    // groove and the knob, in whole stripes (the whole bar before its first paint).
    QRect KnobMoveArea(int from, int to) const;
    QRect BandMoveArea(int from, int to) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void sliderChange(SliderChange change) override;

private:
    struct TLook;
    const TLook& Look(const QStyleOptionSlider& opt);
    // The column of the groove and the knob (the whole bar before its first paint).
    QRect MovingArea() const;
    // The rows of the column that hold area, rounded out to whole stripes.
    QRect Stripes(const QRect& area) const;

    int FOutput = 0;
    std::shared_ptr<const TLook> FLook;
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct TLook;
    const QPixmap& Picture();

    QString FLevelText;
    // The line edit shows its own text: while edited, and typed text afterwards.
    bool FLive = false;
    std::shared_ptr<TLook> FLook;
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
    // changed are not repainted; their areas (in the fader) are added to it.
    bool Refresh(QRegion* dirty = nullptr);
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
    bool ShowPegel(int v, QRegion* dirty);
    bool ShowOutput(int v, QRegion* dirty);
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
    bool FChanged = false;
    bool FStale = false;
    bool FPosted = false;
};
