// The console module's pages, categories and window list, its show sections
// Kanäle, Kategorien and Lichtpult through the real show container, and the
// channel export and import, on the whole engine, headless.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uStringIniFile.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

class LichtpultPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        L = ModuleLichtpult;
        ASSERT_TRUE(L);
        TErrorLog::Instance().Clear();
    }
    void TearDown() override { Engine.Stop(); }

    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    static QString Text(const QStringList& lines) { return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"); }
    static QStringList Saved()
    {
        QStringList lines;
        ModuleLichtpult->SaveToStrings(lines);
        return lines;
    }
    // Opens a show file holding text, as the file menu does.
    bool Open(const QString& name, const QString& text)
    {
        Engine.Dir.Write(name, EncodeShowString(text));
        return OpenProject(Engine.Dir.File(name));
    }
    static std::vector<int> SlotNrs(const TLichtpultZeile& z)
    {
        std::vector<int> nrs;
        for (int i = 0; i <= z.LastSlot; ++i)
            nrs.push_back(z.Slots[static_cast<std::size_t>(i)].Nr);
        return nrs;
    }
    static QStringList PageNames()
    {
        QStringList names;
        for (const auto& z : ModuleLichtpult->LichtpultZeilen)
            names << z->Name;
        return names;
    }

    TEngine Engine;
    TModuleLichtpult* L = nullptr;
};

// Exactly what the module writes for such a show.
const QStringList HandShow{
    "",
    "[Kanäle]",
    "Name_12=Verfolger links", "Sta_12=3", "Ic_12=7", "VF_12=255", "HF_12=65535", "Fl_12=200", "BO_12=20",
    "Name_571=Lauflicht", "Sta_571=0", "Ic_571=-1", "VF_571=0", "HF_571=10", "Fl_571=255", "BO_571=0",
    "FM_571=3", "Ta_571=5", "CS_571=2", "Ka_571=3", "LedDefs_571=R;G;B",
    "CF_571_-1=1;2;3;", "CF_571_0=0;0;0;", "CF_571_1=255;0;0;", "CF_571_2=0;255;128;",
    "",
    "[Kategorien]",
    "Zahl=4",
    "Name_1=nach Kanal", "Name_2=nach Position", "Name_3=nach Funktion", "Name_4=Bühne links",
    "",
    "[Lichtpult]",
    "Zahl=3",
    "Name_0=Front", "Node_0=0", "Cmd_0=L4K1L4K2",
    "Name_1=Gruppen", "Node_1=3", "Cmd_1=L4G1L20C60",
    "Name_2=Ohne Kategorie", "Node_2=7", "Cmd_2=L4K100",
};

} // namespace

TEST_F(LichtpultPagesTest, NewShowHasFivePagesOfChannels1To60AndWritesOnlyCategoriesAndPages)
{
    K(3).SetName("Spot");
    K(3).SetPegel(200);
    L->Kategorien << "Extra";
    L->NewProject();

    ASSERT_EQ(L->PageCount(), 5);
    EXPECT_EQ(L->Kategorien, (QStringList{"nach Kanal", "nach Position", "nach Funktion"}));
    for (int p = 0; p < 5; ++p) {
        const TLichtpultZeile& z = *L->GetLichtpultZeile(p);
        EXPECT_EQ(z.Name, QStringLiteral("Kanäle %1 - %2").arg(p * 12 + 1).arg(p * 12 + 12));
        EXPECT_EQ(z.Node, 0);
        EXPECT_EQ(z.Order, p);
        std::vector<int> expected;
        for (int i = 1; i <= 12; ++i)
            expected.push_back(p * 12 + i);
        EXPECT_EQ(SlotNrs(z), expected);
        // 40-pixel faders 4 pixels apart, 20 pixels after the sixth.
        EXPECT_EQ(z.Slots[5].X, 224);
        EXPECT_EQ(z.Slots[6].X, 284);
    }
    EXPECT_EQ(L->GetLichtpultZeile(5), nullptr);
    EXPECT_EQ(L->GetLichtpultZeile(-1), nullptr);

    const QStringList saved = Saved();
    EXPECT_EQ(saved.mid(0, 14), (QStringList{"", "[Kanäle]",
                                             "", "[Kategorien]", "Zahl=3", "Name_1=nach Kanal", "Name_2=nach Position",
                                             "Name_3=nach Funktion",
                                             "", "[Lichtpult]", "Zahl=5", "Name_0=Kanäle 1 - 12", "Node_0=0",
                                             "Cmd_0=L4K1L4K2L4K3L4K4L4K5L4K6L20K7L4K8L4K9L4K10L4K11L4K12"}));
    EXPECT_EQ(saved.size(), 11 + 5 * 3);
}

TEST_F(LichtpultPagesTest, WhichChannelsAreWritten)
{
    // A chaser is not reset by a new show and is written without other settings.
    K(600).SetSchrittZahl(2);
    K(600).SetEintragZahl(1);
    K(600).SetTakt(7);
    K(600).SetEintrag(1, -1, 12);
    K(600).SetEintrag(1, 2, 255);
    L->NewProject();
    // A level, colours or a sequence without two steps and an entry are no reason.
    K(1).SetPegel(99);
    K(2).SetVF(255);
    K(2).SetHF(0);
    K(572).SetSchrittZahl(1);
    K(572).SetEintragZahl(4);
    K(5).SetName("Spot");
    K(6).SetModus(kmBlinken);

    const QStringList lines = Saved();
    const QStringList kanaele = lines.mid(2, lines.indexOf("[Kategorien]") - 3);
    EXPECT_EQ(kanaele, (QStringList{
                           "Name_5=Spot", "Sta_5=0", "Ic_5=-1", "VF_5=0", "HF_5=10", "Fl_5=255", "BO_5=0",
                           "Name_6=", "Sta_6=3", "Ic_6=-1", "VF_6=0", "HF_6=10", "Fl_6=255", "BO_6=0",
                           "Name_600=", "Sta_600=0", "Ic_600=-1", "VF_600=0", "HF_600=10", "Fl_600=255", "BO_600=0",
                           "FM_600=0", "Ta_600=7", "CS_600=2", "Ka_600=1", "LedDefs_600=",
                           "CF_600_-1=12;", "CF_600_0=0;", "CF_600_1=0;", "CF_600_2=255;",
                       }));
}

TEST_F(LichtpultPagesTest, AShowWrittenByHandIsReadAndWrittenBackUnchanged)
{
    QSignalSpy pages(L->Signals(), &TLichtpultSignals::pagesChanged);
    QSignalSpy refresh(L->Signals(), &TLichtpultSignals::refreshWindowsRequested);
    ASSERT_TRUE(Open("hand.pvs", Text(HandShow)));
    EXPECT_EQ(pages.count(), 1);
    EXPECT_EQ(refresh.count(), 1);

    const TKanal& k = K(12);
    EXPECT_EQ(k.Name, "Verfolger links");
    EXPECT_EQ((std::vector<int>{k.Modus, k.Icon, k.VF, k.HF, k.FlashPegel, k.BlackoutPegel}),
              (std::vector<int>{kmBlinken, 7, 255, 65535, 200, 20}));
    const TKanal& c = K(571);
    EXPECT_EQ((std::vector<int>{c.FadeModus, c.Takt, c.SchrittZahl, c.EintragZahl}), (std::vector<int>{3, 5, 2, 3}));
    EXPECT_EQ(c.LedDefs, "R;G;B");
    EXPECT_EQ((std::vector<int>{c.GetEintrag(3, -1), c.GetEintrag(1, 1), c.GetEintrag(3, 2)}), (std::vector<int>{3, 255, 128}));

    EXPECT_EQ(L->Kategorien.last(), "Bühne links");
    EXPECT_EQ(PageNames(), (QStringList{"Front", "Gruppen", "Ohne Kategorie"}));
    const TLichtpultZeile& g = *L->GetLichtpultZeile(1);
    EXPECT_EQ(SlotNrs(g), (std::vector<int>{511, 630}));
    EXPECT_EQ(g.Slots[1].SlotKind, kkSequenz);
    // A page whose category does not exist stays and is written as it was.
    EXPECT_EQ(L->GetLichtpultZeile(2)->Node, 7);

    EXPECT_EQ(Saved(), HandShow);
}

TEST_F(LichtpultPagesTest, CategoriesAndPagesAsReadFromAFile)
{
    TStringIniFile ini;
    ini.SetText(Text({"[Kategorien]", "Zahl=2", "Name_1=Bühne", "Name_2=Saal",
                      "[Lichtpult]", "Zahl=3",
                      "Name_0=Saal", "Node_0=1", "Cmd_0=L4K5",
                      "Name_1=Front", "Node_1=0", "Cmd_1=",
                      "Name_2=Ohne Knoten", "Node_2=x1"}));
    L->LoadIni(ini);
    // Fewer than three categories: the defaults instead.
    EXPECT_EQ(L->Kategorien, (QStringList{"nach Kanal", "nach Position", "nach Funktion"}));
    // Sorted by category, then by position; the positions renumbered.
    EXPECT_EQ(PageNames(), (QStringList{"Front", "Ohne Knoten", "Saal"}));
    EXPECT_EQ(L->GetLichtpultZeile(2)->Order, 2);
    EXPECT_EQ(L->GetLichtpultZeile(0)->LastSlot, -1);

    // Blank and missing names are skipped.
    ini.SetText(Text({"[Kategorien]", "Zahl=5", "Name_1=a", "Name_2=  ", "Name_3=b", "Name_5=c"}));
    L->LoadIni(ini);
    EXPECT_EQ(L->Kategorien, (QStringList{"a", "b", "c"}));
    EXPECT_EQ(L->PageCount(), 0);
}

TEST_F(LichtpultPagesTest, SequenceKeysAreReadWithoutHfAndNegativeHfIsIgnored)
{
    K(573).SetEintrag(1, 1, 77);
    TStringIniFile ini;
    ini.SetText(Text({"[Kanäle]",
                      "Ka_573=4", "CF_573_1=10;x;30", "CF_573_2=;5;",
                      "Name_7=Nur Name",
                      "Name_8=Negativ", "Sta_8=2", "HF_8=-1",
                      "HF_9=5"}));
    L->LoadIni(ini);
    const TKanal& c = K(573);
    EXPECT_EQ((std::vector<int>{c.FadeModus, c.Takt, c.SchrittZahl, c.EintragZahl}), (std::vector<int>{0, 25, 2, 4}));
    // Malformed gives 0; a value without its ';' is 0, and so is every one after it.
    EXPECT_EQ((std::vector<int>{c.GetEintrag(1, 1), c.GetEintrag(2, 1), c.GetEintrag(3, 1), c.GetEintrag(4, 1)}),
              (std::vector<int>{10, 0, 0, 0}));
    EXPECT_EQ((std::vector<int>{c.GetEintrag(1, 2), c.GetEintrag(2, 2), c.GetEintrag(3, 2)}), (std::vector<int>{0, 5, 0}));

    EXPECT_EQ(K(7).Name, "");
    EXPECT_EQ(K(8).Name, "");
    EXPECT_EQ(K(8).Modus, kmHTP);
    EXPECT_EQ(K(9).HF, 5);
    EXPECT_EQ(K(9).FlashPegel, 255);

    // Only step-sequence channels read sequence keys.
    ini.SetText(Text({"[Kanäle]", "CS_20=5", "Ka_20=1"}));
    L->LoadIni(ini);
    EXPECT_EQ(K(20).SchrittZahl, 0);
}

TEST_F(LichtpultPagesTest, AShowWithoutASequencesKeysGivesItTheDefaults)
{
    ASSERT_TRUE(Open("a.pvs", Text({"[Kanäle]", "FM_574=2", "Ta_574=7", "CS_574=3", "Ka_574=2", "LedDefs_574=rg",
                                    "CF_574_1=9;8;"})));
    ASSERT_EQ(K(574).GetEintrag(2, 1), 8);
    // Keys in another spelling of the number, or of other channels only.
    ASSERT_TRUE(Open("b.pvs", Text({"[Kanäle]", "Ka_0574=4", "CS_+574=5", "Ta_575=9", "HF_574x=1"})));
    const TKanal& c = K(574);
    EXPECT_EQ((std::vector<int>{c.FadeModus, c.Takt, c.SchrittZahl, c.EintragZahl}), (std::vector<int>{0, 25, 2, 0}));
    EXPECT_EQ(c.LedDefs, "");
    EXPECT_EQ(c.GetEintrag(2, 1), 0);
    EXPECT_EQ(K(575).Takt, 9);
    // The same keys in other letter cases are the channel's.
    ASSERT_TRUE(Open("c.pvs", Text({"[KANÄLE]", "ta_574=6", "ka_574=1", "cf_574_-1=3;"})));
    EXPECT_EQ((std::vector<int>{c.Takt, c.EintragZahl, c.GetEintrag(1, -1)}), (std::vector<int>{6, 1, 3}));
}

TEST_F(LichtpultPagesTest, OpeningAShowForgetsThePreviousShowsChannelSettings)
{
    ASSERT_TRUE(Open("a.pvs", Text({"[Kanäle]", "Name_5=Spot", "Sta_5=1", "Ic_5=3", "VF_5=9", "HF_5=8", "Fl_5=100", "BO_5=50",
                                    "CS_572=3", "Ka_572=2", "CF_572_-1=1;2;", "CF_572_3=255;255;"})));
    ASSERT_EQ(K(5).Name, "Spot");
    ASSERT_EQ(K(572).GetEintrag(2, 3), 255);
    K(5).SetPegel(77);

    ASSERT_TRUE(Open("b.pvs", Text({"[Kanäle]", "CS_572=2", "Ka_572=1", "CF_572_-1=4;"})));
    const TKanal& k = K(5);
    EXPECT_EQ(k.Name, "");
    EXPECT_EQ((std::vector<int>{k.Modus, k.Icon, k.VF, k.HF, k.FlashPegel, k.BlackoutPegel}),
              (std::vector<int>{kmHTP, -1, 0, 10, 255, 0}));
    EXPECT_EQ(k.Pegel, 77);   // what is on stage stays
    // Raising the counts later shows no cells of the previous show.
    EXPECT_EQ(K(572).GetEintrag(1, -1), 4);
    EXPECT_EQ(K(572).GetEintrag(2, -1), 0);
    EXPECT_EQ(K(572).GetEintrag(2, 3), 0);
    EXPECT_EQ(K(572).GetEintrag(1, 3), 0);
    // A module import is no show: it changes only the channels it names.
    K(6).SetName("Alt");
    ModuleMain->ImportText(*L, Text({"[Kanäle]", "HF_7=10", "Name_7=Neu"}));
    EXPECT_EQ(K(6).Name, "Alt");
    EXPECT_EQ(K(7).Name, "Neu");
    EXPECT_EQ(K(572).GetEintrag(1, -1), 4);
    // A show without entries for the channel clears its table all the same.
    for (const char* c : {"Ka_572=0", "CS_572=-2", "HF_1=10"}) {
        ASSERT_TRUE(Open("a.pvs", Text({"[Kanäle]", "CS_572=3", "Ka_572=2", "CF_572_3=255;255;"})));
        ASSERT_EQ(K(572).GetEintrag(2, 3), 255);
        ASSERT_TRUE(Open("c.pvs", Text({"[Kanäle]", c})));
        EXPECT_EQ(K(572).GetEintrag(2, 3), 0) << c;
    }
}

TEST_F(LichtpultPagesTest, HugeCountsInAFileNeitherHangNorFlood)
{
    TStringIniFile ini;
    ini.SetText(Text({"[Kanäle]", "CS_575=2147483647", "Ka_575=2147483647", "CF_575_1=9;8;", "CF_575_99=1;",
                      "[Kategorien]", "Zahl=2147483647", "Name_1=a", "Name_2=b", "Name_3=c",
                      "[Lichtpult]", "Zahl=2000000000", "Name_0=Erste", "Name_9999=Letzte", "Name_10000=Zu viel"}));
    L->LoadIni(ini);

    const TKanal& c = K(575);
    EXPECT_EQ(c.SchrittZahl, INT_MAX);
    EXPECT_EQ(c.EintragZahl, INT_MAX);
    EXPECT_EQ((std::vector<int>{c.GetEintrag(1, 1), c.GetEintrag(2, 1), c.GetEintrag(1, 99)}), (std::vector<int>{9, 8, 1}));
    EXPECT_EQ(L->Kategorien, (QStringList{"a", "b", "c"}));
    ASSERT_EQ(L->PageCount(), TModuleLichtpult::MaxShowListCount);
    EXPECT_EQ(L->GetLichtpultZeile(9999)->Name, "Letzte");
    const QStringList log = TErrorLog::Instance().Lines();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log.at(0).contains("  W     Kategorien: Zahl=2147483647")) << log.at(0).toStdString();
    EXPECT_TRUE(log.at(1).contains("  W     Lichtpult: Zahl=2000000000")) << log.at(1).toStdString();

    // Written back: the counts as read, one line per table column, one value per entry.
    const QStringList lines = Saved();
    EXPECT_TRUE(lines.contains("CS_575=2147483647"));
    EXPECT_TRUE(lines.contains("CF_575_99=1" + QString(";0").repeated(191) + ";"));
    EXPECT_FALSE(lines.contains("CF_575_100="));
}

TEST_F(LichtpultPagesTest, MovingPagesAndSettingSlotChannels)
{
    L->GetLichtpultZeile(4)->SetNode(1);
    L->SortLichtpultZeilen();
    QSignalSpy pages(L->Signals(), &TLichtpultSignals::pagesChanged);

    L->MovePage(0, -1);
    L->MovePage(3, 2);
    EXPECT_EQ(PageNames().first(), "Kanäle 1 - 12");
    EXPECT_EQ(pages.count(), 0);

    L->MovePage(0, 1);
    EXPECT_EQ(PageNames(), (QStringList{"Kanäle 13 - 24", "Kanäle 1 - 12", "Kanäle 25 - 36", "Kanäle 37 - 48", "Kanäle 49 - 60"}));
    EXPECT_EQ(L->GetLichtpultZeile(0)->Order, 0);
    EXPECT_EQ(L->GetLichtpultZeile(1)->Order, 1);
    EXPECT_EQ(pages.count(), 1);
    // The last page has a category of its own: it stays behind the others.
    L->MovePage(4, -1);
    EXPECT_EQ(PageNames().last(), "Kanäle 49 - 60");

    QSignalSpy slotSpy(L->Signals(), &TLichtpultSignals::zeilenKanalChanged);
    L->SetZeilenKanal(5, 0, 99);
    L->SetZeilenKanal(-1, 0, 99);
    L->SetZeilenKanal(0, 24, 99);
    L->SetZeilenKanal(0, -1, 99);
    EXPECT_EQ(slotSpy.count(), 0);

    TLichtpultZeile& z = *L->GetLichtpultZeile(2);
    const TLichtpultSlot before = z.Slots[3];
    L->SetZeilenKanal(2, 3, 515);
    ASSERT_EQ(slotSpy.count(), 1);
    EXPECT_EQ(slotSpy.at(0), (QList<QVariant>{2, 3, 515}));
    EXPECT_EQ(z.Slots[3].Nr, 515);
    EXPECT_EQ(z.Slots[3].SlotKind, before.SlotKind);
    EXPECT_EQ(z.Slots[3].X, before.X);
}

TEST_F(LichtpultPagesTest, ConsoleWindowsAreDataTheFormsFollow)
{
    EXPECT_EQ(L->LichtpultFenster, std::vector<int>{0});
    QSignalSpy opened(L->Signals(), &TLichtpultSignals::windowOpened);
    QSignalSpy shown(L->Signals(), &TLichtpultSignals::showWindowRequested);
    QSignalSpy focus(L->Signals(), &TLichtpultSignals::focusChannelListRequested);

    EXPECT_EQ(L->OpenLichtpultWindow(), 1);
    EXPECT_EQ(L->OpenLichtpultWindow(), 2);
    EXPECT_EQ(L->LichtpultFenster, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(opened.count(), 2);
    EXPECT_EQ(opened.at(1).at(0).toInt(), 2);

    L->ShowWindowFromMenu(102);
    L->ShowWindowFromMenu(1);
    L->ShowWindowFromMenu(3);     // no such window
    L->ShowWindowFromMenu(-98);
    ASSERT_EQ(shown.count(), 2);
    EXPECT_EQ(shown.at(0), (QList<QVariant>{2, true}));
    EXPECT_EQ(shown.at(1), (QList<QVariant>{1, false}));

    L->FocusChannelList();
    EXPECT_EQ(focus.count(), 1);
}

TEST_F(LichtpultPagesTest, ChannelsExportedFrom11To20ImportAt31To40)
{
    for (int n = 11; n <= 20; ++n) {
        K(n).SetName(QStringLiteral("Quelle %1").arg(n));
        K(n).SetModus(n % 5);
        K(n).SetIcon(n);
        K(n).SetVF(n * 2);
        K(n).SetHF(n * 3);
        K(n).SetFlash(200 + n);
        K(n).SetBlackout(n);
    }
    QStringList lines;
    L->ExportKanaele(11, 20, lines);
    ASSERT_EQ(lines.size(), 2 + 70);
    EXPECT_EQ(lines.mid(0, 9), (QStringList{"", "[Kanäle]", "Name_1=Quelle 11", "Sta_1=1", "Ic_1=11", "VF_1=22", "HF_1=33",
                                            "Fl_1=211", "BO_1=11"}));
    EXPECT_EQ(lines.last(), "BO_10=20");

    // Key 5 without its HF_: channel 35 keeps what it had.
    lines.removeAll("HF_5=45");
    K(35).SetName("Bleibt");
    K(41).SetName("Außerhalb");
    TStringIniFile ini;
    ini.SetText(Text(lines));
    QSignalSpy refresh(L->Signals(), &TLichtpultSignals::refreshWindowsRequested);
    L->ImportKanaele(31, 40, ini);
    EXPECT_EQ(refresh.count(), 1);

    for (int n = 31; n <= 40; ++n) {
        if (n == 35)
            continue;
        const TKanal& a = K(n - 20);
        const TKanal& b = K(n);
        EXPECT_EQ(b.Name, a.Name);
        EXPECT_EQ((std::vector<int>{b.Modus, b.Icon, b.VF, b.HF, b.FlashPegel, b.BlackoutPegel}),
                  (std::vector<int>{a.Modus, a.Icon, a.VF, a.HF, a.FlashPegel, a.BlackoutPegel}))
            << n;
    }
    EXPECT_EQ(K(35).Name, "Bleibt");
    EXPECT_EQ(K(41).Name, "Außerhalb");

    // A range reaching past the channels exports and imports what exists.
    lines.clear();
    L->ExportKanaele(728, 800, lines);
    EXPECT_EQ(lines.size(), 2 + 14);
    lines.clear();
    L->ExportKanaele(20, 11, lines);
    EXPECT_EQ(lines, (QStringList{"", "[Kanäle]"}));
}
