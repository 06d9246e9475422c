#pragma once
// Colours are kept as 32-bit values with the byte order 0x00BBGGRR; the value 10
// stands for "transparent". These two helpers are the only conversions to and from
// QColor and are used at paint time only.

#include <QColor>

// 10 gives a fully transparent colour; any other value its red, green and blue bytes.
QColor ColorFromValue(int value);
// A colour with alpha 0 gives 10; any other colour its 0x00BBGGRR value.
int ValueFromColor(const QColor& color);

// The value that means transparent.
constexpr int TransparentColorValue = 10;
