#pragma once
// The text editors every form uses. Qt 6.4's editors end the program when a
// paste or drop brings data without any format, which is what an empty
// clipboard gives on X11 (after every login, for one); these refuse such data
// and take everything else as Qt's own editors do, with two guards for the
// 40 ms clock, which runs on the GUI thread:
// - a box with a maximum length (SetMaxLength) takes of a paste or drop only
//   what still fits, and says so in one error-log line;
// - a large paste or drop (more than SlicedInsertChars characters) goes in
//   in slices of a few milliseconds between turns of the event loop, so that
//   the clock keeps its beat while Qt builds and lays out the text. The box is
//   read-only meanwhile and the whole paste is one undo step. A rich text of
//   that size is read into a document of its own on a thread of its own first.

#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

class QMimeData;
class TSlicedInsert;

// True when source brings something an editor can insert.
bool HasInsertableData(const QMimeData* source);

// Pastes larger than this many characters are inserted in slices.
constexpr qsizetype SlicedInsertChars = 64 * 1024;

// True while a sliced paste or drop is still going into editor.
bool InsertingSlices(const QWidget* editor);

// The longest line a paste or drop brings into a multi-line editor. Qt lays a
// paragraph out whole on every edit, cursor move and paint of it, so one line of
// megabytes stalls the GUI thread for seconds at every keystroke; a line of this
// length is laid out in under 10 ms. A longer line is broken at this bound into
// lines of its length (nothing is lost), with one error-log line per paste.
constexpr qsizetype MaxPastedLineChars = 10000;

// Breaks every line of text longer than MaxPastedLineChars at that bound (with
// LF; a character outside the BMP is not split); the number of lines broken.
qsizetype BreakLongLines(QString& text);
// The same for the paragraphs of a document; the number of paragraphs broken.
qsizetype BreakLongBlocks(QTextDocument& document);

// Guards the one-line boxes of the whole application (line edits, also those of
// spin boxes and editable combo boxes) against large pastes, by a filter on the
// application: a paste by key, by the middle button, by the edit menu or by a
// drop takes only what the box's maximum length leaves room for, and says so in
// one error-log line when it cuts; a full box does not even read the clipboard.
// Installed once; further calls do nothing.
void GuardOneLineBoxes();

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

    // The most characters the box holds (a line break counts as one); 0 for no
    // limit. Only what is pasted or dropped is cut: the program's own texts and
    // typing are the owner's affair.
    void SetMaxLength(int length) { FMaxLength = length; }
    int MaxLength() const { return FMaxLength; }

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int FMaxLength = 0;
};
