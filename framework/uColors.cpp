#include "framework/uColors.h"

QColor ColorFromValue(int value)
{
    if (value == TransparentColorValue)
        return QColor(0, 0, 0, 0);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int ValueFromColor(const QColor& color)
{
    if (color.alpha() == 0)
        return TransparentColorValue;
    const QColor rgb = color.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}
