#pragma once
// HID devices as the device layer uses them: the present hidraw nodes with
// their identity and report descriptor, notice of plug and unplug, and the
// file operations of one open node.
//
// The system backend enumerates /dev/hidraw* through libudev and watches a
// udev monitor. Tests use the fake backend: each fake device is a socket pair
// (SOCK_SEQPACKET keeps one report per read, as hidraw does); the test holds
// the far end, sends input reports into it and reads the output reports the
// layer wrote.
//
// Report layout on Linux: a write starts with the report-ID byte (0 for a
// device without numbered reports; the kernel strips it). A read returns the
// report with its ID byte only when the device numbers its reports.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Report lengths in bytes, each counting the report-ID byte (also for a device
// without numbered reports); 0 when the device has no report of that kind.
struct THidCaps {
    int InputReportByteLength = 0;
    int OutputReportByteLength = 0;
    int FeatureReportByteLength = 0;
    bool Numbered = false;            // the descriptor has Report ID items
    std::uint16_t UsagePage = 0;      // of the first top-level collection
    std::uint16_t Usage = 0;
};

// Reads a report descriptor: per report kind the longest report over all
// report IDs. False when an item runs past the end or the global-item stack
// is misused; caps then holds what was read before.
bool ParseReportDescriptor(const std::uint8_t* data, std::size_t size, THidCaps& caps);
inline bool ParseReportDescriptor(const QByteArray& bytes, THidCaps& caps)
{
    return ParseReportDescriptor(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()), caps);
}

// One present node.
struct THidDeviceInfo {
    QString InstanceKey;        // stable while the device stays bound; changes on re-plug
    QString Path;               // the node, e.g. /dev/hidraw3
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
    QString Product;
    QString Serial;
    QByteArray ReportDescriptor;   // empty when it could not be read without opening the node
};

class THidBackend {
public:
    virtual ~THidBackend() = default;

    // False when the machine offers no device enumeration: then nothing is
    // listed and no notice comes, which is no error.
    virtual bool Available() const = 0;
    virtual std::vector<THidDeviceInfo> ListPresentDevices() = 0;
    // Opens the node (read/write, or read only); -1 with errno set on failure.
    // The descriptor is close-on-exec and blocking.
    virtual int Open(const THidDeviceInfo& info, bool readWrite) = 0;
    // The report descriptor through an open node; empty on failure.
    virtual QByteArray DescriptorOf(int fd) = 0;
    // A descriptor that turns readable when the device list may have changed;
    // -1 when there are no notices.
    virtual int NoticeHandle() const = 0;
    // Takes every pending notice; true when one of them concerns a HID node.
    virtual bool TakeNotices() = 0;
};

// The libudev backend, or one that is not available when udev cannot be used.
std::unique_ptr<THidBackend> CreateSystemHidBackend();

// Devices inside the process. Every change of the list raises a notice.
class TFakeHidBackend : public THidBackend {
public:
    TFakeHidBackend();
    ~TFakeHidBackend() override;

    bool Available() const override { return true; }
    std::vector<THidDeviceInfo> ListPresentDevices() override;
    int Open(const THidDeviceInfo& info, bool readWrite) override;
    QByteArray DescriptorOf(int fd) override;
    int NoticeHandle() const override { return FNotice; }
    bool TakeNotices() override;

    // Plugs a device in; its instance key and path are made up when empty.
    // denied: opening it fails with EACCES. Returns the instance key.
    QString Plug(THidDeviceInfo info, bool denied = false);
    // Unplugs it: the layer's reads see the end of the device.
    void Unplug(const QString& instanceKey);
    // The device stops working (its reads see the end) but stays listed, with no notice.
    void Break(const QString& instanceKey);
    // The far end: bytes sent arrive as one input report.
    bool SendInput(const QString& instanceKey, const QByteArray& report);
    // One report the layer wrote, waiting at most timeoutMs; empty when none.
    QByteArray TakeOutput(const QString& instanceKey, int timeoutMs);

private:
    struct TFake {
        THidDeviceInfo Info;
        bool Denied = false;
        int Near = -1;   // handed out (duplicated) by Open
        int Far = -1;    // the test's end
    };
    void Notify();
    TFake* Find(const QString& key);

    mutable std::mutex FLock;
    std::vector<TFake> FDevices;
    int FNotice = -1;   // eventfd
    int FNext = 0;
};

// One wait of a reader: a report arrived (got bytes), the wait timed out, the
// stop handle fired, or the node failed (error holds errno; 0 for end of file,
// which is what an unplugged node or a closed fake gives).
enum class THidWait { Report, Timeout, Stopped, Failed };
THidWait WaitForHidReport(int fd, int stopHandle, int timeoutMs, std::uint8_t* buffer, std::size_t length,
                          std::size_t& got, int& error);
// One write of a whole report; false (0 written) when it fails.
bool WriteHidReport(int fd, const std::uint8_t* data, std::size_t length, std::size_t& written);
