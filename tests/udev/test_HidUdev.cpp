// Enumeration, plug and unplug of hidraw nodes through libudev, on a testbed
// of hand-written sysfs devices. The testbed needs the umockdev preload
// library: CTest starts this program under umockdev-wrapper; started any
// other way, the tests skip.

#include "TestHelpers.h"

#include "devices/HidControllerClass.h"
#include "platform/Hid.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")

namespace {

// A USB device with one HID interface and its hidraw node. The report
// descriptor: 8 input bits, 8 output bits, no report IDs.
QByteArray Description(int bus, int n, const char* product, const char* serial)
{
    const QByteArray usb = QStringLiteral("/devices/pci0000:00/usb1/1-%1").arg(bus).toLatin1();
    const QByteArray hid = usb + QStringLiteral("/1-%1:1.0/0003:16C0:05DF.%2").arg(bus).arg(n, 4, 10, QLatin1Char('0')).toLatin1();
    const QByteArray node = "hidraw" + QByteArray::number(n);
    return "P: " + usb + "\nN: bus/usb/001/00" + QByteArray::number(bus) +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: product=" + product + "\nA: serial=" + serial +
           "\nA: bcdDevice=0102\n\n"
           "P: " + hid + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:000016C0:000005DF\nE: HID_NAME=Maker " + product +
           "\nH: report_descriptor=0600FF0901A101150026FF007508950809018102950809019102C0\n\n"
           "P: " + hid + "/hidraw/" + node + "\nN: " + node + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" + node + "\n";
}

QString NodeSysPath(int bus, int n)
{
    return QStringLiteral("/sys/devices/pci0000:00/usb1/1-%1/1-%1:1.0/0003:16C0:05DF.%2/hidraw/hidraw%3")
        .arg(bus).arg(n, 4, 10, QLatin1Char('0')).arg(n);
}

class HidUdevTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "umockdev"))
            GTEST_SKIP() << "not started under umockdev-wrapper: no udev testbed";
        Bed = umockdev_testbed_new();
        ASSERT_TRUE(umockdev_in_mock_environment());
    }
    void TearDown() override
    {
        if (Bed)
            g_object_unref(Bed);
    }
    bool Add(int bus, int n, const char* product, const char* serial)
    {
        GError* error = nullptr;
        const bool ok = umockdev_testbed_add_from_string(Bed, Description(bus, n, product, serial).constData(), &error);
        if (error)
            g_error_free(error);
        return ok;
    }

    UMockdevTestbed* Bed = nullptr;
};

} // namespace

TEST_F(HidUdevTest, NodesAreListedWithTheirIdentityAndReportLengths)
{
    ASSERT_TRUE(Add(1, 3, "PALVENTO ORLISK 200", "A17"));
    auto backend = CreateSystemHidBackend();
    ASSERT_TRUE(backend->Available());
    const std::vector<THidDeviceInfo> list = backend->ListPresentDevices();
    ASSERT_EQ(list.size(), 1u);
    const THidDeviceInfo& d = list[0];
    EXPECT_EQ(d.Path, "/dev/hidraw3");
    EXPECT_EQ(d.InstanceKey, "0003:16C0:05DF.0003");
    EXPECT_EQ(d.VendorID, 0x16C0);
    EXPECT_EQ(d.ProductID, 0x05DF);
    EXPECT_EQ(d.VersionNumber, 0x0102);
    // The USB device's product, not HID_NAME with the maker in front.
    EXPECT_EQ(d.Product, "PALVENTO ORLISK 200");
    EXPECT_EQ(d.Serial, "A17");
    THidCaps caps;
    EXPECT_TRUE(ParseReportDescriptor(d.ReportDescriptor, caps));
    EXPECT_EQ(caps.InputReportByteLength, 9);
    EXPECT_EQ(caps.OutputReportByteLength, 9);
}

TEST_F(HidUdevTest, PlugAndUnplugNoticesReachTheController)
{
    ASSERT_TRUE(Add(1, 1, "PALVENTO ORLISK 200", "A1"));
    THidDeviceController ctl(CreateSystemHidBackend());
    int changes = 0;
    ctl.OnDeviceChange = [&](THidDeviceController&) { ++changes; };
    ASSERT_TRUE(WaitFor([&] { return changes == 1; }));
    ASSERT_EQ(ctl.Devices().size(), 1u);

    ASSERT_TRUE(Add(2, 2, "Other", "B2"));
    umockdev_testbed_uevent(Bed, NodeSysPath(2, 2).toUtf8().constData(), "add");
    ASSERT_TRUE(WaitFor([&] { return changes == 2; }));
    ASSERT_EQ(ctl.Devices().size(), 2u);
    EXPECT_EQ(ctl.Devices()[1]->ProductString(), "Other");

    umockdev_testbed_uevent(Bed, NodeSysPath(1, 1).toUtf8().constData(), "remove");
    umockdev_testbed_remove_device(Bed, NodeSysPath(1, 1).toUtf8().constData());
    ASSERT_TRUE(WaitFor([&] { return changes == 3; }));
    ASSERT_EQ(ctl.Devices().size(), 1u);
    EXPECT_EQ(ctl.Devices()[0]->SerialNumberString(), "B2");
}
