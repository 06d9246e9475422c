// A show file as it comes from disk: the whole OpenProject path (container,
// INI text, every module's LoadIni, the script text), then the show is built
// again as a save would write it.

#include "FuzzEngine.h"

#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    FuzzMainModule();
    const QByteArray bytes = FuzzBytes(data, size);

    // The container alone: a value never reaches past the bytes.
    try {
        qsizetype consumed = -1;
        DecodeShowString(bytes, consumed);
        if (consumed < 1 || consumed > bytes.size())
            std::abort();
    } catch (const EPvError&) {
    }

    OpenProject(FuzzWriteFile(QStringLiteral("fuzz.pvs"), bytes));
    BuildShowFile();
    return 0;
}
