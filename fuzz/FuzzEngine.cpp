#include "FuzzEngine.h"

#include "cues/uMod_Szenen.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
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
        // In memory where there is a tmpfs: a file truncated and closed on ext4 is
        // flushed to the disk, which would cost more than the input itself.
        const QString shm = QStringLiteral("/dev/shm");
        auto* d = QFileInfo(shm).isWritable() ? new QTemporaryDir(shm + QStringLiteral("/pv_fuzz-XXXXXX"))
                                              : new QTemporaryDir;
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
        auto* m = new TModuleMain;
        m->NewProject();
        return m;
    }();
    return *main;
}

TFuzzReset::~TFuzzReset()
{
    if (FShowToo && ModuleMain) {
        ModuleMain->ClearDelayedCommands();
        ModuleMain->NewProject();
        SetProjectFileName(QString());
        // The recall log belongs to the session, not the show: a new show keeps it.
        if (ModuleSzenen)
            ModuleSzenen->Protokoll.clear();
    }
    FuzzClearLogs();
}
