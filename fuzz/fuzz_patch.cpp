// The patch file (*.pvp): loaded into the patch module, then the patch's tick
// maps the console's outputs through the loaded curves into the DMX frame. The
// patch is no part of the show: the input ends with the patch cleared again.

#include "FuzzEngine.h"

#include "console/uMod_Patch.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset(false);
    FuzzMainModule();
    ModulePatch->SetFileName(FuzzWriteFile(QStringLiteral("fuzz.pvp"), FuzzBytes(data, size)));
    try {
        ModulePatch->LoadFromFile();
    } catch (const EPvError&) {
    }
    ModulePatch->Tick();
    QStringList lines;
    ModulePatch->SaveToStrings(lines);
    ModulePatch->ClearDocument();
    return 0;
}
