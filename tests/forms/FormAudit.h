#pragma once
// Looks at forms the way a user does: texts cut off, a literal "&" where a
// mnemonic was meant, and English words in Qt's standard dialogs.

#include <QStringList>

class QWidget;

// Words that Qt's standard dialogs show only when their German translation is missing.
const QStringList& EnglishDialogWords();

// The texts a dialog shows: its title, labels, buttons and their tips, header captions.
QStringList DialogTexts(QWidget* dialog);

// Every visible widget inside root (root included) that shows less than it
// needs: a label or track bar below its size hint, a combo box too narrow for
// its text, a header section or a table column narrower than its contents, a
// list narrower than its items, and a text that shows a literal "&". One line
// per finding, naming the widget.
QStringList AuditVisibleWidgets(QWidget* root);
