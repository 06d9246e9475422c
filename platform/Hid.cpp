#include "platform/Hid.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

// ---- report descriptor ----

namespace {

// hidraw never moves more than this in one report.
constexpr std::uint64_t MaxReportBytes = 16384;
constexpr std::size_t MaxGlobalStack = 32;

struct TGlobals {
    std::uint32_t UsagePage = 0;
    std::uint32_t ReportSize = 0;
    std::uint32_t ReportCount = 0;
    std::uint32_t ReportID = 0;
};

int ReportLength(const std::array<std::uint64_t, 256>& bits)
{
    std::uint64_t longest = 0;
    for (std::uint64_t b : bits)
        longest = std::max(longest, b);
    if (longest == 0)
        return 0;
    return int(std::min((longest + 7) / 8, MaxReportBytes) + 1);
}

} // namespace

bool ParseReportDescriptor(const std::uint8_t* data, std::size_t size, THidCaps& caps)
{
    caps = THidCaps{};
    // Bits per report ID for input, output and feature reports.
    std::array<std::array<std::uint64_t, 256>, 3> bits{};
    TGlobals g;
    std::vector<TGlobals> stack;
    std::uint32_t usage = 0;
    int depth = 0;
    bool topSeen = false;
    bool ok = true;

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t prefix = data[i];
        if (prefix == 0xFE) {   // long item: size, tag, data; carries nothing we need
            if (i + 2 >= size) {
                ok = false;
                break;
            }
            const std::size_t next = i + 3 + data[i + 1];
            if (next > size) {
                ok = false;
                break;
            }
            i = next;
            continue;
        }
        const std::size_t n = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + n > size) {
            ok = false;
            break;
        }
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < n; ++k)
            value |= std::uint32_t(data[i + 1 + k]) << (8 * k);
        i += 1 + n;

        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == 0) {   // main
            int kind = -1;
            switch (tag) {
            case 0x8: kind = 0; break;   // Input
            case 0x9: kind = 1; break;   // Output
            case 0xB: kind = 2; break;   // Feature
            case 0xA:                    // Collection
                if (depth == 0 && !topSeen) {
                    topSeen = true;
                    caps.UsagePage = std::uint16_t(g.UsagePage);
                    caps.Usage = std::uint16_t(usage);
                }
                ++depth;
                break;
            case 0xC:                    // End Collection
                depth = std::max(0, depth - 1);
                break;
            default: break;
            }
            if (kind >= 0) {
                std::uint64_t& b = bits[std::size_t(kind)][g.ReportID & 0xFF];
                b = std::min<std::uint64_t>(b + std::uint64_t(g.ReportSize) * g.ReportCount, MaxReportBytes * 8);
            }
            usage = 0;   // local items end with each main item
        } else if (type == 1) {   // global
            switch (tag) {
            case 0x0: g.UsagePage = value; break;
            case 0x7: g.ReportSize = value; break;
            case 0x8:
                g.ReportID = value;
                caps.Numbered = true;
                break;
            case 0x9: g.ReportCount = value; break;
            case 0xA:   // Push
                if (stack.size() >= MaxGlobalStack)
                    ok = false;
                else
                    stack.push_back(g);
                break;
            case 0xB:   // Pop
                if (stack.empty()) {
                    ok = false;
                } else {
                    g = stack.back();
                    stack.pop_back();
                }
                break;
            default: break;
            }
            if (!ok)
                break;
        } else if (type == 2 && tag == 0x0 && usage == 0) {   // the first Usage
            usage = value & 0xFFFF;
        }
    }
    caps.InputReportByteLength = ReportLength(bits[0]);
    caps.OutputReportByteLength = ReportLength(bits[1]);
    caps.FeatureReportByteLength = ReportLength(bits[2]);
    return ok;
}

// ---- reading and writing an open node ----

THidWait WaitForHidReport(int fd, int stopHandle, int timeoutMs, std::uint8_t* buffer, std::size_t length,
                          std::size_t& got, int& error)
{
    got = 0;
    error = 0;
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopHandle, POLLIN, 0}};
    const int r = ::poll(fds, stopHandle >= 0 ? 2 : 1, timeoutMs);
    if (r < 0) {
        if (errno == EINTR)
            return THidWait::Timeout;
        error = errno;
        return THidWait::Failed;
    }
    if (stopHandle >= 0 && (fds[1].revents & POLLIN))
        return THidWait::Stopped;
    if (r == 0)
        return THidWait::Timeout;
    if (fds[0].revents & POLLNVAL) {
        error = EBADF;
        return THidWait::Failed;
    }
    const ssize_t n = ::read(fd, buffer, length);
    if (n > 0) {
        got = std::size_t(n);
        return THidWait::Report;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return THidWait::Timeout;
    error = n < 0 ? errno : 0;
    return THidWait::Failed;
}

bool WriteHidReport(int fd, const std::uint8_t* data, std::size_t length, std::size_t& written)
{
    written = 0;
    if (fd < 0)
        return false;
    // A socket (the fake device) must not raise SIGPIPE when its far end is gone.
    ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK)
        n = ::write(fd, data, length);
    if (n != ssize_t(length))
        return false;
    written = std::size_t(n);
    return true;
}

// ---- the fake backend ----

TFakeHidBackend::TFakeHidBackend() : FNotice(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TFakeHidBackend::~TFakeHidBackend()
{
    for (TFake& d : FDevices) {
        ::close(d.Near);
        ::close(d.Far);
    }
    if (FNotice >= 0)
        ::close(FNotice);
}

std::vector<THidDeviceInfo> TFakeHidBackend::ListPresentDevices()
{
    std::lock_guard lock(FLock);
    std::vector<THidDeviceInfo> list;
    for (const TFake& d : FDevices)
        list.push_back(d.Info);
    return list;
}

int TFakeHidBackend::Open(const THidDeviceInfo& info, bool readWrite)
{
    (void)readWrite;
    std::lock_guard lock(FLock);
    TFake* d = Find(info.InstanceKey);
    if (!d) {
        errno = ENOENT;
        return -1;
    }
    if (d->Denied) {
        errno = EACCES;
        return -1;
    }
    return ::fcntl(d->Near, F_DUPFD_CLOEXEC, 0);
}

QByteArray TFakeHidBackend::DescriptorOf(int fd)
{
    (void)fd;
    return {};
}

bool TFakeHidBackend::TakeNotices()
{
    std::uint64_t v = 0;
    return ::read(FNotice, &v, sizeof v) == ssize_t(sizeof v);
}

QString TFakeHidBackend::Plug(THidDeviceInfo info, bool denied)
{
    {
        std::lock_guard lock(FLock);
        ++FNext;
        if (info.InstanceKey.isEmpty())
            info.InstanceKey = QStringLiteral("fake.%1").arg(FNext);
        if (info.Path.isEmpty())
            info.Path = QStringLiteral("/dev/fakehidraw%1").arg(FNext);
        TFake d;
        d.Info = info;
        d.Denied = denied;
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) == 0) {
            d.Near = sv[0];
            d.Far = sv[1];
        }
        FDevices.push_back(d);
    }
    Notify();
    return info.InstanceKey;
}

void TFakeHidBackend::Unplug(const QString& instanceKey)
{
    {
        std::lock_guard lock(FLock);
        auto it = std::find_if(FDevices.begin(), FDevices.end(),
                               [&](const TFake& d) { return d.Info.InstanceKey == instanceKey; });
        if (it == FDevices.end())
            return;
        ::close(it->Near);
        ::close(it->Far);
        FDevices.erase(it);
    }
    Notify();
}

void TFakeHidBackend::Break(const QString& instanceKey)
{
    std::lock_guard lock(FLock);
    if (TFake* d = Find(instanceKey)) {
        ::close(d->Far);
        d->Far = -1;
    }
}

bool TFakeHidBackend::SendInput(const QString& instanceKey, const QByteArray& report)
{
    std::lock_guard lock(FLock);
    TFake* d = Find(instanceKey);
    return d && ::send(d->Far, report.constData(), std::size_t(report.size()), MSG_NOSIGNAL) == report.size();
}

QByteArray TFakeHidBackend::TakeOutput(const QString& instanceKey, int timeoutMs)
{
    int far = -1;
    {
        std::lock_guard lock(FLock);
        if (TFake* d = Find(instanceKey))
            far = ::fcntl(d->Far, F_DUPFD_CLOEXEC, 0);
    }
    if (far < 0)
        return {};
    QByteArray bytes;
    pollfd p{far, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) {
        bytes.resize(65536);
        const ssize_t n = ::recv(far, bytes.data(), std::size_t(bytes.size()), MSG_DONTWAIT);
        bytes.resize(n > 0 ? n : 0);
    }
    ::close(far);
    return bytes;
}

void TFakeHidBackend::Notify()
{
    const std::uint64_t one = 1;
    (void)!::write(FNotice, &one, sizeof one);
}

TFakeHidBackend::TFake* TFakeHidBackend::Find(const QString& key)
{
    for (TFake& d : FDevices)
        if (d.Info.InstanceKey == key)
            return &d;
    return nullptr;
}
