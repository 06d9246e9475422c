#pragma once
// The program's error log: a thread-safe list of formatted lines that the main
// window's error-log page shows and that can be written to a file at exit.

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QStringList>

class TErrorLog : public QObject {
    Q_OBJECT
public:
    static TErrorLog& Instance();

    // Any thread. Formats one line with the current local time and appends it.
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
