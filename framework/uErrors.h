#pragma once
// The one exception base of the program: every error the code raises derives
// from EPvError and carries a message in the program's own text type.

#include <QByteArray>
#include <QString>
#include <exception>

class EPvError : public std::exception {
public:
    explicit EPvError(QString message);
    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// The message of any exception as program text (EPvError's own message, else what()).
QString ExceptionMessage(const std::exception& e);
