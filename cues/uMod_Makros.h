#pragma once
// The macro buttons: numbered macros of command lines, pressed and released like keys.

#include "core/uCarriedSections.h"
#include "core/uMod_Abstract.h"

class TModuleMakro : public TModuleAbstract {
public:
    TModuleMakro();

    // Section "Makros" of a show, kept as it was loaded.
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    void NewProject() override;

    TCarriedSections ShowSections{{QStringLiteral("Makros")}};
};
