#include "core/uErrorLog.h"

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
    const QString line = FormatLine(QDateTime::currentDateTime(), kind, text);
    {
        QMutexLocker lock(&FMutex);
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
    return FLines;
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
