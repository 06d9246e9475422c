// The program's text editors offscreen: a box with a maximum length cuts what
// is pasted into it, and a paste or drop of more than SlicedInsertChars goes in
// piece by piece between turns of the event loop, plain or rich, as one undo step,
// and stops when the editor gets another document; a pasted line beyond the bound
// is broken. One-line boxes take of a paste only what fits.

#include "TestHelpers.h"

#include "framework/uErrorLog.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTest>
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
    const QString text = Lines(1500, 80, QStringLiteral("\r\n")) + QStringLiteral("\r\n") + QString(9000, u'y') +
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
        EXPECT_EQ(doc->findBlockByNumber(1500).length(), 9001);
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

TEST(TextEdits, LinesBeyondTheBoundAreBrokenAtItAndNothingIsLost)
{
    const qsizetype max = MaxPastedLineChars;
    const QString a(max, u'a');
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");   // two UTF-16 units
    const struct {
        QString Text;
        QString Broken;
        qsizetype Lines;
    } cases[] = {
        {QString(), QString(), 0},
        {a + u'\n' + a + QStringLiteral("\r\n") + a, a + u'\n' + a + QStringLiteral("\r\n") + a, 0},
        {a + u'b', a + QStringLiteral("\nb"), 1},
        {QStringLiteral("x\r\n") + a + a + a + QStringLiteral("bc\rd"),
         QStringLiteral("x\r\n") + a + u'\n' + a + u'\n' + a + QStringLiteral("\nbc\rd"), 1},
        {a + u'b' + u'\n' + a + u'c', a + QStringLiteral("\nb\n") + a + QStringLiteral("\nc"), 2},
        // A character outside the BMP is not split: its line breaks before it.
        {a.left(max - 1) + clef + u'b', a.left(max - 1) + u'\n' + clef + u'b', 1},
    };
    for (const auto& c : cases) {
        QString text = c.Text;
        EXPECT_EQ(BreakLongLines(text), c.Lines) << c.Text.size();
        EXPECT_EQ(text, c.Broken) << c.Text.size();
    }
}

// A line of megabytes pasted into any multi-line editor, plain or rich, small
// or large, arrives as paragraphs no longer than the bound, with one log line.
TEST(TextEdits, APastedLineBeyondTheBoundArrivesBrokenInEveryEditor)
{
    const qsizetype max = MaxPastedLineChars;
    const QString line = Lines(1, int(max * 5 / 2));
    const QString longLine = Lines(1, int(max * 40));   // beyond the sliced insertion's size
    ASSERT_GT(longLine.size(), SlicedInsertChars);
    const QString boldHtml = "<p>" + QString(max + 10, u'b').replace(max / 2, 3, "<b>") + "</b></p>";
    const struct {
        bool Rich;        // a TTextEdit, else a TPlainTextEdit
        bool Html;        // the clipboard holds HTML besides the text
        QString Text;
        qsizetype Blocks;
    } cases[] = {
        {true, false, line, 3},       {false, false, line, 3},     {true, false, longLine, 40},
        {false, false, longLine, 40}, {true, true, boldHtml, 2},   {true, true, "<p>" + longLine + "</p>", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rich << c.Html << c.Text.size());
        TErrorLog::Instance().Clear();
        std::unique_ptr<QWidget> editor;
        if (c.Rich)
            editor = std::make_unique<TTextEdit>();
        else
            editor = std::make_unique<TPlainTextEdit>();
        editor->setObjectName(QStringLiteral("memLang"));
        editor->resize(400, 300);
        editor->show();
        auto* data = new QMimeData;
        if (c.Html)
            data->setHtml(c.Text);
        data->setText(c.Html ? QStringLiteral("nur Text") : c.Text);
        QGuiApplication::clipboard()->setMimeData(data);
        c.Rich ? static_cast<TTextEdit*>(editor.get())->paste() : static_cast<TPlainTextEdit*>(editor.get())->paste();
        ASSERT_TRUE(WaitFor([&] { return !InsertingSlices(editor.get()); }, 20000));
        const QTextDocument* doc = Document(editor.get());
        EXPECT_EQ(doc->blockCount(), c.Blocks);
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            ASSERT_LE(b.length() - 1, max);
        if (!c.Html) {
            EXPECT_EQ(doc->toPlainText().remove(u'\n'), c.Text);
        }
        EXPECT_EQ(ErrorLogCount(QStringLiteral("Einfügen in memLang: 1 Zeilen mit mehr als %1 Zeichen").arg(max)), 1);
    }
    // The bold run is still bold after the break.
    TTextEdit edit;
    auto* data = new QMimeData;
    data->setHtml(boldHtml);
    QGuiApplication::clipboard()->setMimeData(data);
    edit.paste();
    QTextCursor at(edit.document()->lastBlock());
    at.movePosition(QTextCursor::EndOfBlock);
    EXPECT_EQ(at.charFormat().fontWeight(), QFont::Bold);
}

// A one-line box takes of a paste, by key, by its edit menu or by a drop, only
// what its maximum length leaves room for, and logs the cut once.
TEST(OneLineBoxes, APasteTakesWhatTheBoxHoldsByKeyMenuAndDrop)
{
    GuardOneLineBoxes();
    GuardOneLineBoxes();   // once is enough; a second call adds nothing
    QLineEdit line;
    line.setObjectName(QStringLiteral("edtKurz"));
    line.setMaxLength(10);
    QLineEdit command;
    command.setObjectName(QStringLiteral("edtCommand"));
    command.setMaxLength(MaxCommandLineLength);
    QSpinBox spin;
    spin.setObjectName(QStringLiteral("udWert"));
    spin.setRange(0, 999);
    QComboBox combo;
    combo.setObjectName(QStringLiteral("cmbFrei"));
    combo.setEditable(true);
    QLineEdit locked;
    locked.setReadOnly(true);

    enum TWay { ByKey, ByMenu, ByDrop };
    const QString big(5 * 1024 * 1024, u'7');
    const struct {
        QWidget* Box;
        QLineEdit* Edit;
        QString Before;
        int SelectFrom;   // -1: the cursor at the end
        TWay Way;
        QString After;
        QString Logged;   // the log line's start, empty: none
    } cases[] = {
        {&line, &line, "abc", -1, ByKey, "abc7777777", "Einfügen in edtKurz: 5242880 Zeichen auf 7 gekürzt"},
        {&line, &line, "abcdefghij", 8, ByKey, "abcdefgh77", "Einfügen in edtKurz: 5242880 Zeichen auf 2 gekürzt"},
        {&line, &line, "abcdefghij", -1, ByKey, "abcdefghij", ""},   // full: nothing read, nothing logged
        {&line, &line, "abc", -1, ByMenu, "abc7777777", "Einfügen in edtKurz: 5242880 Zeichen auf 7 gekürzt"},
        {&line, &line, "abc", -1, ByDrop, "abc7777777", "Einfügen in edtKurz: 5242880 Zeichen auf 7 gekürzt"},
        {&command, &command, "", -1, ByKey, big.left(MaxCommandLineLength),
         QStringLiteral("Einfügen in edtCommand: 5242880 Zeichen auf %1 gekürzt").arg(MaxCommandLineLength)},
        // What the spin box's validator refuses it refuses as before: the cut comes first.
        {&spin, spin.findChild<QLineEdit*>(), "", -1, ByKey, "", "Einfügen in udWert: 5242880 Zeichen auf 32767"},
        {&combo, combo.lineEdit(), "", -1, ByKey, big.left(32767), "Einfügen in cmbFrei: 5242880 Zeichen auf 32767"},
        {&locked, &locked, "fest", -1, ByKey, "fest", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Box->objectName().toStdString() << ' ' << c.Before.toStdString() << ' '
                                        << c.Way);
        TErrorLog::Instance().Clear();
        QGuiApplication::clipboard()->setText(big);
        c.Box->show();
        c.Edit->setText(c.Before);
        if (c.SelectFrom >= 0)
            c.Edit->setSelection(c.SelectFrom, int(c.Before.size()) - c.SelectFrom);
        switch (c.Way) {
        case ByKey: QTest::keyClick(c.Box, Qt::Key_V, Qt::ControlModifier); break;
        case ByMenu: {
            QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), c.Edit->mapToGlobal(QPoint(2, 2)));
            QCoreApplication::sendEvent(c.Edit, &menuEvent);
            auto* menu = c.Edit->findChild<QMenu*>();
            ASSERT_TRUE(menu);
            const QString key = u'\t' + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
            QAction* paste = nullptr;
            for (QAction* a : menu->actions())
                paste = a->text().endsWith(key) ? a : paste;
            ASSERT_TRUE(paste);
            paste->trigger();
            menu->close();
            delete menu;
            break;
        }
        case ByDrop: {
            QMimeData dropped;
            dropped.setText(big);
            const QPoint at(c.Edit->width() - 2, 2);
            QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(c.Edit, &enter);
            QDropEvent drop(QPointF(at), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(c.Edit, &drop);
            EXPECT_TRUE(drop.isAccepted());
            break;
        }
        }
        EXPECT_EQ(c.Edit->text().size(), c.After.size());
        EXPECT_EQ(c.Edit->text(), c.After);
        EXPECT_EQ(TErrorLog::Instance().Lines().size(), c.Logged.isEmpty() ? 0 : 1);
        if (!c.Logged.isEmpty()) {
            EXPECT_EQ(ErrorLogCount(c.Logged), 1);
        }
        c.Box->hide();
    }
}
