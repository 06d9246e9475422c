#include "framework/uErrorLog.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QThread>

TErrorLog& TErrorLog::Instance()
{
    static TErrorLog* const instance = [] {
        auto* log = new TErrorLog();
        // Whoever asks first, the object lives on the application's thread, so
        // that its affinity never names a worker thread that has ended.
        if (auto* app = QCoreApplication::instance(); app && log->thread() != app->thread())
            log->moveToThread(app->thread());
        return log;
    }();
    return *instance;
}

void TErrorLog::Add(int kind, const QString& text)
{
    QString line;
    {
        QMutexLocker lock(&FMutex);
        // Stamped under the lock: a line added later never carries an earlier
        // time. It also keeps the C library's time-zone state, which every
        // local time reads and may set again, to one thread at a time.
        line = FormatLine(QDateTime::currentDateTime(), kind, text);
        if (FLines.size() >= MaxLines)
            FLines.removeFirst();
        FLines.append(line);
    }
    // Outside the lock: a directly connected listener may read Lines().
    emit lineAdded(line);
}

QStringList TErrorLog::Lines() const
{
    QMutexLocker lock(&FMutex);
    // A list of its own: a copy that shared the log's buffer would let the next
    // Add, on another thread, grow that buffer in place while the copy is
    // still being let go of here.
    return QStringList(FLines.cbegin(), FLines.cend());
}

void TErrorLog::Clear()
{
    QMutexLocker lock(&FMutex);
    FLines.clear();
}

QString TErrorLog::FormatLine(const QDateTime& time, int kind, const QString& text)
{
    return time.toString(QStringLiteral("dd.MM.yyyy   hh:mm:ss")) + QStringLiteral("  ") + KindLetter(kind)
         + QStringLiteral("     ") + text;
}

QString TErrorLog::KindLetter(int kind)
{
    switch (kind) {
    case elInfo: return QStringLiteral("I");
    case elWarning: return QStringLiteral("W");
    case elError: return QStringLiteral("F");
    default: return QString();
    }
}

void AddToErrorLog(int kind, const QString& text)
{
    TErrorLog::Instance().Add(kind, text);
}

void LogApplicationException(const QString& message)
{
    AddToErrorLog(elError, QStringLiteral("Application-Exception: ") + message);
}
