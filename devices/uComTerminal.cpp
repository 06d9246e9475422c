#include "devices/uComTerminal.h"

#include "framework/uErrorLog.h"
#include "framework/uUtils.h"

#include <QMetaObject>

#include <chrono>
#include <thread>

TComTerminal::TComTerminal(QObject* parent) : QObject(parent)
{
    Serial1.OnEventChar = [this](TSerial& serial) {
        // On the event thread: let the rest of the answer arrive, then take all
        // of it and hand it to the owner's thread.
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        const QString text = serial.ReceiveString();
        QMetaObject::invokeMethod(this, [this, text] {
            FAnswer = text;
            emit answerChanged(text);
        }, Qt::QueuedConnection);
    };
    connect(&Serial1, &TSerial::portLost, this, [this](int port, const QString&) {
        AddToErrorLog(elError, QStringLiteral("Schnittstelle COM") + QString::number(port) +
                                   QStringLiteral(" getrennt: das Gerät antwortet nicht mehr"));
        emit stateChanged();
    });
}

TComTerminal::~TComTerminal()
{
    // Join the event thread before anything its handler uses goes away.
    Serial1.ClosePort();
}

void TComTerminal::Open()
{
    Serial1.SetActive(true);
    emit stateChanged();
}

void TComTerminal::Close()
{
    Serial1.SetActive(false);
    emit stateChanged();
}

void TComTerminal::ToggleConnect()
{
    if (Serial1.Active())
        Close();
    else
        Open();
}

void TComTerminal::Send(const QString& text, bool crlf)
{
    Serial1.SendString(crlf ? text + QStringLiteral("\r\n") : text);
}

QString TComTerminal::ConnectCaption() const
{
    return IsOpen() ? QStringLiteral("&Trennen") : QStringLiteral("&Verbinden");
}

QString TComTerminal::ConnectLabel() const
{
    return IsOpen() ? QStringLiteral("Schnittstelle COM") + QString::number(Serial1.COMPort()) + QStringLiteral(" geöffnet")
                    : QStringLiteral("Schnittstelle geschlossen");
}

void TComTerminal::ExecuteComCommand(const QStringList& tokens)
{
    for (int i = 1; i < tokens.size(); ++i) {
        switch (TokenLetter(tokens.at(i))) {
        case u'C':
        case u'V':
            Serial1.SetCOMPort(GetTokenInt(tokens, i));
            if (!IsOpen())
                Open();
            break;
        case u'D':
        case u'T':
            if (IsOpen())
                Close();
            break;
        case u'O':
        case u'S':
            Send(GetTokenString(tokens, i), false);
            break;
        case u'Z':
            Send(GetTokenString(tokens, i), true);
            break;
        default:
            break;
        }
    }
}
