#pragma once
// The audio module: pages of player panels driven by the audio commands.

#include "core/uCarriedSections.h"
#include "core/uMod_Abstract.h"

class TModuleAudio : public TModuleAbstract {
public:
    TModuleAudio();

    // Section "Audio" of a show, kept as it was loaded.
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    void NewProject() override;

    TCarriedSections ShowSections{{QStringLiteral("Audio")}};
};
