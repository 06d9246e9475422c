#pragma once
// One fader of a console window: a narrow panel bound to one channel. It shows
// the channel's number, mode letter, level and output, moves the level with a
// vertical track bar or typed digits, flashes the channel with a button, and
// re-binds its slot to another channel when a number is typed. Its track bar
// and level field are units of their own (uFaderTrackBar, uLevelField), and so
// is the strip that paints them for a whole window (uFaderStrip).

#include "console/uFaderTrackBar.h"
#include "console/uLevelField.h"

#include <QToolButton>
#include <QWidget>

#include <functional>
#include <vector>

class TKanal;

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
