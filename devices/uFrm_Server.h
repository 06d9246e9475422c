#pragma once
// The page "Server" of the interface tabs: a view of the remote command server.
// It shows the server's settings, the coupling options and the protocol log,
// and hands every user action to the server.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class TProtocolLog;
class TRemoteServer;

// Shows a protocol log in a memo, newest line first, at most the log's
// MaxLines lines, without undo history (a memo that keeps one grows with every
// line however short it is kept). Lines are gathered and shown at most once per
// RefreshMs while the memo is on screen, and when it comes on screen, so a flood
// of log lines never keeps the event loop busy with the memo.
class TProtocolMemo : public QObject {
public:
    static constexpr int RefreshMs = 100;
    // log gives the log, or nullptr once its owner is gone.
    TProtocolMemo(QPlainTextEdit* memo, std::function<const TProtocolLog*()> log);
    // A line was added: shows it with the next refresh.
    void LineAdded();
    // Shows the lines added since the last refresh now.
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* FMemo;
    std::function<const TProtocolLog*()> FLog;
    QTimer FTimer;
    quint64 FShown = 0;
};

class TFrmServer : public QWidget {
    Q_OBJECT
public:
    explicit TFrmServer(TRemoteServer& server, QWidget* parent = nullptr);
    ~TFrmServer() override;

    // Fills the widgets from the server without firing their handlers.
    void Refresh();

    QGroupBox* gbServer = nullptr;
    QCheckBox* cbAktiv = nullptr;
    QCheckBox* cbStartAktiv = nullptr;
    QLineEdit* edtPort = nullptr;
    QLineEdit* edtKey = nullptr;
    QGroupBox* gbKoppeln = nullptr;
    QCheckBox* cbFindSchritt = nullptr;
    QCheckBox* cbSchrittAusfuehren = nullptr;
    QCheckBox* cbMakro = nullptr;
    QPlainTextEdit* memProt = nullptr;

private:
    template <typename F>
    void Handle(F&& action);

    QPointer<TRemoteServer> FServer;   // null once the module is gone
    TProtocolMemo* FMemo = nullptr;
};

extern TFrmServer* FrmServer;

// Creates the server and connected-computers pages of the interface module
// (once) and docks them into the tabs "tabVerbundeneRechner" ("verbundene
// Rechner") and "tabServer" ("Server") of pcInterface, adding the tabs when
// they are missing.
void CreateInterfacePages(QTabWidget* pcInterface);

// Lets only the digits and backspace be typed into edit; other characters typed
// are discarded (text set by the program is not checked).
void AcceptTypedDigitsOnly(QLineEdit* edit);
