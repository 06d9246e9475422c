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

TEST(ScriptSteps, RenumberingPlanCountsMarkersThatNameAScene)
{
    struct TCase {
        const char* Text;
        int SceneCount;
        std::vector<int> Scenes;
        QStringList Duplicates;
    };
    const TCase cases[] = {
        // Malformed and negative: not counted; blanks around the number as a step reads it.
        {"{{3}} a {{1}} b {{x}} {{-2}} {{ 4 }}", 5, {2, 0, 3}, {}},
        {"{{0}} {{2}} {{00}}", 5, {1}, {}},   // 0 names no scene
        {"{{5}} {{2}} {{5}}", 5, {4, 1, 4}, {"5"}},
        {"{{5}} {{05}} {{ 5}}", 5, {4, 4, 4}, {"5"}},   // all name the fifth scene
        {"{{05}} {{2}} {{5}} {{2}}", 5, {4, 1, 4, 1}, {"2", "05"}},
        {"{{6}} {{6}} {{99}} {{1}}", 5, {0}, {}},   // beyond the scenes: left alone, never duplicates
        {"{{1}} {{2}", 5, {0}, {}},                 // the walk ends where no "}}" follows
        {"{{1}}", 0, {}, {}},
        {"", 5, {}, {}},
    };
    for (const TCase& c : cases) {
        const TRenumberPlan plan = PlanRenumbering(QString::fromUtf8(c.Text), c.SceneCount);
        EXPECT_EQ(plan.Scenes, c.Scenes) << c.Text;
        EXPECT_EQ(plan.Counted.size(), c.Scenes.size()) << c.Text;
        EXPECT_EQ(plan.Duplicates, c.Duplicates) << c.Text;
    }
    const TRenumberPlan plan = PlanRenumbering("{{9}} {{3}} a {{1}}", 3);
    ASSERT_EQ(plan.Counted.size(), 2u);
    EXPECT_EQ(plan.NewMarker(0), "{{1}}");
    EXPECT_EQ(plan.NewMarker(1), "{{2}}");
    EXPECT_EQ(plan.Counted[1].Start, 14);
}

TEST(ScriptSteps, ScenesNoMarkerNamesFollowTheRenumberedOnesInTheirOrder)
{
    TEngine engine;
    engine.Start();
    TModuleSzenen& s = *ModuleSzenen;
    for (int i = 0; i < 4; ++i)
        s.SetSceneName(s.StoreNewScene(false), QStringLiteral("S%1").arg(i + 1));
    struct TCase {
        std::vector<int> Numbers;   // S1..S4 before
        std::vector<int> Scenes;    // the list indexes the markers name
        QStringList Order;
    };
    const TCase cases[] = {
        {{1, 2, 3, 4}, {2, 1}, {"S3:1", "S2:2", "S1:3", "S4:4"}},
        {{1, 2, 3, 4}, {3, 2, 1, 0}, {"S4:1", "S3:2", "S2:3", "S1:4"}},
        {{1, 2, 3, 4}, {}, {"S1:1", "S2:2", "S3:3", "S4:4"}},
        {{2, 5, 9, 11}, {3}, {"S4:1", "S1:2", "S2:3", "S3:4"}},     // gaps close
        {{1, 2, 3, 4}, {2, 2, 0}, {"S3:1", "S1:2", "S2:3", "S4:4"}},   // named again: its first number
    };
    for (const TCase& c : cases) {
        for (const auto& scene : s.Szenen)
            s.SetSceneNumber(*scene, c.Numbers[static_cast<std::size_t>(scene->NAME.mid(1).toInt() - 1)]);
        s.SortScenes();
        ApplyMarkerNumbers(s, c.Scenes);
        QStringList order;
        for (const auto& scene : s.Szenen)
            order << QStringLiteral("%1:%2").arg(scene->NAME).arg(scene->SNR);
        EXPECT_EQ(order, c.Order) << c.Scenes.size();
    }
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
