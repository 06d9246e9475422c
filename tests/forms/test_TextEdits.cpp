// The program's text editors offscreen: a box with a maximum length cuts what
// is pasted into it, and a paste or drop of more than SlicedInsertChars goes in
// piece by piece between turns of the event loop, plain or rich, as one undo step,
// and stops when the editor gets another document.

#include "TestHelpers.h"

#include "framework/uErrorLog.h"
#include "framework/uTextEdits.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

// count lines of their number, width characters each with the line break,
// separated by separator.
QString Lines(int count, int width, const QString& separator = QStringLiteral("\n"))
{
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        QString line = QString::number(i) + u' ';
        line += QString(width - separator.size() - line.size(), u'x');
        lines << line;
    }
    return lines.join(separator);
}

void Paste(QWidget* editor, const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
    if (auto* rich = qobject_cast<QTextEdit*>(editor))
        rich->paste();
    else
        qobject_cast<QPlainTextEdit*>(editor)->paste();
}

bool ReadOnly(QWidget* editor)
{
    if (auto* rich = qobject_cast<QTextEdit*>(editor))
        return rich->isReadOnly();
    return qobject_cast<QPlainTextEdit*>(editor)->isReadOnly();
}

QTextDocument* Document(QWidget* editor)
{
    if (auto* rich = qobject_cast<QTextEdit*>(editor))
        return rich->document();
    return qobject_cast<QPlainTextEdit*>(editor)->document();
}

}   // namespace

TEST(TextEdits, ABoxWithAMaximumTakesOfAPasteWhatFitsAndSaysSo)
{
    TErrorLog::Instance().Clear();
    TPlainTextEdit box;
    box.setObjectName(QStringLiteral("memInput1"));
    box.SetMaxLength(100);
    box.setPlainText(QString(40, u'a'));
    box.moveCursor(QTextCursor::End);

    const struct {
        QString Pasted;
        int SelectFrom;   // -1: no selection, the cursor at the end
        QString After;
        int LogLines;
    } cases[] = {
        {QString(50, u'b'), -1, QString(40, u'a') + QString(50, u'b'), 0},
        {QString(30, u'c'), -1, QString(40, u'a') + QString(50, u'b') + QString(10, u'c'), 1},
        {QStringLiteral("d"), -1, QString(40, u'a') + QString(50, u'b') + QString(10, u'c'), 2},
        // A selection makes room: the 20 characters selected are replaced.
        {QString(30, u'e'), 80, QString(40, u'a') + QString(40, u'b') + QString(20, u'e'), 3},
    };
    for (const auto& c : cases) {
        if (c.SelectFrom >= 0) {
            QTextCursor cursor = box.textCursor();
            cursor.setPosition(c.SelectFrom);
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            box.setTextCursor(cursor);
        }
        Paste(&box, c.Pasted);
        EXPECT_EQ(box.toPlainText(), c.After) << c.Pasted.size();
        EXPECT_EQ(ErrorLogCount(QStringLiteral("Einfügen in memInput1: ")), c.LogLines);
    }
    EXPECT_EQ(ErrorLogCount(QStringLiteral("Einfügen in memInput1: 30 Zeichen auf 10 gekürzt, das Feld nimmt höchstens "
                                           "100 Zeichen.")),
              1);
    // A surrogate pair is not cut in two.
    box.clear();
    Paste(&box, QString(99, u'f') + QString::fromUtf8("\xF0\x9F\x8E\xAD"));
    EXPECT_EQ(box.toPlainText(), QString(99, u'f'));
}

TEST(TextEdits, ALargePasteGoesInPieceByPieceAsOneUndoStep)
{
    // Lines with CR LF, one far longer than a piece, and a last line without a break.
    const QString text = Lines(1500, 80, QStringLiteral("\r\n")) + QStringLiteral("\r\n") + QString(20000, u'y') +
                         QStringLiteral("\r\nEnde");
    ASSERT_GT(text.size(), SlicedInsertChars);
    QString expected = text;
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    TTextEdit rich;
    TPlainTextEdit plain;
    for (QWidget* editor : {static_cast<QWidget*>(&rich), static_cast<QWidget*>(&plain)}) {
        SCOPED_TRACE(editor->metaObject()->className());
        editor->resize(400, 300);
        editor->show();
        QTextDocument* doc = Document(editor);
        doc->setPlainText(QStringLiteral("Anfang "));
        QTextCursor end(doc);
        end.movePosition(QTextCursor::End);
        qobject_cast<QTextEdit*>(editor) ? rich.setTextCursor(end) : plain.setTextCursor(end);
        doc->clearUndoRedoStacks();

        Paste(editor, text);
        // The paste has begun but is not in yet; meanwhile the box takes nothing else.
        EXPECT_TRUE(InsertingSlices(editor));
        EXPECT_TRUE(ReadOnly(editor));
        EXPECT_LT(doc->characterCount(), text.size());
        Paste(editor, QStringLiteral("dazwischen"));
        ASSERT_TRUE(WaitFor([&] { return !InsertingSlices(editor); }));
        EXPECT_FALSE(ReadOnly(editor));
        EXPECT_EQ(doc->toPlainText(), QStringLiteral("Anfang ") + expected);
        EXPECT_EQ(doc->blockCount(), 1502);
        EXPECT_EQ(doc->findBlockByNumber(1500).length(), 20001);
        // The cursor stands behind the paste, which one undo takes back.
        EXPECT_EQ(qobject_cast<QTextEdit*>(editor) ? rich.textCursor().position() : plain.textCursor().position(),
                  doc->characterCount() - 1);
        qobject_cast<QTextEdit*>(editor) ? rich.undo() : plain.undo();
        EXPECT_EQ(doc->toPlainText(), QStringLiteral("Anfang "));
    }
}

TEST(TextEdits, ALargeRichPasteKeepsItsFormatsAndADroppedOneGoesInToo)
{
    QString html = QStringLiteral("<html><body>");
    for (int i = 0; i < 5000; ++i)
        html += QStringLiteral("<p>Zeile %1 <b>fett</b> <span style=\"color:#ff0000\">rot</span></p>").arg(i);
    html += QStringLiteral("</body></html>");
    TTextEdit edit;
    edit.resize(400, 300);
    edit.show();

    auto* data = new QMimeData;
    data->setHtml(html);
    data->setText(QStringLiteral("nur Text"));
    QGuiApplication::clipboard()->setMimeData(data);
    edit.paste();
    EXPECT_TRUE(InsertingSlices(&edit));
    ASSERT_TRUE(WaitFor([&] { return !InsertingSlices(&edit); }));
    QTextDocument* doc = edit.document();
    EXPECT_EQ(doc->blockCount(), 5000);
    const QTextBlock last = doc->lastBlock();
    EXPECT_EQ(last.text(), "Zeile 4999 fett rot");
    QTextCursor at(last);
    at.setPosition(last.position() + 12);
    EXPECT_EQ(at.charFormat().fontWeight(), QFont::Bold);
    at.setPosition(last.position() + 17);
    EXPECT_EQ(at.charFormat().foreground().color(), QColor(255, 0, 0));

    // Dropped plain text at the end.
    QMimeData dropped;
    dropped.setText(Lines(1000, 80));
    const QPoint below(5, edit.viewport()->height() - 2);
    QDragEnterEvent enter(below, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit.viewport(), &enter);
    QDropEvent drop(QPointF(below), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit.viewport(), &drop);
    EXPECT_TRUE(InsertingSlices(&edit));
    ASSERT_TRUE(WaitFor([&] { return !InsertingSlices(&edit); }));
    EXPECT_TRUE(doc->toPlainText().contains(QStringLiteral("999 xxx")));
}

TEST(TextEdits, APasteStopsWhenTheEditorGetsAnotherDocument)
{
    auto edit = std::make_unique<TTextEdit>();
    edit->show();
    Paste(edit.get(), Lines(4000, 80));
    ASSERT_TRUE(InsertingSlices(edit.get()));
    auto* other = new QTextDocument(edit.get());
    other->setPlainText(QStringLiteral("neu"));
    edit->setDocument(other);
    ASSERT_TRUE(WaitFor([&] { return !InsertingSlices(edit.get()); }));
    EXPECT_FALSE(edit->isReadOnly());
    EXPECT_EQ(edit->toPlainText(), "neu");

    // The editor going away while it takes a paste ends the paste with it.
    Paste(edit.get(), Lines(4000, 80));
    ASSERT_TRUE(InsertingSlices(edit.get()));
    edit.reset();
    QCoreApplication::processEvents();
}
