// The HID layer and the input/relay box over the fake backend: report lengths
// from hand-written descriptors, reports through the read thread, plug and
// unplug (also during a read), input scripts with their debounce, and the
// output reports the relays write.

#include "TestHelpers.h"

#include "devices/HidControllerClass.h"
#include "devices/uMod_Interface.h"
#include "devices/uPlxBox.h"
#include "framework/uErrorLog.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"
#include "platform/Hid.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>

namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// 8 input bits and 8 output bits, no report IDs: both reports 9 bytes long.
const QByteArray BoxDescriptor = Hex("06 00 FF 09 01 A1 01 15 00 26 FF 00 75 08 95 08 09 01 81 02"
                                     " 95 08 09 01 91 02 C0");

THidDeviceInfo Info(const QString& product, const QByteArray& descriptor = BoxDescriptor, const QString& serial = {})
{
    THidDeviceInfo info;
    info.VendorID = 0x16C0;
    info.ProductID = 0x05DF;
    info.Product = product;
    info.Serial = serial;
    info.ReportDescriptor = descriptor;
    return info;
}

} // namespace

TEST(HidDescriptor, ReportLengthsFollowTheDescriptor)
{
    struct TCase {
        const char* Name;
        QByteArray Bytes;
        bool Ok;
        int In, Out, Feature;
        bool Numbered;
    };
    const TCase cases[] = {
        {"box", BoxDescriptor, true, 9, 9, 0, false},
        {"empty", {}, true, 0, 0, 0, false},
        // ID 1: 4 input bytes, ID 2: 10 input bytes and a 2-byte feature: the longest counts.
        {"numbered", Hex("85 01 75 08 95 04 81 02 85 02 95 0A 81 02 95 02 B1 02"), true, 11, 0, 3, true},
        // Bits add up within a report and round up to whole bytes.
        {"bits", Hex("75 01 95 03 81 02 75 05 95 01 81 01 75 01 95 01 91 02"), true, 2, 2, 0, false},
        // Push keeps size 8 and count 2 across a 1-bit field; Pop restores them.
        {"push pop", Hex("75 08 95 02 A4 75 01 95 08 81 02 B4 81 02"), true, 4, 0, 0, false},
        // A long item (FE size tag data) is passed over; a 4-byte count is read whole.
        {"long item", Hex("FE 02 10 AA BB 75 08 97 03 00 00 00 81 02"), true, 4, 0, 0, false},
        {"truncated item", Hex("75 08 95"), false, 0, 0, 0, false},
        {"truncated long item", Hex("FE 05 10 AA"), false, 0, 0, 0, false},
        {"pop without push", Hex("B4 75 08 95 01 81 02"), false, 0, 0, 0, false},
        // A huge report is capped at what hidraw can move.
        {"huge", Hex("77 FF FF FF FF 97 FF FF FF FF 81 02"), true, 16385, 0, 0, false},
    };
    for (const TCase& c : cases) {
        THidCaps caps;
        EXPECT_EQ(ParseReportDescriptor(c.Bytes, caps), c.Ok) << c.Name;
        EXPECT_EQ(caps.InputReportByteLength, c.In) << c.Name;
        EXPECT_EQ(caps.OutputReportByteLength, c.Out) << c.Name;
        EXPECT_EQ(caps.FeatureReportByteLength, c.Feature) << c.Name;
        EXPECT_EQ(caps.Numbered, c.Numbered) << c.Name;
    }
    THidCaps caps;
    ParseReportDescriptor(BoxDescriptor, caps);
    EXPECT_EQ(caps.UsagePage, 0xFF00);
    EXPECT_EQ(caps.Usage, 1);
    // A push stack that never ends is refused, not grown.
    EXPECT_FALSE(ParseReportDescriptor(QByteArray(100, char(0xA4)), caps));
}

namespace {

class HidControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto backend = std::make_unique<TFakeHidBackend>();
        Fake = backend.get();
        Ctl = std::make_unique<THidDeviceController>(std::move(backend));
        Ctl->OnDeviceChange = [this](THidDeviceController&) { ++Changes; };
    }
    void TearDown() override
    {
        for (auto& d : Out)
            Ctl->CheckIn(d);
        Ctl.reset();
    }
    std::shared_ptr<THidDevice> CheckOut(int index)
    {
        std::shared_ptr<THidDevice> d;
        if (Ctl->CheckOutAt(d, index))
            Out.push_back(d);
        return d;
    }

    TFakeHidBackend* Fake = nullptr;
    std::unique_ptr<THidDeviceController> Ctl;
    std::vector<std::shared_ptr<THidDevice>> Out;
    int Changes = 0;
};

} // namespace

TEST_F(HidControllerTest, FirstNoticeReportsAChangeAndPlugNoticesFollow)
{
    ASSERT_TRUE(WaitFor([&] { return Changes == 1; }));
    EXPECT_TRUE(Ctl->Devices().empty());
    const QString a = Fake->Plug(Info("A"));
    ASSERT_TRUE(WaitFor([&] { return Changes == 2; }));
    ASSERT_EQ(Ctl->Devices().size(), 1u);
    EXPECT_EQ(Ctl->Devices()[0]->PnPInfo().InstanceNumber(), a);
    // A device that cannot be identified never reaches the list.
    THidDeviceInfo nobody = Info("nobody");
    nobody.VendorID = nobody.ProductID = 0;
    Fake->Plug(nobody);
    Fake->Unplug(a);
    ASSERT_TRUE(WaitFor([&] { return Changes == 3; }));
    EXPECT_TRUE(Ctl->Devices().empty());
}

TEST_F(HidControllerTest, ReportsReachTheHandlerWithTheirIdFirst)
{
    // The numbered device sends its ID byte; the other gets ID 0 put in front.
    const QByteArray numbered = Hex("06 00 FF 09 01 A1 01 85 05 75 08 95 03 81 02 C0");
    struct TCase {
        QByteArray Descriptor;
        QByteArray Sent;
        std::uint8_t Id;
        QByteArray Data;
    };
    const TCase cases[] = {
        {BoxDescriptor, Hex("FE 01 02 03 04 05 06 07"), 0, Hex("FE 01 02 03 04 05 06 07")},
        {numbered, Hex("05 AA BB CC"), 5, Hex("AA BB CC")},
    };
    for (const TCase& c : cases) {
        const QString key = Fake->Plug(Info("dev", c.Descriptor));
        ASSERT_TRUE(WaitFor([&] { return !Ctl->Devices().empty() && Ctl->Devices().back()->PnPInfo().InstanceNumber() == key; }));
        std::vector<std::pair<std::uint8_t, QByteArray>> got;
        auto device = CheckOut(int(Ctl->Devices().size()) - 1);
        ASSERT_TRUE(device);
        device->SetReportHandler([&](THidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
            got.emplace_back(id, QByteArray(reinterpret_cast<const char*>(data), size));
        });
        ASSERT_TRUE(device->HasReader());
        ASSERT_TRUE(Fake->SendInput(key, c.Sent));
        ASSERT_TRUE(WaitFor([&] { return got.size() == 1; }));
        EXPECT_EQ(got[0].first, c.Id);
        EXPECT_EQ(got[0].second, c.Data);
    }
}

TEST_F(HidControllerTest, OnlyACheckedOutWritableDeviceGetsAReader)
{
    Ctl->SetOnDeviceData([](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
    Fake->Plug(Info("free"));
    Fake->Plug(Info("denied"), true);
    ASSERT_TRUE(WaitFor([&] { return Ctl->Devices().size() == 2; }));
    EXPECT_FALSE(Ctl->Devices()[0]->HasReader());
    auto denied = CheckOut(1);
    ASSERT_TRUE(denied);
    EXPECT_FALSE(denied->HasReadWriteAccess());
    EXPECT_FALSE(denied->HasReader());
    std::size_t written = 99;
    const std::uint8_t report[9] = {};
    EXPECT_FALSE(denied->WriteReport(report, sizeof report, written));
    EXPECT_EQ(written, 0u);
    auto free = CheckOut(0);
    EXPECT_TRUE(free->HasReader());
    // Check-out hands each device once.
    std::shared_ptr<THidDevice> none;
    EXPECT_FALSE(Ctl->CheckOutNext(none));
    EXPECT_FALSE(none);
    // The poll time accepts 10..10000 only.
    for (int ms : {5, 20000})
        free->SetReadPollTime(ms);
    EXPECT_EQ(free->ReadPollTime(), 100);
}

TEST_F(HidControllerTest, ReplugOfACheckedOutDeviceKeepsTheOldObjectUntilCheckIn)
{
    const QString first = Fake->Plug(Info("box"));
    ASSERT_TRUE(WaitFor([&] { return Ctl->Devices().size() == 1; }));
    auto device = CheckOut(0);
    int unplugs = 0, errors = 0;
    device->UnplugHandler = [&](THidDevice&) { ++unplugs; };
    device->ReadErrorHandler = [&](THidDevice&, std::uint32_t) { ++errors; };
    device->SetReportHandler([](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
    ASSERT_TRUE(device->HasReader());
    // The device fails while its reader waits: the reader reports a read error
    // and keeps trying; nothing crashes.
    Fake->Break(first);
    ASSERT_TRUE(WaitFor([&] { return errors >= 1; }));
    EXPECT_TRUE(device->HasReader());
    Fake->Unplug(first);
    const QString second = Fake->Plug(Info("box"));
    ASSERT_TRUE(WaitFor([&] { return Ctl->Devices().size() == 2; }));
    EXPECT_EQ(unplugs, 1);
    EXPECT_FALSE(device->IsPluggedIn());
    EXPECT_FALSE(device->HasReader());
    EXPECT_EQ(Ctl->Devices()[0], device);
    EXPECT_EQ(Ctl->Devices()[1]->PnPInfo().InstanceNumber(), second);
    // A later comparison reports it gone again, but the handler fired once.
    Ctl->DeviceChange();
    EXPECT_EQ(unplugs, 1);
    Ctl->CheckIn(Out[0]);
    ASSERT_EQ(Ctl->Devices().size(), 1u);
    EXPECT_EQ(Ctl->Devices()[0]->PnPInfo().InstanceNumber(), second);
}

TEST_F(HidControllerTest, CheckInPutsAFreshObjectInPlaceAndStopsTheReader)
{
    const QString key = Fake->Plug(Info("box"));
    ASSERT_TRUE(WaitFor([&] { return Ctl->Devices().size() == 1; }));
    std::atomic<int> reports{0};
    auto device = CheckOut(0);
    device->SetReportHandler([&](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++reports; });
    const THidDevice* old = device.get();
    Ctl->CheckIn(Out[0]);
    EXPECT_FALSE(Out[0]);
    ASSERT_EQ(Ctl->Devices().size(), 1u);
    EXPECT_NE(Ctl->Devices()[0].get(), old);
    EXPECT_FALSE(Ctl->Devices()[0]->IsCheckedOut());
    EXPECT_FALSE(Ctl->Devices()[0]->HasReader());
    // Not checked out: a report goes nowhere.
    Fake->SendInput(key, Hex("01"));
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 0);
}

TEST_F(HidControllerTest, AReaderStoppedWithAReportPendingOrFromItsHandlerNeverDeadlocks)
{
    const QString key = Fake->Plug(Info("box"));
    ASSERT_TRUE(WaitFor([&] { return Ctl->Devices().size() == 1; }));
    auto device = CheckOut(0);
    int reports = 0;
    // The handler stops its own reader (as closing the box from a script does).
    device->SetReportHandler([&](THidDevice& d, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++reports;
        d.SetReportHandler(nullptr);
    });
    Fake->SendInput(key, Hex("01"));
    ASSERT_TRUE(WaitFor([&] { return reports == 1; }));
    EXPECT_FALSE(device->HasReader());

    // Stopped while the GUI thread does not turn: the handover (if the report
    // was read already) is cancelled and the report dropped.
    device->SetReportHandler([&](THidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++reports; });
    for (int i = 0; i < 3; ++i)
        Fake->SendInput(key, Hex("02"));
    device->SetReportHandler(nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 1);
}

namespace {

class PlxBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TErrorLog::Instance().Clear();
        auto backend = std::make_unique<TFakeHidBackend>();
        Fake = backend.get();
        Box = std::make_unique<TPlxBox>(std::move(backend));
        Box->RunLines = [this](const QStringList& lines) {
            if (lines.contains(QStringLiteral("THROW")))
                throw EPvError(QStringLiteral("kaputt"));
            Ran << lines;
        };
    }
    void TearDown() override { Box.reset(); }

    // Plugs the box in and waits until it is open.
    QString PlugBox(const QString& product = TPlxBox::ProductString, bool denied = false)
    {
        const QString key = Fake->Plug(Info(product), denied);
        EXPECT_TRUE(WaitFor([&] { return Box->HasOpenBox() || denied; }));
        EXPECT_TRUE(WaitFor([&] { return std::size_t(Box->DeviceTexts().size()) == Fake->ListPresentDevices().size(); }));
        return key;
    }
    // The output reports written so far, as "byte2 byte3" in hex, checking their length.
    QStringList Reports(const QString& key)
    {
        QStringList all;
        for (QByteArray r; !(r = Fake->TakeOutput(key, 0)).isEmpty();) {
            EXPECT_EQ(r.size(), 9);
            EXPECT_EQ(r.left(2), QByteArray(2, 0));
            all << QString::fromLatin1(r.mid(2, 2).toHex(' '));
        }
        return all;
    }
    void Feed(std::initializer_list<int> bytes)
    {
        for (int b : bytes) {
            const std::uint8_t data[8] = {std::uint8_t(b)};
            Box->HidDeviceData(0, data, 8);
        }
    }

    TFakeHidBackend* Fake = nullptr;
    std::unique_ptr<TPlxBox> Box;
    QStringList Ran;
};

} // namespace

TEST_F(PlxBoxTest, InputsActOnTheSecondEqualReportOnly)
{
    Box->SetScript(0, {"K1P255", "", "U", "uK1P0"});
    Box->SetScript(1, {"K2P255", "UK2P0"});
    struct TCase {
        const char* Name;
        std::initializer_list<int> Bytes;
        QStringList Ran;
    };
    const TCase cases[] = {
        {"idle", {0xFF, 0xFF}, {}},
        {"press input 1", {0xFF, 0xFE, 0xFE}, {"K1P255"}},
        {"flicker never acts", {0xFE, 0xFF, 0xFE, 0xFF}, {}},
        // U alone gives an empty line on release.
        {"release", {0xFF, 0xFF}, {"", "K1P0"}},
        {"two inputs in order", {0xFC, 0xFC}, {"K1P255", "K2P255"}},
        {"both released", {0xFF, 0xFF, 0xFF}, {"", "K1P0", "K2P0"}},
    };
    for (const TCase& c : cases) {
        Ran.clear();
        Feed(c.Bytes);
        EXPECT_EQ(Ran, c.Ran) << c.Name;
    }
    // A report without a data byte is ignored.
    Box->HidDeviceData(0, nullptr, 0);
}

TEST_F(PlxBoxTest, AFaultyScriptIsLoggedAndTheOtherInputsGoOn)
{
    Box->SetScript(0, {"THROW"});
    Box->SetScript(1, {"K2P255"});
    Feed({0xFC, 0xFC});
    EXPECT_EQ(Ran, QStringList{"K2P255"});
    EXPECT_EQ(ErrorLogCount("Application-Exception: kaputt"), 1);
    EXPECT_TRUE(Box->InputState(0));
    // The previous value was kept: the same report again does nothing.
    Feed({0xFC});
    EXPECT_EQ(ErrorLogCount("Application-Exception"), 1);
}

TEST_F(PlxBoxTest, ReportsFromTheBoxRunItsScripts)
{
    const QString key = PlugBox();
    Box->SetScript(2, {"K3P255"});
    Box->Debug = true;
    QStringList debug;
    QObject::connect(Box.get(), &TPlxBox::debugLine, [&](const QString& line) { debug << line; });
    // Input 3 closed (bit 2 low), twice; the box sends only its data bytes.
    Fake->SendInput(key, Hex("FB 00 00 00 00 00 00 00"));
    Fake->SendInput(key, Hex("FB 00 00 00 00 00 00 00"));
    ASSERT_TRUE(WaitFor([&] { return Ran.size() == 1; }));
    EXPECT_EQ(Ran, QStringList{"K3P255"});
    ASSERT_EQ(debug.size(), 2);
    EXPECT_TRUE(debug[1].endsWith("    4   4")) << debug[1].toStdString();
    EXPECT_TRUE(debug[0].endsWith("    4   0")) << debug[0].toStdString();
}

TEST_F(PlxBoxTest, OutputsWriteTheirReport)
{
    const QString key = PlugBox();
    struct TCase {
        QString Command;
        QStringList Reports;
    };
    const TCase cases[] = {
        {"I3S1S0", {"04 00", "00 00"}},
        {"I3S1", {"04 00"}},
        {"I16W1", {"04 80"}},         // byte 3, bit 7
        {"I3W256", {"00 80"}},        // low byte zero: off
        {"I9W255", {"00 81"}},
        {"I0S1", {}},
        {"I17S1", {}},
        {"IxS1", {}},
        {"I1S", {"01 81"}},           // no number: on
        {"I1S1", {}},                 // already on: nothing
        {"I2X1P1", {}},               // other letters do nothing
    };
    for (const TCase& c : cases) {
        QStringList tokens;
        TokenizeCommand(c.Command + u'E', tokens);
        Box->ExecuteInterfaceCommand(tokens);
        EXPECT_EQ(Reports(key), c.Reports) << c.Command.toStdString();
    }
    EXPECT_EQ(Box->LastWritten(), 9);
    // A new show switches each output that is on off, one report each.
    Box->SetScript(4, {"K1P1"});
    Box->ClearInputsAndOutputs();
    EXPECT_EQ(Reports(key), QStringList({"00 81", "00 80", "00 00"}));
    EXPECT_TRUE(Box->Script(4).isEmpty());
}

TEST_F(PlxBoxTest, WithoutABoxOrWithoutAccessNothingIsWritten)
{
    Box->SetOutput(0, true);
    EXPECT_TRUE(Box->Output(0));
    EXPECT_EQ(Box->LastWritten(), -1);
    // A box the user may not write: listed and chosen, every write shows 0.
    PlugBox(TPlxBox::ProductString, true);
    ASSERT_TRUE(WaitFor([&] { return Box->HasOpenBox(); }));
    Box->SetOutput(1, true);
    EXPECT_EQ(Box->LastWritten(), 0);
}

TEST_F(PlxBoxTest, TheLastMatchingDeviceIsTheBoxAndUnplugClosesIt)
{
    Fake->Plug(Info("palvento orlisk 200 alt", BoxDescriptor, "A1"));
    Fake->Plug(Info("", BoxDescriptor, "7"));
    const QString second = PlugBox(TPlxBox::ProductString + " Zwei");
    EXPECT_EQ(Box->DeviceTexts(),
              QStringList({"palvento orlisk 200 alt (Serial=A1)", "Device VID=16C0 PID=05DF (Serial=7)",
                           "PALVENTO ORLISK 200 Zwei"}));
    EXPECT_EQ(Box->OpenIndex(), 2);
    // Unplugged while its reader waits: the list follows, the first match is the box.
    Fake->Unplug(second);
    ASSERT_TRUE(WaitFor([&] { return Box->DeviceTexts().size() == 2; }));
    EXPECT_EQ(Box->OpenIndex(), 0);
    Fake->Unplug(Fake->ListPresentDevices()[0].InstanceKey);
    ASSERT_TRUE(WaitFor([&] { return Box->DeviceTexts().size() == 1; }));
    EXPECT_FALSE(Box->HasOpenBox());
}

TEST_F(PlxBoxTest, ScriptsAreSavedAsDelimitedTextAndReadBack)
{
    const QStringList scripts[8] = {
        {"K1P255", "K1P0"}, {}, {""}, {"S1 T2", "say \"hi\"", "a;b"}, {"UK1P0"}, {"x", ""}, {"M5D"}, {"W1K1P1"},
    };
    for (int i = 0; i < 8; ++i)
        Box->SetScript(i, scripts[i]);
    QStringList lines;
    Box->SaveInputScripts(lines);
    EXPECT_EQ(lines.mid(0, 4), QStringList({"BI0=K1P255;K1P0", "BI1=", "BI2=\"\"", "BI3=\"S1 T2\";\"say \"\"hi\"\"\";\"a;b\""}));
    EXPECT_EQ(lines[5], "BI5=x;");
    Box->ClearInputsAndOutputs();
    TStringIniFile ini;
    ini.SetStrings(QStringList{"[Interface]"} + lines);
    Box->LoadInputScripts(ini);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Box->Script(i), scripts[i]) << i;
    EXPECT_TRUE(TPlxBox::IsScriptKey(" bi7 "));
    EXPECT_FALSE(TPlxBox::IsScriptKey("BI8"));
}

TEST(InterfaceModuleBox, AHandWrittenSectionIsWrittenBackByteIdenticalAndIRoutesToTheBox)
{
    TModuleInterface module;
    const QString section = QStringLiteral(
        "\r\n[Interface]\r\nBI0=K1P255;K1P0\r\nBI1=\r\nBI2=\"S1 T2\";\"say \"\"hi\"\"\"\r\nBI3=\"\"\r\nBI4=UK1P0\r\n"
        "BI5=x;\r\nBI6=\r\nBI7=M5D\r\nName=Bühne\r\nVR_Name_1=Bühne\r\nVR_IP_1=127.0.0.1\r\nVR_Port_1=4000\r\n"
        "VR_Koppel_1=K719\r\n\r\n[MIDI]\r\nCount=1\r\nPara_1=6569104\r\nSzene_1=3");
    TStringIniFile ini;
    ini.SetText(section);
    module.LoadIni(ini);
    QStringList lines;
    module.SaveToStrings(lines);
    EXPECT_EQ(lines.join("\r\n"), section);

    // I n S v switches the box's output n; C and V go elsewhere.
    for (const char* command : {"I3S1E", "i16w1E", "V1K1E"}) {
        QStringList tokens;
        TokenizeCommand(command, tokens);
        module.ExecuteCommand(tokens, 0);
    }
    EXPECT_TRUE(module.Box().Output(2));
    EXPECT_TRUE(module.Box().Output(15));
    EXPECT_FALSE(module.Box().Output(0));

    // A new show empties the scripts and switches the outputs off; the peers stay.
    module.NewProject();
    EXPECT_FALSE(module.Box().Output(2));
    lines.clear();
    module.SaveToStrings(lines);
    EXPECT_EQ(lines.mid(2, 9), QStringList({"BI0=", "BI1=", "BI2=", "BI3=", "BI4=", "BI5=", "BI6=", "BI7=", QStringLiteral("VR_Name_1=Bühne")}));
}
