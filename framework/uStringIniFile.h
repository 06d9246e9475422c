#pragma once
// In-memory INI store: ordered sections of "key=value" lines, loaded from a file
// or a text and written back only on request. Section and key lookups are
// case-insensitive with full Unicode folding ("kanäle" finds "Kanäle").

#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <vector>

class TStringIniFile {
public:
    explicit TStringIniFile(const QString& fileName = QString());
    virtual ~TStringIniFile();
    TStringIniFile(const TStringIniFile&) = delete;
    TStringIniFile& operator=(const TStringIniFile&) = delete;

    QString FileName;

    virtual QString ReadString(const QString& section, const QString& key, const QString& def) const;
    virtual void WriteString(const QString& section, const QString& key, const QString& value);
    int ReadInteger(const QString& section, const QString& key, int def) const;
    void WriteInteger(const QString& section, const QString& key, int value);
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    void WriteBool(const QString& section, const QString& key, bool value);
    virtual void ReadSection(const QString& section, QStringList& keys) const;
    virtual void ReadSections(QStringList& sections) const;
    virtual void ReadSectionValues(const QString& section, QStringList& lines) const;
    virtual void EraseSection(const QString& section);
    virtual void DeleteKey(const QString& section, const QString& key);
    virtual void UpdateFile();
    virtual bool ReadBoolJN(const QString& section, const QString& key, bool def) const;
    virtual void WriteBoolJN(const QString& section, const QString& key, bool value);

    // The same lookups for a key built on the stack (TIniKey): they allocate
    // nothing but the string they return.
    QString ReadString(QStringView section, QStringView key, const QString& def) const;
    int ReadInteger(QStringView section, QStringView key, int def) const;
    bool ValueExists(QStringView section, QStringView key) const;
    bool SectionExists(QStringView section) const;

    // For each number 0..max whether some key of section ends in it (its last
    // digits, as QString::number writes the number). A reader of numbered keys
    // ("Name_" n) may skip the numbers marked false: no such key is there.
    std::vector<bool> KeyNumbers(QStringView section, int max) const;

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    // The lines of the first section of that name, or nullptr when absent.
    const QStringList* GetSection(const QString& name) const;
    void SetText(const QString& text);
    void SetStrings(const QStringList& lines);
    void GetStrings(QStringList& lines) const;   // appends
    void Clear();

private:
    struct TSection;
    class TFoldedIndex;
    std::vector<std::unique_ptr<TSection>> FSections;
    std::unique_ptr<TFoldedIndex> FSectionIndex;   // folded name -> first section of that name
    int IndexOfSection(QStringView name) const;   // -1 when absent
    TSection* FindSection(QStringView name) const;
    TSection& AppendSection(const QString& name);
    void IndexSection(int index);
    // The first line of key in the first section of that name, or nullptr.
    const QString* FindLine(QStringView section, QStringView key) const;
    TSection& EnsureSection(const QString& name);
    void RebuildSectionIndex();
};

// A numbered key such as "Name_12" or "SZ_3_SZ_1_DAT", built on the stack for the
// QStringView lookups, so that a loop over numbered keys allocates nothing for them.
// Holds up to 63 characters; what goes beyond is cut.
class TIniKey {
public:
    TIniKey(const char* prefix, int n, const char* suffix = "");
    TIniKey& Append(const char* latin1);
    TIniKey& Append(int n);   // decimal, as QString::number writes it
    operator QStringView() const { return QStringView(FText, FSize); }
    QString ToString() const { return QStringView(*this).toString(); }

private:
    static constexpr int Capacity = 63;
    char16_t FText[Capacity];
    int FSize = 0;
};
