// PV_ORLISK: the lighting console.

#include "core/uFrm_Main.h"
#include "core/uMod_Main.h"
#include "core/uPromptsGui.h"
#include "platform/SignalWatcher.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Palvento Orlisk"));
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] { AppTerminating = true; });

    TPromptsGui prompts;
    SetPrompts(&prompts);

    auto* frmMain = new TFrmMain;
    prompts.SetParent(frmMain);

    // SIGTERM and SIGINT close the main window as "Beenden" does.
    TSignalWatcher signalWatcher([frmMain](int) { frmMain->close(); });

    AppTerminating = false;
    frmMain->show();
    const int rc = app.exec();

    const long long ticks = ModuleMain ? static_cast<long long>(ModuleMain->TickCount) : 0;
    delete frmMain;
    SetPrompts(nullptr);
    std::fprintf(stderr, "PV_ORLISK: beendet nach %lld Takten\n", ticks);
    return rc;
}
