// Stand-in for the USB DMX driver library. Instead of a USB transfer it sends
// each frame as an Art-Net packet over UDP or appends it to a file, chosen by
// the environment variable USBIO_DEVICE (see usbio.h).

#include "usbio.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* DeviceId = "vid_0483&pid_57fe";
constexpr int32_t OpenHandle = 1;
constexpr int FrameSize = 512;
constexpr int ArtNetHeaderSize = 18;
constexpr uint16_t ArtNetDefaultPort = 6454;

enum class TDeviceKind { None, ArtNet, File };

// The device described by USBIO_DEVICE. Host and path point into the
// environment text; HostLength is the host's length (it may be followed by ":PORT").
struct TDeviceSetting {
    TDeviceKind Kind = TDeviceKind::None;
    const char* Host = nullptr;
    size_t HostLength = 0;
    uint16_t Port = ArtNetDefaultPort;
    const char* Path = nullptr;
};

// The one open device.
struct TOpenDevice {
    TDeviceKind Kind = TDeviceKind::None;
    int Fd = -1;
    sockaddr_in Target{};
    uint8_t Sequence = 0;   // of the last ArtDmx packet; 1..255, 0 before the first
};

pthread_mutex_t Lock = PTHREAD_MUTEX_INITIALIZER;
TOpenDevice Device;

class TLockGuard {
public:
    TLockGuard() { pthread_mutex_lock(&Lock); }
    ~TLockGuard() { pthread_mutex_unlock(&Lock); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;
};

bool SameIdText(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char ca = *a, cb = *b;
        if (ca >= 'A' && ca <= 'Z') ca = char(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = char(cb - 'A' + 'a');
        if (ca != cb) return false;
    }
    return *a == *b;
}

bool ParsePort(const char* text, uint16_t& port)
{
    if (!*text) return false;
    unsigned long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + unsigned(*p - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    port = uint16_t(value);
    return true;
}

TDeviceSetting ReadDeviceSetting()
{
    TDeviceSetting setting;
    const char* text = std::getenv("USBIO_DEVICE");
    if (!text || !*text) return setting;
    if (std::strncmp(text, "file:", 5) == 0) {
        if (text[5]) {
            setting.Kind = TDeviceKind::File;
            setting.Path = text + 5;
        }
    } else if (std::strncmp(text, "artnet:", 7) == 0) {
        const char* host = text + 7;
        const char* colon = std::strchr(host, ':');
        uint16_t port = ArtNetDefaultPort;
        if (colon && !ParsePort(colon + 1, port)) return setting;
        const size_t length = colon ? size_t(colon - host) : std::strlen(host);
        if (length == 0 || length >= 256) return setting;
        setting.Kind = TDeviceKind::ArtNet;
        setting.Host = host;
        setting.HostLength = length;
        setting.Port = port;
    }
    return setting;
}

int32_t CountMatching(const TDeviceSetting& setting, const char* id)
{
    return setting.Kind != TDeviceKind::None && id && SameIdText(id, DeviceId) ? 1 : 0;
}

bool OpenArtNet(const TDeviceSetting& setting)
{
    char host[256];
    std::memcpy(host, setting.Host, setting.HostLength);
    host[setting.HostLength] = '\0';

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return false;
    sockaddr_in target{};
    std::memcpy(&target, found->ai_addr, sizeof target);
    freeaddrinfo(found);
    target.sin_port = htons(setting.Port);

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    Device.Kind = TDeviceKind::ArtNet;
    Device.Fd = fd;
    Device.Target = target;
    Device.Sequence = 0;
    return true;
}

bool OpenFile(const TDeviceSetting& setting)
{
    const int fd = open(setting.Path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    Device.Kind = TDeviceKind::File;
    Device.Fd = fd;
    return true;
}

int32_t SendArtNet(const uint8_t* data, int32_t length)
{
    uint8_t packet[ArtNetHeaderSize + FrameSize] = {
        'A', 'r', 't', '-', 'N', 'e', 't', 0,
        0x00, 0x50,                 // OpCode ArtDmx, little-endian
        0x00, 14,                   // protocol version, big-endian
        0,                          // sequence, set below
        0,                          // physical port
        0, 0,                       // SubUni, Net: universe 0
        FrameSize >> 8, FrameSize & 0xFF,
    };
    std::memcpy(packet + ArtNetHeaderSize, data, size_t(length < FrameSize ? length : FrameSize));
    // 1..255, then 1 again: 0 would tell the receiver that sequencing is off.
    Device.Sequence = Device.Sequence == 255 ? 1 : uint8_t(Device.Sequence + 1);
    packet[12] = Device.Sequence;
    const ssize_t sent = sendto(Device.Fd, packet, sizeof packet, MSG_DONTWAIT | MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&Device.Target), sizeof Device.Target);
    return sent == ssize_t(sizeof packet) ? length : 0;
}

int32_t SendFile(const uint8_t* data, int32_t length)
{
    int32_t written = 0;
    while (written < length) {
        const ssize_t n = write(Device.Fd, data + written, size_t(length - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += int32_t(n);
    }
    return written;
}

}   // namespace

extern "C" {

USBIO_API int32_t USBIO_GetDeviceCount(const char* id)
{
    return CountMatching(ReadDeviceSetting(), id);
}

USBIO_API int32_t USBIO_OpenDevice(int32_t index, const char* id)
{
    TLockGuard guard;
    // The device is opened exclusively: a second open fails until it is closed.
    if (Device.Kind != TDeviceKind::None) return 0;
    const TDeviceSetting setting = ReadDeviceSetting();
    if (index < 0 || index >= CountMatching(setting, id)) return 0;
    const bool opened = setting.Kind == TDeviceKind::ArtNet ? OpenArtNet(setting) : OpenFile(setting);
    return opened ? OpenHandle : 0;
}

USBIO_API int32_t USBIO_SendDmx(int32_t handle, const uint8_t* data, int32_t length)
{
    TLockGuard guard;
    if (handle != OpenHandle || Device.Kind == TDeviceKind::None || !data || length < 0) return 0;
    return Device.Kind == TDeviceKind::ArtNet ? SendArtNet(data, length) : SendFile(data, length);
}

USBIO_API int32_t USBIO_CloseDevice(int32_t handle)
{
    TLockGuard guard;
    if (handle != OpenHandle || Device.Kind == TDeviceKind::None) return 0;
    close(Device.Fd);
    Device = TOpenDevice{};
    return 1;
}

}   // extern "C"
