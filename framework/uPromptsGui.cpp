#include "framework/uPromptsGui.h"

#include "framework/uColors.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>

namespace {

// Without a screen nobody can answer a modal dialog: the headless answers hold
// (questions No or Abort, dialogs cancelled), so nothing blocks and nothing changes.
bool NoScreen()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

QString Title()
{
    return QApplication::applicationName();
}

// Widens the columns of a file dialog's detail view to their contents, and the
// dialog (up to the screen's width) so that they show whole.
void FitFileColumns(QDialog& dialog, QTreeView& view)
{
    QHeaderView* header = view.header();
    int needed = 0;
    for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i))
            continue;
        const int want =
            std::max(static_cast<QAbstractItemView&>(view).sizeHintForColumn(i), header->sectionSizeHint(i));
        // Columns only widen; the last one stretches over what is left anyway.
        if (i < header->count() - 1 && header->sectionSize(i) < want)
            header->resizeSection(i, want);
        needed += i < header->count() - 1 ? header->sectionSize(i) : want;
    }
    const int missing = needed - view.viewport()->width();
    if (missing <= 0)
        return;
    const QScreen* screen = dialog.screen();
    const int most = screen ? screen->availableGeometry().width() : dialog.width() + missing;
    dialog.resize(std::min(dialog.width() + missing, std::max(most, dialog.width())), dialog.height());
}

QStringList RunFileDialog(QWidget* parent, const TFileDialogOptions& options, const QString& current, QFileDialog::AcceptMode mode,
                          bool multi)
{
    const std::unique_ptr<QFileDialog> dlg =
        NewFileDialog(parent, options, current, mode == QFileDialog::AcceptSave, multi);
    if (dlg->exec() != QDialog::Accepted)
        return {};
    return dlg->selectedFiles();
}

}   // namespace

bool InstallGermanQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

std::unique_ptr<QFileDialog> NewFileDialog(QWidget* parent, const TFileDialogOptions& options, const QString& current,
                                           bool save, bool multi)
{
    auto dlg = std::make_unique<QFileDialog>(parent, options.Title.isEmpty() ? Title() : options.Title);
    dlg->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg->setFileMode(save ? QFileDialog::AnyFile : multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    // The callers ask their own overwrite question.
    dlg->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!options.Filter.isEmpty())
        dlg->setNameFilter(options.Filter);
    if (!options.DefaultSuffix.isEmpty())
        dlg->setDefaultSuffix(options.DefaultSuffix);
    if (!current.isEmpty())
        dlg->selectFile(current);
    else if (!options.InitialDir.isEmpty())
        dlg->setDirectory(options.InitialDir);
    // Qt sizes the columns of the detail view for its English captions; the
    // German ones ("Änderungsdatum") are longer. Once a folder is read, the
    // columns and the dialog widen so that names, sizes, types and dates read
    // whole.
    for (QTreeView* view : dlg->findChildren<QTreeView*>()) {
        QHeaderView* header = view->header();
        for (int i = 0; i < header->count(); ++i)
            header->resizeSection(i, std::max(header->sectionSize(i), header->sectionSizeHint(i)));
        if (auto* model = qobject_cast<QFileSystemModel*>(view->model()))
            QObject::connect(model, &QFileSystemModel::directoryLoaded, view,
                             [d = dlg.get(), view] { FitFileColumns(*d, *view); });
    }
    return dlg;
}

std::unique_ptr<QColorDialog> NewColorDialog(QWidget* parent, int value)
{
    return std::make_unique<QColorDialog>(ColorFromValue(value), parent);
}

TDialogResult TPromptsGui::AskYesNoAbort(const QString& text)
{
    if (NoScreen())
        return TPrompts::AskYesNoAbort(text);
    QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::NoButton, FParent);
    QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
    QPushButton* abort = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(abort);
    box.exec();
    if (box.clickedButton() == yes)
        return TDialogResult::Yes;
    if (box.clickedButton() == no)
        return TDialogResult::No;
    return TDialogResult::Abort;
}

namespace {

// A question with two buttons, the first the default, the second Escape; true
// when the first was clicked.
bool AskTwoButtons(QWidget* parent, const QString& text, const QString& first, QMessageBox::ButtonRole firstRole,
                   const QString& second, QMessageBox::ButtonRole secondRole)
{
    QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::NoButton, parent);
    QPushButton* accept = box.addButton(first, firstRole);
    box.setEscapeButton(box.addButton(second, secondRole));
    box.setDefaultButton(accept);
    box.exec();
    return box.clickedButton() == accept;
}

}   // namespace

bool TPromptsGui::AskYesNo(const QString& text)
{
    if (NoScreen())
        return TPrompts::AskYesNo(text);
    return AskTwoButtons(FParent, text, QStringLiteral("Ja"), QMessageBox::YesRole, QStringLiteral("Nein"),
                         QMessageBox::NoRole);
}

bool TPromptsGui::AskOkCancel(const QString& text)
{
    if (NoScreen())
        return TPrompts::AskOkCancel(text);
    return AskTwoButtons(FParent, text, QStringLiteral("OK"), QMessageBox::AcceptRole, QStringLiteral("Abbrechen"),
                         QMessageBox::RejectRole);
}

void TPromptsGui::Info(const QString& text)
{
    if (NoScreen())
        return;
    QMessageBox box(QMessageBox::Information, Title(), text, QMessageBox::NoButton, FParent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

QString TPromptsGui::SaveFileName(const TFileDialogOptions& options, const QString& current)
{
    if (NoScreen())
        return TPrompts::SaveFileName(options, current);
    return RunFileDialog(FParent, options, current, QFileDialog::AcceptSave, false).value(0);
}

QString TPromptsGui::OpenFileName(const TFileDialogOptions& options, const QString& current)
{
    if (NoScreen())
        return TPrompts::OpenFileName(options, current);
    return RunFileDialog(FParent, options, current, QFileDialog::AcceptOpen, false).value(0);
}

QStringList TPromptsGui::OpenFileNames(const TFileDialogOptions& options)
{
    if (NoScreen())
        return TPrompts::OpenFileNames(options);
    return RunFileDialog(FParent, options, QString(), QFileDialog::AcceptOpen, true);
}

bool TPromptsGui::InputText(const QString& caption, const QString& prompt, QString& text)
{
    if (NoScreen())
        return TPrompts::InputText(caption, prompt, text);
    bool ok = false;
    const QString result = QInputDialog::getText(FParent, caption, prompt, QLineEdit::Normal, text, &ok);
    if (ok)
        text = result;
    return ok;
}

bool TPromptsGui::PickColor(int& value)
{
    if (NoScreen())
        return TPrompts::PickColor(value);
    const std::unique_ptr<QColorDialog> dlg = NewColorDialog(FParent, value);
    if (dlg->exec() != QDialog::Accepted)
        return false;
    value = ValueFromColor(dlg->selectedColor());
    return true;
}
