#pragma once
// The master panel: console master, Black-Out, console/playback mode, grand
// master, fade speed with the transport buttons, and chase speed. A view of the
// master module: it shows the module's state and hands every user action to it.
// The main window docks the panel into its pages; the grand-master group can be
// lent to another page and taken back.

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class TModuleMaster;

class TfrmMaster : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMaster(TModuleMaster& module, QWidget* parent = nullptr);
    ~TfrmMaster() override;

    // Where the grand-master group belongs inside this panel.
    QWidget* GetGrandmasterPanel() const { return pnlGrandmaster; }
    // Moves the grand-master group into parent (its layout, or a new one).
    void DockGrandmasterPanel(QWidget* parent);
    // Moves the whole panel into parent.
    void DockMasterPanel(QWidget* parent);

    // Fills every widget from the module without firing the widgets' handlers.
    void Refresh();

    QGroupBox* gbPultmaster = nullptr;
    QSlider* tbPultMaster = nullptr;
    QPushButton* btnBlackout = nullptr;
    QRadioButton* rbPult = nullptr;
    QRadioButton* rbAblauf = nullptr;

    QWidget* pnlGrandmaster = nullptr;
    QPointer<QGroupBox> gbGrandmaster;
    QSlider* tbGrandmaster = nullptr;
    QSlider* tbFadeFaktor = nullptr;
    QLabel* lblFadeFaktor = nullptr;
    QLabel* lblFadeRestzeit = nullptr;
    QCheckBox* cbEins = nullptr;
    QPushButton* btnPause = nullptr;
    QPushButton* btnPlay = nullptr;
    QPushButton* btnRev = nullptr;
    QPushButton* btnEins = nullptr;

    QGroupBox* gbChaserspeed = nullptr;
    QSlider* tbChaseFaktor = nullptr;
    QLabel* lblChaseFaktor = nullptr;

private:
    void tbPultMasterChange(int position);
    void tbGrandmasterChange(int position);
    void tbFadeFaktorChange(int position);
    void tbChaseFaktorChange(int position);
    void btnBlackoutClick();
    void rbPultClick();
    void btnPauseClick(QPushButton* sender);
    void cbEinsClick(bool checked);
    // Runs a user action on the module; an error is logged, never thrown into Qt.
    template <typename F>
    void Handle(F&& action);

    TModuleMaster* FModule;   // null once the module is gone
};

extern TfrmMaster* frmMaster;
