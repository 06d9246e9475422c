#include "devices/uSerial.h"

#include "framework/uErrorLog.h"
#include "framework/uTextCodec.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

const int BaudTable[BaudrateCount] = {50,    110,   150,   300,   600,    1200,   2400,   4800,   9600,   14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 230400, 256000, 460800, 921600};

int ThreadPriorityNice(TThreadPriority p)
{
    static const int Nice[] = {19, 10, 5, 0, -5, -10, -20};
    return Nice[std::min<int>(p, tpTimeCritical)];
}

// ---- port list and number ----

TCustomSerial::TCustomSerial(QObject* parent) : QObject(parent)
{
    const TComPortProbe& p = ComPorts();
    FCOMPort = p.Any ? p.Ports.front() : 0;
}

QStringList TCustomSerial::Ports() const
{
    QStringList list;
    for (int n : ComPorts().Ports)
        list << QStringLiteral("COM") + QString::number(n);
    return list;
}

void TCustomSerial::SetCOMPort(int v)
{
    if (v < 0 || v > ComPortCount)
        return;
    const TComPortProbe& p = ComPorts();
    FCOMPort = (p.Any && v >= 1 && p.Available[std::size_t(v)]) ? v : 0;
}

// ---- the port ----

TSerial::TSerial(QObject* parent) : TCustomSerial(parent) {}

TSerial::~TSerial()
{
    ClosePort();
}

void TSerial::SetActive(bool on)
{
    if (on && !FActive)
        OpenPort();
    else if (!on && FActive)
        ClosePort();
}

void TSerial::SetParityBit(TParityBit v)
{
    FParityBit = v;
}

void TSerial::SetBufSizeTrm(int v)
{
    FBufSizeTrm = std::max(v, 16);
}

void TSerial::SetBufSizeRec(int v)
{
    FBufSizeRec = std::max(v, 16);
    FXOffLimit = std::min(FXOffLimit, FBufSizeRec);
    if (FXOnLimit >= FXOffLimit)
        FXOnLimit = FXOffLimit - 1;
}

void TSerial::SetXOffLimit(int v)
{
    if (v <= FXOnLimit)
        v = FXOnLimit + 1;
    if (v > FBufSizeRec)
        v = FBufSizeRec;
    FXOffLimit = v;
}

void TSerial::SetXOnLimit(int v)
{
    if (v >= FXOffLimit)
        v = FXOffLimit - 1;
    if (v < 0)
        v = 0;
    FXOnLimit = v;
}

bool TSerial::OpenPort()
{
    if (FActive || FCOMPort < 1)
        return FActive;
    TLineSettings s;
    s.Baud = BaudTable[std::min<int>(Baudrate, BaudrateCount - 1)];
    s.DataBits = int(DataBits) + 4;
    s.Parity = int(FParityBit);
    s.StopBits = int(StopBits);
    s.RtsCts = HandshakeRtsCts;
    s.DtrDsr = HandshakeDtrDsr;
    s.XOnXOff = HandshakeXOnXOff;
    s.RtsActive = RTSActive;
    s.DtrActive = DTRActive;
    s.ParityCheck = ParityCheck();
    s.EliminateNull = EliminateNullChar;
    s.UseErrorChar = UseErrorChar;
    s.XOnChar = XOnChar;
    s.XOffChar = XOffChar;
    s.ErrorChar = ErrorChar;
    s.EofChar = EofChar;
    s.ThreadNice = ThreadPriorityNice(ThreadPriority);
    FActive =
        FDevice.Open(ComDevicePath(FCOMPort), s, EventChar, EventMask(), [this](unsigned events) { Dispatch(events); });
    if (FActive && FDevice.PriorityError() != 0)
        AddToErrorLog(
            elError,
            QStringLiteral("Schnittstelle COM%1: Die Priorität des Ereignis-Threads lässt sich nicht setzen (%2)")
                .arg(FCOMPort)
                .arg(QString::fromLocal8Bit(std::strerror(FDevice.PriorityError()))));
    return FActive.load();
}

// The handlers with their events, in the order of dispatch.
namespace {
struct THandlerEvent {
    TSerial::TNotify TSerial::*Handler;
    unsigned Event;
};
const THandlerEvent HandlerEvents[] = {
    {&TSerial::OnBreak, seBreak},     {&TSerial::OnCts, seCts},
    {&TSerial::OnDsr, seDsr},         {&TSerial::OnError, seError},
    {&TSerial::OnRing, seRing},       {&TSerial::OnDcd, seDcd},
    {&TSerial::OnRxChar, seRxChar},   {&TSerial::OnEventChar, seEventChar},
    {&TSerial::OnTxEmpty, seTxEmpty},
};
}   // namespace

unsigned TSerial::EventMask() const
{
    unsigned mask = 0;
    for (const THandlerEvent& h : HandlerEvents)
        if (this->*h.Handler)
            mask |= h.Event;
    return mask;
}

void TSerial::ClosePort()
{
    if (!FActive)
        return;
    FDevice.Close();
    FActive = false;
}

// On the event thread.
void TSerial::Dispatch(unsigned events)
{
    if (events & seLost) {
        QMetaObject::invokeMethod(this, [this] {
            if (!FActive)
                return;
            const int port = FCOMPort;
            ClosePort();
            emit portLost(port, QStringLiteral("COM") + QString::number(port));
        }, Qt::QueuedConnection);
        return;
    }
    if (!EnableEvents)
        return;
    if (SyncEventHandling)
        QMetaObject::invokeMethod(
            this,
            [this, events] {
                if (FActive)
                    Deliver(events);
            },
            Qt::QueuedConnection);
    else
        Deliver(events);
}

void TSerial::Deliver(unsigned events)
{
    for (const THandlerEvent& h : HandlerEvents)
        if ((events & h.Event) && this->*h.Handler)
            (this->*h.Handler)(*this);
}

int TSerial::WriteTimeout(int count) const
{
    const int baud = BaudTable[std::min<int>(Baudrate, BaudrateCount - 1)];
    const int multiplier = std::max(1, 10000 / baud);
    // Without a time-out a write still ends: the time the bytes take on the
    // line, and one second more.
    return FTrmTimeOut > 0 ? multiplier * count + FTrmTimeOut : multiplier * count + 1000;
}

// The device itself tells a closed port: a handler on the event thread may
// read before FActive is set by the opening thread.
int TSerial::SendData(const void* buffer, int count)
{
    return FDevice.Write(buffer, count, WriteTimeout(count));
}

int TSerial::SendString(const QString& text)
{
    QByteArray bytes;
    EncodeWindows1252(text, bytes);
    return SendData(bytes.constData(), int(bytes.size()));
}

int TSerial::ReceiveData(void* buffer, int count)
{
    if (count <= 0)
        return 0;
    char* p = static_cast<char*>(buffer);
    int done = FDevice.Read(p, count);
    if (FRecTimeOut < 1)
        return done;
    const int baud = BaudTable[std::min<int>(Baudrate, BaudrateCount - 1)];
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(std::max(1, 10000 / baud) * count + FRecTimeOut);
    while (done < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        done += FDevice.Read(p + done, count - done);
    }
    return done;
}

QString TSerial::ReceiveString()
{
    if (FDevice.InQueue() == 0)
        return QString();
    const std::string bytes = FDevice.ReadAll();
    return DecodeWindows1252(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

void TSerial::GetQueueCounts(int& in, int& out) const
{
    in = FDevice.InQueue();
    out = FDevice.OutQueue();
}

int TSerial::InQueueCount() const
{
    int in = 0, out = 0;
    GetQueueCounts(in, out);
    return in;
}

void TSerial::GetSettings(TSerialSettings& s) const
{
    s.Valid = true;
    s.COMPort = FCOMPort;
    s.Baudrate = Baudrate;
    s.DataBits = DataBits;
    s.ParityBit = FParityBit;
    s.StopBits = StopBits;
    s.BufSizeTrm = FBufSizeTrm;
    s.BufSizeRec = FBufSizeRec;
    s.HandshakeRtsCts = HandshakeRtsCts;
    s.HandshakeDtrDsr = HandshakeDtrDsr;
    s.HandshakeXOnXOff = HandshakeXOnXOff;
    s.RTSActive = RTSActive;
    s.DTRActive = DTRActive;
    s.XOnChar = XOnChar;
    s.XOffChar = XOffChar;
    s.XOffLimit = FXOffLimit;
    s.XOnLimit = FXOnLimit;
    s.ErrorChar = ErrorChar;
    s.EofChar = EofChar;
    s.EventChar = EventChar;
    s.ContinueOnXOff = ContinueOnXOff;
    s.UseErrorChar = UseErrorChar;
    s.EliminateNullChar = EliminateNullChar;
    s.AbortOnError = AbortOnError;
    s.RecTimeOut = FRecTimeOut;
    s.TrmTimeOut = FTrmTimeOut;
}

void TSerial::SetSettings(const TSerialSettings& s)
{
    if (!s.Valid)
        return;
    SetCOMPort(s.COMPort);
    Baudrate = TBaudrate(std::min<int>(s.Baudrate, BaudrateCount - 1));
    DataBits = TDataBits(std::min<int>(s.DataBits, db_8));
    SetParityBit(TParityBit(std::min<int>(s.ParityBit, space)));
    StopBits = TStopBits(std::min<int>(s.StopBits, sb_2));
    SetBufSizeTrm(s.BufSizeTrm);
    SetBufSizeRec(s.BufSizeRec);
    HandshakeRtsCts = s.HandshakeRtsCts;
    HandshakeDtrDsr = s.HandshakeDtrDsr;
    HandshakeXOnXOff = s.HandshakeXOnXOff;
    RTSActive = s.RTSActive;
    DTRActive = s.DTRActive;
    XOnChar = s.XOnChar;
    XOffChar = s.XOffChar;
    // The XOFF limit is clamped against the XON limit: clear that first, so a
    // record read from a port comes back unchanged.
    FXOnLimit = 0;
    SetXOffLimit(s.XOffLimit);
    SetXOnLimit(s.XOnLimit);
    ErrorChar = s.ErrorChar;
    EofChar = s.EofChar;
    EventChar = s.EventChar;
    ContinueOnXOff = s.ContinueOnXOff;
    UseErrorChar = s.UseErrorChar;
    EliminateNullChar = s.EliminateNullChar;
    AbortOnError = s.AbortOnError;
    SetRecTimeOut(s.RecTimeOut);
    SetTrmTimeOut(s.TrmTimeOut);
}

// ---- settings as text ----

namespace {

const QString SettingsTag = QStringLiteral("PVS1");
constexpr int SettingsTextLength = 91;

// A number in a field of width digits, left-padded with '0'; one too long for
// the field keeps its first digits. A negative number (no setter makes one)
// is written as 0, so that the text stays readable.
QString Field(long long v, int width)
{
    return QString::number(std::max(v, 0LL)).left(width).rightJustified(width, u'0');
}

class TFieldReader {
public:
    explicit TFieldReader(const QString& text) : FText(text) {}
    bool Next(int width, long long& v)
    {
        bool ok = false;
        const QString part = FText.mid(FPos, width);
        FPos += width;
        for (QChar c : part)
            if (!c.isDigit() || c.unicode() > '9')
                return false;
        v = part.toLongLong(&ok);
        return ok && part.size() == width;
    }

private:
    const QString& FText;
    int FPos = 4;
};

} // namespace

QString TSerial::SettingsToText(const TSerialSettings& s)
{
    if (!s.Valid)
        return QString();
    QString t = SettingsTag;
    t += Field(s.COMPort, 3) + Field(s.Baudrate, 2) + Field(s.DataBits, 1) + Field(s.ParityBit, 1) +
         Field(s.StopBits, 1) + Field(s.BufSizeTrm, 8) + Field(s.BufSizeRec, 8);
    for (bool b : {s.HandshakeRtsCts, s.HandshakeDtrDsr, s.HandshakeXOnXOff, s.RTSActive, s.DTRActive})
        t += b ? u'1' : u'0';
    t += Field(s.XOnChar, 3) + Field(s.XOffChar, 3) + Field(s.XOffLimit, 8) + Field(s.XOnLimit, 8) +
         Field(s.ErrorChar, 3) + Field(s.EofChar, 3) + Field(s.EventChar, 3);
    for (bool b : {s.ContinueOnXOff, s.UseErrorChar, s.EliminateNullChar, s.AbortOnError})
        t += b ? u'1' : u'0';
    t += Field(s.RecTimeOut, 10) + Field(s.TrmTimeOut, 10);
    int check = 0;
    for (QChar c : t)
        check ^= c.unicode();
    return t + Field(check, 3);
}

TSerialSettings TSerial::TextToSettings(const QString& text)
{
    TSerialSettings s;
    s.Valid = false;
    if (text.size() < SettingsTextLength || !text.startsWith(SettingsTag))
        return s;
    int check = 0;
    for (int i = 0; i < SettingsTextLength - 3; ++i)
        check ^= text.at(i).unicode();
    TFieldReader r(text);
    long long v[30] = {};
    static const int Widths[] = {3, 2, 1, 1, 1, 8, 8, 1, 1, 1, 1, 1, 3, 3, 8, 8, 3, 3, 3, 1, 1, 1, 1, 10, 10, 3};
    int i = 0;
    for (int w : Widths)
        if (!r.Next(w, v[i++]))
            return s;
    if (v[25] != check)
        return s;
    if (v[1] >= BaudrateCount || v[2] > db_8 || v[3] > space || v[4] > sb_2)
        return s;
    auto byte = [](long long x) { return std::uint8_t(std::min(x, 255LL)); };
    auto integer = [](long long x) { return int(std::min(x, 2147483647LL)); };
    s.COMPort = int(v[0]);
    s.Baudrate = byte(v[1]);
    s.DataBits = byte(v[2]);
    s.ParityBit = byte(v[3]);
    s.StopBits = byte(v[4]);
    s.BufSizeTrm = integer(v[5]);
    s.BufSizeRec = integer(v[6]);
    s.HandshakeRtsCts = v[7] != 0;
    s.HandshakeDtrDsr = v[8] != 0;
    s.HandshakeXOnXOff = v[9] != 0;
    s.RTSActive = v[10] != 0;
    s.DTRActive = v[11] != 0;
    s.XOnChar = byte(v[12]);
    s.XOffChar = byte(v[13]);
    s.XOffLimit = integer(v[14]);
    s.XOnLimit = integer(v[15]);
    s.ErrorChar = byte(v[16]);
    s.EofChar = byte(v[17]);
    s.EventChar = byte(v[18]);
    s.ContinueOnXOff = v[19] != 0;
    s.UseErrorChar = v[20] != 0;
    s.EliminateNullChar = v[21] != 0;
    s.AbortOnError = v[22] != 0;
    s.RecTimeOut = integer(v[23]);
    s.TrmTimeOut = integer(v[24]);
    s.Valid = true;
    return s;
}
