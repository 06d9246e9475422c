#include "core/uMod_Master.h"

#include "core/uMod_Main.h"
#include "core/uStringIniFile.h"

TModuleMaster::TModuleMaster()
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");
}

void TModuleMaster::Done()
{
    if (SettingsIni)
        SettingsIni->WriteBoolJN(QStringLiteral("Master"), QStringLiteral("Ablauf"), Ablauf);
}
