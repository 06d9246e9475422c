// The step markers as plain text: where first, next and prior find a marker, the
// exact search of F and the back step, the renumbering plan and its effect on the
// scene list, and the replace-all loop's termination.

#include "TestHelpers.h"

#include "cues/uMod_Szenen.h"
#include "cues/uScriptSteps.h"
#include "framework/uMod_Main.h"

#include <gtest/gtest.h>

namespace {

struct TFound {
    qsizetype Start;
    qsizetype Length;
    const char* Number;
};

void ExpectMarker(const std::optional<TStepMarker>& m, const TFound& want, const char* what)
{
    ASSERT_TRUE(m.has_value()) << what;
    EXPECT_EQ(m->Start, want.Start) << what;
    EXPECT_EQ(m->Length, want.Length) << what;
    EXPECT_EQ(m->NumberText(), QString::fromUtf8(want.Number)) << what;
}

} // namespace

TEST(ScriptSteps, FirstNextAndPriorFindTheMarkerTheCaretNames)
{
    //                    0         1         2
    //                    0123456789012345678901234
    const QString text = "{{1}} Vorhang {{ 7 }} {{2}}";
    ExpectMarker(FindMarker(text, 0), {0, 5, "1"}, "first marker at the very first character");
    ExpectMarker(FindMarker(text, 1), {14, 7, "7"}, "next with the caret inside a marker: the following one");
    ExpectMarker(FindMarker(text, 15), {22, 5, "2"}, "next from inside {{ 7 }}");
    EXPECT_FALSE(FindMarker(text, 23).has_value());   // after the last marker

    // Prior: the last "{{" beginning before selStart - 1, else the first of the text.
    ExpectMarker(FindPriorMarker(text, 22), {14, 7, "7"}, "prior from the selected {{2}}");
    ExpectMarker(FindPriorMarker(text, 16), {14, 7, "7"}, "caret two inside a marker: that marker");
    ExpectMarker(FindPriorMarker(text, 15), {0, 5, "1"}, "caret one inside: the one before");
    ExpectMarker(FindPriorMarker(text, 0), {0, 5, "1"}, "prior at the start: the first");
    EXPECT_FALSE(FindPriorMarker("kein Marker", 5).has_value());

    // "{{" without "}}": the two braces, no number.
    ExpectMarker(FindMarker("Ende {{3", 0), {5, 2, ""}, "open marker");
    EXPECT_EQ(MarkerSceneIndex(""), -1);
    EXPECT_EQ(MarkerSceneIndex("x"), -1);
    EXPECT_EQ(MarkerSceneIndex("0"), -1);
    EXPECT_EQ(MarkerSceneIndex("3"), 2);
}

TEST(ScriptSteps, TheExactSearchFindsOnlyTheMarkerAsWritten)
{
    const QString text = "{{ 7 }} und {{7}} und {{17}}";
    ExpectMarker(FindExactMarker(text, "7"), {12, 5, "7"}, "F7");
    EXPECT_FALSE(FindExactMarker("{{ 7 }}", "7").has_value());
    ExpectMarker(FindExactMarker(text, "17"), {22, 6, "17"}, "F17");
    EXPECT_FALSE(FindExactMarker(text, "-1").has_value());
}

TEST(ScriptSteps, RenumberingPlanCountsNumbersAndRefusesScenesNamedTwice)
{
    struct TCase {
        const char* Text;
        QStringList Numbers;
        QStringList Duplicates;
    };
    const TCase cases[] = {
        {"{{3}} a {{1}} b {{x}} {{-2}} {{ 4 }}", {"3", "1"}, {}},   // malformed, negative, blanks: not counted
        {"{{0}} {{2}} {{00}}", {"0", "2", "00"}, {"00"}},           // 0 is a number of at least 0: counted
        {"{{5}} {{2}} {{5}}", {"5", "2", "5"}, {"5"}},
        {"{{5}} {{05}}", {"5", "05"}, {"5"}},   // both name the fifth scene
        {"{{1}} {{2}", {"1"}, {}},              // the walk ends where no "}}" follows
        {"", {}, {}},
    };
    for (const TCase& c : cases) {
        const TRenumberPlan plan = PlanRenumbering(QString::fromUtf8(c.Text));
        EXPECT_EQ(plan.Numbers, c.Numbers) << c.Text;
        EXPECT_EQ(plan.Duplicates, c.Duplicates) << c.Text;
    }
    const TRenumberPlan plan = PlanRenumbering("{{3}} a {{1}}");
    ASSERT_EQ(plan.Counted.size(), 2u);
    EXPECT_EQ(plan.NewMarker(0), "{{1}}");
    EXPECT_EQ(plan.NewMarker(1), "{{2}}");
    EXPECT_EQ(plan.Counted[1].Start, 8);
}

TEST(ScriptSteps, RenumberedScenesComeBeforeUnnamedScenesOfTheSameNumber)
{
    TEngine engine;
    engine.Start();
    TModuleSzenen& s = *ModuleSzenen;
    for (int i = 0; i < 4; ++i)
        s.SetSceneName(s.StoreNewScene(false), QStringLiteral("S%1").arg(i + 1));

    // Markers {{3}} then {{2}}: S3 gets 1, S2 gets 2; S1 keeps its 1 but sorts after
    // S3, so that the rewritten {{1}} names S3.
    ApplyMarkerNumbers(s, {"3", "2"});
    QStringList order;
    for (const auto& scene : s.Szenen)
        order << QStringLiteral("%1:%2").arg(scene->NAME).arg(scene->SNR);
    EXPECT_EQ(order, QStringList({"S3:1", "S1:1", "S2:2", "S4:4"}));

    // {{2}} names S1 (list index 1) as the rewritten text says; markers naming no
    // scene ({{9}}) are passed over: S1 gets 1, S3 gets 3.
    ApplyMarkerNumbers(s, {"2", "9", "1"});
    order.clear();
    for (const auto& scene : s.Szenen)
        order << QStringLiteral("%1:%2").arg(scene->NAME).arg(scene->SNR);
    EXPECT_EQ(order, QStringList({"S1:1", "S2:2", "S3:3", "S4:4"}));

    // {{0}} is counted but names no scene: it takes number 1 and renumbers nothing.
    ApplyMarkerNumbers(s, {"0", "1"});
    order.clear();
    for (const auto& scene : s.Szenen)
        order << QStringLiteral("%1:%2").arg(scene->NAME).arg(scene->SNR);
    EXPECT_EQ(order, QStringList({"S1:2", "S2:2", "S3:3", "S4:4"}));
}

TEST(ScriptSteps, ReplaceAllEndsAndMissesNoAdjacentMatch)
{
    struct TCase {
        const char* Text;
        const char* What;
        const char* With;
        const char* Result;
        int Count;
    };
    const TCase cases[] = {
        {"a-a-a", "a", "aa", "aa-aa-aa", 3},   // the replacement contains what it replaces
        {"abab", "ab", "", "", 2},             // empty replacement, adjacent matches
        {"xxxx", "xx", "xxx", "xxxxxx", 2},
        {"Szene", "e", "ee", "Szeenee", 2},
        {"nichts", "q", "qq", "nichts", 0},
    };
    for (const TCase& c : cases) {
        QString text = QString::fromUtf8(c.Text);
        const QString what = QString::fromUtf8(c.What);
        const QString with = QString::fromUtf8(c.With);
        int calls = 0;
        const int n = ReplaceAllMatches(
            [&](qsizetype from) {
                EXPECT_LT(++calls, 100) << c.Text;
                return calls < 100 ? text.indexOf(what, from) : qsizetype(-1);
            },
            [&](qsizetype p) { text.replace(p, what.size(), with); }, with.size());
        EXPECT_EQ(text, QString::fromUtf8(c.Result)) << c.Text;
        EXPECT_EQ(n, c.Count) << c.Text;
    }
}
