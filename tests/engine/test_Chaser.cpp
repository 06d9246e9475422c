// The chaser editor's logic on the headless engine: a sequence into the grid and
// back, the 0-scene and steps from the console, the LED view with its templates,
// the template file, and chaser numbers or step counts that name no chaser.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uChaser.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <gtest/gtest.h>

namespace {

class ChaserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Tests count error-log lines: none may come from a test before.
        TErrorLog::Instance().Clear();
        Engine.Start();
        ASSERT_TRUE(ModuleLichtpult);
    }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static QStringList Kanaele()
    {
        QStringList lines;
        ModuleLichtpult->SaveToStrings(lines);
        return lines;
    }

    TEngine Engine;
};

// A hand-written template file in Windows-1252: two templates with empty cells
// (-1); every key of the format in its order.
QByteArray HandWrittenTemplates()
{
    QByteArray text = "[Allgemein]\r\nCount=2\r\n";
    for (int i = 0; i < 2; ++i) {
        text += "\r\n[Vorlage" + QByteArray::number(i) + "]\r\nName=" + (i == 0 ? QByteArray("RGBW B\xfchne") : QByteArray("Zweite")) + "\r\n";
        for (int r = 1; r <= 8; ++r) {
            text += "Color_" + QByteArray::number(r) + "=" + QByteArray::number(r * 1000 + i) + "\r\n";
            for (int c = 1; c <= 8; ++c)
                text += "W_" + QByteArray::number(r) + QByteArray::number(c) + "=" +
                        QByteArray::number(c == 4 ? -1 : (r * 10 + c + i) % 256) + "\r\n";
        }
    }
    return text;
}

} // namespace

TEST_F(ChaserTest, ASequenceLoadsIntoTheGridAndGoesBackUnchanged)
{
    TKanal& k = K(575);   // chaser 5
    k.SetEintragZahl(3);
    k.SetSchrittZahl(4);
    k.SetTakt(7);
    k.LedDefs = QStringLiteral("1,9");
    const int targets[] = {3, 600, 12};   // 600: a chaser channel, no console column
    for (int i = 1; i <= 3; ++i) {
        k.SetEintrag(i, -1, targets[i - 1]);
        k.SetEintrag(i, 0, 10 * i);
        for (int s = 1; s <= 4; ++s)
            k.SetEintrag(i, s, (i * s) % 3 == 0 ? 0 : i * 40 + s);
    }
    K(12).SetModus(kmLTP);
    const QStringList before = Kanaele();

    TChaserEditor e(*ModuleLichtpult);
    e.LoadChaser(5);
    ASSERT_EQ(e.ChaserKanal, &k);
    EXPECT_EQ(e.ColumnCount(), 4);
    EXPECT_EQ(e.RowCount(), 7);
    EXPECT_EQ(e.Cell(3, 0), QStringLiteral("12"));
    EXPECT_EQ(e.Cell(3, 1), QStringLiteral("L"));
    EXPECT_EQ(e.Cell(2, 2), QStringLiteral("20"));
    EXPECT_EQ(e.Cell(1, 3), QStringLiteral("41"));
    EXPECT_EQ(e.Cell(3, 3), QString());   // a 0 shows empty
    EXPECT_EQ(e.ColumnOfChannel(3), 1);
    EXPECT_EQ(e.ColumnOfChannel(12), 3);
    EXPECT_EQ(e.LedColumnCount(), 3);

    e.GridToSequence();
    EXPECT_EQ(Kanaele(), before);

    // A typed step value reaches the chaser at once; a malformed one counts 0.
    e.EditCell(2, 4, QStringLiteral("77"));
    EXPECT_EQ(k.GetEintrag(2, 2), 77);
    e.EditCell(2, 4, QStringLiteral("x"));
    EXPECT_EQ(k.GetEintrag(2, 2), 0);
}

TEST_F(ChaserTest, NumbersThatNameNoChaserEditNoChannel)
{
    // Without the guard, 0 edits group channel 60, 61..159 template channels and
    // negative numbers groups or console channels.
    const QStringList before = Kanaele();
    TChaserEditor e(*ModuleLichtpult);
    e.LoadChaser(5);
    for (int n : {0, -1, -570, 61, 100, 159, 2147483647}) {
        SCOPED_TRACE(n);
        e.LoadChaser(n);
        EXPECT_EQ(e.ChaserKanal, nullptr);
        EXPECT_EQ(e.DefinitionVisible(), n > 0);
        e.SetName(QStringLiteral("x"));
        e.SetTakt(9);
        e.SetFadeModus(2);
        e.SetSteps(5);
        e.SetLedDefs(QStringLiteral("1"));
        e.EditCell(1, 3, QStringLiteral("9"));
        e.StoreNullszene();
        e.GridToSequence();
    }
    EXPECT_EQ(Kanaele(), before);
}

TEST_F(ChaserTest, TheFirstAndTheLastChaserOpen)
{
    TChaserEditor e(*ModuleLichtpult);
    for (int n : {1, ChaserAnzahl}) {
        SCOPED_TRACE(n);
        e.LoadChaser(n);
        ASSERT_EQ(e.ChaserKanal, &K(570 + n));
        e.SetName(QStringLiteral("Chaser %1").arg(n));
        EXPECT_EQ(K(570 + n).Name, QStringLiteral("Chaser %1").arg(n));
    }
    EXPECT_EQ(ChaserAnzahl, 60);
}

TEST_F(ChaserTest, StepCountsAreHeldToTwoThroughNinetyNine)
{
    TChaserEditor e(*ModuleLichtpult);
    e.LoadChaser(1);
    const struct {
        int Typed, Steps;
    } cases[] = {{4, 4}, {0, 2}, {1, 2}, {-5, 2}, {99, 99}, {100, 99}, {2147483647, 99}, {3, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        e.SetSteps(c.Typed);
        EXPECT_EQ(e.StepCount, c.Steps);
        EXPECT_EQ(e.RowCount(), c.Steps + 3);
        EXPECT_EQ(K(571).SchrittZahl, c.Steps);
    }
    // A chaser stored with fewer steps than two is shown, and kept, with two.
    K(572).SetSchrittZahl(1);
    e.LoadChaser(2);
    EXPECT_EQ(e.StepCount, 2);
    EXPECT_EQ(K(572).SchrittZahl, 2);
}

TEST_F(ChaserTest, TheStepCountAndTaktShownAreTheChasersOwn)
{
    // A chaser never programmed (a new show) has 0 steps and Takt 0; the editor
    // shows 2 and 1, which it had shown before too.
    const struct {
        int Steps, Takt, ShownSteps, ShownTakt;
    } cases[] = {{0, 0, 2, 1}, {5, 7, 5, 7}, {1, -3, 2, 1}, {150, 500, 99, 300}, {2, 300, 2, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Steps);
        K(572).SetSchrittZahl(c.Steps);
        K(572).SetTakt(c.Takt);
        TChaserEditor e(*ModuleLichtpult);
        e.LoadChaser(2);
        EXPECT_EQ(e.StepCount, c.ShownSteps);
        EXPECT_EQ(K(572).SchrittZahl, c.ShownSteps);
        EXPECT_EQ(K(572).Takt, c.ShownTakt);
    }
}

TEST_F(ChaserTest, TheNullszeneTakesTheFirst190ChangedChannels)
{
    for (int c = 1; c <= 200; ++c)
        K(c).SetPegel(c % 200 + 1);
    K(5).SetBlackout(K(5).Pegel);   // at its blackout level: not taken
    TChaserEditor e(*ModuleLichtpult);
    e.LoadChaser(3);
    e.StoreNullszene();
    ASSERT_EQ(e.ColumnCount(), 191);
    TKanal& k = K(573);
    EXPECT_EQ(k.EintragZahl, 190);
    EXPECT_EQ(k.GetEintrag(4, -1), 4);
    EXPECT_EQ(k.GetEintrag(5, -1), 6);
    EXPECT_EQ(k.GetEintrag(190, -1), 191);
    EXPECT_EQ(k.GetEintrag(5, 0), 7);
    EXPECT_EQ(e.ColumnOfChannel(191), 190);
    EXPECT_EQ(e.ColumnOfChannel(192), 0);
    EXPECT_EQ(e.ColumnOfChannel(5), 0);

    // Store a step: a channel at level 0 leaves its cell empty; then on the console.
    K(1).SetPegel(0);
    K(2).SetPegel(99);
    e.StoreStep(4);
    EXPECT_EQ(e.Cell(1, 4), QString());
    EXPECT_EQ(e.Cell(2, 4), QStringLiteral("99"));
    e.GridToSequence();
    EXPECT_EQ(k.GetEintrag(2, 2), 99);
    K(250).SetPegel(40);
    e.StepToConsole(4);
    EXPECT_EQ(K(250).Pegel, 0);   // black-out first
    EXPECT_EQ(K(2).Pegel, 99);
    EXPECT_EQ(K(3).Pegel, 4);

    // The right click toggles between the 0-scene value and empty.
    EXPECT_TRUE(e.ToggleCell(3, 3));
    EXPECT_EQ(e.Cell(3, 3), e.Cell(3, 2));
    EXPECT_EQ(k.GetEintrag(3, 1), 4);
    EXPECT_TRUE(e.ToggleCell(3, 3));
    EXPECT_EQ(e.Cell(3, 3), QString());
    EXPECT_EQ(k.GetEintrag(3, 1), 0);
    EXPECT_FALSE(e.ToggleCell(3, 2));
}

TEST_F(ChaserTest, LedColumnsTemplatesAndTheLedView)
{
    TChaserEditor e(*ModuleLichtpult);
    const struct {
        const char* Text;
        QStringList Headers;
    } parses[] = {
        {"1,9,0,x,17", {"1", "9", "17"}}, {"", {""}}, {",,-3", {""}}, {"0005", {"0005"}},
    };
    for (const auto& p : parses) {
        e.ParseLedColumns(QString::fromLatin1(p.Text));
        QStringList headers;
        for (int led = 1; led < e.LedColumnCount(); ++led)
            headers.append(e.LedHeader(led));
        EXPECT_EQ(headers, p.Headers) << p.Text;
    }

    for (int c = 1; c <= 4; ++c)
        K(c).SetPegel(10);
    K(509).SetPegel(10);
    e.LoadChaser(7);
    e.StoreNullszene();   // channels 1..4 and 509 are entries
    e.SetLedDefs(QStringLiteral("1,509,600"));
    EXPECT_EQ(K(577).LedDefs, QStringLiteral("1,509,600"));
    TLedVorlage v;
    v.W[1] = {255, 0, 0, -1, 9, 9, 9, 9};   // row 2: red
    e.EditCell(4, 4, QStringLiteral("33"));
    e.ApplyTemplateRow(1, 2, v, 2);
    EXPECT_EQ(e.LedCell(1, 2), QStringLiteral("255"));
    TKanal& k = K(577);
    EXPECT_EQ(k.GetEintrag(1, 2), 255);
    EXPECT_EQ(k.GetEintrag(2, 2), 0);
    EXPECT_EQ(k.GetEintrag(4, 2), 33);   // -1 leaves the channel alone
    // LEDs whose channels reach past the console channels touch nothing beyond.
    e.ApplyTemplateRow(2, 1, v, 1);
    e.ApplyTemplateRow(3, 1, v, 1);
    EXPECT_EQ(k.GetEintrag(5, 1), 0);

    // Steps beyond the chaser's step count (2 here) have no LED cells: nothing
    // is written there, in the LED view or in the grid.
    ASSERT_EQ(e.StepCount, 2);
    const QStringList sequence = Kanaele();
    e.ApplyTemplateRow(1, 3, v, 2);
    e.ApplyTemplateRow(1, ChaserSchritteMax, v, 2);
    EXPECT_EQ(e.LedCell(1, 3), QString());
    EXPECT_EQ(e.Cell(1, 2 + 3), QString());
    EXPECT_EQ(Kanaele(), sequence);

    e.RebuildLedGrid(&v);
    for (int s = 3; s <= ChaserSchritteMax; ++s)
        ASSERT_EQ(e.LedCell(1, s), QString()) << s;
    EXPECT_EQ(e.LedCell(1, 2), QStringLiteral("255"));   // row 2 matches
    EXPECT_EQ(e.LedCell(1, 1), QStringLiteral("0"));      // all zero: row 1, black
    e.RebuildLedGrid(nullptr);
    EXPECT_EQ(e.LedCell(1, 2), QString());
}

TEST_F(ChaserTest, SparseTemplateSectionsReadOnlyTheKeysTheyHold)
{
    // A template without a section has the colours 0 (not a new template's); keys
    // in any case; row 1 channel 1 ("W_11") apart from row 11 (none).
    Engine.Dir.Write("Data/t.ini", "[Allgemein]\r\nCount=3\r\n[vorlage1]\r\nw_38=5\r\nCOLOR_8=77\r\nW_11=-1\r\n"
                                   "[Vorlage2]\r\nName=Z\r\nColor_1=3\r\n");
    TLedVorlagen list;
    ASSERT_TRUE(list.LoadFromFile(Engine.Dir.File("Data/t.ini")));
    ASSERT_EQ(list.Count(), 3);
    const struct {
        int Template, Row, Channel, Level, Color;
    } cases[] = {
        {0, 1, 1, 0, 0}, {0, 8, 8, 0, 0}, {1, 3, 8, 5, 0}, {1, 8, 1, 0, 77}, {1, 1, 1, -1, 0},
        {1, 1, 2, 0, 0}, {2, 1, 1, 0, 3},  {2, 2, 1, 0, 0},
    };
    for (const auto& c : cases) {
        const TLedVorlage& v = *list.Get(c.Template);
        EXPECT_EQ(v.W[std::size_t(c.Row - 1)][std::size_t(c.Channel - 1)], c.Level) << c.Template << "/" << c.Row;
        EXPECT_EQ(v.Color[std::size_t(c.Row - 1)], c.Color) << c.Template << "/" << c.Row;
    }
    EXPECT_EQ(list.Get(0)->Name, QStringLiteral("Neue Vorlage"));
    EXPECT_EQ(list.Get(1)->Name, QStringLiteral("Neue Vorlage"));
    EXPECT_EQ(list.Get(2)->Name, QStringLiteral("Z"));
}

TEST_F(ChaserTest, EveryTemplateWithASectionIsReadAndSavedAgainWhole)
{
    // 250 templates, as "Neue Vorlage" and "Speichern" write them.
    TLedVorlagen list;
    for (int i = 0; i < 250; ++i)
        list.Add().Name = QStringLiteral("V%1").arg(i);
    list.Get(249)->W[7][7] = 99;
    const QString path = Engine.Dir.File("Data/ChaserLedVorlagen.ini");
    list.SaveToFile(path);
    const QByteArray written = Engine.Dir.Read("Data/ChaserLedVorlagen.ini");
    TLedVorlagen back;
    ASSERT_TRUE(back.LoadFromFile(path));
    ASSERT_EQ(back.Count(), 250);
    EXPECT_EQ(back.Get(249)->Name, QStringLiteral("V249"));
    EXPECT_EQ(back.Get(249)->W[7][7], 99);
    back.SaveToFile(path);
    EXPECT_EQ(Engine.Dir.Read("Data/ChaserLedVorlagen.ini"), written);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("ChaserLedVorlagen")), 0);

    // A count above the sections adds at most MaxCount templates without one.
    const QByteArray sections = written.mid(written.indexOf("\r\n\r\n"));
    const struct {
        QByteArray Text;
        int Count;
    } cases[] = {
        {"[Allgemein]\r\nCount=300" + sections, 300},
        {"[Allgemein]\r\nCount=2147483647" + sections, 250 + TLedVorlagen::MaxCount},
        {"[Allgemein]\r\nCount=2147483647\r\n[Vorlage0]\r\n[Vorlage999]\r\n[Vorlage07]\r\n",
         TLedVorlagen::MaxCount + 1},
    };
    for (const auto& c : cases) {
        Engine.Dir.Write("Data/t.ini", c.Text);
        ASSERT_TRUE(back.LoadFromFile(Engine.Dir.File("Data/t.ini")));
        EXPECT_EQ(back.Count(), c.Count) << c.Text.left(40).constData();
    }
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Count=2147483647")), 2);
}

TEST_F(ChaserTest, TheTemplateFileIsReadAndWrittenByteIdentical)
{
    const QByteArray hand = HandWrittenTemplates();
    Engine.Dir.Write("Data/ChaserLedVorlagen.ini", hand);
    const QString path = Engine.Dir.File("Data/ChaserLedVorlagen.ini");
    TLedVorlagen list;
    ASSERT_TRUE(list.LoadFromFile(path));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0)->Name, QStringLiteral("RGBW Bühne"));
    EXPECT_EQ(list.Get(1)->Color[7], 8001);
    EXPECT_EQ(list.Get(0)->W[2][3], -1);
    list.SaveToFile(path);
    EXPECT_EQ(Engine.Dir.Read("Data/ChaserLedVorlagen.ini"), hand);

    // A count above the sections gives default templates; missing keys read 0; a
    // count beyond any sense is held and logged.
    const struct {
        QByteArray Text;
        int Count;
    } cases[] = {
        {"[Allgemein]\r\nCount=2\r\n[Vorlage0]\r\nName=A\r\nW_11=-1\r\n", 2},
        {"[Allgemein]\r\nCount=2147483647\r\n", TLedVorlagen::MaxCount},
        {"[Allgemein]\r\nCount=200\r\n", 200},   // exactly the most: read whole, not logged
        {"[Allgemein]\r\nCount=201\r\n", 200},
        {"[Allgemein]\r\nCount=-4\r\n", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        Engine.Dir.Write("Data/t.ini", c.Text);
        ASSERT_TRUE(list.LoadFromFile(Engine.Dir.File("Data/t.ini")));
        EXPECT_EQ(list.Count(), c.Count) << c.Text.constData();
    }
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Count=2147483647")), 1);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Count=201 ")), 1);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("ChaserLedVorlagen")), 2);
    Engine.Dir.Write("Data/t.ini", cases[0].Text);
    list.LoadFromFile(Engine.Dir.File("Data/t.ini"));
    EXPECT_EQ(list.Get(0)->W[0][0], -1);
    EXPECT_EQ(list.Get(0)->W[0][1], 0);
    EXPECT_EQ(list.Get(1)->Name, QStringLiteral("Neue Vorlage"));
    EXPECT_EQ(list.Get(1)->Color[1], 0);
    EXPECT_FALSE(list.LoadFromFile(Engine.Dir.File("Data/fehlt.ini")));
    EXPECT_EQ(list.Count(), 0);

    // A new template: the default colours; saved with 8 colours and 64 values.
    list.Add();
    EXPECT_EQ(list.Get(0)->Color[1], 0x0000FF);
    EXPECT_EQ(list.Get(0)->Color[7], 0xFFFFFF);
    list.Get(0)->Name = QStringLiteral("zwei\nZeilen");
    const QStringList lines = list.ToLines();
    EXPECT_EQ(lines.size(), 2 + 1 + 2 + 8 + 64);
    EXPECT_TRUE(lines.contains(QStringLiteral("Name=zwei Zeilen")));
}
