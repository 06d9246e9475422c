#pragma once
// The interface module: the device and network pages, the command letters C, I
// and V, and the server settings kept in the settings file.

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

    TServerSettings Server;

    void LoadServerSettings();
    void SaveServerSettings();
};
