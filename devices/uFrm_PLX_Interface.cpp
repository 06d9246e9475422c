#include "devices/uFrm_PLX_Interface.h"

#include "devices/uPlxBox.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TFrmPLX_Interface* FrmPLX_Interface = nullptr;

void TInputButton::mousePressEvent(QMouseEvent* event)
{
    QToolButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit inputDown();
}

void TInputButton::mouseReleaseEvent(QMouseEvent* event)
{
    QToolButton::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit inputUp();
}

namespace {

// The double click on the debug log copies it to the clipboard.
class TDebugMemo : public TPlainTextEdit {
public:
    using TPlainTextEdit::TPlainTextEdit;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        QPlainTextEdit::mouseDoubleClickEvent(event);
        QGuiApplication::clipboard()->setText(toPlainText());
    }
};

QLabel* Heading(const QString& text, QWidget* parent, int x, int y)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
    label->move(x, y);
    return label;
}

// The memo's lines: a text ending in a line break has no empty last line.
QStringList MemoLines(const QPlainTextEdit* memo)
{
    QStringList lines = memo->toPlainText().split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

TFrmPLX_Interface::TFrmPLX_Interface(TPlxBox& box, QWidget* parent) : QWidget(parent), FBox(&box)
{
    setObjectName(QStringLiteral("FrmPLX_Interface"));
    FrmPLX_Interface = this;
    pnlMain = Named<QWidget>(QStringLiteral("pnlMain"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pnlMain);

    Heading(QStringLiteral("Ausgänge"), pnlMain, 16, 12)->setObjectName(QStringLiteral("Label1"));
    Heading(QStringLiteral("Eingänge"), pnlMain, 16, 88)->setObjectName(QStringLiteral("Label2"));
    Heading(QStringLiteral("HID-Devices"), pnlMain, 564, 16)->setObjectName(QStringLiteral("Label3"));
    Label4 = Named<QLabel>(QStringLiteral("Label4"), QStringLiteral("Label4"), pnlMain);
    Label4->move(120, 12);
    DevListBox = Named<QListWidget>(QStringLiteral("DevListBox"), pnlMain);
    DevListBox->setGeometry(564, 32, 209, 57);
    memDebug = new TDebugMemo(QStringLiteral("memDebug"), pnlMain);
    memDebug->setObjectName(QStringLiteral("memDebug"));
    memDebug->setGeometry(428, 32, 121, 61);
    cbDebug = Named<QCheckBox>(QStringLiteral("cbDebug"), QStringLiteral("cbDebug"), pnlMain);
    cbDebug->move(428, 12);

    for (int k = 0; k < TPlxBox::OutputCount; ++k) {
        auto* cb = Named<QCheckBox>(QStringLiteral("cbOutput%1").arg(k + 1), QString::number(k + 1), pnlMain);
        cb->move((k % 8) * 40 + 16 + ((k % 8) / 4) * 16, (k / 8) * 20 + 32);
        cb->setChecked(box.Output(k));
        // toggled: a click, and nothing when the state stays.
        connect(cb, &QCheckBox::toggled, this, [this, k](bool on) {
            if (FBox)
                FBox->SetOutput(k, on);
        });
        Outputs[std::size_t(k)] = cb;
    }
    for (int i = 0; i < TPlxBox::InputCount; ++i) {
        auto* button = Named<TInputButton>(QStringLiteral("btnInput%1").arg(i + 1), pnlMain);
        button->setText(QStringLiteral("Eingang ") + QString::number(i + 1));
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry((i % 4) * 190 + 16, (i / 4) * 150 + 120, 100, 28);
        connect(button, &TInputButton::inputDown, this, [this, i] {
            if (FBox)
                Guarded([&] { FBox->RunInputScript(i, true); });
        });
        connect(button, &TInputButton::inputUp, this, [this, i] {
            if (FBox)
                Guarded([&] { FBox->RunInputScript(i, false); });
        });
        Inputs[std::size_t(i)] = button;
        auto* memo = Named<TPlainTextEdit>(QStringLiteral("memInput%1").arg(i + 1), pnlMain);
        memo->SetMaxLength(MaxCommandLineLength);
        memo->move((i % 4) * 190 + 16, (i / 4) * 150 + 152);
        memo->resize(185, 89);
        connect(memo, &QPlainTextEdit::textChanged, this, [this, i, memo] {
            if (FBox && !FShowingScripts)
                FBox->SetScript(i, MemoLines(memo));
        });
        Scripts[std::size_t(i)] = memo;
    }
    pnlMain->setMinimumSize(780, 420);

    connect(cbDebug, &QCheckBox::toggled, this, [this](bool on) {
        if (FBox)
            FBox->Debug = on;
    });
    connect(&box, &TPlxBox::debugLine, memDebug, &QPlainTextEdit::appendPlainText);
    connect(&box, &TPlxBox::reportWritten, this, [this](int bytes) { Label4->setText(QString::number(bytes)); });
    connect(&box, &TPlxBox::outputChanged, this, [this](int k, bool on) {
        QCheckBox* cb = Outputs[std::size_t(k)];
        const QSignalBlocker blocker(cb);
        cb->setChecked(on);
    });
    connect(&box, &TPlxBox::inputChanged, this, [this](int i, bool pressed) {
        QFont f = Inputs[std::size_t(i)]->font();
        f.setBold(pressed);
        Inputs[std::size_t(i)]->setFont(f);
    });
    connect(&box, &TPlxBox::scriptsChanged, this, &TFrmPLX_Interface::ShowScripts);
    connect(&box, &TPlxBox::devicesChanged, this, &TFrmPLX_Interface::ShowDevices);
    box.Debug = cbDebug->isChecked();
    ShowScripts();
    ShowDevices();
}

TFrmPLX_Interface::~TFrmPLX_Interface()
{
    if (FrmPLX_Interface == this)
        FrmPLX_Interface = nullptr;
}

void TFrmPLX_Interface::ShowScripts()
{
    if (!FBox)
        return;
    FShowingScripts = true;
    for (int i = 0; i < TPlxBox::InputCount; ++i)
        Scripts[std::size_t(i)]->setPlainText(FBox->Script(i).join(u'\n'));
    FShowingScripts = false;
}

void TFrmPLX_Interface::ShowDevices()
{
    if (!FBox)
        return;
    DevListBox->clear();
    DevListBox->addItems(FBox->DeviceTexts());
    DevListBox->setCurrentRow(FBox->OpenIndex());
}
