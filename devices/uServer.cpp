#include "devices/uServer.h"

#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QDateTime>
#include <QHostAddress>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

namespace {

const QString SectionServer = QStringLiteral("Server");

// A message's trailing line end and blanks, as "echo KEY... | nc" leaves them.
bool IsTrailingBlank(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

QByteArray WithoutTrailingBlanks(const QByteArray& bytes)
{
    qsizetype n = bytes.size();
    while (n > 0 && IsTrailingBlank(bytes.at(n - 1)))
        --n;
    return bytes.left(n);
}

// True when interval ms have passed since last (then last moves on); a
// monotonic clock, so a change of the system time does not matter.
bool Due(qint64& last, qint64 interval)
{
    const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    if (last != 0 && now - last < interval)
        return false;
    last = now;
    return true;
}

// The client's address in dotted form, also when the stack hands an IPv4
// address mapped into IPv6.
QString DottedAddress(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

// ---- protocol log ----

QString TProtocolLog::Add(const QString& text)
{
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("   ") + text;
    FLines.prepend(line);
    ++FTotal;
    while (FLines.size() > MaxLines)
        FLines.removeLast();
    return line;
}

QString TProtocolLog::Shortened(const QString& text, qsizetype bytes)
{
    if (text.size() <= MaxTextChars)
        return text;
    // A character outside the BMP is not cut in half.
    const qsizetype cut = text.at(MaxTextChars - 1).isHighSurrogate() ? MaxTextChars - 1 : MaxTextChars;
    return text.left(cut) + QStringLiteral(" ... (") + QString::number(bytes) + QStringLiteral(" Bytes)");
}

// ---- server ----

TRemoteServer::TRemoteServer(QObject* parent)
    : QObject(parent), FServer(new QTcpServer(this)), FAcceptRetry(new QTimer(this))
{
    FServer->setListenBacklogSize(ListenBacklog);
    connect(FServer, &QTcpServer::newConnection, this, &TRemoteServer::QueueAccept);
    connect(FServer, &QTcpServer::acceptError, this, &TRemoteServer::AcceptFailed);
    FAcceptRetry->setSingleShot(true);
    FAcceptRetry->setInterval(AcceptRetryMs);
    connect(FAcceptRetry, &QTimer::timeout, this, [this] {
        if (FServer->isListening())
            FServer->resumeAccepting();
    });
}

TRemoteServer::~TRemoteServer()
{
    // The clients go without their handlers: nothing is logged while the owner dies.
    for (auto it = FClients.begin(); it != FClients.end(); ++it) {
        it->Socket->disconnect(this);
        it->Socket->abort();
    }
    FClients.clear();
}

bool TRemoteServer::IsListening() const
{
    return FServer->isListening();
}

quint16 TRemoteServer::ListeningPort() const
{
    return FServer->isListening() ? FServer->serverPort() : 0;
}

quint16 TRemoteServer::PortFromText(const QString& text)
{
    int value = 0;
    if (!TryStrToInt(text, value) || !InRangeInt(value, 0, 65535))
        return FallbackPort;
    return quint16(value);
}

void TRemoteServer::SetAktiv(bool checked)
{
    FAktiv = checked;
    if (!FServer->isListening())
        FPort = PortFromText(Port);
    else
        LogServerMessage(QStringLiteral("Stop Listening"));

    if (checked && !FServer->isListening()) {
        if (FServer->listen(QHostAddress::AnyIPv4, FPort)) {
            LogServerMessage(QStringLiteral("Listening in Port ") + QString::number(FServer->serverPort()));
        } else {
            const QString reason = FServer->errorString();
            LogServerMessage(QStringLiteral("Error Port ") + QString::number(FPort) + QStringLiteral(": ") + reason);
            AddToErrorLog(elError, QStringLiteral("Server: Port ") + QString::number(FPort) +
                                       QStringLiteral(" kann nicht geöffnet werden: ") + reason);
            FAktiv = false;
        }
    } else if (!checked && FServer->isListening()) {
        StopListening();
    }
    emit changed();
}

void TRemoteServer::StopListening()
{
    FAcceptRetry->stop();
    FServer->close();
    // Stopping the server ends its connections too; each one is logged as it goes.
    const QList<QTcpSocket*> sockets = FClients.keys();
    for (QTcpSocket* socket : sockets)
        socket->disconnectFromHost();
}

void TRemoteServer::LoadServerSettings(const TStringIniFile& ini)
{
    Port = ini.ReadString(SectionServer, QStringLiteral("Port"), QStringLiteral("22455"));
    Key = ini.ReadString(SectionServer, QStringLiteral("Key"), QStringLiteral("K719"));
    StartAktiv = ini.ReadBool(SectionServer, QStringLiteral("StartAktiv"), false);
    if (StartAktiv && !FAktiv)
        SetAktiv(true);
    FindSchritt = ini.ReadBool(SectionServer, QStringLiteral("FindSchritt"), false);
    Ausfuehren = ini.ReadBool(SectionServer, QStringLiteral("Ausfuehren"), false);
    Makro = ini.ReadBool(SectionServer, QStringLiteral("Makro"), false);
    emit changed();
}

void TRemoteServer::SaveServerSettings(TStringIniFile& ini) const
{
    ini.WriteString(SectionServer, QStringLiteral("Port"), Port);
    ini.WriteString(SectionServer, QStringLiteral("Key"), Key);
    ini.WriteBool(SectionServer, QStringLiteral("StartAktiv"), StartAktiv);
    ini.WriteBool(SectionServer, QStringLiteral("FindSchritt"), FindSchritt);
    ini.WriteBool(SectionServer, QStringLiteral("Ausfuehren"), Ausfuehren);
    ini.WriteBool(SectionServer, QStringLiteral("Makro"), Makro);
}

void TRemoteServer::LogServerMessage(const QString& text)
{
    emit logAdded(FLog.Add(text));
}

// ---- connections ----

void TRemoteServer::QueueAccept()
{
    // The listener announces every connection it takes. Taking them up in a later
    // pass of the event loop lets it stop at its pending limit, so a burst of
    // connects is served in slices between the ticks, not in one long stretch.
    if (FAcceptQueued)
        return;
    FAcceptQueued = true;
    QMetaObject::invokeMethod(this, &TRemoteServer::AcceptConnections, Qt::QueuedConnection);
}

void TRemoteServer::AcceptConnections()
{
    FAcceptQueued = false;
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        if (FClients.size() >= MaxClients) {
            Refuse(socket);
            continue;
        }
        // The socket never buffers more than one message may hold: what a client
        // sends beyond that waits in the network stack until the client is dropped.
        socket->setReadBufferSize(MaxMessageBytes + 1);
        TClient client;
        client.Socket = socket;
        client.Address = DottedAddress(socket->peerAddress());
        client.ReadTimer = new QTimer(socket);
        client.ReadTimer->setSingleShot(true);
        client.ReadTimer->setInterval(ReadDelayMs);
        FClients.insert(socket, client);

        connect(client.ReadTimer, &QTimer::timeout, this, [this, socket] { ReadMessage(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            auto it = FClients.find(socket);
            if (it != FClients.end() && !it->ReadTimer->isActive())
                it->ReadTimer->start();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { ClientDisconnected(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, socket](QAbstractSocket::SocketError error) { ClientError(socket, int(error)); });
        LogServerMessage(QStringLiteral("Client connect ") + client.Address);
    }
    // Taking a pending connection switches the listener back on; after a failed
    // accept it stays paused until the retry.
    if (FAcceptRetry->isActive())
        FServer->pauseAccepting();
}

void TRemoteServer::Refuse(QTcpSocket* socket)
{
    // Every connection holds a file descriptor; past the cap a client would take
    // the ones the program needs for its own files.
    const QString address = DottedAddress(socket->peerAddress());
    socket->abort();
    socket->deleteLater();
    LogServerMessage(QStringLiteral("Client abgewiesen ") + address + QStringLiteral(": schon ") +
                     QString::number(MaxClients) + QStringLiteral(" Verbindungen"));
    if (Due(FLastRefusalReport, ErrorLogIntervalMs))
        AddToErrorLog(elWarning, QStringLiteral("Server: mehr als ") + QString::number(MaxClients) +
                                     QStringLiteral(" Verbindungen, weitere Clients werden abgewiesen (zuletzt ") +
                                     address + u')');
}

void TRemoteServer::AcceptFailed()
{
    // The listener has paused itself; accepting again at once would fail again
    // (no descriptor left) and keep the event loop busy. Try again a little later.
    const QString reason = FServer->errorString();
    FServer->pauseAccepting();
    FAcceptRetry->start();
    LogServerMessage(QStringLiteral("Error accept: ") + reason);
    if (Due(FLastAcceptErrorReport, ErrorLogIntervalMs))
        AddToErrorLog(elError, QStringLiteral("Server: Verbindung kann nicht angenommen werden: ") + reason);
}

void TRemoteServer::ReadMessage(QTcpSocket* socket)
{
    auto it = FClients.find(socket);
    if (it == FClients.end())
        return;
    it->ReadTimer->stop();
    const QString address = it->Address;
    if (socket->bytesAvailable() > MaxMessageBytes) {
        LogServerMessage(QStringLiteral("Client  [") + address + QStringLiteral("]   Nachricht länger als ") +
                         QString::number(MaxMessageBytes) + QStringLiteral(" Bytes, Verbindung getrennt"));
        DropClient(socket);
        return;
    }
    ReceiveMessage(address, socket->readAll());
}

void TRemoteServer::ReceiveMessage(const QString& address, const QByteArray& message)
{
    if (message.isEmpty())
        return;
    QString text = DecodeText(message);
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    LogServerMessage(QStringLiteral("Client  [") + address + QStringLiteral("]   Command: ") +
                     TProtocolLog::Shortened(text, message.size()));
    ExecuteRemoteCommand(message);
}

void TRemoteServer::ClientDisconnected(QTcpSocket* socket)
{
    auto it = FClients.find(socket);
    if (it == FClients.end())
        return;
    // A message that came just before the close is still run.
    if (it->ReadTimer->isActive() || socket->bytesAvailable() > 0)
        ReadMessage(socket);
    it = FClients.find(socket);
    if (it == FClients.end())
        return;
    const QString address = it->Address;
    FClients.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    LogServerMessage(QStringLiteral("Client connect ") + address);
}

void TRemoteServer::ClientError(QTcpSocket* socket, int error)
{
    // A normal close by the client is reported as an error first; disconnected() follows.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    auto it = FClients.find(socket);
    if (it == FClients.end())
        return;
    LogServerMessage(QStringLiteral("Error ") + it->Address);
    AddToErrorLog(elError, QStringLiteral("Server: Error ") + it->Address + QStringLiteral(": ") + socket->errorString());
    DropClient(socket);
}

void TRemoteServer::DropClient(QTcpSocket* socket)
{
    auto it = FClients.find(socket);
    if (it == FClients.end())
        return;
    const QString address = it->Address;
    FClients.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    LogServerMessage(QStringLiteral("Client connect ") + address);
}

// ---- commands ----

void TRemoteServer::ExecuteRemoteCommand(const QByteArray& message)
{
    const QByteArray key = EncodeText(Key);
    if (!message.startsWith(key))
        return;
    // One command line: CR and LF inside are no line separators. A trailing line
    // end would stick to the last value and spoil it.
    QStringList tokens;
    TokenizeCommand(DecodeText(WithoutTrailingBlanks(message.mid(key.size()))) + QLatin1Char('E'), tokens);
    Execute(tokens);
}

void TRemoteServer::Execute(QStringList& tokens)
{
    // Called from socket events: nothing may unwind into the event loop.
    Guarded([&] {
        if (FExecutor)
            FExecutor(tokens);
        else if (ModuleMain)
            ModuleMain->ExecuteCommand(tokens, 1);
    });
}
