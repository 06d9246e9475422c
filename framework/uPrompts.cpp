#include "framework/uPrompts.h"

#include <QFileInfo>

TDialogResult TPrompts::AskYesNoAbort(const QString&) { return TDialogResult::Abort; }
bool TPrompts::AskYesNo(const QString&) { return false; }
bool TPrompts::AskOkCancel(const QString&)
{
    return false;
}
void TPrompts::Info(const QString&) {}
QString TPrompts::SaveFileName(const TFileDialogOptions&, const QString&) { return QString(); }
QString TPrompts::OpenFileName(const TFileDialogOptions&, const QString&) { return QString(); }
QStringList TPrompts::OpenFileNames(const TFileDialogOptions&) { return {}; }
bool TPrompts::InputText(const QString&, const QString&, QString&) { return false; }
bool TPrompts::PickColor(int&) { return false; }

namespace {
TPrompts DefaultPrompts;
TPrompts* CurrentPrompts = &DefaultPrompts;
}

TPrompts& Prompts() { return *CurrentPrompts; }
void SetPrompts(TPrompts* p) { CurrentPrompts = p ? p : &DefaultPrompts; }

TDialogResult AskSaveChanges(const QString& name, bool modified)
{
    if (!modified)
        return TDialogResult::No;
    return Prompts().AskYesNoAbort(name + QStringLiteral(" hat sich geändert. Vorher speichern?"));
}

bool ConfirmOverwrite(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return true;
    return Prompts().AskYesNo(QStringLiteral("Datei \"") + fileName + QStringLiteral("\" existiert bereits\r\nÜberschreiben"));
}
