#pragma once
// The page "verbundene Rechner" of the interface tabs: a view of the peer list.
// The grid shows the twelve peers (grid row 0 is peer 1); the edits below show
// the selected peer and write back into it as they are typed in.

#include <QPointer>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class TPeerList;
class TProtocolMemo;

class TFrmVerbundeneRechner : public QWidget {
    Q_OBJECT
public:
    explicit TFrmVerbundeneRechner(TPeerList& peers, QWidget* parent = nullptr);
    ~TFrmVerbundeneRechner() override;

    QTableWidget* sgRechner = nullptr;
    QLabel* lblNr = nullptr;
    QLineEdit* edtName = nullptr;
    QLineEdit* edtIP = nullptr;
    QLineEdit* edtPort = nullptr;
    QLineEdit* edtKey = nullptr;
    QPushButton* btnVerbinden = nullptr;
    QGroupBox* gbKommando = nullptr;
    QLineEdit* edtCommand = nullptr;
    QPushButton* btnSend = nullptr;
    QPlainTextEdit* memMessages = nullptr;

private:
    void InitPeerGrid();
    void RefreshRow(int row);
    // Shows the selected peer in the edits and the grid without firing handlers.
    void ShowSelected();
    void StorePeerEdits();
    void UpdateConnectButton();
    void btnVerbindenClick();
    void btnSendClick();
    template <typename F>
    void Handle(F&& action);

    QPointer<TPeerList> FPeers;   // null once the module is gone
    TProtocolMemo* FMemo = nullptr;
};

extern TFrmVerbundeneRechner* FrmVerbundeneRechner;
