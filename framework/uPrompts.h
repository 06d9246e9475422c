#pragma once
// Every question and dialog of the engine goes through one injectable prompts
// object. The forms install one that shows real dialogs; headless, the default
// answers so that nothing is changed or lost (questions: No/Abort, dialogs:
// cancelled); tests install scripted answers.

#include <QString>
#include <QStringList>

enum class TDialogResult { Yes, No, Abort };

// What a file dialog is asked with (the original's dialog component properties).
struct TFileDialogOptions {
    QString Title;
    QString Filter;          // Qt syntax: "Name (*.ext);;Alle Dateien (*)"
    QString DefaultSuffix;   // without the dot
    QString InitialDir;
};

class TPrompts {
public:
    virtual ~TPrompts() = default;
    virtual TDialogResult AskYesNoAbort(const QString& text);
    virtual bool AskYesNo(const QString& text);
    // A confirmation with the buttons OK and Abbrechen; true for OK.
    virtual bool AskOkCancel(const QString& text);
    virtual void Info(const QString& text);
    // The chosen file name, or the empty text when cancelled.
    virtual QString SaveFileName(const TFileDialogOptions& options, const QString& current);
    virtual QString OpenFileName(const TFileDialogOptions& options, const QString& current);
    // Several existing files; empty when cancelled.
    virtual QStringList OpenFileNames(const TFileDialogOptions& options);
    // An input box; true and the new text on OK.
    virtual bool InputText(const QString& caption, const QString& prompt, QString& text);
    // The colour dialog on a colour value (0x00BBGGRR); true and the new value on OK.
    virtual bool PickColor(int& value);
};

TPrompts& Prompts();
// Installs p (not owned); nullptr restores the headless default.
void SetPrompts(TPrompts* p);

// When modified: "<name> hat sich geändert. Vorher speichern?" with Yes/No/Abort;
// when not modified: No without a question.
TDialogResult AskSaveChanges(const QString& name, bool modified);
// True when the file does not exist, else the answer to the overwrite question.
bool ConfirmOverwrite(const QString& fileName);
