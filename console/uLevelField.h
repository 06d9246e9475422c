#pragma once
// The level field of a fader (see uFader.h).

#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <memory>

class QPainter;
class TFaderStrip;

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
