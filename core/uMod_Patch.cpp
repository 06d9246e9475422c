#include "core/uMod_Patch.h"

TModulePatch::TModulePatch()
{
    Tag = QChar('P');
    Name = QStringLiteral("Patch");
}
