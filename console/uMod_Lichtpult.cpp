#include "console/uMod_Lichtpult.h"

#include "console/uMod_Master.h"
#include "cues/uMod_Szenen.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QMetaMethod>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr int LampenschonungSchritt = 24;   // largest rise of an HTP output per tick

// Clamps a 64-bit output value to the output range before it is stored.
inline int ClampOutput(std::int64_t v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
}

std::uint8_t MasterState()
{
    return ModuleMaster ? ModuleMaster->GetMasterState() : msKeinFade;
}

int Pultmaster()
{
    return ModuleMaster ? ModuleMaster->Pultmaster : 255;
}

// Counts nested calls for the lifetime of a scope, also when an exception leaves it.
class TDepthGuard {
public:
    explicit TDepthGuard(int& depth) : FDepth(depth) { ++FDepth; }
    ~TDepthGuard() { --FDepth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    int& FDepth;
};

} // namespace

// ---------------------------------------------------------------------------
// TLichtpultSignals

TLichtpultSignals::TLichtpultSignals(QObject* parent) : QObject(parent) {}

void TLichtpultSignals::connectNotify(const QMetaMethod& signal)
{
    (void)signal;
    FStale.store(true, std::memory_order_release);
}

void TLichtpultSignals::disconnectNotify(const QMetaMethod& signal)
{
    (void)signal;
    FStale.store(true, std::memory_order_release);
}

void TLichtpultSignals::Refresh()
{
    FStale.store(false, std::memory_order_release);
    static const QMetaMethod kanal = QMetaMethod::fromSignal(&TLichtpultSignals::kanalChanged);
    static const QMetaMethod tick = QMetaMethod::fromSignal(&TLichtpultSignals::tickDone);
    static const QMetaMethod prozent = QMetaMethod::fromSignal(&TLichtpultSignals::prozentChanged);
    FObserved[0] = isSignalConnected(kanal);
    FObserved[1] = isSignalConnected(tick);
    FObserved[2] = isSignalConnected(prozent);
}

// ---------------------------------------------------------------------------
// TModuleLichtpult

TModuleLichtpult::TModuleLichtpult()
    : FSignals(std::make_unique<TLichtpultSignals>()), FRandom(std::random_device{}())
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");

    ResetKategorien();
    LichtpultFenster.push_back(0);   // window 0 is docked into the main window

    Kanaele.reserve(MaxKanal + 1);   // never grows afterwards: channels keep their addresses
    for (int nr = 0; nr <= MaxKanal; ++nr)
        Kanaele.emplace_back(nr);
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        Kanaele[static_cast<std::size_t>(nr)].OnChange = [this](TKanal* k, int code) {
            TLichtpultSignals* s = FSignals.get();
            if (s->KanalObserved())
                emit s->kanalChanged(k->Nr, code);
        };
    }

    NewProject();
    Grandmaster = 255;
}

TModuleLichtpult::~TModuleLichtpult() = default;

TKanal& TModuleLichtpult::GetKanal(int nr)
{
    if (nr < 1 || nr > MaxKanal)
        throw EPvError(QStringLiteral("Kanal %1 existiert nicht.").arg(nr));
    return Kanaele[static_cast<std::size_t>(nr)];
}

bool TModuleLichtpult::FindKanal(int nr, TKanal*& k)
{
    if (nr < 1 || nr > MaxKanal) {
        k = nullptr;
        return false;
    }
    k = &Kanaele[static_cast<std::size_t>(nr)];
    return true;
}

void TModuleLichtpult::NewProject()
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        ResetKanalSettings(k);
        k.SetPegel(0);
    }
    ResetKategorien();

    // Five pages of twelve faders for channels 1..60, a wider gap after the sixth.
    // They are made once; every new show gets copies.
    static const std::vector<TLichtpultZeile> defaults = [] {
        std::vector<TLichtpultZeile> pages;
        for (int p = 0; p < 5; ++p) {
            QString row;
            for (int i = 0; i < 12; ++i)
                row += QStringLiteral("L%1K%2").arg(i == 6 ? 20 : 4).arg(p * 12 + 1 + i);
            TLichtpultZeile& page = pages.emplace_back(p);
            page.SetNode(0);
            page.SetName(QStringLiteral("Kanäle %1 - %2").arg(p * 12 + 1).arg(p * 12 + 12));
            page.SetRowString(row);
        }
        return pages;
    }();
    LichtpultZeilen.clear();
    for (const TLichtpultZeile& page : defaults)
        LichtpultZeilen.push_back(std::make_unique<TLichtpultZeile>(page));
    SortLichtpultZeilen();
}

// ---------------------------------------------------------------------------
// Tick

void TModuleLichtpult::Tick()
{
    if (IsCrossfadeRunning(MasterState()))
        CrossfadeStep();
    MixGroups();
    StepSequences();
    for (int nr = 1; nr <= MaxKanal; ++nr)
        UpdateKanalOutput(Kanaele[static_cast<std::size_t>(nr)]);
    if (FSignals->TickObserved())
        emit FSignals->tickDone();
}

void TModuleLichtpult::UpdateKanalOutput(TKanal& k)
{
    switch (k.Modus) {
    case kmHTP:
        ComputeHtpOutput(k);
        break;
    case kmLTP:
        if (!IsCrossfadeRunning(MasterState()) && k.Pegel != k.LastPegel) {
            k.SetOutput(k.Pegel);
            k.SetLastPegel(k.Output);
        }
        break;
    case kmDirekt:
        k.SetOutput(k.Pegel);
        break;
    case kmBlinken:
    case kmFlackern:
        ComputeBlinkOutput(k);
        break;
    default:
        break;   // unknown mode: the output stays
    }
}

namespace {

// The level before the grand master: the fader through the console master, the
// last scene's lane (unless playback mode shows the faders alone) and the groups.
std::int64_t MixedLevel(const TKanal& k, bool ablauf)
{
    const std::int64_t l = static_cast<std::int64_t>(k.Pegel) * Pultmaster() / 255;
    const std::uint8_t state = MasterState();
    if (ablauf && (state == msKeinFade || state == msEnde))
        return std::max<std::int64_t>(l, k.GroupLevel);
    return std::max<std::int64_t>(l, std::max(k.FadeMax.Current, k.GroupLevel));
}

} // namespace

void TModuleLichtpult::ComputeHtpOutput(TKanal& k)
{
    int out = ClampOutput(MixedLevel(k, Ablauf) * Grandmaster / 255);
    // Lamp protection limits the rise per tick. LastOutput follows every tick, also
    // while the option is off, so that switching it on with a lit stage holds the stage.
    if (Lampenschonung && out - k.LastOutput > LampenschonungSchritt)
        out = k.LastOutput + LampenschonungSchritt;
    k.SetOutput(out);
    k.SetLastOutput(k.Output);
}

void TModuleLichtpult::ComputeBlinkOutput(TKanal& k)
{
    const std::int64_t o = MixedLevel(k, Ablauf);

    // Fraction of the blink period that has passed. Blinking runs on the fade clock,
    // so the fade speed scales it, pause freezes it and reverse runs it backwards.
    // A period of 0 or below has no phase: the fraction stays 0.
    double fraction = 0.0;
    const std::int64_t period = k.BlinkPeriod;
    if (period > 0) {
        const std::int64_t t = (static_cast<std::int64_t>(k.BlinkPhase) * period / 360 + FadeClock) % period;
        fraction = static_cast<double>(t) / static_cast<double>(period);
    }

    std::int64_t v = 0;
    if (k.Modus == kmBlinken) {
        if (fraction < static_cast<double>(k.BlinkDuty) / 100.0)
            v = k.Pegel;
    } else {
        const int r = std::uniform_int_distribution<int>(0, 9)(FRandom);
        if (fraction < static_cast<double>(r) / 10.0)
            v = Random(k.Pegel) / 2 + k.Pegel / 2;
    }

    // Up to 2^54 x 2^8 x 2^31: formed in 128 bits, then clamped.
    const __int128 product = static_cast<__int128>(o) * Grandmaster * v / 65025;
    k.SetOutput(product < 0 ? 0 : (product > 255 ? 255 : static_cast<int>(product)));
}

int TModuleLichtpult::Random(int n)
{
    if (n <= 0)
        return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(FRandom);
}

// ---------------------------------------------------------------------------
// Crossfade

void TModuleLichtpult::CrossfadeStep()
{
    const std::int64_t elapsed = FadeClock - FadeStart;
    // The fraction is held to 0..1: a fade running backwards past its start stays at
    // the start values. A fade without duration is no exception: it reaches its
    // targets on the first tick in which the fade clock moves, as every fade moves
    // only with the clock.
    const long double q = static_cast<long double>(elapsed) / (static_cast<long double>(FadeDauer) + 0.001L);
    const float f = static_cast<float>(std::clamp(q, 0.0L, 1.0L));
    for (int nr = 1; nr <= MaxKanal; ++nr)
        CrossfadeKanalStep(Kanaele[static_cast<std::size_t>(nr)], f);

    const std::int64_t rest = FadeDauer - elapsed;
    if (elapsed > FadeDauer || FadeClock < FadeStart) {
        if (ModuleMaster)
            ModuleMaster->SetMasterState(msEnde);
    }
    if (ModuleMaster)
        ModuleMaster->SetRestzeit(rest);
}

void TModuleLichtpult::CrossfadeKanalStep(TKanal& k, float f)
{
    if (!(f >= 0.0f))
        f = 0.0f;   // also NaN
    else if (f > 1.0f)
        f = 1.0f;
    const bool fast = IsFastFraction(f);
    switch (k.Modus) {
    case kmHTP:
    case kmBlinken:
    case kmFlackern:
        k.FadeB.FadeTripleStep(f, fast);
        k.FadeA.FadeTripleStep(f, fast);
        k.FadeMax.FadeTripleStep(f, fast);
        if (Ablauf)
            k.SetPegel(k.FadeA.Current);
        break;
    case kmLTP:
        // Always stepped: with Target = Start the lane yields Start, never a value
        // left over from an earlier fade.
        k.FadeA.FadeTripleStep(f, fast);
        k.SetOutput(k.FadeA.Current);
        if (Ablauf)
            k.SetPegel(k.FadeA.Current);
        break;
    case kmDirekt:
        k.FadeA.FadeTripleStep(f, fast);
        break;
    default:
        break;
    }
}

void TModuleLichtpult::StartCrossfade(const TLevelArray& levels, int time, bool backward)
{
    // A scene macro run by the state change may recall a scene, whose macro may
    // recall one again: the nesting is limited so that a self-recall ends.
    if (FCrossfadeDepth >= MaxCrossfadeDepth) {
        AddToErrorLog(elWarning, QStringLiteral("Überblendung zu tief verschachtelt: Szenenaufruf ignoriert"));
        return;
    }
    TDepthGuard depth(FCrossfadeDepth);

    // The group lane: what the group faders stored in the scene hold on each HTP channel.
    TLevelArray groups{};
    for (int g = 0; g < GroupCount; ++g) {
        const int gl = levels[static_cast<std::size_t>(ErsterGruppenKanal + g)];
        if (gl <= 0 || !ModuleSzenen)
            continue;
        for (int nr = 1; nr <= LetzterKonsolenKanal; ++nr) {
            if (Kanaele[static_cast<std::size_t>(nr)].Modus != kmHTP)
                continue;
            const int v = ModuleSzenen->GroupLevel(g, nr) * gl / 255;
            std::uint8_t& b = groups[static_cast<std::size_t>(nr)];
            if (v > b)
                b = static_cast<std::uint8_t>(v);
        }
    }

    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        k.FadeB.SetStart(k.FadeB.Current);
        if (Ablauf) {
            k.FadeA.SetStart(k.Output);
            k.FadeMax.SetStart(k.Output);
        } else {
            k.FadeA.SetStart(k.Modus == kmLTP ? k.Output : k.FadeA.Current);
            k.FadeMax.SetStart(k.FadeMax.Current);
        }
        k.FadeA.SetTarget(levels[static_cast<std::size_t>(nr)]);
        k.FadeB.SetTarget(groups[static_cast<std::size_t>(nr)]);
        k.FadeMax.SetTarget(std::max(k.FadeB.Target, k.FadeA.Target));
    }

    // The timing is set before the state change: its macro lines may start another
    // crossfade, which then owns the timing.
    FadeStart = FadeClock;
    FadeDauer = static_cast<std::int64_t>(std::max(time, 0)) * 100;
    if (ModuleMaster)
        ModuleMaster->SetMasterState(backward ? msStartRueckwaerts : msStart);
}

// ---------------------------------------------------------------------------
// Groups and step sequences

void TModuleLichtpult::MixGroups()
{
    // Group faders at 1..255, the normal case, are mixed in 16-bit lanes over whole
    // rows, which the compiler turns into vector code: 60 groups x 729 channels
    // each tick. A fader above 255 (levels are not clamped) takes the wide path.
    constexpr std::size_t Vektorbreite = 720;   // a multiple of every vector width
    std::array<std::int16_t, MaxKanal + 1> mix{};
    std::array<std::int32_t, MaxKanal + 1> wide;
    bool anyWide = false;

    if (ModuleSzenen) {
        for (int g = 0; g < GroupCount; ++g) {
            const int p = Kanaele[static_cast<std::size_t>(ErsterGruppenKanal + g)].Pegel;
            if (p <= 0)
                continue;
            const TLevelArray& row = ModuleSzenen->GroupLevelRow(g);
            if (p <= 255) {
                const auto p16 = static_cast<std::uint16_t>(p);
                const auto contribution = [p16](std::uint8_t level) {
                    return static_cast<std::int16_t>(static_cast<std::uint16_t>(level * p16) / 255u);
                };
                for (std::size_t n = 0; n < Vektorbreite; ++n) {
                    const std::int16_t v = contribution(row[n]);
                    mix[n] = v > mix[n] ? v : mix[n];
                }
                for (std::size_t n = Vektorbreite; n < row.size(); ++n) {
                    const std::int16_t v = contribution(row[n]);
                    mix[n] = v > mix[n] ? v : mix[n];
                }
            } else {
                if (!anyWide)
                    wide.fill(0);
                anyWide = true;
                for (std::size_t n = 0; n < row.size(); ++n) {
                    const auto v = static_cast<std::int32_t>(static_cast<std::int64_t>(row[n]) * p / 255);
                    wide[n] = std::max(wide[n], v);
                }
            }
        }
    }

    // Only HTP channels take group levels, and group channels never do.
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        const bool target = k.Modus == kmHTP && (nr <= LetzterKonsolenKanal || nr >= ErsterSequenzKanal);
        int level = 0;
        if (target) {
            level = mix[static_cast<std::size_t>(nr)];
            if (anyWide)
                level = std::max(level, static_cast<int>(wide[static_cast<std::size_t>(nr)]));
        }
        k.SetGroupLevel(level);
    }
}

void TModuleLichtpult::ApplySequenceStep(TKanal& k, int step, float f)
{
    FSequenceLevels.fill(NoSequenceLevel);
    ApplySequenceStepInto(k, step, f, FSequenceLevels);
    MergeSequenceLevels(FSequenceLevels);
}

void TModuleLichtpult::StepSequences()
{
    // The sequences raise group levels only, and read nothing that another sequence
    // changes (their own outputs are those of the previous tick). So their levels are
    // gathered in one small array first and raised into the channels once, which
    // keeps 60 x 192 scattered updates inside the first-level cache.
    FSequenceLevels.fill(NoSequenceLevel);
    for (int nr = ErsterSequenzKanal; nr <= LetzterSequenzKanal; ++nr)
        StepSequenceInto(Kanaele[static_cast<std::size_t>(nr)], FSequenceLevels);
    MergeSequenceLevels(FSequenceLevels);
}

void TModuleLichtpult::StepSequenceInto(TKanal& k, TSequenceLevels& levels)
{
    if (k.Output == 0) {
        k.SequenceStart = 0;   // restarts at step 1 the next time the channel rises
        return;
    }
    const std::int64_t t = static_cast<std::int64_t>(k.Takt) * 40;
    if (t <= 0 || k.SchrittZahl <= 0)
        return;
    if (k.SequenceStart == 0)
        k.SequenceStart = ChaseClock;
    const std::int64_t elapsed = ChaseClock - k.SequenceStart;
    k.CurrentStep = static_cast<int>((elapsed / t) % k.SchrittZahl) + 1;
    const float f = static_cast<float>(static_cast<double>(elapsed % t) / static_cast<double>(t));
    ApplySequenceStepInto(k, k.CurrentStep, f, levels);
}

void TModuleLichtpult::ApplySequenceStepInto(const TKanal& k, int step, float f, TSequenceLevels& levels)
{
    const int previous = step - 1 < 1 ? k.SchrittZahl : step - 1;
    const int entries = std::min(k.EintragZahl, KanalEintragMax);
    const int modus = (k.FadeModus >= 0 && k.FadeModus <= 3) ? k.FadeModus : 0;   // unknown: hard steps
    if (!(f >= 0.0f))
        f = 0.0f;   // also NaN
    else if (f > 1.0f)
        f = 1.0f;
    const bool fast = IsFastFraction(f);
    const std::int64_t output = k.Output;   // this channel's output of the previous tick
    for (int i = 1; i <= entries; ++i) {
        const int target = k.GetEintrag(i, -1);
        if (target < 1 || target > MaxKanal)
            continue;
        const int neu = k.GetEintrag(i, step);
        int v = neu;
        // Hard steps (mode 0) need not read the previous step's value.
        const int alt = modus == 0 ? neu : k.GetEintrag(i, previous);
        if (neu != alt) {
            switch (modus) {
            case 1:   // fade in from 0
                v = RoundLerp(0, neu, f, fast);
                break;
            case 2:   // fade out to 0
                v = neu - RoundLerp(0, neu, f, fast);
                break;
            case 3:   // crossfade from the previous step
                v = RoundLerp(alt, neu, f, fast);
                break;
            default:
                break;
            }
        }
        // Table values are levels as a rule: then 32 bits hold the product.
        const int level = (v >= 0 && v <= 0xFFFFFF)
                              ? static_cast<int>(static_cast<std::uint32_t>(output) * static_cast<std::uint32_t>(v) / 255u)
                              : static_cast<int>(output * v / 255);
        int& slot = levels[static_cast<std::size_t>(target)];
        slot = std::max(slot, level);
    }
}

void TModuleLichtpult::MergeSequenceLevels(const TSequenceLevels& levels)
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        const int v = levels[static_cast<std::size_t>(nr)];
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        if (v > k.GroupLevel)
            k.SetGroupLevel(v);
    }
}

// ---------------------------------------------------------------------------
// Operations on all channels

void TModuleLichtpult::SetPegelFromArray(const TLevelArray& levels)
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        if (k.Modus == kmHTP || k.Modus == kmLTP)
            k.SetPegel(levels[static_cast<std::size_t>(nr)]);
    }
}

void TModuleLichtpult::BlackOut()
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        if (k.Modus == kmHTP || k.Modus == kmLTP)
            k.SetPegel(k.BlackoutPegel);
    }
}

namespace {

// The smallest level that the console master turns into at least v. Under a master
// of 0 or below no level shows anything; then v itself, which shows once the master
// is raised again.
int LevelUnderMaster(std::int64_t v, std::int64_t master)
{
    const std::int64_t level = master > 0 ? (v * 255 + master - 1) / master : v;
    return static_cast<int>(std::clamp<std::int64_t>(level, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

} // namespace

void TModuleLichtpult::SetAblauf(bool v)
{
    // The switch leaves the stage as it is. The two modes differ only in the last
    // scene's lane of an HTP channel while no fade runs: console mode shows it beside
    // the fader, playback mode shows the fader alone. So the fader takes over what the
    // lane adds, or the lane gives up what it would add, measured before the masters:
    // the output a channel had came through the masters and would pass them again.
    // Blink and flicker levels are the blink's height, not a momentary output, and a
    // Direkt channel's output is its level: both stay as they are.
    const std::uint8_t state = MasterState();
    const bool laneChanges = v != Ablauf && (state == 0 || state == 5);
    const std::int64_t master = Pultmaster();
    Ablauf = v;
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        if (k.Modus == kmHTP) {
            if (!laneChanges)
                continue;
            const std::int64_t own = static_cast<std::int64_t>(k.Pegel) * master / 255;
            if (k.FadeMax.Current <= own)
                continue;
            if (v)
                k.SetPegel(LevelUnderMaster(k.FadeMax.Current, master));
            else
                k.FadeMax.SetCurrent(static_cast<int>(std::max<std::int64_t>(own, 0)));
        } else if (k.Modus == kmLTP) {
            // The output follows a fade, not the fader: the fader takes it over. A fader
            // move the next tick has yet to put out is kept.
            if (k.Pegel == k.LastPegel)
                k.SetPegel(k.Output);
        }
    }
}

void TModuleLichtpult::SetGrandmaster(int v)
{
    Grandmaster = ClampInt(v, 0, 255);
}

void TModuleLichtpult::SetProzent(bool v)
{
    Prozent = v;
    if (FSignals->ProzentObserved())
        emit FSignals->prozentChanged(v);
}

QString TModuleLichtpult::FormatLevel(int v) const
{
    return QString::number(Prozent ? LevelToPercent(v) : v);
}

// ---------------------------------------------------------------------------
// Commands

void TModuleLichtpult::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    (void)remote;
    if (tokens.isEmpty() || tokens.at(0).isEmpty())
        return;
    tokens[0] = UpperAscii(tokens.at(0));
    const QChar letter = tokens.at(0).at(0);
    if (letter == QLatin1Char('F'))
        return;   // F lines are accepted and have no effect
    if (letter == QLatin1Char('K'))
        ExecuteKanalCommand(tokens);
}

void TModuleLichtpult::ExecuteKanalCommand(const QStringList& tokens)
{
    TKanal* k = nullptr;
    if (!FindKanal(GetTokenInt(tokens, 0), k))
        return;
    ForEachSubToken(tokens, [&](char16_t letter, int v) {
        switch (letter) {
        case '%': k->SetPegel(PercentToLevel(v)); break;
        case 'L':
        case 'P': k->SetPegel(v); break;
        case 'F': k->SetFlash(v); break;
        case 'B': k->SetBlackout(v); break;
        case 'I': k->SetIcon(v); break;
        case 'V': k->SetVF(v); break;
        case 'H': k->SetHF(v); break;
        case 'S': k->SetModus(v); break;
        case 'G': k->SetBlinkPeriod(v); break;
        case 'A': k->SetBlinkDuty(v); break;
        case 'W': k->SetBlinkPhase(v); break;
        default: break;
        }
    });
}

// ---------------------------------------------------------------------------
// Pages, categories and console windows

TLichtpultZeile* TModuleLichtpult::GetLichtpultZeile(int i) const
{
    if (i < 0 || i >= PageCount())
        return nullptr;
    return LichtpultZeilen[static_cast<std::size_t>(i)].get();
}

int TModuleLichtpult::AddPage(std::unique_ptr<TLichtpultZeile> page)
{
    if (!page)
        return -1;
    LichtpultZeilen.push_back(std::move(page));
    return PageCount() - 1;
}

void TModuleLichtpult::SetZeilenKanal(int page, int slot, int nr)
{
    TLichtpultZeile* z = GetLichtpultZeile(page);
    if (!z || slot < 0 || slot >= TLichtpultZeile::SlotCount)
        return;
    z->Slots[static_cast<std::size_t>(slot)].Nr = nr;
    emit FSignals->zeilenKanalChanged(page, slot, nr);
}

void TModuleLichtpult::MovePage(int i, int delta)
{
    const std::int64_t j = static_cast<std::int64_t>(i) + delta;
    if (i < 0 || i >= PageCount() || j < 0 || j >= PageCount() || j == i)
        return;
    auto& a = LichtpultZeilen[static_cast<std::size_t>(i)];
    auto& b = LichtpultZeilen[static_cast<std::size_t>(j)];
    const int order = a->Order;
    a->SetOrder(b->Order);
    b->SetOrder(order);
    std::swap(a, b);
    SortLichtpultZeilen();
}

void TModuleLichtpult::SortLichtpultZeilen()
{
    std::stable_sort(LichtpultZeilen.begin(), LichtpultZeilen.end(),
                     [](const std::unique_ptr<TLichtpultZeile>& a, const std::unique_ptr<TLichtpultZeile>& b) {
                         return a->Node != b->Node ? a->Node < b->Node : a->Order < b->Order;
                     });
    for (int i = 0; i < PageCount(); ++i)
        LichtpultZeilen[static_cast<std::size_t>(i)]->SetOrder(i);
    emit FSignals->pagesChanged();
}

void TModuleLichtpult::RefreshWindows()
{
    emit FSignals->refreshWindowsRequested();
}

int TModuleLichtpult::OpenLichtpultWindow()
{
    const int n = static_cast<int>(LichtpultFenster.size());
    LichtpultFenster.push_back(n);
    emit FSignals->windowOpened(n);
    return n;
}

void TModuleLichtpult::ShowWindowFromMenu(int tag)
{
    if (tag < 0)
        return;
    const int index = tag % 100;
    if (index >= static_cast<int>(LichtpultFenster.size()))
        return;
    emit FSignals->showWindowRequested(index, tag >= 100);
}

void TModuleLichtpult::FocusChannelList()
{
    emit FSignals->focusChannelListRequested();
}

void TModuleLichtpult::ResetKategorien()
{
    Kategorien = QStringList{QStringLiteral("nach Kanal"), QStringLiteral("nach Position"),
                             QStringLiteral("nach Funktion")};
}

// ---------------------------------------------------------------------------
// Show sections

namespace {

const QString SectionKanaele = QStringLiteral("Kanäle");
const QString SectionKategorien = QStringLiteral("Kategorien");
const QString SectionLichtpult = QStringLiteral("Lichtpult");

QString Line(const char* prefix, int n, const QString& value)
{
    return QLatin1String(prefix) + QString::number(n) + QLatin1Char('=') + value;
}

QString Line(const char* prefix, int n, int value)
{
    return Line(prefix, n, QString::number(value));
}


// A count from a file, held to what a list may sensibly hold; more is logged.
int CappedCount(int count, int cap, const QString& what)
{
    if (count <= cap)
        return count;
    AddToErrorLog(elWarning, QStringLiteral("%1: Zahl=%2 ist zu groß, nur %3 werden gelesen").arg(what).arg(count).arg(cap));
    return cap;
}

} // namespace

void TModuleLichtpult::ResetKanalSettings(TKanal& k)
{
    // Most channels of a show are at their defaults: nothing to set, nothing to notify.
    if (!k.DiffersFromDefaults() && k.VF == 0 && k.HF == 10)
        return;
    // Icon and colours are stored silently; their views hear of it once.
    const bool glyph = k.Icon != -1 || k.VF != 0 || k.HF != 10;
    k.SetName(QString());
    k.SetFlash(255);
    k.SetBlackout(0);
    k.SetModus(kmHTP);
    k.SetIcon(-1);
    k.SetVF(0);
    k.SetHF(10);
    if (glyph)
        k.IconChanged();
}

bool TModuleLichtpult::ReadKanalSettings(TKanal& k, int key, const TStringIniFile& ini)
{
    const int hf = ini.ReadInteger(SectionKanaele, TIniKey("HF_", key), -1);
    if (hf < 0)
        return false;
    k.SetName(ini.ReadString(SectionKanaele, TIniKey("Name_", key), QString()));
    k.SetModus(ini.ReadInteger(SectionKanaele, TIniKey("Sta_", key), kmHTP));
    k.SetIcon(ini.ReadInteger(SectionKanaele, TIniKey("Ic_", key), -1));
    k.SetVF(ini.ReadInteger(SectionKanaele, TIniKey("VF_", key), 0));
    k.SetHF(hf);
    k.SetFlash(ini.ReadInteger(SectionKanaele, TIniKey("Fl_", key), 255));
    k.SetBlackout(ini.ReadInteger(SectionKanaele, TIniKey("BO_", key), 0));
    return true;
}

void TModuleLichtpult::ReadSequence(TKanal& k, const TStringIniFile& ini, bool held)
{
    const int n = k.Nr;
    const auto integer = [&](const char* prefix, int def) {
        return held ? ini.ReadInteger(SectionKanaele, TIniKey(prefix, n), def) : def;
    };
    k.SetFadeModus(integer("FM_", 0));
    k.SetTakt(integer("Ta_", 25));
    k.SetSchrittZahl(integer("CS_", 2));
    k.SetEintragZahl(integer("Ka_", 0));
    k.LedDefs = held ? ini.ReadString(SectionKanaele, TIniKey("LedDefs_", n), QString()) : QString();

    // The counts are stored as read; the loops stop at the table's size, beyond
    // which every value would be dropped anyway. Cells outside what the file gives
    // are cleared, so that a longer sequence of the previous show does not show
    // through when the step or entry count is raised later: the whole table is
    // cleared at once and only the cells the file gives are read.
    k.ClearEintraege();
    const int steps = std::min(k.SchrittZahl, KanalSpalteMax);
    const int entries = std::min(k.EintragZahl, KanalEintragMax);
    if (steps < KanalSpalteMin || entries < 1)
        return;
    for (int j = KanalSpalteMin; j <= steps; ++j) {
        QString text = ini.ReadString(SectionKanaele, TIniKey("CF_", n, "_").Append(j), QString());
        for (int i = 1; i <= entries; ++i) {
            const int v = TakeIntField(text, 0);
            if (v != 0)
                k.SetEintrag(i, j, v);
        }
    }
}

void TModuleLichtpult::ReadKategorien(const TStringIniFile& ini)
{
    Kategorien.clear();
    const int count = CappedCount(ini.ReadInteger(SectionKategorien, QStringLiteral("Zahl"), 0), MaxShowListCount,
                                  SectionKategorien);
    for (int i = 1; i <= count; ++i) {
        const QString name = ini.ReadString(SectionKategorien, TIniKey("Name_", i), QString());
        if (!TrimBlanks(name).isEmpty())
            Kategorien.append(name);
    }
    if (Kategorien.size() < 3)
        ResetKategorien();
}

void TModuleLichtpult::ReadPages(const TStringIniFile& ini)
{
    LichtpultZeilen.clear();
    const int count = CappedCount(ini.ReadInteger(SectionLichtpult, QStringLiteral("Zahl"), 0), MaxShowListCount,
                                  SectionLichtpult);
    // A page whose number ends no key gets the defaults without lookups.
    const std::vector<bool> held = ini.KeyNumbers(SectionLichtpult, count - 1);
    for (int i = 0; i < count; ++i) {
        auto page = std::make_unique<TLichtpultZeile>(i);
        const bool keys = held[static_cast<std::size_t>(i)];
        page->SetName(keys ? ini.ReadString(SectionLichtpult, TIniKey("Name_", i), QString()) : QString());
        page->SetNode(keys ? ini.ReadInteger(SectionLichtpult, TIniKey("Node_", i), 0) : 0);
        page->SetRowString(keys ? ini.ReadString(SectionLichtpult, TIniKey("Cmd_", i), QString()) : QString());
        LichtpultZeilen.push_back(std::move(page));
    }
}

bool TModuleLichtpult::HoldsSequence(int n, const TStringIniFile& ini) const
{
    for (const char* prefix : {"FM_", "Ta_", "CS_", "Ka_", "LedDefs_"})
        if (ini.ValueExists(SectionKanaele, TIniKey(prefix, n)))
            return true;
    return false;
}

void TModuleLichtpult::ReadSections(TStringIniFile& ini, bool wholeShow)
{
    // A show holds only the channels that differ from a new show's: a channel it
    // does not hold gets a new show's settings, not those of the previous show. A
    // module text changes only what it holds.
    // A channel number that ends no key of the section has none of its keys: its
    // lookups are skipped (they would all miss).
    const std::vector<bool> held = ini.KeyNumbers(SectionKanaele, MaxKanal);
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        const bool keys = held[static_cast<std::size_t>(nr)];
        if (!(keys && ReadKanalSettings(k, nr, ini)) && wholeShow)
            ResetKanalSettings(k);
        if (k.Kind == kkSequenz && (wholeShow || (keys && HoldsSequence(nr, ini))))
            ReadSequence(k, ini, keys);
    }
    if (wholeShow || ini.SectionExists(SectionKategorien))
        ReadKategorien(ini);
    if (wholeShow || ini.SectionExists(SectionLichtpult))
        ReadPages(ini);
    RefreshWindows();
    SortLichtpultZeilen();
}

void TModuleLichtpult::LoadIni(TStringIniFile& ini)
{
    ReadSections(ini, true);
}

void TModuleLichtpult::ImportIni(TStringIniFile& ini)
{
    ReadSections(ini, false);
}

void TModuleLichtpult::WriteKanal(const TKanal& k, int key, QStringList& lines) const
{
    lines.append(Line("Name_", key, OneLine(k.Name)));
    lines.append(Line("Sta_", key, k.Modus));
    lines.append(Line("Ic_", key, k.Icon));
    lines.append(Line("VF_", key, k.VF));
    lines.append(Line("HF_", key, k.HF));
    lines.append(Line("Fl_", key, k.FlashPegel));
    lines.append(Line("BO_", key, k.BlackoutPegel));
}

void TModuleLichtpult::WriteSequence(const TKanal& k, QStringList& lines) const
{
    const int n = k.Nr;
    lines.append(Line("FM_", n, k.FadeModus));
    lines.append(Line("Ta_", n, k.Takt));
    lines.append(Line("CS_", n, k.SchrittZahl));
    lines.append(Line("Ka_", n, k.EintragZahl));
    lines.append(Line("LedDefs_", n, OneLine(k.LedDefs)));
    // Beyond the table every value reads 0, and so does a missing one on load.
    const int steps = std::min(k.SchrittZahl, KanalSpalteMax);
    const int entries = std::min(k.EintragZahl, KanalEintragMax);
    const QString prefix = QStringLiteral("CF_") + QString::number(n) + QLatin1Char('_');
    for (int j = KanalSpalteMin; j <= steps; ++j) {
        QString line = prefix + QString::number(j) + QLatin1Char('=');
        for (int i = 1; i <= entries; ++i) {
            line += QString::number(k.GetEintrag(i, j));
            line += QLatin1Char(';');
        }
        lines.append(line);
    }
}

void TModuleLichtpult::SaveToStrings(QStringList& lines)
{
    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionKanaele + QLatin1Char(']'));
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        const TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        const bool sequence = k.IsProgrammedSequence();
        if (sequence || k.DiffersFromDefaults())
            WriteKanal(k, nr, lines);
        if (sequence)
            WriteSequence(k, lines);
    }

    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionKategorien + QLatin1Char(']'));
    lines.append(QStringLiteral("Zahl=") + QString::number(Kategorien.size()));
    for (int i = 0; i < Kategorien.size(); ++i)
        lines.append(Line("Name_", i + 1, OneLine(Kategorien.at(i))));

    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionLichtpult + QLatin1Char(']'));
    lines.append(QStringLiteral("Zahl=") + QString::number(PageCount()));
    for (int i = 0; i < PageCount(); ++i) {
        const TLichtpultZeile& z = *LichtpultZeilen[static_cast<std::size_t>(i)];
        lines.append(Line("Name_", i, OneLine(z.Name)));
        lines.append(Line("Node_", i, z.Node));
        lines.append(Line("Cmd_", i, z.GetRowString()));
    }
}

// ---------------------------------------------------------------------------
// Channel export and import

void TModuleLichtpult::ExportKanaele(int first, int last, QStringList& lines) const
{
    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionKanaele + QLatin1Char(']'));
    const int from = std::max(first, 1);
    const int to = std::min(last, MaxKanal);
    for (int n = from; n <= to; ++n)
        WriteKanal(Kanaele[static_cast<std::size_t>(n)], static_cast<int>(static_cast<std::int64_t>(n) - first + 1), lines);
}

void TModuleLichtpult::ImportKanaele(int first, int last, const TStringIniFile& ini)
{
    const int from = std::max(first, 1);
    const int to = std::min(last, MaxKanal);
    for (int n = from; n <= to; ++n)
        ReadKanalSettings(Kanaele[static_cast<std::size_t>(n)], static_cast<int>(static_cast<std::int64_t>(n) - first + 1), ini);
    RefreshWindows();
}
