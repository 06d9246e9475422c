// PV_ORLISK: the lighting console.

#include "audio/uAuRegistry.h"
#include "audio/uSonivexPanel.h"
#include "framework/uComposition.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uPromptsGui.h"
#include "framework/uSystemLocale.h"
#include "platform/SignalWatcher.h"

#include "framework/uErrorLog.h"
#include "framework/uErrors.h"

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

// The last-chance handler: an exception that escapes an event handler is logged
// and the program goes on; no dialog.
class TConsoleApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        bool result = false;
        Guarded([&] { result = QApplication::notify(receiver, event); });
        return result;
    }
};

// Every connection of the command server and every file the program writes
// takes a descriptor; the usual soft limit of 1024 is far below what the system
// allows. Failing to raise it is no reason not to start.
void RaiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
        std::fprintf(stderr, "PV_ORLISK: Dateilimit nicht erhöht: %s\n", std::strerror(errno));
}

} // namespace

int main(int argc, char** argv)
{
    RaiseOpenFileLimit();
    TGermanUnderC german;
    TConsoleApplication app(argc, argv);
    german.Finish();
    QApplication::setApplicationName(QStringLiteral("Palvento Orlisk"));
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] { AppTerminating = true; });

    // Qt's own dialogs and buttons (file, colour and input dialogs, the edit
    // menus) speak German like the rest of the program.
    if (!InstallGermanQtTranslations())
        std::fprintf(stderr,
                     "PV_ORLISK: Qt-Übersetzungen (qtbase_de) nicht gefunden; Standarddialoge bleiben englisch\n");

    TPromptsGui prompts;
    SetPrompts(&prompts);
    // Panels without a sound output say why in a message box, once.
    SetAudioOutputErrorHandler([](const QString& error) { Prompts().Info(error); });

    // The audio engine's classes and its notification thread exist before any
    // module that plays sound. The media decoder library is bound from the
    // program folder, which is known first.
    ProgramDir = DetermineProgramDir();
    StartAudioEngine();

    // The main window creates the modules and their first forms; the rest of the
    // forms follow in the order the start-up needs (framework/uComposition.h).
    auto* frmMain = new TFrmMain;
    prompts.SetParent(frmMain);
    ComposeForms(*frmMain, TStartupStage::MainFormCreated);
    ModuleMain->AfterFormsCreated();
    ComposeForms(*frmMain, TStartupStage::ModulesStarted);

    // The program ends when its main window has closed, whatever other windows
    // (console, patch, macro or audio windows) are still open.
    QApplication::setQuitOnLastWindowClosed(false);
    // exit, not quit: quit first asks every window to close, and a window that
    // only hides itself (a macro page) would cancel it.
    QObject::connect(
        frmMain, &TFrmMain::closeAccepted, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    // SIGTERM and SIGINT close the main window as "Beenden" does, but nobody is
    // there to answer: no question is asked, and the show is saved unattended.
    TSignalWatcher signalWatcher([frmMain](int) { frmMain->ForceClose(); });

    AppTerminating = false;
    frmMain->show();
    const int rc = app.exec();

    const long long ticks = ModuleMain ? static_cast<long long>(ModuleMain->TickCount) : 0;
    // A show still being written is finished before the modules go.
    WaitForShowSaves();
    delete frmMain;
    SetPrompts(nullptr);
    // Every player went with its window and module.
    StopAudioEngine();
    std::fprintf(stderr, "PV_ORLISK: beendet nach %lld Takten\n", ticks);
    return rc;
}
