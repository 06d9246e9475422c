// Input reports of the input/relay box: the first line is the scripts of the
// eight inputs (one "BI" value each, separated by '|'), the rest a run of
// reports, each a length byte (0..8) and that many data bytes. What the
// scripts hand on is recorded (the command lines themselves have fuzz_command):
// a press hands on only lines that are not release lines, a release only the
// release lines without their 'U', and after two equal reports the input
// states are exactly the pressed bits of the report.

#include "FuzzEngine.h"

#include "devices/uPlxBox.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <cstdlib>

namespace {

QList<QStringList> Ran;

TPlxBox& Box()
{
    FuzzMainModule();   // the application object
    static TPlxBox* box = [] {
        auto* b = new TPlxBox(std::make_unique<TFakeHidBackend>());
        b->RunLines = [](const QStringList& lines) { Ran << lines; };
        return b;
    }();
    return *box;
}

// The lines a press (or a release) of a script hands on.
QStringList Expected(const QStringList& script, bool press)
{
    QStringList out;
    for (const QString& line : script) {
        if (line.isEmpty())
            continue;
        const bool release = line.at(0) == u'U' || line.at(0) == u'u';
        if (press != release)
            out << (press ? line : line.mid(1));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset(false);
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

    int previous = 0;
    for (qsizetype p = 0; p < reports.size() && p < 64 * 9;) {
        const int n = std::uint8_t(reports.at(p)) % 9;
        const QByteArray report = reports.mid(p + 1, n);
        p += 1 + n;
        bool before[TPlxBox::InputCount];
        for (int i = 0; i < TPlxBox::InputCount; ++i)
            before[i] = box.InputState(i);
        Ran.clear();
        box.HidDeviceData(0, reinterpret_cast<const std::uint8_t*>(report.constData()), std::uint16_t(report.size()));
        if (report.isEmpty()) {
            if (!Ran.isEmpty())
                std::abort();
            continue;
        }
        const int value = std::uint8_t(~std::uint8_t(report.at(0)));
        // Each input that changed ran its script once, in input order.
        qsizetype k = 0;
        for (int i = 0; i < TPlxBox::InputCount; ++i) {
            const bool now = box.InputState(i);
            if (value == previous ? now != bool((value >> i) & 1) : now != before[i])
                std::abort();
            if (now != before[i] && (k >= Ran.size() || Ran.at(k++) != Expected(box.Script(i), now)))
                std::abort();
        }
        if (k != Ran.size())
            std::abort();
        previous = value;
    }
    Ran.clear();
    return 0;
}
