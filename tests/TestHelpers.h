#pragma once
// Helpers shared by the tests: a temporary program folder and small file helpers.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>

// A fresh program folder (with trailing '/') that is removed afterwards.
class TTempProgramDir {
public:
    TTempProgramDir();
    QString Path() const { return FPath; }
    QString File(const QString& relative) const { return FPath + relative; }
    void Write(const QString& relative, const QByteArray& bytes) const;
    QByteArray Read(const QString& relative) const;

private:
    QTemporaryDir FDir;
    QString FPath;
};

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);
