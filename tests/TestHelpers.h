#pragma once
// Helpers shared by the tests: a temporary program folder and small file helpers.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <vector>

// A fresh program folder (with trailing '/') that is removed afterwards.
class TTempProgramDir {
public:
    TTempProgramDir();
    QString Path() const { return FPath; }
    QString File(const QString& relative) const { return FPath + relative; }
    void Write(const QString& relative, const QByteArray& bytes) const;
    QByteArray Read(const QString& relative) const;

private:
    QTemporaryDir FDir;
    QString FPath;
};

// A 32-bit little-endian count, as the show file's container writes it.
QByteArray Le32(quint32 n);
// A show file made by hand: type byte 0x14, the UTF-8 length, the text, then the rich-text tail.
QByteArray HandMadeShow(const QString& text, const QByteArray& tail = {});

// How many lines contain part.
int CountLines(const QStringList& lines, const QString& part);
// How many error-log lines contain part. The log is emptied before each test
// (ResetProgramStateBeforeEachTest), so it counts what the running test caused.
int ErrorLogCount(const QString& part);

// Makes every file write of this process beyond limit bytes fail with EFBIG
// (a full disk, also for root) while the guard lives.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(long long limit);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    unsigned long long FOldLimit = 0;
    void (*FOldHandler)(int) = nullptr;
};

// A small tmpfs mounted over folder while the object lives, to test a full disk.
// Mounting needs root; Mounted() is false otherwise and Error() says why.
class TTmpfsMount {
public:
    TTmpfsMount(const QString& folder, long long bytes);
    ~TTmpfsMount();
    TTmpfsMount(const TTmpfsMount&) = delete;
    TTmpfsMount& operator=(const TTmpfsMount&) = delete;
    bool Mounted() const { return FMounted; }
    QString Error() const { return FError; }

private:
    QString FFolder;
    QString FError;
    bool FMounted = false;
};

// Fills the file system of folder up to the last byte with a file "filler" in it.
void FillDisk(const QString& folder);

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// Makes every test start as the program does: an engine that ended in an
// earlier test of the same process leaves the program marked as closing, and
// the error log holds what earlier tests logged; both are reset.
void ResetProgramStateBeforeEachTest();

#include "framework/uPrompts.h"

#include <QStringList>
#include <deque>

// Answers questions and file dialogs from a script and records what was asked.
class TScriptedPrompts : public TPrompts {
public:
    TScriptedPrompts();
    ~TScriptedPrompts() override;
    std::deque<TDialogResult> YesNoAbortAnswers;   // default when empty: Abort
    std::deque<bool> YesNoAnswers;                 // default when empty: false
    std::deque<bool> OkCancelAnswers;              // default when empty: false (Abbrechen)
    std::deque<QString> FileAnswers;               // default when empty: cancelled
    std::deque<QStringList> FilesAnswers;          // several files; default when empty: cancelled
    std::deque<QString> TextAnswers;               // input boxes; default when empty: cancelled
    std::deque<int> ColorAnswers;                  // colour dialogs; default when empty: cancelled
    QStringList Asked;

    TDialogResult AskYesNoAbort(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    bool AskOkCancel(const QString& text) override;
    void Info(const QString& text) override;
    QString SaveFileName(const TFileDialogOptions& options, const QString& current) override;
    QString OpenFileName(const TFileDialogOptions& options, const QString& current) override;
    QStringList OpenFileNames(const TFileDialogOptions& options) override;
    bool InputText(const QString& caption, const QString& prompt, QString& text) override;
    bool PickColor(int& value) override;
};

class TModuleMain;

#include "framework/uMod_Abstract.h"

// A module that fails to read a show holding the section "Kaputt": appended
// behind the real modules, it makes an open stop after they have read theirs.
class TFailingModule : public TModuleAbstract {
public:
    TFailingModule();
    void LoadIni(TStringIniFile& ini) override;
};

// Show files that fail to open: the first 3000 bytes of a WAV file, of which no
// module reads anything, and a show whose section "Kaputt" stops the open once
// the modules before a TFailingModule have read theirs (a mixture).
struct TDamagedShow {
    const char* Name;
    QByteArray Bytes;
    bool Mixture;
};
std::vector<TDamagedShow> DamagedShows();

// The whole engine, headless, in a fresh program folder: PV_PROGRAM_DIR points at
// the folder while the main module is created. Files placed with Dir.Write before
// Start() are there when the modules start.
class TEngine {
public:
    TEngine();
    ~TEngine();
    // make creates the main module (a derived one in some tests); default: TModuleMain.
    void Start(const std::function<TModuleMain*()>& make = {});
    void Stop();   // frees the main module (writes the settings file)
    TTempProgramDir Dir;
    TModuleMain* Main = nullptr;
};

#include <QProcess>

// The real program started (offscreen) in a program folder; ended by a signal.
class TProgramProcess {
public:
    struct TResult {
        int ExitCode = -1;
        bool Crashed = true;
        QString Stderr;
        long long Ticks = -1;   // from the program's closing line, -1 when absent
    };

    // env: further environment variables (name, value).
    explicit TProgramProcess(const TTempProgramDir& dir, const QList<QPair<QString, QString>>& env = {});
    ~TProgramProcess();
    bool Started() const { return FStarted; }
    bool Running() const { return Process.state() == QProcess::Running; }
    // Waits for the line the program prints when its clock starts.
    bool WaitForClock(int timeoutMs = 30000);
    // Sends sig and waits for the end.
    TResult Stop(int sig);
    QString Stderr();

    QProcess Process;

private:
    QByteArray FErr;
    bool FStarted = false;
};

// A local TCP port that was free a moment ago.
quint16 FreeTcpPort();
// Connects client to the program's server on 127.0.0.1 once it listens (30 s at most).
class QTcpSocket;
bool ConnectWhenListening(QTcpSocket& client, quint16 port, const TProgramProcess& program);

// Sends text as one message on a connection of its own and closes it: the
// server runs a message at the latest when its connection closes, so a message
// sent this way has run before the next connection's message.
bool SendAlone(const QByteArray& text, quint16 port, const TProgramProcess& program);

// Reads the program's Art-Net frames and hands the 512 DMX slots of each (slot 1
// first) to frame until it returns true; false when the program ends or 30 s pass.
class QUdpSocket;
bool ReadArtNetFrames(QUdpSocket& artnet, const TProgramProcess& program,
                      const std::function<bool(const QByteArray& dmx)>& frame);

// Copies the output plug-in and the driver stand-in from the build into dir.
bool CopyDmxLibraries(const TTempProgramDir& dir);

#include <QList>
#include <QTcpServer>

class QTcpSocket;

// Stands for another console on 127.0.0.1 (an ephemeral port): accepts
// connections and keeps what each sends.
class TListener {
public:
    TListener();
    QString Port() const { return QString::number(FServer.serverPort()); }
    // What the last connection sent.
    QByteArray All() const { return Received.isEmpty() ? QByteArray() : Received.last(); }

    QList<QByteArray> Received;
    QList<QTcpSocket*> Sockets;

private:
    QTcpServer FServer;
};

#include <QTcpSocket>
#include <QUdpSocket>

#include <memory>

// A peer on 127.0.0.1 that accepts one connection and never reads from it: a
// plain listening socket with a small receive buffer, so that a sender's buffers
// fill soon.
class TSilentPeer {
public:
    TSilentPeer();
    ~TSilentPeer();
    TSilentPeer(const TSilentPeer&) = delete;
    TSilentPeer& operator=(const TSilentPeer&) = delete;
    // Takes the connection once it is there; false after timeoutMs.
    bool Accept(int timeoutMs);
    // Reads what has arrived so far; the number of bytes.
    qint64 Drain() const;
    quint16 Port = 0;   // 0: no socket could be set up

private:
    int FListen = -1;
    int FConn = -1;
};

// The real program in a fresh program folder, reopening a show (a hand-made show
// file) with its remote server on a free port and its DMX output sent as Art-Net to
// ArtNet on 127.0.0.1; Client is connected to the server when Ready.
class TRemoteShowProgram {
public:
    explicit TRemoteShowProgram(const QByteArray& showFile);
    bool Ready = false;
    TTempProgramDir Dir;
    QUdpSocket ArtNet;
    std::unique_ptr<TProgramProcess> Program;
    QTcpSocket Client;
};

// A real X server (Xvfb) of the test's own, so that a test can start the program
// on a screen and work it as a user does, with keys and clicks through xdotool.
// Nothing else shares the display: the clipboard starts empty, as after a login.
class TXServer {
public:
    TXServer();
    ~TXServer();
    TXServer(const TXServer&) = delete;
    TXServer& operator=(const TXServer&) = delete;
    bool Started() const { return !FDisplay.isEmpty(); }
    // ":N", or empty when the server did not start (Error() says why).
    QString Display() const { return FDisplay; }
    QString Error() const { return FError; }
    // The environment that puts the program on this screen, with the null
    // audio output: on a machine without a sound card the program would first
    // say so in a message box.
    QList<QPair<QString, QString>> Environment() const;
    // Runs xdotool on this display; its output, trimmed. ok: whether it succeeded.
    QString XDoTool(const QStringList& args, bool* ok = nullptr) const;
    // The id of a window whose title matches the regular expression, once it is
    // mapped; empty after timeoutMs.
    QString WaitForWindow(const QString& title, int timeoutMs = 30000) const;
    // Gives window the keyboard focus, then types keys (xdotool key syntax,
    // e.g. "alt+f", "Down", "Return", "ctrl+v") one after the other.
    bool Keys(const QString& window, const QStringList& keys) const;

private:
    QProcess* FServer = nullptr;
    QString FDisplay;
    QString FError;
};
