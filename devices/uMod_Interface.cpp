#include "devices/uMod_Interface.h"

#include "devices/uComTerminal.h"
#include "devices/uMidiUtils.h"
#include "devices/uPeers.h"
#include "devices/uPlxBox.h"
#include "devices/uServer.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"
#include "platform/Midi.h"

namespace {
const QString SectionInterface = QStringLiteral("Interface");

QString LineKey(const QString& line)
{
    return line.section(u'=', 0, 0).trimmed();
}
} // namespace

// The interface module has neither tag nor name: messages that name a module
// show an empty name for it.
TModuleInterface::TModuleInterface()
    : FServer(std::make_unique<TRemoteServer>()), FPeers(std::make_unique<TPeerList>()),
      FMidi(std::make_unique<TMidiMapping>(CreateSystemMidiBackend(QStringLiteral("Palvento Orlisk")))),
      FComTerminal(std::make_unique<TComTerminal>()),
      FBox(std::make_unique<TPlxBox>(CreateSystemHidBackend()))
{
}

TModuleInterface::~TModuleInterface()
{
    FBox->CloseBox();
}

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
    FServer->LoadServerSettings(*SettingsIni);
    FMidi->LoadMidiSettings(*SettingsIni);
}

void TModuleInterface::SaveServerSettings()
{
    if (!SettingsIni)
        return;
    FServer->SaveServerSettings(*SettingsIni);
    FMidi->SaveMidiSettings(*SettingsIni);
}

void TModuleInterface::LoadIni(TStringIniFile& ini)
{
    ShowSections.Load(ini);
    FBox->LoadInputScripts(ini);
    FPeers->LoadPeers(ini);
    FMidi->LoadMidiMappings(ini);
}

void TModuleInterface::SaveToStrings(QStringList& lines)
{
    lines << QString() << u'[' + SectionInterface + u']';
    // The input box's scripts first, then lines of the section that nothing here
    // reads, as they were loaded, then the peers.
    FBox->SaveInputScripts(lines);
    for (const QString& line : ShowSections.Lines(SectionInterface))
        if (!TPeerList::IsPeerKey(LineKey(line)) && !TPlxBox::IsScriptKey(LineKey(line)))
            lines << line;
    FPeers->SavePeers(lines);
    FMidi->SaveMidiMappings(lines);
}

void TModuleInterface::NewProject()
{
    // The input box starts empty; the MIDI mappings stay.
    ShowSections.Clear();
    FBox->ClearInputsAndOutputs();
}

void TModuleInterface::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    (void)remote;
    if (tokens.isEmpty() || tokens.at(0).isEmpty())
        return;
    switch (tokens.at(0).at(0).toUpper().unicode()) {
    case 'V':
        FPeers->SendToPeer(tokens);
        break;
    case 'C':
        FComTerminal->ExecuteComCommand(tokens);
        break;
    case 'I':
        FBox->ExecuteInterfaceCommand(tokens);
        break;
    default:
        break;
    }
}

void TModuleInterface::ForwardToCoupledSystems(const QString& eventText)
{
    QStringList tokens;
    TokenizeCommand(eventText + u'E', tokens);
    // An event needs a command and a sub-command; anything shorter is no event.
    if (tokens.size() < 2)
        return;
    const QChar c0 = (tokens.at(0).toUpper() + u' ').at(0);
    const QChar c1 = (tokens.at(1).toUpper() + u' ').at(0);
    const TRemoteServer& server = *FServer;
    const bool coupled = (c0 == u'T' && c1 == u'F' && server.FindSchritt) ||
                         (c0 == u'T' && c1 == u'E' && server.Ausfuehren) ||
                         (c0 == u'M' && (c1 == u'D' || c1 == u'U') && server.Makro);
    if (!coupled)
        return;
    for (int row = 1; row <= TPeerList::PeerCount; ++row) {
        const QString key = FPeers->Peer(row).Key;
        if (key.size() <= 2)
            continue;
        QStringList list{QStringLiteral("V") + QString::number(row), key};
        list << tokens;
        FPeers->SendToPeer(list);
    }
}
