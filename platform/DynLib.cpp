#include "platform/DynLib.h"

#include <QFile>

#include <dlfcn.h>

namespace {

class TSystemDynLib : public TDynLib {
public:
    bool Load(const QString& path) override
    {
        // A path with a slash is taken as it is; the loader searches nothing.
        // RTLD_NOW: a missing dependency or unresolved symbol fails here, not
        // at the first call. RTLD_LOCAL: the library's symbols stay its own.
        const QByteArray native = QFile::encodeName(path);
        dlerror();
        FHandle = dlopen(native.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!FHandle) {
            const char* reason = dlerror();
            FError = reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unbekannter Fehler");
            return false;
        }
        FError.clear();
        return true;
    }

    void* Symbol(const char* name) override
    {
        if (!FHandle) {
            FError = QStringLiteral("Bibliothek nicht geladen");
            return nullptr;
        }
        dlerror();
        void* address = dlsym(FHandle, name);
        if (!address) {
            const char* reason = dlerror();
            FError = reason ? QString::fromLocal8Bit(reason) : QStringLiteral("Eintrag ist leer");
        }
        return address;
    }

    QString ErrorText() const override { return FError; }

private:
    void* FHandle = nullptr;   // deliberately never passed to dlclose
    QString FError;
};

TDynLibFactory& Factory()
{
    static TDynLibFactory factory;
    return factory;
}

} // namespace

std::unique_ptr<TDynLib> CreateDynLib()
{
    if (Factory())
        return Factory()();
    return std::make_unique<TSystemDynLib>();
}

void SetDynLibFactory(TDynLibFactory factory)
{
    Factory() = std::move(factory);
}
