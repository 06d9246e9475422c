#include "devices/uMod_Interface.h"

#include "core/uMod_Main.h"
#include "core/uStringIniFile.h"

namespace {
const QString SectionServer = QStringLiteral("Server");
}

// The interface module has neither tag nor name: messages that name a module
// show an empty name for it.
TModuleInterface::TModuleInterface() = default;

void TModuleInterface::Init()
{
    LoadServerSettings();
}

void TModuleInterface::Done()
{
    SaveServerSettings();
}

void TModuleInterface::LoadServerSettings()
{
    if (!SettingsIni)
        return;
    const TStringIniFile& ini = *SettingsIni;
    Server.Port = ini.ReadString(SectionServer, QStringLiteral("Port"), QStringLiteral("22455"));
    Server.Key = ini.ReadString(SectionServer, QStringLiteral("Key"), QStringLiteral("K719"));
    Server.StartAktiv = ini.ReadBool(SectionServer, QStringLiteral("StartAktiv"), false);
    Server.FindSchritt = ini.ReadBool(SectionServer, QStringLiteral("FindSchritt"), false);
    Server.Ausfuehren = ini.ReadBool(SectionServer, QStringLiteral("Ausfuehren"), false);
    Server.Makro = ini.ReadBool(SectionServer, QStringLiteral("Makro"), false);
}

void TModuleInterface::SaveServerSettings()
{
    if (!SettingsIni)
        return;
    TStringIniFile& ini = *SettingsIni;
    ini.WriteString(SectionServer, QStringLiteral("Port"), Server.Port);
    ini.WriteString(SectionServer, QStringLiteral("Key"), Server.Key);
    ini.WriteBool(SectionServer, QStringLiteral("StartAktiv"), Server.StartAktiv);
    ini.WriteBool(SectionServer, QStringLiteral("FindSchritt"), Server.FindSchritt);
    ini.WriteBool(SectionServer, QStringLiteral("Ausfuehren"), Server.Ausfuehren);
    ini.WriteBool(SectionServer, QStringLiteral("Makro"), Server.Makro);
}

void TModuleInterface::LoadIni(TStringIniFile& ini)
{
    ShowSections.Load(ini);
}

void TModuleInterface::SaveToStrings(QStringList& lines)
{
    ShowSections.Save(lines);
}

void TModuleInterface::NewProject()
{
    ShowSections.Clear();
}
