#pragma once
// Helpers for forms: their remembered position in the settings file.

class QWidget;

// Section = the form's object name; Left/Top default 4, Width/Height default to
// the current size.
void LoadFormPosition(QWidget* form);
void SaveFormPosition(QWidget* form);
