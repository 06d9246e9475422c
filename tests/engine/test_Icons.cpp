// The icon table: run-length decoding, loading icons.ini (including a bad digit),
// and the shipped icon file. The glyphs painted from the table are tested with the forms.

#include "IconTableTest.h"
#include "TestHelpers.h"

#include "console/uMod_Icons.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <gtest/gtest.h>

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
