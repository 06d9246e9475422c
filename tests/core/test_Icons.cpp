// The icon table: run-length decoding, loading icons.ini (including a bad digit),
// the shipped icon file, and the glyphs painted in a button's colours.

#include "TestHelpers.h"

#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uIconGlyph.h"
#include "core/uMod_Icons.h"
#include "core/uMod_Main.h"
#include "core/uStringIniFile.h"

#include <QImage>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

int SetPixels(const TIcon& icon)
{
    int n = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            n += icon.Pixel(x, y);
    return n;
}

// An icon table loaded from a temporary Data folder and published as ModuleIcons.
class IconTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOldDataDir = DataDir;
        FOldIcons = ModuleIcons;
        DataDir = Dir.File(QStringLiteral("Data/"));
        ModuleIcons = &Icons;
        TErrorLog::Instance().Clear();
    }
    void TearDown() override
    {
        DataDir = FOldDataDir;
        ModuleIcons = FOldIcons;
    }
    void Load(const QByteArray& ini)
    {
        Dir.Write(QStringLiteral("Data/icons.ini"), ini);
        Icons.Init();
    }

    TTempProgramDir Dir;
    TModuleIcons Icons;

private:
    QString FOldDataDir;
    TModuleIcons* FOldIcons = nullptr;
};

}  // namespace

TEST_F(IconTable, DecodesRunsRowByRow)
{
    Icons.AddIcon(QStringLiteral("FFFF"));                 // 2 x 128 set
    Icons.AddIcon(QStringLiteral("7F7F"));                 // 2 x 128 clear
    Icons.AddIcon(QStringLiteral("8F0F").repeated(8));    // rows alternately set and clear
    Icons.AddIcon(QStringLiteral("  \t "));                // blank: nothing added
    Icons.AddIcon(QStringLiteral("808182"));               // 1 set, 2 set, 3 set: the rest stays clear
    Icons.AddIcon(QStringLiteral("7Fff81F"));              // runs past pixel 255 and a lone digit ignored
    ASSERT_EQ(Icons.IconCount(), 5);

    EXPECT_EQ(SetPixels(*Icons.GetIcon(0)), 256);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(1)), 0);
    const TIcon& rows = *Icons.GetIcon(2);
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(rows.Rows[size_t(y)], y % 2 == 0 ? 0xFFFF : 0) << "row " << y;
    EXPECT_EQ(Icons.GetIcon(3)->Rows[0], 0xFC00);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(3)), 6);
    const TIcon& tail = *Icons.GetIcon(4);
    EXPECT_FALSE(tail.Pixel(15, 7));
    EXPECT_TRUE(tail.Pixel(0, 8));
    EXPECT_EQ(SetPixels(tail), 128);
}

TEST_F(IconTable, MissingKeyMovesLaterIconsUp)
{
    Load("[Icons]\r\nIconsCount=3\r\nIcon_1=FFFF\r\nIcon_3=8F0F8F0F\r\nIcon_4=FFFF\r\n");
    ASSERT_EQ(Icons.IconCount(), 2);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(0)), 256);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(1)), 32);
    // Out of range is "no icon", whatever a show or command asks for.
    EXPECT_EQ(Icons.GetIcon(2), nullptr);
    EXPECT_EQ(Icons.GetIcon(-1), nullptr);
    EXPECT_EQ(Icons.GetIcon(999), nullptr);
    EXPECT_TRUE(TErrorLog::Instance().Lines().isEmpty());
}

TEST_F(IconTable, HugeCountReadsOnlyThePresentKeys)
{
    Load("[icons]\nICONSCOUNT=2000000000\nicon_2=7F7F\nIcon_1=FFFF\nIcon_01=8F0F\n");
    ASSERT_EQ(Icons.IconCount(), 2);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(0)), 256);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(1)), 0);
}

TEST_F(IconTable, MissingFileGivesEmptyTable)
{
    Icons.Init();
    EXPECT_EQ(Icons.IconCount(), 0);
    EXPECT_EQ(Icons.GetIcon(0), nullptr);
}

TEST_F(IconTable, BadDigitIsLoggedAndLaterIconsKeepTheirIndex)
{
    Load("[Icons]\r\nIconsCount=3\r\nIcon_1=FFFF\r\nIcon_2=8280G0FF\r\nIcon_3=8F0F\r\n");
    ASSERT_EQ(Icons.IconCount(), 3);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(0)), 256);
    EXPECT_EQ(Icons.GetIcon(1)->Rows[0], 0xF000);   // the runs before the bad pair
    EXPECT_EQ(SetPixels(*Icons.GetIcon(1)), 4);
    EXPECT_EQ(SetPixels(*Icons.GetIcon(2)), 16);

    const QStringList log = TErrorLog::Instance().Lines();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].endsWith(QStringLiteral("  F     \"G\" ist kein hexadezimales Zeichen."))) << log[0].toStdString();

    // Called directly, the error reaches the caller; the partial icon is still added.
    EXPECT_THROW(Icons.AddIcon(QStringLiteral("FF xx")), EPvError);
    EXPECT_EQ(Icons.IconCount(), 4);
}

TEST_F(IconTable, ShippedIconFileLoadsCleanly)
{
    DataDir = QStringLiteral(PV_PROGRAM_FOLDER "/Data/");
    const TStringIniFile ini(DataDir + QStringLiteral("icons.ini"));
    Icons.Init();
    EXPECT_GE(Icons.IconCount(), 20);
    EXPECT_EQ(Icons.IconCount(), ini.ReadInteger(QStringLiteral("Icons"), QStringLiteral("IconsCount"), 0));
    EXPECT_TRUE(TErrorLog::Instance().Lines().isEmpty());
    for (int i = 0; i < Icons.IconCount(); ++i) {
        const int n = SetPixels(*Icons.GetIcon(i));
        EXPECT_TRUE(n > 0 && n < 256) << "icon " << i;
    }
}

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
