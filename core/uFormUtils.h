#pragma once
// Helpers for forms: their remembered position in the settings file.

#include <QCursor>
#include <QGuiApplication>

class QWidget;

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
