// The console module's mixer: the 40 ms tick (crossfade step, groups, step
// sequences, the output of every channel through its mode and the masters),
// the crossfade's start and the switch between console and playback mode.

#include "console/uMod_Lichtpult.h"

#include "console/uMod_Master.h"
#include "cues/uMod_Szenen.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"

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
// Playback mode

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

