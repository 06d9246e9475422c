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
    return Open + QString::number(Numbers.indexOf(Counted[i].Inner) + 1) + Close;
}

TRenumberPlan PlanRenumbering(const QString& text)
{
    TRenumberPlan plan;
    for (const TStepMarker& m : AllMarkers(text)) {
        if (StrToIntDef(m.Inner, -1) < 0)
            continue;
        plan.Numbers << m.Inner;
        plan.Counted.push_back(m);
    }
    struct TNumber {
        int Value;
        QString Text;
    };
    std::vector<TNumber> sorted;
    for (const QString& t : plan.Numbers)
        sorted.push_back({StrToIntDef(t, -1), t});
    std::sort(sorted.begin(), sorted.end(), [](const TNumber& a, const TNumber& b) {
        return a.Value != b.Value ? a.Value < b.Value : a.Text < b.Text;
    });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i].Value == sorted[i - 1].Value && !plan.Duplicates.contains(sorted[i].Text))
            plan.Duplicates << sorted[i].Text;
    return plan;
}

void ApplyMarkerNumbers(TModuleSzenen& module, const QStringList& numbers)
{
    std::vector<const TSzene*> renumbered;
    for (int i = 0; i < numbers.size(); ++i) {
        TSzene* scene = nullptr;
        if (!module.TryGetScene(StrToIntDef(numbers.at(i), 0) - 1, scene))
            continue;
        module.SetSceneNumber(*scene, i + 1);
        renumbered.push_back(scene);
    }
    module.SortScenes(renumbered);
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
