#include "framework/uTextEdits.h"

#include "framework/uErrorLog.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>
#include <thread>

namespace {

// What one turn of the event loop may spend on a sliced insertion, and the most
// characters one insertion takes.
constexpr int TurnBudgetMs = 8;
constexpr qsizetype PieceChars = 4096;
// HTML holds several characters of markup for each character of text.
constexpr qsizetype SlicedInsertHtmlChars = 4 * SlicedInsertChars;

const QString SlicedInsertName = QStringLiteral("slicedInsert");

bool EndsLine(QChar c)
{
    return c == u'\n' || c == u'\r';
}

void LogBrokenLines(const QString& editor, qsizetype lines)
{
    AddToErrorLog(elWarning, QStringLiteral("Einfügen in %1: %2 Zeilen mit mehr als %3 Zeichen nach je %3 Zeichen "
                                            "umgebrochen.")
                                 .arg(editor)
                                 .arg(lines)
                                 .arg(MaxPastedLineChars));
}

// Cuts text to room characters (not inside a character outside the BMP) and
// logs the cut when there is one.
void CutToRoom(QString& text, qsizetype room, const QString& editor, qsizetype maxLength)
{
    if (text.size() <= room)
        return;
    qsizetype cut = std::max<qsizetype>(0, room);
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    AddToErrorLog(elError, QStringLiteral("Einfügen in %1: %2 Zeichen auf %3 gekürzt, das Feld nimmt höchstens "
                                          "%4 Zeichen.")
                               .arg(editor)
                               .arg(text.size())
                               .arg(cut)
                               .arg(maxLength));
    text.truncate(cut);
}

// The length of the next plain-text piece of text from from: whole lines, as
// many as fit in PieceChars, else one. A piece never ends inside a line: a block
// that grows piece by piece would be laid out again for every piece.
qsizetype PieceLength(const QString& text, qsizetype from)
{
    const qsizetype size = text.size();
    // A line ends after LF, or after a CR that no LF follows.
    const auto endsLine = [&text, size](qsizetype i) {
        const QChar c = text.at(i);
        return c == u'\n' || (c == u'\r' && (i + 1 >= size || text.at(i + 1) != u'\n'));
    };
    if (size - from <= PieceChars)
        return size - from;
    for (qsizetype i = from + PieceChars - 1; i >= from; --i)
        if (endsLine(i))
            return i + 1 - from;
    for (qsizetype i = from + PieceChars; i < size; ++i)
        if (endsLine(i))
            return i + 1 - from;
    return size - from;
}

}   // namespace

// Inserts a large text into an editor's document in pieces, a few milliseconds'
// worth per turn of the event loop: plain text as it comes, rich text (HTML) read
// into a document of its own on a thread of its own first and then inserted
// paragraph by paragraph. The editor is read-only meanwhile; all pieces make one
// undo step. Lives as a child of the editor and goes when done, or with it; stops
// when the editor gets another document.
class TSlicedInsert : public QObject {
public:
    struct TEditor {
        QWidget* Widget;
        std::function<QTextCursor()> Cursor;
        std::function<void(const QTextCursor&)> SetCursor;
        std::function<bool()> ReadOnly;
        std::function<void(bool)> SetReadOnly;
        std::function<QTextDocument*()> Document;
    };

    TSlicedInsert(TEditor editor, QString text, bool html) : QObject(editor.Widget), FEditor(std::move(editor))
    {
        setObjectName(SlicedInsertName);
        FDocument = FEditor.Document();
        FCursor = FEditor.Cursor();
        FWasReadOnly = FEditor.ReadOnly();
        FEditor.SetReadOnly(true);
        if (!html) {
            FText = std::move(text);
            Schedule();
            return;
        }
        // The HTML is read on a thread: the document belongs to it until it is
        // handed over, and nothing there touches the editor.
        QThread* gui = thread();
        FReader = std::thread([this, html = std::move(text), gui] {
            auto source = std::make_unique<QTextDocument>();
            source->setUndoRedoEnabled(false);
            source->setHtml(html);
            FBroken = BreakLongBlocks(*source);
            source->moveToThread(gui);
            FRead = std::move(source);
            QMetaObject::invokeMethod(
                this, [this] { SourceRead(); }, Qt::QueuedConnection);
        });
    }

    ~TSlicedInsert() override
    {
        if (FReader.joinable())
            FReader.join();
    }

private:
    void SourceRead()
    {
        FReader.join();
        FSource = std::move(FRead);
        if (FBroken > 0)
            LogBrokenLines(FEditor.Widget->objectName(), FBroken);
        Schedule();
    }

    void Schedule()
    {
        QTimer::singleShot(0, this, [this] { Turn(); });
    }

    bool Target() const { return FDocument && FEditor.Document() == FDocument && !FCursor.isNull(); }

    void Turn()
    {
        if (!Target()) {
            Finish(false);
            return;
        }
        // Each piece is an edit of its own, joined to the ones before for undo:
        // its end lays it out, and that counts in the turn's time.
        QElapsedTimer turn;
        turn.start();
        bool done = false;
        while (!done && turn.elapsed() < TurnBudgetMs) {
            if (FStarted)
                FCursor.joinPreviousEditBlock();
            else
                FCursor.beginEditBlock();
            FStarted = true;
            done = FSource ? InsertRichPiece() : InsertPlainPiece();
            FCursor.endEditBlock();
        }
        if (done)
            Finish(true);
        else
            Schedule();
    }

    bool InsertPlainPiece()
    {
        const qsizetype length = PieceLength(FText, FDone);
        FCursor.insertText(FText.mid(FDone, length));
        FDone += length;
        return FDone >= FText.size();
    }

    bool InsertRichPiece()
    {
        const int end = FSource->characterCount() - 1;
        // Tables and other frames go in whole: a piece must not cut through one.
        if (!FSource->rootFrame()->childFrames().isEmpty()) {
            FCursor.insertFragment(QTextDocumentFragment(FSource.get()));
            return true;
        }
        QTextBlock block = FSource->findBlock(int(FDone));
        int to = block.position() + block.length();
        for (block = block.next(); block.isValid() && to - FDone < PieceChars; block = block.next())
            to = block.position() + block.length();
        to = std::min(to, end);
        QTextCursor piece(FSource.get());
        piece.setPosition(int(FDone));
        piece.setPosition(to, QTextCursor::KeepAnchor);
        FCursor.insertFragment(QTextDocumentFragment(piece));
        FDone = to;
        return FDone >= end;
    }

    void Finish(bool inserted)
    {
        FEditor.SetReadOnly(FWasReadOnly);
        if (inserted)
            FEditor.SetCursor(FCursor);
        deleteLater();
        setObjectName(QString());
    }

    TEditor FEditor;
    QPointer<QTextDocument> FDocument;
    QTextCursor FCursor;
    bool FWasReadOnly = false;
    bool FStarted = false;
    QString FText;
    std::unique_ptr<QTextDocument> FSource;
    qsizetype FDone = 0;
    std::thread FReader;
    std::unique_ptr<QTextDocument> FRead;   // the reader's result, taken over once it has ended
    qsizetype FBroken = 0;                  // paragraphs the reader broke
};

namespace {

template <class Edit>
TSlicedInsert::TEditor EditorOf(Edit* edit)
{
    return {edit,
            [edit] { return edit->textCursor(); },
            [edit](const QTextCursor& c) {
                edit->setTextCursor(c);
                edit->ensureCursorVisible();
            },
            [edit] { return edit->isReadOnly(); },
            [edit](bool on) { edit->setReadOnly(on); },
            [edit] { return edit->document(); }};
}

}   // namespace

bool HasInsertableData(const QMimeData* source)
{
    return source && !source->formats().isEmpty();
}

bool InsertingSlices(const QWidget* editor)
{
    return editor && editor->findChild<QObject*>(SlicedInsertName, Qt::FindDirectChildrenOnly);
}

bool TTextEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return HasInsertableData(source) && !InsertingSlices(this) && QTextEdit::canInsertFromMimeData(source);
}

void TTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (!HasInsertableData(source) || InsertingSlices(this))
        return;
    if (acceptRichText() && source->hasHtml()) {
        QString html = source->html();
        if (html.size() > SlicedInsertHtmlChars) {
            new TSlicedInsert(EditorOf(this), std::move(html), true);
            return;
        }
        // Shorter markup cannot hold a paragraph beyond the bound.
        if (html.size() > MaxPastedLineChars) {
            QTextDocument read;
            read.setUndoRedoEnabled(false);
            read.setHtml(html);
            if (const qsizetype broken = BreakLongBlocks(read)) {
                LogBrokenLines(objectName(), broken);
                QTextCursor c = textCursor();
                c.insertFragment(QTextDocumentFragment(&read));
                setTextCursor(c);
                ensureCursorVisible();
                return;
            }
        }
    } else if (source->hasText()) {
        QString text = source->text();
        const qsizetype broken = BreakLongLines(text);
        if (broken > 0)
            LogBrokenLines(objectName(), broken);
        if (text.size() > SlicedInsertChars) {
            new TSlicedInsert(EditorOf(this), std::move(text), false);
            return;
        }
        if (broken > 0) {
            QMimeData plain;
            plain.setText(text);
            QTextEdit::insertFromMimeData(&plain);
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

bool TPlainTextEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return HasInsertableData(source) && !InsertingSlices(this) && QPlainTextEdit::canInsertFromMimeData(source);
}

void TPlainTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (!HasInsertableData(source) || InsertingSlices(this))
        return;
    if (!source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString text = source->text();
    if (const qsizetype broken = BreakLongLines(text))
        LogBrokenLines(objectName(), broken);
    if (FMaxLength > 0) {
        const QTextCursor c = textCursor();
        const qsizetype kept = document()->characterCount() - 1 - (c.selectionEnd() - c.selectionStart());
        CutToRoom(text, FMaxLength - kept, objectName(), FMaxLength);
    }
    if (text.size() > SlicedInsertChars) {
        new TSlicedInsert(EditorOf(this), std::move(text), false);
        return;
    }
    QMimeData plain;
    plain.setText(text);
    QPlainTextEdit::insertFromMimeData(&plain);
}

// ---- long lines ----

qsizetype BreakLongLines(QString& text)
{
    const qsizetype size = text.size();
    const QChar* d = text.constData();
    // A first look without a copy: most pastes hold no such line.
    bool found = false;
    for (qsizetype i = 0, run = 0; i < size && !found; ++i) {
        run = EndsLine(d[i]) ? 0 : run + 1;
        found = run > MaxPastedLineChars;
    }
    if (!found)
        return 0;
    QString out;
    out.reserve(size + size / MaxPastedLineChars + 1);
    qsizetype broken = 0;
    for (qsizetype pos = 0; pos < size;) {
        qsizetype end = pos;
        while (end < size && !EndsLine(d[end]))
            ++end;
        if (end - pos > MaxPastedLineChars)
            ++broken;
        while (end - pos > MaxPastedLineChars) {
            qsizetype take = MaxPastedLineChars;
            if (d[pos + take - 1].isHighSurrogate())
                --take;
            out.append(QStringView(d + pos, take));
            out.append(u'\n');
            pos += take;
        }
        out.append(QStringView(d + pos, std::min(end + 1, size) - pos));
        pos = end + 1;
    }
    text = std::move(out);
    return broken;
}

qsizetype BreakLongBlocks(QTextDocument& document)
{
    qsizetype broken = 0;
    QTextCursor cursor(&document);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.length() - 1 <= MaxPastedLineChars)
            continue;
        ++broken;
        while (block.length() - 1 > MaxPastedLineChars) {
            int at = block.position() + int(MaxPastedLineChars);
            if (document.characterAt(at - 1).isHighSurrogate())
                --at;
            cursor.setPosition(at);
            cursor.insertBlock();
            block = cursor.block();
        }
    }
    return broken;
}

// ---- one-line boxes ----

namespace {

// The line edit a key event for w goes to: w itself, or the editor of a spin
// box or of an editable combo box.
QLineEdit* LineEditOf(QObject* w)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit;
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
        return spin->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->lineEdit();
    return nullptr;
}

// The name of the box a line edit stands for (a spin box's or combo box's own).
QString BoxName(const QLineEdit* edit)
{
    const QObject* parent = edit->parent();
    if (parent && (qobject_cast<const QAbstractSpinBox*>(parent) || qobject_cast<const QComboBox*>(parent)))
        return parent->objectName();
    return edit->objectName();
}

// Whether the guard takes pastes into edit: not a read-only one (which takes
// none) nor one with an input mask (whose length the mask fixes).
bool TakesGuardedPaste(const QLineEdit* edit)
{
    return edit && !edit->isReadOnly() && edit->inputMask().isEmpty();
}

// What a paste may bring into edit: its maximum length less the text the
// paste keeps (all but the selection).
qsizetype Room(const QLineEdit* edit)
{
    return std::max<qsizetype>(0, edit->maxLength() - (edit->text().size() - edit->selectedText().size()));
}

// A paste from the clipboard (or the selection) into edit, as Qt's own but cut
// to the room the box has. A full box does not read the clipboard at all: a
// foreign clipboard of megabytes costs its transfer from the X server.
void PasteInto(QLineEdit* edit, QClipboard::Mode mode)
{
    const qsizetype room = Room(edit);
    if (room == 0)
        return;
    QString text = QGuiApplication::clipboard()->text(mode);
    CutToRoom(text, room, BoxName(edit), edit->maxLength());
    if (!text.isEmpty() || edit->hasSelectedText())
        edit->insert(text);
}

class TOneLineGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
                QLineEdit* edit = LineEditOf(watched);
                if (TakesGuardedPaste(edit)) {
                    PasteInto(edit, QClipboard::Clipboard);
                    return true;
                }
            }
            break;
        case QEvent::MouseButtonRelease: {
            auto* edit = qobject_cast<QLineEdit*>(watched);
            if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton && TakesGuardedPaste(edit) &&
                QGuiApplication::clipboard()->supportsSelection()) {
                edit->deselect();
                PasteInto(edit, QClipboard::Selection);
                return true;
            }
            break;
        }
        case QEvent::Drop:
            return Drop(qobject_cast<QLineEdit*>(watched), static_cast<QDropEvent*>(event));
        case QEvent::Show:
            // The edit menu of a line edit (its own, a spin box's or a combo
            // box's) is built with the line edit as its parent.
            if (auto* menu = qobject_cast<QMenu*>(watched))
                GuardMenu(menu);
            break;
        default: break;
        }
        return false;
    }

private:
    // A drop of more than fits goes on as a drop of what fits.
    bool Drop(QLineEdit* edit, QDropEvent* event)
    {
        if (FDropping || !TakesGuardedPaste(edit) || !event->mimeData() || !event->mimeData()->hasText())
            return false;
        QString text = event->mimeData()->text();
        const qsizetype room = std::max<qsizetype>(0, edit->maxLength() - edit->text().size());
        if (text.size() <= room)
            return false;
        CutToRoom(text, room, BoxName(edit), edit->maxLength());
        QMimeData fitting;
        fitting.setText(text);
        QDropEvent drop(event->position(), event->possibleActions(), &fitting, event->buttons(), event->modifiers());
        FDropping = true;
        QCoreApplication::sendEvent(edit, &drop);
        FDropping = false;
        event->setDropAction(drop.dropAction());
        event->setAccepted(drop.isAccepted());
        return true;
    }

    static void GuardMenu(QMenu* menu)
    {
        auto* edit = qobject_cast<QLineEdit*>(menu->parent());
        if (!TakesGuardedPaste(edit))
            return;
        // The paste item is the one connected to the line edit's paste (Qt 6.4
        // connects it by name, later versions by pointer).
        for (QAction* action : menu->actions())
            if (QObject::disconnect(action, &QAction::triggered, edit, &QLineEdit::paste) ||
                QObject::disconnect(action, SIGNAL(triggered()), edit, SLOT(paste())))
                QObject::connect(action, &QAction::triggered, edit, [edit] { PasteInto(edit, QClipboard::Clipboard); });
    }

    bool FDropping = false;
};

} // namespace

void GuardOneLineBoxes()
{
    static QPointer<QObject> guard;
    if (guard || !qApp)
        return;
    guard = new TOneLineGuard(qApp);
    qApp->installEventFilter(guard);
}
