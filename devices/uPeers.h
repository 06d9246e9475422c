#pragma once
// The connected computers: up to twelve other consoles, each with name, host,
// port and the access key of its server, and a TCP connection of its own. Text
// goes out by the V command, by the page's send button and by the forwarding of
// coupled events. Nothing is read back from a peer. The connected-computers page
// is a view of it.

#include "devices/uServer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <deque>

class QTcpSocket;
class QTimer;
class TStringIniFile;

struct TPeer {
    QString Name;
    QString IP;       // host name or dotted address
    QString Port;
    QString Key;      // access key of the peer's server
    QString Status;   // "verbunden", "getrennt" or "Fehler"; not stored
};

class TPeerList : public QObject {
    Q_OBJECT
public:
    static constexpr int PeerCount = 12;
    // Two messages to one peer are written at least this far apart, so that the
    // peer's server, which reads whatever has gathered as one message, never
    // runs them as one line.
    static constexpr int MessageGapMs = 30;
    // Messages waiting for their turn per peer; beyond this they are dropped.
    static constexpr int MaxPendingMessages = 1000;
    // Bytes per peer not yet taken by the system (waiting for their turn, or
    // written while the peer's receive window is full); a message that would
    // go beyond this is dropped, so that a peer that never reads cannot grow
    // the program's memory.
    static constexpr qint64 MaxUnsentBytes = 1 << 20;

    explicit TPeerList(QObject* parent = nullptr);
    ~TPeerList() override;

    // Rows 1..12; any other row gives an empty peer.
    const TPeer& Peer(int row) const;
    // Copies the four stored fields into row (1..12 only).
    void SetPeer(int row, const QString& name, const QString& ip, const QString& port, const QString& key);

    // The row last selected (1..12), 0 before the first selection.
    int Selected() const { return FSelected; }
    // Selects row; selectionChanged follows only when it differs.
    void SelectPeer(int row);

    // Section "Interface" of a show: "VR_Name_" n, "VR_IP_" n, "VR_Port_" n,
    // "VR_Koppel_" n. Loading selects row 1 and always announces it, so the page
    // shows the loaded row, not what its edits held before.
    void LoadPeers(const TStringIniFile& ini);
    // Appends the four lines of every row with a name or an address.
    void SavePeers(QStringList& lines) const;
    // True for the keys LoadPeers reads (any case).
    static bool IsPeerKey(const QString& key);

    // The connect button: closes the selected peer's connection when it is open,
    // else connects it when host and port are given. A port that is not a number
    // in 1..65535 is logged in the error log and nothing is connected.
    void ToggleConnection();
    void Connect(int row);
    void Disconnect(int row);
    // Open means connecting or connected.
    bool IsOpen(int row) const;
    bool IsConnected(int row) const;

    // The V command: tokens "V" n and the text's tokens. Sends the text tokens
    // joined without separator to peer n when it is connected; else nothing.
    void SendToPeer(const QStringList& tokens);
    // Messages of row not yet handed to its connection.
    int PendingMessages(int row) const;
    // Bytes of row not yet taken by the system, the waiting messages included.
    qint64 UnsentBytes(int row) const;

    const QStringList& Log() const { return FLog.Lines(); }
    const TProtocolLog& ProtocolLog() const { return FLog; }

signals:
    void peerChanged(int row);        // a field or the status of row
    void selectionChanged(int row);
    void connectionChanged(int row);  // opened or closed
    // Every log line as it is added; views gather them (see TProtocolMemo).
    void logAdded(const QString& line);

private:
    struct TConnection {
        QTcpSocket* Socket = nullptr;
        QTimer* Gap = nullptr;
        std::deque<QByteArray> Pending;
        qint64 PendingBytes = 0;
    };
    enum class TWriteResult { Sent, QueueFull, UnsentFull };

    TConnection& Conn(int row) { return FConnections[std::size_t(row - 1)]; }
    const TConnection& Conn(int row) const { return FConnections[std::size_t(row - 1)]; }
    // Sent covers written and queued; the others say why it was dropped.
    TWriteResult Write(int row, const QByteArray& bytes);
    void ClearPending(TConnection& c);
    void WriteNext(int row);
    void Closed(int row);
    void SetStatus(int row, const QString& status);
    void LogPeerMessage(const QString& text, int row);

    std::array<TPeer, PeerCount> FPeers;
    std::array<TConnection, PeerCount> FConnections;
    int FSelected = 0;
    TProtocolLog FLog;
};
