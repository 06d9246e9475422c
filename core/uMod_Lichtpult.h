#pragma once
// The console module: the 729 channels and the lighting engine's 40 ms tick.
//
// Every tick computes each channel's output from its level and mode, the console
// and grand masters, the running crossfade, the group faders and the step
// sequences; the patch module reads the outputs of channels 1..510 right after.

#include "core/uKanal.h"
#include "core/uMod_Abstract.h"
#include "core/uUtils.h"

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

// The console module's notifications for the forms. Emitted on the thread that
// runs the tick (the GUI thread), so forms connect directly. The module asks
// whether anybody listens before it emits, so a headless engine pays one branch.
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
    // every channel; fade lanes, sequences, blink values and outputs stay.
    void NewProject() override;

    // Starts a crossfade of all channels to levels within time tenths of a second.
    void StartCrossfade(const TLevelArray& levels, int time, bool backward);
    // Puts the levels on the faders of every HTP or LTP channel.
    void SetPegelFromArray(const TLevelArray& levels);
    // Sets every HTP or LTP channel to its blackout level.
    void BlackOut();
    // Switches playback mode; the levels take over what is on stage.
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
    // Steps channels 571..630 in ascending order.
    void StepSequences();
    // One sequence channel's step, or one given step at fraction f: each entry
    // raises its target's GroupLevel.
    void StepSequence(TKanal& k);
    void ApplySequenceStep(TKanal& k, int step, float f);
    void UpdateKanalOutput(TKanal& k);

private:
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
