#include "cues/uMod_Szenen.h"

TModuleSzenen::TModuleSzenen()
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");
}

void TModuleSzenen::LoadIni(TStringIniFile& ini)
{
    ShowSections.Load(ini);
}

void TModuleSzenen::SaveToStrings(QStringList& lines)
{
    ShowSections.Save(lines);
}

void TModuleSzenen::NewProject()
{
    ShowSections.Clear();
    ScriptText.clear();
}
