#pragma once
// In-memory INI store: ordered sections of "key=value" lines, loaded from a file
// or a text and written back only on request. Section and key lookups are
// case-insensitive with full Unicode folding ("kanäle" finds "Kanäle").

#include <QHash>
#include <QString>
#include <QStringList>
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
    std::vector<std::unique_ptr<TSection>> FSections;
    QHash<QString, int> FSectionIndex;   // folded name -> first section of that name
    TSection* FindSection(const QString& name) const;
    TSection& EnsureSection(const QString& name);
    void RebuildSectionIndex();
};
