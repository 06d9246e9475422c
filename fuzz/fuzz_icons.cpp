// The icon table: "icons.ini" in the program's Data folder, read by the icon
// module's Init, whose icon texts go through the run-length decoder.

#include "FuzzEngine.h"

#include "console/uMod_Icons.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"

#include <QDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    // The icon module needs no other module, only the program's Data folder.
    static const bool folders = [] {
        DataDir = FuzzProgramDir() + QStringLiteral("Data/");
        return QDir().mkpath(DataDir);
    }();
    (void)folders;
    FuzzWriteFile(QStringLiteral("Data/icons.ini"), FuzzBytes(data, size));

    TModuleIcons icons;
    icons.Init();
    if (icons.GetIcon(-1) || icons.GetIcon(icons.IconCount()))
        std::abort();

    // One icon text on its own, as the icon editor hands it.
    TModuleIcons single;
    try {
        single.AddIcon(QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const EPvError&) {
    }
    if (single.IconCount() > 1)
        std::abort();
    return 0;
}
