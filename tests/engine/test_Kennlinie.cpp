// Curve arithmetic (points, rebuild, drawing), the curve table text file, the
// patch windows' quick keys and the patch module's editing entries.

#include "TestHelpers.h"

#include "console/uKennlinie.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "framework/uMod_Main.h"

#include <gtest/gtest.h>

namespace {

TKennlinienPunkte Pts(std::initializer_list<QPoint> list)
{
    TKennlinienPunkte p{};
    std::copy(list.begin(), list.end(), p.begin());
    return p;
}

TKennlinienTabelle Identity()
{
    return TKennlinie().Tabelle;
}

TEST(CurveArithmetic, RebuildJoinsPointsAndNeverLeavesTheTable)
{
    const struct {
        const char* Case;
        TKennlinienPunkte Points;
        std::vector<std::pair<int, int>> Expected;   // (x, table[x])
    } cases[] = {
        {"identity", TKennlinie::DefaultPunkte(), {{0, 0}, {1, 1}, {127, 127}, {200, 200}, {255, 255}}},
        {"halves go to even", Pts({{0, 0}, {4, 2}, {8, 4}, {12, 6}, {255, 6}}), {{1, 0}, {3, 2}, {5, 2}, {7, 4}, {255, 6}}},
        // Point 1 at x 0 like point 0: the empty first segment is skipped.
        {"equal x at the start", Pts({{0, 0}, {0, 255}, {100, 255}, {200, 255}, {255, 255}}), {{0, 255}, {50, 255}}},
        // Point 1 dropped at 255 pushes points 2 and 3 to 256 and 257.
        {"points beyond the end", Pts({{0, 0}, {255, 255}, {256, 0}, {257, 0}, {255, 0}}), {{128, 128}, {255, 255}}},
        {"levels out of range", Pts({{0, -1000}, {63, 1000}, {127, 127}, {191, 191}, {255, 255}}), {{0, 0}, {63, 255}}},
        {"huge x", Pts({{-2147483647, 0}, {0, 0}, {127, 127}, {2147483647, 255}, {255, 255}}), {{0, 0}, {127, 127}}},
    };
    for (const auto& c : cases) {
        TKennlinienTabelle table = Identity();
        RebuildCurveTable(c.Points, table);
        for (const auto& [x, y] : c.Expected)
            EXPECT_EQ(table[size_t(x)], y) << c.Case << " x=" << x;
    }
}

TEST(CurveArithmetic, DroppedPointsAreClampedAndOrdered)
{
    const struct {
        const char* Case;
        int Point, X, Y;
        TKennlinienPunkte Expected;
    } cases[] = {
        {"point 2 left of point 1", 2, 30, 155, Pts({{0, 0}, {63, 63}, {64, 100}, {191, 191}, {255, 255}})},
        {"point 0 stays at x 0", 0, 100, 255, Pts({{0, 0}, {63, 63}, {127, 127}, {191, 191}, {255, 255}})},
        {"point 4 stays at x 255", 4, 10, -40, Pts({{0, 0}, {63, 63}, {127, 127}, {191, 191}, {255, 255}})},
        {"point 1 at the far end", 1, 900, 0, Pts({{0, 0}, {255, 255}, {256, 127}, {257, 191}, {255, 255}})},
        {"point 3 outside the canvas", 3, -7, 400, Pts({{0, 0}, {63, 63}, {127, 127}, {128, 0}, {255, 255}})},
    };
    for (const auto& c : cases) {
        TKennlinienPunkte p = TKennlinie::DefaultPunkte();
        DropCurvePoint(p, c.Point, c.X, c.Y);
        EXPECT_EQ(p, c.Expected) << c.Case;
        TKennlinienTabelle table = Identity();
        RebuildCurveTable(p, table);   // must stay inside the table (checked by the sanitizers)
    }
}

TEST(CurveArithmetic, GrabbingAndDrawing)
{
    TKennlinienPunkte p = Pts({{0, 0}, {2, 2}, {127, 127}, {191, 191}, {255, 255}});
    EXPECT_EQ(GrabCurvePoint(p, 1, 254), 1);    // the last point in reach wins
    EXPECT_EQ(GrabCurvePoint(p, 131, 128), -1); // 4 away is out of reach
    EXPECT_EQ(GrabCurvePoint(p, 130, 125), 2);

    TKennlinienTabelle table = Identity();
    EXPECT_TRUE(DrawCurvePixel(table, 10, 0));
    EXPECT_EQ(table[10], 255);
    for (const QPoint& outside : {QPoint(-1, 5), QPoint(256, 5), QPoint(5, -1), QPoint(5, 256)})
        EXPECT_FALSE(DrawCurvePixel(table, outside.x(), outside.y()));
    table[10] = 10;
    EXPECT_EQ(table, Identity());
}

TEST(CurveTableFile, HandWrittenFileIsReadAndWrittenAgainByteIdentical)
{
    QByteArray file;
    for (int i = 0; i < 256; ++i)
        file += QByteArray::number(i) + "=" + (i == 7 ? QByteArray() : QByteArray::number(255 - i)) + "\r\n";
    for (int j = 0; j < 5; ++j)
        file += "SX_" + QByteArray::number(j) + "=" + QByteArray::number(j * 60) + "\r\nSY_" + QByteArray::number(j) +
                "=" + QByteArray::number(255 - j * 60) + "\r\n";
    TTempProgramDir dir;
    dir.Write("kurve.txt", file);
    TCurveTableText content;
    ASSERT_TRUE(ReadCurveTableFile(dir.File("kurve.txt"), content));
    EXPECT_EQ(content.Cells.at(0), "255");
    EXPECT_EQ(content.Cells.at(7), "");
    EXPECT_EQ(content.Points[4], QPoint(240, 15));
    WriteCurveTableFile(dir.File("wieder.txt"), content);
    EXPECT_EQ(dir.Read("wieder.txt"), file);

    EXPECT_FALSE(ReadCurveTableFile(dir.File("fehlt.txt"), content));
}

TEST(CurveTableFile, ReaderTakesOnlyItsNamesAndDefaultsTheRest)
{
    const TCurveTableText c = ParseCurveTableText(
        "x\n5= 17 \n5=99\n005=1\n256=3\n-1=4\nsx_2=40\nSY_2=zz\nSX_9=1\nSY_1=-3\r\nSX_=1\n=\n3=abc");
    EXPECT_EQ(c.Cells.size(), 256);
    EXPECT_EQ(c.Cells.at(5), "17");   // the first line of a name counts
    EXPECT_EQ(c.Cells.at(3), "abc");  // kept as text; the dialog ignores it on OK
    EXPECT_EQ(c.Cells.at(0), "");
    EXPECT_EQ(c.Points, Pts({{0, 0}, {0, -3}, {40, 0}, {0, 0}, {0, 0}}));
    // A cell's name is its number as written: no sign, no blank inside; blanks around cut.
    EXPECT_EQ(ParseCurveTableText("+7=1\n 9 = x \n0=z\n1 0=2\n25 5=3\n").Cells.mid(0, 11),
              QStringList({"z", "", "", "", "", "", "", "", "", "x", ""}));

    TKennlinienTabelle table = Identity();
    QStringList cells(256);
    cells[0] = "255";
    cells[1] = "256";
    cells[2] = "-1";
    cells[3] = "abc";
    cells[4] = "0";
    ApplyCurveTableCells(cells, table);
    EXPECT_EQ(table[0], 255);
    EXPECT_EQ(table[1], 1);
    EXPECT_EQ(table[2], 2);
    EXPECT_EQ(table[3], 3);
    EXPECT_EQ(table[4], 0);
}

TEST(PatchQuickKeys, StepSlotsAndChannelsWithinTheirRanges)
{
    const struct {
        char Key;
        int C, D, Next, Channel;
    } cases[] = {
        {'n', 1, 1, 2, 2},     {'g', 5, 10, 11, 5},    {'v', 5, 10, 11, 4}, {'N', 5, 10, 9, 6},
        {'G', 5, 10, 9, 5},    {'V', 5, 10, 9, 4},     {'n', 7, 512, 512, 8}, {'N', 7, 1, 1, 8},
        {'n', 510, 3, 4, 510}, {'v', 0, 3, 4, 0},
    };
    for (const auto& c : cases) {
        int next = -5, channel = -5;
        ASSERT_TRUE(PatchChannelQuickKey(QChar(c.Key), c.C, c.D, next, channel)) << c.Key;
        EXPECT_EQ(next, c.Next) << c.Key << " d=" << c.D;
        EXPECT_EQ(channel, c.Channel) << c.Key << " c=" << c.C;
    }
    int next, channel;
    EXPECT_FALSE(PatchChannelQuickKey(QChar('5'), 1, 1, next, channel));
    EXPECT_TRUE(PatchCurveQuickKey(QChar('g'), 512, next));
    EXPECT_EQ(next, 512);
    EXPECT_TRUE(PatchCurveQuickKey(QChar('N'), 9, next));
    EXPECT_EQ(next, 8);
    EXPECT_FALSE(PatchCurveQuickKey(QChar('v'), 9, next));
}

TEST(PatchEditing, SlotEditsAndCurvesFromTheEditorReachTheFile)
{
    TEngine e;
    e.Start();
    TModulePatch& p = *ModulePatch;
    p.SetSlot(5, 7, 0);
    EXPECT_TRUE(p.Modified);
    EXPECT_EQ(ModuleLichtpult->GetKanal(7).PatchText, "5, 7");
    p.SetSlot(5, 600, -1);   // out of range: the channel stays
    EXPECT_EQ(p.Patches[4].Pultkanal, 7);

    EXPECT_EQ(p.NewCurve(), -1);   // no editor installed
    bool answer = false;
    p.SetCurveEditor([&answer](TKennlinie& curve, bool isNew) {
        curve.SetName(isNew ? "Neu" : "Umbenannt");
        DropCurvePoint(curve.Punkte, 2, 127, 255);   // the middle point down to 0
        RebuildCurveTable(curve.Punkte, curve.Tabelle);
        return answer;
    });
    EXPECT_EQ(p.NewCurve(), -1);
    answer = true;
    ASSERT_EQ(p.NewCurve(), 1);
    EXPECT_FALSE(p.EditCurve(0));   // the linear curve is never edited
    ASSERT_TRUE(p.EditCurve(1));
    EXPECT_EQ(p.GetCurveNames(), QStringList({"1:1 (linear)", "Umbenannt"}));

    p.SetSlot(3, 3, 1);
    p.SetFileName(e.Dir.File("p.pvp"));
    p.SaveToFile();
    p.ClearDocument();
    p.LoadFromFile();
    ASSERT_EQ(p.CurveCount(), 2);
    EXPECT_EQ(p.Patches[2].Kennlinie, 1);
    EXPECT_EQ(p.GetCurve(1).MapLevel(127), 0);
    EXPECT_EQ(p.GetCurve(1).MapLevel(63), 63);
}

} // namespace
