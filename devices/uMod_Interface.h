#pragma once
// The interface module: the device and network pages, the command letters C, I
// and V, and the server settings kept in the settings file.

#include "core/uCarriedSections.h"
#include "core/uMod_Abstract.h"

// The server page's settings, section "Server" of the settings file.
struct TServerSettings {
    QString Port = QStringLiteral("22455");
    QString Key = QStringLiteral("K719");
    bool StartAktiv = false;
    bool FindSchritt = false;
    bool Ausfuehren = false;
    bool Makro = false;
};

class TModuleInterface : public TModuleAbstract {
public:
    TModuleInterface();

    void Init() override;
    void Done() override;
    // Sections "Interface" and "MIDI" of a show, kept as they were loaded.
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    void NewProject() override;

    TServerSettings Server;
    TCarriedSections ShowSections{{QStringLiteral("Interface"), QStringLiteral("MIDI")}};

    void LoadServerSettings();
    void SaveServerSettings();
};
