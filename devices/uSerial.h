#pragma once
// The serial port component: the list of available COM ports and the port
// number (TCustomSerial), and the line settings, open/close, send and receive
// and the comm events of one port (TSerial).
//
// Handlers run on the port's event thread unless SyncEventHandling is set; then
// they are posted to the thread that owns the object and never block it. A port
// that goes away (the other end hangs up, the USB adapter is unplugged) is
// closed on the owner's thread and reported by the signal portLost.

#include "platform/SerialPort.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

enum TBaudrate : std::uint8_t {
    br_000050, br_000110, br_000150, br_000300, br_000600, br_001200, br_002400, br_004800, br_009600, br_014400,
    br_019200, br_038400, br_056000, br_057600, br_115200, br_128000, br_230400, br_256000, br_460800, br_921600
};
constexpr int BaudrateCount = 20;
extern const int BaudTable[BaudrateCount];
enum TDataBits : std::uint8_t { db_4, db_5, db_6, db_7, db_8 };
enum TParityBit : std::uint8_t { none, odd, even, mark, space };
enum TStopBits : std::uint8_t { sb_1, sb_15, sb_2 };
enum TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
// The change of the event thread's nice value for a priority (tpNormal: none).
int ThreadPriorityNice(TThreadPriority p);

struct TSerialSettings {
    bool Valid = false;
    int COMPort = 0;
    std::uint8_t Baudrate = br_009600, DataBits = db_8, ParityBit = none, StopBits = sb_1;
    int BufSizeTrm = 2048;
    int BufSizeRec = 2048;
    bool HandshakeRtsCts = false, HandshakeDtrDsr = false, HandshakeXOnXOff = false, RTSActive = false,
         DTRActive = false;
    std::uint8_t XOnChar = 17, XOffChar = 19;
    int XOffLimit = 1600;
    int XOnLimit = 400;
    std::uint8_t ErrorChar = '?', EofChar = 26, EventChar = 13;
    bool ContinueOnXOff = false, UseErrorChar = false, EliminateNullChar = false, AbortOnError = false;
    int RecTimeOut = 0;
    int TrmTimeOut = 0;
    bool operator==(const TSerialSettings&) const = default;
};

class TCustomSerial : public QObject {
    Q_OBJECT
public:
    explicit TCustomSerial(QObject* parent = nullptr);
    // "COM" n for each available port, ascending.
    QStringList Ports() const;
    int COMPort() const { return FCOMPort; }
    void SetCOMPort(int v);
    // The event thread's priority, as a nice value relative to the opening
    // thread's. A higher one needs a privilege; without it the thread runs at
    // normal priority and the open logs one error line.
    TThreadPriority ThreadPriority = tpNormal;

protected:
    int FCOMPort = 0;
};

class TSerial : public TCustomSerial {
    Q_OBJECT
public:
    using TNotify = std::function<void(TSerial&)>;
    explicit TSerial(QObject* parent = nullptr);
    ~TSerial() override;

    bool Active() const { return FActive; }
    void SetActive(bool on);

    TBaudrate Baudrate = br_009600;
    TDataBits DataBits = db_8;
    TParityBit ParityBit() const { return FParityBit; }
    void SetParityBit(TParityBit v);
    TStopBits StopBits = sb_1;
    int BufSizeTrm() const { return FBufSizeTrm; }
    void SetBufSizeTrm(int v);
    int BufSizeRec() const { return FBufSizeRec; }
    void SetBufSizeRec(int v);
    bool HandshakeRtsCts = false;
    bool HandshakeDtrDsr = false;
    bool HandshakeXOnXOff = false;
    bool RTSActive = false;
    bool DTRActive = false;
    std::uint8_t XOnChar = 17;
    std::uint8_t XOffChar = 19;
    int XOffLimit() const { return FXOffLimit; }
    void SetXOffLimit(int v);
    int XOnLimit() const { return FXOnLimit; }
    void SetXOnLimit(int v);
    std::uint8_t ErrorChar = '?';
    std::uint8_t EofChar = 26;
    std::uint8_t EventChar = 13;
    bool ParityCheck() const { return FParityBit != none; }
    bool ContinueOnXOff = false;
    bool UseErrorChar = false;
    bool EliminateNullChar = false;
    bool AbortOnError = false;
    int RecTimeOut() const { return FRecTimeOut; }
    void SetRecTimeOut(int v) { FRecTimeOut = v < 0 ? 0 : v; }
    int TrmTimeOut() const { return FTrmTimeOut; }
    void SetTrmTimeOut(int v) { FTrmTimeOut = v < 0 ? 0 : v; }
    std::atomic<bool> SyncEventHandling{false};
    std::atomic<bool> EnableEvents{true};
    // Assigned before the port opens: the port watches the events that have a
    // handler. One wake-up's events run in this order. Modem lines and line
    // errors are reported only by a device that keeps their counters (not by a
    // pseudo-terminal).
    TNotify OnBreak, OnCts, OnDsr, OnError, OnRing, OnDcd, OnRxChar, OnEventChar, OnTxEmpty;
    // The events (TSerialEvent bits) that the assigned handlers ask for.
    unsigned EventMask() const;

    bool OpenPort();
    void ClosePort();

    // Bytes written; 0 on a closed port.
    int SendData(const void* buffer, int count);
    int SendString(const QString& text);   // the text as CP1252 bytes
    // Bytes read of those waiting; never waits longer than the receive time-out.
    int ReceiveData(void* buffer, int count);
    QString ReceiveString();   // every byte waiting now, as CP1252 text
    void GetQueueCounts(int& in, int& out) const;
    int InQueueCount() const;

    void GetSettings(TSerialSettings& s) const;
    void SetSettings(const TSerialSettings& s);
    static QString SettingsToText(const TSerialSettings& s);
    static TSerialSettings TextToSettings(const QString& text);

    // The device the port is open on; tests look at its descriptor.
    const TSerialDevice& Device() const { return FDevice; }

signals:
    // The open port went away and has been closed.
    void portLost(int comPort, const QString& reason);

private:
    void Dispatch(unsigned events);
    void Deliver(unsigned events);
    int WriteTimeout(int count) const;

    std::atomic<bool> FActive{false};
    TParityBit FParityBit = none;
    int FBufSizeTrm = 2048;
    int FBufSizeRec = 2048;
    int FXOffLimit = 1600;
    int FXOnLimit = 400;
    int FRecTimeOut = 0;
    int FTrmTimeOut = 0;
    TSerialDevice FDevice;
};
