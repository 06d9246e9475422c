#pragma once
// The remote command server: listens on a TCP port and runs each message that
// begins with the access key as one command line, marked as remote. It also
// holds the three coupling options by which this console forwards its own step
// and macro events to coupled computers. The server page is a view of it.

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
    // Adds a line stamped with the current time and returns it.
    QString Add(const QString& text);
    const QStringList& Lines() const { return FLines; }
    void Clear() { FLines.clear(); }

private:
    QStringList FLines;
};

class TRemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr int FallbackPort = 22456;
    // The most one message may hold; a client that sends more at once is dropped.
    static constexpr int MaxMessageBytes = 64 * 1024;
    // How long the server lets a message gather after its first bytes arrived.
    static constexpr int ReadDelayMs = 10;
    // Received text longer than this is shortened in the log (not in the command).
    static constexpr int MaxLoggedChars = 1024;

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

signals:
    // The fields or the listening state changed from inside the engine.
    void changed();
    void logAdded(const QString& line);

private:
    struct TClient {
        QTcpSocket* Socket = nullptr;
        QTimer* ReadTimer = nullptr;
        QString Address;
    };

    void AcceptConnections();
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
    TProtocolLog FLog;
    TExecutor FExecutor;
};
