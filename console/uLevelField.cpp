#include "console/uLevelField.h"

#include "console/uFaderLook.h"
#include "console/uFaderStrip.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

using namespace FaderLooks;

namespace {

constexpr int MaxPictures = 1024;   // level texts of one look

} // namespace

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
