// The DMX output plug-in and the driver library, driven through their C entries.
// Each test loads fresh copies of both libraries from a temporary folder, so
// every test starts with zeroed library state.

#include "plugin/pvm_dmx.h"
#include "plugin/usbio/usbio.h"

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>
#include <vector>

namespace {

const char* const Id = "vid_0483&pid_57fe";
const QByteArray TextNotFound = "kein Kestrolin DMX-Device gefunden";
const QByteArray TextOpenFailed = "Kestrolin DMX-Device konnte nicht ge\xC3\xB6""ffnet werden";
const QByteArray TextOpen = "Kestrolin DMX-Device";

bool DriverLoaded()
{
    void* h = dlopen("libusbio.so", RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

void UseDevice(const QByteArray& setting) { qputenv("USBIO_DEVICE", setting); }

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<uint8_t> Pattern(int size, int seed)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[size_t(i)] = uint8_t(i * 7 + seed);
    return bytes;
}

QByteArray Bytes(const uint8_t* data, int size) { return QByteArray(reinterpret_cast<const char*>(data), size); }
QByteArray Bytes(const std::vector<uint8_t>& v) { return Bytes(v.data(), int(v.size())); }

class DmxOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(DriverLoaded()) << "a driver library from an earlier test is still loaded";
        qunsetenv("USBIO_DEVICE");
        ASSERT_TRUE(Dir.isValid());
        ASSERT_TRUE(QFile::copy(PV_PLUGIN_FILE, Dir.filePath("pvm_dmx.so")));
        ASSERT_TRUE(QFile::copy(PV_USBIO_FILE, Dir.filePath("libusbio.so")));
        Plugin = dlopen(qPrintable(Dir.filePath("pvm_dmx.so")), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(Plugin, nullptr) << dlerror();
        // The same instance the plug-in bound: the path names the loaded file.
        Driver = dlopen(qPrintable(Dir.filePath("libusbio.so")), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(Driver, nullptr) << dlerror();
        Bind(Plugin, "GetInterface", GetInterface);
        Bind(Plugin, "SetLevel", SetLevel);
        Bind(Plugin, "CloseInterface", CloseInterface);
        Bind(Plugin, "GetMaxChannels", GetMaxChannels);
        Bind(Driver, "USBIO_GetDeviceCount", Count);
        Bind(Driver, "USBIO_OpenDevice", Open);
        Bind(Driver, "USBIO_SendDmx", Send);
        Bind(Driver, "USBIO_CloseDevice", Close);
    }

    void TearDown() override
    {
        qunsetenv("USBIO_DEVICE");
        if (Driver) dlclose(Driver);
        if (Plugin) dlclose(Plugin);
        EXPECT_FALSE(DriverLoaded());
    }

    template <typename F> void Bind(void* lib, const char* name, F& fn)
    {
        fn = reinterpret_cast<F>(dlsym(lib, name));
        ASSERT_NE(fn, nullptr) << name;
    }

    // The status text and the whole 64-byte buffer behind it.
    QByteArray Probe(QByteArray* buffer = nullptr)
    {
        const char* text = GetInterface();
        if (buffer) *buffer = QByteArray(text, 64);
        return QByteArray(text);
    }

    QString File(const QString& name) const { return Dir.filePath(name); }
    QByteArray FileDevice(const QString& name) const { return "file:" + File(name).toUtf8(); }

    QTemporaryDir Dir;
    void* Plugin = nullptr;
    void* Driver = nullptr;
    TPvmGetInterface GetInterface = nullptr;
    TPvmSetLevel SetLevel = nullptr;
    TPvmCloseInterface CloseInterface = nullptr;
    TPvmGetMaxChannels GetMaxChannels = nullptr;
    decltype(&USBIO_GetDeviceCount) Count = nullptr;
    decltype(&USBIO_OpenDevice) Open = nullptr;
    decltype(&USBIO_SendDmx) Send = nullptr;
    decltype(&USBIO_CloseDevice) Close = nullptr;
};

// A loopback receiver for Art-Net packets.
class TArtNetReceiver {
public:
    TArtNetReceiver() { Ok = Socket.bind(QHostAddress::LocalHost, 0); }
    QByteArray Device() const { return "artnet:127.0.0.1:" + QByteArray::number(Socket.localPort()); }
    QByteArray Next()
    {
        if (!Socket.hasPendingDatagrams() && !Socket.waitForReadyRead(10000)) return {};
        return Socket.receiveDatagram().data();
    }
    bool Ok = false;

private:
    QUdpSocket Socket;
};

QByteArray ArtDmxHeader(uint8_t sequence)
{
    const char header[] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0x00, 0x0E,
                           char(sequence), 0, 0, 0, 0x02, 0x00};
    return QByteArray(header, sizeof header);
}

}   // namespace

TEST_F(DmxOutput, DriverOffersOneDeviceOnlyForAValidSetting)
{
    EXPECT_EQ(Count(Id), 0);
    EXPECT_EQ(Open(0, Id), 0);
    const uint8_t frame[512] = {};
    EXPECT_EQ(Send(0, frame, 512), 0);
    EXPECT_EQ(Send(1, frame, 512), 0);
    EXPECT_EQ(Close(1), 0);

    UseDevice(FileDevice("out.dmx"));
    EXPECT_EQ(Count(Id), 1);
    EXPECT_EQ(Count("VID_0483&PID_57FE"), 1);
    EXPECT_EQ(Count("vid_0483&pid_57ff"), 0);
    EXPECT_EQ(Count("vid_0483&pid_57fe0"), 0);
    EXPECT_EQ(Count(nullptr), 0);
    EXPECT_EQ(Open(1, Id), 0);
    EXPECT_EQ(Open(0, "other"), 0);

    UseDevice("artnet:127.0.0.1");
    EXPECT_EQ(Count(Id), 1);
    for (const char* bad : {"", "file:", "artnet:", "artnet::6454", "artnet:127.0.0.1:0",
                            "artnet:127.0.0.1:65536", "artnet:127.0.0.1:x", "serial:/dev/ttyS0"}) {
        UseDevice(bad);
        EXPECT_EQ(Count(Id), 0) << bad;
        EXPECT_EQ(Open(0, Id), 0) << bad;
    }
}

TEST_F(DmxOutput, FileDeviceAppendsEachFrameAndIsOpenedExclusively)
{
    QFile existing(File("out.dmx"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("xy");
    existing.close();

    UseDevice(FileDevice("missing/out.dmx"));
    EXPECT_EQ(Open(0, Id), 0);

    UseDevice(FileDevice("out.dmx"));
    ASSERT_EQ(Open(0, Id), 1);
    EXPECT_EQ(Open(0, Id), 0);   // already open
    const auto frame = Pattern(512, 1);
    EXPECT_EQ(Send(1, frame.data(), 3), 3);
    EXPECT_EQ(Send(1, frame.data(), 512), 512);
    EXPECT_EQ(Send(1, nullptr, 512), 0);
    EXPECT_EQ(Send(1, frame.data(), -1), 0);
    EXPECT_EQ(Send(2, frame.data(), 512), 0);
    EXPECT_EQ(ReadFile(File("out.dmx")), "xy" + Bytes(frame.data(), 3) + Bytes(frame));

    EXPECT_EQ(Close(2), 0);
    EXPECT_EQ(Close(1), 1);
    EXPECT_EQ(Close(1), 0);
    EXPECT_EQ(Send(1, frame.data(), 512), 0);
    EXPECT_EQ(Open(0, Id), 1);   // free again once closed
    EXPECT_EQ(Close(1), 1);
}

TEST_F(DmxOutput, PluginReportsStatusTextsAndFrameSize)
{
    EXPECT_EQ(GetMaxChannels(), 512);

    EXPECT_EQ(Probe(), TextNotFound);
    EXPECT_EQ(CloseInterface(), 0);   // nothing was opened

    UseDevice(FileDevice("missing/out.dmx"));
    EXPECT_EQ(Probe(), TextOpenFailed);

    // The shorter text overwrites the whole buffer: no rest of the longer one.
    UseDevice(FileDevice("out.dmx"));
    QByteArray buffer;
    EXPECT_EQ(Probe(&buffer), TextOpen);
    EXPECT_EQ(buffer, TextOpen + QByteArray(64 - TextOpen.size(), '\0'));
    EXPECT_EQ(CloseInterface(), 1);
}

TEST_F(DmxOutput, PluginCopiesLevelsUpToTheLastIndexAndSendsTheWholeFrame)
{
    UseDevice(FileDevice("out.dmx"));
    ASSERT_EQ(Probe(), TextOpen);

    const auto first = Pattern(10, 1);
    EXPECT_TRUE(SetLevel(first.data(), 9));
    QByteArray expected = Bytes(first) + QByteArray(502, '\0');

    const auto wide = Pattern(601, 2);
    EXPECT_TRUE(SetLevel(wide.data(), 600));
    expected += Bytes(wide.data(), 512);

    const std::vector<uint8_t> ten(10, 0xEE);
    EXPECT_TRUE(SetLevel(ten.data(), 9));
    const QByteArray mixed = Bytes(ten) + Bytes(wide.data() + 10, 502);
    expected += mixed;

    EXPECT_TRUE(SetLevel(wide.data(), -1));
    expected += mixed;
    // Nothing to read from is no reason to stop sending.
    EXPECT_TRUE(SetLevel(nullptr, 600));
    expected += mixed;

    EXPECT_EQ(ReadFile(File("out.dmx")), expected);
    EXPECT_EQ(CloseInterface(), 1);
}

TEST_F(DmxOutput, PluginSendsEveryTickOverArtNetWithWrappingSequence)
{
    TArtNetReceiver receiver;
    ASSERT_TRUE(receiver.Ok);
    UseDevice(receiver.Device());
    ASSERT_EQ(Probe(), TextOpen);

    // Each packet byte for byte: header, sequence 1..255 then 1, 512 slots. The
    // program's output array has 513 bytes and passes the last index 512.
    auto output = Pattern(513, 3);
    for (int tick = 1; tick <= 256; ++tick) {
        output[0] = uint8_t(tick);
        ASSERT_TRUE(SetLevel(output.data(), 512));
        ASSERT_EQ(receiver.Next(), ArtDmxHeader(uint8_t(tick <= 255 ? tick : 1)) + Bytes(output.data(), 512))
            << "tick " << tick;
    }
    EXPECT_EQ(CloseInterface(), 1);
}

TEST_F(DmxOutput, PluginForgetsTheHandleItClosed)
{
    UseDevice(FileDevice("first.dmx"));
    ASSERT_EQ(Probe(), TextOpen);
    EXPECT_EQ(CloseInterface(), 1);
    EXPECT_EQ(CloseInterface(), 0);

    // The driver hands out the same handle to the next user of the device;
    // a late tick of the plug-in must not write into it.
    UseDevice(FileDevice("second.dmx"));
    ASSERT_EQ(Open(0, Id), 1);
    const auto levels = Pattern(513, 4);
    EXPECT_FALSE(SetLevel(levels.data(), 512));
    EXPECT_EQ(ReadFile(File("second.dmx")), QByteArray());
    EXPECT_EQ(ReadFile(File("first.dmx")), QByteArray());
    EXPECT_EQ(Close(1), 1);
}

TEST_F(DmxOutput, PluginClosesAnOpenDeviceBeforeProbingAgain)
{
    UseDevice(FileDevice("first.dmx"));
    ASSERT_EQ(Probe(), TextOpen);
    UseDevice(FileDevice("second.dmx"));
    EXPECT_EQ(Probe(), TextOpen);

    const auto levels = Pattern(513, 6);
    EXPECT_TRUE(SetLevel(levels.data(), 512));
    EXPECT_EQ(ReadFile(File("second.dmx")), Bytes(levels.data(), 512));
    EXPECT_EQ(ReadFile(File("first.dmx")), QByteArray());

    // Probing when no device is found any more leaves nothing open.
    qunsetenv("USBIO_DEVICE");
    EXPECT_EQ(Probe(), TextNotFound);
    EXPECT_FALSE(SetLevel(levels.data(), 512));
    EXPECT_EQ(Close(1), 0);
    EXPECT_EQ(CloseInterface(), 0);
}

TEST(DmxPluginLoading, FailsWithoutTheDriverLibraryBesideIt)
{
    ASSERT_FALSE(DriverLoaded());
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(PV_PLUGIN_FILE, dir.filePath("pvm_dmx.so")));
    void* plugin = dlopen(qPrintable(dir.filePath("pvm_dmx.so")), RTLD_NOW | RTLD_LOCAL);
    const char* error = dlerror();
    if (plugin) dlclose(plugin);
    ASSERT_EQ(plugin, nullptr);
    EXPECT_NE(std::string(error ? error : "").find("libusbio.so"), std::string::npos) << error;
}
