#include "core/uMod_Icons.h"

TModuleIcons::TModuleIcons()
{
    Tag = QChar(0);
    Name = QStringLiteral("");
}
