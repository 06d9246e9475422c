#pragma once
// The master module: console master, grand master, fade and chase speed
// factors, console or playback mode, and the playback state of the crossfade.
// It runs the current scene's macro lines on every state change. The master
// panel is a view of this module: it follows the Signals object.

#include "framework/uMod_Abstract.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

// Emitted by the master module whenever something the master panel shows has
// changed (a master, a factor, a label, the mode, the state and its buttons).
class TMasterSignals : public QObject {
    Q_OBJECT
signals:
    void changed();
};

// The playback state of the crossfade; the values are fixed, since "W" lines of
// commands name them by digit.
enum TMasterState : std::uint8_t {
    msKeinFade = 0,          // no crossfade yet
    msStart = 1,             // started forward
    msPause = 2,             // paused
    msWeiter = 3,            // resumed
    msRueckwaerts = 4,       // running backward
    msEnde = 5,              // ended
    msStartRueckwaerts = 6,  // started by a backward recall
};

// True while a crossfade is running (started, resumed or running backward).
constexpr bool IsCrossfadeRunning(std::uint8_t state)
{
    return state == msStart || state == msWeiter || state == msRueckwaerts || state == msStartRueckwaerts;
}

class TModuleMaster : public TModuleAbstract {
public:
    TModuleMaster();

    void LoadIni(TStringIniFile& ini) override;
    void Done() override;
    void NewProject() override;
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;

    // Speed bar positions run 0..200; 100 means factor 1, each 50 a factor of ten.
    static constexpr int MaxSpeedPosition = 200;
    static constexpr int DefaultSpeedPosition = 100;
    // 10^((100 - pos) / 50) as a single; positions outside 0..200 count as the
    // nearest end. Not cut off.
    static float SpeedFactor(int pos);

    void SetPultmaster(int v);
    void SetGrandmaster(int v);
    void SetFadeFaktor(int pos);
    void SetChaseFaktor(int pos);
    void SetAblauf(bool v);
    void BlackOut();
    // The button "1": the fade speed bar back to 100 (runs SetFadeFaktor when it moves).
    void EinsClick();
    // The check box "1": a fade start puts the fade speed back to 100.
    void SetEins(bool v);

    // Playback state, one of TMasterState.
    TMasterState GetMasterState() const { return static_cast<TMasterState>(State); }
    void SetMasterState(std::uint8_t state);
    // Remaining time of the running crossfade in ms; stored never below 0.
    void SetRestzeit(std::int64_t ms);
    // The current scene's macro lines. Shared with the scene, so that a show load
    // that drops the scene's list cannot leave the master with freed lines.
    void SetStateCommands(std::shared_ptr<const QStringList> lines);
    const std::shared_ptr<const QStringList>& GetStateCommands() const { return StateCommands; }

    // Which transport buttons the current state allows.
    bool PauseEnabled() const { return IsCrossfadeRunning(State); }
    bool PlayEnabled() const { return State == msPause || State == msRueckwaerts; }
    bool RevEnabled() const { return State == msStart || State == msPause || State == msWeiter || State == msStartRueckwaerts; }
    bool EinsEnabled() const { return true; }

    // Track bar positions as the panel shows them: 0 at the top means level 255.
    int PultmasterPosition() const { return 255 - Pultmaster; }
    int GrandmasterPosition() const { return 255 - Grandmaster; }

    int FadePosition = DefaultSpeedPosition;   // fade speed bar, 0..200
    int ChasePosition = DefaultSpeedPosition;  // chase speed bar, 0..200
    std::int64_t Restzeit = 0;                 // ms, never below 0
    std::uint8_t State = msKeinFade;
    int Grandmaster = 255;
    int Pultmaster = 255;                      // console master; not clamped
    bool Ablauf = false;                       // playback mode ("Ablauf") rather than console mode ("Pult")
    bool AblaufSet = false;                    // the mode was set in this session (stored at shut-down)
    bool Busy = false;                         // a setter runs; re-entry from its own view changes is ignored
    bool Reverse = false;                      // the fade runs backwards
    bool Eins = true;                          // the check box "1"

    // What the panel's labels show.
    QString FadeFaktorText = QStringLiteral("1");
    QString ChaseFaktorText = QStringLiteral("1");
    QString RestzeitText = QStringLiteral("0 s");

    // Called when a crossfade has ended (msEnde), before the speed is restored
    // and the scene's lines run. Unset: nothing happens.
    std::function<void()> OnFadeEnd;

    TMasterSignals Signals;

private:
    void Changed() { Q_EMIT Signals.changed(); }
    // The factor a position gives, signed by Reverse and cut off near 0.
    float FadeFactorFor(int pos) const;

    std::shared_ptr<const QStringList> StateCommands;
};
