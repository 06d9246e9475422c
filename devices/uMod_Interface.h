#pragma once
// The interface module: the device and network pages, the command letters C, I
// and V, the server settings kept in the settings file, and the forwarding of
// local step and macro events to coupled computers.

#include "framework/uCarriedSections.h"
#include "framework/uMod_Abstract.h"

#include <memory>

class TComTerminal;
class TMidiMapping;
class TPeerList;
class TPlxBox;
class TRemoteServer;

class TModuleInterface : public TModuleAbstract {
public:
    TModuleInterface();
    ~TModuleInterface() override;

    // Settings sections "Server" and "MIDI": read at start, written at
    // shut-down. Reading starts the server when "StartAktiv" is set.
    void Init() override;
    void Done() override;
    // Show section "Interface" (the input box's scripts "BI0".."BI7", other
    // lines kept as loaded, the peers) followed by section "MIDI".
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    // Empties the input box's scripts and switches its outputs off; the peers,
    // the MIDI section and the server keep their state.
    void NewProject() override;
    // "V" n sends to a peer, "C" runs the serial terminal's command, "I" n
    // switches an output of the input box.
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;

    // Sends a local step or macro event ("T0F12", "T0E1", "M5D", ...) to every
    // peer whose key has at least three characters, when the matching coupling
    // option of the server is set. Callers skip events that came from a remote
    // computer.
    void ForwardToCoupledSystems(const QString& eventText);

    void LoadServerSettings();
    void SaveServerSettings();

    TRemoteServer& Server() const { return *FServer; }
    TPeerList& Peers() const { return *FPeers; }
    TMidiMapping& Midi() const { return *FMidi; }
    TComTerminal& ComTerminal() const { return *FComTerminal; }
    TPlxBox& Box() const { return *FBox; }

    TCarriedSections ShowSections{{QStringLiteral("Interface")}};

private:
    std::unique_ptr<TRemoteServer> FServer;
    std::unique_ptr<TPeerList> FPeers;
    std::unique_ptr<TMidiMapping> FMidi;
    std::unique_ptr<TComTerminal> FComTerminal;
    std::unique_ptr<TPlxBox> FBox;
};
