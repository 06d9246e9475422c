#pragma once
// Base of every module: the same fifteen operations for all, the import of a
// module text, and a small framework for a module that keeps a document of its
// own (new, open, save, save as with the questions around them).

#include <QChar>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

class TStringIniFile;
struct TFileDialogOptions;

// What a module read of its sections on another thread than the GUI thread;
// what it holds is the module's affair.
class TPreparedSections {
public:
    virtual ~TPreparedSections() = default;
};

class TModuleAbstract {
public:
    TModuleAbstract() = default;
    virtual ~TModuleAbstract() = default;
    TModuleAbstract(const TModuleAbstract&) = delete;
    TModuleAbstract& operator=(const TModuleAbstract&) = delete;

    QChar Tag;                                    // read by no operation
    bool Modified = false;                        // the own document has unsaved changes
    QString Name;                                 // display name in questions and log lines
    const TFileDialogOptions* SaveDialog = nullptr;  // used by SaveDocumentAs; not owned
    QString FileName;                             // the own document

    // The operations in their fixed order; the base bodies of the first eleven do nothing.
    virtual void Init() {}
    virtual void Done() {}
    virtual void LoadIni(TStringIniFile& ini) { (void)ini; }
    // Reads a module text (import from the clipboard or a file) into the show in
    // memory. A module whose sections describe the whole show, and so reset what a
    // show file leaves out, reads here only what the text holds; the others read it
    // as a show.
    virtual void ImportIni(TStringIniFile& ini) { LoadIni(ini); }
    virtual void SaveToStrings(QStringList& lines) { (void)lines; }
    // Show files are read and written off the GUI thread as far as the modules
    // allow. A module whose sections are large may:
    // - read them from the show's store on the reading thread (PrepareIni, which
    //   touches nothing but ini and what it returns), so that LoadPreparedIni then
    //   only takes the result over on the GUI thread;
    // - copy on the GUI thread what it writes and return a function that writes
    //   its lines from the copy on the save's thread (SaveLater, empty: the lines
    //   are collected with SaveToStrings on the GUI thread).
    virtual std::unique_ptr<TPreparedSections> PrepareIni(const TStringIniFile& ini) const
    {
        (void)ini;
        return nullptr;
    }
    virtual void LoadPreparedIni(TStringIniFile& ini, std::unique_ptr<TPreparedSections> prepared)
    {
        (void)prepared;
        LoadIni(ini);
    }
    virtual std::function<void(QStringList&)> SaveLater() { return {}; }
    virtual void Tick() {}
    virtual void SlowTick() {}
    virtual void NewProject() {}
    virtual void ExecuteCommand(QStringList& tokens, std::uint8_t remote) { (void)tokens; (void)remote; }
    virtual void SaveToFile() {}
    virtual void LoadFromFile() {}
    virtual void ClearDocument() {}
    // The own-document operations; no module overrides them.
    virtual void NewDocument();
    virtual void OpenDocument(const QString& fileName);
    virtual bool SaveDocument();
    virtual bool SaveDocumentAs();

    void SetModified(bool value) { Modified = value; }
    void SetSaveDialog(const TFileDialogOptions* dialog) { SaveDialog = dialog; }
    void SetFileName(const QString& name) { FileName = name; }
};
