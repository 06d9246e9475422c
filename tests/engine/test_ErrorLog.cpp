// The process-wide error log: line format and thread-safe appending.
#include "TestHelpers.h"
#include "framework/uErrorLog.h"

#include <QDateTime>
#include <QObject>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

TEST(ErrorLogFormat, LineForEachKind)
{
    const QDateTime t(QDate(2024, 3, 7), QTime(9, 5, 3));
    EXPECT_EQ(TErrorLog::FormatLine(t, elInfo, QStringLiteral("Start")),
              QStringLiteral("07.03.2024   09:05:03  I     Start"));
    EXPECT_EQ(TErrorLog::FormatLine(t, elWarning, QStringLiteral("Achtung")),
              QStringLiteral("07.03.2024   09:05:03  W     Achtung"));
    EXPECT_EQ(TErrorLog::FormatLine(t, elError, QStringLiteral("MIDI-Fehler: kaputt")),
              QStringLiteral("07.03.2024   09:05:03  F     MIDI-Fehler: kaputt"));
    EXPECT_EQ(TErrorLog::FormatLine(t, 0, QStringLiteral("x")), QStringLiteral("07.03.2024   09:05:03       x"));
    EXPECT_EQ(TErrorLog::FormatLine(t, 7, QStringLiteral("x")), QStringLiteral("07.03.2024   09:05:03       x"));
    // 24-hour clock.
    EXPECT_EQ(TErrorLog::FormatLine(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)), elInfo, QString()),
              QStringLiteral("31.12.1999   23:59:59  I     "));
}

TEST(ErrorLogAdd, AppendsWithCurrentTimeAndSignals)
{
    TErrorLog& log = TErrorLog::Instance();
    EXPECT_EQ(&log, &TErrorLog::Instance());
    log.Clear();
    QStringList seen;
    const auto conn = QObject::connect(&log, &TErrorLog::lineAdded, [&](const QString& line) { seen.append(line); });
    AddToErrorLog(elWarning, QStringLiteral("Kanäle fehlen"));
    QObject::disconnect(conn);

    const QStringList lines = log.Lines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(seen, lines);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}   \\d\\d:\\d\\d:\\d\\d  W     Kanäle fehlen$"))
                    .match(lines[0])
                    .hasMatch())
        << lines[0].toStdString();
    const QDateTime stamp = QDateTime::fromString(lines[0].left(21), QStringLiteral("dd.MM.yyyy   hh:mm:ss"));
    ASSERT_TRUE(stamp.isValid());
    EXPECT_LE(std::abs(stamp.secsTo(QDateTime::currentDateTime())), 5);

    log.Clear();
    EXPECT_TRUE(log.Lines().isEmpty());
}

TEST(ErrorLogThreads, ConcurrentAddsLoseNoLine)
{
    TErrorLog& log = TErrorLog::Instance();
    log.Clear();
    constexpr int threads = 8;
    constexpr int perThread = 500;

    // A direct listener runs on the adding thread, after the lock is released:
    // reading the log from it must not deadlock and must see the new line.
    std::atomic<int> direct{0};
    std::atomic<int> missing{0};
    const auto directConn = QObject::connect(
        &log, &TErrorLog::lineAdded, &log,
        [&](const QString& line) {
            if (!TErrorLog::Instance().Lines().contains(line))
                ++missing;
            ++direct;
        },
        Qt::DirectConnection);

    // A receiver on the main thread gets the lines queued.
    QObject receiver;
    int queued = 0;
    const Qt::HANDLE mainThread = QThread::currentThreadId();
    bool allOnMain = true;
    QObject::connect(&log, &TErrorLog::lineAdded, &receiver, [&](const QString&) {
        ++queued;
        allOnMain = allOnMain && QThread::currentThreadId() == mainThread;
    });

    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                AddToErrorLog(elInfo, QStringLiteral("T%1 #%2").arg(t).arg(i));
        });
    for (auto& w : workers)
        w.join();
    QObject::disconnect(directConn);

    const QStringList lines = log.Lines();
    ASSERT_EQ(lines.size(), threads * perThread);
    QSet<QString> texts;
    for (const QString& line : lines)
        texts.insert(line.mid(21 + 2 + 1 + 5));
    EXPECT_EQ(texts.size(), threads * perThread);
    EXPECT_TRUE(texts.contains(QStringLiteral("T7 #499")));
    EXPECT_EQ(direct.load(), threads * perThread);
    EXPECT_EQ(missing.load(), 0);

    EXPECT_TRUE(WaitFor([&] { return queued == threads * perThread; }));
    EXPECT_TRUE(allOnMain);
    log.Clear();
}

TEST(ErrorLogAdd, KeepsOnlyTheNewestLinesUnderAStreamOfErrors)
{
    TErrorLog& log = TErrorLog::Instance();
    log.Clear();
    for (qsizetype i = 0; i < TErrorLog::MaxLines + 25; ++i)
        AddToErrorLog(elError, QStringLiteral("Fehler %1").arg(i));
    const QStringList lines = log.Lines();
    ASSERT_EQ(lines.size(), TErrorLog::MaxLines);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("Fehler 25")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("Fehler %1").arg(TErrorLog::MaxLines + 24)));
    log.Clear();
}
