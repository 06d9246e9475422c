#include "framework/uMod_Main.h"

#include "audio/uMod_Audio.h"
#include "console/uMod_Icons.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "console/uMod_Patch.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMod_Interface.h"
#include "framework/uAtomicFile.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMidiRoute.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"
#include "platform/ClockThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <limits>

QString ProgramDir;
QString DataDir;
QString ProjectDir;
QString ProjectFileName;
QByteArray NewShowDigest;
TStringIniFile* SettingsIni = nullptr;
std::atomic<bool> AppClosing{false};
std::atomic<bool> AppTerminating{false};
std::atomic<bool> ModulesBusy{false};
std::int64_t FadeClock = 0;
std::int64_t ChaseClock = 0;
float FadeFactor = 1.0f;
float ChaseFactor = 1.0f;

TModuleMain* ModuleMain = nullptr;
TModuleIcons* ModuleIcons = nullptr;
TModuleMakro* ModuleMakro = nullptr;
TModulePatch* ModulePatch = nullptr;
TModuleAudio* ModuleAudio = nullptr;
TModuleLichtpult* ModuleLichtpult = nullptr;
TModuleMaster* ModuleMaster = nullptr;
TModuleSzenen* ModuleSzenen = nullptr;
TModuleInterface* ModuleInterface = nullptr;

namespace {

constexpr int TickPeriodMs = 40;
constexpr int SlowTickPeriodMs = 100;

// Raised when command lines nest deeper than MaxCommandDepth. It unwinds to the
// outermost command call, which has already been told by the log entry.
class ECommandDepth : public EPvError {
public:
    using EPvError::EPvError;
};

// Sets a flag for the lifetime of a scope, also when an exception leaves it.
class TFlagGuard {
public:
    explicit TFlagGuard(std::atomic<bool>& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagGuard() { FFlag = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    std::atomic<bool>& FFlag;
};

// Removes the temporary files that a save killed on the way left in the folders
// the program writes to: the program folder (settings), Data/, Projekte/,
// Fehlerlogs/ and the folders of the last show and the last patch file (also
// where a symbolic link among these files points).
void RemoveLeftTempFiles()
{
    QStringList folders{ProgramDir, DataDir, ProjectDir, ProgramDir + QStringLiteral("Fehlerlogs/")};
    QStringList files{SettingsIni->FileName};
    for (const char* key : {"LetzteProjektDatei", "LetztePatchDatei"})
        files << SettingsIni->ReadString(QStringLiteral("FrmMain"), QString::fromLatin1(key), QString());
    for (const QString& file : files) {
        if (file.isEmpty())
            continue;
        folders << QFileInfo(file).absolutePath();
        try {
            folders << QFileInfo(ResolveWriteTarget(file)).absolutePath();
        } catch (const std::exception&) {
            // A link loop: nothing was ever written through it.
        }
    }
    QStringList done;
    for (const QString& folder : folders) {
        const QString clean = QDir::cleanPath(folder);
        if (done.contains(clean))
            continue;
        done << clean;
        RemoveStaleTempFiles(clean);
    }
}

// The console as the main window and the menu see it: the console and patch
// modules while they exist.
class TModulesConsoleLink final : public TConsoleLink {
public:
    TModuleAbstract* ConsoleModule() const override { return ModuleLichtpult; }
    TModuleAbstract* PatchModule() const override { return ModulePatch; }

    void SetProzent(bool on) override
    {
        if (ModuleLichtpult)
            ModuleLichtpult->SetProzent(on);
    }
    void SetLampenschonung(bool on) override
    {
        if (ModuleLichtpult)
            ModuleLichtpult->SetLampenschonung(on);
    }
    void SortLichtpultZeilen() override
    {
        if (ModuleLichtpult)
            ModuleLichtpult->SortLichtpultZeilen();
    }
    void OpenLichtpultWindow() override
    {
        if (ModuleLichtpult)
            ModuleLichtpult->OpenLichtpultWindow();
    }

    QStringList CurveNames() const override { return ModulePatch ? ModulePatch->GetCurveNames() : QStringList(); }
    void EditCurve(int nr) override
    {
        if (ModulePatch)
            ModulePatch->EditCurve(nr);
    }
    void OnCurvesChanged(QObject* receiver, std::function<void()> changed, Qt::ConnectionType type) override
    {
        if (ModulePatch)
            QObject::connect(ModulePatch->Signals(), &TPatchSignals::curvesChanged, receiver, std::move(changed), type);
    }
};

} // namespace

TConsoleLink& ConsoleLink()
{
    static TModulesConsoleLink link;
    return link;
}

QString DetermineProgramDir()
{
    QString dir = qEnvironmentVariable("PV_PROGRAM_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    dir = QDir::cleanPath(QDir(dir).absolutePath());
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

TModuleMain::TModuleMain()
{
    ModuleMain = this;
    AppClosing = false;
    ModulesBusy = false;
    FadeClock = 0;
    ChaseClock = 0;
    FadeFactor = 1.0f;
    ChaseFactor = 1.0f;
    ProjectFileName.clear();
    NewShowDigest.clear();

    ProgramDir = DetermineProgramDir();
    DataDir = ProgramDir + QStringLiteral("Data/");
    ProjectDir = ProgramDir + QStringLiteral("Projekte/");
    SettingsIni = new TStringIniFile(ProgramDir + QStringLiteral("PV_TESSEL.ini"));
    RemoveLeftTempFiles();

    FClockContext = std::make_unique<QObject>();
    FSlowTimer = std::make_unique<QTimer>();
    FSlowTimer->setInterval(SlowTickPeriodMs);
    QObject::connect(FSlowTimer.get(), &QTimer::timeout, FClockContext.get(), [this] { Guarded([this] { SlowTick(); }); });

    CreateModules();
    Init();
    FSlowTimer->start();
}

TModuleMain::~TModuleMain()
{
    AppClosing = true;
    StopClock();
    FSlowTimer->stop();
    Guarded([this] { Done(); });
    FreeModules();
    DelayedCommands.clear();
    CommandLines.clear();
    // The settings file is written only here. A failure must not stop the rest of
    // the clean-up; the previous file stays whole because it is replaced by rename.
    try {
        SettingsIni->UpdateFile();
    } catch (const std::exception& e) {
        const QString message = QStringLiteral("Einstellungen nicht gespeichert: ") + ExceptionMessage(e);
        AddToErrorLog(elError, message);
        std::fprintf(stderr, "PV_ORLISK: %s\n", message.toLocal8Bit().constData());
    }
    delete SettingsIni;
    SettingsIni = nullptr;
    FClockContext.reset();
    if (ModuleMain == this)
        ModuleMain = nullptr;
}

void TModuleMain::CreateModules()
{
    // Each module is published in its global right after its construction, so a
    // constructor may use the modules created before it.
    auto add = [this](auto* module, auto*& global) {
        Modules.emplace_back(module);
        global = module;
    };
    add(new TModuleIcons, ModuleIcons);
    add(new TModuleMakro, ModuleMakro);
    add(new TModulePatch, ModulePatch);
    add(new TModuleAudio, ModuleAudio);
    add(new TModuleLichtpult, ModuleLichtpult);
    add(new TModuleMaster, ModuleMaster);
    add(new TModuleSzenen, ModuleSzenen);
    add(new TModuleInterface, ModuleInterface);
}

void TModuleMain::FreeModules()
{
    // Last to first: the interface module first, the icon module last.
    while (!Modules.empty()) {
        TModuleAbstract* m = Modules.back().get();
        if (m == ModuleInterface) ModuleInterface = nullptr;
        else if (m == ModuleSzenen) ModuleSzenen = nullptr;
        else if (m == ModuleMaster) ModuleMaster = nullptr;
        else if (m == ModuleLichtpult) ModuleLichtpult = nullptr;
        else if (m == ModuleAudio) ModuleAudio = nullptr;
        else if (m == ModulePatch) ModulePatch = nullptr;
        else if (m == ModuleMakro) ModuleMakro = nullptr;
        else if (m == ModuleIcons) ModuleIcons = nullptr;
        Modules.pop_back();
    }
}

// ---- broadcasts ----

void TModuleMain::Init()
{
    for (auto& m : Modules)
        m->Init();
}

void TModuleMain::Done()
{
    for (auto& m : Modules)
        m->Done();
}

void TModuleMain::LoadIni(TStringIniFile& ini)
{
    LoadPreparedShow(ini, {});
}

TModuleMain::TPreparedShow TModuleMain::PrepareShow(const TStringIniFile& ini) const
{
    TPreparedShow prepared;
    for (const auto& m : Modules) {
        try {
            prepared.push_back(m->PrepareIni(ini));
        } catch (const std::exception&) {
            // LoadIni reads the sections again and meets the failure in its place.
            prepared.push_back(nullptr);
        }
    }
    return prepared;
}

void TModuleMain::LoadPreparedShow(TStringIniFile& ini, TPreparedShow prepared)
{
    TFlagGuard busy(ModulesBusy);
    prepared.resize(Modules.size());
    for (std::size_t i = 0; i < Modules.size(); ++i)
        Modules[i]->LoadPreparedIni(ini, std::move(prepared[i]));
}

void TModuleMain::NewProject()
{
    TFlagGuard busy(ModulesBusy);
    for (auto& m : Modules)
        m->NewProject();
}

void TModuleMain::SaveToStrings(QStringList& lines)
{
    lines += CollectShowSections().Lines();
}

namespace {

void LogSaveFailure(const QString& module, const std::exception& e)
{
    AddToErrorLog(elError, QStringLiteral("Fehler beim Speichern von Modul ") + module + QStringLiteral("    ") +
                               ExceptionMessage(e));
}

}   // namespace

TModuleMain::TShowSections TModuleMain::CollectShowSections()
{
    TShowSections sections;
    for (auto& m : Modules) {
        TShowSections::TPart& part = sections.FParts.emplace_back();
        part.Module = m->Name;
        try {
            part.Later = m->SaveLater();
            if (!part.Later)
                m->SaveToStrings(part.Lines);
        } catch (const std::exception& e) {
            LogSaveFailure(m->Name, e);
        }
    }
    return sections;
}

QStringList TModuleMain::TShowSections::Lines() const
{
    QStringList lines;
    for (const TPart& part : FParts) {
        lines += part.Lines;
        if (!part.Later)
            continue;
        try {
            part.Later(lines);
        } catch (const std::exception& e) {
            LogSaveFailure(part.Module, e);
        }
    }
    return lines;
}

QString TModuleMain::ExportText(TModuleAbstract& module)
{
    QStringList lines;
    module.SaveToStrings(lines);
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

void TModuleMain::ImportText(TModuleAbstract& module, const QString& text)
{
    TStringIniFile ini;
    ini.SetText(text);
    module.ImportIni(ini);
}

// ---- clock ----

std::int64_t TModuleMain::ClockIncrement(float factor)
{
    return RoundHalfEven64(40.0 * static_cast<double>(factor));
}

void TModuleMain::ClockTick()
{
    if (FInTick || AppClosing || AppTerminating || ModulesBusy)
        return;
    FInTick = true;
    Guarded([this] {
        FadeClock += ClockIncrement(FadeFactor);
        ChaseClock += ClockIncrement(ChaseFactor);
        Tick();
    });
    FInTick = false;
}

void TModuleMain::Tick()
{
    ++TickCount;
    RunDelayedCommands();
    if (ModuleLichtpult)
        ModuleLichtpult->Tick();
    if (ModulePatch)
        ModulePatch->Tick();
}

void TModuleMain::SlowTick()
{
    if (ModuleAudio)
        ModuleAudio->SlowTick();
}

void TModuleMain::StartClock()
{
    if (FClockStarted)
        return;
    FClockStarted = true;
    const bool mmTimer = SettingsIni->ReadBool(QStringLiteral("System"), QStringLiteral("MMTimer"), false);
    if (mmTimer) {
        // The clock thread only posts; the tick itself runs on the GUI thread. At
        // most one tick waits in the queue, so a busy GUI thread never piles them up.
        auto pending = std::make_shared<std::atomic<bool>>(false);
        QObject* context = FClockContext.get();
        FClockThread = std::make_unique<TClockThread>(std::int64_t(TickPeriodMs) * 1000000, [this, context, pending] {
            if (pending->exchange(true))
                return;
            QMetaObject::invokeMethod(
                context,
                [this, pending] {
                    *pending = false;
                    ClockTick();
                },
                Qt::QueuedConnection);
        });
    } else {
        FTickTimer = std::make_unique<QTimer>();
        FTickTimer->setTimerType(Qt::PreciseTimer);
        FTickTimer->setInterval(TickPeriodMs);
        QObject::connect(FTickTimer.get(), &QTimer::timeout, FClockContext.get(), [this] { ClockTick(); });
        FTickTimer->start();
    }
}

void TModuleMain::StopClock()
{
    if (FClockThread) {
        FClockThread->Stop();
        FClockThread.reset();
    }
    if (FTickTimer)
        FTickTimer->stop();
}

// ---- command language ----

void TModuleMain::ExecuteLines(const QStringList& lines, bool guard)
{
    QStringList tokens;
    const bool outermost = FCommandDepth == 0;
    for (const QString& source : lines) {
        if (source.isEmpty() || source.at(0) == ';')
            continue;
        QString line = source;
        if (guard && line.at(0) != 'W' && line.at(0) != 'w')
            line.prepend(QStringLiteral("W16"));
        line += 'E';
        TokenizeCommand(line, tokens);
        ExecuteCommand(tokens, 0);
        if (outermost && FDepthExceeded) {
            FDepthExceeded = false;
            return;   // already logged; the rest of this line list is skipped
        }
    }
}

void TModuleMain::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    if (tokens.isEmpty() || tokens.at(0).size() < 2)
        return;
    if (FCommandDepth == 0)
        FDepthExceeded = false;
    if (FCommandDepth >= MaxCommandDepth)
        StopRunawayNest(tokens.at(0));
    struct TDepth {
        int& d;
        explicit TDepth(int& v) : d(v) { ++d; }
        ~TDepth() { --d; }
    } depth(FCommandDepth);

    try {
        switch (TokenLetter(tokens.at(0))) {
        case 'A':
            if (ModuleAudio) ModuleAudio->ExecuteCommand(tokens, remote);
            break;
        case 'C':
        case 'I':
        case 'V':
            if (ModuleInterface) ModuleInterface->ExecuteCommand(tokens, remote);
            break;
        case 'D':
            RunD(tokens);
            break;
        case 'F':
        case 'K':
            if (ModuleLichtpult) ModuleLichtpult->ExecuteCommand(tokens, remote);
            break;
        case 'M':
            if (ModuleMakro) ModuleMakro->ExecuteCommand(tokens, remote);
            break;
        case 'N':
            RunN(tokens);
            break;
        case 'P':
            if (ModulePatch) ModulePatch->ExecuteCommand(tokens, remote);
            break;
        case 'R':
            if (ModuleMaster) ModuleMaster->ExecuteCommand(tokens, remote);
            break;
        case 'S':
        case 'T':
            if (ModuleSzenen) ModuleSzenen->ExecuteCommand(tokens, remote);
            break;
        case 'W':
            RunW(tokens);
            break;
        default:
            break;
        }
    } catch (const ECommandDepth&) {
        // Only the outermost call of a nest swallows it: callers get no exception
        // for a line that was already logged, and the outermost line list stops.
        if (FCommandDepth > 1)
            throw;
    }
}

void TModuleMain::StopRunawayNest(const QString& command)
{
    if (FCommandDepth > 0 && FDepthExceeded)
        throw ECommandDepth(QStringLiteral("Befehle zu tief verschachtelt"));
    AddToErrorLog(elError, QStringLiteral("Befehle zu tief verschachtelt: ") + command);
    if (FCommandDepth == 0)
        return;
    FDepthExceeded = true;
    throw ECommandDepth(QStringLiteral("Befehle zu tief verschachtelt"));
}

void TModuleMain::RunW(QStringList& tokens)
{
    const int state = ModuleMaster ? ModuleMaster->GetMasterState() : msKeinFade;
    const QString digits = QString::number(state);
    if (!UpperAscii(tokens.at(0)).mid(1).contains(digits))
        return;
    tokens.removeFirst();
    ExecuteCommand(tokens, 0);
}

void TModuleMain::RunD(QStringList& tokens)
{
    if (tokens.size() == 2 && UpperAscii(tokens.at(0)) == QStringLiteral("D0") && UpperAscii(tokens.at(1)) == QStringLiteral("C")) {
        ClearDelayedCommands();
        return;
    }
    const std::int64_t delay = std::int64_t(StrToIntDef(tokens.at(0).mid(1), 0)) * 100;
    tokens.removeFirst();
    DelayedCommands.push_back({tokens.join(QString()), delay});
}

void TModuleMain::ClearDelayedCommands()
{
    DelayedCommands.clear();
    ++FQueueGeneration;
}

void TModuleMain::RunDelayedCommands()
{
    // Newest first, as entries that come due together run in that order. Entries
    // queued during the pass are appended behind it and wait for the next tick. A
    // delayed "D0C" clears the queue mid-pass: the pass then ends.
    const std::uint64_t generation = FQueueGeneration;
    for (std::size_t i = DelayedCommands.size(); i-- > 0;) {
        if (generation != FQueueGeneration)
            break;
        if (i >= DelayedCommands.size())
            continue;
        const std::int64_t remaining = DelayedCommands[i].Remaining - TickPeriodMs;
        if (remaining >= 1) {
            DelayedCommands[i].Remaining = remaining;
            continue;
        }
        CommandLines = SplitLines(DelayedCommands[i].Text);
        DelayedCommands.erase(DelayedCommands.begin() + static_cast<std::ptrdiff_t>(i));
        // One failing command must not cost the console and patch their tick.
        Guarded([this] { ExecuteLines(CommandLines, false); });
    }
}

void TModuleMain::RunN(const QStringList& tokens)
{
    int k = 0, b = 0, p = 0, z = 0;
    ForEachSubToken(tokens, [&](char16_t letter, int value) {
        switch (letter) {
        case 'K': k = value; break;
        case 'B': b = value; break;
        case 'P': p = value; break;
        case 'Z': z = value; break;
        default: break;
        }
    });
    if (!InRangeInt(k, 1, 16) || !InRangeInt(b, 0, 15) || !InRangeInt(p, 0, 255) || !InRangeInt(z, 0, 255))
        return;
    const std::uint32_t message = std::uint32_t(k - 1) + std::uint32_t(b) * 16u + std::uint32_t(p) * 256u + std::uint32_t(z) * 65536u;
    try {
        MidiRoute().SendMidiShortMessage(message);
        MidiRoute().HandleMidiMessage(message);
    } catch (const std::exception& e) {
        AddToErrorLog(elError, QStringLiteral("MIDI-Fehler: ") + ExceptionMessage(e));
    }
}

// ---- start-up and the main window's services ----

void TModuleMain::AfterFormsCreated()
{
    if (ModulePatch)
        ModulePatch->RefreshPatchAssignments();
}

int TModuleMain::GetStepDuringExecution() const
{
    return FFormLink ? FFormLink->StepDuringExecution() : 0;
}

void TModuleMain::ShowScenesPage()
{
    if (FFormLink)
        FFormLink->ShowScenesPage();
}
