#pragma once
// The main module: fixes the program folders, owns the settings store and the
// eight other modules, broadcasts the lifecycle operations to them, runs the
// 40 ms clock and the 100 ms slow tick, and interprets command lines.

#include "framework/uMod_Abstract.h"

#include <Qt>
#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class QTimer;
class TClockThread;
class TStringIniFile;
class TModuleIcons;
class TModuleMakro;
class TModulePatch;
class TModuleAudio;
class TModuleLichtpult;
class TModuleMaster;
class TModuleSzenen;
class TModuleInterface;

// Program-wide globals, set once by the main module.
extern QString ProgramDir;    // the program's folder, with a trailing '/'
extern QString DataDir;       // ProgramDir + "Data/"
extern QString ProjectDir;    // ProgramDir + "Projekte/"
extern QString ProjectFileName;
extern QByteArray NewShowDigest;  // the show as a new, empty one (framework/uProject); empty when not new
extern TStringIniFile* SettingsIni;
extern std::atomic<bool> AppClosing;      // set once when the main window closes; never cleared
extern std::atomic<bool> AppTerminating;  // the application has been asked to quit
extern std::atomic<bool> ModulesBusy;     // a LoadIni or NewProject broadcast runs
extern std::int64_t FadeClock;            // milliseconds; crossfades and blinking
extern std::int64_t ChaseClock;           // milliseconds; step sequences
extern float FadeFactor;
extern float ChaseFactor;

class TModuleMain;
extern TModuleMain* ModuleMain;
extern TModuleIcons* ModuleIcons;
extern TModuleMakro* ModuleMakro;
extern TModulePatch* ModulePatch;
extern TModuleAudio* ModuleAudio;
extern TModuleLichtpult* ModuleLichtpult;
extern TModuleMaster* ModuleMaster;
extern TModuleSzenen* ModuleSzenen;
extern TModuleInterface* ModuleInterface;

// What the forms side offers the main module (the radio group it reads, the
// page it activates). Headless, nothing is installed and the defaults hold.
class TMainFormLink {
public:
    virtual ~TMainFormLink() = default;
    virtual int StepDuringExecution() const { return 0; }
    virtual void ShowScenesPage() {}
};

// What the main window and the menu ask of the lighting console: the console and
// patch modules as modules (export and import, the patch file), the options and
// start-up steps of the console, and the patch's dimmer curves. The framework
// knows the console only through this; the main module, which creates the
// console's modules, answers it. Without those modules (before they exist, after
// they are freed) nothing happens and there is no module.
class TConsoleLink {
public:
    virtual ~TConsoleLink() = default;

    // The console module; nullptr when there is none.
    virtual TModuleAbstract* ConsoleModule() const = 0;
    // The patch module, the one module with a document of its own (the patch file).
    virtual TModuleAbstract* PatchModule() const = 0;

    virtual void SetProzent(bool on) = 0;
    virtual void SetLampenschonung(bool on) = 0;
    virtual void SortLichtpultZeilen() = 0;
    virtual void OpenLichtpultWindow() = 0;

    // The curve names, index = curve number (0 is the linear curve).
    virtual QStringList CurveNames() const = 0;
    virtual void EditCurve(int nr) = 0;
    // Calls changed whenever the curves change, through a connection of type
    // with receiver as its context (it goes with receiver).
    virtual void OnCurvesChanged(QObject* receiver, std::function<void()> changed, Qt::ConnectionType type) = 0;
};
TConsoleLink& ConsoleLink();

struct TDelayedCommand {
    QString Text;
    std::int64_t Remaining;   // milliseconds still to wait
};

// How many command lines may run inside each other (a macro that presses a macro ...):
// far more than any chain of macros a show needs, well inside the stack. Loops
// stop earlier, at their first repeat (a macro pressed while its press runs).
constexpr int MaxCommandDepth = 1024;

// The folder the program runs from: PV_PROGRAM_DIR when set, else the executable's folder.
QString DetermineProgramDir();

class TModuleMain : public TModuleAbstract {
public:
    TModuleMain();
    ~TModuleMain() override;

    std::vector<std::unique_ptr<TModuleAbstract>> Modules;   // creation order
    std::int64_t TickCount = 0;
    std::vector<TDelayedCommand> DelayedCommands;
    QStringList CommandLines;

    // Broadcasts to every module in list order.
    void Init() override;
    void Done() override;
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    void NewProject() override;

    // An open: what each module reads of ini on the reading thread (one entry per
    // module, null where it reads on the GUI thread, also when its reading
    // failed), then the LoadIni broadcast that takes it over.
    using TPreparedShow = std::vector<std::unique_ptr<TPreparedSections>>;
    TPreparedShow PrepareShow(const TStringIniFile& ini) const;
    void LoadPreparedShow(TStringIniFile& ini, TPreparedShow prepared);

    // A save: every module's lines, or the function that writes them on the
    // save's thread, collected on the GUI thread in module order. Lines runs on
    // any thread; a module that fails is logged and skipped, here or there.
    class TShowSections {
    public:
        QStringList Lines() const;

    private:
        friend class TModuleMain;
        struct TPart {
            QString Module;
            QStringList Lines;
            std::function<void(QStringList&)> Later;
        };
        std::vector<TPart> FParts;
    };
    TShowSections CollectShowSections();

    // One 40 ms tick of the engine (delayed commands, console, patch).
    void Tick() override;
    void SlowTick() override;
    // The clock's entry: tests the flags, advances the fade and chase clocks and
    // runs Tick. Never re-entered; an exception is logged and the next tick runs.
    void ClockTick();
    static std::int64_t ClockIncrement(float factor);

    // Starts the 40 ms clock once ([System] MMTimer selects the clock thread).
    void StartClock();
    // Stops the clock and joins its thread; no tick runs afterwards.
    void StopClock();
    bool ClockStarted() const { return FClockStarted; }
    bool UsesClockThread() const { return FClockThread != nullptr; }

    // Command language.
    void ExecuteLines(const QStringList& lines, bool guard);
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;
    void RunDelayedCommands();
    void ClearDelayedCommands();
    // Ends a nest of command lines that would never end (a macro pressed again
    // while its own press runs, directly or through others): one error-log entry
    // "Befehle zu tief verschachtelt: " + command for the whole nest, and the
    // outermost line list stops there. Outside a command only the entry is written.
    void StopRunawayNest(const QString& command);

    // Module text export and import through the clipboard or .txt files.
    QString ExportText(TModuleAbstract& module);
    void ImportText(TModuleAbstract& module, const QString& text);

    // Start-up step after all forms exist.
    void AfterFormsCreated();
    int GetStepDuringExecution() const;
    void ShowScenesPage();
    void SetFormLink(TMainFormLink* link) { FFormLink = link; }

private:
    void CreateModules();
    void FreeModules();
    void RunW(QStringList& tokens);
    void RunD(QStringList& tokens);
    void RunN(const QStringList& tokens);

    std::unique_ptr<QObject> FClockContext;   // receives the clock's queued ticks
    std::unique_ptr<QTimer> FTickTimer;       // 40 ms window timer
    std::unique_ptr<QTimer> FSlowTimer;       // 100 ms slow tick
    std::unique_ptr<TClockThread> FClockThread;
    bool FClockStarted = false;
    bool FInTick = false;
    int FCommandDepth = 0;
    bool FDepthExceeded = false;
    std::uint64_t FQueueGeneration = 0;
    TMainFormLink* FFormLink = nullptr;
};
