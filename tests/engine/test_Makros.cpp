// The macro buttons on the whole engine: press and release lines, the M command
// with good and bad numbers, the show section "Makros" (read, written, a show
// after a show), a new show, macros that press themselves and long chains of
// macros that press the next.

#include "TestHelpers.h"

#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class MakroTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();
    }
    void TearDown() override { Engine.Stop(); }

    void Run(const QStringList& lines) { Engine.Main->ExecuteLines(lines, false); }
    static int Pegel(int nr) { return ModuleLichtpult->GetKanal(nr).Pegel; }
    static void SetLines(int n, const QStringList& lines) { ModuleMakro->GetMacro(n)->Lines = lines; }
    static QString Section(const QStringList& lines)
    {
        return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    }
    static void LoadShowText(const QString& text)
    {
        TStringIniFile ini;
        ini.SetText(text);
        ModuleMakro->LoadIni(ini);
    }
    static QStringList Saved()
    {
        QStringList lines;
        ModuleMakro->SaveToStrings(lines);
        return lines;
    }

    TEngine Engine;
};

}   // namespace

TEST_F(MakroTest, PressRunsTheLinesWithoutUAndReleaseTheULinesWithoutTheirU)
{
    // Empty lines never run; "u" and "U" both mark release lines; order is kept.
    SetLines(0, {"K1P10", "uK2P20", "", "K1P30", "UK2P40", "U", "K3P5"});
    Run({"M0D"});
    EXPECT_EQ(Pegel(1), 30);
    EXPECT_EQ(Pegel(2), 0);
    EXPECT_EQ(Pegel(3), 5);
    Run({"M0U"});
    EXPECT_EQ(Pegel(1), 30);
    EXPECT_EQ(Pegel(2), 40);

    // The sub-tokens press and release in the order written, in either case.
    SetLines(1, {"K1P255", "uK1P0"});
    const struct {
        const char* Line;
        int Pegel;
    } cases[] = {
        {"M1D", 255}, {"M1E", 0},  {"M1DU", 0},   {"M1UD", 255},  {"m1d", 255},         {"M1u", 0},
        {"M1", 77},   {"M1X", 77}, {"M1XD", 255}, {"M1EUD", 255}, {"W0123456M1D", 255},
    };
    for (const auto& c : cases) {
        Run({"K1P77"});
        Run({c.Line});
        EXPECT_EQ(Pegel(1), c.Pegel) << c.Line;
    }
    EXPECT_TRUE(TErrorLog::Instance().Lines().isEmpty());
}

TEST_F(MakroTest, BadAndOutOfRangeNumbersDoNothing)
{
    SetLines(5, {"K5P77"});
    const int count = ModuleMakro->MakroCount();
    for (const char* line :
         {"M2001E", "M-1E", "M5 E", "M99999999999E", "M2147483648E", "M5.0E", "M\"5\"E", "M-2147483648E", "MXE"}) {
        Run({line});
        QStringList tokens;
        TokenizeCommand(QString::fromLatin1(line) + 'E', tokens);
        ModuleMakro->ExecuteCommand(tokens, 0);   // also past the dispatcher
        EXPECT_EQ(Pegel(5), 0) << line;
        EXPECT_EQ(ModuleMakro->MakroCount(), count) << line;
    }
    QStringList lone{"M"};
    ModuleMakro->ExecuteCommand(lone, 0);
    QStringList none;
    ModuleMakro->ExecuteCommand(none, 0);

    // Numbers as integers are read: a leading blank, a sign, hexadecimal.
    for (const char* line : {"M 5E", "M+5D", "M$5E"}) {
        Run({"K5P0", line});
        EXPECT_EQ(Pegel(5), 77) << line;
    }

    // The highest number makes the list hold 2001 macros, and no more.
    Run({"M2000E"});
    EXPECT_EQ(ModuleMakro->MakroCount(), 2001);
    Run({"M2001E"});
    EXPECT_EQ(ModuleMakro->MakroCount(), 2001);
    EXPECT_EQ(ModuleMakro->GetMacro(2001), nullptr);
    EXPECT_EQ(ModuleMakro->GetMacro(-1), nullptr);
    ModuleMakro->PressMacro(2001, true, false);
    ModuleMakro->PressMacro(-5, false, false);
    EXPECT_TRUE(TErrorLog::Instance().Lines().isEmpty());
}

TEST_F(MakroTest, AWindowMenuTagShowsOnlyAPageThatExists)
{
    while (ModuleMakro->PageCount() < 3)
        ModuleMakro->NewMacroWindow();
    const int pages = ModuleMakro->PageCount();
    QSignalSpy shown(ModuleMakro->Signals(), &TMakroSignals::showPageRequested);
    const struct {
        int Tag;
        bool Shown;
        int Page;
        bool TopLeft;
    } cases[] = {
        {0, true, 0, false},
        {pages - 1, true, pages - 1, false},
        {100 + pages - 1, true, pages - 1, true},
        {pages, false, 0, false},
        {100 + pages, false, 0, false},   // one past the last page
        {-1, false, 0, false},
        {99, false, 0, false},
    };
    for (const auto& c : cases) {
        shown.clear();
        ModuleMakro->ShowMacroPageClick(c.Tag);
        ASSERT_EQ(shown.size(), c.Shown ? 1 : 0) << c.Tag;
        if (c.Shown) {
            EXPECT_EQ(shown.first(), QVariantList({c.Page, c.TopLeft})) << c.Tag;
        }
    }
}

TEST_F(MakroTest, ASectionWrittenByHandIsReadAndWrittenAgainByteForByte)
{
    const QStringList hand{
        "[Makros]",
        "MakroCount=12",
        "EditCount=3",
        "Name_0=Licht an",
        "Text_0=K1P255|UK1P0|",
        "Icon_0=3",
        "VF_0=-2147483633",
        "HF_0=255",
        "Name_4=",
        "Text_4=|D5K2P100|",
        "Icon_4=-1",
        "VF_4=0",
        "HF_4=10",
        // No name, no lines, but the first icon in colours of its own: a glyph, kept.
        "Name_9=",
        "Text_9=",
        "Icon_9=0",
        "VF_9=0",
        "HF_9=255",
        QStringLiteral("Name_11=Bühne – Pause"),
        "Text_11=A1F\"Pause.wav\"|;Kommentar|",
        "Icon_11=12",
        "VF_11=16711680",
        "HF_11=10",
        "Edit_0=Block A",
        "Edit_1=",
        QStringLiteral("Edit_2=Schluß"),
    };
    LoadShowText(Section(hand));
    EXPECT_EQ(ModuleMakro->MakroCount(), 12);
    EXPECT_EQ(ModuleMakro->GetMacro(0)->Lines, QStringList({"K1P255", "UK1P0"}));
    EXPECT_EQ(ModuleMakro->GetMacro(4)->Lines, QStringList({"", "D5K2P100"}));
    EXPECT_EQ(ModuleMakro->GetMacro(0)->VF, TMakro::ButtonFace);
    // Macros without keys read as reset: no icon.
    EXPECT_EQ(ModuleMakro->GetMacro(1)->Icon, -1);
    EXPECT_EQ(ModuleMakro->GetEditText(2), QStringLiteral("Schluß"));
    EXPECT_EQ(ModuleMakro->GetEditText(3), QString());
    EXPECT_EQ(ModuleMakro->GetEditText(-1), QString());

    const QString exported = Engine.Main->ExportText(*ModuleMakro);
    EXPECT_EQ(exported, Section(hand));

    // Through a whole show file too.
    ASSERT_TRUE(SaveProject(Engine.Dir.File("a.pvs")));
    ModuleMain->NewProject();
    ASSERT_TRUE(OpenProject(Engine.Dir.File("a.pvs")));
    EXPECT_EQ(Engine.Main->ExportText(*ModuleMakro), Section(hand));
}

TEST_F(MakroTest, CountsFromAFileAreHeldToWhatCanExist)
{
    const struct {
        const char* Text;
        int Makros;
        int Edits;
    } cases[] = {
        {"MakroCount=2147483647\nEditCount=2147483647\nName_2000=x\nName_2001=y\nEdit_99=e\nEdit_100=f", 2001, 100},
        {"MakroCount=-5\nEditCount=-1\nName_0=x", 0, 0},
        {"MakroCount=abc\nEditCount=250", 0, 100},
        {"MakroCount=2002\nEditCount=100", 2001, 100},
        {"MakroCount=$10\nEditCount= 4", 16, 4},
    };
    for (const auto& c : cases) {
        LoadShowText(QStringLiteral("[Makros]\n") + QString::fromLatin1(c.Text));
        EXPECT_EQ(ModuleMakro->MakroCount(), c.Makros) << c.Text;
        EXPECT_EQ(ModuleMakro->EditTexte.size(), c.Edits) << c.Text;
    }
    LoadShowText("[Makros]\nMakroCount=2147483647\nName_2000=x\nEditCount=100\nEdit_99=e");
    EXPECT_EQ(ModuleMakro->GetMacro(2000)->Name, "x");
    EXPECT_EQ(ModuleMakro->GetEditText(99), "e");
    // A text ending in '|' gives no extra line.
    LoadShowText("[Makros]\nMakroCount=1\nText_0=a|b|");
    EXPECT_EQ(ModuleMakro->GetMacro(0)->Lines, QStringList({"a", "b"}));
    // An imported text sets every macro it counts: one it holds no key of gets
    // a new macro's settings.
    TMakro& m = *ModuleMakro->GetMacro(1);
    m.Name = "alt";
    m.Lines = QStringList{"K1P1"};
    m.Icon = 5;
    m.VF = 7;
    m.HF = 3;
    TStringIniFile ini;
    ini.SetText("[Makros]\nMakroCount=3\nName_2=neu\n");
    ModuleMakro->ImportIni(ini);
    EXPECT_EQ(std::make_tuple(m.Name, m.Lines, m.Icon, m.VF, m.HF),
              std::make_tuple(QString(), QStringList(), -1, 0, 10));
    EXPECT_EQ(ModuleMakro->GetMacro(2)->Name, "neu");
}

TEST_F(MakroTest, AShowOpenedAfterAnotherKeepsNothingOfTheOldMacros)
{
    Engine.Dir.Write("alt.pvs",
                     HandMadeShow("[Makros]\r\nMakroCount=150\r\nEditCount=10\r\nName_3=A3\r\nText_3=K3P3|\r\n"
                                  "Name_120=Alt\r\nText_120=K1P1|UK1P2|\r\nIcon_120=7\r\nEdit_8=alt\r\n"));
    const QStringList neu{"[Makros]",  "MakroCount=5", "EditCount=2", "Name_1=Neu", "Text_1=K2P2|",
                          "Icon_1=-1", "VF_1=0",       "HF_1=10",     "Edit_0=neu"};
    Engine.Dir.Write("neu.pvs", HandMadeShow(Section(neu)));
    QSignalSpy reloaded(ModuleMakro->Signals(), &TMakroSignals::macrosReloaded);

    ASSERT_TRUE(OpenProject(Engine.Dir.File("alt.pvs")));
    EXPECT_EQ(ModuleMakro->GetMacro(120)->Name, "Alt");
    ASSERT_TRUE(OpenProject(Engine.Dir.File("neu.pvs")));
    EXPECT_EQ(reloaded.count(), 2);

    EXPECT_EQ(ModuleMakro->MakroCount(), 5);
    EXPECT_EQ(ModuleMakro->EditTexte, QStringList({"neu", ""}));
    EXPECT_EQ(ModuleMakro->GetMacro(3)->Name, "");
    EXPECT_TRUE(ModuleMakro->GetMacro(3)->Lines.isEmpty());
    // Saved, the new show holds only its own macros.
    ASSERT_TRUE(SaveProject(Engine.Dir.File("neu2.pvs")));
    qsizetype used = 0;
    const QString text = DecodeShowString(Engine.Dir.Read("neu2.pvs"), used);
    EXPECT_TRUE(text.startsWith(Section(neu))) << text.toStdString();

    // The old show's macro 120 neither runs nor comes back.
    Run({"M120E"});
    EXPECT_EQ(Pegel(1), 0);
    const TMakro& m = *ModuleMakro->GetMacro(120);
    EXPECT_TRUE(m.Name.isEmpty() && m.Lines.isEmpty() && m.Icon == 0);

    // A module text changes only the macros it counts; the rest stays.
    Engine.Main->ImportText(*ModuleMakro, "[Makros]\r\nMakroCount=1\r\nName_0=Import\r\n");
    EXPECT_EQ(ModuleMakro->MakroCount(), 121);
    EXPECT_EQ(ModuleMakro->GetMacro(0)->Name, "Import");
    EXPECT_EQ(ModuleMakro->GetMacro(1)->Name, "Neu");
}

TEST_F(MakroTest, ANewShowResetsTheFirstHundredMacrosAndDropsTheRest)
{
    LoadShowText("[Makros]\nMakroCount=3\nEditCount=2\nName_2=Zwei\nText_2=K1P1|\nIcon_2=4\nEdit_1=x");
    Run({"M1500D"});
    ModuleMakro->SetEditText(7, "Block");
    EXPECT_EQ(ModuleMakro->EditTexte.size(), 9);   // the list grows one beyond the caption
    ModuleMakro->SetEditText(100, "zu weit");
    ModuleMakro->SetEditText(-1, "zu weit");
    EXPECT_EQ(ModuleMakro->EditTexte.size(), 9);
    QSignalSpy reset(ModuleMakro->Signals(), &TMakroSignals::macrosReset);

    ModuleMain->NewProject();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(ModuleMakro->MakroCount(), 100);
    EXPECT_TRUE(ModuleMakro->EditTexte.isEmpty());
    const TMakro& m = *ModuleMakro->GetMacro(2);
    EXPECT_TRUE(m.Name.isEmpty() && m.Lines.isEmpty());
    EXPECT_EQ(m.Icon, -1);
    EXPECT_EQ(m.HF, 10);
    EXPECT_EQ(m.VF, 0);

    // Only macro 5 holds anything: the count says 100, keys only for 5.
    ModuleMakro->GetMacro(5)->Name = QStringLiteral("Fünf");
    EXPECT_EQ(Saved(), QStringList({"[Makros]", "MakroCount=100", "EditCount=0", QStringLiteral("Name_5=Fünf"),
                                    "Text_5=", "Icon_5=-1", "VF_5=0", "HF_5=10"}));
}

TEST_F(MakroTest, MacrosThatPressThemselvesStopAtTheFirstRepeat)
{
    SetLines(0, {"M0E", "M0E"});
    SetLines(1, {"M2D"});
    SetLines(2, {"UK9P9", "M1D"});
    SetLines(3, {"K3P200", "uK3P0"});
    // Press and release of macro 4 run each other: the second press stops it.
    SetLines(4, {"K4P1", "M4U", "uM4D"});
    SetLines(5, {"uK5P1", "uM4D"});

    QStringList remote;
    TokenizeCommand("M1EE", remote);
    int expected = 0;
    for (const QString source : {"lines M0E", "lines M1D", "remote", "delayed", "lines M4D", "lines M5U"}) {
        if (source == "remote") {
            EXPECT_NO_THROW(Engine.Main->ExecuteCommand(remote, 1));
        } else if (source == "delayed") {
            Run({"D0M0D"});
            Engine.Main->ClockTick();
        } else {
            Run({source.mid(6)});
        }
        ++expected;
        EXPECT_EQ(ErrorLogCount("Befehle zu tief verschachtelt: M"), expected) << source.toStdString();
    }
    EXPECT_EQ(ErrorLogCount("Application-Exception"), 0);
    EXPECT_EQ(ErrorLogCount("Befehle zu tief verschachtelt: M0"), 2);
    EXPECT_EQ(ErrorLogCount("Befehle zu tief verschachtelt: M4"), 2);
    EXPECT_EQ(Pegel(9), 0);
    EXPECT_EQ(Pegel(4), 1);

    // The console goes on: macros run and every tick computes the frame.
    const std::int64_t ticks = Engine.Main->TickCount;
    Run({"M3D"});
    Engine.Main->ClockTick();
    EXPECT_EQ(Engine.Main->TickCount, ticks + 1);
    EXPECT_EQ(ModulePatch->DmxOutput[0], 0);
    EXPECT_EQ(ModulePatch->DmxOutput[2], 200);
    Run({"M3U"});
    Engine.Main->ClockTick();
    EXPECT_EQ(ModulePatch->DmxOutput[2], 0);
}

TEST_F(MakroTest, AChainOfAHundredMacrosEachPressingTheNextRunsToItsEnd)
{
    // Macro i presses and releases macro i + 1 with its own press and release;
    // the last one holds channel 1. The same chain may run again and again.
    constexpr int Chain = 100;
    for (int i = 0; i < Chain; ++i)
        SetLines(i, {QStringLiteral("M%1D").arg(i + 1), QStringLiteral("UM%1U").arg(i + 1)});
    SetLines(Chain, {"K1P255", "uK1P0"});
    for (int round = 0; round < 2; ++round) {
        Run({"M0D"});
        EXPECT_EQ(Pegel(1), 255);
        Run({"M0U"});
        EXPECT_EQ(Pegel(1), 0);
    }
    // Chains long beyond any show's need end at the nesting limit, once.
    for (int i = 0; i <= TModuleMakro::MaxMakro; ++i)
        SetLines(i, {QStringLiteral("M%1D").arg(i + 1)});
    Run({"M0D"});
    EXPECT_EQ(ErrorLogCount("Befehle zu tief verschachtelt"), MaxCommandDepth <= TModuleMakro::MaxMakro ? 1 : 0);
    EXPECT_EQ(ErrorLogCount("Application-Exception"), 0);
}
