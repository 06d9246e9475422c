#pragma once
// The prompts object of the running program: modal message boxes with German
// buttons and the file dialogs.

#include "framework/uPrompts.h"

class QColorDialog;
class QFileDialog;
class QWidget;

#include <memory>

// Loads Qt's German translations (qtbase_de from Qt's translations folder), so
// that Qt's standard dialogs, buttons and edit menus speak German. False when
// they are not installed.
bool InstallGermanQtTranslations();

// The dialogs the prompts show, built but not run (tests look at them).
std::unique_ptr<QFileDialog> NewFileDialog(QWidget* parent, const TFileDialogOptions& options, const QString& current,
                                           bool save, bool multi);
std::unique_ptr<QColorDialog> NewColorDialog(QWidget* parent, int value);

class TPromptsGui : public TPrompts {
public:
    explicit TPromptsGui(QWidget* parent = nullptr) : FParent(parent) {}
    void SetParent(QWidget* parent) { FParent = parent; }

    TDialogResult AskYesNoAbort(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    bool AskOkCancel(const QString& text) override;
    void Info(const QString& text) override;
    QStringList OpenFileNames(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options, const QString& current) override;
    QString OpenFileName(const TFileDialogOptions& options, const QString& current) override;
    bool InputText(const QString& caption, const QString& prompt, QString& text) override;
    bool PickColor(int& value) override;

private:
    QWidget* FParent;
};
