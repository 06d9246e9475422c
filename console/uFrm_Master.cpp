#include "console/uFrm_Master.h"

#include "console/uMod_Master.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

TfrmMaster* frmMaster = nullptr;

namespace {

// A vertical track bar whose minimum is at the top. With a band the groove is
// filled from the knob down, so a master shows its level as a bar.
class TMasterTrackBar : public QSlider {
public:
    TMasterTrackBar(const QString& name, int maximum, bool band) : QSlider(Qt::Vertical), FBand(band)
    {
        setObjectName(name);
        setRange(0, maximum);
        // Position 0 at the top; keys and wheel move the knob the way they point.
        setInvertedAppearance(true);
        setInvertedControls(true);
        setPageStep(maximum / 10);
        setMinimumHeight(120);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!FBand) {
            QSlider::paintEvent(event);
            return;
        }
        // Drawn as the mirror image of a bar whose minimum is at the bottom: the
        // knob stays where it is, and styles that fill the groove from the
        // minimum to the knob fill it from the knob down.
        QPainter painter(this);
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
        opt.upsideDown = !opt.upsideDown;
        opt.sliderPosition = opt.minimum + opt.maximum - opt.sliderPosition;
        opt.sliderValue = opt.minimum + opt.maximum - opt.sliderValue;
        style()->drawComplexControl(QStyle::CC_Slider, &opt, &painter, this);
    }

private:
    bool FBand;
};

QPushButton* MakeTransportButton(const QString& name, QStyle::StandardPixmap icon, const QString& tip)
{
    auto* b = Named<QPushButton>(name);
    b->setIcon(b->style()->standardIcon(icon));
    b->setToolTip(tip);
    return b;
}


} // namespace

TfrmMaster::TfrmMaster(TModuleMaster& module, QWidget* parent) : QWidget(parent), FModule(&module)
{
    setObjectName(QStringLiteral("frmMaster"));
    frmMaster = this;

    auto* main = new QHBoxLayout(this);
    main->setContentsMargins(2, 2, 2, 2);

    // Console master, Black-Out and the mode.
    gbPultmaster = new QGroupBox(QStringLiteral("Pultmaster"));
    gbPultmaster->setObjectName(QStringLiteral("gbPultmaster"));
    tbPultMaster = new TMasterTrackBar(QStringLiteral("tbPultMaster"), 255, true);
    btnBlackout = Named<QPushButton>(QStringLiteral("btnBlackout"), QStringLiteral("Black-Out"));
    rbPult = new QRadioButton(QStringLiteral("Pult"));
    rbPult->setObjectName(QStringLiteral("rbPult"));
    rbPult->setChecked(true);
    rbAblauf = new QRadioButton(QStringLiteral("Ablauf"));
    rbAblauf->setObjectName(QStringLiteral("rbAblauf"));
    {
        auto* row = new QHBoxLayout(gbPultmaster);
        row->addWidget(tbPultMaster);
        auto* col = new QVBoxLayout;
        col->addWidget(btnBlackout);
        col->addWidget(rbPult);
        col->addWidget(rbAblauf);
        col->addStretch(1);
        row->addLayout(col);
    }
    main->addWidget(gbPultmaster);

    // Grand master, fade speed and the transport buttons; the group can be lent out.
    pnlGrandmaster = new QWidget;
    pnlGrandmaster->setObjectName(QStringLiteral("pnlGrandmaster"));
    (new QVBoxLayout(pnlGrandmaster))->setContentsMargins(0, 0, 0, 0);
    gbGrandmaster = new QGroupBox(QStringLiteral("Grandmaster"));
    gbGrandmaster->setObjectName(QStringLiteral("gbGrandmaster"));
    tbGrandmaster = new TMasterTrackBar(QStringLiteral("tbGrandmaster"), 255, true);
    tbFadeFaktor = new TMasterTrackBar(QStringLiteral("tbFadeFaktor"), TModuleMaster::MaxSpeedPosition, false);
    lblFadeFaktor = Named<QLabel>(QStringLiteral("lblFadeFaktor"), QStringLiteral("1"));
    lblFadeRestzeit = Named<QLabel>(QStringLiteral("lblFadeRestzeit"), QStringLiteral("0 s"));
    cbEins = new QCheckBox(QStringLiteral("1"));
    cbEins->setObjectName(QStringLiteral("cbEins"));
    btnPause = MakeTransportButton(QStringLiteral("btnPause"), QStyle::SP_MediaPause, QStringLiteral("Pause"));
    btnPlay = MakeTransportButton(QStringLiteral("btnPlay"), QStyle::SP_MediaPlay, QStringLiteral("Play"));
    btnRev = MakeTransportButton(QStringLiteral("btnRev"), QStyle::SP_MediaSeekBackward, QStringLiteral("Rückwärts"));
    btnEins = Named<QPushButton>(QStringLiteral("btnEins"), QStringLiteral("1"));
    {
        auto* row = new QHBoxLayout(gbGrandmaster);
        row->addWidget(tbGrandmaster);
        row->addWidget(tbFadeFaktor);
        auto* col = new QVBoxLayout;
        col->addWidget(lblFadeFaktor);
        col->addWidget(lblFadeRestzeit);
        col->addWidget(cbEins);
        col->addWidget(btnPause);
        col->addWidget(btnPlay);
        col->addWidget(btnRev);
        col->addWidget(btnEins);
        col->addStretch(1);
        row->addLayout(col);
    }
    pnlGrandmaster->layout()->addWidget(gbGrandmaster);
    main->addWidget(pnlGrandmaster);

    // Chase speed.
    gbChaserspeed = new QGroupBox(QStringLiteral("Chaserspeed"));
    gbChaserspeed->setObjectName(QStringLiteral("gbChaserspeed"));
    tbChaseFaktor = new TMasterTrackBar(QStringLiteral("tbChaseFaktor"), TModuleMaster::MaxSpeedPosition, false);
    lblChaseFaktor = Named<QLabel>(QStringLiteral("lblChaseFaktor"), QStringLiteral("1"));
    {
        auto* row = new QHBoxLayout(gbChaserspeed);
        row->addWidget(tbChaseFaktor);
        auto* col = new QVBoxLayout;
        col->addWidget(lblChaseFaktor);
        col->addStretch(1);
        row->addLayout(col);
    }
    main->addWidget(gbChaserspeed);
    main->addStretch(1);

    connect(tbPultMaster, &QSlider::valueChanged, this, &TfrmMaster::tbPultMasterChange);
    connect(tbGrandmaster, &QSlider::valueChanged, this, &TfrmMaster::tbGrandmasterChange);
    connect(tbFadeFaktor, &QSlider::valueChanged, this, &TfrmMaster::tbFadeFaktorChange);
    connect(tbChaseFaktor, &QSlider::valueChanged, this, &TfrmMaster::tbChaseFaktorChange);
    connect(btnBlackout, &QPushButton::clicked, this, &TfrmMaster::btnBlackoutClick);
    connect(rbPult, &QRadioButton::clicked, this, &TfrmMaster::rbPultClick);
    connect(rbAblauf, &QRadioButton::clicked, this, &TfrmMaster::rbPultClick);
    for (QPushButton* b : {btnPause, btnPlay, btnRev, btnEins})
        connect(b, &QPushButton::clicked, this, [this, b] { btnPauseClick(b); });
    connect(cbEins, &QCheckBox::toggled, this, &TfrmMaster::cbEinsClick);

    connect(&module.Signals, &TMasterSignals::changed, this, &TfrmMaster::Refresh);
    connect(&module.Signals, &QObject::destroyed, this, [this] { FModule = nullptr; });
    Refresh();
}

TfrmMaster::~TfrmMaster()
{
    // A grand-master group lent to another page goes with the panel.
    if (gbGrandmaster && !isAncestorOf(gbGrandmaster))
        delete gbGrandmaster;
    if (frmMaster == this)
        frmMaster = nullptr;
}

void TfrmMaster::DockGrandmasterPanel(QWidget* parent)
{
    DockInto(gbGrandmaster, parent);
}

void TfrmMaster::DockMasterPanel(QWidget* parent)
{
    DockInto(this, parent);
}

void TfrmMaster::Refresh()
{
    if (!FModule)
        return;
    const TModuleMaster& m = *FModule;
    {
        const QSignalBlocker b1(tbPultMaster), b2(rbPult), b3(rbAblauf);
        tbPultMaster->setValue(m.PultmasterPosition());
        tbPultMaster->setVisible(!m.Ablauf);
        rbAblauf->setChecked(m.Ablauf);
        rbPult->setChecked(!m.Ablauf);
    }
    if (gbGrandmaster) {
        const QSignalBlocker b1(tbGrandmaster), b2(tbFadeFaktor), b3(cbEins);
        tbGrandmaster->setValue(m.GrandmasterPosition());
        tbFadeFaktor->setValue(m.FadePosition);
        cbEins->setChecked(m.Eins);
        lblFadeFaktor->setText(m.FadeFaktorText);
        lblFadeRestzeit->setText(m.RestzeitText);
        btnPause->setEnabled(m.PauseEnabled());
        btnPlay->setEnabled(m.PlayEnabled());
        btnRev->setEnabled(m.RevEnabled());
        btnEins->setEnabled(m.EinsEnabled());
    }
    {
        const QSignalBlocker b(tbChaseFaktor);
        tbChaseFaktor->setValue(m.ChasePosition);
        lblChaseFaktor->setText(m.ChaseFaktorText);
    }
}

template <typename F>
void TfrmMaster::Handle(F&& action)
{
    if (!FModule)
        return;
    Guarded([&] { action(*FModule); });
    // The module may have refused the change; show what it holds.
    Refresh();
}

void TfrmMaster::tbPultMasterChange(int position)
{
    Handle([position](TModuleMaster& m) { m.SetPultmaster(255 - position); });
    tbPultMaster->update();   // the band follows the knob
}

void TfrmMaster::tbGrandmasterChange(int position)
{
    Handle([position](TModuleMaster& m) { m.SetGrandmaster(255 - position); });
    tbGrandmaster->update();
}

void TfrmMaster::tbFadeFaktorChange(int position)
{
    Handle([position](TModuleMaster& m) { m.SetFadeFaktor(position); });
}

void TfrmMaster::tbChaseFaktorChange(int position)
{
    Handle([position](TModuleMaster& m) { m.SetChaseFaktor(position); });
}

void TfrmMaster::btnBlackoutClick()
{
    Handle([](TModuleMaster& m) { m.BlackOut(); });
}

void TfrmMaster::rbPultClick()
{
    const bool ablauf = rbAblauf->isChecked();
    Handle([ablauf](TModuleMaster& m) { m.SetAblauf(ablauf); });
}

void TfrmMaster::btnPauseClick(QPushButton* sender)
{
    Handle([this, sender](TModuleMaster& m) {
        if (sender == btnPause)
            m.SetMasterState(msPause);
        else if (sender == btnPlay)
            m.SetMasterState(msWeiter);
        else if (sender == btnRev)
            m.SetMasterState(msRueckwaerts);
        else if (sender == btnEins)
            m.EinsClick();
    });
}

void TfrmMaster::cbEinsClick(bool checked)
{
    Handle([checked](TModuleMaster& m) { m.SetEins(checked); });
}
