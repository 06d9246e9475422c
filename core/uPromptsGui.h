#pragma once
// The prompts object of the running program: modal message boxes with German
// buttons and the file dialogs.

#include "core/uPrompts.h"

class QWidget;

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
