#include "audio/uAcUtils.h"

#include <QFile>

#include <cfenv>
#include <ctime>
#include <dlfcn.h>

double ClockMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

void* LoadLibrarySafe(const QString& path)
{
    std::fenv_t saved;
    std::fegetenv(&saved);
    const QByteArray native = QFile::encodeName(path);
    void* module = dlopen(native.constData(), RTLD_NOW | RTLD_LOCAL);
    std::fesetenv(&saved);
    return module;
}

void* GetProcSafe(void* module, const char* name)
{
    if (!module)
        return nullptr;
    return dlsym(module, name);
}

bool FreeLibrarySafe(void* module)
{
    if (!module)
        return false;
    return dlclose(module) == 0;
}

namespace {

// Text before and after the first occurrence of a delimiter; without the
// delimiter both are the whole text.
QString Before(const QString& text, const QString& delimiter)
{
    const qsizetype at = text.indexOf(delimiter);
    return at < 0 ? text : text.left(at);
}

QString After(const QString& text, const QString& delimiter)
{
    const qsizetype at = text.indexOf(delimiter);
    return at < 0 ? text : text.mid(at + delimiter.size());
}

} // namespace

TAcURLParts SplitURL(const QString& url)
{
    TAcURLParts parts;
    parts.Port = QStringLiteral("80");
    QString rest = url;
    if (url.contains(QLatin1String("://"))) {
        parts.Protocol = Before(url, QStringLiteral("://"));
        rest = After(url, QStringLiteral("://"));
    }
    const QString upper = parts.Protocol.toUpper();
    if (upper == QLatin1String("HTTPS"))
        parts.Port = QStringLiteral("443");
    else if (upper == QLatin1String("FTP"))
        parts.Port = QStringLiteral("21");

    const qsizetype at = rest.indexOf(QLatin1Char('@'));
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (at >= 0 && (slash < 0 || at < slash)) {
        const QString user = rest.left(at);
        rest = rest.mid(at + 1);
        if (user.contains(QLatin1Char(':'))) {
            parts.User = Before(user, QStringLiteral(":"));
            parts.Password = After(user, QStringLiteral(":"));
        } else {
            parts.User = user;
        }
    }

    QString hostPart = rest;
    QString pathPart;
    if (rest.contains(QLatin1Char('/'))) {
        hostPart = Before(rest, QStringLiteral("/"));
        pathPart = After(rest, QStringLiteral("/"));
    }

    if (!hostPart.startsWith(QLatin1Char('['))) {
        if (hostPart.contains(QLatin1Char(':'))) {
            parts.Host = Before(hostPart, QStringLiteral(":"));
            parts.Port = After(hostPart, QStringLiteral(":"));
        } else {
            parts.Host = hostPart;
        }
    } else {
        parts.Host = Before(hostPart, QStringLiteral("]")).mid(1);
        const QString tail = After(hostPart, QStringLiteral("]"));
        if (hostPart.contains(QLatin1Char(']')) && tail.startsWith(QLatin1Char(':')))
            parts.Port = tail.mid(1);
    }

    parts.FullPath = QLatin1Char('/') + pathPart;
    if (pathPart.contains(QLatin1Char('?'))) {
        parts.Path = QLatin1Char('/') + Before(pathPart, QStringLiteral("?"));
        parts.Query = After(pathPart, QStringLiteral("?"));
    } else {
        parts.Path = QLatin1Char('/') + pathPart;
    }
    if (parts.Host.isEmpty())
        parts.Host = QStringLiteral("localhost");
    return parts;
}
