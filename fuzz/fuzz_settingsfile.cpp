// The settings file PV_TESSEL.ini as the modules read it at start-up: the bytes
// are the file in the program folder, read into the settings store; every
// module's Init runs on it (server port and key, MIDI options, ...), the master
// module takes the playback mode over as a show load does, and every remembered
// window's section gives its position. What the modules write at shut-down
// (their Done), read at the next start and written again, is the same file.

#include "FuzzEngine.h"

#include "console/uMod_Master.h"
#include "devices/uMidiUtils.h"
#include "devices/uMod_Interface.h"
#include "devices/uServer.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <QCoreApplication>
#include <QEvent>
#include <QRect>

#include <cstdlib>

namespace {

// A window remembered by its component name: the main window, or an audio page,
// console window, patch window or macro page followed by its number.
bool IsWindowSection(const QString& section)
{
    if (section.compare(QStringLiteral("FrmMain"), Qt::CaseInsensitive) == 0)
        return true;
    for (const char* prefix : {"FrmAudio", "FrmLichtpult", "FrmPatch", "FrmMakro"}) {
        const QString p = QString::fromLatin1(prefix);
        if (section.startsWith(p, Qt::CaseInsensitive)) {
            bool number = false;
            section.mid(p.size()).toInt(&number);
            return number;
        }
    }
    return false;
}

// One session on settings: the modules read them at start-up (and the master
// module when a show is opened), the windows their positions; the modules'
// shut-down writes them back. Returns the file the session leaves.
QStringList Session(TStringIniFile& settings)
{
    TStringIniFile* const held = SettingsIni;
    SettingsIni = &settings;
    // A new session: console mode, not set by anyone yet (switching the mode
    // walks every channel, so only when it is on).
    if (ModuleMaster->Ablauf)
        ModuleMaster->SetAblauf(false);
    ModuleMaster->AblaufSet = false;

    ModuleMain->Init();
    TStringIniFile show;
    ModuleMaster->LoadIni(show);
    QStringList sections;
    settings.ReadSections(sections);
    for (const QString& section : sections) {
        if (!IsWindowSection(section))
            continue;
        const QRect r = ReadFormPosition(settings, section, QRect(0, 0, 800, 600));
        if (r.width() < 0 || r.height() < 0)
            std::abort();
    }
    ModuleMain->Done();

    // The server listens when the settings start it: never beyond the input.
    ModuleInterface->Server().SetAktiv(false);
    ModuleInterface->Midi().SetAktiv(false);
    SettingsIni = held;
    QStringList lines;
    settings.GetStrings(lines);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // No show data is touched: only the error log is emptied afterwards.
    TFuzzReset reset(false);
    FuzzMainModule();
    TStringIniFile file(FuzzWriteFile(QStringLiteral("PV_TESSEL.ini"), FuzzBytes(data, size)));
    const QStringList once = Session(file);

    TStringIniFile next;
    next.SetStrings(once);
    if (Session(next) != once)
        std::abort();

    // A server that stopped listening deletes its socket engine later.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
