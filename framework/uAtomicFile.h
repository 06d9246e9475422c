#pragma once
// The one way the program writes a file: the new content goes to a hidden
// temporary file in the target's folder, is made durable (write, fsync, close,
// every step checked) and only then renamed over the target. A failure at any
// step leaves the old file as it was and raises EPvError
//   Datei "<path>" kann nicht geschrieben werden: <reason>
// A target that is a symbolic link is written into the file the link names; the
// link stays. A replaced file keeps its permissions. A file whose mode gives its
// owner no write permission (chmod a-w) is never replaced, whoever runs the
// program: the write raises "... kann nicht geschrieben werden: sie ist
// schreibgeschützt." and the file stays as it was.
//
// Temporary files are named ".<target name>.<process id>.<8 hex digits>.tmp".
// A save that is killed leaves one behind; RemoveStaleTempFiles removes those
// whose process is gone.

#include <QByteArray>
#include <QString>
#include <QStringList>

// The file a write to path ends up in: path itself, or the final target of the
// symbolic link(s) at its end (also when that target does not exist yet).
// Raises on a link loop.
QString ResolveWriteTarget(const QString& path);

// A temporary file that replaces its target on Commit and is removed otherwise.
class TAtomicFile {
public:
    // path is resolved through ResolveWriteTarget.
    explicit TAtomicFile(const QString& path);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    QString Target() const { return FTarget; }
    // Writes all bytes into a new temporary file and makes them durable.
    void Write(const QByteArray& bytes);
    // A file written in pieces (a recording): Append adds bytes at the end of
    // the temporary file, which is created by the first call and stays open;
    // WriteAt overwrites bytes appended before (a header finished last).
    void Append(const char* data, qint64 size);
    void WriteAt(qint64 offset, const char* data, qint64 size);
    // Makes appended bytes durable, renames the written file over the target
    // and syncs the folder.
    void Commit();
    // As Commit, but never replaces a file: false when the target exists (the
    // temporary file is removed with this object; nothing is published).
    bool CommitNew();

private:
    void CreateTemp();
    void CloseTemp();
    [[noreturn]] void Fail(int error);
    void WriteFully(const char* data, qint64 size, qint64 offset);

    QString FPath;     // as the caller named it, for messages
    QString FTarget;   // the file that is replaced
    QString FTemp;     // the temporary file while it exists
    int FFd = -1;      // the temporary file while it is open
};

// Writes bytes to path through TAtomicFile.
void WriteBytesAtomic(const QString& path, const QByteArray& bytes);

// Makes target a complete copy of source in one rename, so that at every instant
// target holds either its old or its new content: a hard link to source under a
// temporary name is renamed over target; where the file system has no hard
// links, a copy is written through TAtomicFile instead. source is not changed.
// Raises on failure (a write-protected target too), target then stays as it was.
void ReplaceWithCopy(const QString& source, const QString& target);

// True for a name that TAtomicFile gives its temporary files (also the names of
// earlier builds, which carried no process id).
bool IsAtomicTempName(const QString& fileName);

// Removes the temporary files a killed write left in folder: regular files of
// our naming pattern whose process no longer runs. Returns how many it removed.
int RemoveStaleTempFiles(const QString& folder);
