#include "framework/uCarriedSections.h"

#include "framework/uStringIniFile.h"

TCarriedSections::TCarriedSections(const QStringList& names)
{
    for (const QString& name : names)
        FSections.push_back(TSection{name, false, {}});
}

void TCarriedSections::Load(const TStringIniFile& ini)
{
    for (TSection& s : FSections) {
        const QStringList* lines = ini.GetSection(s.Name);
        s.Present = lines != nullptr;
        s.Lines = lines ? *lines : QStringList();
    }
}

void TCarriedSections::Save(QStringList& lines) const
{
    for (const TSection& s : FSections) {
        if (!s.Present)
            continue;
        lines << QString() << u'[' + s.Name + u']';
        lines << s.Lines;
    }
}

void TCarriedSections::Clear()
{
    for (TSection& s : FSections) {
        s.Present = false;
        s.Lines.clear();
    }
}

const TCarriedSections::TSection* TCarriedSections::Find(const QString& name) const
{
    for (const TSection& s : FSections)
        if (s.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

bool TCarriedSections::Has(const QString& name) const
{
    const TSection* s = Find(name);
    return s && s->Present;
}

QStringList TCarriedSections::Lines(const QString& name) const
{
    const TSection* s = Find(name);
    return s ? s->Lines : QStringList();
}
