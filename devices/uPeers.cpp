#include "devices/uPeers.h"

#include "framework/uErrorLog.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

const QString SectionInterface = QStringLiteral("Interface");
const QString KeyName = QStringLiteral("VR_Name_");
const QString KeyIP = QStringLiteral("VR_IP_");
const QString KeyPort = QStringLiteral("VR_Port_");
const QString KeyKoppel = QStringLiteral("VR_Koppel_");

bool ValidRow(int row)
{
    return InRangeInt(row, 1, TPeerList::PeerCount);
}

} // namespace

TPeerList::TPeerList(QObject* parent) : QObject(parent)
{
    for (int row = 1; row <= PeerCount; ++row) {
        TConnection& c = Conn(row);
        c.Socket = new QTcpSocket(this);
        c.Gap = new QTimer(this);
        c.Gap->setSingleShot(true);
        c.Gap->setInterval(MessageGapMs);
        QTcpSocket* socket = c.Socket;
        connect(c.Gap, &QTimer::timeout, this, [this, row] { WriteNext(row); });
        connect(socket, &QTcpSocket::connected, this, [this, row, socket] {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            SetStatus(row, QStringLiteral("verbunden"));
            LogPeerMessage(QStringLiteral(" verbunden"), row);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, row] { Closed(row); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, row, socket](QAbstractSocket::SocketError error) {
            // A normal close by the peer is reported as an error first; disconnected() follows.
            if (error == QAbstractSocket::RemoteHostClosedError)
                return;
            ClearPending(Conn(row));
            SetStatus(row, QStringLiteral("Fehler"));
            // The socket's error code, then its text, which says more than a code of 0 for a refused connection.
            LogPeerMessage(QStringLiteral(" Fehler: %1 (%2)").arg(int(error)).arg(socket->errorString()), row);
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->abort();
        });
        connect(socket, &QTcpSocket::stateChanged, this, [this, row] { emit connectionChanged(row); });
        // Peers have nothing to say; whatever they send is dropped, not piled up.
        connect(socket, &QTcpSocket::readyRead, this, [socket] { socket->readAll(); });
    }
}

TPeerList::~TPeerList()
{
    for (TConnection& c : FConnections) {
        c.Socket->disconnect(this);
        c.Socket->abort();
    }
}

const TPeer& TPeerList::Peer(int row) const
{
    static const TPeer none;
    return ValidRow(row) ? FPeers[std::size_t(row - 1)] : none;
}

void TPeerList::SetPeer(int row, const QString& name, const QString& ip, const QString& port, const QString& key)
{
    if (!ValidRow(row))
        return;
    TPeer& p = FPeers[std::size_t(row - 1)];
    p.Name = name;
    p.IP = ip;
    p.Port = port;
    p.Key = key;
    emit peerChanged(row);
}

void TPeerList::SelectPeer(int row)
{
    if (row == FSelected || !ValidRow(row))
        return;
    FSelected = row;
    emit selectionChanged(row);
}

void TPeerList::SetStatus(int row, const QString& status)
{
    FPeers[std::size_t(row - 1)].Status = status;
    emit peerChanged(row);
}

// ---- show file ----

void TPeerList::LoadPeers(const TStringIniFile& ini)
{
    // A row whose number ends no key of the section is empty without lookups.
    const std::vector<bool> held = ini.KeyNumbers(SectionInterface, PeerCount);
    for (int row = 1; row <= PeerCount; ++row) {
        TPeer& p = FPeers[std::size_t(row - 1)];
        const bool keys = held[std::size_t(row)];
        p.Name = keys ? ini.ReadString(SectionInterface, TIniKey("VR_Name_", row), QString()) : QString();
        p.IP = keys ? ini.ReadString(SectionInterface, TIniKey("VR_IP_", row), QString()) : QString();
        p.Port = keys ? ini.ReadString(SectionInterface, TIniKey("VR_Port_", row), QString()) : QString();
        p.Key = keys ? ini.ReadString(SectionInterface, TIniKey("VR_Koppel_", row), QString()) : QString();
        emit peerChanged(row);
    }
    // Announced also when row 1 was already selected: the page then shows the
    // loaded row instead of keeping the previous show's values in its edits.
    FSelected = 1;
    emit selectionChanged(1);
}

void TPeerList::SavePeers(QStringList& lines) const
{
    for (int row = 1; row <= PeerCount; ++row) {
        const TPeer& p = FPeers[std::size_t(row - 1)];
        if (TrimBlanks(p.Name).isEmpty() && TrimBlanks(p.IP).isEmpty())
            continue;
        const QString n = QString::number(row);
        lines << KeyName + n + u'=' + p.Name << KeyIP + n + u'=' + p.IP << KeyPort + n + u'=' + p.Port
              << KeyKoppel + n + u'=' + p.Key;
    }
}

bool TPeerList::IsPeerKey(const QString& key)
{
    const QString k = key.trimmed();
    for (const QString& prefix : {KeyName, KeyIP, KeyPort, KeyKoppel}) {
        if (!k.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString n = k.mid(prefix.size());
        for (int row = 1; row <= PeerCount; ++row)
            if (n == QString::number(row))
                return true;
    }
    return false;
}

// ---- connections ----

bool TPeerList::IsOpen(int row) const
{
    return ValidRow(row) && Conn(row).Socket->state() != QAbstractSocket::UnconnectedState;
}

bool TPeerList::IsConnected(int row) const
{
    return ValidRow(row) && Conn(row).Socket->state() == QAbstractSocket::ConnectedState;
}

void TPeerList::ToggleConnection()
{
    if (!ValidRow(FSelected))
        return;
    if (IsOpen(FSelected))
        Disconnect(FSelected);
    else
        Connect(FSelected);
}

void TPeerList::Connect(int row)
{
    if (!ValidRow(row) || IsOpen(row))
        return;
    const TPeer& p = Peer(row);
    const QString host = TrimBlanks(p.IP);
    const QString portText = TrimBlanks(p.Port);
    if (host.isEmpty() || portText.isEmpty())
        return;
    int port = 0;
    if (!TryStrToInt(portText, port)) {
        AddToErrorLog(elError, u'\'' + portText + QStringLiteral("' ist kein gültiger Integerwert"));
        return;
    }
    if (!InRangeInt(port, 1, 65535)) {
        AddToErrorLog(elError, u'\'' + portText + QStringLiteral("' ist kein gültiger Port"));
        return;
    }
    Conn(row).Socket->connectToHost(host, quint16(port));
}

void TPeerList::Disconnect(int row)
{
    if (!IsOpen(row))
        return;
    QTcpSocket* socket = Conn(row).Socket;
    ClearPending(Conn(row));
    const bool wasConnected = socket->state() == QAbstractSocket::ConnectedState;
    if (wasConnected) {
        socket->disconnectFromHost();   // disconnected() reports it
    } else {
        // A connection still being set up ends without disconnected().
        socket->abort();
        Closed(row);
    }
}

void TPeerList::Closed(int row)
{
    TConnection& c = Conn(row);
    ClearPending(c);
    c.Gap->stop();
    SetStatus(row, QStringLiteral("getrennt"));
    LogPeerMessage(QStringLiteral(" getrennt"), row);
}

// ---- sending ----

void TPeerList::SendToPeer(const QStringList& tokens)
{
    if (tokens.isEmpty())
        return;
    const int row = GetTokenInt(tokens, 0);
    if (!IsConnected(row))
        return;
    const QString text = tokens.mid(1).join(QString());
    const QByteArray bytes = EncodeText(text);
    // The log shows a long text shortened, as the server's log does: a thousand
    // lines of whole messages would hold megabytes and stall the page's memo.
    const QString logged = TProtocolLog::Shortened(text, bytes.size());
    switch (Write(row, bytes)) {
    case TWriteResult::Sent: LogPeerMessage(QStringLiteral(" gesendet: ") + logged, row); break;
    case TWriteResult::QueueFull:
        LogPeerMessage(QStringLiteral(" verworfen (zu viele wartende Nachrichten): ") + logged, row);
        break;
    case TWriteResult::UnsentFull:
        LogPeerMessage(QStringLiteral(" verworfen (zu viele ungesendete Bytes): ") + logged, row);
        break;
    }
}

int TPeerList::PendingMessages(int row) const
{
    return ValidRow(row) ? int(Conn(row).Pending.size()) : 0;
}

qint64 TPeerList::UnsentBytes(int row) const
{
    return ValidRow(row) ? Conn(row).Socket->bytesToWrite() + Conn(row).PendingBytes : 0;
}

void TPeerList::ClearPending(TConnection& c)
{
    c.Pending.clear();
    c.PendingBytes = 0;
}

TPeerList::TWriteResult TPeerList::Write(int row, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return TWriteResult::Sent;
    TConnection& c = Conn(row);
    // What the socket still holds grows for as long as the peer does not read.
    if (UnsentBytes(row) + bytes.size() > MaxUnsentBytes)
        return TWriteResult::UnsentFull;
    if (c.Gap->isActive() || !c.Pending.empty()) {
        if (int(c.Pending.size()) >= MaxPendingMessages)
            return TWriteResult::QueueFull;
        c.Pending.push_back(bytes);
        c.PendingBytes += bytes.size();
        return TWriteResult::Sent;
    }
    c.Socket->write(bytes);
    c.Socket->flush();
    c.Gap->start();
    return TWriteResult::Sent;
}

void TPeerList::WriteNext(int row)
{
    TConnection& c = Conn(row);
    if (c.Pending.empty())
        return;
    if (!IsConnected(row)) {
        ClearPending(c);
        return;
    }
    const QByteArray bytes = c.Pending.front();
    c.Pending.pop_front();
    c.PendingBytes -= bytes.size();
    c.Socket->write(bytes);
    c.Socket->flush();
    c.Gap->start();
}

void TPeerList::LogPeerMessage(const QString& text, int row)
{
    const TPeer& p = Peer(row);
    emit logAdded(FLog.Add(QStringLiteral("Client") + QString::number(row) + QStringLiteral("  \"") + p.Name +
                           QStringLiteral("\"   [") + p.IP + QStringLiteral("]  ") + text));
}
