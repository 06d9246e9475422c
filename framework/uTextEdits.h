#pragma once
// The text editors every form uses. Qt 6.4's editors end the program when a
// paste or drop brings data without any format, which is what an empty
// clipboard gives on X11 (after every login, for one); these refuse such data
// and take everything else as Qt's own editors do.

#include <QPlainTextEdit>
#include <QTextEdit>

class QMimeData;

// True when source brings something an editor can insert.
bool HasInsertableData(const QMimeData* source);

class TTextEdit : public QTextEdit {
public:
    using QTextEdit::QTextEdit;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

class TPlainTextEdit : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};
