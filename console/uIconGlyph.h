#pragma once
// Icons of the icon table painted on buttons in their owner's colours.

#include <QPixmap>

class QAbstractButton;

// Icon index of ModuleIcons as a 16x16 pixmap: set pixels in foreground, clear
// pixels in background (both 0x00BBGGRR values, 10 = transparent). A null pixmap
// when there is no such icon.
QPixmap IconPixmap(int index, int background, int foreground);

// Shows icon index on the button in the given colours; an index below 0 or beyond
// the table leaves the button without glyph.
void SetButtonGlyph(QAbstractButton* button, int index, int background, int foreground);
