// The channel templates file "Vorlagen.ini" in the program's Data folder, read as
// the template editor reads it at start-up, then written and read back.

#include "FuzzEngine.h"

#include "console/uKanalvorlage.h"
#include "framework/uStringIniFile.h"

#include <cstdlib>

namespace {
constexpr int RoundTripTemplates = 16;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    const QString path = FuzzWriteFile(QStringLiteral("Vorlagen.ini"), FuzzBytes(data, size));
    TKanalvorlagen v;
    v.LoadFromFile(path);
    if (v.Count() > TKanalvorlagen::MaxVorlagen)
        std::abort();
    for (int t = 0; t < v.Count(); ++t)
        if (v.Vorlage(t)->Kanalzahl() > TKanalvorlage::MaxKanaele)
            std::abort();

    // What was read is written and read back unchanged. The first templates are
    // enough for that: the rest are written the same way, and a count of 1000
    // empty templates would make the round trip most of the run.
    while (v.Count() > RoundTripTemplates)
        v.Delete(v.Count() - 1);
    const QStringList lines = v.SaveToLines();
    TStringIniFile ini;
    ini.SetStrings(lines);
    TKanalvorlagen again;
    again.LoadFromIni(ini);
    if (again.SaveToLines() != lines)
        std::abort();
    return 0;
}
