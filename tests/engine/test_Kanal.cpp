#include "console/uKanal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Records every change notification of one channel.
struct ChangeLog {
    std::vector<int> codes;
    void Attach(TKanal& k)
    {
        k.OnChange = [this, &k](TKanal* sender, int code) {
            EXPECT_EQ(sender, &k);
            codes.push_back(code);
        };
    }
};

}   // namespace

TEST(Kanal, KindAndNumberTextByNumber)
{
    const std::vector<std::pair<int, int>> kinds = {
        {1, 0}, {510, 0}, {511, 1}, {570, 1}, {571, 2}, {630, 2}, {631, 3}, {729, 3}, {0, 0}, {730, 0}, {-3, 0}};
    for (const auto& [nr, kind] : kinds)
        EXPECT_EQ(TKanal(nr).Kind, kind) << nr;

    const std::vector<std::pair<int, QString>> shown = {
        {510, "510"}, {511, "1"}, {570, "60"}, {571, "1"}, {631, "1"}, {729, "99"}};
    for (const auto& [nr, text] : shown)
        EXPECT_EQ(TKanal(nr).NrText(), text) << nr;
    TKanal odd(5);
    odd.SetKind(7);
    EXPECT_EQ(odd.NrText(), "");
}

TEST(Kanal, NotifiesOnlyRealChanges)
{
    TKanal k(1);
    // Unassigned: setters work without a handler.
    k.SetPegel(3);
    k.SetBlackout(1);

    ChangeLog log;
    log.Attach(k);
    k.SetPegel(3);          // same value
    k.SetPegel(300);        // not clamped
    EXPECT_EQ(k.Pegel, 300);
    k.SetName("Spot");
    k.SetName("Spot");
    k.SetFlash(255);        // unchanged: nothing
    k.SetFlash(200);
    k.SetBlackout(1);       // unchanged: nothing
    k.SetBlackout(2);
    k.IconChanged();
    k.SetIcon(4);           // the following store silently
    k.SetVF(1);
    k.SetHF(2);
    k.SetBlinkPhase(90);
    k.SetPatchText("1,2");
    EXPECT_EQ(log.codes, (std::vector<int>{kcPegel, kcName, kcFlash, kcBlackout, kcIcon}));
}

TEST(Kanal, OutputClampsAndHeldValuesStayQuiet)
{
    TKanal k(1);
    ChangeLog log;
    log.Attach(k);
    k.SetOutput(300);
    EXPECT_EQ(k.Output, 255);
    k.SetOutput(300);       // the clamped value is unchanged: no repaint every tick
    k.SetOutput(255);
    k.SetOutput(-5);
    EXPECT_EQ(k.Output, 0);
    k.SetOutput(-5);
    k.SetOutput(0);
    EXPECT_EQ(log.codes, (std::vector<int>{kcOutput, kcOutput}));
}

TEST(Kanal, ModusMappingAndLetters)
{
    TKanal k(1);
    ChangeLog log;
    log.Attach(k);
    k.SetModus(0);          // HTP stays HTP
    EXPECT_TRUE(log.codes.empty());
    k.SetModus(1);
    EXPECT_EQ(k.ModusText(), "L");
    k.SetModus(7);          // LTP -> HTP
    EXPECT_EQ(k.Modus, 0);
    EXPECT_EQ(k.ModusText(), "H");
    k.SetModus(4);
    EXPECT_EQ(k.ModusText(), "Z");
    EXPECT_EQ(log.codes, (std::vector<int>{kcModus, kcModus, kcModus}));

    // A negative mode is stored and shows no letter.
    k.SetModus(-1);
    EXPECT_EQ(k.Modus, -1);
    EXPECT_EQ(k.ModusText(), "");
    k.Modus = 9;            // as a file could carry it
    EXPECT_EQ(k.ModusText(), "");
}

TEST(Kanal, EmptyTexts)
{
    TKanal k(1);
    EXPECT_EQ(k.IconText(), "");
    k.SetIcon(0);
    EXPECT_EQ(k.IconText(), "0");
    k.SchrittZahl = 4;
    EXPECT_EQ(k.StepText(), "");
    k.CurrentStep = 2;
    EXPECT_EQ(k.StepText(), "2 / 4");
}

TEST(Kanal, DiffersFromDefaultsIgnoresColoursLevelAndBlink)
{
    TKanal k(1);
    k.SetVF(123);
    k.SetHF(456);
    k.SetPegel(200);
    k.SetBlinkPeriod(5);
    k.SetBlinkDuty(20);
    EXPECT_FALSE(k.DiffersFromDefaults());

    k.SetFlash(254);
    EXPECT_TRUE(k.DiffersFromDefaults());
    k.SetFlash(255);
    k.SetBlackout(1);
    EXPECT_TRUE(k.DiffersFromDefaults());
}

TEST(Kanal, BlinkPeriodInTenthsSaturates)
{
    TKanal k(1);
    k.SetBlinkPeriod(5);
    EXPECT_EQ(k.BlinkPeriod, 500);
    k.SetBlinkPeriod(30000000);
    EXPECT_EQ(k.BlinkPeriod, std::numeric_limits<int>::max());
    k.SetBlinkPeriod(std::numeric_limits<int>::min());
    EXPECT_EQ(k.BlinkPeriod, std::numeric_limits<int>::min());
}

TEST(Kanal, StepTableBoundsAndSequence)
{
    TKanal k(571);
    EXPECT_EQ(k.GetEintrag(1, -1), 0);   // no table yet
    k.SetEintrag(1, 0, 0);
    EXPECT_EQ(k.GetEintrag(1, 0), 0);

    k.SetEintrag(1, -1, 12);
    k.SetEintrag(192, 99, -7);   // any int32 is kept
    k.SetEintrag(192, 0, 3);
    EXPECT_EQ(k.GetEintrag(1, -1), 12);
    EXPECT_EQ(k.GetEintrag(192, 99), -7);
    EXPECT_EQ(k.GetEintrag(192, 0), 3);
    EXPECT_EQ(k.GetEintrag(2, -1), 0);

    // Outside the table: writes are dropped (no neighbour changes), reads give 0.
    for (const auto& [i, j] : std::vector<std::pair<int, int>>{{0, 1}, {193, 1}, {1, -2}, {1, 100}, {2, -2}}) {
        k.SetEintrag(i, j, 99);
        EXPECT_EQ(k.GetEintrag(i, j), 0) << i << "," << j;
    }
    EXPECT_EQ(k.GetEintrag(1, 99), 0);
    EXPECT_EQ(k.GetEintrag(2, -1), 0);

    // The table moves with the channel.
    TKanal moved(std::move(k));
    EXPECT_EQ(moved.GetEintrag(1, -1), 12);

    TKanal chaser(600);
    chaser.SetSchrittZahl(1);
    chaser.SetEintragZahl(1);
    EXPECT_FALSE(chaser.IsProgrammedSequence());
    chaser.SetSchrittZahl(2);
    EXPECT_TRUE(chaser.IsProgrammedSequence());
    chaser.SetEintragZahl(0);
    EXPECT_FALSE(chaser.IsProgrammedSequence());
    chaser.SetEintragZahl(1);
    chaser.SetKind(kkKonsole);
    EXPECT_FALSE(chaser.IsProgrammedSequence());
}

TEST(FadeTriple, StepRoundsHalfToEvenAndSaturates)
{
    TFadeTriple t;
    t.SetStart(0);
    t.SetTarget(255);
    t.FadeTripleStep(0.5f);
    EXPECT_EQ(t.Current, 128);
    t.SetTarget(1);
    t.FadeTripleStep(0.5f);
    EXPECT_EQ(t.Current, 0);
    t.SetStart(3);
    t.SetTarget(4);
    t.FadeTripleStep(0.5f);   // 3.5
    EXPECT_EQ(t.Current, 4);

    t.SetStart(-37);
    t.SetTarget(211);
    t.FadeTripleStep(1.0f);
    EXPECT_EQ(t.Current, 211);
    t.FadeTripleStep(0.0f);
    EXPECT_EQ(t.Current, -37);
    t.StartFromCurrent();
    EXPECT_EQ(t.Start, -37);

    // Fractions outside 0..1 are taken as they come.
    t.SetStart(0);
    t.SetTarget(100);
    t.FadeTripleStep(-0.25f);
    EXPECT_EQ(t.Current, -25);
    t.FadeTripleStep(1.5f);
    EXPECT_EQ(t.Current, 150);

    // Extreme lanes and fractions saturate instead of wrapping.
    t.SetStart(std::numeric_limits<int>::min());
    t.SetTarget(std::numeric_limits<int>::max());
    t.FadeTripleStep(1.0f);
    EXPECT_EQ(t.Current, std::numeric_limits<int>::max());
    t.SetStart(0);
    t.SetTarget(255);
    t.FadeTripleStep(-40000.0f * 1e6f);
    EXPECT_EQ(t.Current, std::numeric_limits<int>::min());
    t.FadeTripleStep(std::numeric_limits<float>::infinity());
    EXPECT_EQ(t.Current, std::numeric_limits<int>::max());
    t.FadeTripleStep(std::nanf(""));
    EXPECT_EQ(t.Current, std::numeric_limits<int>::max());   // unchanged
}

// ---------------------------------------------------------------------------

namespace {

std::vector<int> UsedX(const TLichtpultZeile& z)
{
    std::vector<int> xs;
    for (const TLichtpultSlot& s : z.Slots)
        if (s.Used)
            xs.push_back(s.X);
    return xs;
}

}   // namespace

TEST(LichtpultZeile, DefaultPageRoundTrip)
{
    QString row;
    for (int n = 1; n <= 12; ++n)
        row += QStringLiteral("L%1K%2").arg(n == 7 ? 20 : 4).arg(n);
    TLichtpultZeile z(3);
    EXPECT_EQ(z.Order, 3);
    EXPECT_EQ(z.LastSlot, -1);
    z.SetRowString(row);
    EXPECT_EQ(z.LastSlot, 11);
    EXPECT_EQ(UsedX(z), (std::vector<int>{4, 48, 92, 136, 180, 224, 284, 328, 372, 416, 460, 504}));
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(z.Slots[i].Nr, i + 1);
        EXPECT_EQ(z.Slots[i].SlotKind, 0);
    }
    EXPECT_EQ(z.GetRowString(), row);
}

TEST(LichtpultZeile, GroupAndChaserSlots)
{
    TLichtpultZeile z;
    z.SetRowString("L4K1L20G3L4C60");
    ASSERT_EQ(z.LastSlot, 2);
    EXPECT_EQ(z.Slots[0].X, 4);
    EXPECT_EQ(z.Slots[0].Nr, 1);
    EXPECT_EQ(z.Slots[1].X, 64);
    EXPECT_EQ(z.Slots[1].Nr, 513);
    EXPECT_EQ(z.Slots[1].SlotKind, 1);
    EXPECT_EQ(z.Slots[2].X, 108);
    EXPECT_EQ(z.Slots[2].Nr, 630);
    EXPECT_EQ(z.Slots[2].SlotKind, 2);
    EXPECT_EQ(z.GetRowString(), "L4K1L20G3L4C60");

    // An unused slot between used ones moves nothing; a slot of another kind
    // writes no element but still moves the edge.
    TLichtpultZeile b;
    b.Slots[0] = {10, 5, true, 0};
    b.Slots[2] = {60, 6, true, 0};
    b.Slots[3] = {100, 7, true, 3};
    b.Slots[4] = {150, 8, true, 0};
    EXPECT_EQ(b.GetRowString(), "L10K5L10K6L10K8");
}

TEST(LichtpultZeile, EmptyAndOverfullRows)
{
    TLichtpultZeile z;
    z.SetRowString("L4K1L4K2");
    z.SetRowString("");
    EXPECT_EQ(z.LastSlot, -1);
    EXPECT_TRUE(UsedX(z).empty());
    EXPECT_EQ(z.GetRowString(), "");

    QString row;
    for (int n = 1; n <= 30; ++n)
        row += QStringLiteral("L0K%1").arg(n);
    row += "L-1K99";   // after the 25th element nothing more is read
    z.SetRowString(row);
    EXPECT_EQ(z.LastSlot, 23);
    EXPECT_EQ(UsedX(z).size(), 24u);
    EXPECT_EQ(z.Slots[23].Nr, 24);
    EXPECT_EQ(z.Slots[23].X, 23 * 40);

    // A negative gap right after the 24th slot still renames it.
    row.clear();
    for (int n = 1; n <= 24; ++n)
        row += QStringLiteral("L0K%1").arg(n);
    z.SetRowString(row + "L-1G2");
    EXPECT_EQ(z.LastSlot, 23);
    EXPECT_EQ(z.Slots[23].Nr, 512);
}

TEST(LichtpultZeile, NegativeGapsAndMalformedNumbers)
{
    TLichtpultZeile z;
    // A negative gap takes no slot: the letter renames the last slot.
    z.SetRowString("L4K1L-1K9");
    EXPECT_EQ(z.LastSlot, 0);
    EXPECT_EQ(z.Slots[0].Nr, 9);
    EXPECT_EQ(z.Slots[0].X, 4);
    // Before any slot it is ignored; an empty or malformed gap counts as negative.
    z.SetRowString("L-5K3LK4Lx2K5L6K6");
    EXPECT_EQ(z.LastSlot, 0);
    EXPECT_EQ(z.Slots[0].X, 6);
    EXPECT_EQ(z.Slots[0].Nr, 6);
    z.SetRowString("L4K1LK2");
    EXPECT_EQ(z.LastSlot, 0);
    EXPECT_EQ(z.Slots[0].Nr, 2);

    // A malformed channel number gives channel 0 (plus the kind's offset).
    z.SetRowString("L4KxL4G1.5L4C");
    ASSERT_EQ(z.LastSlot, 2);
    EXPECT_EQ(z.Slots[0].Nr, 0);
    EXPECT_EQ(z.Slots[1].Nr, 510);
    EXPECT_EQ(z.Slots[2].Nr, 570);
    // The last letter present wins; the gap ends at the last letter.
    z.SetRowString("L4C2K1");   // gap text "4C2" is malformed: no slot at all
    EXPECT_EQ(z.LastSlot, -1);
    z.SetRowString("L4K1L-0K2");   // "-0" is a gap of 0
    EXPECT_EQ(z.LastSlot, 1);
    EXPECT_EQ(z.Slots[1].X, 44);
    // Signs and a leading blank (kept inside quotes) are read; the text after the
    // closing quote is an element of its own, whose empty gap renames the last
    // slot, and so does a gap beyond 32 bits.
    z.SetRowString("L+4K+7L\" 4\"K2L99999999999K3");
    ASSERT_EQ(z.LastSlot, 1);
    EXPECT_EQ(z.Slots[0].Nr, 7);
    EXPECT_EQ(z.Slots[1].X, 48);
    EXPECT_EQ(z.Slots[1].Nr, 3);
}

TEST(LichtpultZeile, GapOnlyElementsAndStaleSlots)
{
    TLichtpultZeile z;
    z.SetRowString("L4K1L4K2");
    // A gap without a channel letter makes a used slot with channel 0, never the
    // channel an earlier row string had there.
    z.SetRowString("L4L4");
    ASSERT_EQ(z.LastSlot, 1);
    EXPECT_EQ(z.Slots[0].Nr, 0);
    EXPECT_EQ(z.Slots[1].Nr, 0);
    EXPECT_FALSE(z.Slots[2].Used);
    EXPECT_EQ(z.GetRowString(), "L4K0L4K0");
}

TEST(LichtpultZeile, BlanksSeparateAndHugeGapsReadBackExactly)
{
    TLichtpultZeile z;
    // Blanks and control characters split like a delimiter; trailing ones are dropped.
    z.SetRowString("L4K1 8K2\tL4K3 \r\n");
    ASSERT_EQ(z.LastSlot, 2);
    EXPECT_EQ(UsedX(z), (std::vector<int>{4, 52, 96}));
    EXPECT_EQ(z.Slots[1].Nr, 2);

    // Gaps of the largest size a file can give: every position is exact, so the
    // row is written back as it was read and no slot is lost on the way.
    const std::int64_t max = std::numeric_limits<int>::max();
    QString row;
    for (int n = 1; n <= TLichtpultZeile::SlotCount; ++n)
        row += QStringLiteral("L%1K%2").arg(max).arg(n);
    z.SetRowString(row);
    ASSERT_EQ(z.LastSlot, 23);
    EXPECT_EQ(z.Slots[0].X, max);
    EXPECT_EQ(z.Slots[1].X, 2 * max + 40);
    EXPECT_EQ(z.Slots[23].X, 24 * max + 23 * 40);
    EXPECT_EQ(z.Slots[23].Nr, 24);
    EXPECT_EQ(z.GetRowString(), row);
}
