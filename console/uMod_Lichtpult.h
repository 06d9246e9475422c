#pragma once
// The console module: the 729 channels and the lighting engine's 40 ms tick, the
// console pages and their categories, the list of console windows, and the
// module's show sections (Kanäle, Kategorien, Lichtpult).
//
// Every tick computes each channel's output from its level and mode, the console
// and grand masters, the running crossfade, the group faders and the step
// sequences; the patch module reads the outputs of channels 1..510 right after.
//
// The console windows themselves are widgets of the forms side: the module keeps
// which windows exist and the pages they show, and asks the windows through
// TLichtpultSignals to follow its data.
//
// The module's work lies in three files: uMod_Lichtpult.cpp (channels, levels
// of all channels, commands), uLichtpultMixer.cpp (the tick: crossfade, groups,
// step sequences, HTP, blink and flicker outputs; playback mode) and
// uLichtpultPages.cpp (pages, categories, console windows, a new show, the show
// sections, channel export and import).

#include "console/uKanal.h"
#include "framework/uMod_Abstract.h"
#include "framework/uUtils.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

class QMetaMethod;
class TStringIniFile;

// The console module's notifications for the forms. Emitted on the thread that
// runs the tick (the GUI thread), so forms connect directly. For the per-tick
// notifications the module asks whether anybody listens before it emits, so a
// headless engine pays one branch; the rare page and window notifications are
// emitted always.
class TLichtpultSignals : public QObject {
    Q_OBJECT
public:
    explicit TLichtpultSignals(QObject* parent = nullptr);

    bool KanalObserved() { return Observed(0); }
    bool TickObserved() { return Observed(1); }
    bool ProzentObserved() { return Observed(2); }

signals:
    // A channel changed; code is one of the kc* change codes of TKanal.
    void kanalChanged(int nr, int code);
    // A tick has computed all outputs: the channel list and chaser views refresh.
    void tickDone();
    // Levels are now shown in percent (or as plain values): console windows repaint.
    void prozentChanged(bool prozent);

    // Console window n was added to the module's window list: the forms create it,
    // name it and show it.
    void windowOpened(int n);
    // The window menu asks for console window index; topLeft moves it to 4, 4 first.
    void showWindowRequested(int index, bool topLeft);
    // The channel list shows its selected channel and focuses its number field.
    void focusChannelListRequested();
    // Every console window binds the faders of its shown page again.
    void refreshWindowsRequested();
    // The pages or categories changed and were sorted: every window rebuilds its page tree.
    void pagesChanged();
    // Slot (0..23) of page (index into LichtpultZeilen) now holds channel number nr.
    void zeilenKanalChanged(int page, int slot, int nr);

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    bool Observed(int which)
    {
        // Connection changes only mark the cache stale: the notify hooks must not
        // call back into QObject. The next query refreshes it.
        if (FStale.load(std::memory_order_acquire))
            Refresh();
        return FObserved[which];
    }
    void Refresh();

    std::atomic<bool> FStale{true};
    bool FObserved[3] = {false, false, false};
};

class TModuleLichtpult : public TModuleAbstract {
public:
    // How deeply crossfade starts may nest (a scene macro that recalls a scene).
    static constexpr int MaxCrossfadeDepth = 4;
    // The most pages and categories a show file may bring; more is logged and ignored.
    static constexpr int MaxShowListCount = 10000;

    TModuleLichtpult();
    ~TModuleLichtpult() override;

    // The forms' notifications; owned by the module.
    TLichtpultSignals* Signals() const { return FSignals.get(); }

    // The channels, index = Nr 1..729; slot 0 is unused.
    std::vector<TKanal> Kanaele;
    bool Ablauf = false;              // playback mode ("Ablauf") instead of console mode ("Pult")
    int Grandmaster = 255;            // 0..255
    std::int64_t FadeStart = 0;       // fade clock at the start of the running crossfade (ms)
    std::int64_t FadeDauer = 0;       // duration of the running crossfade (ms)
    bool Lampenschonung = false;      // lamp protection: HTP outputs rise at most 24 per tick
    bool Prozent = false;             // levels are shown in percent

    // The channel with number nr (1..729); EPvError for another number.
    TKanal& GetKanal(int nr);
    // False and nullptr outside 1..729.
    bool FindKanal(int nr, TKanal*& k);

    void Tick() override;
    // K lines set channel values; F lines are accepted and ignored.
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;
    // Resets names, flash and blackout levels, modes, levels, icons and colours of
    // every channel (fade lanes, sequences, blink values and outputs stay), the
    // three default categories and the five default pages of channels 1..60.
    void NewProject() override;
    // Reads the sections Kanäle, Kategorien and Lichtpult of a show (or of a module
    // import): the channels' saved settings, the categories, the pages.
    void LoadIni(TStringIniFile& ini) override;
    // Reads a module text: only the channels it names (their HF_ or sequence keys),
    // and the categories and pages when it holds their sections; the rest stays.
    void ImportIni(TStringIniFile& ini) override;
    // Appends the sections Kanäle, Kategorien and Lichtpult, each after an empty line.
    void SaveToStrings(QStringList& lines) override;
    // The same sections from a copy taken here, written on the save's thread.
    std::function<void(QStringList&)> SaveLater() override;

    // ---- pages, categories and console windows ----

    // The console pages, sorted by category (Node), then Order. Pages keep their
    // addresses while the list is sorted.
    std::vector<std::unique_ptr<TLichtpultZeile>> LichtpultZeilen;
    // The category names; a page's Node indexes them (pages whose Node lies outside
    // are kept and saved all the same).
    QStringList Kategorien;
    // The numbers of the console windows that exist; window 0 always does.
    std::vector<int> LichtpultFenster;

    // Page i (0-based); nullptr outside the list.
    TLichtpultZeile* GetLichtpultZeile(int i) const;
    int PageCount() const { return static_cast<int>(LichtpultZeilen.size()); }
    // Appends a page (the caller sorts afterwards); returns its index, -1 for none.
    int AddPage(std::unique_ptr<TLichtpultZeile> page);
    // Sets the channel number of one slot of a page (nothing else of the slot) and
    // tells the windows. Nothing happens for a page or slot that does not exist.
    void SetZeilenKanal(int page, int slot, int nr);
    // Exchanges page i with page i + delta (their Order values too) and sorts; nothing
    // happens unless both are pages of the list.
    void MovePage(int i, int delta);
    // Sorts by Node, then Order, renumbers Order to the list index, and has every
    // window rebuild its page tree.
    void SortLichtpultZeilen();
    // Every console window binds the faders of its page again.
    void RefreshWindows();
    // Adds a console window numbered with the current window count; returns its number.
    int OpenLichtpultWindow();
    // The window menu's entries: tag mod 100 is the window, a tag of 100 or more
    // also moves it to the top left. Tags of windows that do not exist do nothing.
    void ShowWindowFromMenu(int tag);
    // Brings up the channel list with its selected channel.
    void FocusChannelList();
    // "nach Kanal", "nach Position", "nach Funktion".
    void ResetKategorien();

    // The seven settings of channels first..last as section Kanäle, numbered from 1.
    void ExportKanaele(int first, int last, QStringList& lines) const;
    // Reads channels first..last from keys numbered from 1 of section Kanäle; a
    // channel without its HF_ key keeps its values.
    void ImportKanaele(int first, int last, const TStringIniFile& ini);

    // Starts a crossfade of all channels to levels within time tenths of a second.
    void StartCrossfade(const TLevelArray& levels, int time, bool backward);
    // Puts the levels on the faders of every HTP or LTP channel.
    void SetPegelFromArray(const TLevelArray& levels);
    // Sets every HTP or LTP channel to its blackout level.
    void BlackOut();
    // Switches playback mode and leaves the stage as it is: an HTP fader takes over
    // what the last scene's lane shows (or the lane gives it up), an LTP fader takes
    // over its output; other modes keep their levels.
    void SetAblauf(bool v);
    void SetGrandmaster(int v);
    void SetLampenschonung(bool v) { Lampenschonung = v; }
    void SetProzent(bool v);
    // A level as the user sees it: plain, or in percent when Prozent is on.
    QString FormatLevel(int v) const;

    // The steps of the tick, in the order Tick runs them.
    void CrossfadeStep();
    void CrossfadeKanalStep(TKanal& k, float f);
    void MixGroups();
    // Steps the step-sequence channels in ascending order.
    void StepSequences();
    // One given step of a sequence channel at fraction f: each entry raises its
    // target's GroupLevel.
    void ApplySequenceStep(TKanal& k, int step, float f);
    void UpdateKanalOutput(TKanal& k);

private:
    // Name, flash, blackout, mode, icon and colours of a new show; the level stays.
    void ResetKanalSettings(TKanal& k);
    // Reads name, mode, icon, colours, flash and blackout of k from keys numbered key
    // when the HF_ key is present and not negative; false (k untouched) otherwise.
    bool ReadKanalSettings(TKanal& k, int key, const TStringIniFile& ini);
    // held false: the section has no key of the channel's number, so every
    // value is its default without a lookup.
    void ReadSequence(TKanal& k, const TStringIniFile& ini, bool held = true);
    // True when the text holds any of the sequence counts of channel n.
    bool HoldsSequence(int n, const TStringIniFile& ini) const;
    // The three sections; a whole show resets what it leaves out, an import keeps it.
    void ReadSections(TStringIniFile& ini, bool wholeShow);
    void ReadKategorien(const TStringIniFile& ini);
    void ReadPages(const TStringIniFile& ini);

    // Per channel: the highest level the sequences give it in this pass.
    using TSequenceLevels = std::array<int, MaxKanal + 1>;
    static constexpr int NoSequenceLevel = std::numeric_limits<int>::min();
    void StepSequenceInto(TKanal& k, TSequenceLevels& levels);
    void ApplySequenceStepInto(const TKanal& k, int step, float f, TSequenceLevels& levels);
    void MergeSequenceLevels(const TSequenceLevels& levels);

    void ExecuteKanalCommand(const QStringList& tokens);
    void ComputeHtpOutput(TKanal& k);
    void ComputeBlinkOutput(TKanal& k);
    // A uniform integer 0..n-1; 0 when n <= 0.
    int Random(int n);

    std::unique_ptr<TLichtpultSignals> FSignals;
    std::mt19937 FRandom;
    int FCrossfadeDepth = 0;
    TSequenceLevels FSequenceLevels{};
};
