#pragma once
// The page "Server" of the interface tabs: a view of the remote command server.
// It shows the server's settings, the coupling options and the protocol log,
// and hands every user action to the server.

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class TProtocolMemo;
class TRemoteServer;

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
