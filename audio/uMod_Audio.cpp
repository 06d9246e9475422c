#include "audio/uMod_Audio.h"

TModuleAudio::TModuleAudio()
{
    Tag = QChar('A');
    Name = QStringLiteral("Audio");
}

void TModuleAudio::LoadIni(TStringIniFile& ini)
{
    ShowSections.Load(ini);
}

void TModuleAudio::SaveToStrings(QStringList& lines)
{
    ShowSections.Save(lines);
}

void TModuleAudio::NewProject()
{
    ShowSections.Clear();
}
