// Input reports of the input/relay box: the first line is the scripts of the
// eight inputs (one "BI" value each, separated by '|'), the rest a run of
// reports, each a length byte (0..8) and that many data bytes. The scripts run
// through the main module's command lines. After two equal reports the input
// states must be exactly the pressed bits of the report.

#include "FuzzEngine.h"

#include "core/uMod_Main.h"
#include "core/uStringIniFile.h"
#include "core/uTextCodec.h"
#include "devices/uPlxBox.h"

#include <cstdlib>

namespace {

TPlxBox& Box()
{
    FuzzMainModule();
    static TPlxBox* box = new TPlxBox(std::make_unique<TFakeHidBackend>());
    return *box;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    TPlxBox& box = Box();
    const QByteArray bytes = FuzzBytes(data, size);
    const qsizetype cut = bytes.indexOf('\n');
    const QString scripts = DecodeText(cut < 0 ? bytes : bytes.left(cut));
    const QByteArray reports = cut < 0 ? QByteArray() : bytes.mid(cut + 1);

    // Start from nothing pressed, with empty scripts.
    box.ClearInputsAndOutputs();
    const std::uint8_t idle[1] = {0xFF};
    box.HidDeviceData(0, idle, 1);
    box.HidDeviceData(0, idle, 1);

    QStringList lines{QStringLiteral("[Interface]")};
    const QStringList values = scripts.split(u'|');
    for (int i = 0; i < TPlxBox::InputCount && i < values.size(); ++i)
        lines << QStringLiteral("BI%1=").arg(i) + values.at(i);
    TStringIniFile ini;
    ini.SetStrings(lines);
    box.LoadInputScripts(ini);

    int previous = -1;
    for (qsizetype p = 0; p < reports.size() && p < 64 * 9;) {
        const int n = std::uint8_t(reports.at(p)) % 9;
        const QByteArray report = reports.mid(p + 1, n);
        p += 1 + n;
        box.HidDeviceData(0, reinterpret_cast<const std::uint8_t*>(report.constData()), std::uint16_t(report.size()));
        if (report.isEmpty())
            continue;
        const int value = std::uint8_t(~std::uint8_t(report.at(0)));
        if (value == previous)
            for (int i = 0; i < TPlxBox::InputCount; ++i)
                if (box.InputState(i) != bool((value >> i) & 1))
                    std::abort();
        previous = value;
    }
    return 0;
}
