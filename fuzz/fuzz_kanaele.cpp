// The channel list's import ("Kanäle importieren"): a text from a file or the
// clipboard read into the channels "von" to "bis". The first channels imported
// are exported, and importing that export into them changes nothing more.
// First four bytes: "von" and "bis" (1..510, as the dialog's spin boxes allow);
// bit 0 of the fifth: the text read as a file (1) or taken as clipboard text.

#include "FuzzEngine.h"

#include "console/uKanaeleModel.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"
#include "framework/uTextCodec.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr int RoundTripChannels = 16;

int Channel(const std::uint8_t* p)
{
    return (p[0] | p[1] << 8) % 510 + 1;
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    TFuzzReset reset;
    FuzzMainModule();
    TModuleLichtpult& pult = *ModuleLichtpult;
    const int von = Channel(data);
    const int bis = Channel(data + 2);
    const QByteArray bytes = FuzzBytes(data + 5, size - 5);
    QString text;
    if (data[4] & 1) {
        if (!ReadTextFile(FuzzWriteFile(QStringLiteral("kanaele.txt"), bytes), text))
            std::abort();
    } else {
        text = QString::fromUtf8(bytes);
    }
    ImportKanaeleText(pult, von, bis, text);

    // The first channels of the range are enough for the round trip: the rest
    // are written and read the same way.
    const int last = std::min(bis, von + RoundTripChannels - 1);
    const QStringList exported = ExportKanaeleLines(pult, von, last);
    ImportKanaeleText(pult, von, last, JoinLinesCrLf(exported));
    if (ExportKanaeleLines(pult, von, last) != exported)
        std::abort();
    return 0;
}
