#include "devices/uProtocolMemo.h"

#include "devices/uServer.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

TProtocolMemo::TProtocolMemo(QPlainTextEdit* memo, std::function<const TProtocolLog*()> log)
    : QObject(memo), FMemo(memo), FLog(std::move(log))
{
    FMemo->setUndoRedoEnabled(false);
    FTimer.setSingleShot(true);
    FTimer.setInterval(RefreshMs);
    connect(&FTimer, &QTimer::timeout, this, [this] { Refresh(); });
    FMemo->installEventFilter(this);
    Refresh();
}

void TProtocolMemo::LineAdded()
{
    // A hidden memo catches up when it is shown.
    if (FMemo->isVisible() && !FTimer.isActive())
        FTimer.start();
}

bool TProtocolMemo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FMemo && event->type() == QEvent::Show)
        Refresh();
    return QObject::eventFilter(watched, event);
}

void TProtocolMemo::Refresh()
{
    FTimer.stop();
    const TProtocolLog* log = FLog();
    if (!log || log->Total() == FShown)
        return;
    const QStringList& lines = log->Lines();
    const qsizetype fresh = qsizetype(qMin<quint64>(log->Total() - FShown, quint64(lines.size())));
    FShown = log->Total();
    QTextDocument* doc = FMemo->document();
    QString text = lines.mid(0, fresh).join(u'\n');
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (fresh == lines.size()) {
        // Everything shown is gone from the log: the memo starts afresh.
        FMemo->setPlainText(text);
        return;
    }
    // One edit block: the memo lays itself out once for the whole refresh.
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(doc->isEmpty() ? text : text + u'\n');
    const int maxLines = TProtocolLog::MaxLines;
    if (doc->blockCount() > maxLines) {
        cursor.setPosition(doc->findBlockByNumber(maxLines).position() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
}
