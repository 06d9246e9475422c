#include "console/uIconGlyph.h"

#include "console/uMod_Icons.h"
#include "framework/uColors.h"
#include "framework/uMod_Main.h"

#include <QAbstractButton>
#include <QIcon>
#include <QImage>

QPixmap IconPixmap(int index, int background, int foreground)
{
    const TIcon* icon = ModuleIcons ? ModuleIcons->GetIcon(index) : nullptr;
    if (!icon)
        return QPixmap();
    // Each pixel's colour comes from the icon's own bit, so a background that
    // equals the set pixels' colour (black) cannot spill into the foreground.
    const QRgb back = ColorFromValue(background).rgba();
    const QRgb fore = ColorFromValue(foreground).rgba();
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < 16; ++x)
            line[x] = icon->Pixel(x, y) ? fore : back;
    }
    return QPixmap::fromImage(image);
}

void SetButtonGlyph(QAbstractButton* button, int index, int background, int foreground)
{
    if (!button)
        return;
    const QPixmap pixmap = IconPixmap(index, background, foreground);
    button->setIcon(pixmap.isNull() ? QIcon() : QIcon(pixmap));
}
