#pragma once
// One fader of a console window: a narrow panel bound to one channel. It shows
// the channel's number, mode letter, level and output, moves the level with a
// vertical track bar or typed digits, flashes the channel with a button, and
// re-binds its slot to another channel when a number is typed.

#include <QSlider>
#include <QToolButton>
#include <QWidget>

#include <functional>

class QLineEdit;
class QMenu;
class TKanal;

// The vertical track bar of a fader: 255 at the top. Besides the knob (the
// level) it shows the channel's output as a band from the output down to the
// bottom of the groove. A new output only repaints the track bar.
class TFaderTrackBar : public QSlider {
public:
    explicit TFaderTrackBar(QWidget* parent = nullptr);

    int Output() const { return FOutput; }
    void SetOutput(int v);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FOutput = 0;
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

    // A change notification; ignored unless k is the bound channel.
    void KanalChanged(const TKanal* k, int code);
    // Focuses a part (fpTrackBar, fpModus, fpNummer, fpPegel).
    void FocusPart(int part);

    // Every typed character is offered to the owner's keyboard rule first, with
    // the part it was typed in.
    std::function<void(TFader& fader, int part, QChar c)> OnKey;

    QLineEdit* edtNummer = nullptr;
    QLineEdit* edtPegel = nullptr;
    QLineEdit* edtModus = nullptr;
    TFaderTrackBar* tbFader = nullptr;
    TFlashButton* btnFlash = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
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
