// The patch module: the frame through patch and curves, the P command, the
// channels' patch texts, the patch file and the binding of the output plug-in.

#include "TestHelpers.h"

#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "platform/DynLib.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <map>

namespace {

bool LogContains(const QString& part)
{
    for (const QString& line : TErrorLog::Instance().Lines())
        if (line.contains(part))
            return true;
    return false;
}

// A curve that halves every level: 255 gives 0x7F.
QString HalfTableHex()
{
    QString hex;
    for (int i = 0; i < 256; ++i)
        hex += QStringLiteral("%1").arg(i / 2, 2, 16, QChar('0')).toUpper();
    return hex;
}

class PatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        E.Start();
        P = ModulePatch;
        L = ModuleLichtpult;
    }
    void Run(const QString& line) { E.Main->ExecuteLines({line}, false); }
    void SetOutput(int nr, int v) { L->GetKanal(nr).SetOutput(v); }
    int Out(int dmx) const { return P->DmxOutput[size_t(dmx - 1)]; }
    QString Text(int nr) const { return L->GetKanal(nr).PatchText; }
    void WritePatch(const QByteArray& bytes) { E.Dir.Write("p.pvp", bytes); P->SetFileName(E.Dir.File("p.pvp")); }

    TEngine E;
    TModulePatch* P = nullptr;
    TModuleLichtpult* L = nullptr;
};

} // namespace

TEST_F(PatchTest, DefaultPatchDrivesSlotNFromChannelNAndLeavesTheLastTwoDark)
{
    for (int nr = 1; nr <= 520; ++nr)
        SetOutput(nr, nr % 255 + 1);
    P->Tick();
    for (int n = 1; n <= 510; ++n)
        ASSERT_EQ(Out(n), n % 255 + 1) << n;
    EXPECT_EQ(Out(511), 0);
    EXPECT_EQ(Out(512), 0);
    EXPECT_EQ(P->DmxOutput[512], 0);
    EXPECT_EQ(P->GetCurveNames(), QStringList{"1:1 (linear)"});
    EXPECT_THROW(P->GetPatch(512), EPvError);
}

TEST_F(PatchTest, CurvesMapBothEndsAndAnUnknownCurveFreezesTheSlot)
{
    auto inverse = std::make_unique<TKennlinie>();
    for (int i = 0; i < 256; ++i)
        inverse->Tabelle[size_t(i)] = std::uint8_t(255 - i);
    P->AddCurve(std::move(inverse));
    Run("P3K1");
    Run("P4K1");
    SetOutput(3, 0);
    SetOutput(4, 255);
    P->Tick();
    EXPECT_EQ(Out(3), 255);
    EXPECT_EQ(Out(4), 0);

    SetOutput(5, 100);
    P->Tick();
    Run("P5K9");   // names no curve: the slot keeps its level, also at black-out
    SetOutput(5, 0);
    P->Tick();
    EXPECT_EQ(Out(5), 100);
    Run("P5K");    // malformed: stored as -1, still frozen
    EXPECT_EQ(P->GetPatch(4).Kennlinie, -1);
    P->Tick();
    EXPECT_EQ(Out(5), 100);
    Run("P5K0");
    P->Tick();
    EXPECT_EQ(Out(5), 0);
}

TEST_F(PatchTest, PCommandChangesOneSlotAndPatchTextsListSlotsInOrder)
{
    Run("P12P3");
    EXPECT_EQ(P->GetPatch(11).Pultkanal, 3);
    EXPECT_TRUE(P->Modified);
    EXPECT_EQ(Text(3), "3, 12");
    EXPECT_EQ(Text(12), "");
    Run("P20P5");
    EXPECT_EQ(Text(5), "5, 20");
    SetOutput(5, 77);
    P->Tick();
    EXPECT_EQ(Out(5), 77);
    EXPECT_EQ(Out(20), 77);

    Run("p12p0k2");
    EXPECT_EQ(P->GetPatch(11).Pultkanal, 0);
    EXPECT_EQ(P->GetPatch(11).Kennlinie, 2);
    EXPECT_EQ(Text(3), "3");

    P->SetModified(false);
    Run("P511P511");   // 511 is no console channel, but the line still counts as an edit
    EXPECT_EQ(P->GetPatch(510).Pultkanal, 0);
    EXPECT_TRUE(P->Modified);

    P->SetModified(false);
    Run("P513P1");
    Run("P0P1");
    EXPECT_FALSE(P->Modified);
    EXPECT_EQ(P->GetPatch(0).Pultkanal, 1);
}

TEST_F(PatchTest, DefaultPatchWritesEmptySectionsAndNoCurves)
{
    P->SetFileName(E.Dir.File("leer.pvp"));
    P->SaveToFile();
    EXPECT_EQ(E.Dir.Read("leer.pvp"), QByteArray("[Patch]\r\n[Kennlinien]\r\nKennlinienzahl=0\r\n"));
}

TEST_F(PatchTest, FileRoundTripKeepsPatchCurvesAndUnknownCurveNumbers)
{
    auto curve = std::make_unique<TKennlinie>();
    curve->SetName("Halb");
    for (int i = 0; i < 256; ++i)
        curve->Tabelle[size_t(i)] = std::uint8_t(i / 2);
    curve->Punkte[2] = QPoint(120, 60);
    P->AddCurve(std::move(curve));
    Run("P2K1");     // default console channel, but a curve: both keys are written
    Run("P7P1");
    Run("P9K5");     // a curve number that names no curve round-trips as it is
    P->SetFileName(E.Dir.File("a.pvp"));
    P->SaveToFile();
    const QString text = QString::fromLatin1(E.Dir.Read("a.pvp"));
    EXPECT_TRUE(text.startsWith("[Patch]\r\nP_2=2\r\nK_2=1\r\nP_7=1\r\nK_7=0\r\nP_9=9\r\nK_9=5\r\n[Kennlinien]\r\n"
                                "Kennlinienzahl=1\r\nN_1=Halb\r\nSX_1_0=0\r\nSY_1_0=0\r\nSX_1_1=63\r\nSY_1_1=63\r\n"
                                "SX_1_2=120\r\nSY_1_2=60\r\n"))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("K_1=" + HalfTableHex() + "\r\n"));

    P->ClearDocument();   // the curves and the file name stay
    EXPECT_EQ(P->GetPatch(6).Pultkanal, 7);
    EXPECT_EQ(P->CurveCount(), 2);
    P->LoadFromFile();
    EXPECT_EQ(P->GetPatch(1).Kennlinie, 1);
    EXPECT_EQ(P->GetPatch(6).Pultkanal, 1);
    EXPECT_EQ(P->GetPatch(8).Kennlinie, 5);
    ASSERT_EQ(P->GetCurveNames(), QStringList({"1:1 (linear)", "Halb"}));
    EXPECT_EQ(P->GetCurve(1).Punkte[2], QPoint(120, 60));
    EXPECT_EQ(P->GetCurve(1).MapLevel(255), 127);
}

TEST_F(PatchTest, HandWrittenFileIsReadLineByLine)
{
    WritePatch("[Patch]\r\nP_12=5\r\np_13=6\r\nK_12=1\r\nP_14=511\r\nP_513=1\r\nP=3\r\nP_x=4\r\nX_15=1\r\n"
               "[Kennlinien]\r\nKennlinienzahl=2\r\nN_1=Kurz\r\nSX_1_4=250\r\nK_1=FF0a1\r\n"
               "N_2=Zweite\r\nK_2=" + HalfTableHex().toLatin1() + "\r\n");
    QSignalSpy curves(P->Signals(), &TPatchSignals::curvesChanged);
    P->OpenDocument(P->FileName);
    EXPECT_EQ(P->GetPatch(11).Pultkanal, 5);
    EXPECT_EQ(P->GetPatch(11).Kennlinie, 1);
    EXPECT_EQ(P->GetPatch(12).Pultkanal, 6);
    EXPECT_EQ(P->GetPatch(13).Pultkanal, 14);   // 511 is ignored
    EXPECT_EQ(P->GetPatch(14).Pultkanal, 15);
    EXPECT_EQ(Text(5), "5, 12");
    ASSERT_EQ(P->CurveCount(), 3);
    const TKennlinie& kurz = P->GetCurve(1);
    EXPECT_EQ(kurz.Punkte[4], QPoint(250, 255));
    EXPECT_EQ(kurz.Punkte[1], QPoint(63, 63));
    EXPECT_EQ(kurz.MapLevel(0), 0xFF);
    EXPECT_EQ(kurz.MapLevel(1), 0x0A);
    EXPECT_EQ(kurz.MapLevel(2), 0x1);   // a lone last digit
    EXPECT_EQ(kurz.MapLevel(3), 0);     // past the end of the text
    EXPECT_GE(curves.count(), 1);

    P->LoadFromFile();   // loading again replaces the curves, one per loaded curve
    EXPECT_EQ(P->GetCurveNames(), QStringList({"1:1 (linear)", "Kurz", "Zweite"}));
}

TEST_F(PatchTest, BlankCurveNameIsSkippedAndLaterCurvesMoveDown)
{
    WritePatch("[Patch]\r\nK_3=2\r\n[Kennlinien]\r\nKennlinienzahl=2\r\nN_1=   \r\nK_1=FFFF\r\nN_2=B\r\n");
    P->LoadFromFile();
    EXPECT_EQ(P->GetCurveNames(), QStringList({"1:1 (linear)", "B"}));
    SetOutput(3, 40);
    P->Tick();   // slot 3 names curve 2, which is gone: frozen at 0, no crash
    EXPECT_EQ(Out(3), 0);
}

TEST_F(PatchTest, BadHexDigitStillRefreshesPatchTextsAndReachesTheCaller)
{
    Run("P30P8");
    WritePatch("[Patch]\r\nP_40=9\r\n[Kennlinien]\r\nKennlinienzahl=2\r\nN_1=Gut\r\nK_1=00\r\nN_2=Schlecht\r\nK_2=0G\r\n");
    EXPECT_THROW(P->LoadFromFile(), EPvError);
    EXPECT_EQ(Text(9), "9, 40");
    EXPECT_EQ(Text(8), "8");   // the stale slot 30 is gone from channel 8
    EXPECT_EQ(P->GetCurveNames(), QStringList({"1:1 (linear)", "Gut"}));
}

TEST_F(PatchTest, HugeCurveCountLoadsOnlyThePresentCurves)
{
    WritePatch("[Kennlinien]\r\nKennlinienzahl=2147483647\r\nN_1=Eins\r\nN_3=Drei\r\nN_01=Nicht\r\n");
    P->LoadFromFile();
    EXPECT_EQ(P->GetCurveNames(), QStringList({"1:1 (linear)", "Eins", "Drei"}));
}

TEST_F(PatchTest, SaveAsOffersThePatchFilter)
{
    TScriptedPrompts prompts;
    prompts.FileAnswers.push_back(E.Dir.File("neu.pvp"));
    EXPECT_TRUE(P->SaveDocumentAs());
    EXPECT_EQ(prompts.Asked, QStringList{"save:Palvento Tessel 2012 Patch (*.pvp);;Alle Dateien (*)"});
    EXPECT_EQ(P->SaveDialog->DefaultSuffix, "pvp");
    EXPECT_FALSE(E.Dir.Read("neu.pvp").isEmpty());
}

TEST_F(PatchTest, StartUpStepWritesPatchTexts)
{
    EXPECT_EQ(Text(1), "");
    E.Main->AfterFormsCreated();
    EXPECT_EQ(Text(1), "1");
    EXPECT_EQ(Text(510), "510");
}

// ---- the output plug-in ----

TEST(PatchPlugin, MissingOrBrokenLibraryIsReportedAndTicksGoOn)
{
    for (const QByteArray& content : {QByteArray(), QByteArray("kein ELF")}) {
        TEngine e;
        if (!content.isNull())
            e.Dir.Write("pvm_dmx.so", content);
        TErrorLog::Instance().Clear();
        e.Start();
        EXPECT_EQ(ModulePatch->DmxInitText, "DLL \"pvm_dmx.so\" konnte nicht geladen werden");
        EXPECT_TRUE(LogContains(e.Dir.File("pvm_dmx.so") + ": "));
        EXPECT_FALSE(ModulePatch->SetLevelProc);
        e.Main->ExecuteLines({"K1P200"}, false);
        e.Main->ClockTick();
        e.Main->ClockTick();
        EXPECT_EQ(e.Main->TickCount, 2);
        EXPECT_EQ(ModulePatch->DmxOutput[0], 200);
    }
}

namespace {

// A plug-in bound through a fake loader; it records every call.
QStringList FakeCalls;
QByteArray FakeFrame;

const char* FakeGetInterface()
{
    FakeCalls << "GetInterface";
    return "Kestrolin DMX-Device konnte nicht ge\xC3\xB6" "ffnet werden";
}
bool FakeSetLevel(const std::uint8_t* levels, std::int32_t last)
{
    FakeCalls << QStringLiteral("SetLevel %1").arg(last);
    FakeFrame = QByteArray(reinterpret_cast<const char*>(levels), last + 1);
    return false;
}
std::int32_t FakeCloseInterface()
{
    FakeCalls << "CloseInterface";
    return 0;
}

class TFakeDynLib : public TDynLib {
public:
    explicit TFakeDynLib(QStringList missing) : FMissing(std::move(missing)) {}
    bool Load(const QString& path) override
    {
        FakeCalls << "Load " + path;
        return true;
    }
    void* Symbol(const char* name) override
    {
        FakeCalls << QStringLiteral("Symbol ") + name;
        static const std::map<QString, void*> entries = {
            {"GetInterface", reinterpret_cast<void*>(&FakeGetInterface)},
            {"SetLevel", reinterpret_cast<void*>(&FakeSetLevel)},
            {"CloseInterface", reinterpret_cast<void*>(&FakeCloseInterface)},
        };
        return FMissing.contains(name) ? nullptr : entries.at(name);
    }
    QString ErrorText() const override { return "undefined symbol"; }

private:
    QStringList FMissing;
};

QStringList RunWithFakePlugin(const QStringList& missing, QString& status)
{
    FakeCalls.clear();
    FakeFrame.clear();
    SetDynLibFactory([missing] { return std::make_unique<TFakeDynLib>(missing); });
    {
        TEngine e;
        e.Start();
        SetDynLibFactory({});
        status = ModulePatch->DmxInitText;
        FakeCalls[0].remove(e.Dir.Path());   // the library is loaded by absolute path
        e.Main->ExecuteLines({"K2P9"}, false);
        e.Main->ClockTick();
    }
    return FakeCalls;
}

} // namespace

TEST(PatchPlugin, EntriesAreBoundByNameAndCalledOnlyWhenBound)
{
    QString status;
    EXPECT_EQ(RunWithFakePlugin({}, status),
              QStringList({"Load pvm_dmx.so", "Symbol GetInterface", "Symbol SetLevel", "Symbol CloseInterface",
                           "GetInterface", "SetLevel 512", "CloseInterface"}));
    EXPECT_EQ(status, "Kestrolin DMX-Device konnte nicht geöffnet werden");
    ASSERT_EQ(FakeFrame.size(), 513);
    EXPECT_EQ(FakeFrame.at(1), 9);
    EXPECT_EQ(FakeFrame.at(512), 0);

    // The status text replaces the message about a missing entry.
    EXPECT_FALSE(RunWithFakePlugin({"SetLevel"}, status).contains("SetLevel 512"));
    EXPECT_EQ(status, "Kestrolin DMX-Device konnte nicht geöffnet werden");

    const QStringList calls = RunWithFakePlugin({"GetInterface", "CloseInterface"}, status);
    EXPECT_EQ(status, "Procedure \"ProcName\" konnte nicht geladen werden");
    EXPECT_FALSE(calls.contains("GetInterface"));
    EXPECT_FALSE(calls.contains("CloseInterface"));
    EXPECT_TRUE(calls.contains("SetLevel 512"));
}
