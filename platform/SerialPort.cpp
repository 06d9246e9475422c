#include "platform/SerialPort.h"

#include "platform/DeviceTable.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

bool SetBaudRateOther(int fd, int baud);   // SerialBaud.cpp
int GetBaudRateRaw(int fd);

namespace {

std::map<int, std::string> DefaultTable()
{
    std::map<int, std::string> t;
    for (int i = 0; i < 4; ++i)
        t[1 + i] = "/dev/ttyS" + std::to_string(i);
    for (int i = 0; i < 11; ++i)
        t[5 + i] = "/dev/ttyUSB" + std::to_string(i);
    for (int i = 0; i < 10; ++i)
        t[16 + i] = "/dev/ttyACM" + std::to_string(i);
    return t;
}

bool ComNumber(const std::string& text, int& com)
{
    com = std::atoi(text.c_str());
    return com >= 1 && com <= ComPortCount;
}

TDeviceTable<int> Table("PV_COM_PORTS", ComNumber, DefaultTable);

TComPortProbe Probe;
bool Probed = false;

int CloseNoIntr(int fd)
{
    return fd >= 0 ? ::close(fd) : 0;
}

// The signal that ends a wait for a modem line: its handler does nothing, and
// without SA_RESTART the interrupted ioctl returns EINTR.
int WakeSignal()
{
    static const int sig = [] {
        const int n = SIGRTMIN + 4;
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(n, &sa, nullptr);
        return n;
    }();
    return sig;
}

class TKernelLines final : public TSerialLines {
public:
    bool Counts(int fd, TSerialCounts& c) override
    {
        serial_icounter_struct k{};
        if (ioctl(fd, TIOCGICOUNT, &k) != 0)
            return false;
        c.Cts = k.cts;
        c.Dsr = k.dsr;
        c.Ring = k.rng;
        c.Dcd = k.dcd;
        c.Break = k.brk;
        c.Frame = k.frame;
        c.Parity = k.parity;
        c.Overrun = k.overrun;
        c.BufOverrun = k.buf_overrun;
        return true;
    }
    int WaitLines(int fd, unsigned lines) override
    {
        WakeSignal();
        unsigned long bits = 0;
        if (lines & seCts)
            bits |= TIOCM_CTS;
        if (lines & seDsr)
            bits |= TIOCM_DSR;
        if (lines & seRing)
            bits |= TIOCM_RNG;
        if (lines & seDcd)
            bits |= TIOCM_CD;
        if (ioctl(fd, TIOCMIWAIT, bits) == 0)
            return 1;
        return errno == EINTR ? 0 : -1;
    }
    void Interrupt(std::thread::native_handle_type waiter) override { pthread_kill(waiter, WakeSignal()); }
};

TKernelLines KernelLines;
std::atomic<TSerialLines*> Lines{&KernelLines};

} // namespace

int TSerialLines::AddThreadNice(int delta)
{
    // Linux keeps a nice value per thread; PRIO_PROCESS with a thread id sets it.
    const auto tid = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, tid);
    if (now == -1 && errno != 0)
        return errno;
    return setpriority(PRIO_PROCESS, tid, std::clamp(now + delta, -20, 19)) == 0 ? 0 : errno;
}

std::size_t TMarkedBytes::Decode(char* data, std::size_t n)
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        switch (FState) {
        case 0:
            if (c == 0xFF)
                FState = 1;
            else
                data[out++] = char(c);
            break;
        case 1:
            // "\377\377" is a byte 255. The kernel sends "\377" before nothing else
            // but "\0"; should it, the byte after it stands.
            FState = c == 0 ? 2 : 0;
            if (c != 0)
                data[out++] = char(c);
            break;
        default:
            FState = 0;
            data[out++] = char(FErrorChar);
            break;
        }
    }
    return out;
}

void SetSerialLines(TSerialLines* lines)
{
    Lines = lines ? lines : &KernelLines;
}

unsigned SerialCountEvents(const TSerialCounts& a, const TSerialCounts& b)
{
    unsigned events = 0;
    if (a.Break != b.Break)
        events |= seBreak;
    if (a.Cts != b.Cts)
        events |= seCts;
    if (a.Dsr != b.Dsr)
        events |= seDsr;
    if (a.Frame != b.Frame || a.Parity != b.Parity || a.Overrun != b.Overrun || a.BufOverrun != b.BufOverrun)
        events |= seError;
    if (a.Ring != b.Ring)
        events |= seRing;
    if (a.Dcd != b.Dcd)
        events |= seDcd;
    return events;
}

std::string ComDevicePath(int com)
{
    return Table.Path(com);
}

void SetComDeviceTable(const std::map<int, std::string>& table)
{
    Table.Set(table);
}

void ResetComDeviceTable()
{
    Table.Reset();
}

bool ProbeDevice(const std::string& path)
{
    if (path.empty())
        return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t{};
    bool ok = tcgetattr(fd, &t) == 0;
    // An on-board UART node exists whether or not a UART answers behind it.
    if (ok && path.rfind("/dev/ttyS", 0) == 0) {
        serial_struct ss{};
        ok = ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
    }
    CloseNoIntr(fd);
    return ok;
}

const TComPortProbe& ProbeComPorts()
{
    TComPortProbe p;
    for (int n = 1; n <= ComPortCount; ++n) {
        p.Available[n] = ProbeDevice(ComDevicePath(n));
        if (p.Available[n])
            p.Ports.push_back(n);
    }
    p.Any = !p.Ports.empty();
    Probe = p;
    Probed = true;
    return Probe;
}

const TComPortProbe& ComPorts()
{
    return Probed ? Probe : ProbeComPorts();
}

bool BuildTermios(const TLineSettings& s, termios& t)
{
    if (s.DataBits < 5 || s.DataBits > 8 || s.Parity < 0 || s.Parity > 4 || s.StopBits < 0 || s.StopBits > 2)
        return false;
    cfmakeraw(&t);
    // A rate set through termios2 earlier would stay in the flags; start from a
    // plain one, the real rate is set afterwards.
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    t.c_cflag &= ~CMSPAR;
#endif
    t.c_cflag |= CLOCAL | CREAD;
    static const tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= Sizes[s.DataBits - 5];
    switch (s.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;   // mark: parity bit always 1
    case 4: t.c_cflag |= PARENB | CMSPAR; break;            // space: parity bit always 0
#else
    case 3:
    case 4: return false;
#endif
    default: break;
    }
    // One and a half stop bits: the UART gives 1.5 for two at five data bits.
    if (s.StopBits != 0)
        t.c_cflag |= CSTOPB;
    if (s.RtsCts)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
    if (s.XOnXOff)
        t.c_iflag |= IXON | IXOFF;
    if (s.ParityCheck)
        t.c_iflag |= INPCK;
    if (s.ParityCheck && s.UseErrorChar)
        t.c_iflag |= PARMRK;
    t.c_cc[VSTART] = s.XOnChar;
    t.c_cc[VSTOP] = s.XOffChar;
    t.c_cc[VEOF] = s.EofChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return true;
}

bool SetBaudRate(int fd, int baud)
{
    static const struct {
        int rate;
        speed_t code;
    } Standard[] = {{50, B50},         {110, B110},       {150, B150},       {300, B300},       {600, B600},
                    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
                    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
                    {921600, B921600}};
    for (const auto& s : Standard)
        if (s.rate == baud) {
            termios t{};
            if (tcgetattr(fd, &t) != 0)
                return false;
            cfsetispeed(&t, s.code);
            cfsetospeed(&t, s.code);
            return tcsetattr(fd, TCSANOW, &t) == 0;
        }
    return baud > 0 && SetBaudRateOther(fd, baud);
}

int GetBaudRate(int fd)
{
    return GetBaudRateRaw(fd);
}

// ---- the open port ----

TSerialDevice::~TSerialDevice()
{
    Close();
}

bool TSerialDevice::Open(const std::string& path, const TLineSettings& s, unsigned char eventChar, unsigned events,
                         THandler handler, std::string* error)
{
    auto fail = [&](int fd, const char* what) {
        const int e = errno;
        CloseNoIntr(fd);
        if (error)
            *error = std::string(what) + ": " + std::strerror(e);
        return false;
    };
    Close();
    if (path.empty()) {
        errno = ENOENT;
        return fail(-1, "open");
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(-1, "open");
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail(fd, "TIOCEXCL");
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return fail(fd, "tcgetattr");
    if (!BuildTermios(s, t)) {
        errno = EINVAL;
        return fail(fd, "settings");
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return fail(fd, "tcsetattr");
    if (!SetBaudRate(fd, s.Baud))
        return fail(fd, "baud rate");
    // Linux raises RTS and DTR on open; set them as asked. A pseudo-terminal has
    // no modem lines, so a failure here is no failure of the open.
    const int rts = TIOCM_RTS, dtr = TIOCM_DTR;
    if (!s.RtsCts)
        (void)ioctl(fd, s.RtsActive ? TIOCMBIS : TIOCMBIC, &rts);
    (void)ioctl(fd, (s.DtrDsr || s.DtrActive) ? TIOCMBIS : TIOCMBIC, &dtr);
    tcflush(fd, TCIOFLUSH);

    events &= seAllEvents;
    if (!handler)
        events = 0;
    int wake = -1;
    if (events) {
        wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0)
            return fail(fd, "eventfd");
    }
    std::unique_lock<std::mutex> g(FLock);
    FFd = fd;
    FWake = wake;
    FEliminateNull = s.EliminateNull;
    FMarked = s.ParityCheck && s.UseErrorChar;
    FMarks = TMarkedBytes(s.ErrorChar);
    FThreadNice = s.ThreadNice;
    FPriorityError = 0;
    FPrioritySet = false;
    FEventChar = eventChar;
    FEvents = events;
    FReceived.clear();
    FHandler = events ? std::move(handler) : nullptr;
    FStop = false;
    FWrote = false;
    FLinesMoved = false;
    FLinesDone = false;
    // The counters are read only for the events that need them, and only a
    // device that keeps them reports those events.
    FLines = Lines.load();
    FCounting = (events & SerialCountedEvents) && FLines->Counts(fd, FCounts);
    if (events)
        FThread = std::thread([this] { Run(); });
    if (FCounting && (events & SerialLineEvents))
        FLineThread = std::thread([this] { WatchLines(); });
    g.unlock();
    // The event thread sets its own priority first; the caller learns at once
    // whether the system allowed it.
    if (events) {
        std::unique_lock<std::mutex> l(FPriorityLock);
        FPriorityDone.wait(l, [this] { return FPrioritySet; });
    }
    return true;
}

void TSerialDevice::Wake()
{
    const std::uint64_t one = 1;
    if (FWake >= 0)
        (void)!::write(FWake, &one, sizeof one);
}

void TSerialDevice::StopThread()
{
    FStop = true;
    // The line watcher runs no handler, so any thread may end it. A wake-up that
    // comes just before it enters its wait is lost: it is sent again until the
    // thread has ended.
    if (FLineThread.joinable()) {
        while (!FLinesDone) {
            FLines->Interrupt(FLineThread.native_handle());
            for (int i = 0; i < 10 && !FLinesDone; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FLineThread.join();
    }
    if (!FThread.joinable())
        return;
    Wake();
    // A handler that closes its own port cannot join its own thread: it ends by
    // itself after the handler returns and is joined by the next open or close.
    if (FThread.get_id() == std::this_thread::get_id())
        return;
    FThread.join();
}

void TSerialDevice::Close()
{
    StopThread();
    std::lock_guard<std::mutex> g(FLock);
    if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id())
        return;   // closed later, once this thread has ended
    // Another descriptor of the same device (a test's pseudo-terminal end)
    // would keep the exclusive flag and lock out the next open.
    if (FFd >= 0)
        (void)ioctl(FFd, TIOCNXCL);
    CloseNoIntr(FFd);
    CloseNoIntr(FWake);
    FFd = -1;
    FWake = -1;
    FHandler = nullptr;
    FEvents = 0;
    FCounting = false;
    FReceived.clear();
}

bool TSerialDevice::IsOpen() const
{
    std::lock_guard<std::mutex> g(FLock);
    return FFd >= 0;
}

bool TSerialDevice::HasThread() const
{
    return FThread.joinable();
}

bool TSerialDevice::WatchesLines() const
{
    return FLineThread.joinable() && !FLinesDone;
}

int TSerialDevice::PriorityError() const
{
    std::lock_guard<std::mutex> l(FPriorityLock);
    return FPriorityError;
}

int TSerialDevice::Handle() const
{
    std::lock_guard<std::mutex> g(FLock);
    return FFd;
}

// Waits for the modem lines and wakes the event thread when one moved. A change
// between two waits is seen by the counts taken before each wait.
void TSerialDevice::WatchLines()
{
    const int fd = FFd;
    const unsigned lines = FEvents & SerialLineEvents;
    TSerialCounts seen;
    bool ok = FLines->Counts(fd, seen);
    while (ok && !FStop) {
        TSerialCounts now;
        if (!FLines->Counts(fd, now))
            break;
        if (SerialCountEvents(seen, now) & lines) {
            seen = now;
            FLinesMoved = true;
            Wake();
            continue;
        }
        // A device that cannot wait (or that went away) ends the watch; the
        // event thread tells a device that went away.
        ok = FLines->WaitLines(fd, lines) >= 0;
    }
    FLinesDone = true;
}

void TSerialDevice::Run()
{
    {
        const int refused = FThreadNice != 0 ? FLines->AddThreadNice(FThreadNice) : 0;
        std::lock_guard<std::mutex> l(FPriorityLock);
        FPriorityError = refused;
        FPrioritySet = true;
        FPriorityDone.notify_all();
    }
    char buf[4096];
    const int fd = FFd;
    while (!FStop) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {FWake, POLLIN, 0}};
        // After a write, look at the output queue until it runs empty.
        const int r = ::poll(fds, 2, FWrote ? 10 : -1);
        if (FStop)
            break;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            FHandler(seLost);
            break;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t v;
            (void)!::read(FWake, &v, sizeof v);
        }
        unsigned events = 0;
        bool received = false;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                received = true;
                const std::size_t len = FMarked ? FMarks.Decode(buf, std::size_t(n)) : std::size_t(n);
                std::string bytes(buf, len);
                if (FEliminateNull)
                    std::erase(bytes, '\0');
                if (!bytes.empty())
                    events |= seRxChar;
                if (bytes.find(char(FEventChar)) != std::string::npos)
                    events |= seEventChar;
                std::lock_guard<std::mutex> g(FLock);
                FReceived += bytes;
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The other end hung up or the device went away.
                FHandler(seLost);
                break;
            }
        }
        // A break or a faulty byte arrives as a byte (stripped as a NUL, maybe);
        // the counters tell what it was.
        if (FCounting && (received || FLinesMoved.exchange(false))) {
            TSerialCounts now;
            if (FLines->Counts(fd, now)) {
                events |= SerialCountEvents(FCounts, now);
                FCounts = now;
            }
        }
        if (FWrote && OutQueue() == 0) {
            FWrote = false;
            events |= seTxEmpty;
        }
        events &= FEvents;
        if (events)
            FHandler(events);
    }
}

int TSerialDevice::Write(const void* data, int count, int timeoutMs)
{
    std::lock_guard<std::mutex> g(FLock);
    if (FFd < 0 || count <= 0)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const char* p = static_cast<const char*>(data);
    int done = 0;
    while (done < count) {
        const ssize_t n = ::write(FFd, p + done, std::size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pf{FFd, POLLOUT, 0};
        if (::poll(&pf, 1, int(left.count())) <= 0 || (pf.revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
    }
    if (done > 0 && FThread.joinable()) {
        FWrote = true;
        Wake();
    }
    return done;
}

int TSerialDevice::Read(void* data, int count)
{
    std::lock_guard<std::mutex> g(FLock);
    if (FFd < 0 || count <= 0)
        return 0;
    if (FThread.joinable()) {
        const int n = std::min<int>(count, int(FReceived.size()));
        std::memcpy(data, FReceived.data(), std::size_t(n));
        FReceived.erase(0, std::size_t(n));
        return n;
    }
    int done = 0;
    char* p = static_cast<char*>(data);
    while (done < count) {
        const ssize_t n = ::read(FFd, p + done, std::size_t(count - done));
        if (n > 0) {
            char* end = p + done + (FMarked ? FMarks.Decode(p + done, std::size_t(n)) : std::size_t(n));
            if (FEliminateNull)
                end = std::remove(p + done, end, '\0');
            done = int(end - p);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return done;
}

std::string TSerialDevice::ReadAll()
{
    std::string all;
    char buf[4096];
    for (;;) {
        const int n = Read(buf, int(sizeof buf));
        if (n <= 0)
            break;
        all.append(buf, std::size_t(n));
    }
    return all;
}

int TSerialDevice::InQueue() const
{
    std::lock_guard<std::mutex> g(FLock);
    if (FFd < 0)
        return 0;
    if (FThread.joinable())
        return int(FReceived.size());
    int n = 0;
    return ioctl(FFd, FIONREAD, &n) == 0 ? n : 0;
}

int TSerialDevice::OutQueue() const
{
    int n = 0;
    const int fd = FFd;
    return fd >= 0 && ioctl(fd, TIOCOUTQ, &n) == 0 ? n : 0;
}
