#include "TestHelpers.h"

#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TFailingModule::TFailingModule()
{
    Name = QStringLiteral("Kaputt");
}

void TFailingModule::LoadIni(TStringIniFile& ini)
{
    if (ini.SectionExists(QStringLiteral("Kaputt")))
        throw EPvError(QStringLiteral("Abschnitt Kaputt unlesbar"));
}

std::vector<TDamagedShow> DamagedShows()
{
    QByteArray wav("RIFF\xDC\x0B\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x44\xAC\x00\x00\x88\x58\x01\x00"
                   "\x02\x00\x10\x00"
                   "data\xB8\x0B\x00\x00",
                   44);
    for (int i = 0; wav.size() < 3000; ++i)
        wav.append(char(i * 37));
    return {{"kaputt.pvs", wav, false},
            {"halb.pvs", HandMadeShow("\r\n[Interface]\r\nv=halb\r\n[Kaputt]\r\nx=1\r\n", "neu"), true}};
}

TTempProgramDir::TTempProgramDir() : FPath(FDir.path() + "/") {}

void TTempProgramDir::Write(const QString& relative, const QByteArray& bytes) const
{
    const QString path = File(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray TTempProgramDir::Read(const QString& relative) const
{
    QFile f(File(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Le32(quint32 n)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((n >> (8 * i)) & 0xFF));
    return b;
}

QByteArray HandMadeShow(const QString& text, const QByteArray& tail)
{
    const QByteArray utf8 = text.toUtf8();
    return QByteArray(1, char(0x14)) + Le32(quint32(utf8.size())) + utf8 + tail;
}

int CountLines(const QStringList& lines, const QString& part)
{
    int n = 0;
    for (const QString& line : lines)
        n += line.contains(part) ? 1 : 0;
    return n;
}

int ErrorLogCount(const QString& part)
{
    return CountLines(TErrorLog::Instance().Lines(), part);
}

TFileSizeLimit::TFileSizeLimit(long long limit)
{
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    FOldLimit = lim.rlim_cur;
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    lim.rlim_cur = rlim_t(limit);
    setrlimit(RLIMIT_FSIZE, &lim);
}

TFileSizeLimit::~TFileSizeLimit()
{
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = rlim_t(FOldLimit);
    setrlimit(RLIMIT_FSIZE, &lim);
    std::signal(SIGXFSZ, FOldHandler);
}

TTmpfsMount::TTmpfsMount(const QString& folder, long long bytes) : FFolder(folder)
{
    if (::geteuid() != 0) {
        FError = QStringLiteral("mounting a tmpfs needs root");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
        FError = QStringLiteral("mount: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    FMounted = true;
}

TTmpfsMount::~TTmpfsMount()
{
    if (FMounted)
        ::umount2(QFile::encodeName(FFolder).constData(), MNT_DETACH);
}

void FillDisk(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/filler")).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string block(64 * 1024, 'x');
    for (size_t size : {block.size(), size_t(1)})
        while (::write(fd, block.data(), size) > 0) {
        }
    ::close(fd);
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

#include "framework/uMod_Main.h"

TScriptedPrompts::TScriptedPrompts() { SetPrompts(this); }
TScriptedPrompts::~TScriptedPrompts() { SetPrompts(nullptr); }

TDialogResult TScriptedPrompts::AskYesNoAbort(const QString& text)
{
    Asked << text;
    if (YesNoAbortAnswers.empty())
        return TDialogResult::Abort;
    const TDialogResult r = YesNoAbortAnswers.front();
    YesNoAbortAnswers.pop_front();
    return r;
}

namespace {

// The next scripted answer, false (No, Abbrechen) when none is left.
bool NextAnswer(std::deque<bool>& answers)
{
    if (answers.empty())
        return false;
    const bool r = answers.front();
    answers.pop_front();
    return r;
}

}   // namespace

bool TScriptedPrompts::AskYesNo(const QString& text)
{
    Asked << text;
    return NextAnswer(YesNoAnswers);
}

bool TScriptedPrompts::AskOkCancel(const QString& text)
{
    Asked << text;
    return NextAnswer(OkCancelAnswers);
}

void TScriptedPrompts::Info(const QString& text) { Asked << text; }

QString TScriptedPrompts::SaveFileName(const TFileDialogOptions& options, const QString&)
{
    Asked << QStringLiteral("save:") + options.Filter;
    if (FileAnswers.empty())
        return QString();
    const QString r = FileAnswers.front();
    FileAnswers.pop_front();
    return r;
}

QString TScriptedPrompts::OpenFileName(const TFileDialogOptions& options, const QString&)
{
    Asked << QStringLiteral("open:") + options.Filter;
    if (FileAnswers.empty())
        return QString();
    const QString r = FileAnswers.front();
    FileAnswers.pop_front();
    return r;
}

QStringList TScriptedPrompts::OpenFileNames(const TFileDialogOptions& options)
{
    Asked << QStringLiteral("open:") + options.Filter;
    if (FilesAnswers.empty())
        return {};
    const QStringList r = FilesAnswers.front();
    FilesAnswers.pop_front();
    return r;
}

bool TScriptedPrompts::InputText(const QString& caption, const QString& prompt, QString& text)
{
    Asked << caption + ": " + prompt;
    if (TextAnswers.empty())
        return false;
    text = TextAnswers.front();
    TextAnswers.pop_front();
    return true;
}

bool TScriptedPrompts::PickColor(int& value)
{
    Asked << QStringLiteral("color");
    if (ColorAnswers.empty())
        return false;
    value = ColorAnswers.front();
    ColorAnswers.pop_front();
    return true;
}

TEngine::TEngine() = default;

TEngine::~TEngine() { Stop(); }

void TEngine::Start(const std::function<TModuleMain*()>& make)
{
    const QByteArray old = qgetenv("PV_PROGRAM_DIR");
    qputenv("PV_PROGRAM_DIR", Dir.Path().toUtf8());
    Main = make ? make() : new TModuleMain;
    if (old.isEmpty())
        qunsetenv("PV_PROGRAM_DIR");
    else
        qputenv("PV_PROGRAM_DIR", old);
}

void TEngine::Stop()
{
    delete Main;
    Main = nullptr;
}

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <csignal>

TProgramProcess::TProgramProcess(const TTempProgramDir& dir, const QList<QPair<QString, QString>>& env)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("PV_PROGRAM_DIR", dir.Path());
    e.insert("QT_QPA_PLATFORM", "offscreen");
    for (const auto& [name, value] : env)
        e.insert(name, value);
    Process.setProcessEnvironment(e);
    Process.start(PV_PROGRAM_BINARY, {});
    FStarted = Process.waitForStarted(20000);
}

TProgramProcess::~TProgramProcess()
{
    if (Running()) {
        Process.kill();
        Process.waitForFinished(5000);
    }
}

QString TProgramProcess::Stderr()
{
    FErr += Process.readAllStandardError();
    return QString::fromLocal8Bit(FErr);
}

bool TProgramProcess::WaitForClock(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!FErr.contains("Uhr gestartet") && Running() && !deadline.hasExpired()) {
        Process.waitForReadyRead(200);
        FErr += Process.readAllStandardError();
    }
    return FErr.contains("Uhr gestartet");
}

TProgramProcess::TResult TProgramProcess::Stop(int sig)
{
    if (Running())
        ::kill(static_cast<pid_t>(Process.processId()), sig);
    Process.waitForFinished(20000);
    TResult r;
    r.Stderr = Stderr();
    r.ExitCode = Process.exitCode();
    r.Crashed = Process.exitStatus() != QProcess::NormalExit;
    const auto m = QRegularExpression("beendet nach (\\d+) Takten").match(r.Stderr);
    if (m.hasMatch())
        r.Ticks = m.captured(1).toLongLong();
    return r;
}

bool CopyDmxLibraries(const TTempProgramDir& dir)
{
    for (const char* name : {"pvm_dmx.so", "libusbio.so"})
        if (!QFile::copy(QStringLiteral(PV_PROGRAM_FOLDER "/") + name, dir.File(name)))
            return false;
    return true;
}

#include <QHostAddress>
#include <QTcpSocket>

quint16 FreeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

bool ConnectWhenListening(QTcpSocket& client, quint16 port, const TProgramProcess& program)
{
    QDeadlineTimer deadline(30000);
    while (program.Running() && !deadline.hasExpired()) {
        client.connectToHost(QHostAddress::LocalHost, port);
        if (client.waitForConnected(500))
            return true;
        client.abort();
        QThread::msleep(100);
    }
    return false;
}

bool SendAlone(const QByteArray& text, quint16 port, const TProgramProcess& program)
{
    QTcpSocket client;
    if (!ConnectWhenListening(client, port, program))
        return false;
    client.write(text);
    if (!client.waitForBytesWritten(5000))
        return false;
    client.disconnectFromHost();
    return client.state() == QAbstractSocket::UnconnectedState || client.waitForDisconnected(5000);
}

bool ReadArtNetFrames(QUdpSocket& artnet, const TProgramProcess& program,
                      const std::function<bool(const QByteArray& dmx)>& frame)
{
    constexpr int header = 18;   // ArtDmx header before the slots
    QDeadlineTimer deadline(30000);
    while (program.Running() && !deadline.hasExpired()) {
        if (!artnet.hasPendingDatagrams())
            artnet.waitForReadyRead(100);
        while (artnet.hasPendingDatagrams()) {
            QByteArray p(int(artnet.pendingDatagramSize()), '\0');
            artnet.readDatagram(p.data(), p.size());
            if (p.size() == header + 512 && p.startsWith(QByteArray("Art-Net\0", 8)) && frame(p.mid(header)))
                return true;
        }
    }
    return false;
}

TListener::TListener()
{
    FServer.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&FServer, &QTcpServer::newConnection, &FServer, [this] {
        while (QTcpSocket* s = FServer.nextPendingConnection()) {
            const qsizetype i = Received.size();
            Received << QByteArray();
            Sockets << s;
            QObject::connect(s, &QTcpSocket::readyRead, &FServer, [this, s, i] { Received[i] += s->readAll(); });
        }
    });
}

TRemoteShowProgram::TRemoteShowProgram(const QByteArray& showFile)
{
    if (!CopyDmxLibraries(Dir) || !ArtNet.bind(QHostAddress::LocalHost, 0))
        return;
    const quint16 port = FreeTcpPort();
    Dir.Write("Abend.pvs", showFile);
    Dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=" + Dir.File("Abend.pvs").toUtf8() +
                                   "\r\n[Server]\r\nPort=" + QByteArray::number(port) + "\r\nStartAktiv=1\r\n");
    Program = std::make_unique<TProgramProcess>(
        Dir, QList<QPair<QString, QString>>{{"USBIO_DEVICE", "artnet:127.0.0.1:" + QString::number(ArtNet.localPort())}});
    Ready = Program->Started() && ConnectWhenListening(Client, port, *Program);
}

namespace {

// The process-wide state a test may leave behind. The error log is emptied so
// that what a test finds in it is what the test itself caused, whichever tests
// ran before it in the same process.
class TProgramStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        AppClosing = false;
        TErrorLog::Instance().Clear();
    }
};

} // namespace

void ResetProgramStateBeforeEachTest()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new TProgramStateReset);
}

// ---- a real X server ----

TXServer::TXServer()
{
    FServer = new QProcess;
    // -displayfd 1: the server picks a free display and writes its number to
    // standard output once it accepts connections.
    FServer->start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!FServer->waitForStarted(20000)) {
        FError = QStringLiteral("Xvfb startet nicht: ") + FServer->errorString();
        return;
    }
    QByteArray out;
    QDeadlineTimer deadline(30000);
    while (!out.contains('\n') && FServer->state() == QProcess::Running && !deadline.hasExpired()) {
        FServer->waitForReadyRead(200);
        out += FServer->readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        FError = QStringLiteral("Xvfb nennt keine Anzeige: ") + QString::fromLocal8Bit(FServer->readAllStandardError());
        return;
    }
    FDisplay = QStringLiteral(":%1").arg(number);
}

TXServer::~TXServer()
{
    if (FServer->state() == QProcess::Running) {
        FServer->terminate();
        if (!FServer->waitForFinished(5000)) {
            FServer->kill();
            FServer->waitForFinished(5000);
        }
    }
    delete FServer;
}

QList<QPair<QString, QString>> TXServer::Environment() const
{
    return {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", FDisplay}, {"PV_AUDIO_OUTPUT", "null"}};
}

QString TXServer::XDoTool(const QStringList& args, bool* ok) const
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("DISPLAY", FDisplay);
    p.setProcessEnvironment(e);
    p.start(QStringLiteral("xdotool"), args);
    const bool finished = p.waitForStarted(10000) && p.waitForFinished(30000);
    if (!finished)
        p.kill();
    if (ok)
        *ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString TXServer::WaitForWindow(const QString& title, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString ids = XDoTool({"search", "--onlyvisible", "--name", title});
        if (!ids.isEmpty())
            return ids.split(u'\n').constLast();
        QThread::msleep(100);
    }
    return QString();
}

bool TXServer::Keys(const QString& window, const QStringList& keys) const
{
    bool ok = false;
    XDoTool({"windowfocus", "--sync", window}, &ok);
    if (!ok)
        return false;
    for (const QString& key : keys) {
        XDoTool({"key", "--delay", "50", key}, &ok);
        if (!ok)
            return false;
    }
    return true;
}

TSilentPeer::TSilentPeer()
{
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    setsockopt(FListen, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(FListen, 1) == 0 &&
        getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        Port = ntohs(a.sin_port);
}

TSilentPeer::~TSilentPeer()
{
    if (FConn >= 0)
        ::close(FConn);
    if (FListen >= 0)
        ::close(FListen);
}

bool TSilentPeer::Accept(int timeoutMs)
{
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return false;
    FConn = ::accept(FListen, nullptr, nullptr);
    return FConn >= 0;
}

qint64 TSilentPeer::Drain() const
{
    char buf[65536];
    qint64 total = 0;
    for (ssize_t n; (n = ::recv(FConn, buf, sizeof buf, MSG_DONTWAIT)) > 0;)
        total += n;
    return total;
}
