// The patch file (*.pvp): loaded into the patch module, then one tick maps the
// console's levels through the loaded curves into the DMX frame.

#include "FuzzEngine.h"

#include "core/uErrors.h"
#include "core/uMod_Main.h"
#include "core/uMod_Patch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TModuleMain& main = FuzzMainModule();
    ModulePatch->SetFileName(FuzzWriteFile(QStringLiteral("fuzz.pvp"), FuzzBytes(data, size)));
    try {
        ModulePatch->LoadFromFile();
    } catch (const EPvError&) {
    }
    main.Tick();
    QStringList lines;
    ModulePatch->SaveToStrings(lines);
    return 0;
}
