// The LED colour templates file "ChaserLedVorlagen.ini" (in the Data folder), read
// when the chaser editor is created; and the same bytes as the LED definitions text
// of a chaser, clicked and matched against the templates read.

#include "FuzzEngine.h"

#include "console/uMod_Lichtpult.h"
#include "cues/uChaser.h"
#include "framework/uMod_Main.h"

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
    list.LoadFromFile(FuzzWriteFile(QStringLiteral("ChaserLedVorlagen.ini"), bytes));
    if (list.Count() > TLedVorlagen::MaxCount)
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
