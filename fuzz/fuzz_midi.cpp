// MIDI input from outside: the first line's bytes arrive from a device on the
// loopback backend (learning and recalling scenes on the main module), the
// rest is read as the show's "MIDI" section, which written out, read again and
// written out once more must come out the same.

#include "FuzzEngine.h"

#include "devices/uMidiUtils.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "platform/Midi.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    FuzzMainModule();
    const QByteArray bytes = FuzzBytes(data, size);
    const qsizetype cut = bytes.indexOf('\n');
    const QByteArray device = cut < 0 ? bytes : bytes.left(cut);
    const QByteArray section = cut < 0 ? QByteArray() : bytes.mid(cut + 1);

    auto backend = std::make_unique<TLoopbackMidiBackend>();
    TLoopbackMidiBackend& loop = *backend;
    TMidiMapping midi(std::move(backend));
    midi.Anlegen = midi.Steuern = true;
    midi.SetAktiv(true);
    for (qsizetype i = 0; i + 2 < device.size() && i < 96; i += 3)
        loop.Receive(0, {std::uint8_t(device[i]), std::uint8_t(device[i + 1]), std::uint8_t(device[i + 2])});

    TStringIniFile ini;
    ini.SetText(DecodeText(section));
    midi.LoadMidiMappings(ini);
    QStringList once;
    midi.SaveMidiMappings(once);
    TStringIniFile again;
    again.SetStrings(once);
    midi.LoadMidiMappings(again);
    QStringList twice;
    midi.SaveMidiMappings(twice);
    if (once != twice)
        std::abort();
    return 0;
}
