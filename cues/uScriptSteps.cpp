#include "cues/uScriptSteps.h"

#include "cues/uMod_Szenen.h"
#include "framework/uUtils.h"

#include <algorithm>

namespace {

const QString Open = QStringLiteral("{{");
const QString Close = QStringLiteral("}}");

// The marker whose "{{" stands at s.
TStepMarker MarkerAt(const QString& text, qsizetype s)
{
    TStepMarker m;
    m.Start = s;
    const qsizetype e = text.indexOf(Close, s);
    if (e < 0) {
        m.Length = Open.size();
        return m;
    }
    m.Length = e + Close.size() - s;
    m.Inner = text.mid(s + Open.size(), e - s - Open.size());
    return m;
}

} // namespace

QString TStepMarker::NumberText() const
{
    return TrimBlanks(Inner);
}

std::optional<TStepMarker> FindMarker(const QString& text, qsizetype from)
{
    const qsizetype s = text.indexOf(Open, std::max<qsizetype>(from, 0));
    if (s < 0)
        return std::nullopt;
    return MarkerAt(text, s);
}

std::optional<TStepMarker> FindPriorMarker(const QString& text, qsizetype selStart)
{
    const qsizetype limit = selStart - 1;
    qsizetype s = text.indexOf(Open);
    if (s < 0)
        return std::nullopt;
    for (qsizetype next = text.indexOf(Open, s + 1); next >= 0 && next < limit; next = text.indexOf(Open, next + 1))
        s = next;
    return MarkerAt(text, s);
}

std::optional<TStepMarker> FindExactMarker(const QString& text, const QString& n)
{
    const QString marker = Open + n + Close;
    const qsizetype s = text.indexOf(marker);
    if (s < 0)
        return std::nullopt;
    return TStepMarker{s, marker.size(), n};
}

int MarkerSceneIndex(const QString& numberText)
{
    return StrToIntDef(numberText, 0) - 1;
}

QList<TStepMarker> AllMarkers(const QString& text)
{
    QList<TStepMarker> markers;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype s = text.indexOf(Open, pos);
        if (s < 0 || text.indexOf(Close, s) < 0)
            break;
        const TStepMarker m = MarkerAt(text, s);
        markers << m;
        pos = m.Start + m.Length;
    }
    return markers;
}

QString TRenumberPlan::NewMarker(std::size_t i) const
{
    return Open + QString::number(i + 1) + Close;
}

TRenumberPlan PlanRenumbering(const QString& text, int sceneCount)
{
    TRenumberPlan plan;
    for (const TStepMarker& m : AllMarkers(text)) {
        const int index = MarkerSceneIndex(m.NumberText());
        if (index < 0 || index >= sceneCount)
            continue;
        plan.Counted.push_back(m);
        plan.Scenes.push_back(index);
    }
    std::vector<std::size_t> order(plan.Scenes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return plan.Scenes[a] < plan.Scenes[b]; });
    // Each scene named twice once, as its first marker in the text writes it.
    for (std::size_t i = 1, first = 0; i < order.size(); ++i) {
        if (plan.Scenes[order[i]] != plan.Scenes[order[first]]) {
            first = i;
        } else if (i == first + 1) {
            plan.Duplicates << plan.Counted[order[first]].NumberText();
        }
    }
    return plan;
}

void ApplyMarkerNumbers(TModuleSzenen& module, const std::vector<int>& scenes)
{
    const int count = module.SceneCount();
    std::vector<int> numbers(static_cast<std::size_t>(count), 0);
    int next = 0;
    for (const int index : scenes)   // a scene named again keeps its first number
        if (index >= 0 && index < count && numbers[static_cast<std::size_t>(index)] == 0)
            numbers[static_cast<std::size_t>(index)] = ++next;
    for (int& number : numbers)
        if (number == 0)
            number = ++next;
    for (int index = 0; index < count; ++index)
        module.SetSceneNumber(module.GetScene(index), numbers[static_cast<std::size_t>(index)]);
    module.SortScenes();
    module.FillSceneList();
    module.RefreshSceneForm();
}

int ReplaceAllMatches(const std::function<qsizetype(qsizetype)>& find, const std::function<void(qsizetype)>& replace,
                      qsizetype insertedLength)
{
    int count = 0;
    for (qsizetype p = find(0); p >= 0; p = find(p + insertedLength)) {
        replace(p);
        ++count;
    }
    return count;
}
