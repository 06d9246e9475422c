#include "devices/uPlxBox.h"

#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <QTime>

#include <algorithm>

const QString TPlxBox::ProductString = QStringLiteral("PALVENTO ORLISK 200");

namespace {
const QString SectionInterface = QStringLiteral("Interface");
constexpr std::size_t ReportBufferSize = 65;   // report ID and 64 bytes
} // namespace

TPlxBox::TPlxBox(std::unique_ptr<THidBackend> backend, QObject* parent)
    : QObject(parent), FHidCtl(std::make_unique<THidDeviceController>(std::move(backend)))
{
    FHidCtl->OnDeviceChange = [this](THidDeviceController&) { HidCtlDeviceChange(); };
}

TPlxBox::~TPlxBox()
{
    // The devices go back before the controller goes.
    CloseBox();
    ReleaseDevices();
    FHidCtl->OnDeviceChange = nullptr;
}

void TPlxBox::SetScript(int i, const QStringList& lines)
{
    if (InRangeInt(i, 0, InputCount - 1))
        FScripts[std::size_t(i)] = lines;
}

void TPlxBox::RunInputScript(int i, bool press)
{
    if (!InRangeInt(i, 0, InputCount - 1))
        return;
    QStringList run;
    for (const QString& line : FScripts[std::size_t(i)]) {
        if (line.isEmpty())
            continue;
        const bool release = line.at(0) == u'U' || line.at(0) == u'u';
        if (press && !release)
            run << line;
        else if (!press && release)
            run << line.mid(1);
    }
    if (RunLines)
        RunLines(run);
    else if (ModuleMain)
        ModuleMain->ExecuteLines(run, false);
}

void TPlxBox::HidDeviceData(std::uint8_t reportID, const std::uint8_t* data, std::uint16_t size)
{
    (void)reportID;
    if (AppClosing || size < 1)
        return;
    const std::uint8_t value = std::uint8_t(~data[0]);
    if (Debug)
        emit debugLine(QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz")) + QStringLiteral("    ") +
                       QString::number(value) + QStringLiteral("   ") + QString::number(FPreviousInput));
    // Only a value seen twice in a row acts.
    const bool stable = value == FPreviousInput;
    FPreviousInput = value;
    if (!stable)
        return;
    for (int i = 0; i < InputCount; ++i) {
        const bool pressed = (value >> i) & 1;
        if (pressed == FInputStates[std::size_t(i)])
            continue;
        FInputStates[std::size_t(i)] = pressed;
        emit inputChanged(i, pressed);
        // A faulty script is logged; the other inputs and the next reports go on.
        Guarded([&] { RunInputScript(i, pressed); });
    }
}

void TPlxBox::SetOutput(int k, bool on)
{
    if (!InRangeInt(k, 0, OutputCount - 1) || FOutputs[std::size_t(k)] == on)
        return;
    FOutputs[std::size_t(k)] = on;
    emit outputChanged(k, on);
    SendOutputReport();
}

void TPlxBox::SendOutputReport()
{
    if (!FOpenBox)
        return;
    unsigned mask = 0;
    for (int k = 0; k < OutputCount; ++k)
        if (FOutputs[std::size_t(k)])
            mask |= 1u << k;
    // A device with a longer output report gets zeros after byte 3.
    const std::size_t length = std::size_t(FOpenBox->Caps().OutputReportByteLength);
    std::vector<std::uint8_t> report(std::max(ReportBufferSize, length), 0);
    report[2] = std::uint8_t(mask & 0xFF);
    report[3] = std::uint8_t(mask >> 8);
    std::size_t written = 0;
    if (length == 0 || !FOpenBox->WriteReport(report.data(), length, written))
        written = 0;
    FLastWritten = int(written);
    emit reportWritten(FLastWritten);
}

void TPlxBox::ExecuteInterfaceCommand(const QStringList& tokens)
{
    const int n = GetTokenInt(tokens, 0);
    if (!InRangeInt(n, 1, OutputCount))
        return;
    ForEachSubToken(tokens, [&](char16_t letter, int v) {
        if (letter == u'S' || letter == u'W')
            SetOutput(n - 1, (v & 0xFF) != 0);
    });
}

QString TPlxBox::DeviceDisplayText(const THidDevice& device)
{
    QString text = device.ProductString();
    if (text.isEmpty())
        text = QString::asprintf("Device VID=%04X PID=%04X", device.Attributes().VendorID, device.Attributes().ProductID);
    if (!device.SerialNumberString().isEmpty())
        text += QStringLiteral(" (Serial=") + device.SerialNumberString() + u')';
    return text;
}

void TPlxBox::ReleaseDevices()
{
    FOpenBox.reset();
    FOpenIndex = -1;
    for (std::shared_ptr<THidDevice>& device : FListed)
        FHidCtl->CheckIn(device);
    FListed.clear();
    FDeviceTexts.clear();
}

void TPlxBox::HidCtlDeviceChange()
{
    CloseBox();
    ReleaseDevices();
    int chosen = -1;
    std::shared_ptr<THidDevice> device;
    while (FHidCtl->CheckOutNext(device)) {
        const QString text = DeviceDisplayText(*device);
        FListed.push_back(device);
        FDeviceTexts << text;
        if (text.left(ProductString.size()).toUpper() == ProductString)
            chosen = int(FListed.size()) - 1;
    }
    SelectBox(chosen);
    emit devicesChanged();
}

void TPlxBox::SelectBox(int index)
{
    if (index < 0 || index >= int(FListed.size()))
        CloseBox();
    else
        OpenBox(index);
}

void TPlxBox::OpenBox(int index)
{
    CloseBox();
    FOpenBox = FListed[std::size_t(index)];
    FOpenIndex = index;
    FOpenBox->SetInputBufferCount(64);
    FOpenBox->SetOverlappedBufferCount(64);
    FOpenBox->SetReportHandler([this](THidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        HidDeviceData(id, data, size);
    });
}

void TPlxBox::CloseBox()
{
    if (FOpenBox)
        FOpenBox->SetReportHandler(nullptr);
    FOpenBox.reset();
    FOpenIndex = -1;
}

bool TPlxBox::IsScriptKey(const QString& key)
{
    const QString k = key.trimmed();
    return k.size() == 3 && k.startsWith(QStringLiteral("BI"), Qt::CaseInsensitive) && k.at(2) >= u'0' && k.at(2) <= u'7';
}

void TPlxBox::LoadInputScripts(const TStringIniFile& ini)
{
    for (int i = 0; i < InputCount; ++i)
        FScripts[std::size_t(i)] =
            SplitDelimited(ini.ReadString(SectionInterface, QStringLiteral("BI") + QString::number(i), QString()), u';');
    emit scriptsChanged();
}

void TPlxBox::SaveInputScripts(QStringList& lines) const
{
    for (int i = 0; i < InputCount; ++i)
        lines << QStringLiteral("BI") + QString::number(i) + u'=' + JoinDelimited(FScripts[std::size_t(i)], u';');
}

void TPlxBox::ClearInputsAndOutputs()
{
    for (QStringList& script : FScripts)
        script.clear();
    emit scriptsChanged();
    for (int k = 0; k < OutputCount; ++k)
        SetOutput(k, false);
}
