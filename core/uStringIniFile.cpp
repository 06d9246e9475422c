#include "core/uStringIniFile.h"

#include "core/uTextCodec.h"
#include "core/uUtils.h"

#include <QFileInfo>

namespace {

// Inserts only when the name is new, so the hash keeps the first position.
void InsertFirst(QHash<QString, int>& hash, const QString& key, int index)
{
    if (!hash.contains(key))
        hash.insert(key, index);
}

QString Fold(const QString& text) { return text.toCaseFolded(); }

// The key of a "key=value" line; false for a line without '='.
bool KeyOfLine(const QString& line, QString& key)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return false;
    key = line.left(eq);
    return true;
}

} // namespace

struct TStringIniFile::TSection {
    struct TKeyEntry {
        int First;   // index of the first line with that key
        int Count;   // number of lines with that key
    };

    QString Name;
    QStringList Lines;
    QHash<QString, TKeyEntry> KeyIndex;   // folded key -> its lines

    int IndexOfKey(const QString& key) const
    {
        const auto it = KeyIndex.constFind(Fold(key));
        return it == KeyIndex.cend() ? -1 : it->First;
    }

    void Append(const QString& line)
    {
        QString key;
        if (KeyOfLine(line, key)) {
            const QString folded = Fold(key);
            const auto it = KeyIndex.find(folded);
            if (it == KeyIndex.end())
                KeyIndex.insert(folded, TKeyEntry{int(Lines.size()), 1});
            else
                ++it->Count;   // an earlier line keeps the key
        }
        Lines.append(line);
    }

    // Removes the first line of the (present) key at index and keeps the index
    // right without folding every remaining line again.
    void RemoveFirstOfKey(const QString& foldedKey, int index)
    {
        Lines.removeAt(index);
        auto it = KeyIndex.find(foldedKey);
        const int remaining = it->Count - 1;
        KeyIndex.erase(it);
        for (auto& entry : KeyIndex)
            if (entry.First > index)
                --entry.First;
        if (remaining == 0)
            return;
        QString key;
        for (int i = index; i < Lines.size(); ++i)
            if (KeyOfLine(Lines.at(i), key) && Fold(key) == foldedKey) {
                KeyIndex.insert(foldedKey, TKeyEntry{i, remaining});
                return;
            }
    }
};

TStringIniFile::TStringIniFile(const QString& fileName) : FileName(fileName)
{
    if (!FileName.isEmpty() && QFileInfo::exists(FileName)) {
        QString text;
        if (ReadTextFile(FileName, text))
            SetText(text);
    }
}

TStringIniFile::~TStringIniFile() = default;

TStringIniFile::TSection* TStringIniFile::FindSection(const QString& name) const
{
    const int index = FSectionIndex.value(Fold(name), -1);
    return index < 0 ? nullptr : FSections[size_t(index)].get();
}

TStringIniFile::TSection& TStringIniFile::EnsureSection(const QString& name)
{
    if (TSection* found = FindSection(name))
        return *found;
    auto section = std::make_unique<TSection>();
    section->Name = name;
    InsertFirst(FSectionIndex, Fold(name), int(FSections.size()));
    FSections.push_back(std::move(section));
    return *FSections.back();
}

void TStringIniFile::RebuildSectionIndex()
{
    FSectionIndex.clear();
    for (size_t i = 0; i < FSections.size(); ++i)
        InsertFirst(FSectionIndex, Fold(FSections[i]->Name), int(i));
}

QString TStringIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const TSection* s = FindSection(section);
    if (!s)
        return def;
    const int index = s->IndexOfKey(key);
    if (index < 0)
        return def;
    const QString& line = s->Lines.at(index);
    return line.mid(line.indexOf(u'=') + 1);
}

void TStringIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    TSection& s = EnsureSection(section);
    const QString line = key + u'=' + OneLine(value);
    const int index = s.IndexOfKey(key);
    if (index >= 0)
        s.Lines[index] = line;   // same folded key, so the index stays right
    else
        s.Append(line);
}

int TStringIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    return StrToIntDef(ReadString(section, key, QString()), def);
}

void TStringIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

bool TStringIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TStringIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TStringIniFile::ReadSection(const QString& section, QStringList& keys) const
{
    keys.clear();
    const TSection* s = FindSection(section);
    if (!s)
        return;
    QString key;
    for (const QString& line : s->Lines)
        if (KeyOfLine(line, key))
            keys.append(key);
}

void TStringIniFile::ReadSections(QStringList& sections) const
{
    sections.clear();
    for (const auto& s : FSections)
        sections.append(s->Name);
}

void TStringIniFile::ReadSectionValues(const QString& section, QStringList& lines) const
{
    lines.clear();
    if (const TSection* s = FindSection(section))
        lines = s->Lines;
}

void TStringIniFile::EraseSection(const QString& section)
{
    const int index = FSectionIndex.value(Fold(section), -1);
    if (index < 0)
        return;
    FSections.erase(FSections.begin() + index);
    RebuildSectionIndex();
}

void TStringIniFile::DeleteKey(const QString& section, const QString& key)
{
    TSection* s = FindSection(section);
    if (!s)
        return;
    const QString folded = Fold(key);
    const auto it = s->KeyIndex.constFind(folded);
    if (it == s->KeyIndex.cend())
        return;
    s->RemoveFirstOfKey(folded, it->First);
}

void TStringIniFile::UpdateFile()
{
    if (FileName.isEmpty())
        return;
    QStringList lines;
    GetStrings(lines);
    WriteTextFileAtomic(FileName, lines);
}

bool TStringIniFile::ReadBoolJN(const QString& section, const QString& key, bool def) const
{
    return ReadString(section, key, def ? QStringLiteral("J") : QStringLiteral("N")).toUpper() == u"J";
}

void TStringIniFile::WriteBoolJN(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("J") : QStringLiteral("N"));
}

bool TStringIniFile::SectionExists(const QString& section) const
{
    return FindSection(section) != nullptr;
}

bool TStringIniFile::ValueExists(const QString& section, const QString& key) const
{
    const TSection* s = FindSection(section);
    return s && s->IndexOfKey(key) >= 0;
}

const QStringList* TStringIniFile::GetSection(const QString& name) const
{
    const TSection* s = FindSection(name);
    return s ? &s->Lines : nullptr;
}

void TStringIniFile::SetText(const QString& text)
{
    SetStrings(SplitLines(text));
}

void TStringIniFile::SetStrings(const QStringList& lines)
{
    Clear();
    TSection* current = nullptr;
    for (const QString& raw : lines) {
        const QString s = TrimBlanks(raw);
        if (s.isEmpty() || s.startsWith(u';'))
            continue;
        if (s.size() >= 2 && s.startsWith(u'[') && s.endsWith(u']')) {
            auto section = std::make_unique<TSection>();
            section->Name = TrimBlanks(s.mid(1, s.size() - 2));
            InsertFirst(FSectionIndex, Fold(section->Name), int(FSections.size()));
            current = section.get();
            FSections.push_back(std::move(section));
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = s.indexOf(u'=');
        if (eq >= 0)
            current->Append(TrimBlanks(s.left(eq)) + u'=' + TrimBlanks(s.mid(eq + 1)));
        else
            current->Append(s);
    }
}

void TStringIniFile::GetStrings(QStringList& lines) const
{
    for (const auto& s : FSections) {
        lines.append(u'[' + s->Name + u']');
        lines.append(s->Lines);
        lines.append(QString());
    }
}

void TStringIniFile::Clear()
{
    FSections.clear();
    FSectionIndex.clear();
}
