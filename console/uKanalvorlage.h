#pragma once
// Channel templates: named sets of up to 99 channel descriptions (name, mode, icon,
// colours, flash and blackout level) kept in Data/Vorlagen.ini, independent of any
// show, and copied onto console channels as often as needed.

#include "console/uKanal.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TModuleLichtpult;
class TStringIniFile;

// One template: its own channels numbered 631..729 (shown as 1..99), of which
// channels 1..Letzter + 1 are used. A channel is made when the count first reaches
// it and kept (with its address) until the template goes. A file may hold a count of
// 0 or below: such a template uses no channel and is written back with that count.
class TKanalvorlage {
public:
    static constexpr int MaxKanaele = LetzterVorlagenKanal - ErsterVorlagenKanal + 1;   // 99

    explicit TKanalvorlage(const QString& name = QStringLiteral("Neue Vorlage"));

    QString Name;
    int Letzter = 0;   // the template uses channels 1..Letzter + 1 (none when below 0)

    // Every channel's change notification of this template.
    TKanalChangeEvent OnKanalChange;

    int Kanalzahl() const { return Letzter + 1; }
    // Sets the number of used channels, limited to 1..99.
    void SetKanalzahl(int n);
    // Takes a file's count as it stands: above 99 gives 99, 0 and below are kept.
    void SetKanalzahlAusDatei(int n);
    // Channel i (1..99); nullptr outside and for a channel not made yet.
    TKanal* Kanal(int i);
    const TKanal* Kanal(int i) const;

private:
    std::vector<std::unique_ptr<TKanal>> FKanaele;
};

// The templates of Vorlagen.ini, in list order.
class TKanalvorlagen {
public:
    // The most templates a file may bring; more are logged and left out, so that a
    // count in the file never makes the reader allocate more than this.
    static constexpr int MaxVorlagen = 1000;

    // Every template channel's change notification goes here (the editor repaints).
    TKanalChangeEvent OnKanalChange;

    int Count() const { return static_cast<int>(FVorlagen.size()); }
    // Template i (0-based); nullptr outside the list.
    TKanalvorlage* Vorlage(int i) const;
    // Appends a new template "Neue Vorlage" of one channel and returns it.
    TKanalvorlage& Add();
    // Frees template i; nothing for an index outside the list.
    void Delete(int i);
    void Clear();

    // Reads the file; a missing file leaves the list empty. Replaces the list.
    void LoadFromFile(const QString& fileName);
    void LoadFromIni(const TStringIniFile& ini);
    // The file's lines, as SaveToFile writes them.
    QStringList SaveToLines() const;
    // Writes the file through a temporary file and rename; EPvError on failure.
    void SaveToFile(const QString& fileName) const;

private:
    TKanalvorlage& Append(std::unique_ptr<TKanalvorlage> v);
    std::vector<std::unique_ptr<TKanalvorlage>> FVorlagen;
};

// Copies name, icon and colours of the template's channels onto console channels:
// copy k (0..anzahl - 1), channel i goes to start + k x versatz + (i - 1); numbers
// outside 1..729 are skipped. Returns how many channels were set.
int InsertVorlage(const TKanalvorlage& v, TModuleLichtpult& pult, int anzahl, int start, int versatz);
