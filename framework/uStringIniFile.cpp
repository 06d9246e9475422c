#include "framework/uStringIniFile.h"

#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QFileInfo>
#include <QHashFunctions>

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

namespace {

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

std::size_t HashOfFolded(QStringView folded)
{
    // Qt's seed for its own hashes, so that no file can be made whose keys all
    // collide.
    return qHash(folded, QHashSeed::globalSeed());
}

} // namespace

// Folded names (of sections or keys) to the position of their first occurrence
// and their number. Each entry keeps its name's hash instead of a copy of the
// name: a lookup folds and hashes its name once, on the stack, and compares
// texts only where a hash matches (same(entry) compares the name the entry
// stands for). Open addressing over a power-of-two table, at most half full.
class TStringIniFile::TFoldedIndex {
public:
    struct TEntry {
        std::size_t Hash = 0;
        int First = -1;   // -1: a free slot
        int Count = 0;
        int Length = 0;   // of the name at First as written there (keys only)
    };

    template <class Same>
    TEntry* Find(std::size_t hash, const Same& same)
    {
        if (FSlots.empty())
            return nullptr;
        const std::size_t mask = FSlots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            TEntry& e = FSlots[i];
            if (e.First < 0)
                return nullptr;
            if (e.Hash == hash && same(e))
                return &e;
        }
    }
    template <class Same>
    const TEntry* Find(std::size_t hash, const Same& same) const
    {
        return const_cast<TFoldedIndex*>(this)->Find(hash, same);
    }

    // One more occurrence at position: a new entry for a new name, else counted
    // (an earlier position keeps the name).
    template <class Same>
    void Add(std::size_t hash, int position, int length, const Same& same)
    {
        if (TEntry* e = Find(hash, same))
            ++e->Count;
        else
            Insert(TEntry{hash, position, 1, length});
    }

    // An entry for a name the index does not hold.
    void Insert(const TEntry& entry)
    {
        if ((FUsed + 1) * 2 > FSlots.size())
            Grow();
        Place(entry);
        ++FUsed;
    }

    // Drops entry (one of this index) and moves every position above position
    // down by one, as after the removal of the line at position.
    void RemoveAndShift(const TEntry* entry, int position)
    {
        const std::size_t dropped = std::size_t(entry - FSlots.data());
        std::vector<TEntry> old(FSlots.size());
        old.swap(FSlots);
        FUsed = 0;
        for (std::size_t i = 0; i < old.size(); ++i) {
            TEntry e = old[i];
            if (e.First < 0 || i == dropped)
                continue;
            if (e.First > position)
                --e.First;
            Place(e);
            ++FUsed;
        }
    }

    void Clear()
    {
        FSlots.clear();
        FUsed = 0;
    }

    template <class F>
    void ForEach(const F& f) const
    {
        for (const TEntry& e : FSlots)
            if (e.First >= 0)
                f(e);
    }

private:
    void Place(const TEntry& entry)
    {
        const std::size_t mask = FSlots.size() - 1;
        std::size_t i = entry.Hash & mask;
        while (FSlots[i].First >= 0)
            i = (i + 1) & mask;
        FSlots[i] = entry;
    }
    void Grow()
    {
        std::vector<TEntry> old;
        old.swap(FSlots);
        FSlots.assign(std::max<std::size_t>(16, old.size() * 2), TEntry{});
        for (const TEntry& e : old)
            if (e.First >= 0)
                Place(e);
    }

    std::vector<TEntry> FSlots;
    std::size_t FUsed = 0;
};

struct TStringIniFile::TSection {
    QString Name;
    QString FoldedName;
    QStringList Lines;
    TFoldedIndex KeyIndex;   // folded key -> its lines

    QStringView KeyOf(const TFoldedIndex::TEntry& e) const { return QStringView(Lines.at(e.First)).left(e.Length); }

    // Whether the entry's key folds to folded.
    bool HasKey(const TFoldedIndex::TEntry& e, QStringView folded) const
    {
        const QStringView key = KeyOf(e);
        // A key of Latin-1 characters is as long as its fold: compared through
        // the fold table in place.
        if (key.size() == folded.size()) {
            const auto& folds = Latin1Folds();
            const char16_t* text = key.utf16();
            const char16_t* fold = folded.utf16();
            qsizetype i = 0;
            while (i < key.size() && text[i] < 256 && folds[text[i]] == fold[i])
                ++i;
            if (i == key.size())
                return true;
        }
        TFoldBuffer buffer;
        return FoldView(key, buffer) == folded;
    }

    const TFoldedIndex::TEntry* EntryOfKey(QStringView folded) const
    {
        return KeyIndex.Find(HashOfFolded(folded), [&](const auto& e) { return HasKey(e, folded); });
    }

    int IndexOfKey(QStringView key) const
    {
        TFoldBuffer buffer;
        const auto* e = EntryOfKey(FoldView(key, buffer));
        return e ? e->First : -1;
    }

    void Append(const QString& line)
    {
        QStringView key;
        if (KeyOfLine(line, key)) {
            TFoldBuffer buffer;
            const QString folded = FoldView(key, buffer);
            KeyIndex.Add(HashOfFolded(folded), int(Lines.size()), int(key.size()),
                         [&](const auto& e) { return HasKey(e, folded); });
        }
        Lines.append(line);
    }

    // Removes the first line of key, if any; the index keeps the hashes it has
    // and folds only the lines up to the key's next line.
    void RemoveFirstOfKey(QStringView key)
    {
        TFoldBuffer buffer;
        const QString folded = FoldView(key, buffer);
        const TFoldedIndex::TEntry* e = EntryOfKey(folded);
        if (!e)
            return;
        const TFoldedIndex::TEntry removed = *e;
        Lines.removeAt(removed.First);
        KeyIndex.RemoveAndShift(e, removed.First);
        if (removed.Count == 1)
            return;
        QStringView next;
        TFoldBuffer nextBuffer;
        for (int i = removed.First; i < Lines.size(); ++i)
            if (KeyOfLine(Lines.at(i), next) && FoldView(next, nextBuffer) == folded) {
                KeyIndex.Insert({removed.Hash, i, removed.Count - 1, int(next.size())});
                return;
            }
    }
};

TStringIniFile::TStringIniFile(const QString& fileName)
    : FileName(fileName), FSectionIndex(std::make_unique<TFoldedIndex>())
{
    if (!FileName.isEmpty() && QFileInfo::exists(FileName)) {
        QString text;
        if (ReadTextFile(FileName, text))
            SetText(text);
    }
}

TStringIniFile::~TStringIniFile() = default;

int TStringIniFile::IndexOfSection(QStringView name) const
{
    TFoldBuffer buffer;
    const QString folded = FoldView(name, buffer);
    const auto* e = FSectionIndex->Find(
        HashOfFolded(folded), [&](const auto& e) { return FSections[size_t(e.First)]->FoldedName == folded; });
    return e ? e->First : -1;
}

TStringIniFile::TSection* TStringIniFile::FindSection(QStringView name) const
{
    const int index = IndexOfSection(name);
    return index < 0 ? nullptr : FSections[size_t(index)].get();
}

TStringIniFile::TSection& TStringIniFile::AppendSection(const QString& name)
{
    auto section = std::make_unique<TSection>();
    section->Name = name;
    section->FoldedName = Fold(name);
    const int index = int(FSections.size());
    FSections.push_back(std::move(section));
    IndexSection(index);
    return *FSections.back();
}

void TStringIniFile::IndexSection(int index)
{
    const QString& folded = FSections[size_t(index)]->FoldedName;
    FSectionIndex->Add(HashOfFolded(folded), index, 0,
                       [&](const auto& e) { return FSections[size_t(e.First)]->FoldedName == folded; });
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
    return AppendSection(name);
}

void TStringIniFile::RebuildSectionIndex()
{
    FSectionIndex->Clear();
    for (size_t i = 0; i < FSections.size(); ++i)
        IndexSection(int(i));
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
    TFoldBuffer buffer;
    if (auto* e = const_cast<TFoldedIndex::TEntry*>(s.EntryOfKey(FoldView(key, buffer)))) {
        // The same folded key, perhaps spelt otherwise: the entry keeps its hash.
        s.Lines[e->First] = line;
        e->Length = int(key.size());
    } else {
        s.Append(line);
    }
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
    const int index = IndexOfSection(section);
    if (index < 0)
        return;
    FSections.erase(FSections.begin() + index);
    RebuildSectionIndex();
}

void TStringIniFile::DeleteKey(const QString& section, const QString& key)
{
    if (TSection* s = FindSection(section))
        s->RemoveFirstOfKey(key);
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
    // Each key once, as its first line spells it (folding leaves digits as they are).
    s->KeyIndex.ForEach([&](const TFoldedIndex::TEntry& e) {
        const QStringView key = s->KeyOf(e);
        qsizetype begin = key.size();
        while (begin > 0 && key.at(begin - 1).unicode() >= '0' && key.at(begin - 1).unicode() <= '9')
            --begin;
        const QStringView digits = key.mid(begin);
        // Only the number's own form: no leading zero, at most ten digits.
        if (digits.isEmpty() || digits.size() > 10 || (digits.size() > 1 && digits.at(0) == u'0'))
            return;
        const qint64 n = digits.toLongLong();
        if (n <= max)
            numbers[static_cast<std::size_t>(n)] = true;
    });
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
            current = &AppendSection(TrimBlanks(s.mid(1, s.size() - 2)));
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
    FSectionIndex->Clear();
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
