#pragma once
// The USB input/relay box behind the page "PLX-Interface": 8 digital inputs,
// each with a command script run on press and on release, and 16 relay
// outputs switched by the page's check boxes or the I command.
//
// The box is the last listed HID device whose text begins with ProductString.
// Its input reports (byte 0 after the report ID: the inputs, active low) act
// only when two reports in a row carry the same input byte. Every change of an
// output writes one output report: bytes 0 and 1 zero, byte 2 outputs 1..8,
// byte 3 outputs 9..16 (bit 0 the lowest), the rest zero.
//
// Everything runs on the GUI thread; the page follows through the signals.

#include "devices/HidControllerClass.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class TStringIniFile;

class TPlxBox : public QObject {
    Q_OBJECT
public:
    static constexpr int InputCount = 8;
    static constexpr int OutputCount = 16;
    static const QString ProductString;   // "PALVENTO ORLISK 200"

    explicit TPlxBox(std::unique_ptr<THidBackend> backend, QObject* parent = nullptr);
    ~TPlxBox() override;

    THidDeviceController& HidCtl() { return *FHidCtl; }

    // Scripts: the memo lines of input i (0..7).
    QStringList Script(int i) const { return FScripts.at(std::size_t(i)); }
    void SetScript(int i, const QStringList& lines);
    // Runs the press lines (press) or the release lines ('U' first, without it).
    void RunInputScript(int i, bool press);
    bool InputState(int i) const { return FInputStates.at(std::size_t(i)); }
    // Where script lines go; none: the main module's command lines.
    std::function<void(const QStringList&)> RunLines;

    // One input report of the open box.
    void HidDeviceData(std::uint8_t reportID, const std::uint8_t* data, std::uint16_t size);
    bool Debug = false;   // one debug line per input report

    // Output k (0..15); a change writes an output report.
    bool Output(int k) const { return FOutputs.at(std::size_t(k)); }
    void SetOutput(int k, bool on);
    void SendOutputReport();
    // Bytes of the last output report written (0 when the write failed); -1 before the first.
    int LastWritten() const { return FLastWritten; }

    // "I" n followed by sub-tokens S v / W v: output n on when the low byte of v is not 0.
    void ExecuteInterfaceCommand(const QStringList& tokens);

    // Re-lists the devices and opens the box when one is present.
    void HidCtlDeviceChange();
    QStringList DeviceTexts() const { return FDeviceTexts; }
    int OpenIndex() const { return FOpenIndex; }
    bool HasOpenBox() const { return FOpenBox != nullptr; }
    void CloseBox();
    static QString DeviceDisplayText(const THidDevice& device);

    // Keys "BI0".."BI7" of section "Interface".
    void LoadInputScripts(const TStringIniFile& ini);
    void SaveInputScripts(QStringList& lines) const;
    static bool IsScriptKey(const QString& key);
    // Empties the scripts, then switches the outputs off in order 1..16.
    void ClearInputsAndOutputs();

signals:
    void scriptsChanged();
    void inputChanged(int i, bool pressed);
    void outputChanged(int k, bool on);
    void reportWritten(int bytes);
    void debugLine(const QString& line);
    void devicesChanged();

private:
    void SelectBox(int index);
    void OpenBox(int index);
    void ReleaseDevices();

    std::unique_ptr<THidDeviceController> FHidCtl;
    std::array<QStringList, InputCount> FScripts;
    std::array<bool, InputCount> FInputStates{};
    std::array<bool, OutputCount> FOutputs{};
    std::uint8_t FPreviousInput = 0;
    int FLastWritten = -1;
    std::vector<std::shared_ptr<THidDevice>> FListed;
    QStringList FDeviceTexts;
    std::shared_ptr<THidDevice> FOpenBox;
    int FOpenIndex = -1;
};
