#pragma once
// The scene store: scenes with versions, scene macros and the 60 group scenes.

#include "core/uCarriedSections.h"
#include "core/uMod_Abstract.h"
#include "core/uUtils.h"

#include <QByteArray>

#include <array>

// One group scene per group channel.
constexpr int GroupCount = LetzterGruppenKanal - LetzterKonsolenKanal;

class TModuleSzenen : public TModuleAbstract {
public:
    TModuleSzenen();

    // Sections "Szenen" and "Gruppen" of a show, kept as they were loaded.
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    // Also drops the script page's text.
    void NewProject() override;

    // The script page's rich text: the show file's bytes after the INI text,
    // held and written back unchanged.
    void LoadTextFromStream(const QByteArray& bytes) { ScriptText = bytes; }
    QByteArray SaveTextToStream() const { return ScriptText; }

    TCarriedSections ShowSections{{QStringLiteral("Szenen"), QStringLiteral("Gruppen")}};
    QByteArray ScriptText;

    // The stored level of channel n (1..729) in group scene g (0..59); 0 outside.
    int GroupLevel(int g, int n) const
    {
        return (g >= 0 && g < GroupCount && n >= 1 && n <= MaxKanal) ? GroupLevels[static_cast<std::size_t>(g)][static_cast<std::size_t>(n)] : 0;
    }

    // The current level array of each group scene.
    std::array<TLevelArray, GroupCount> GroupLevels{};

    // Options of the main window's option page.
    bool TextRechtsZurueck = false;   // the script page steps back on a right click
    bool AutoSzenenSeite = false;     // a newly stored scene brings the scenes page to the front
    int DefaultFadeVor = 10;          // fade times of new scenes, tenths of a second
    int DefaultFadeZurueck = 10;
    void SetTextRechtsZurueck(bool v) { TextRechtsZurueck = v; }
    void SetAutoSzenenseite(bool v) { AutoSzenenSeite = v; }
    void SetDefaultFadeForward(int v) { DefaultFadeVor = v; }
    void SetDefaultFadeBackward(int v) { DefaultFadeZurueck = v; }
};
