#include "core/uProject.h"

#include "core/uAtomicFile.h"
#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uMod_Main.h"
#include "core/uStringIniFile.h"
#include "core/uTextCodec.h"
#include "cues/uMod_Szenen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
// is. Failures are logged; the save goes on.
bool MakeBackup(const QString& showFile)
{
    try {
        ReplaceWithCopy(showFile, BackupFileName(showFile));
        return true;
    } catch (const std::exception& e) {
        AddToErrorLog(elError, BackupErrorPrefix + ExceptionMessage(e));
        return false;
    }
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

QByteArray BuildShowFile()
{
    QStringList lines;
    if (ModuleMain)
        ModuleMain->SaveToStrings(lines);
    QByteArray bytes = EncodeShowString(JoinLinesCrLf(lines));
    if (ModuleSzenen)
        bytes.append(ModuleSzenen->SaveTextToStream());
    return bytes;
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
    // Read the whole file first: a file that cannot be read changes nothing, so
    // the loaded show keeps its own name and cannot be saved over the other file.
    QByteArray bytes;
    {
        QFile file(fileName);
        if (QFileInfo(fileName).isDir()) {
            AddToErrorLog(elError, OpenErrorPrefix + QStringLiteral("\"%1\" ist ein Ordner.").arg(fileName));
            return false;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            AddToErrorLog(elError, OpenErrorPrefix + QStringLiteral("\"%1\": %2").arg(fileName, file.errorString()));
            return false;
        }
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            AddToErrorLog(elError, OpenErrorPrefix + QStringLiteral("\"%1\": %2").arg(fileName, file.errorString()));
            return false;
        }
    }
    SetProjectFileName(fileName);
    try {
        qsizetype consumed = 0;
        const QString text = DecodeShowString(bytes, consumed);
        {
            TStringIniFile ini;
            ini.SetText(text);
            if (ModuleMain)
                ModuleMain->LoadIni(ini);
        }
        if (ModuleSzenen)
            ModuleSzenen->LoadTextFromStream(bytes.mid(consumed));
    } catch (const std::exception& e) {
        AddToErrorLog(elError, OpenErrorPrefix + ExceptionMessage(e));
        return false;
    }
    return true;
}

bool SaveProject(const QString& fileName, bool backup)
{
    try {
        const QByteArray bytes = BuildShowFile();
        TAtomicFile file(fileName);
        file.Write(bytes);
        // With the new show safely on the disk, the backup becomes the current
        // show (the show itself stays), then the new show replaces the current
        // one. At every instant a complete show and a complete backup exist.
        if (backup && QFileInfo::exists(file.Target()))
            MakeBackup(file.Target());
        file.Commit();
    } catch (const std::exception& e) {
        AddToErrorLog(elError, SaveErrorPrefix + ExceptionMessage(e));
        return false;
    }
    SetProjectFileName(fileName);
    return true;
}

void BackupProjectFile()
{
    if (!ProjectFileName.isEmpty() && QFileInfo::exists(ProjectFileName))
        MakeBackup(ResolveWriteTarget(ProjectFileName));
}

TFileDialogOptions ProjectDialogOptions()
{
    TFileDialogOptions options;
    options.Filter = QStringLiteral("Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)");
    options.DefaultSuffix = QStringLiteral("pvs");
    options.InitialDir = ProjectDir;
    return options;
}

bool SaveCurrentProject()
{
    if (!ProjectFileName.isEmpty() && QFileInfo::exists(ProjectFileName))
        return SaveProject(ProjectFileName, true);
    return SaveProjectAs();
}

bool SaveProjectAs()
{
    const QString chosen = Prompts().SaveFileName(ProjectDialogOptions(), QString());
    if (chosen.isEmpty() || !ConfirmOverwrite(chosen))
        return false;
    return SaveProject(chosen, false);
}

TAutoSave AutoSaveProject()
{
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
    if (AutoSpeichern && AutoSaveProject() == TAutoSave::Failed && !GoOnAfterFailedSave())
        return false;
    if (ModuleMain)
        ModuleMain->NewProject();
    SetProjectFileName(QString());
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
