#include "console/uKanal.h"

#include "framework/uUtils.h"

#include <QStringList>
#include <QStringView>
#include <algorithm>
#include <cmath>
#include <limits>

static_assert(MaxKanal == LevelArrayMax, "a level array holds one byte per channel");

namespace {

constexpr std::int64_t Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t Int32Max = std::numeric_limits<std::int32_t>::max();

int SaturateInt(std::int64_t v)
{
    return static_cast<int>(std::clamp(v, Int32Min, Int32Max));
}

int DecimalOr(QStringView text, int def)
{
    int v;
    return TryDecimalToInt(text, v) ? v : def;
}

}   // namespace

// --- TFadeTriple -----------------------------------------------------------

// --- TKanal ----------------------------------------------------------------

TKanal::TKanal(int nr)
    : Nr(nr)
    , Kind(KindOfNr(nr))
{
}

std::uint8_t TKanal::KindOfNr(int nr)
{
    if (nr >= ErsterKonsolenKanal && nr <= LetzterKonsolenKanal)
        return kkKonsole;
    if (nr >= ErsterGruppenKanal && nr <= LetzterGruppenKanal)
        return kkGruppe;
    if (nr >= ErsterSequenzKanal && nr <= LetzterSequenzKanal)
        return kkSequenz;
    if (nr >= ErsterVorlagenKanal && nr <= LetzterVorlagenKanal)
        return kkVorlage;
    return kkKonsole;
}

void TKanal::SetName(const QString& s)
{
    if (s != Name) {
        Name = s;
        DoChange(kcName);
    }
}

void TKanal::SetModus(int v)
{
    if (v != Modus) {
        Modus = v < 5 ? v : kmHTP;
        DoChange(kcModus);
    }
}

void TKanal::SetFlash(int v)
{
    if (v != FlashPegel) {
        FlashPegel = v;
        DoChange(kcFlash);
    }
}

void TKanal::SetBlackout(int v)
{
    if (v != BlackoutPegel) {
        BlackoutPegel = v;
        DoChange(kcBlackout);
    }
}

void TKanal::SetBlinkPeriod(int v)
{
    BlinkPeriod = SaturateInt(static_cast<std::int64_t>(v) * 100);
}

void TKanal::SetEintrag(int i, int j, int v)
{
    if (i < 1 || i > KanalEintragMax || j < KanalSpalteMin || j > KanalSpalteMax)
        return;
    if (!FEintrag) {
        if (v == 0)
            return;   // an absent table reads 0 already
        // Value-initialised: every entry starts at 0.
        FEintrag = std::make_unique<std::int32_t[]>(static_cast<std::size_t>(KanalEintragMax) * EintragSpalten);
    }
    FEintrag[EintragIndex(i, j)] = v;
}

void TKanal::ClearEintraege()
{
    if (FEintrag)
        std::fill_n(FEintrag.get(), static_cast<std::size_t>(KanalEintragMax) * EintragSpalten, 0);
}

bool TKanal::DiffersFromDefaults() const
{
    return !Name.isEmpty() || Icon != -1 || Modus != kmHTP || FlashPegel != 255 || BlackoutPegel != 0;
}

bool TKanal::IsProgrammedSequence() const
{
    return Kind == kkSequenz && SchrittZahl >= 2 && EintragZahl >= 1;
}

QString TKanal::NrText() const
{
    switch (Kind) {
    case kkKonsole: return QString::number(Nr);
    case kkGruppe: return QString::number(static_cast<std::int64_t>(Nr) - LetzterKonsolenKanal);
    case kkSequenz: return QString::number(static_cast<std::int64_t>(Nr) - LetzterGruppenKanal);
    case kkVorlage: return QString::number(static_cast<std::int64_t>(Nr) - LetzterSequenzKanal);
    default: return QString();
    }
}

QString TKanal::IconText() const
{
    return Icon < 0 ? QString() : QString::number(Icon);
}

QString TKanal::ModusText() const
{
    static const QString letters = QStringLiteral("HLDBZ");
    if (Modus < 0 || Modus >= letters.size())
        return QString();
    return letters.at(Modus);
}

QString TKanal::StepText() const
{
    if (CurrentStep == 0)
        return QString();
    return QStringLiteral("%1 / %2").arg(CurrentStep).arg(SchrittZahl);
}

// --- TLichtpultZeile -------------------------------------------------------

TLichtpultZeile::TLichtpultZeile(int order)
    : Order(order)
{
}

QString TLichtpultZeile::GetRowString() const
{
    QString row;
    std::int64_t edge = 0;
    for (const TLichtpultSlot& slot : Slots) {
        if (!slot.Used)
            continue;
        const std::int64_t gap = slot.X - edge;
        const std::int64_t nr = slot.Nr;
        switch (slot.SlotKind) {
        case kkKonsole: row += QStringLiteral("L%1K%2").arg(gap).arg(nr); break;
        case kkGruppe: row += QStringLiteral("L%1G%2").arg(gap).arg(nr - LetzterKonsolenKanal); break;
        case kkSequenz: row += QStringLiteral("L%1C%2").arg(gap).arg(nr - LetzterGruppenKanal); break;
        default: break;   // no letter for another kind
        }
        edge = slot.X + SlotWidth;
    }
    return row;
}

void TLichtpultZeile::SetRowString(const QString& s)
{
    // Start from empty slots, so that a slot without a channel letter never shows
    // the channel of an earlier row.
    Slots.fill(TLichtpultSlot{});
    LastSlot = -1;
    std::int64_t pos = 0;

    // The first character is the "L" of the first element.
    const QStringList elements = SplitDelimited(s.mid(1) + QLatin1Char('L'), QLatin1Char('L'));
    for (const QString& element : elements) {
        const qsizetype k = element.indexOf(QLatin1Char('K'));
        const qsizetype g = element.indexOf(QLatin1Char('G'));
        const qsizetype c = element.indexOf(QLatin1Char('C'));
        const qsizetype letter = std::max({k, g, c});
        const QStringView view(element);
        const int gap = DecimalOr(letter < 0 ? view : view.left(letter), -1);

        TLichtpultSlot* slot = nullptr;
        if (gap < 0) {
            // No new slot: a channel letter replaces the channel of the last slot.
            if (LastSlot >= 0)
                slot = &Slots[static_cast<std::size_t>(LastSlot)];
        } else {
            if (LastSlot >= SlotCount - 1)
                break;   // the row is full; the rest of the string is ignored
            ++LastSlot;
            slot = &Slots[static_cast<std::size_t>(LastSlot)];
            slot->Used = true;
            slot->X = pos + gap;   // at most 24 gaps of 2^31 - 1: exact, so the row reads back as it was
            pos += static_cast<std::int64_t>(gap) + SlotWidth;
        }
        if (slot == nullptr || letter < 0)
            continue;

        const auto numberAfter = [&](qsizetype at) -> std::int64_t { return DecimalOr(view.mid(at + 1), 0); };
        if (k >= 0) {
            slot->Nr = SaturateInt(numberAfter(k));
            slot->SlotKind = kkKonsole;
        }
        if (g >= 0) {
            slot->Nr = SaturateInt(numberAfter(g) + LetzterKonsolenKanal);
            slot->SlotKind = kkGruppe;
        }
        if (c >= 0) {
            slot->Nr = SaturateInt(numberAfter(c) + LetzterGruppenKanal);
            slot->SlotKind = kkSequenz;
        }
    }
}
