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
// The XON/XOFF limits, abort on error and stopping the output while our own XOFF
// holds the other end have no equivalent either; the caller keeps them.

#include <array>
#include <atomic>
#include <condition_variable>
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
    // With ParityCheck: a byte received with a parity or framing error (and a
    // break) arrives as ErrorChar. The kernel marks such bytes (PARMRK); the
    // port puts ErrorChar in place of each mark.
    bool UseErrorChar = false;
    unsigned char XOnChar = 17;
    unsigned char XOffChar = 19;
    unsigned char ErrorChar = '?';
    // VEOF; like the end-of-file character of a port in binary mode it ends
    // nothing while the port is raw.
    unsigned char EofChar = 26;
    // Added to the nice value of the event thread (the opening thread's to
    // begin with); 0 leaves it.
    int ThreadNice = 0;
};

// Undoes the kernel's marks (PARMRK): "\377\377" is a byte 255, "\377\0" x a
// faulty byte x (x = 0 for a break), which becomes the error character. A mark
// split between two reads is finished by the next read.
class TMarkedBytes {
public:
    explicit TMarkedBytes(unsigned char errorChar = '?') : FErrorChar(errorChar) {}
    // Decodes n bytes in place; returns how many are left (never more than n).
    std::size_t Decode(char* data, std::size_t n);

private:
    unsigned char FErrorChar;
    int FState = 0;   // 1 after "\377", 2 after "\377\0"
};

// Fills t (raw mode) from s; false when s cannot be expressed (data bits,
// mark/space parity without CMSPAR). The baud rate is not part of it.
bool BuildTermios(const TLineSettings& s, termios& t);
// Sets the baud rate of an open terminal, any rate the driver accepts.
bool SetBaudRate(int fd, int baud);
// The output baud rate the kernel holds for fd; 0 on failure.
int GetBaudRate(int fd);

// Comm events as bits of one mask, in the order they are dispatched.
enum TSerialEvent : unsigned {
    seBreak = 1u << 0,       // a break arrived
    seCts = 1u << 1,         // the CTS line changed
    seDsr = 1u << 2,         // the DSR line changed
    seError = 1u << 3,       // a framing, parity or overrun error
    seRing = 1u << 4,        // the ring indicator changed
    seDcd = 1u << 5,         // the carrier-detect line changed
    seRxChar = 1u << 6,      // bytes arrived
    seEventChar = 1u << 7,   // the event character arrived
    seTxEmpty = 1u << 8,     // the output queue ran empty
    seAllEvents = (1u << 9) - 1,
    // Not a comm event: the device went away. Reported alone, once.
    seLost = 1u << 15,
};
constexpr unsigned SerialLineEvents = seCts | seDsr | seRing | seDcd;
constexpr unsigned SerialCountedEvents = seBreak | seError | SerialLineEvents;

// What the driver counts per port: transitions of the modem lines and the
// breaks and line errors received.
struct TSerialCounts {
    int Cts = 0, Dsr = 0, Ring = 0, Dcd = 0;
    int Break = 0, Frame = 0, Parity = 0, Overrun = 0, BufOverrun = 0;
};
// The events (of SerialCountedEvents) that lie between two counts.
unsigned SerialCountEvents(const TSerialCounts& before, const TSerialCounts& after);

// The modem lines and error counters of a port. The default is the kernel's
// (TIOCGICOUNT, TIOCMIWAIT); tests put a fake in its place with SetSerialLines.
class TSerialLines {
public:
    virtual ~TSerialLines() = default;
    // The counters; false when the device keeps none (a pseudo-terminal has no
    // modem lines).
    virtual bool Counts(int fd, TSerialCounts& counts) = 0;
    // Blocks until a line of lines (bits of SerialLineEvents) changes.
    // 1: a line changed; 0: interrupted; -1: the device cannot wait.
    virtual int WaitLines(int fd, unsigned lines) = 0;
    // Ends a WaitLines that thread waiter may be blocked in.
    virtual void Interrupt(std::thread::native_handle_type waiter) = 0;
    // Adds delta to the calling thread's nice value (bounded to -20..19);
    // 0 when done, else the errno of the refusal (a higher priority needs a
    // privilege).
    virtual int AddThreadNice(int delta);
};
// nullptr: the kernel's. A port keeps the one it was opened with.
void SetSerialLines(TSerialLines* lines);

// One open port. Reading belongs to the event thread while it runs: it moves
// every byte that arrives into the receive buffer and reports seRxChar (and
// seEventChar when the new bytes hold the event character). Breaks and line
// errors are told by the driver's counters, looked at whenever bytes arrive (a
// break or a faulty byte arrives as a byte); modem-line changes by a second
// thread that waits in the driver for them and wakes the event thread. The
// handler runs on the event thread with every event of one wake-up in one mask.
// A hang-up or read error reports seLost once and ends the thread; the owner
// closes the port then. Close wakes and joins both threads.
class TSerialDevice {
public:
    using THandler = std::function<void(unsigned events)>;
    TSerialDevice() = default;
    ~TSerialDevice();
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;

    // Opens path exclusively with settings s. With a handler and events (bits
    // of seAllEvents) to watch an event thread starts, else none does; only the
    // events asked for are reported. A kind the device cannot report (modem
    // lines and error counts of a pseudo-terminal) is never reported; the port
    // opens all the same. error receives the reason on failure.
    bool Open(const std::string& path, const TLineSettings& s, unsigned char eventChar, unsigned events,
              THandler handler, std::string* error = nullptr);
    void Close();
    bool IsOpen() const;
    bool HasThread() const;
    // The thread waiting for modem-line changes runs.
    bool WatchesLines() const;
    int Handle() const;
    // The errno with which the event thread's priority was refused at the
    // last open; 0 when it was set or left alone.
    int PriorityError() const;

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
    void WatchLines();
    void StopThread();
    void Wake();

    mutable std::mutex FLock;   // the descriptor and the receive buffer
    int FFd = -1;
    int FWake = -1;             // eventfd that ends the thread's wait
    bool FEliminateNull = false;
    bool FMarked = false;   // faulty bytes come marked (see TMarkedBytes)
    TMarkedBytes FMarks;
    int FThreadNice = 0;
    // Set by the event thread before it waits for anything; Open waits for it.
    mutable std::mutex FPriorityLock;
    std::condition_variable FPriorityDone;
    bool FPrioritySet = false;
    int FPriorityError = 0;
    unsigned char FEventChar = 13;
    unsigned FEvents = 0;
    std::string FReceived;
    THandler FHandler;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FWrote{false};
    // Counters, when the device keeps them and an event needs them.
    TSerialLines* FLines = nullptr;
    bool FCounting = false;
    TSerialCounts FCounts;   // as last reported (event thread)
    std::thread FLineThread;
    std::atomic<bool> FLinesMoved{false};
    std::atomic<bool> FLinesDone{false};
};
