#include "cues/uMod_Makros.h"

TModuleMakro::TModuleMakro()
{
    Tag = QChar(0);
    Name = QStringLiteral("");
}

void TModuleMakro::LoadIni(TStringIniFile& ini)
{
    ShowSections.Load(ini);
}

void TModuleMakro::SaveToStrings(QStringList& lines)
{
    ShowSections.Save(lines);
}

void TModuleMakro::NewProject()
{
    ShowSections.Clear();
}
