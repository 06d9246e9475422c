#pragma once
// The serial terminal behind the page "serielle Schnittstelle": one port with
// the component defaults, opened and closed by the user or by the C command,
// lines of text sent with or without CR LF, and the last answer.
//
// The answer is taken on the port's event thread (80 ms after the event
// character CR arrived, everything waiting) and handed to the owner's thread,
// where answerChanged tells the page. The open/closed texts change only on the
// owner's thread.

#include "devices/uSerial.h"

#include <QObject>
#include <QString>
#include <QStringList>

class TComTerminal : public QObject {
    Q_OBJECT
public:
    explicit TComTerminal(QObject* parent = nullptr);
    ~TComTerminal() override;

    TSerial Serial1;

    // Opens a closed port and closes an open one.
    void ToggleConnect();
    // The text, with CR LF appended when crlf; nothing on a closed port.
    void Send(const QString& text, bool crlf);
    // The C command: sub-tokens C/V n (port, then open), D/T (close), O/S "text"
    // and Z "text" (text + CR LF).
    void ExecuteComCommand(const QStringList& tokens);

    bool IsOpen() const { return Serial1.Active(); }
    QString ConnectCaption() const;   // "&Verbinden" or "&Trennen"
    QString ConnectLabel() const;     // "Schnittstelle geschlossen" or "... COM3 geöffnet"
    QString Answer() const { return FAnswer; }

signals:
    void stateChanged();
    void answerChanged(const QString& text);

private:
    void Open();
    void Close();

    QString FAnswer;
};
