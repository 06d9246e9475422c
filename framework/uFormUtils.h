#pragma once
// Helpers for forms: named widgets, docking a form into a panel, the protocol
// memos and digit-only edits, the runner hook of modal dialogs, their remembered
// position in the settings file and the window-menu entries of numbered windows
// (whose registry is uNumberedWindows.h).

#include <QCursor>
#include <QGuiApplication>
#include <QList>
#include <QPoint>
#include <QString>

#include <functional>
#include <utility>

class QAction;
class QDialog;
class QLineEdit;
class QMenu;
class QWidget;

// A new widget of class T with the given object name, constructed from args
// (caption, parent, ...). Tests and scripts find widgets by these names.
template <class T, class... Args>
T* Named(const QString& name, Args&&... args)
{
    auto* widget = new T(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

// Moves child into the layout of panel (a vertical layout without margins is
// made when the panel has none) and shows it; nothing when child already sits there.
void DockInto(QWidget* child, QWidget* panel);

// Lets only the digits and backspace be typed into edit; other characters typed
// are discarded (text set by the program is not checked).
void AcceptTypedDigitsOnly(QLineEdit* edit);

// Modal dialogs run through RunDialog: exec(), or, when a runner is installed
// under the dialog's object name (tests), the dialog is shown and the runner
// drives it and gives the result, without a nested event loop.
using TDialogRunner = std::function<int(QDialog&)>;
int RunDialog(QDialog& dialog);
// Installs runner for the dialogs named objectName; an empty runner removes it.
void SetDialogRunner(const QString& objectName, TDialogRunner runner);
// The same for a runner that takes the dialog's own class:
// SetDialogRunner<TFrm_EditSymbol>("Frm_EditSymbol", [](TFrm_EditSymbol& d) { ... }).
template <class TDialog, class F>
void SetDialogRunner(const QString& objectName, F runner)
{
    SetDialogRunner(objectName, TDialogRunner([runner = std::move(runner)](QDialog& dialog) mutable {
                        return runner(static_cast<TDialog&>(dialog));
                    }));
}

// The hourglass cursor for the duration of a scope.
class TWaitCursor {
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Section = the form's object name; Left/Top default to topLeft (4, 4 unless
// given), Width/Height to the current size.
void LoadFormPosition(QWidget* form, QPoint topLeft = QPoint(4, 4));
void SaveFormPosition(QWidget* form);

// Where floating window n (1..) opens when the settings hold no position for it:
// at the origin the main window gives, which leaves its menu bar and page tabs in
// sight, moved down and right by 24 pixels for each number after the first (the
// ninth starts over). Without a main window the origin is 4, 4.
QPoint FloatingWindowPlace(int n);
// Set by the main window while it exists; an empty function takes it back.
void SetFloatingWindowOrigin(std::function<QPoint()> origin);

// Appends the two entries of a numbered window to parent: caption + " anzeigen"
// with tag, and caption + " auf den primären Screen anzeigen" with tag + 100. A
// click calls handler with the entry's tag. Returns the two entries (owned by parent).
QList<QAction*> AddShowMenuItems(QMenu* parent, const QString& caption, int tag, const std::function<void(int tag)>& handler);

// Shows, raises and activates window; first moves it to the primary screen's
// top left (plus 4, 4) when topLeft.
void ShowWindowRaised(QWidget* window, bool topLeft);
