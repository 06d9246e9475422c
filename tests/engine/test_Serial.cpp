// The serial port and the serial terminal through a real pseudo-terminal mapped
// as a COM port: line settings read back from the kernel, text both ways, the
// event character, the C command, the other end going away, open/close
// without leaking descriptors or threads, and every comm event (modem lines,
// breaks and line errors through a fake of the driver's counters).

#include "TestHelpers.h"

#include "devices/uComTerminal.h"
#include "devices/uMod_Interface.h"
#include "devices/uSerial.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"
#include "platform/SerialPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

// One pseudo-terminal; its slave is COM n for the port layer.
struct TPty {
    int Master = -1;
    int Slave = -1;
    std::string Path;
    TPty()
    {
        char name[128] = {};
        if (openpty(&Master, &Slave, name, nullptr, nullptr) == 0) {
            Path = name;
            fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TPty() { CloseMaster(); if (Slave >= 0) ::close(Slave); }
    void CloseMaster() { if (Master >= 0) ::close(Master); Master = -1; }
    void Write(const std::string& s) const { EXPECT_EQ(::write(Master, s.data(), s.size()), ssize_t(s.size())); }
    // Everything the port sends until want bytes came (or a generous bound).
    std::string Read(std::size_t want) const
    {
        std::string got;
        char buf[256];
        for (int i = 0; i < 100 && got.size() < want; ++i) {
            pollfd p{Master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(Master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, std::size_t(n));
            }
        }
        return got;
    }
};

void MapCom(int com, const std::string& path)
{
    SetComDeviceTable({{com, path}});
    ProbeComPorts();
}

// The driver's counters and modem-line wait, played by the test: Raise changes
// counters as a UART's interrupt would; the wait wakes for its lines only, as
// the kernel's does, and not while Hold is set.
class TFakeLines : public TSerialLines {
public:
    TFakeLines() { SetSerialLines(this); }
    ~TFakeLines() override { SetSerialLines(nullptr); }

    bool Counts(int, TSerialCounts& c) override
    {
        std::lock_guard<std::mutex> g(FLock);
        ++CountCalls;
        c = FCounts;
        return Keeps;
    }
    int WaitLines(int, unsigned lines) override
    {
        std::unique_lock<std::mutex> l(FLock);
        WaitMasks.push_back(lines);
        const TSerialCounts start = FCounts;
        ++Waiting;
        FChanged.wait(l, [&] { return FInterrupted || (!Hold && (SerialCountEvents(start, FCounts) & lines)); });
        --Waiting;
        const bool interrupted = FInterrupted;
        FInterrupted = false;
        return interrupted ? 0 : 1;
    }
    void Interrupt(std::thread::native_handle_type) override
    {
        std::lock_guard<std::mutex> g(FLock);
        FInterrupted = true;
        FChanged.notify_all();
    }
    // Refuses every change of priority, as the system does without a privilege.
    int AddThreadNice(int delta) override
    {
        std::lock_guard<std::mutex> g(FLock);
        NiceAsked.push_back(delta);
        return EACCES;
    }
    void Raise(const std::function<void(TSerialCounts&)>& change)
    {
        std::lock_guard<std::mutex> g(FLock);
        change(FCounts);
        FChanged.notify_all();
    }
    void SetHold(bool hold)
    {
        std::lock_guard<std::mutex> g(FLock);
        Hold = hold;
        FChanged.notify_all();
    }
    template <class T>
    T Get(const T& field)
    {
        std::lock_guard<std::mutex> g(FLock);
        return field;
    }

    bool Keeps = true;
    bool Hold = false;
    int CountCalls = 0;
    int Waiting = 0;
    std::vector<unsigned> WaitMasks;
    std::vector<int> NiceAsked;

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    TSerialCounts FCounts;
    bool FInterrupted = false;
};

// Every handler of a port records its name, from whichever thread it runs on.
// Standard strings: a Qt list shared with the test's thread would be grown in
// place by the handler's thread.
struct TEventLog {
    std::mutex Lock;
    std::vector<std::string> Names;
    void Attach(TSerial& s)
    {
        const std::pair<TSerial::TNotify TSerial::*, const char*> handlers[] = {
            {&TSerial::OnBreak, "Break"},     {&TSerial::OnCts, "Cts"},
            {&TSerial::OnDsr, "Dsr"},         {&TSerial::OnError, "Error"},
            {&TSerial::OnRing, "Ring"},       {&TSerial::OnDcd, "Dcd"},
            {&TSerial::OnRxChar, "Rx"},       {&TSerial::OnEventChar, "EventChar"},
            {&TSerial::OnTxEmpty, "TxEmpty"},
        };
        for (const auto& [member, name] : handlers)
            s.*member = [this, n = std::string(name)](TSerial&) {
                std::lock_guard<std::mutex> g(Lock);
                Names.push_back(n);
            };
    }
    QStringList Get()
    {
        std::lock_guard<std::mutex> g(Lock);
        QStringList names;
        for (const std::string& n : Names)
            names << QString::fromStdString(n);
        return names;
    }
    // The names without Rx and without repeats of the one before.
    QStringList Kinds()
    {
        QStringList kinds;
        for (const QString& n : Get())
            if (n != "Rx" && (kinds.isEmpty() || kinds.last() != n))
                kinds << n;
        return kinds;
    }
};

int CountEntries(const char* dir)
{
    return int(QDir(QString::fromLatin1(dir)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GE(Pty.Master, 0);
        MapCom(3, Pty.Path);
    }
    void TearDown() override
    {
        SetComDeviceTable({});
        ProbeComPorts();
    }
    TPty Pty;
};

} // namespace

TEST(SerialPorts, TableFromTheEnvironmentAndTheProbe)
{
    TTempProgramDir dir;
    dir.Write("plain.txt", "x");
    setenv("PV_COM_PORTS", ("2=/dev/null,7=" + dir.File("plain.txt").toStdString() + ",30=/dev/tty,x=1").c_str(), 1);
    ResetComDeviceTable();
    unsetenv("PV_COM_PORTS");
    EXPECT_EQ(ComDevicePath(2), "/dev/null");
    EXPECT_EQ(ComDevicePath(1), "");
    EXPECT_EQ(ComDevicePath(30), "");
    // Neither /dev/null nor a plain file is a terminal; a missing path is absent.
    const TComPortProbe& p = ProbeComPorts();
    EXPECT_FALSE(p.Any);
    EXPECT_FALSE(ProbeDevice("/dev/does-not-exist"));

    ResetComDeviceTable();
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(25), "/dev/ttyACM9");
    SetComDeviceTable({});
    ProbeComPorts();
}

TEST_F(SerialTest, SettersKeepTheirInvariants)
{
    TSerial s;
    EXPECT_EQ(s.COMPort(), 3);   // the lowest available port
    s.SetBufSizeRec(1000);
    EXPECT_EQ(std::make_tuple(s.BufSizeRec(), s.XOffLimit(), s.XOnLimit()), std::make_tuple(1000, 1000, 400));
    s.SetBufSizeRec(300);
    EXPECT_EQ(std::make_tuple(s.BufSizeRec(), s.XOffLimit(), s.XOnLimit()), std::make_tuple(300, 300, 299));
    s.SetBufSizeRec(5);
    EXPECT_EQ(s.BufSizeRec(), 16);

    TSerial t;
    t.SetXOnLimit(2000);
    EXPECT_EQ(t.XOnLimit(), 1599);
    t.SetXOnLimit(-5);
    EXPECT_EQ(t.XOnLimit(), 0);
    t.SetRecTimeOut(-1);
    EXPECT_EQ(t.RecTimeOut(), 0);
    t.SetParityBit(mark);
    EXPECT_TRUE(t.ParityCheck());

    t.SetCOMPort(30);
    EXPECT_EQ(t.COMPort(), 3);
    t.SetCOMPort(7);
    EXPECT_EQ(t.COMPort(), 0);
    t.SetCOMPort(3);
    EXPECT_EQ(t.COMPort(), 3);
    EXPECT_EQ(t.Ports(), QStringList{"COM3"});

    // The limits where they meet: an XON limit equal to the XOFF limit goes
    // one below it, an XOFF limit equal to the XON limit one above it.
    TSerial u;
    u.SetBufSizeRec(400);
    EXPECT_EQ(std::make_tuple(u.BufSizeRec(), u.XOffLimit(), u.XOnLimit()), std::make_tuple(400, 400, 399));
    u.SetXOnLimit(100);
    u.SetXOffLimit(100);
    EXPECT_EQ(u.XOffLimit(), 101);

    // The last port number there is.
    MapCom(ComPortCount, Pty.Path);
    t.SetCOMPort(ComPortCount);
    EXPECT_EQ(t.COMPort(), ComPortCount);
    MapCom(3, Pty.Path);
}

TEST_F(SerialTest, SettingsComeBackUnchangedThroughSetAndText)
{
    TSerialSettings a;
    TSerial s;
    s.GetSettings(a);
    TSerialSettings b = a;
    // A record whose XOFF limit lies below the old XON limit: applied field by
    // field in record order it would not come back.
    b.BufSizeRec = 300;
    b.XOffLimit = 200;
    b.XOnLimit = 100;
    b.Baudrate = br_256000;
    b.ParityBit = space;
    b.EventChar = 10;
    b.HandshakeXOnXOff = true;
    b.RecTimeOut = 50;
    for (const TSerialSettings& want : {a, b}) {
        TSerial t;
        t.SetSettings(want);
        TSerialSettings got;
        t.GetSettings(got);
        EXPECT_EQ(got, want);
        const QString text = TSerial::SettingsToText(want);
        EXPECT_EQ(text.size(), 91);
        EXPECT_EQ(TSerial::TextToSettings(text + "rest"), want);
    }

    const QString good = TSerial::SettingsToText(a);
    QString badCheck = good;
    badCheck[88] = badCheck[88] == u'0' ? u'1' : u'0';
    const QString cases[] = {QString(), good.left(90), "XXXX" + good.mid(4), badCheck};
    for (const QString& text : cases)
        EXPECT_FALSE(TSerial::TextToSettings(text).Valid) << text.toStdString();
    // Each index at the last value it may have and one above, with the check
    // value made to match.
    const struct {
        int Position;
        const char* Digits;
        bool Valid;
    } fields[] = {
        {7, "19", true}, {7, "20", false}, {9, "4", true},  {9, "5", false},
        {10, "4", true}, {10, "5", false}, {11, "2", true}, {11, "3", false},
    };
    for (const auto& f : fields) {
        QString text = good;
        text.replace(f.Position, int(std::strlen(f.Digits)), QString::fromLatin1(f.Digits));
        int check = 0;
        for (int i = 0; i < 88; ++i)
            check ^= text.at(i).unicode();
        text.replace(88, 3, QString::number(check).rightJustified(3, u'0'));
        EXPECT_EQ(TSerial::TextToSettings(text).Valid, f.Valid) << f.Position << " " << f.Digits;
    }
    EXPECT_EQ(TSerial::SettingsToText(TSerialSettings{}), "");

    // A negative number (no setter makes one) is written as 0: the text stays valid.
    TSerialSettings negative = a;
    negative.RecTimeOut = -5;
    const TSerialSettings read = TSerial::TextToSettings(TSerial::SettingsToText(negative));
    EXPECT_TRUE(read.Valid);
    EXPECT_EQ(read.RecTimeOut, 0);

    // A number too long for its field keeps its first digits.
    TSerialSettings big = a;
    big.XOffLimit = 123456789;
    big.COMPort = 1234;
    const QString bigText = TSerial::SettingsToText(big);
    EXPECT_EQ(bigText.size(), 91);
    EXPECT_EQ(bigText.mid(4, 3), "123");
    EXPECT_EQ(bigText.mid(39, 8), "12345678");
    EXPECT_EQ(TSerial::TextToSettings(bigText).XOffLimit, 12345678);
}

TEST_F(SerialTest, LineSettingsReachTheKernel)
{
    struct Row {
        TBaudrate baud;
        TDataBits data;
        TParityBit parity;
        TStopBits stop;
        bool rtscts, xonxoff;
    };
    const Row rows[] = {
        {br_009600, db_8, none, sb_1, false, false},  {br_014400, db_7, even, sb_2, true, false},
        {br_000050, db_5, odd, sb_15, false, true},   {br_056000, db_6, mark, sb_1, false, false},
        {br_128000, db_8, space, sb_2, true, true},   {br_256000, db_8, none, sb_1, false, false},
        {br_921600, db_7, none, sb_1, false, false},  {br_115200, db_8, even, sb_1, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(BaudTable[r.baud]);
        TSerial s;
        s.Baudrate = r.baud;
        s.DataBits = r.data;
        s.SetParityBit(r.parity);
        s.StopBits = r.stop;
        s.HandshakeRtsCts = r.rtscts;
        s.HandshakeXOnXOff = r.xonxoff;
        s.XOnChar = 1;
        s.XOffChar = 2;
        ASSERT_TRUE(s.OpenPort());
        termios want{};
        TLineSettings ls;
        ls.DataBits = r.data + 4;
        ls.Parity = r.parity;
        ls.StopBits = r.stop;
        ls.RtsCts = r.rtscts;
        ls.XOnXOff = r.xonxoff;
        ls.ParityCheck = r.parity != none;
        ls.XOnChar = 1;
        ls.XOffChar = 2;
        ASSERT_TRUE(BuildTermios(ls, want));
        termios got{};
        ASSERT_EQ(tcgetattr(Pty.Slave, &got), 0);
        // A pseudo-terminal forces eight data bits without parity, so those
        // are checked on the record that was set.
        const tcflag_t kept = CSTOPB | CRTSCTS | CLOCAL | CREAD;
        EXPECT_EQ(got.c_cflag & kept, want.c_cflag & kept);
        const tcflag_t in = IXON | IXOFF | INPCK | ICRNL | ISTRIP | IGNBRK, local = ICANON | ECHO | ISIG | IEXTEN;
        EXPECT_EQ(got.c_iflag & in, want.c_iflag & in);
        EXPECT_EQ(got.c_lflag & local, 0u);
        EXPECT_EQ(got.c_cc[VSTART], 1);
        EXPECT_EQ(got.c_cc[VSTOP], 2);
        EXPECT_EQ(GetBaudRate(Pty.Slave), BaudTable[r.baud]);
        static const tcflag_t Sizes[] = {0, CS5, CS6, CS7, CS8};
        EXPECT_EQ(want.c_cflag & CSIZE, Sizes[r.data]);
        EXPECT_EQ(bool(want.c_cflag & PARENB), r.parity != none);
        EXPECT_EQ(bool(want.c_cflag & CMSPAR), r.parity == mark || r.parity == space);
        EXPECT_EQ(bool(want.c_cflag & PARODD), r.parity == odd || r.parity == mark);
        EXPECT_EQ(bool(want.c_iflag & INPCK), r.parity != none);
        s.ClosePort();
    }
    // Four data bits cannot be set: the open fails and leaves nothing open.
    TSerial four;
    four.DataBits = db_4;
    EXPECT_FALSE(four.OpenPort());
    EXPECT_FALSE(four.Active());
    EXPECT_FALSE(four.Device().IsOpen());
}

TEST_F(SerialTest, WithoutHandlersNoThreadAndReadsServeFromTheDevice)
{
    TSerial s;
    EXPECT_EQ(s.ReceiveString(), "");   // closed
    EXPECT_EQ(s.SendString("x"), 0);
    s.EliminateNullChar = true;
    ASSERT_TRUE(s.OpenPort());
    EXPECT_FALSE(s.Device().HasThread());
    EXPECT_EQ(s.ReceiveString(), "");   // nothing waiting
    Pty.Write(std::string("a\0b\xe4", 4));
    ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() == 4; }));
    EXPECT_EQ(s.ReceiveString(), QStringLiteral("ab\u00e4"));
    EXPECT_EQ(s.SendString(QStringLiteral("\u20ac1")), 2);
    EXPECT_EQ(Pty.Read(2), "\x80" "1");
    // A receive time-out ends a read that does not get all it asked for.
    s.SetRecTimeOut(20);
    char buf[8];
    Pty.Write("xy");
    ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() == 2; }));
    EXPECT_EQ(s.ReceiveData(buf, 8), 2);
}

TEST_F(SerialTest, TerminalSendsAndShowsTheAnswerAfterCarriageReturn)
{
    TComTerminal term;
    QStringList answers;
    QObject::connect(&term, &TComTerminal::answerChanged, [&](const QString& t) { answers << t; });
    term.ToggleConnect();
    ASSERT_TRUE(term.IsOpen());
    EXPECT_TRUE(term.Serial1.Device().HasThread());
    EXPECT_EQ(term.ConnectLabel(), QStringLiteral("Schnittstelle COM3 geöffnet"));
    EXPECT_EQ(term.ConnectCaption(), "&Trennen");

    term.Send("AB", false);
    term.Send("GO", true);
    EXPECT_EQ(Pty.Read(6), "ABGO\r\n");

    // Bytes without CR stay queued; the CR brings them all.
    Pty.Write("abc");
    ASSERT_TRUE(WaitFor([&] { return term.Serial1.InQueueCount() == 3; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.isEmpty());
    Pty.Write("d\r");
    ASSERT_TRUE(WaitFor([&] { return !answers.isEmpty(); }));
    EXPECT_EQ(answers, QStringList{"abcd\r"});
    EXPECT_EQ(term.Answer(), "abcd\r");

    term.ToggleConnect();
    EXPECT_FALSE(term.IsOpen());
    EXPECT_EQ(term.ConnectLabel(), "Schnittstelle geschlossen");
    EXPECT_EQ(term.ConnectCaption(), "&Verbinden");
}

TEST_F(SerialTest, CommandSubTokens)
{
    TEngine engine;
    engine.Start();
    TComTerminal& term = ModuleInterface->ComTerminal();
    struct Row {
        const char* line;
        bool open;
        int port;
        std::string sent;
    };
    const Row rows[] = {
        {"C0D", false, 3, ""},                          // closing a closed port does nothing
        {"C0C3S\"AB\"Z\"GO\"", true, 3, "ABGO\r\n"},   // open, send, send with CR LF
        {"C0C7", true, 0, ""},                          // a new number does not reopen an open port
        {"C0T", false, 0, ""},
        {"C0C5", false, 0, ""},                         // absent: port 0, the open fails
        {"C0C3", true, 3, ""},
        {"c0o\"x\"v3s\"y\"q\"n\"", true, 3, "xy"},    // lower case; unknown letters do nothing
        {"C0D", false, 3, ""},
        {"C0C7 S\"z\"", true, 3, "z"},                 // "C7 " is no number: the port last chosen opens
        {"C0S AB", true, 3, ""},                        // not quoted: nothing
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        engine.Main->ExecuteLines({QString::fromLatin1(r.line)}, false);
        EXPECT_EQ(term.IsOpen(), r.open);
        EXPECT_EQ(term.Serial1.COMPort(), r.port);
        if (!r.sent.empty()) {
            EXPECT_EQ(Pty.Read(r.sent.size()), r.sent);
        }
    }
}

TEST_F(SerialTest, OtherEndClosingIsReportedAndThePortOpensAgain)
{
    TComTerminal term;
    int lost = 0;
    QObject::connect(&term, &TComTerminal::stateChanged, [&] { lost += term.IsOpen() ? 0 : 1; });
    const int errorsBefore = ErrorLogCount("Schnittstelle COM3 getrennt");
    term.ToggleConnect();
    ASSERT_TRUE(term.IsOpen());
    // Mid-transfer: the answer has begun, then the other end goes.
    Pty.Write("part");
    ASSERT_TRUE(WaitFor([&] { return term.Serial1.InQueueCount() == 4; }));
    term.Send("out", false);
    ::close(Pty.Slave);
    Pty.Slave = -1;
    Pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !term.IsOpen(); }));
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(term.ConnectLabel(), "Schnittstelle geschlossen");
    EXPECT_EQ(ErrorLogCount("Schnittstelle COM3 getrennt"), errorsBefore + 1);
    EXPECT_FALSE(term.Serial1.Device().IsOpen());
    EXPECT_EQ(term.Serial1.SendString("x"), 0);

    // The adapter comes back.
    TPty again;
    MapCom(3, again.Path);
    term.ToggleConnect();
    ASSERT_TRUE(term.IsOpen());
    again.Write("ok\r");
    ASSERT_TRUE(WaitFor([&] { return term.Answer() == "ok\r"; }));
    term.Send("yes", false);
    EXPECT_EQ(again.Read(3), "yes");
}

TEST_F(SerialTest, OpenAndCloseThousandTimesLeakNothing)
{
    TComTerminal term;
    term.ToggleConnect();
    term.ToggleConnect();
    const int fds = CountEntries("/proc/self/fd");
    const int tasks = CountEntries("/proc/self/task");
    for (int i = 0; i < 1000; ++i) {
        term.ToggleConnect();
        ASSERT_TRUE(term.IsOpen()) << i;
        term.ToggleConnect();
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    // A joined thread's entry can linger a moment after the join returns.
    EXPECT_TRUE(WaitFor([&] { return CountEntries("/proc/self/task") <= tasks; })) << CountEntries("/proc/self/task");
}

TEST_F(SerialTest, SyncEventHandlingRunsHandlersOnTheOwnersThread)
{
    TSerial s;
    s.SyncEventHandling = true;
    std::vector<bool> onOwner;
    s.OnRxChar = [&](TSerial&) { onOwner.push_back(QThread::currentThread() == s.thread()); };
    s.OnEventChar = [&](TSerial& port) { onOwner.push_back(port.ReceiveString() == "go\r"); };
    ASSERT_TRUE(s.OpenPort());
    Pty.Write("go\r");
    ASSERT_TRUE(WaitFor([&] { return onOwner.size() == 2; }));
    EXPECT_EQ(onOwner, (std::vector<bool>{true, true}));
}

TEST_F(SerialTest, EveryCommEventReachesItsHandler)
{
    TFakeLines lines;
    struct Row {
        const char* name;
        std::function<void(TSerialCounts&)> raise;
        bool arrivesAsByte;   // a break or faulty byte comes with a NUL byte
    };
    const Row rows[] = {
        {"Cts", [](TSerialCounts& c) { ++c.Cts; }, false},
        {"Dsr", [](TSerialCounts& c) { ++c.Dsr; }, false},
        {"Ring", [](TSerialCounts& c) { ++c.Ring; }, false},
        {"Dcd", [](TSerialCounts& c) { ++c.Dcd; }, false},
        {"Break", [](TSerialCounts& c) { ++c.Break; }, true},
        {"Error", [](TSerialCounts& c) { ++c.Frame; }, true},
        {"Error", [](TSerialCounts& c) { ++c.Parity; }, true},
        {"Error", [](TSerialCounts& c) { ++c.Overrun; }, true},
        {"Error", [](TSerialCounts& c) { c.BufOverrun += 3; }, true},
    };
    for (const bool stripNull : {false, true})
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + (stripNull ? " without NUL" : ""));
            TEventLog log;
            TSerial s;
            log.Attach(s);
            s.EliminateNullChar = stripNull;
            ASSERT_TRUE(s.OpenPort());
            ASSERT_TRUE(s.Device().WatchesLines());
            // The line watcher waits for the four lines.
            ASSERT_TRUE(WaitFor([&] { return lines.Get(lines.Waiting) == 1; }));
            EXPECT_EQ(lines.Get(lines.WaitMasks).back(), unsigned(seCts | seDsr | seRing | seDcd));
            lines.Raise(r.raise);
            if (r.arrivesAsByte)
                Pty.Write(std::string(1, '\0'));
            ASSERT_TRUE(WaitFor([&] { return log.Get().contains(r.name); }));
            // Bytes the port took in, and nothing but the event raised.
            if (r.arrivesAsByte) {
                ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() == (stripNull ? 0 : 1); }));
            }
            s.ClosePort();
            EXPECT_EQ(log.Kinds(), QStringList{r.name});
            EXPECT_EQ(log.Get().contains("Rx"), r.arrivesAsByte && !stripNull);
        }
}

TEST_F(SerialTest, EventsOfOneWakeUpRunInTheirOrder)
{
    TFakeLines lines;
    TEventLog log;
    TSerial s;
    log.Attach(s);
    ASSERT_TRUE(s.OpenPort());
    ASSERT_TRUE(WaitFor([&] { return lines.Get(lines.Waiting) == 1; }));
    // Everything at once: the lines moved, then a break, a faulty byte and the
    // event character came in.
    lines.SetHold(true);
    lines.Raise([](TSerialCounts& c) { ++c.Dcd, ++c.Ring, ++c.Parity, ++c.Dsr, ++c.Cts, ++c.Break; });
    Pty.Write(std::string("\0x\r", 3));
    ASSERT_TRUE(WaitFor([&] { return log.Get().contains("EventChar"); }));
    lines.SetHold(false);
    EXPECT_EQ(log.Kinds(), QStringList({"Break", "Cts", "Dsr", "Error", "Ring", "Dcd", "EventChar"}));
    EXPECT_EQ(log.Get().at(6), "Rx");
    // The output running empty comes last of all.
    EXPECT_EQ(s.SendString("ok"), 2);
    ASSERT_TRUE(WaitFor([&] { return log.Get().contains("TxEmpty"); }));
    EXPECT_EQ(Pty.Read(2), "ok");
    s.ClosePort();
    EXPECT_EQ(log.Kinds().last(), "TxEmpty");
    EXPECT_EQ(log.Kinds().size(), 8);
}

TEST_F(SerialTest, OnlyTheEventsWithAHandlerAreWatched)
{
    TFakeLines lines;
    {
        // Characters only: no counter is read, no line watched.
        TSerial s;
        s.OnRxChar = [](TSerial&) {};
        ASSERT_TRUE(s.OpenPort());
        EXPECT_TRUE(s.Device().HasThread());
        EXPECT_FALSE(s.Device().WatchesLines());
        lines.Raise([](TSerialCounts& c) { ++c.Break, ++c.Cts; });
        Pty.Write(std::string(1, '\0'));
        ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() == 1; }));
        s.ClosePort();
        EXPECT_EQ(lines.Get(lines.CountCalls), 0);
    }
    {
        // Errors only: counters, but no line watcher.
        TSerial s;
        std::atomic<int> errors{0};
        s.OnError = [&](TSerial&) { ++errors; };
        ASSERT_TRUE(s.OpenPort());
        EXPECT_FALSE(s.Device().WatchesLines());
        lines.Raise([](TSerialCounts& c) { ++c.Break, ++c.Overrun; });
        Pty.Write(std::string(1, '\0'));
        ASSERT_TRUE(WaitFor([&] { return errors == 1; }));
        s.ClosePort();
    }
    {
        // One line: the watcher waits for that line alone; the others move unseen.
        TSerial s;
        std::atomic<int> cts{0};
        s.OnCts = [&](TSerial&) { ++cts; };
        ASSERT_TRUE(s.OpenPort());
        ASSERT_TRUE(WaitFor([&] { return lines.Get(lines.Waiting) == 1; }));
        EXPECT_EQ(lines.Get(lines.WaitMasks).back(), unsigned(seCts));
        lines.Raise([](TSerialCounts& c) { ++c.Dsr, ++c.Ring, ++c.Dcd; });
        lines.Raise([](TSerialCounts& c) { ++c.Cts; });
        ASSERT_TRUE(WaitFor([&] { return cts == 1; }));
        lines.Raise([](TSerialCounts& c) { c.Cts += 2; });
        ASSERT_TRUE(WaitFor([&] { return cts == 2; }));
        s.ClosePort();
    }
    {
        // A device that keeps no counters opens; its other events work.
        lines.Keeps = false;
        TEventLog log;
        TSerial s;
        log.Attach(s);
        ASSERT_TRUE(s.OpenPort());
        EXPECT_FALSE(s.Device().WatchesLines());
        lines.Raise([](TSerialCounts& c) { ++c.Cts, ++c.Break; });
        Pty.Write(std::string("\0\r", 2));
        ASSERT_TRUE(WaitFor([&] { return log.Get().contains("EventChar"); }));
        s.ClosePort();
        EXPECT_EQ(log.Kinds(), QStringList{"EventChar"});
    }
}

// A pseudo-terminal has no modem lines and no counters: with every handler
// assigned the port opens and the character events work.
TEST_F(SerialTest, PseudoTerminalOpensWithEveryHandlerAssigned)
{
    TEventLog log;
    TSerial s;
    log.Attach(s);
    ASSERT_TRUE(s.OpenPort());
    EXPECT_TRUE(s.Device().HasThread());
    EXPECT_FALSE(s.Device().WatchesLines());
    Pty.Write("a\rb");   // the event character anywhere in what arrives
    ASSERT_TRUE(WaitFor([&] { return log.Get().contains("EventChar"); }));
    ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() == 3; }));
    EXPECT_EQ(s.ReceiveString(), "a\rb");
    EXPECT_EQ(s.SendString("b"), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Get().contains("TxEmpty"); }));
    s.ClosePort();
    EXPECT_EQ(log.Kinds(), QStringList({"EventChar", "TxEmpty"}));
}

TEST_F(SerialTest, CloseEndsTheLineWatcherWaitingInTheDriver)
{
    TFakeLines lines;
    TEventLog log;
    TSerial s;
    log.Attach(s);
    ASSERT_TRUE(s.OpenPort());
    s.ClosePort();
    const int fds = CountEntries("/proc/self/fd");
    const int tasks = CountEntries("/proc/self/task");
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(s.OpenPort()) << i;
        ASSERT_TRUE(s.Device().WatchesLines());
        if (i % 2) {   // sometimes while it waits, sometimes before
            ASSERT_TRUE(WaitFor([&] { return lines.Get(lines.Waiting) == 1; }));
        }
        s.ClosePort();
        ASSERT_EQ(lines.Get(lines.Waiting), 0) << i;
        EXPECT_FALSE(s.Device().HasThread());
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitFor([&] { return CountEntries("/proc/self/task") <= tasks; })) << CountEntries("/proc/self/task");
    EXPECT_TRUE(log.Get().isEmpty());
}

TEST_F(SerialTest, LineEventsRunOnTheOwnersThreadWithSyncEventHandling)
{
    TFakeLines lines;
    TSerial s;
    s.SyncEventHandling = true;
    std::vector<QString> seen;
    s.OnDsr = [&](TSerial&) { seen.push_back(QThread::currentThread() == s.thread() ? "Dsr main" : "Dsr other"); };
    s.OnBreak = [&](TSerial&) {
        seen.push_back(QThread::currentThread() == s.thread() ? "Break main" : "Break other");
    };
    ASSERT_TRUE(s.OpenPort());
    ASSERT_TRUE(WaitFor([&] { return lines.Get(lines.Waiting) == 1; }));
    lines.Raise([](TSerialCounts& c) { ++c.Dsr; });
    ASSERT_TRUE(WaitFor([&] { return seen.size() == 1; }));
    lines.Raise([](TSerialCounts& c) { ++c.Break; });
    Pty.Write(std::string(1, '\0'));
    ASSERT_TRUE(WaitFor([&] { return seen.size() == 2; }));
    s.ClosePort();
    EXPECT_EQ(seen, (std::vector<QString>{"Dsr main", "Break main"}));
}

TEST_F(SerialTest, WithEventsDisabledNoHandlerRunsAndTheBytesWait)
{
    TFakeLines lines;
    TEventLog log;
    TSerial s;
    log.Attach(s);
    s.EnableEvents = false;
    ASSERT_TRUE(s.OpenPort());
    ASSERT_TRUE(WaitFor([&] { return lines.Get(lines.Waiting) == 1; }));
    lines.Raise([](TSerialCounts& c) { ++c.Cts, ++c.Break; });
    Pty.Write(std::string("\0x\r", 3));
    ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() == 3; }));
    EXPECT_EQ(s.ReceiveString(), QString::fromLatin1("\0x\r", 3));
    s.ClosePort();
    EXPECT_TRUE(log.Get().isEmpty()) << log.Get().join(' ').toStdString();
}

TEST_F(SerialTest, ADeviceOpenedForNoCommEventStartsNoThread)
{
    TSerialDevice device;
    int calls = 0;
    ASSERT_TRUE(device.Open(Pty.Path, TLineSettings{}, 13, seLost, [&](unsigned) { ++calls; }));
    EXPECT_FALSE(device.HasThread());
    device.Close();
    ASSERT_TRUE(device.Open(Pty.Path, TLineSettings{}, 13, seAllEvents, nullptr));
    EXPECT_FALSE(device.HasThread());
    device.Close();
    EXPECT_EQ(calls, 0);
}

TEST_F(SerialTest, ErrorAndEofCharactersReachTheKernel)
{
    struct Row {
        TParityBit parity;
        bool useErrorChar;
        tcflag_t flags;   // of INPCK | PARMRK | IGNPAR
    };
    const Row rows[] = {
        {none, false, 0},
        {none, true, 0},   // no parity check: nothing to mark
        {even, false, INPCK},
        {even, true, INPCK | PARMRK},
        {odd, true, INPCK | PARMRK},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.parity) * 10 + int(r.useErrorChar));
        TSerial s;
        s.SetParityBit(r.parity);
        s.UseErrorChar = r.useErrorChar;
        s.EofChar = 4;
        s.XOnChar = 5;
        s.XOffChar = 6;
        ASSERT_TRUE(s.OpenPort());
        termios got{};
        ASSERT_EQ(tcgetattr(Pty.Slave, &got), 0);
        EXPECT_EQ(got.c_iflag & (INPCK | PARMRK | IGNPAR), r.flags);
        EXPECT_EQ((std::vector<int>{got.c_cc[VEOF], got.c_cc[VSTART], got.c_cc[VSTOP]}), (std::vector<int>{4, 5, 6}));
    }
}

TEST(SerialMarks, MarkedBytesBecomeTheErrorCharacterAcrossReads)
{
    const struct {
        std::vector<std::string> reads;
        std::string want;
    } cases[] = {
        {{std::string("a\377\0xb", 5)}, "a#b"},
        {{"a\377", std::string("\0", 1), "x", "b"}, "a#b"},   // a mark split over three reads
        {{std::string("\377\0\0", 3)}, "#"},                  // a break
        {{"\377\377", "\377", "\377c"}, "\377\377c"},         // a byte 255, doubled by the kernel
        {{"\377z"}, "z"},                                     // no mark: the byte stands
        {{"plain"}, "plain"},
    };
    for (const auto& c : cases) {
        TMarkedBytes marks('#');
        std::string got;
        for (std::string r : c.reads) {
            const std::size_t n = marks.Decode(r.data(), r.size());
            ASSERT_LE(n, r.size());
            got += r.substr(0, n);
        }
        EXPECT_EQ(got, c.want) << c.want;
    }
}

TEST_F(SerialTest, AByte255ThroughAMarkingPortArrivesOnce)
{
    // The kernel doubles a byte 255 on a port that marks faulty bytes; the port
    // hands it on once, with and without an event thread.
    for (bool thread : {false, true}) {
        SCOPED_TRACE(thread);
        TSerial s;
        // A pseudo-terminal has no parity; the kernel refuses a request that
        // changes nothing but the parity, so each pass asks for another.
        s.SetParityBit(thread ? even : odd);
        s.UseErrorChar = true;
        std::atomic<int> received{0};
        if (thread)
            s.OnRxChar = [&](TSerial&) { ++received; };
        ASSERT_TRUE(s.OpenPort());
        Pty.Write("a\377b\377");
        Pty.Write("\377");
        ASSERT_TRUE(WaitFor([&] { return s.InQueueCount() >= (thread ? 5 : 7); }));
        EXPECT_EQ(s.ReceiveString(), QStringLiteral("a\u00ffb\u00ff\u00ff"));
    }
}

TEST_F(SerialTest, TheEventThreadRunsAtItsPriority)
{
    TErrorLog::Instance().Clear();
    errno = 0;
    const int base = getpriority(PRIO_PROCESS, 0);
    ASSERT_EQ(errno, 0);
    // Lower priorities are always allowed.
    const struct {
        TThreadPriority priority;
        int nice;
    } cases[] = {
        {tpNormal, base},
        {tpLower, std::min(base + 5, 19)},
        {tpLowest, std::min(base + 10, 19)},
        {tpIdle, 19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.priority));
        TSerial s;
        s.ThreadPriority = c.priority;
        std::atomic<int> nice{-100};
        s.OnRxChar = [&](TSerial&) { nice = getpriority(PRIO_PROCESS, 0); };   // this thread's own
        ASSERT_TRUE(s.OpenPort());
        Pty.Write("x");
        ASSERT_TRUE(WaitFor([&] { return nice != -100; }));
        EXPECT_EQ(nice, c.nice);
    }
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), base);
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Priorität")), 0);
}

TEST_F(SerialTest, ARefusedPriorityIsLoggedOnceAndThePortOpens)
{
    TFakeLines lines;
    TErrorLog::Instance().Clear();
    TSerial s;
    s.ThreadPriority = tpHighest;
    EXPECT_TRUE(s.OpenPort());   // no handler: no thread, nothing to set
    s.ClosePort();
    std::atomic<int> received{0};
    s.OnRxChar = [&](TSerial&) { ++received; };
    ASSERT_TRUE(s.OpenPort());
    EXPECT_EQ(lines.Get(lines.NiceAsked), std::vector<int>{-10});
    EXPECT_EQ(
        ErrorLogCount(QStringLiteral("Schnittstelle COM3: Die Priorität des Ereignis-Threads lässt sich nicht setzen")),
        1);
    Pty.Write("x");
    EXPECT_TRUE(WaitFor([&] { return received > 0; }));
}
