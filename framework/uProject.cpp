#include "framework/uProject.h"

#include "cues/uMod_Szenen.h"
#include "framework/uAtomicFile.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <pwd.h>
#include <unistd.h>

bool AutoSpeichern = true;

namespace {

const QString OpenErrorPrefix = QStringLiteral("Fehler beim Öffnen: ");
const QString SaveErrorPrefix = QStringLiteral("Fehler beim Speichern: ");
const QString BackupErrorPrefix = QStringLiteral("Fehler beim Erstellen der BackupDatei: ");

void PutLength(QByteArray& out, quint32 n)
{
    out.append(char(n & 0xFF));
    out.append(char((n >> 8) & 0xFF));
    out.append(char((n >> 16) & 0xFF));
    out.append(char((n >> 24) & 0xFF));
}

bool IsAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Makes the show's backup a complete copy of the current show file, in one step:
// the old backup is replaced only by a whole new one and the show stays where it
// is. Returns the reason of a failure, empty on success; runs on any thread.
QString MakeBackup(const QString& showFile)
{
    try {
        ReplaceWithCopy(showFile, BackupFileName(showFile));
        return QString();
    } catch (const std::exception& e) {
        return ExceptionMessage(e);
    }
}

bool OnGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// How many show operations are waiting for their thread (nested event loops).
int WaitingOperations = 0;

// Runs the event loop without user input until done() holds: the 40 ms clock, the
// network and posted events go on while a show is read or written elsewhere.
template <typename Done>
void KeepTicking(Done done)
{
    ++WaitingOperations;
    while (!done())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    --WaitingOperations;
}

// Runs work on a thread of its own while the GUI thread keeps ticking, and returns
// once it has finished. Before the clock runs (the show opened at start-up), off
// the GUI thread or without an application, it runs in place.
template <typename Work>
void RunOffGuiThread(Work work)
{
    if (!OnGuiThread() || !ModuleMain || !ModuleMain->ClockStarted()) {
        work();
        return;
    }
    std::atomic<bool> finished{false};
    std::exception_ptr error;   // raised again here: an exception must not end the thread
    std::thread thread([&work, &finished, &error] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        finished = true;
        // Wakes the waiting event loop.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    });
    KeepTicking([&finished] { return finished.load(); });
    thread.join();
    if (error)
        std::rethrow_exception(error);
}

// ---- the save worker ----

struct TSaveResult {
    bool Ok = false;
    QString Error;         // why the show was not written
    QString BackupError;   // why the backup was not made (the show was written)
};

// The part of a save that runs off the GUI thread: the lines of the modules that
// write them from their copies, the script's bytes (encoded from the snapshot
// taken at the save, where the script changed since it was last loaded or saved),
// the container's bytes, the write and sync of the temporary file, the backup and
// the rename over the target.
TSaveResult WriteShow(const QString& fileName, bool backup, const TModuleMain::TShowSections& sections,
                      const TTextForSave& script)
{
    TSaveResult result;
    try {
        TAtomicFile file(fileName);
        file.Write(ShowFileBytes(sections.Lines(), script ? script() : QByteArray()));
        // With the new show safely on the disk, the backup becomes the current
        // show (the show itself stays), then the new show replaces the current
        // one. At every instant a complete show and a complete backup exist.
        if (backup && QFileInfo::exists(file.Target()))
            result.BackupError = MakeBackup(file.Target());
        file.Commit();
        result.Ok = true;
    } catch (const std::exception& e) {
        result.Error = ExceptionMessage(e);
    }
    return result;
}

// One save at a time is written on a thread of its own; its result comes back to
// the GUI thread, which logs it and, on success only, gives the show the file's
// name.
class TShowSaver {
public:
    ~TShowSaver()
    {
        if (FThread.joinable())
            FThread.join();
    }

    bool Running() const { return FRunning; }

    void Start(const QString& fileName, bool backup, TModuleMain::TShowSections sections, TTextForSave script,
               std::function<void(bool)> done)
    {
        FRunning = true;
        if (!OnGuiThread()) {
            Finish(fileName, WriteShow(fileName, backup, sections, script), done);
            return;
        }
        QObject* receiver = &ProjectSignals();
        FThread = std::thread([this, receiver, fileName, backup, sections = std::move(sections),
                               script = std::move(script), done = std::move(done)]() mutable {
            const TSaveResult result = WriteShow(fileName, backup, sections, script);
            // The copies are freed here, before the GUI thread hears of the end
            // and joins this thread.
            sections = {};
            script = nullptr;
            QMetaObject::invokeMethod(
                receiver, [this, fileName, result, done] { Finish(fileName, result, done); }, Qt::QueuedConnection);
        });
    }

private:
    void Finish(const QString& fileName, const TSaveResult& result, const std::function<void(bool)>& done)
    {
        if (FThread.joinable())
            FThread.join();
        FRunning = false;
        if (!result.BackupError.isEmpty())
            AddToErrorLog(elError, BackupErrorPrefix + result.BackupError);
        if (result.Ok)
            SetProjectFileName(fileName);
        else
            AddToErrorLog(elError, SaveErrorPrefix + result.Error);
        if (done)
            done(result.Ok);
    }

    std::thread FThread;
    bool FRunning = false;
};

TShowSaver& Saver()
{
    static TShowSaver saver;
    return saver;
}

// Collects the show on the GUI thread and starts its write; done receives the
// result. A save that is still being written is waited for first. False when the
// show could not be collected (logged; done is not called).
bool StartSave(const QString& fileName, bool backup, std::function<void(bool)> done)
{
    WaitForShowSaves();
    TModuleMain::TShowSections sections;
    TTextForSave script;
    try {
        if (ModuleMain)
            sections = ModuleMain->CollectShowSections();
        if (ModuleSzenen)
            script = ModuleSzenen->TextForSave();
    } catch (const std::exception& e) {
        AddToErrorLog(elError, SaveErrorPrefix + ExceptionMessage(e));
        return false;
    }
    Saver().Start(fileName, backup, std::move(sections), std::move(script), std::move(done));
    return true;
}

} // namespace

TProjectSignals& ProjectSignals()
{
    static TProjectSignals instance;
    return instance;
}

void SetProjectFileName(const QString& fileName)
{
    ProjectFileName = fileName;
    emit ProjectSignals().projectFileNameChanged(fileName);
}

// ---- container ----

QByteArray EncodeShowString(const QString& text)
{
    QByteArray out;
    if (IsAscii(text)) {
        const QByteArray bytes = text.toLatin1();
        if (bytes.size() <= 255) {
            out.append(ShowStringShort);
            out.append(char(bytes.size()));
        } else {
            out.append(ShowStringLong);
            PutLength(out, quint32(bytes.size()));
        }
        out.append(bytes);
        return out;
    }
    const QByteArray bytes = text.toUtf8();
    out.append(ShowStringUtf8);
    PutLength(out, quint32(bytes.size()));
    out.append(bytes);
    return out;
}

QString DecodeShowString(const QByteArray& bytes, qsizetype& consumed)
{
    const qsizetype size = bytes.size();
    auto byteAt = [&bytes](qsizetype i) { return quint8(bytes.at(i)); };
    auto truncated = [] { return EPvError(QStringLiteral("Die Datei endet vor dem Ende des Textes.")); };
    if (size < 1)
        throw truncated();
    const char type = bytes.at(0);
    qsizetype pos = 1;
    quint64 count;   // characters for UTF-16, bytes otherwise
    if (type == ShowStringShort) {
        if (size < 2)
            throw truncated();
        count = byteAt(1);
        pos = 2;
    } else if (type == ShowStringLong || type == ShowStringUtf8 || type == ShowStringUtf16) {
        if (size < 5)
            throw truncated();
        count = quint64(byteAt(1)) | quint64(byteAt(2)) << 8 | quint64(byteAt(3)) << 16 | quint64(byteAt(4)) << 24;
        pos = 5;
    } else {
        const QString hex = QStringLiteral("%1").arg(uint(quint8(type)), 2, 16, QLatin1Char('0')).toUpper();
        throw EPvError(QStringLiteral("Unbekannter Texttyp $%1 am Anfang der Datei.").arg(hex));
    }
    const quint64 length = type == ShowStringUtf16 ? count * 2 : count;
    const quint64 left = quint64(size - pos);
    if (length > left)
        throw EPvError(QStringLiteral("Die Textlänge %1 übersteigt die %2 Bytes, die die Datei noch enthält.")
                           .arg(length)
                           .arg(left));
    const char* data = bytes.constData() + pos;
    const auto n = qsizetype(length);
    consumed = pos + n;
    switch (type) {
    case ShowStringUtf8:
        return QString::fromUtf8(data, n);
    case ShowStringUtf16: {
        QString text(qsizetype(count), Qt::Uninitialized);
        for (qsizetype i = 0; i < qsizetype(count); ++i)
            text[i] = QChar(char16_t(quint8(data[2 * i]) | quint8(data[2 * i + 1]) << 8));
        return text;
    }
    default:
        // An 8-bit text: ASCII as written here, the Western code page otherwise.
        return DecodeWindows1252(QByteArray(data, n));
    }
}

QByteArray ShowFileBytes(const QStringList& lines, const QByteArray& script)
{
    QByteArray bytes = EncodeShowString(JoinLinesCrLf(lines));
    bytes.append(script);
    return bytes;
}

QByteArray BuildShowFile()
{
    QStringList lines;
    if (ModuleMain)
        ModuleMain->SaveToStrings(lines);
    return ShowFileBytes(lines, ModuleSzenen ? ModuleSzenen->SaveTextToStream() : QByteArray());
}

QString BackupFileName(const QString& showFile)
{
    const QFileInfo info(showFile);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString folder = showFile.left(showFile.size() - name.size());
    return folder + base + QStringLiteral(".~pvs");
}

// ---- show operations ----

bool OpenProject(const QString& fileName)
{
    // A save still being written would give the show its file's name after this
    // show has been opened.
    WaitForShowSaves();

    // The file is read, decoded and parsed, and the script converted for its
    // page, on a thread of its own while the clock goes on; only the modules'
    // loading and the script's hand-over run on the GUI thread.
    QString readError;
    QString contentError;
    auto ini = std::make_unique<TStringIniFile>();
    QByteArray script;
    const TTextPreparer prepare = ModuleSzenen ? ModuleSzenen->TextPreparer() : TTextPreparer();
    TModuleMain::TPreparedShow sections;
    std::unique_ptr<TPreparedText> prepared;
    RunOffGuiThread([&] {
        QByteArray bytes;
        {
            QFile file(fileName);
            if (QFileInfo(fileName).isDir()) {
                readError = QStringLiteral("\"%1\" ist ein Ordner.").arg(fileName);
                return;
            }
            if (!file.open(QIODevice::ReadOnly)) {
                readError = QStringLiteral("\"%1\": %2").arg(fileName, file.errorString());
                return;
            }
            bytes = file.readAll();
            if (file.error() != QFileDevice::NoError) {
                readError = QStringLiteral("\"%1\": %2").arg(fileName, file.errorString());
                return;
            }
        }
        try {
            qsizetype consumed = 0;
            ini->SetText(DecodeShowString(bytes, consumed));
            script = bytes.mid(consumed);
            bytes = QByteArray();
            if (ModuleMain)
                sections = ModuleMain->PrepareShow(*ini);
            if (prepare)
                prepared = prepare(script);
        } catch (const std::exception& e) {
            contentError = ExceptionMessage(e);
        }
    });
    // A file that could not be read or decoded has given no module anything:
    // the loaded show and its name stay, so that nothing is ever saved into the
    // file that failed to open.
    if (!readError.isEmpty() || !contentError.isEmpty()) {
        AddToErrorLog(elError, OpenErrorPrefix + (readError.isEmpty() ? contentError : readError));
        return false;
    }
    NewShowDigest.clear();
    bool loaded = true;
    try {
        if (ModuleMain)
            ModuleMain->LoadPreparedShow(*ini, std::move(sections));
        if (ModuleSzenen)
            ModuleSzenen->LoadTextFromStream(script, std::move(prepared));
    } catch (const std::exception& e) {
        AddToErrorLog(elError, OpenErrorPrefix + ExceptionMessage(e));
        loaded = false;
    }
    // A module that failed leaves a mixture of the old show and the file's
    // first sections in memory: it is neither the one nor the other, so it has
    // no file; a save asks for a name.
    SetProjectFileName(loaded ? fileName : QString());
    // The store of a large show takes a while to free: not on the GUI thread.
    RunOffGuiThread([&ini] { ini.reset(); });
    return loaded;
}

void WaitForShowSaves()
{
    if (Saver().Running())
        KeepTicking([] { return !Saver().Running(); });
}

bool ShowFileBusy()
{
    return WaitingOperations > 0 || Saver().Running();
}

bool SaveProjectInBackground(const QString& fileName, bool backup)
{
    return StartSave(fileName, backup, {});
}

bool SaveProject(const QString& fileName, bool backup)
{
    std::optional<bool> written;
    if (!StartSave(fileName, backup, [&written](bool ok) { written = ok; }))
        return false;
    if (!written)
        KeepTicking([&written] { return written.has_value(); });
    return *written;
}

void BackupProjectFile()
{
    WaitForShowSaves();
    if (ProjectFileName.isEmpty() || !QFileInfo::exists(ProjectFileName))
        return;
    QString error;
    try {
        error = MakeBackup(ResolveWriteTarget(ProjectFileName));
    } catch (const std::exception& e) {
        error = ExceptionMessage(e);
    }
    if (!error.isEmpty())
        AddToErrorLog(elError, BackupErrorPrefix + error);
}

TFileDialogOptions ProjectDialogOptions()
{
    TFileDialogOptions options;
    options.Filter = QStringLiteral("Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)");
    options.DefaultSuffix = QStringLiteral("pvs");
    options.InitialDir = ProjectDir;
    return options;
}

bool SaveCurrentProject(TSaveMode mode)
{
    WaitForShowSaves();
    if (!ProjectFileName.isEmpty() && QFileInfo::exists(ProjectFileName))
        return mode == TSaveMode::Background ? SaveProjectInBackground(ProjectFileName, true)
                                             : SaveProject(ProjectFileName, true);
    return SaveProjectAs(mode);
}

bool SaveProjectAs(TSaveMode mode)
{
    WaitForShowSaves();
    const QString chosen = Prompts().SaveFileName(ProjectDialogOptions(), QString());
    if (chosen.isEmpty() || !ConfirmOverwrite(chosen))
        return false;
    return mode == TSaveMode::Background ? SaveProjectInBackground(chosen, false) : SaveProject(chosen, false);
}

TAutoSave AutoSaveProject()
{
    WaitForShowSaves();
    try {
        if (!ProjectFileName.isEmpty() && QFileInfo::exists(ProjectFileName))
            return SaveProject(ProjectFileName, true) ? TAutoSave::Saved : TAutoSave::Failed;
        const QString chosen = Prompts().SaveFileName(ProjectDialogOptions(), QString());
        if (chosen.isEmpty() || !ConfirmOverwrite(chosen))
            return TAutoSave::Cancelled;
        return SaveProject(chosen, false) ? TAutoSave::Saved : TAutoSave::Failed;
    } catch (const std::exception& e) {
        AddToErrorLog(elError, SaveErrorPrefix + ExceptionMessage(e));
        return TAutoSave::Failed;
    }
}

namespace {

QByteArray ShowDigest(const QByteArray& showFile)
{
    return QCryptographicHash::hash(showFile, QCryptographicHash::Sha256);
}

// Whether a show's bytes are those of the new show remembered last.
bool IsNewShow(const QByteArray& showFile)
{
    return !NewShowDigest.isEmpty() && ShowDigest(showFile) == NewShowDigest;
}

// The user's home folder: $HOME, else the account's entry; empty when neither
// names one.
QString HomeFolder()
{
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        if (const passwd* account = ::getpwuid(::getuid()))
            home = QFile::decodeName(account->pw_dir);
    return home;
}

struct TRescueFolder {
    QString Path;      // with a trailing '/'
    bool Create;       // made when missing (the home folder never is)
    bool Temporary;    // the system may empty it
};

// Where a show without a writable file goes, best first: the show folder, the
// user's home folder, the system's temporary folder.
std::vector<TRescueFolder> RescueFolders()
{
    std::vector<TRescueFolder> folders;
    auto add = [&folders](const QString& path, bool create, bool temporary) {
        if (path.isEmpty())
            return;
        const QString clean = QDir::cleanPath(path) + u'/';
        for (const TRescueFolder& f : folders)
            if (QDir::cleanPath(f.Path) + u'/' == clean)
                return;
        folders.push_back({path.endsWith(u'/') ? path : path + u'/', create, temporary});
    };
    add(ProjectDir, true, false);
    const QString temp = QDir::tempPath();
    const QString home = HomeFolder();
    if (QDir::cleanPath(home) != QDir::cleanPath(temp))
        add(home, false, false);
    add(temp, true, true);
    return folders;
}

// Writes the show's bytes to a new file named after now in the first folder of
// RescueFolders that takes it. temporary tells whether that is the temporary folder.
QString WriteShowToNewFile(const QByteArray& bytes, const QDateTime& now, bool* temporary)
{
    const QString base = QStringLiteral("Projekt_") + now.toString(QStringLiteral("yyyy_MM_dd_-_hh_mm_ss"));
    QStringList errors;
    for (const TRescueFolder& folder : RescueFolders()) {
        try {
            if (!folder.Create && !QFileInfo(folder.Path).isDir())
                throw EPvError(QStringLiteral("Den Ordner \"%1\" gibt es nicht.").arg(folder.Path));
            if (!QDir().mkpath(folder.Path))
                throw EPvError(QStringLiteral("Der Ordner \"%1\" kann nicht angelegt werden.").arg(folder.Path));
            for (int n = 1; n <= 1000; ++n) {
                const QString path = folder.Path + base + (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) +
                                     QStringLiteral(".pvs");
                if (QFileInfo(path).isSymLink() || QFileInfo::exists(path))
                    continue;
                TAtomicFile file(path);
                file.Write(bytes);
                if (file.CommitNew()) {
                    SetProjectFileName(path);
                    if (temporary)
                        *temporary = folder.Temporary;
                    return path;
                }
            }
            throw EPvError(QStringLiteral("Im Ordner \"%1\" ist kein freier Name.").arg(folder.Path));
        } catch (const std::exception& e) {
            errors << ExceptionMessage(e);
        }
    }
    throw EPvError(errors.join(QStringLiteral("; ")));
}

} // namespace

void RememberNewShow()
{
    NewShowDigest = ShowDigest(BuildShowFile());
}

void RenewNewShow()
{
    if (!NewShowDigest.isEmpty())
        RememberNewShow();
}

QString SaveProjectToNewFile(const QDateTime& now, bool* temporary)
{
    return WriteShowToNewFile(BuildShowFile(), now, temporary);
}

QString SaveProjectUnattended()
{
    WaitForShowSaves();
    QString reason;
    if (ProjectFileName.isEmpty())
        reason = QStringLiteral("das Projekt hatte noch keine Datei");
    else if (!QFileInfo::exists(ProjectFileName))
        reason = QStringLiteral("die Projekt-Datei \"%1\" gibt es nicht mehr").arg(ProjectFileName);
    else if (SaveProject(ProjectFileName, true))
        return ProjectFileName;
    else
        reason = QStringLiteral("das Speichern in \"%1\" ist fehlgeschlagen (siehe Fehlerlog)").arg(ProjectFileName);

    // A show that is still exactly a new, empty one holds nothing to keep.
    const QByteArray bytes = BuildShowFile();
    if (IsNewShow(bytes))
        return QString();

    auto report = [](int kind, const QString& text) {
        AddToErrorLog(kind, text);
        std::fprintf(stderr, "PV_ORLISK: %s\n", text.toLocal8Bit().constData());
    };
    try {
        bool temporary = false;
        const QString path = WriteShowToNewFile(bytes, QDateTime::currentDateTime(), &temporary);
        QString text = QStringLiteral("Projekt beim Beenden gesichert in \"%1\": %2").arg(path, reason);
        if (temporary)
            text += QStringLiteral(". Achtung: Das ist ein temporärer Ordner, den das System leeren kann; "
                                   "die Datei bitte an einen sicheren Ort kopieren.");
        report(elWarning, text);
        return path;
    } catch (const std::exception& e) {
        report(elError,
               QStringLiteral("Projekt beim Beenden nicht gesichert (%1): %2").arg(reason, ExceptionMessage(e)));
        return QString();
    }
}

namespace {

// After a failed auto-save the show exists only in memory: going on would
// discard it, so the user decides (headless, the answer is No).
bool GoOnAfterFailedSave()
{
    return Prompts().AskYesNo(QStringLiteral(
        "Das Projekt konnte nicht gespeichert werden (siehe Fehlerlog). Trotzdem fortfahren und die Änderungen verwerfen?"));
}

} // namespace

bool NewProjectFile()
{
    if (!Prompts().AskYesNo(QStringLiteral("Soll ein neues Projekt angelegt werden?")))
        return false;
    // A save still being written would name the new show after its file.
    WaitForShowSaves();
    if (AutoSpeichern && AutoSaveProject() == TAutoSave::Failed && !GoOnAfterFailedSave())
        return false;
    if (ModuleMain)
        ModuleMain->NewProject();
    SetProjectFileName(QString());
    RememberNewShow();
    return true;
}

bool OpenProjectFile()
{
    const QString chosen = Prompts().OpenFileName(ProjectDialogOptions(), QString());
    if (chosen.isEmpty())
        return false;
    if (AutoSpeichern && !ProjectFileName.isEmpty() && QFileInfo::exists(ProjectFileName)
        && AutoSaveProject() == TAutoSave::Failed && !GoOnAfterFailedSave())
        return false;
    return OpenProject(chosen);
}
