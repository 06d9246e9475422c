#include "cues/uMod_Makros.h"

TModuleMakro::TModuleMakro()
{
    Tag = QChar(0);
    Name = QStringLiteral("");
}
