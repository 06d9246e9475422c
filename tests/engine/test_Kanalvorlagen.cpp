// Channel templates (Data/Vorlagen.ini through real files, insertion into the
// console) and the channel list's table model and range export/import, headless.

#include "TestHelpers.h"

#include "console/uKanaeleModel.h"
#include "console/uKanal.h"
#include "console/uKanalvorlage.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uTextCodec.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <climits>
#include <set>

namespace {

class KanalvorlagenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();
    }
    void TearDown() override { Engine.Stop(); }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    TEngine Engine;
};

// A file as the editor writes it: two templates, CR LF, an empty line before each
// template, text in Windows-1252.
const char HandMade[] =
    "[Allgemein]\r\nCount=2\r\n"
    "\r\n[Vorlage0]\r\nName=Spot\r\nCount=1\r\n"
    "Name_1=Dimmer\r\nSta_1=1\r\nIc_1=4\r\nVF_1=255\r\nHF_1=10\r\nFl_1=200\r\nBO_1=7\r\n"
    "\r\n[Vorlage1]\r\nName=Kopf \xe4\r\nCount=3\r\n"
    "Name_1=\r\nSta_1=0\r\nIc_1=0\r\nVF_1=0\r\nHF_1=0\r\nFl_1=255\r\nBO_1=0\r\n"
    "Name_2=Pan\r\nSta_2=3\r\nIc_2=-1\r\nVF_2=0\r\nHF_2=0\r\nFl_2=255\r\nBO_2=0\r\n"
    "Name_3=\r\nSta_3=0\r\nIc_3=0\r\nVF_3=0\r\nHF_3=0\r\nFl_3=255\r\nBO_3=0\r\n";

TEST_F(KanalvorlagenTest, HandMadeFileReadsAndWritesBackByteIdentical)
{
    Engine.Dir.Write(QStringLiteral("Data/Vorlagen.ini"), QByteArray(HandMade));
    TKanalvorlagen v;
    v.LoadFromFile(Engine.Dir.File(QStringLiteral("Data/Vorlagen.ini")));
    ASSERT_EQ(v.Count(), 2);
    EXPECT_EQ(v.Vorlage(1)->Name, QStringLiteral("Kopf ä"));
    EXPECT_EQ(v.Vorlage(1)->Kanalzahl(), 3);
    const TKanal& k = *v.Vorlage(0)->Kanal(1);
    EXPECT_EQ(k.Nr, ErsterVorlagenKanal);
    EXPECT_EQ(k.NrText(), QStringLiteral("1"));
    EXPECT_EQ(k.Name, QStringLiteral("Dimmer"));
    EXPECT_EQ(k.Icon, 4);
    EXPECT_EQ(k.FlashPegel, 200);
    EXPECT_EQ(k.BlackoutPegel, 7);
    v.SaveToFile(Engine.Dir.File(QStringLiteral("Data/Neu.ini")));
    EXPECT_EQ(Engine.Dir.Read(QStringLiteral("Data/Neu.ini")), QByteArray(HandMade));
}

TEST_F(KanalvorlagenTest, ReaderDefaultsAndBounds)
{
    struct Case {
        const char* text;
        int templates;
        int channels;   // of template 0
        int icon;       // of its channel 1
        int flash;
    };
    const Case cases[] = {
        {"", 0, 0, 0, 0},
        {"[Allgemein]\r\nCount=1\r\n", 1, 0, 0, 0},                                 // missing section: no channel
        {"[Allgemein]\r\nCount=1\r\n[Vorlage0]\r\nCount=500\r\n", 1, 99, 0, 255},   // more than 99 channels
        {"[Allgemein]\r\nCount=1\r\n[Vorlage0]\r\nCount=-7\r\n", 1, -7, 0, 0},
        {"[Allgemein]\r\nCount=1\r\n[Vorlage0]\r\nCount=1\r\nFl_1=x\r\n", 1, 1, 0, 255},   // malformed: default
        {"[Allgemein]\r\nCount=-3\r\n", 0, 0, 0, 0},
        {"[Allgemein]\r\nCount=2147483647\r\n", TKanalvorlagen::MaxVorlagen, 0, 0, 0},   // bounded, no huge allocation
        {"[Allgemein]\r\nCount=1000\r\n", 1000, 0, 0, 0},   // the most: read whole, not logged
        {"[Allgemein]\r\nCount=1001\r\n", 1000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Engine.Dir.Write(QStringLiteral("Data/Vorlagen.ini"), QByteArray(c.text));
        TKanalvorlagen v;
        v.LoadFromFile(Engine.Dir.File(QStringLiteral("Data/Vorlagen.ini")));
        ASSERT_EQ(v.Count(), c.templates) << c.text;
        if (c.templates == 0)
            continue;
        EXPECT_EQ(v.Vorlage(0)->Name, QStringLiteral("Neue Vorlage")) << c.text;
        EXPECT_EQ(v.Vorlage(0)->Kanalzahl(), c.channels) << c.text;
        if (c.channels < 1)
            continue;
        EXPECT_EQ(v.Vorlage(0)->Kanal(1)->Icon, c.icon) << c.text;
        EXPECT_EQ(v.Vorlage(0)->Kanal(1)->FlashPegel, c.flash) << c.text;
    }
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Vorlagen.ini")), 2);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Vorlagen.ini: 1001 Vorlagen")), 1);
    TKanalvorlagen none;
    none.LoadFromFile(Engine.Dir.File(QStringLiteral("Data/fehlt.ini")));
    EXPECT_EQ(none.Count(), 0);
}

TEST_F(KanalvorlagenTest, SparseSectionsReadOnlyTheKeysTheyHold)
{
    // Keys of some channels only, in any case; a template between without a section.
    Engine.Dir.Write(QStringLiteral("Data/Vorlagen.ini"),
                     "[Allgemein]\r\nCount=3\r\n[Vorlage0]\r\nName=A\r\nCount=12\r\nic_2=7\r\nFL_12=9\r\n"
                     "sta_10=1\r\n[vorlage2]\r\nCount=2\r\nBO_2=4\r\nName_2=B\r\nVF_1=5\r\n");
    TKanalvorlagen v;
    v.LoadFromFile(Engine.Dir.File(QStringLiteral("Data/Vorlagen.ini")));
    ASSERT_EQ(v.Count(), 3);
    const struct {
        int Template, Channel;
        QString Name;
        std::vector<int> ModusIconVfHfFlashBlackout;
    } cases[] = {
        {0, 1, "", {kmHTP, 0, 0, 0, 255, 0}},   // read defaults, not a new channel's (icon -1, HF 10)
        {0, 2, "", {kmHTP, 7, 0, 0, 255, 0}},  {0, 10, "", {1, 0, 0, 0, 255, 0}},
        {0, 12, "", {kmHTP, 0, 0, 0, 9, 0}},   {2, 1, "", {kmHTP, 0, 5, 0, 255, 0}},
        {2, 2, "B", {kmHTP, 0, 0, 0, 255, 4}},
    };
    for (const auto& c : cases) {
        const TKanal& k = *v.Vorlage(c.Template)->Kanal(c.Channel);
        EXPECT_EQ(k.Name, c.Name) << c.Template << "/" << c.Channel;
        EXPECT_EQ((std::vector<int>{k.Modus, k.Icon, k.VF, k.HF, k.FlashPegel, k.BlackoutPegel}), c.ModusIconVfHfFlashBlackout)
            << c.Template << "/" << c.Channel;
    }
    EXPECT_EQ((std::vector<int>{v.Vorlage(0)->Kanalzahl(), v.Vorlage(1)->Kanalzahl(), v.Vorlage(2)->Kanalzahl()}),
              (std::vector<int>{12, 0, 2}));   // no section: no channel
    EXPECT_EQ(v.Vorlage(0)->Name, QStringLiteral("A"));
    EXPECT_EQ(v.Vorlage(2)->Name, QStringLiteral("Neue Vorlage"));
}

TEST_F(KanalvorlagenTest, CountOfZeroBelowZeroOrNoneIsWrittenBackAsRead)
{
    // Each template of the file as it is written back: its count and whether channel 1's keys follow.
    const struct {
        const char* Section;
        const char* Written;
    } cases[] = {
        {"[Vorlage0]\r\nName=Null\r\nCount=0\r\nName_1=x\r\n", "[Vorlage0]\r\nName=Null\r\nCount=0\r\n"},
        {"[Vorlage0]\r\nName=Minus\r\nCount=-3\r\n", "[Vorlage0]\r\nName=Minus\r\nCount=-3\r\n"},
        {"[Vorlage0]\r\nName=Ohne\r\n", "[Vorlage0]\r\nName=Ohne\r\nCount=0\r\n"},
        {"[Vorlage0]\r\nName=Text\r\nCount=zwei\r\n", "[Vorlage0]\r\nName=Text\r\nCount=0\r\n"},
        {"", "[Vorlage0]\r\nName=Neue Vorlage\r\nCount=0\r\n"},
        {"[Vorlage0]\r\nCount=-2147483648\r\n", "[Vorlage0]\r\nName=Neue Vorlage\r\nCount=-2147483647\r\n"},
    };
    for (const auto& c : cases) {
        Engine.Dir.Write(QStringLiteral("Data/Vorlagen.ini"), QByteArray("[Allgemein]\r\nCount=1\r\n\r\n") + c.Section);
        TKanalvorlagen v;
        v.LoadFromFile(Engine.Dir.File(QStringLiteral("Data/Vorlagen.ini")));
        ASSERT_EQ(v.Count(), 1) << c.Section;
        EXPECT_EQ(InsertVorlage(*v.Vorlage(0), *ModuleLichtpult, 1, 1, 1), 0) << c.Section;
        EXPECT_TRUE(K(1).Name.isEmpty()) << c.Section;
        v.SaveToFile(Engine.Dir.File(QStringLiteral("Data/Neu.ini")));
        EXPECT_EQ(Engine.Dir.Read(QStringLiteral("Data/Neu.ini")),
                  QByteArray("[Allgemein]\r\nCount=1\r\n\r\n") + c.Written)
            << c.Section;
    }
}

TEST_F(KanalvorlagenTest, NewTemplateWithNamedSecondChannelWritesDefaults)
{
    TKanalvorlagen v;
    TKanalvorlage& t = v.Add();
    t.SetKanalzahl(3);
    t.Kanal(2)->SetName(QStringLiteral("Farbe"));
    const QStringList lines = v.SaveToLines();
    EXPECT_EQ(lines.mid(0, 6), QStringList({"[Allgemein]", "Count=1", "", "[Vorlage0]", "Name=Neue Vorlage", "Count=3"}));
    EXPECT_TRUE(lines.contains(QStringLiteral("Name_2=Farbe")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Ic_3=-1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Fl_1=255")));
    EXPECT_EQ(lines.size(), 6 + 3 * 7);
}

TEST_F(KanalvorlagenTest, InsertCopiesNameIconAndColoursOnly)
{
    TKanalvorlagen v;
    TKanalvorlage& t = v.Add();
    t.SetKanalzahl(4);
    for (int i = 1; i <= 4; ++i) {
        t.Kanal(i)->SetName(QStringLiteral("T%1").arg(i));
        t.Kanal(i)->SetIcon(i);
        t.Kanal(i)->SetVF(100 + i);
        t.Kanal(i)->SetHF(200 + i);
        t.Kanal(i)->SetModus(kmLTP);
        t.Kanal(i)->SetFlash(9);
    }
    EXPECT_EQ(InsertVorlage(t, *ModuleLichtpult, 3, 101, 10), 12);
    for (int nr : {101, 104, 111, 114, 121, 124}) {
        const int i = (nr - 101) % 10 + 1;
        EXPECT_EQ(K(nr).Name, QStringLiteral("T%1").arg(i)) << nr;
        EXPECT_EQ(K(nr).Icon, i);
        EXPECT_EQ(K(nr).VF, 100 + i);
        EXPECT_EQ(K(nr).HF, 200 + i);
        EXPECT_EQ(K(nr).Modus, kmHTP);
        EXPECT_EQ(K(nr).FlashPegel, 255);
    }
    EXPECT_TRUE(K(105).Name.isEmpty());
    EXPECT_TRUE(K(125).Name.isEmpty());

    // Past 510 into the group channels, past 729 skipped; a huge count ends at the last channel.
    t.SetKanalzahl(20);
    EXPECT_EQ(InsertVorlage(t, *ModuleLichtpult, 1, 500, 1), 20);
    EXPECT_EQ(K(503).Name, QStringLiteral("T4"));
    EXPECT_EQ(K(503).Icon, 4);
    EXPECT_EQ(InsertVorlage(t, *ModuleLichtpult, INT_MAX, 720, 200), 10);
    EXPECT_EQ(InsertVorlage(t, *ModuleLichtpult, INT_MAX, 1, 0), 20);
}

TEST_F(KanalvorlagenTest, DeleteDropsTemplateAndItsNotifications)
{
    TKanalvorlagen v;
    int notified = 0;
    v.OnKanalChange = [&](TKanal*, int) { ++notified; };
    v.Add();
    TKanalvorlage& second = v.Add();
    second.Name = QStringLiteral("B");
    v.Vorlage(0)->Kanal(1)->SetName(QStringLiteral("x"));
    EXPECT_EQ(notified, 1);
    v.Delete(0);
    v.Delete(5);
    v.Delete(-1);
    ASSERT_EQ(v.Count(), 1);
    EXPECT_EQ(v.Vorlage(0)->Name, QStringLiteral("B"));
    EXPECT_EQ(v.Vorlage(1), nullptr);
}

TEST_F(KanalvorlagenTest, SaveFailureKeepsTheOldFile)
{
    Engine.Dir.Write(QStringLiteral("Data/Vorlagen.ini"), QByteArray(HandMade));
    TKanalvorlagen v;
    v.Add();
    EXPECT_THROW(v.SaveToFile(Engine.Dir.File(QStringLiteral("fehlt/Vorlagen.ini"))), EPvError);
    EXPECT_EQ(Engine.Dir.Read(QStringLiteral("Data/Vorlagen.ini")), QByteArray(HandMade));
}

// ---- the channel list's model and range export/import ----

TEST_F(KanalvorlagenTest, ExportOf11To20ImportedAt31GivesTheSameChannels)
{
    for (int nr = 11; nr <= 20; ++nr) {
        K(nr).SetName(QStringLiteral("K%1 ä").arg(nr));
        K(nr).SetModus(nr % 5);
        K(nr).SetIcon(nr);
        K(nr).SetVF(nr * 3);
        K(nr).SetHF(nr * 5);
        K(nr).SetFlash(nr + 100);
        K(nr).SetBlackout(nr);
    }
    K(41).SetName(QStringLiteral("bleibt"));
    const QString path = Engine.Dir.File(QStringLiteral("kanaele.txt"));
    WriteTextFileAtomic(path, ExportKanaeleLines(*ModuleLichtpult, 11, 20));
    QString text;
    ASSERT_TRUE(ReadTextFile(path, text));
    ImportKanaeleText(*ModuleLichtpult, 31, 41, text);
    for (int nr = 31; nr <= 40; ++nr) {
        const TKanal& a = K(nr - 20);
        const TKanal& b = K(nr);
        EXPECT_EQ(b.Name, a.Name);
        EXPECT_EQ(b.Modus, a.Modus);
        EXPECT_EQ(b.Icon, a.Icon);
        EXPECT_EQ(b.VF, a.VF);
        EXPECT_EQ(b.HF, a.HF);
        EXPECT_EQ(b.FlashPegel, a.FlashPegel);
        EXPECT_EQ(b.BlackoutPegel, a.BlackoutPegel);
    }
    EXPECT_EQ(K(41).Name, QStringLiteral("bleibt"));   // key 11 is absent
}

TEST_F(KanalvorlagenTest, ModelReportsOnlyChangedRowsWhileVisible)
{
    TKanaeleModel m(*ModuleLichtpult);
    EXPECT_EQ(m.rowCount(), MaxKanal);
    EXPECT_EQ(m.data(m.index(TKanaeleModel::RowOf(729), TKanaeleModel::colKanal)).toString(), QStringLiteral("99"));
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);
    ModuleMain->ExecuteLines({QStringLiteral("K5P100")}, false);
    ModuleMain->ClockTick();
    EXPECT_EQ(spy.count(), 0);   // hidden: nothing reported
    m.SetVisible(true);
    ASSERT_EQ(spy.count(), 1);   // the whole table once on showing
    spy.clear();
    ModuleMain->ExecuteLines({QStringLiteral("K7P50"), QStringLiteral("K8P50"), QStringLiteral("K600P1")}, false);
    ModuleMain->ClockTick();
    std::set<int> rows;
    for (const QList<QVariant>& args : spy)
        for (int r = args[0].toModelIndex().row(); r <= args[1].toModelIndex().row(); ++r)
            rows.insert(r + 1);
    EXPECT_EQ(rows, (std::set<int>{7, 8, 600}));
    EXPECT_EQ(m.data(m.index(TKanaeleModel::RowOf(7), TKanaeleModel::colOutput)).toString(), QStringLiteral("50"));
    spy.clear();
    ModuleMain->ClockTick();
    EXPECT_EQ(spy.count(), 0);   // nothing changed, nothing reported
}

TEST_F(KanalvorlagenTest, ModelEditsThroughTheSetters)
{
    TKanaeleModel m(*ModuleLichtpult);
    auto at = [&](int nr, int col) { return m.index(TKanaeleModel::RowOf(nr), col); };
    struct Case {
        int col;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {TKanaeleModel::colName, "Front", true}, {TKanaeleModel::colStatus, "b", true},
        {TKanaeleModel::colStatus, "9", false},  {TKanaeleModel::colFlash, "200", true},
        {TKanaeleModel::colFlash, "x", false},   {TKanaeleModel::colBlackout, "12", true},
        {TKanaeleModel::colFader, "300", true},  {TKanaeleModel::colIcon, "3", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(m.setData(at(3, c.col), QString::fromLatin1(c.value)), c.ok) << c.col << c.value;
    EXPECT_EQ(K(3).Name, QStringLiteral("Front"));
    EXPECT_EQ(K(3).Modus, kmBlinken);
    EXPECT_EQ(K(3).FlashPegel, 200);
    EXPECT_EQ(K(3).BlackoutPegel, 12);
    EXPECT_EQ(K(3).Pegel, 300);   // a level is not clamped when set
    EXPECT_EQ(K(3).Icon, -1);
    EXPECT_FALSE(m.setData(m.index(MaxKanal, 1), QStringLiteral("x")));
}

} // namespace
