#pragma once
// The program's error log: a thread-safe list of formatted lines that the main
// window's error-log page shows and that can be written to a file at exit.

#include "framework/uErrors.h"

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QStringList>

class TErrorLog : public QObject {
    Q_OBJECT
public:
    static TErrorLog& Instance();

    // The log keeps its newest lines only, so that a stream of bad input (a
    // remote client sending faulty commands all night) cannot fill the memory.
    static constexpr qsizetype MaxLines = 10000;

    // Any thread. Formats one line with the current local time and appends it,
    // dropping the oldest line when the log is full.
    void Add(int kind, const QString& text);
    QStringList Lines() const;
    void Clear();

    // "dd.mm.yyyy   hh:mm:ss" + two blanks + kind letter (I, W, F; other kinds none)
    // + five blanks + text.
    static QString FormatLine(const QDateTime& time, int kind, const QString& text);
    static QString KindLetter(int kind);

signals:
    // Emitted for every added line. Listeners on another thread receive it queued.
    void lineAdded(const QString& line);

private:
    TErrorLog() = default;
    mutable QMutex FMutex;
    QStringList FLines;
};

// Error-log kinds.
constexpr int elInfo = 1;
constexpr int elWarning = 2;
constexpr int elError = 3;

void AddToErrorLog(int kind, const QString& text);

// The last-chance rule for code that Qt calls (handlers, slots, timers, socket
// events): whatever escapes is logged as kind 3 "Application-Exception: " and the
// message, no dialog, and the program goes on.
void LogApplicationException(const QString& message);

// Runs action under the last-chance rule; false when it raised.
template <typename F>
bool Guarded(F&& action)
{
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        LogApplicationException(ExceptionMessage(e));
    } catch (...) {
        LogApplicationException(QStringLiteral("unbekannter Fehler"));
    }
    return false;
}
