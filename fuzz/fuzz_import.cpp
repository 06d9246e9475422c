// The menu "Importieren" of the console and the macro module: a text file read as
// "aus Datei ..." reads it, handed to the module's ImportIni. What was imported is
// exported, and importing that export changes nothing more.
// First byte: bit 0 chooses the module (0 console, 1 macros); the rest is the file.

#include "FuzzEngine.h"

#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Makros.h"
#include "framework/uMod_Main.h"
#include "framework/uTextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    TFuzzReset reset;
    TModuleMain& main = FuzzMainModule();
    TModuleAbstract& module =
        (data[0] & 1) ? static_cast<TModuleAbstract&>(*ModuleMakro) : static_cast<TModuleAbstract&>(*ModuleLichtpult);
    const QString path = FuzzWriteFile(QStringLiteral("import.txt"), FuzzBytes(data + 1, size - 1));
    QString text;
    if (!ReadTextFile(path, text))
        std::abort();
    main.ImportText(module, text);

    const QString exported = main.ExportText(module);
    main.ImportText(module, exported);
    if (main.ExportText(module) != exported)
        std::abort();
    return 0;
}
