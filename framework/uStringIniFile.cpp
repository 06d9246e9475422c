#include "framework/uStringIniFile.h"

#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

namespace {

// Inserts only when the name is new, so the hash keeps the first position.
void InsertFirst(QHash<QString, int>& hash, const QString& key, int index)
{
    if (!hash.contains(key))
        hash.insert(key, index);
}

// Marks a Latin-1 character whose fold is not one UTF-16 unit (U+FFFF is never a fold).
constexpr char16_t NoSingleFold = 0xFFFF;

// Qt's own fold of every Latin-1 character, taken from QString::toCaseFolded once.
const std::array<char16_t, 256>& Latin1Folds()
{
    static const std::array<char16_t, 256> folds = [] {
        std::array<char16_t, 256> table{};
        for (char16_t c = 0; c < 256; ++c) {
            const QString folded = QString(QChar(c)).toCaseFolded();
            table[c] = folded.size() == 1 ? folded.at(0).unicode() : NoSingleFold;
        }
        return table;
    }();
    return folds;
}

// Room for the fold of a name or key on the stack.
struct TFoldBuffer {
    static constexpr qsizetype Capacity = 64;
    char16_t Text[Capacity];
};

// The case-folded text, as QString::toCaseFolded gives it. Folding goes character
// by character, so a short text of Latin-1 characters folds through the table into
// buffer and the result only points at it (valid while buffer lives and is not
// changed): a lookup allocates nothing. Any other text takes Qt's fold.
QString FoldView(QStringView text, TFoldBuffer& buffer)
{
    const qsizetype size = text.size();
    if (size > TFoldBuffer::Capacity || !QtPrivate::isLatin1(text))
        return text.toString().toCaseFolded();
    const auto& folds = Latin1Folds();
    const char16_t* in = text.utf16();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t folded = folds[in[i]];
        if (folded == NoSingleFold)
            return text.toString().toCaseFolded();
        buffer.Text[i] = folded;
    }
    return QString::fromRawData(reinterpret_cast<const QChar*>(buffer.Text), size);
}

// The folded text as a string of its own, for keeping in an index.
QString Fold(QStringView text)
{
    TFoldBuffer buffer;
    QString folded = FoldView(text, buffer);
    if (folded.constData() == reinterpret_cast<const QChar*>(buffer.Text))
        folded = QString(folded.constData(), folded.size());   // a copy that owns its characters
    return folded;
}

// The key of a "key=value" line; false for a line without '='.
bool KeyOfLine(QStringView line, QStringView& key)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return false;
    key = line.left(eq);
    return true;
}

// A line "key=value" of a parsed text with the blanks around key and value cut;
// line itself (shared, not copied) when it has none. line is trimmed already.
QString TrimKeyValue(const QString& line, qsizetype eq)
{
    const bool keyEnds = eq == 0 || line.at(eq - 1).unicode() > ' ';
    const bool valueBegins = eq + 1 == line.size() || line.at(eq + 1).unicode() > ' ';
    if (keyEnds && valueBegins)
        return line;
    return TrimBlanks(line.left(eq)) + u'=' + TrimBlanks(line.mid(eq + 1));
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

    int IndexOfKey(QStringView key) const
    {
        TFoldBuffer buffer;
        const auto it = KeyIndex.constFind(FoldView(key, buffer));
        return it == KeyIndex.cend() ? -1 : it->First;
    }

    void Append(const QString& line)
    {
        QStringView key;
        if (KeyOfLine(line, key)) {
            TFoldBuffer buffer;
            const auto it = KeyIndex.find(FoldView(key, buffer));
            if (it == KeyIndex.end())
                KeyIndex.insert(Fold(key), TKeyEntry{int(Lines.size()), 1});
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
        QStringView key;
        TFoldBuffer buffer;
        for (int i = index; i < Lines.size(); ++i)
            if (KeyOfLine(Lines.at(i), key) && FoldView(key, buffer) == foldedKey) {
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

TStringIniFile::TSection* TStringIniFile::FindSection(QStringView name) const
{
    TFoldBuffer buffer;
    const int index = FSectionIndex.value(FoldView(name, buffer), -1);
    return index < 0 ? nullptr : FSections[size_t(index)].get();
}

const QString* TStringIniFile::FindLine(QStringView section, QStringView key) const
{
    const TSection* s = FindSection(section);
    if (!s)
        return nullptr;
    const int index = s->IndexOfKey(key);
    return index < 0 ? nullptr : &s->Lines.at(index);
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
    return ReadString(QStringView(section), QStringView(key), def);
}

QString TStringIniFile::ReadString(QStringView section, QStringView key, const QString& def) const
{
    const QString* line = FindLine(section, key);
    return line ? line->mid(line->indexOf(u'=') + 1) : def;
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
    return ReadInteger(QStringView(section), QStringView(key), def);
}

int TStringIniFile::ReadInteger(QStringView section, QStringView key, int def) const
{
    const QString* line = FindLine(section, key);
    return StrToIntDef(line ? QStringView(*line).mid(line->indexOf(u'=') + 1) : QStringView(), def);
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
    QStringView key;
    for (const QString& line : s->Lines)
        if (KeyOfLine(line, key))
            keys.append(key.toString());
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
    TFoldBuffer buffer;
    const int index = FSectionIndex.value(FoldView(section, buffer), -1);
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

bool TStringIniFile::SectionExists(QStringView section) const
{
    return FindSection(section) != nullptr;
}

std::vector<bool> TStringIniFile::KeyNumbers(QStringView section, int max) const
{
    std::vector<bool> numbers(static_cast<std::size_t>(std::max(max, -1) + 1), false);
    const TSection* s = FindSection(section);
    if (!s)
        return numbers;
    // The folded keys: folding leaves digits as they are.
    for (auto it = s->KeyIndex.cbegin(); it != s->KeyIndex.cend(); ++it) {
        const QString& key = it.key();
        qsizetype begin = key.size();
        while (begin > 0 && key.at(begin - 1).unicode() >= '0' && key.at(begin - 1).unicode() <= '9')
            --begin;
        const QStringView digits = QStringView(key).mid(begin);
        // Only the number's own form: no leading zero, at most ten digits.
        if (digits.isEmpty() || digits.size() > 10 || (digits.size() > 1 && digits.at(0) == u'0'))
            continue;
        const qint64 n = digits.toLongLong();
        if (n <= max)
            numbers[static_cast<std::size_t>(n)] = true;
    }
    return numbers;
}

bool TStringIniFile::ValueExists(const QString& section, const QString& key) const
{
    return FindLine(section, key) != nullptr;
}

bool TStringIniFile::ValueExists(QStringView section, QStringView key) const
{
    return FindLine(section, key) != nullptr;
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
        current->Append(eq >= 0 ? TrimKeyValue(s, eq) : s);
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

TIniKey::TIniKey(const char* prefix, int n, const char* suffix)
{
    Append(prefix).Append(n).Append(suffix);
}

TIniKey& TIniKey::Append(const char* latin1)
{
    for (; *latin1 && FSize < Capacity; ++latin1)
        FText[FSize++] = char16_t(static_cast<unsigned char>(*latin1));
    return *this;
}

TIniKey& TIniKey::Append(int n)
{
    char digits[12];   // every int, with its sign
    const auto result = std::to_chars(std::begin(digits), std::end(digits), n);
    for (const char* p = digits; p != result.ptr && FSize < Capacity; ++p)
        FText[FSize++] = char16_t(*p);
    return *this;
}
