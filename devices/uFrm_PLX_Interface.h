#pragma once
// The page "PLX-Interface" of the interface tabs: a view of the input/relay
// box. Sixteen output check boxes, eight input buttons with their script memos
// under them, the list of HID devices found and the debug log of input reports.

#include <QPointer>
#include <QToolButton>
#include <QWidget>

#include <array>

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class TPlxBox;

// An input button: the left mouse button presses and releases the input. The
// press and release events are used directly, as the pressed/released signals
// come again when the pointer leaves and re-enters the button.
class TInputButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;

signals:
    void inputDown();
    void inputUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TFrmPLX_Interface : public QWidget {
    Q_OBJECT
public:
    explicit TFrmPLX_Interface(TPlxBox& box, QWidget* parent = nullptr);
    ~TFrmPLX_Interface() override;

    QWidget* pnlMain = nullptr;
    QLabel* Label4 = nullptr;
    QListWidget* DevListBox = nullptr;
    QPlainTextEdit* memDebug = nullptr;
    QCheckBox* cbDebug = nullptr;
    std::array<QCheckBox*, 16> Outputs{};
    std::array<TInputButton*, 8> Inputs{};
    std::array<QPlainTextEdit*, 8> Scripts{};

private:
    void ShowScripts();
    void ShowDevices();

    QPointer<TPlxBox> FBox;   // null once the module is gone
    bool FShowingScripts = false;
};

extern TFrmPLX_Interface* FrmPLX_Interface;
