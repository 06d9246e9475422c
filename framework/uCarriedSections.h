#pragma once
// Show sections that a module keeps as raw INI lines until it reads them itself:
// a show load keeps the lines of the module's own sections, a show save writes
// them back unchanged in the module's place, a new show drops them.

#include <QString>
#include <QStringList>
#include <vector>

class TStringIniFile;

class TCarriedSections {
public:
    // The module's sections, in the order it writes them.
    explicit TCarriedSections(const QStringList& names);

    // Replaces the held lines with those of the store: a section the store
    // lacks is dropped, just as a module's data follows the loaded show.
    void Load(const TStringIniFile& ini);
    // Appends each held section as an empty line, "[Name]" and its lines.
    void Save(QStringList& lines) const;
    void Clear();

    bool Has(const QString& name) const;
    // The held lines of a section (empty when not held).
    QStringList Lines(const QString& name) const;

private:
    struct TSection {
        QString Name;
        bool Present = false;
        QStringList Lines;
    };
    std::vector<TSection> FSections;
    const TSection* Find(const QString& name) const;
};
