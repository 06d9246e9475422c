// The glyphs painted from the icon table in a button's colours.

#include "engine/IconTableTest.h"

#include "console/uIconGlyph.h"

#include <QImage>
#include <QToolButton>
#include <gtest/gtest.h>

TEST_F(IconTable, PixmapColoursEachPixelFromItsOwnBit)
{
    Icons.AddIcon(QStringLiteral("8F0F").repeated(8));   // even rows set, odd rows clear
    const auto at = [](const QPixmap& p, int y) { return p.toImage().pixelColor(3, y); };

    // With a black background the clear pixels stay black instead of taking the foreground.
    QPixmap p = IconPixmap(0, 0, 0x0000FF);
    ASSERT_EQ(p.size(), QSize(16, 16));
    EXPECT_EQ(at(p, 0), QColor(255, 0, 0));
    EXPECT_EQ(at(p, 1), QColor(0, 0, 0));

    // Blue byte first: 0xFF0000 is blue. Background 10 leaves clear pixels transparent.
    p = IconPixmap(0, 10, 0xFF0000);
    EXPECT_EQ(at(p, 0), QColor(0, 0, 255));
    EXPECT_EQ(at(p, 1).alpha(), 0);

    // Foreground 10 makes the set pixels transparent instead.
    p = IconPixmap(0, 0x00FF00, 10);
    EXPECT_EQ(at(p, 0).alpha(), 0);
    EXPECT_EQ(at(p, 1), QColor(0, 255, 0));
}

TEST_F(IconTable, ButtonGlyphSetAndCleared)
{
    Icons.AddIcon(QStringLiteral("FFFF"));
    QToolButton button;
    SetButtonGlyph(&button, 0, 10, 0);
    EXPECT_FALSE(button.icon().isNull());
    EXPECT_EQ(button.icon().pixmap(16, 16).toImage().pixelColor(5, 5), QColor(0, 0, 0));
    SetButtonGlyph(&button, -1, 10, 0);
    EXPECT_TRUE(button.icon().isNull());
    SetButtonGlyph(&button, 0, 10, 0);
    SetButtonGlyph(&button, 1, 10, 0);   // beyond the table
    EXPECT_TRUE(button.icon().isNull());
}
