#include "framework/uTextEdits.h"

#include "framework/uErrorLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMimeData>
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
    } else if (source->hasText()) {
        QString text = source->text();
        if (text.size() > SlicedInsertChars) {
            new TSlicedInsert(EditorOf(this), std::move(text), false);
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
    if (FMaxLength > 0) {
        const QTextCursor c = textCursor();
        const qsizetype kept = document()->characterCount() - 1 - (c.selectionEnd() - c.selectionStart());
        const qsizetype room = std::max<qsizetype>(0, FMaxLength - kept);
        if (text.size() > room) {
            qsizetype cut = room;
            if (cut > 0 && text.at(cut - 1).isHighSurrogate())
                --cut;
            AddToErrorLog(elError, QStringLiteral("Einfügen in %1: %2 Zeichen auf %3 gekürzt, das Feld nimmt höchstens "
                                                  "%4 Zeichen.")
                                       .arg(objectName())
                                       .arg(text.size())
                                       .arg(cut)
                                       .arg(FMaxLength));
            text.truncate(cut);
        }
    }
    if (text.size() > SlicedInsertChars) {
        new TSlicedInsert(EditorOf(this), std::move(text), false);
        return;
    }
    QMimeData plain;
    plain.setText(text);
    QPlainTextEdit::insertFromMimeData(&plain);
}
