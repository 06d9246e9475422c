#pragma once
// The show file: the container that carries the INI text of all modules followed
// by the script page's rich text, and the show operations behind the file menu
// (new, open, save with backup, save as).
//
// Container, two parts back to back:
//   1. the INI text as one string value:
//        0x06, one length byte, that many bytes      pure ASCII, at most 255 bytes
//        0x0C, 32-bit little-endian length, bytes    pure ASCII, longer
//        0x14, 32-bit little-endian length, UTF-8    any character outside ASCII
//      and, read only, 0x12 with a 32-bit count of UTF-16LE characters;
//   2. the rest of the file: the scene module's script text, held as bytes.

#include "framework/uPrompts.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

// Type bytes of the show's string value.
constexpr char ShowStringShort = 0x06;
constexpr char ShowStringLong = 0x0C;
constexpr char ShowStringUtf16 = 0x12;
constexpr char ShowStringUtf8 = 0x14;

// The main window's "save the show at close" box; also decides whether "Neu"
// and "Öffnen" save the current show first.
extern bool AutoSpeichern;

// Tells the forms that the current show's file name changed (the main window
// shows it in its caption).
class TProjectSignals : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void projectFileNameChanged(const QString& fileName);
};

TProjectSignals& ProjectSignals();

// The only way ProjectFileName changes.
void SetProjectFileName(const QString& fileName);

// The string value with its type byte and length.
QByteArray EncodeShowString(const QString& text);
// Reads the string value at the start of bytes; consumed receives its size in
// bytes. A bad type byte, a truncated value or a length past the end of the
// bytes raises EPvError; nothing is allocated beyond what the bytes hold.
QString DecodeShowString(const QByteArray& bytes, qsizetype& consumed);

// The container of a show: the INI lines as the string value, then the script.
QByteArray ShowFileBytes(const QStringList& lines, const QByteArray& script);
// The whole show as it is written: the modules' INI text and the script text.
QByteArray BuildShowFile();

// The show file's name with its extension replaced by ".~pvs".
QString BackupFileName(const QString& showFile);

// Reads a show. When the file cannot be read or its container not decoded, no
// module has read anything: the loaded show and its name stay as they are, and
// "Fehler beim Öffnen: " with the reason is logged. When a module fails while
// taking its sections, the same is logged and the show in memory is a mixture of
// the old show and the file's first sections: it gets no name (a save asks for
// one), so the file that failed to open is never written. Otherwise the file's
// name becomes the show's name. True when everything loaded.
// The file is read, decoded and parsed, and the script converted for the script
// page, on a thread of its own while the GUI thread's event loop goes on without
// user input (the 40 ms clock keeps ticking); the modules load it and the page
// takes the converted script on the GUI thread. A save still being written is
// waited for first.
bool OpenProject(const QString& fileName);

// Saving a show: the modules' lines and the script are collected on the GUI
// thread, at the moment of the save (the script as the bytes of its last load or
// save when it has not changed since, else as a snapshot); the script's encoding,
// the container's bytes, the write, the sync, the backup and the renames run on a
// thread of its own. The result comes back
// to the GUI thread: on success the show's name becomes the file's name, on
// failure "Fehler beim Speichern: " is logged and the target and its backup stay
// untouched. One save is written at a time: a save started while another is
// still being written waits for it first (the clock keeps ticking meanwhile).
//
// The write goes through TAtomicFile (a symbolic link is written through). With
// backup, once the new show is completely on the disk, the previous file becomes
// the ".~pvs" beside it before the new one takes its name, so a complete show
// and a complete backup exist at every instant, also when the program is killed
// during the save.

// Starts the save and returns; false when the show could not be collected
// (logged).
bool SaveProjectInBackground(const QString& fileName, bool backup = false);
// Saves and waits for the result, the clock ticking meanwhile. True when written.
bool SaveProject(const QString& fileName, bool backup = false);
// Returns once no save is being written (at once when none is).
void WaitForShowSaves();
// True while a show is being read or written.
bool ShowFileBusy();

// Makes the backup (".~pvs" beside the show) a complete copy of the current show
// file, replacing an older backup in one step; the show file stays. Failures are
// logged as "Fehler beim Erstellen der BackupDatei: ".
void BackupProjectFile();

// The show dialogs: "pvs", initial folder ProjectDir.
TFileDialogOptions ProjectDialogOptions();

// Whether a save waits for its result (Wait: true means written) or returns
// once the write has started (Background: true means started; the menu's way,
// so that the clock never waits for the disk).
enum class TSaveMode { Wait, Background };

// "Speichern": with an existing show file, backup and save; otherwise as
// SaveProjectAs.
bool SaveCurrentProject(TSaveMode mode = TSaveMode::Wait);
// "Speichern unter": the save dialog, the overwrite question for an existing
// file, then the save without backup.
bool SaveProjectAs(TSaveMode mode = TSaveMode::Wait);

// The automatic save before closing, "Neu" and "Öffnen": "Speichern" that tells a
// cancelled save dialog apart from a failed write.
enum class TAutoSave { Saved, Cancelled, Failed };
TAutoSave AutoSaveProject();

// Writes the show to a new file named after now ("Projekt_2026_12_09_-_14_30_05.pvs";
// "_2", "_3", ... before the extension when that name is taken), never over an
// existing file: in the show folder, or where that cannot take it, in the user's
// home folder ($HOME), else in the system's temporary folder. The show is named
// after the file. Returns the file's path; temporary, when given, tells whether
// it lies in the temporary folder. Raises EPvError when no folder took it.
QString SaveProjectToNewFile(const QDateTime& now, bool* temporary = nullptr);

// The show as it is now is a new, empty show (start-up, "Neu"): a signal then
// writes no file for it as long as it stays exactly so. Opening a show forgets it.
void RememberNewShow();
// Takes the show as it is now as the new show, unless a show was opened since
// RememberNewShow (what the windows add to a new show while they come up).
void RenewNewShow();

// The save at a close that nobody is there to answer (the program ended by a
// signal): asks nothing. The show is saved to its file with backup as
// "Speichern" does; where it has no file yet, its file is gone or that save
// fails, it goes to a new file (SaveProjectToNewFile), whose path and the reason
// are logged and written to stderr, with a warning when it lies in the temporary
// folder. A show that is still exactly the new show (RememberNewShow) gets no new
// file. The path of the file written, empty when none was.
QString SaveProjectUnattended();

// "Neu": asks "Soll ein neues Projekt angelegt werden?"; on Yes saves first when
// AutoSpeichern is on (a cancelled save dialog does not stop it; a failed save
// asks whether to go on, and No keeps the show), then clears every module and the
// show's name. True when a new show was made.
bool NewProjectFile();
// "Öffnen": the open dialog; when confirmed, saves the current show first when
// AutoSpeichern is on and its file exists (a failed save asks whether to go on,
// and No keeps the show), then opens the chosen file. True when a show was
// opened completely.
bool OpenProjectFile();
