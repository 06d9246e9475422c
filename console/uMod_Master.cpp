#include "console/uMod_Master.h"

#include "console/uMod_Lichtpult.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <algorithm>
#include <cmath>

namespace {

// Factors below this stop the clock: the slowest bar positions mean "stopped".
constexpr double FactorCutOff = 0.019;

// Marks a setter as running for its whole duration, also when it raises.
class TBusyScope {
public:
    explicit TBusyScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TBusyScope() { FFlag = false; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    bool& FFlag;
};

float CutOff(float factor)
{
    return std::fabs(factor) < FactorCutOff ? 0.0f : factor;
}

} // namespace

TModuleMaster::TModuleMaster()
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");
    Pultmaster = 255;
}

float TModuleMaster::SpeedFactor(int pos)
{
    // A position beyond the bar's ends (a command can give any number) would give
    // an infinite factor, and the clock cannot advance by that.
    pos = ClampInt(pos, 0, MaxSpeedPosition);
    const long double exponent = static_cast<long double>(DefaultSpeedPosition - pos) / 50.0L;
    return static_cast<float>(std::pow(10.0L, exponent));
}

float TModuleMaster::FadeFactorFor(int pos) const
{
    const float f = SpeedFactor(pos);
    return CutOff(Reverse ? -f : f);
}

// ---- lifecycle ----

void TModuleMaster::LoadIni(TStringIniFile& ini)
{
    // The mode is a setting of this computer, not of the show: it comes from the
    // settings file. "J" switches playback mode on; "N" leaves the mode as it is.
    (void)ini;
    if (SettingsIni && SettingsIni->ReadBoolJN(QStringLiteral("Master"), QStringLiteral("Ablauf"), false) && !Ablauf)
        SetAblauf(true);
}

void TModuleMaster::Done()
{
    // Until a show is opened or the mode is switched, the console runs in console
    // mode whatever the settings say; such a session keeps the stored mode. A
    // settings file without the key gets it.
    const QString section = QStringLiteral("Master");
    const QString key = QStringLiteral("Ablauf");
    if (SettingsIni && (AblaufSet || !SettingsIni->ValueExists(section, key)))
        SettingsIni->WriteBoolJN(section, key, Ablauf);
}

void TModuleMaster::NewProject()
{
    SetFadeFaktor(DefaultSpeedPosition);
    SetPultmaster(255);
    SetGrandmaster(255);
}

// ---- setters ----

void TModuleMaster::SetPultmaster(int v)
{
    if (Busy)
        return;
    TBusyScope busy(Busy);
    Pultmaster = v;
    Changed();
}

void TModuleMaster::SetGrandmaster(int v)
{
    if (Busy)
        return;
    TBusyScope busy(Busy);
    Grandmaster = v;
    if (ModuleLichtpult)
        ModuleLichtpult->SetGrandmaster(v);
    Changed();
}

void TModuleMaster::SetFadeFaktor(int pos)
{
    if (Busy)
        return;
    TBusyScope busy(Busy);
    FadePosition = ClampInt(pos, 0, MaxSpeedPosition);
    const float f = FadeFactorFor(FadePosition);
    // While paused the fade clock stands still; the new speed takes effect on Play.
    if (State != msPause)
        FadeFactor = f;
    FadeFaktorText = FormatFloat(f, 2);
    Changed();
}

void TModuleMaster::SetChaseFaktor(int pos)
{
    if (Busy)
        return;
    TBusyScope busy(Busy);
    ChasePosition = ClampInt(pos, 0, MaxSpeedPosition);
    ChaseFactor = CutOff(SpeedFactor(ChasePosition));
    ChaseFaktorText = FormatFloat(ChaseFactor, 2);
    Changed();
}

void TModuleMaster::SetAblauf(bool v)
{
    if (Busy)
        return;
    TBusyScope busy(Busy);
    Ablauf = v;
    AblaufSet = true;
    if (ModuleLichtpult)
        ModuleLichtpult->SetAblauf(v);
    Changed();
}

void TModuleMaster::BlackOut()
{
    if (ModuleLichtpult)
        ModuleLichtpult->BlackOut();
}

void TModuleMaster::EinsClick()
{
    if (FadePosition != DefaultSpeedPosition)
        SetFadeFaktor(DefaultSpeedPosition);
}

void TModuleMaster::SetEins(bool v)
{
    if (Eins == v)
        return;
    Eins = v;
    Changed();
}

// ---- playback state ----

void TModuleMaster::SetMasterState(std::uint8_t state)
{
    State = state;
    if (state == msStart || state == msWeiter || state == msEnde || state == msStartRueckwaerts)
        Reverse = false;
    switch (state) {
    case msStart:
    case msStartRueckwaerts:
        // A fade start runs at the speed the bar shows (100 with "1" checked). The
        // factor may still be 0 from a pause, which would hold the fade with Play
        // disabled, or negative from reverse, which would end it at once.
        SetFadeFaktor(Eins ? DefaultSpeedPosition : FadePosition);
        break;
    case msPause:
        FadeFactor = 0.0f;   // the fade clock, and with it blinking, stands still
        break;
    case msWeiter:
        SetFadeFaktor(FadePosition);
        break;
    case msRueckwaerts:
        Reverse = true;
        SetFadeFaktor(FadePosition);
        break;
    case msEnde:
        if (OnFadeEnd)
            OnFadeEnd();
        SetFadeFaktor(FadePosition);
        break;
    default:
        break;
    }
    Changed();

    // The scene's lines run guarded: plain lines only on a fade start, lines with
    // their own W condition on the states they name. A line may recall another
    // scene and so replace the list: run a copy, held for the whole pass.
    if (StateCommands && ModuleMain) {
        const std::shared_ptr<const QStringList> held = StateCommands;
        const QStringList lines = *held;
        ModuleMain->ExecuteLines(lines, true);
    }
}

void TModuleMaster::SetRestzeit(std::int64_t ms)
{
    Restzeit = std::max<std::int64_t>(ms, 0);
    const QString text = FormatFloat(static_cast<double>(Restzeit) / 1000.0, 1) + QStringLiteral(" s");
    if (text == RestzeitText)
        return;
    RestzeitText = text;
    Changed();
}

void TModuleMaster::SetStateCommands(std::shared_ptr<const QStringList> lines)
{
    StateCommands = std::move(lines);
}

// ---- command R ----

void TModuleMaster::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    (void)remote;
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'R')
        return;
    ForEachSubToken(tokens, [&](char16_t letter, int v) {
        switch (letter) {
        case 'P':
            SetPultmaster(v);
            break;
        case 'G':
            SetGrandmaster(v);
            break;
        case 'F':
            SetFadeFaktor(v);
            break;
        case 'B':
            BlackOut();
            break;
        case 'A':
            // 1 playback mode, 0 console mode; a malformed number (-1) or any
            // other value is rejected.
            if (v == 0 || v == 1)
                SetAblauf(v == 1);
            break;
        default:
            break;
        }
    });
}
