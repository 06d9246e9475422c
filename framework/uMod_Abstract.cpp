#include "framework/uMod_Abstract.h"

#include "framework/uPrompts.h"

#include <QFileInfo>

void TModuleAbstract::NewDocument()
{
    switch (AskSaveChanges(Name, Modified)) {
    case TDialogResult::Yes:
        if (SaveDocument())
            ClearDocument();
        break;
    case TDialogResult::No:
        ClearDocument();
        break;
    case TDialogResult::Abort:
        break;
    }
}

void TModuleAbstract::OpenDocument(const QString& fileName)
{
    FileName = fileName;
    if (QFileInfo::exists(FileName))
        LoadFromFile();
    Modified = false;
}

bool TModuleAbstract::SaveDocument()
{
    if (!FileName.isEmpty() && QFileInfo::exists(FileName)) {
        SaveToFile();
        Modified = false;
        return true;
    }
    return SaveDocumentAs();
}

bool TModuleAbstract::SaveDocumentAs()
{
    static const TFileDialogOptions NoDialog;
    const QString chosen = Prompts().SaveFileName(SaveDialog ? *SaveDialog : NoDialog, FileName);
    if (chosen.isEmpty())
        return false;
    if (ConfirmOverwrite(chosen)) {
        FileName = chosen;
        SaveToFile();
        Modified = false;
    }
    return true;
}
