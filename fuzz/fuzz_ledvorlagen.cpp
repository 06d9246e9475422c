// The LED colour templates file "ChaserLedVorlagen.ini" (in the Data folder), read
// when the chaser editor is created; and the same bytes as the LED definitions text
// of a chaser, clicked and matched against the templates read.

#include "FuzzEngine.h"

#include "console/uMod_Lichtpult.h"
#include "cues/uChaser.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <cstdlib>

namespace {
constexpr int RoundTripTemplates = 2;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    FuzzMainModule();
    const QByteArray bytes = FuzzBytes(data, size);
    TLedVorlagen list;
    const QString path = FuzzWriteFile(QStringLiteral("ChaserLedVorlagen.ini"), bytes);
    list.LoadFromFile(path);
    // Every template with a section of its own is read; of those without one (a
    // count beyond the sections) at most MaxCount.
    QString text;
    ReadTextFile(path, text);
    TStringIniFile ini;
    ini.SetText(text);
    int withoutSection = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (!ini.SectionExists(QStringLiteral("Vorlage") + QString::number(i)))
            ++withoutSection;
    if (withoutSection > TLedVorlagen::MaxCount)
        std::abort();
    // What is written reads back as itself. The first templates are enough for
    // that: the rest are written the same way, and 200 templates of 74 lines each
    // would make the round trip most of the run.
    if (list.Count() > RoundTripTemplates)
        list.Items.resize(RoundTripTemplates);
    const QStringList lines = list.ToLines();
    TLedVorlagen again;
    again.LoadFromFile(FuzzWriteFile(QStringLiteral("again.ini"), lines.join(QStringLiteral("\r\n")).toUtf8()));
    if (again.ToLines() != lines)
        std::abort();

    // One editor for the run (its grid is 20,000 cells): loading chaser 1 of the
    // new show rewrites every cell and LED column the calls below can reach.
    static TChaserEditor& editor = *new TChaserEditor(*ModuleLichtpult);
    editor.LoadChaser(1);
    editor.SetLedDefs(QString::fromUtf8(bytes.left(4000)));
    if (const TLedVorlage* v = list.Get(0)) {
        for (int led = 1; led < editor.LedColumnCount() && led <= 8; ++led)
            editor.ApplyTemplateRow(led, 1, *v, led);
        editor.RebuildLedGrid(v);
    }
    return 0;
}
