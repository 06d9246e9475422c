#pragma once
// The page "serielle Schnittstelle" of the interface tabs: a view of the serial
// terminal. The user picks a port, opens and closes it, sends a line with or
// without CR LF and sees the last answer.

#include <QComboBox>
#include <QPointer>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class TComTerminal;
class TSerial;

// The available ports ("COM" n, ascending; "keinen" when there is none), bound
// to a port whose number follows the user's choice.
class TCOMComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TCOMComboBox(TSerial& serial, QWidget* parent = nullptr);
    int SelectedPort() const;   // 0 when no port is available
    // Selects an available port 1..25 and binds the port to it, then raises
    // changed(), also when it was selected already; any other v does nothing.
    void SetSelectedPort(int v);

signals:
    // The port was chosen, by the user or by SetSelectedPort.
    void changed();

private:
    QPointer<TSerial> FSerial;
};

class TFrmCOM : public QWidget {
    Q_OBJECT
public:
    explicit TFrmCOM(TComTerminal& terminal, QWidget* parent = nullptr);
    ~TFrmCOM() override;

    // The open/closed texts from the terminal.
    void Refresh();

    TCOMComboBox* COMComboBox1 = nullptr;
    QPushButton* btnConnect = nullptr;
    QLabel* lblConnect = nullptr;
    QLineEdit* edtSend = nullptr;
    QPushButton* btnSend = nullptr;
    QRadioButton* rbAnhangKeinen = nullptr;
    QRadioButton* rbAnhang1310 = nullptr;
    QPlainTextEdit* memAntwort = nullptr;

private:
    QPointer<TComTerminal> FTerminal;   // null once the module is gone
};

extern TFrmCOM* FrmCOM;
