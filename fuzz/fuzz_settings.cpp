// The settings store's parser (also the reader of show, patch and icon texts):
// the text is loaded, read back through every lookup and written out again.

#include "FuzzEngine.h"

#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    TStringIniFile ini;
    ini.SetText(DecodeText(FuzzBytes(data, size)));

    QStringList sections;
    ini.ReadSections(sections);
    for (const QString& section : sections) {
        if (!ini.SectionExists(section))
            std::abort();
        QStringList keys, values;
        ini.ReadSection(section, keys);
        ini.ReadSectionValues(section, values);
        for (const QString& key : keys) {
            ini.ReadString(section, key, QString());
            ini.ReadInteger(section, key, 0);
            ini.ReadBoolJN(section, key, false);
        }
    }

    // Written out and read again, the store keeps its sections.
    QStringList lines;
    ini.GetStrings(lines);
    TStringIniFile again;
    again.SetStrings(lines);
    QStringList sectionsAgain;
    again.ReadSections(sectionsAgain);
    if (sectionsAgain.size() != sections.size())
        std::abort();

    if (!sections.isEmpty()) {
        ini.WriteString(sections.first(), QStringLiteral("Fuzz"), QStringLiteral("1"));
        ini.DeleteKey(sections.first(), QStringLiteral("Fuzz"));
        ini.EraseSection(sections.last());
    }
    return 0;
}
