#pragma once
// Helpers for forms: their remembered position in the settings file and the
// window-menu entries of numbered windows.

#include <QCursor>
#include <QGuiApplication>
#include <QList>
#include <QString>

#include <functional>

class QAction;
class QMenu;
#include <functional>

class QWidget;

// Runs a modal dialog: exec(), or, when a runner is installed (tests), shows the
// dialog and lets the runner drive it and give the result, without a nested loop.
template <class TDialog>
int RunDialog(TDialog& dialog, const std::function<int(TDialog&)>& runner)
{
    if (!runner)
        return dialog.exec();
    dialog.show();
    const int result = runner(dialog);
    dialog.hide();
    return result;
}

// The hourglass cursor for the duration of a scope.
class TWaitCursor {
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Section = the form's object name; Left/Top default 4, Width/Height default to
// the current size.
void LoadFormPosition(QWidget* form);
void SaveFormPosition(QWidget* form);

// Appends the two entries of a numbered window to parent: caption + " anzeigen"
// with tag, and caption + " auf den primären Screen anzeigen" with tag + 100. A
// click calls handler with the entry's tag. Returns the two entries (owned by parent).
QList<QAction*> AddShowMenuItems(QMenu* parent, const QString& caption, int tag, const std::function<void(int tag)>& handler);
