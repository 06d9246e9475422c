#include "core/uMod_Lichtpult.h"

TModuleLichtpult::TModuleLichtpult()
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");
}
