#include "framework/uAtomicFile.h"

#include "framework/uErrors.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void RaiseWriteError(const QString& path, int error)
{
    throw EPvError(QStringLiteral("Datei \"%1\" kann nicht geschrieben werden: %2").arg(path, Reason(error)));
}

// The folder part of a path, without resolving anything ("." for a bare name).
QString FolderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString NameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// A fresh temporary name beside target. Long names are shortened so that the
// temporary name stays within the file system's limit.
QString TempNameFor(const QString& target)
{
    QString name = NameOf(target);
    while (name.size() > 1 && Native(name).size() > 200)
        name.chop(1);
    return QStringLiteral("%1/.%2.%3.%4.tmp")
        .arg(FolderOf(target), name)
        .arg(qint64(::getpid()))
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// Flushes the folder's entries, so that a rename survives a power cut. The
// rename has happened by then; a file system that cannot sync folders changes
// nothing about the result, so this is best effort.
void SyncFolder(const QString& folder)
{
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void RenameOrRaise(const QString& from, const QString& to, const QString& pathForMessage)
{
    if (::rename(Native(from).constData(), Native(to).constData()) != 0)
        RaiseWriteError(pathForMessage, errno);
    SyncFolder(FolderOf(to));
}

// A file whose mode gives its owner no write permission has been made read-only
// on purpose: it is never replaced, also not by root, who could write it all the
// same. A missing file or one that cannot be looked at is left to the write.
void RefuseWriteProtected(const QString& target, const QString& pathForMessage)
{
    struct stat st {};
    if (::stat(Native(target).constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0)
        throw EPvError(QStringLiteral("Datei \"%1\" kann nicht geschrieben werden: sie ist schreibgeschützt.")
                           .arg(pathForMessage));
}

bool ProcessRuns(qint64 pid)
{
    if (pid <= 0 || pid > INT_MAX || pid == ::getpid())
        return false;   // our own id belongs to an earlier run: nothing of ours writes yet
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString ResolveWriteTarget(const QString& path)
{
    QString current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(Native(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(Native(current).constData(), link.data(), size_t(link.size()));
        if (n < 0)
            RaiseWriteError(path, errno);
        link.truncate(n);
        const QString target = QFile::decodeName(link);
        // A relative link names a file in the link's own folder.
        current = target.startsWith(u'/') ? target : FolderOf(current) + u'/' + target;
    }
    RaiseWriteError(path, ELOOP);
}

// ---- TAtomicFile ----

TAtomicFile::TAtomicFile(const QString& path) : FPath(path), FTarget(ResolveWriteTarget(path)) {}

TAtomicFile::~TAtomicFile()
{
    if (FFd >= 0)
        ::close(FFd);
    if (!FTemp.isEmpty())
        ::unlink(Native(FTemp).constData());
}

// Raises with the reason; the destructor removes the temporary file.
void TAtomicFile::Fail(int error)
{
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    RaiseWriteError(FPath, error);
}

void TAtomicFile::CreateTemp()
{
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    if (!FTemp.isEmpty()) {
        ::unlink(Native(FTemp).constData());
        FTemp.clear();
    }
    RefuseWriteProtected(FTarget, FPath);
    int fd = -1;
    QString temp;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = TempNameFor(FTarget);
        fd = ::open(Native(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 20))
            RaiseWriteError(FPath, errno);
    }
    FTemp = temp;
    FFd = fd;

    // The replaced file's permissions and, where allowed, its owner.
    struct stat old {};
    if (::stat(Native(FTarget).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd, old.st_uid, old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
    }
}

// Makes the open temporary file durable and closes it.
void TAtomicFile::CloseTemp()
{
    if (FFd < 0)
        return;
    if (::fsync(FFd) != 0)
        Fail(errno);
    const int closing = FFd;
    FFd = -1;
    if (::close(closing) != 0)
        Fail(errno);
}

void TAtomicFile::Write(const QByteArray& bytes)
{
    CreateTemp();
    Append(bytes.constData(), bytes.size());
    CloseTemp();
}

void TAtomicFile::Append(const char* data, qint64 size)
{
    if (FFd < 0)
        CreateTemp();
    WriteFully(data, size, -1);
}

void TAtomicFile::WriteAt(qint64 offset, const char* data, qint64 size)
{
    if (FFd < 0)
        Fail(EBADF);
    WriteFully(data, size, offset);
}

// Writes every byte, at the end (offset < 0) or from offset; a short write is
// continued, an interrupted one retried, and a write of nothing means a full disk.
void TAtomicFile::WriteFully(const char* data, qint64 size, qint64 offset)
{
    while (size > 0) {
        const size_t piece = size_t(std::min<qint64>(size, qint64(1) << 30));
        const ssize_t n = offset < 0 ? ::write(FFd, data, piece) : ::pwrite(FFd, data, piece, off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        if (n == 0)
            Fail(ENOSPC);
        data += n;
        size -= n;
        if (offset >= 0)
            offset += n;
    }
}

void TAtomicFile::Commit()
{
    CloseTemp();
    if (FTemp.isEmpty())
        RaiseWriteError(FPath, EBADF);
    // Made read-only while it was being written: still not replaced.
    RefuseWriteProtected(FTarget, FPath);
    RenameOrRaise(FTemp, FTarget, FPath);
    FTemp.clear();
}

bool TAtomicFile::CommitNew()
{
    CloseTemp();
    if (FTemp.isEmpty())
        RaiseWriteError(FPath, EBADF);
    // The rename fails when the name is taken, so an existing file is never
    // replaced, not even one created since the caller looked. A file system
    // without that kind of rename gets a hard link, which fails the same way.
    const QByteArray temp = Native(FTemp), target = Native(FTarget);
    int result = ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        result = ::link(temp.constData(), target.constData());
        if (result == 0)
            ::unlink(temp.constData());
    }
    if (result != 0) {
        const int error = errno;
        if (error == EEXIST)
            return false;
        RaiseWriteError(FPath, error);
    }
    FTemp.clear();
    SyncFolder(FolderOf(FTarget));
    return true;
}

void WriteBytesAtomic(const QString& path, const QByteArray& bytes)
{
    TAtomicFile file(path);
    file.Write(bytes);
    file.Commit();
}

void ReplaceWithCopy(const QString& source, const QString& target)
{
    const QString resolved = ResolveWriteTarget(target);
    struct stat src {}, dst {};
    if (::stat(Native(source).constData(), &src) != 0)
        throw EPvError(QStringLiteral("Datei \"%1\" kann nicht gelesen werden: %2").arg(source, Reason(errno)));
    if (::stat(Native(resolved).constData(), &dst) == 0 && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino)
        return;   // already the same file (a save killed between its two renames)
    RefuseWriteProtected(resolved, target);

    for (int attempt = 0; attempt <= 20; ++attempt) {
        const QString temp = TempNameFor(resolved);
        if (::link(Native(source).constData(), Native(temp).constData()) == 0) {
            try {
                RenameOrRaise(temp, resolved, target);
            } catch (...) {
                ::unlink(Native(temp).constData());
                throw;
            }
            return;
        }
        if (errno != EEXIST)
            break;
    }

    // No hard link here (a file system without them, or a source owned by someone
    // else): a copy takes its place.
    QFile in(source);
    QByteArray bytes;
    if (in.open(QIODevice::ReadOnly))
        bytes = in.readAll();
    if (!in.isOpen() || in.error() != QFileDevice::NoError)
        throw EPvError(QStringLiteral("Datei \"%1\" kann nicht gelesen werden: %2").arg(source, in.errorString()));
    TAtomicFile copy(resolved);
    copy.Write(bytes);
    copy.Commit();
}

bool IsAtomicTempName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.([0-9]{1,10}\\.)?[0-9a-f]{8}\\.tmp$"));
    return pattern.match(fileName).hasMatch();
}

int RemoveStaleTempFiles(const QString& folder)
{
    static const QRegularExpression withPid(QStringLiteral("\\.([0-9]{1,10})\\.[0-9a-f]{8}\\.tmp$"));
    const QDir dir(folder);
    int removed = 0;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (!IsAtomicTempName(name))
            continue;
        const QRegularExpressionMatch m = withPid.match(name);
        if (m.hasMatch() && ProcessRuns(m.captured(1).toLongLong()))
            continue;   // another running program is writing it now
        if (::unlink(Native(dir.filePath(name)).constData()) == 0)
            ++removed;
    }
    return removed;
}
