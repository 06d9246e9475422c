#include "FuzzEngine.h"

#include "core/uErrorLog.h"
#include "core/uMod_Main.h"
#include "core/uProject.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// The application object lives for the whole run; Qt wants argc to outlive it.
QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "pv_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

QTemporaryDir& Folder()
{
    static QTemporaryDir* dir = [] {
        App();
        auto* d = new QTemporaryDir;
        if (!d->isValid())
            std::abort();
        return d;
    }();
    return *dir;
}

} // namespace

QByteArray FuzzBytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString FuzzProgramDir()
{
    return Folder().path() + QLatin1Char('/');
}

QString FuzzWriteFile(const QString& name, const QByteArray& bytes)
{
    const QString path = FuzzProgramDir() + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    return path;
}

void FuzzClearLogs()
{
    TErrorLog::Instance().Clear();
}

TModuleMain& FuzzMainModule()
{
    static TModuleMain* main = [] {
        qputenv("PV_PROGRAM_DIR", FuzzProgramDir().toUtf8());
        // Never freed: freeing would write the settings file at exit.
        return new TModuleMain;
    }();
    main->ClearDelayedCommands();
    main->NewProject();
    SetProjectFileName(QString());
    FuzzClearLogs();
    return *main;
}
