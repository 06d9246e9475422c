// The HID backend over libudev and hidraw.
//
// Identity comes from sysfs, so a node the user may not open is still listed
// with its name: the instance key is the sysname of the node's hid device
// ("0003:16C0:05DF.0007", the number grows with each bind), vendor and product
// from its HID_ID, product and serial from the USB device above it (HID_NAME
// would join the manufacturer and the product) or else from HID_NAME/HID_UNIQ.
// The report descriptor is read from the hid device's report_descriptor file,
// which needs no permission on the node.

#include "platform/Hid.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString Text(const char* s)
{
    return s ? QString::fromUtf8(s).trimmed() : QString();
}

std::uint16_t Hex16(const char* s)
{
    bool ok = false;
    const uint v = s ? QByteArray(s).trimmed().toUInt(&ok, 16) : 0;
    return ok ? std::uint16_t(v) : 0;
}

class TUdevHidBackend : public THidBackend {
public:
    TUdevHidBackend() : FUdev(udev_new())
    {
        if (!FUdev)
            return;
        FMonitor = udev_monitor_new_from_netlink(FUdev, "udev");
        if (FMonitor && (udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "hidraw", nullptr) < 0 ||
                         udev_monitor_enable_receiving(FMonitor) < 0)) {
            udev_monitor_unref(FMonitor);
            FMonitor = nullptr;
        }
        if (FMonitor) {
            const int fd = udev_monitor_get_fd(FMonitor);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TUdevHidBackend() override
    {
        if (FMonitor)
            udev_monitor_unref(FMonitor);
        if (FUdev)
            udev_unref(FUdev);
    }

    bool Available() const override { return FUdev != nullptr; }

    std::vector<THidDeviceInfo> ListPresentDevices() override
    {
        std::vector<THidDeviceInfo> list;
        if (!FUdev)
            return list;
        udev_enumerate* e = udev_enumerate_new(FUdev);
        if (!e)
            return list;
        udev_enumerate_add_match_subsystem(e, "hidraw");
        udev_enumerate_scan_devices(e);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
        {
            udev_device* node = udev_device_new_from_syspath(FUdev, udev_list_entry_get_name(entry));
            if (!node)
                continue;
            THidDeviceInfo info;
            if (Identify(node, info))
                list.push_back(std::move(info));
            udev_device_unref(node);
        }
        udev_enumerate_unref(e);
        return list;
    }

    int Open(const THidDeviceInfo& info, bool readWrite) override
    {
        return ::open(QFile::encodeName(info.Path).constData(), (readWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    }

    QByteArray DescriptorOf(int fd) override
    {
        int size = 0;
        if (fd < 0 || ::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
            return {};
        hidraw_report_descriptor d{};
        d.size = std::uint32_t(size);
        if (::ioctl(fd, HIDIOCGRDESC, &d) < 0)
            return {};
        return QByteArray(reinterpret_cast<const char*>(d.value), size);
    }

    int NoticeHandle() const override { return FMonitor ? udev_monitor_get_fd(FMonitor) : -1; }

    bool TakeNotices() override
    {
        bool any = false;
        while (FMonitor) {
            udev_device* d = udev_monitor_receive_device(FMonitor);
            if (!d)
                break;
            any = true;
            udev_device_unref(d);
        }
        return any;
    }

private:
    static bool Identify(udev_device* node, THidDeviceInfo& info)
    {
        const char* devnode = udev_device_get_devnode(node);
        udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
        if (!devnode || !hid)
            return false;
        // "bus:vendor:product", each in hex: "0003:000016C0:000005DF".
        const QList<QByteArray> id = QByteArray(udev_device_get_property_value(hid, "HID_ID")).split(':');
        if (id.size() != 3)
            return false;
        bool okV = false, okP = false;
        info.VendorID = std::uint16_t(id.at(1).toUInt(&okV, 16));
        info.ProductID = std::uint16_t(id.at(2).toUInt(&okP, 16));
        if (!okV || !okP)
            return false;
        info.InstanceKey = Text(udev_device_get_sysname(hid));
        info.Path = Text(devnode);
        if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device")) {
            info.Product = Text(udev_device_get_sysattr_value(usb, "product"));
            info.Serial = Text(udev_device_get_sysattr_value(usb, "serial"));
            info.VersionNumber = Hex16(udev_device_get_sysattr_value(usb, "bcdDevice"));
        } else {
            info.Product = Text(udev_device_get_property_value(hid, "HID_NAME"));
            info.Serial = Text(udev_device_get_property_value(hid, "HID_UNIQ"));
        }
        QFile descriptor(QFile::decodeName(udev_device_get_syspath(hid)) + QStringLiteral("/report_descriptor"));
        if (descriptor.open(QIODevice::ReadOnly))
            info.ReportDescriptor = descriptor.read(HID_MAX_DESCRIPTOR_SIZE);
        return true;
    }

    udev* FUdev = nullptr;
    udev_monitor* FMonitor = nullptr;
};

} // namespace

std::unique_ptr<THidBackend> CreateSystemHidBackend()
{
    return std::make_unique<TUdevHidBackend>();
}
