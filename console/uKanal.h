#pragma once
// The channel model: TKanal (one console channel with its step-sequence table),
// TFadeTriple (one fade lane of a channel) and TLichtpultZeile (one console page,
// a row of up to 24 fader slots, with the compact row string that show files store).
//
// These are plain objects: the console module holds MaxKanal channels and every channel
// template 99 more, and the engine reads and sets them on every 40 ms tick.

#include <QString>
#include <array>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <functional>
#include <memory>

class TKanal;

// Change codes handed to TKanal::OnChange.
constexpr int kcPegel = 1;      // level
constexpr int kcOutput = 2;     // output
constexpr int kcName = 3;       // name
constexpr int kcModus = 4;      // mode
constexpr int kcIcon = 5;       // icon or its colours
constexpr int kcFlash = 6;      // flash level
constexpr int kcBlackout = 7;   // blackout level

// The channel number ranges. Console channels can be patched to DMX slots; group
// g (1..60), step sequence c (1..60) and template t (1..99) are the channels
// LetzterKonsolenKanal + g, LetzterGruppenKanal + c and LetzterSequenzKanal + t.
constexpr int ErsterKonsolenKanal = 1;
constexpr int LetzterKonsolenKanal = 510;
constexpr int ErsterGruppenKanal = 511;
constexpr int LetzterGruppenKanal = 570;
constexpr int ErsterSequenzKanal = 571;
constexpr int LetzterSequenzKanal = 630;
constexpr int ErsterVorlagenKanal = 631;
constexpr int LetzterVorlagenKanal = 729;
// The last channel: a show has channels 1..MaxKanal.
constexpr int MaxKanal = LetzterVorlagenKanal;

// Channel kinds, derived from the channel number.
constexpr std::uint8_t kkKonsole = 0;   // console channel, can be patched
constexpr std::uint8_t kkGruppe = 1;    // group channel
constexpr std::uint8_t kkSequenz = 2;   // step-sequence channel
constexpr std::uint8_t kkVorlage = 3;   // template channel

// Channel modes (TKanal::Modus).
constexpr int kmHTP = 0;
constexpr int kmLTP = 1;
constexpr int kmDirekt = 2;
constexpr int kmBlinken = 3;
constexpr int kmFlackern = 4;

// Size of the step-sequence table: entries 1..192, columns -1..99 (column -1 is
// the entry's target channel, columns 1..99 its level in each step).
constexpr int KanalEintragMax = 192;
constexpr int KanalSpalteMin = -1;
constexpr int KanalSpalteMax = 99;

// Called with the channel and one of the kc* codes. Unassigned: nothing is called.
using TKanalChangeEvent = std::function<void(TKanal* sender, int code)>;

// Round half to even of |v| < 2^31 in the default rounding mode: adding 1.5 x 2^52
// rounds v to an integer, which the low 32 bits of the sum then hold.
inline int RoundSmall(double v)
{
    const double t = v + 6755399441055744.0;
    std::int64_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
}

// A fraction for which RoundLerp may compute in double.
inline bool IsFastFraction(float f)
{
    return f == 0.0f || (f >= 1.0f / 512.0f && f <= 1.0f);
}

// Round((target - start) x f + start), halves to even, saturated to 32 bits, for f
// in 0..1: a fade lane's step and a sequence entry's fade. A tick computes
// thousands of them, so the common case is a double computation that is exact: with start and target in -2^19..2^19-1 and a single
// f of 0 or 2^-9..1 (lowest bit at least 2^-32), the product and the sum, which lies
// between start and target, need at most 52 significant bits. Anything else is
// computed in extended precision; rintl rounds as nearbyintl does in the default
// rounding mode, as one inline instruction. fastFraction is IsFastFraction(f).
inline int RoundLerp(std::int32_t start, std::int32_t target, float f, bool fastFraction)
{
    // Both in -2^19..2^19-1: offset by 2^19, neither has a bit at 2^20 or above.
    constexpr std::uint32_t Small = 1u << 19;
    const std::uint32_t offset = (static_cast<std::uint32_t>(start) + Small) | (static_cast<std::uint32_t>(target) + Small);
    if (fastFraction && offset < 2 * Small)
        return RoundSmall(static_cast<double>(target - start) * static_cast<double>(f) + start);
    const long double v = static_cast<long double>(static_cast<std::int64_t>(target) - start) * f + start;
    if (std::isnan(v))
        return start;
    const long double r = std::rintl(v);
    if (r >= 2147483647.0L)
        return 2147483647;
    if (r <= -2147483648.0L)
        return -2147483647 - 1;
    return static_cast<int>(r);
}

// One fade lane: the level moves from Start to Target; Current is the level now.
struct TFadeTriple {
    std::int32_t Start = 0;
    std::int32_t Target = 0;
    std::int32_t Current = 0;

    void SetStart(int v) { Start = v; }
    void SetTarget(int v) { Target = v; }
    void SetCurrent(int v) { Current = v; }
    void StartFromCurrent() { Start = Current; }

    // Current := Round((Target - Start) * f + Start), halves to even. f is not
    // limited to 0..1; the result saturates to the 32-bit range. A fraction that is
    // no number leaves the lane where it is.
    void FadeTripleStep(float f)
    {
        if (!std::isnan(f))
            Current = RoundLerp(Start, Target, f, IsFastFraction(f));
    }
    // The same for a whole tick's lanes, with IsFastFraction(f) computed once.
    void FadeTripleStep(float f, bool fastFraction) { Current = RoundLerp(Start, Target, f, fastFraction); }
};

class TKanal {
public:
    explicit TKanal(int nr);
    ~TKanal() = default;
    TKanal(const TKanal&) = delete;
    TKanal& operator=(const TKanal&) = delete;
    TKanal(TKanal&&) noexcept = default;
    TKanal& operator=(TKanal&&) noexcept = default;

    // The kind that belongs to a channel number (kkKonsole outside 1..729).
    static std::uint8_t KindOfNr(int nr);

    // Fields. The engine reads them directly; notified fields are changed only
    // through their setters.
    int Nr;
    int Modus = kmHTP;
    int Output = 0;          // always 0..255
    int Pegel = 0;           // not clamped
    int Icon = -1;           // -1 = no icon
    QString Name;
    int VF = 0;              // icon foreground colour
    int HF = 10;             // icon background colour (10 = transparent)
    TKanalChangeEvent OnChange;
    int FlashPegel = 255;
    int BlackoutPegel = 0;
    QString PatchText;
    int LastOutput = 0;
    int LastPegel = 0;
    int GroupLevel = 0;
    TFadeTriple FadeA;       // scene lane
    TFadeTriple FadeB;       // group lane
    TFadeTriple FadeMax;     // maximum of both targets
    int BlinkPeriod = 1000;  // milliseconds
    int BlinkPhase = 0;      // degrees
    int BlinkDuty = 50;      // percent
    std::uint8_t Kind;
    int EintragZahl = 0;
    int SchrittZahl = 0;
    int Takt = 0;            // step time in 40 ms units
    int FadeModus = 0;
    std::int64_t SequenceStart = 0;   // chase-clock time, 0 = not running
    int CurrentStep = 0;              // 0 = none
    QString LedDefs;

    void DoChange(int code)
    {
        if (OnChange)
            OnChange(this, code);
    }

    void SetPegel(int v)
    {
        if (v != Pegel) {
            Pegel = v;
            DoChange(kcPegel);
        }
    }
    // Stores v clamped to 0..255; notifies only when the stored output changes.
    void SetOutput(int v)
    {
        const int c = v < 0 ? 0 : (v > 255 ? 255 : v);
        if (c != Output) {
            Output = c;
            DoChange(kcOutput);
        }
    }
    void SetName(const QString& s);
    // Values of 5 and above become HTP (0); negative values are stored.
    void SetModus(int v);
    void IconChanged() { DoChange(kcIcon); }
    void SetFlash(int v);
    // Always notifies, even when the value is unchanged.
    void SetBlackout(int v);
    void SetIcon(int v) { Icon = v; }
    void SetVF(int v) { VF = v; }
    void SetHF(int v) { HF = v; }
    // v in tenths of a second; stored in milliseconds, saturated to the 32-bit range.
    void SetBlinkPeriod(int v);
    void SetBlinkPhase(int v) { BlinkPhase = v; }
    void SetBlinkDuty(int v) { BlinkDuty = v; }
    void SetPatchText(const QString& s) { PatchText = s; }
    void SetGroupLevel(int v) { GroupLevel = v; }
    void SetLastOutput(int v) { LastOutput = v; }
    void SetLastPegel(int v) { LastPegel = v; }
    void SetKind(int v) { Kind = static_cast<std::uint8_t>(v); }
    void SetEintragZahl(int v) { EintragZahl = v; }
    void SetSchrittZahl(int v) { SchrittZahl = v; }
    void SetTakt(int v) { Takt = v; }
    void SetFadeModus(int v) { FadeModus = v; }

    // Column j (-1..99) of entry i (1..192); 0 outside the table or while no
    // value other than 0 has been stored.
    int GetEintrag(int i, int j) const
    {
        if (!FEintrag || i < 1 || i > KanalEintragMax || j < KanalSpalteMin || j > KanalSpalteMax)
            return 0;
        return FEintrag[EintragIndex(i, j)];
    }
    // Ignored outside the table. The table is allocated on the first value other than 0.
    void SetEintrag(int i, int j, int v);
    // Whether a table has been allocated (without one every cell reads 0).
    bool HasEintraege() const { return FEintrag != nullptr; }
    // Every cell 0 again; the table stays allocated.
    void ClearEintraege();

    // Name, icon, mode, flash or blackout level differ from a new channel's.
    bool DiffersFromDefaults() const;
    // A step-sequence channel with at least two steps and one entry.
    bool IsProgrammedSequence() const;

    // Texts for lists and faders.
    QString NrText() const;        // the number shown to the user, by kind
    QString IconText() const;      // empty without icon
    QString ModusText() const;     // one of "HLDBZ", empty for another mode
    QString StepText() const;      // "current / count", empty while no step plays
    // Levels in decimal 0..255, whatever the console shows its faders in.
    QString PegelText() const { return QString::number(Pegel); }
    QString OutputText() const { return QString::number(Output); }
    QString FlashText() const { return QString::number(FlashPegel); }
    QString BlackoutText() const { return QString::number(BlackoutPegel); }

private:
    static constexpr int EintragSpalten = KanalSpalteMax - KanalSpalteMin + 1;
    // Column-major: one step's values of all entries lie together, which is how a
    // running sequence reads them every tick.
    static int EintragIndex(int i, int j) { return (j - KanalSpalteMin) * KanalEintragMax + (i - 1); }

    std::unique_ptr<std::int32_t[]> FEintrag;
};

// One fader slot of a console page.
struct TLichtpultSlot {
    std::int64_t X = 0;         // left edge in pixels inside the fader box; gaps from a file may take it past 32 bits
    int Nr = 0;                 // channel number
    bool Used = false;
    std::uint8_t SlotKind = 0;  // 0 console channel, 1 group channel, 2 step-sequence channel
};

// One console page: a named row of up to 24 fader slots.
class TLichtpultZeile {
public:
    static constexpr int SlotCount = 24;
    static constexpr int SlotWidth = 40;   // pixels

    explicit TLichtpultZeile(int order = 0);

    QString Name;
    int Node = 0;        // category index
    int Order = 0;       // position among the pages of its category
    int LastSlot = -1;   // index of the last used slot, -1 = none
    std::array<TLichtpultSlot, SlotCount> Slots{};

    void SetName(const QString& s) { Name = s; }
    void SetNode(int v) { Node = v; }
    void SetOrder(int v) { Order = v; }

    // The used slots as "L<gap>K<nr>", "L<gap>G<group>" or "L<gap>C<chaser>" elements;
    // the gap is measured from the right edge of the previous used slot.
    QString GetRowString() const;
    // Replaces all slots by the ones the row string describes (at most 24).
    void SetRowString(const QString& s);
};
