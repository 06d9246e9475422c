#include "cues/uMod_Szenen.h"

TModuleSzenen::TModuleSzenen()
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");
}
