#pragma once
// The remote command server: listens on a TCP port and runs each message that
// begins with the access key as one command line, marked as remote. It also
// holds the three coupling options by which this console forwards its own step
// and macro events to coupled computers. The server page is a view of it.

#include "framework/uUtils.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;
class TStringIniFile;

// A protocol log of the network pages: "hh:mm:ss", three blanks and the text,
// newest line first, holding the newest MaxLines lines.
class TProtocolLog {
public:
    static constexpr int MaxLines = 1000;
    // A message text longer than this is shortened in the log (never on the wire).
    static constexpr int MaxTextChars = 256;
    // text as the log shows a message of bytes bytes: its first MaxTextChars
    // characters and the size of the whole, or all of it when short enough.
    static QString Shortened(const QString& text, qsizetype bytes);
    // Adds a line stamped with the current time and returns it.
    QString Add(const QString& text);
    const QStringList& Lines() const { return FLines; }
    // How many lines were ever added: a view shows the difference since it last looked.
    quint64 Total() const { return FTotal; }

private:
    QStringList FLines;
    quint64 FTotal = 0;
};

class TRemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr int FallbackPort = 22456;
    // The most one message may hold; a client that sends more at once is dropped.
    static constexpr int MaxMessageBytes = MaxCommandLineLength;
    // How long the server lets a message gather after its first bytes arrived.
    static constexpr int ReadDelayMs = 10;
    // Received text longer than this is shortened in the log (not in the command).
    static constexpr int MaxLoggedChars = TProtocolLog::MaxTextChars;
    // The most clients connected at once; a further one is closed at once.
    static constexpr int MaxClients = 256;
    // Connections the network stack may hold before the server takes them: a
    // burst of connects must not overflow it (the system may cap it lower).
    static constexpr int ListenBacklog = 1024;
    // After a failed accept (no descriptor left) the server waits this long
    // before it accepts again, instead of retrying at once.
    static constexpr int AcceptRetryMs = 1000;
    // The error log hears of refused clients and failed accepts at most this often.
    static constexpr int ErrorLogIntervalMs = 60000;

    // Runs one token list as a remote command line.
    using TExecutor = std::function<void(QStringList& tokens)>;

    explicit TRemoteServer(QObject* parent = nullptr);
    ~TRemoteServer() override;

    // The page's fields, section "Server" of the settings file.
    QString Port = QStringLiteral("22455");
    QString Key = QStringLiteral("K719");
    bool StartAktiv = false;
    bool FindSchritt = false;   // forward find-step events (T...F)
    bool Ausfuehren = false;    // forward execute-step events (T...E)
    bool Makro = false;         // forward macro button events (M...D, M...U)

    // The box "Server aktiv" as the user clicks it: switches listening to checked.
    // A port that cannot be opened is logged and leaves the box unchecked.
    void SetAktiv(bool checked);
    bool Aktiv() const { return FAktiv; }
    bool IsListening() const;
    // The port actually listened on (0 when stopped).
    quint16 ListeningPort() const;
    int ClientCount() const { return int(FClients.size()); }

    // The port text as a port number: not a number or outside 0..65535 gives 22456.
    static quint16 PortFromText(const QString& text);

    void LoadServerSettings(const TStringIniFile& ini);
    void SaveServerSettings(TStringIniFile& ini) const;

    // One message as it came from the client at address: logged, then run by
    // ExecuteRemoteCommand. An empty message does nothing. The socket-free part of
    // reading a client's message, so tests and the fuzzer need no connection.
    void ReceiveMessage(const QString& address, const QByteArray& message);
    // Runs message as one remote command line when it begins with the key's
    // bytes; anything else is ignored. The key is compared on the raw bytes.
    void ExecuteRemoteCommand(const QByteArray& message);
    // Default: the main module's ExecuteCommand with the remote flag set.
    void SetExecutor(TExecutor executor) { FExecutor = std::move(executor); }

    void LogServerMessage(const QString& text);
    const QStringList& Log() const { return FLog.Lines(); }
    const TProtocolLog& ProtocolLog() const { return FLog; }

signals:
    // The fields or the listening state changed from inside the engine.
    void changed();
    // Every log line as it is added; views gather them (see TProtocolMemo).
    void logAdded(const QString& line);

private:
    struct TClient {
        QTcpSocket* Socket = nullptr;
        QTimer* ReadTimer = nullptr;
        QString Address;
    };

    void QueueAccept();
    void AcceptConnections();
    void AcceptFailed();
    void Refuse(QTcpSocket* socket);
    void ReadMessage(QTcpSocket* socket);
    void ClientDisconnected(QTcpSocket* socket);
    void ClientError(QTcpSocket* socket, int error);
    void DropClient(QTcpSocket* socket);
    void StopListening();
    void Execute(QStringList& tokens);

    QTcpServer* FServer = nullptr;
    QHash<QTcpSocket*, TClient> FClients;
    quint16 FPort = 0;
    bool FAktiv = false;
    bool FAcceptQueued = false;
    QTimer* FAcceptRetry = nullptr;
    qint64 FLastRefusalReport = 0;   // steady-clock ms of the last error-log entry, 0 = none yet
    qint64 FLastAcceptErrorReport = 0;
    TProtocolLog FLog;
    TExecutor FExecutor;
};
