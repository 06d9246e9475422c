#include "TestHelpers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

TTempProgramDir::TTempProgramDir() : FPath(FDir.path() + "/") {}

void TTempProgramDir::Write(const QString& relative, const QByteArray& bytes) const
{
    const QString path = File(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray TTempProgramDir::Read(const QString& relative) const
{
    QFile f(File(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

#include "core/uMod_Main.h"

TScriptedPrompts::TScriptedPrompts() { SetPrompts(this); }
TScriptedPrompts::~TScriptedPrompts() { SetPrompts(nullptr); }

TDialogResult TScriptedPrompts::AskYesNoAbort(const QString& text)
{
    Asked << text;
    if (YesNoAbortAnswers.empty())
        return TDialogResult::Abort;
    const TDialogResult r = YesNoAbortAnswers.front();
    YesNoAbortAnswers.pop_front();
    return r;
}

bool TScriptedPrompts::AskYesNo(const QString& text)
{
    Asked << text;
    if (YesNoAnswers.empty())
        return false;
    const bool r = YesNoAnswers.front();
    YesNoAnswers.pop_front();
    return r;
}

void TScriptedPrompts::Info(const QString& text) { Asked << text; }

QString TScriptedPrompts::SaveFileName(const TFileDialogOptions& options, const QString&)
{
    Asked << QStringLiteral("save:") + options.Filter;
    if (FileAnswers.empty())
        return QString();
    const QString r = FileAnswers.front();
    FileAnswers.pop_front();
    return r;
}

QString TScriptedPrompts::OpenFileName(const TFileDialogOptions& options, const QString&)
{
    Asked << QStringLiteral("open:") + options.Filter;
    if (FileAnswers.empty())
        return QString();
    const QString r = FileAnswers.front();
    FileAnswers.pop_front();
    return r;
}

TEngine::TEngine() = default;

TEngine::~TEngine() { Stop(); }

void TEngine::Start(const std::function<TModuleMain*()>& make)
{
    const QByteArray old = qgetenv("PV_PROGRAM_DIR");
    qputenv("PV_PROGRAM_DIR", Dir.Path().toUtf8());
    Main = make ? make() : new TModuleMain;
    if (old.isEmpty())
        qunsetenv("PV_PROGRAM_DIR");
    else
        qputenv("PV_PROGRAM_DIR", old);
}

void TEngine::Stop()
{
    delete Main;
    Main = nullptr;
}
