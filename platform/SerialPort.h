#pragma once
// Serial ports over POSIX termios.
//
// COM numbers map to device paths through one table. The default table is fixed,
// so that a port keeps its number whatever else is plugged in:
//   COM1..COM4   /dev/ttyS0..3
//   COM5..COM15  /dev/ttyUSB0..10
//   COM16..COM25 /dev/ttyACM0..9
// The environment variable PV_COM_PORTS replaces the whole table, for example
// "1=/dev/ttyUSB0,3=/dev/pts/7"; COM numbers it does not name have no device.
// Tests set the table with SetComDeviceTable.
//
// A port is available when it opens read/write, answers tcgetattr and, for an
// on-board UART (/dev/ttyS*), reports a known UART type. A device the user may
// not open (not in group dialout) counts as absent.
//
// DTR/DSR flow control has no equivalent on Linux: with it set, DTR is raised.
// The XON/XOFF limits, the error and EOF characters, abort on error and continue
// on XOFF have no equivalent either; they are kept and ignored.

#include <atomic>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct termios;

constexpr int ComPortCount = 25;

// The device path of COM n (1..25); empty when the table names none.
std::string ComDevicePath(int com);
// Replaces the table (COM number -> path); the others have no device.
void SetComDeviceTable(const std::map<int, std::string>& table);
// Back to the table of PV_COM_PORTS, or the default one.
void ResetComDeviceTable();

struct TComPortProbe {
    std::array<bool, ComPortCount + 1> Available{};   // index 1..25
    std::vector<int> Ports;                            // available, ascending
    bool Any = false;
};
// Probes every COM number once and keeps the result; ProbeComPorts probes again.
const TComPortProbe& ComPorts();
const TComPortProbe& ProbeComPorts();
bool ProbeDevice(const std::string& path);

// The line settings of an open port.
struct TLineSettings {
    int Baud = 9600;
    int DataBits = 8;      // 5..8; anything else cannot be set
    int Parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int StopBits = 0;      // 0 one, 1 one and a half, 2 two
    bool RtsCts = false;
    bool DtrDsr = false;
    bool XOnXOff = false;
    bool RtsActive = false;
    bool DtrActive = false;
    bool ParityCheck = false;
    bool EliminateNull = false;
    unsigned char XOnChar = 17;
    unsigned char XOffChar = 19;
};

// Fills t (raw mode) from s; false when s cannot be expressed (data bits,
// mark/space parity without CMSPAR). The baud rate is not part of it.
bool BuildTermios(const TLineSettings& s, termios& t);
// Sets the baud rate of an open terminal, any rate the driver accepts.
bool SetBaudRate(int fd, int baud);
// The output baud rate the kernel holds for fd; 0 on failure.
int GetBaudRate(int fd);

// Comm events, in the order they are dispatched.
enum class TSerialEvent : std::uint8_t { RxChar, EventChar, TxEmpty, Lost };

// One open port. Reading belongs to the event thread while it runs: it moves
// every byte that arrives into the receive buffer and reports RxChar (and
// EventChar when the new bytes hold the event character). Handlers run on that
// thread. A hang-up or read error reports Lost once and ends the thread; the
// owner closes the port then. Close wakes and joins the thread.
class TSerialDevice {
public:
    using THandler = std::function<void(TSerialEvent)>;
    TSerialDevice() = default;
    ~TSerialDevice();
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;

    // Opens path exclusively with settings s. With a handler an event thread
    // starts; without one none does. error receives the reason on failure.
    bool Open(const std::string& path, const TLineSettings& s, unsigned char eventChar, THandler handler,
              std::string* error = nullptr);
    void Close();
    bool IsOpen() const;
    bool HasThread() const;
    int Handle() const;

    // Writes count bytes; waits at most timeoutMs for room. Returns bytes written.
    int Write(const void* data, int count, int timeoutMs);
    // Takes up to count bytes that are waiting now; never blocks.
    int Read(void* data, int count);
    // Takes every byte waiting now.
    std::string ReadAll();
    int InQueue() const;
    int OutQueue() const;

private:
    void Run();
    void StopThread();

    mutable std::mutex FLock;   // the descriptor and the receive buffer
    int FFd = -1;
    int FWake = -1;             // eventfd that ends the thread's wait
    bool FEliminateNull = false;
    unsigned char FEventChar = 13;
    std::string FReceived;
    THandler FHandler;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FWrote{false};
};
