#pragma once
// The protocol memo of the server and connected-computers pages.

#include <QObject>
#include <QTimer>

#include <functional>

class QPlainTextEdit;
class TProtocolLog;

// Shows a protocol log in a memo, newest line first, at most the log's
// MaxLines lines, without undo history (a memo that keeps one grows with every
// line however short it is kept). Lines are gathered and shown at most once per
// RefreshMs while the memo is on screen, and when it comes on screen, so a flood
// of log lines never keeps the event loop busy with the memo.
class TProtocolMemo : public QObject {
public:
    static constexpr int RefreshMs = 100;
    // log gives the log, or nullptr once its owner is gone.
    TProtocolMemo(QPlainTextEdit* memo, std::function<const TProtocolLog*()> log);
    // A line was added: shows it with the next refresh.
    void LineAdded();
    // Shows the lines added since the last refresh now.
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* FMemo;
    std::function<const TProtocolLog*()> FLog;
    QTimer FTimer;
    quint64 FShown = 0;
};
