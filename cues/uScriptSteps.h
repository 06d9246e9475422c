#pragma once
// The step markers of the script as plain text: "{{", a number text, "}}". The
// script page searches, selects and rewrites them; the searches here work on the
// editor's raw text (one character per cursor position) and know nothing of
// formatting, so they are shared by the page and its tests.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class TModuleSzenen;
class TSzene;

struct TStepMarker {
    qsizetype Start = 0;    // position of the first '{'
    qsizetype Length = 0;   // through the second '}'; 2 for a "{{" that no "}}" follows
    QString Inner;          // the text between the braces, unchanged
    // The inner text without blanks and control characters at its ends.
    QString NumberText() const;
};

// The first "{{" at or after from and the first "}}" at or after it. A "{{" that no
// "}}" follows gives a marker of the two braces alone with an empty inner text.
std::optional<TStepMarker> FindMarker(const QString& text, qsizetype from);

// The marker before a selection that starts at selStart: the last "{{" that begins
// before selStart - 1, or the text's first "{{" when none does.
std::optional<TStepMarker> FindPriorMarker(const QString& text, qsizetype selStart);

// The first marker written exactly "{{" n "}}"; none when n does not stand so.
std::optional<TStepMarker> FindExactMarker(const QString& text, const QString& n);

// Scene list index a marker's number text names: the number - 1; -1 for a text
// that is no number (which names index -1, no scene).
int MarkerSceneIndex(const QString& numberText);

// Every complete marker from the start of the text, each searched after the one before.
QList<TStepMarker> AllMarkers(const QString& text);

// Renumbering the scenes in the order of the text.
struct TRenumberPlan {
    std::vector<TStepMarker> Counted;    // the markers that name a scene, in text order
    std::vector<int> Scenes;             // the scene list index each of them names
    QStringList Duplicates;              // numbers of scenes named twice; not empty: refused
    // The marker text that replaces Counted[i].
    QString NewMarker(std::size_t i) const;
};

// Counts every marker whose number names one of sceneCount scenes, as a step
// reads it (blanks around the number do not matter). A marker that names no
// scene is left as it is: it names none after the renumbering either. Two
// markers that name the same scene are duplicates, also when written
// differently ({{5}} and {{05}}): renumbering them would give one scene two
// numbers.
TRenumberPlan PlanRenumbering(const QString& text, int sceneCount);

// The scene at scenes[i] gets number i + 1, every other scene the numbers after
// the last of those in its old order; the list is sorted again. So each marker
// rewritten by NewMarker names the scene it named before, and the numbers stay
// 1..count.
void ApplyMarkerNumbers(TModuleSzenen& module, const std::vector<int>& scenes);

// Replace-all: find(from) gives the position of the next match at or after from
// (-1: none), replace(pos) replaces the match there by a text of insertedLength
// characters. Each search resumes behind the inserted text, so the loop ends also
// when the replacement contains what it replaces, and an empty replacement misses
// no adjacent match. Returns the number of replacements.
int ReplaceAllMatches(const std::function<qsizetype(qsizetype)>& find, const std::function<void(qsizetype)>& replace,
                      qsizetype insertedLength);
