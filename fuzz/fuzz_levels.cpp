// The run-length codec of level arrays and the hexadecimal and integer helpers.
// What the codec reads it writes back to the same levels.

#include "FuzzEngine.h"

#include "framework/uErrors.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    const QString text = DecodeText(FuzzBytes(data, size));

    TLevelArray levels{};
    try {
        DecodeLevels(text, levels);
        TLevelArray again{};
        DecodeLevels(EncodeLevels(levels), again);
        if (again != levels)
            std::abort();
    } catch (const EPvError&) {
    }

    try {
        const std::uint32_t value = HexToInt(text);
        if (HexToInt(QString::number(value, 16)) != value)
            std::abort();
    } catch (const EPvError&) {
    }
    for (QChar c : text) {
        try {
            if (HexDigitValue(c) > 15)
                std::abort();
        } catch (const EPvError&) {
        }
    }

    int value = 0;
    if (TryStrToInt(text, value) && StrToIntDef(QString::number(value), ~value) != value)
        std::abort();
    return 0;
}
