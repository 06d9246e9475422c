#include "core/uComposition.h"

#include "core/uDat_Menu.h"
#include "core/uFormUtils.h"
#include "core/uFrm_Lichtpult.h"
#include "core/uFrm_Main.h"
#include "core/uFrm_Master.h"
#include "core/uMod_Lichtpult.h"
#include "core/uMod_Master.h"
#include "devices/uComTerminal.h"
#include "devices/uFrm_COM.h"
#include "devices/uFrm_Server.h"
#include "devices/uFrm_VerbundeneRechner.h"
#include "devices/uMod_Interface.h"

#include <QTabWidget>

#include <cstring>
#include <iterator>

const TDockTarget DockTargets[] = {
    // Created with the modules, inside the main window's creation.
    {TStartupStage::ModulesCreated, "TFrmLichtpult", "pnlLichtpult", true},   // console window 0; more float
    {TStartupStage::ModulesCreated, "TFrmKanaele", "tabKanaele", false},      // channel list
    {TStartupStage::ModulesCreated, "TFrmChaser", "tabChaser", false},        // its page control
    {TStartupStage::ModulesCreated, "TfrmMaster", "pnlPultUnten", true},      // moves with the page shown
    {TStartupStage::ModulesCreated, "TFrmSzenen", "pnlSzenen", false},        // scene page
    {TStartupStage::ModulesCreated, "TfrmText", "tabText", false},            // script page
    {TStartupStage::ModulesCreated, "TFrmMakro", "pnlMakro", false},          // macro page 0; more float
    {TStartupStage::ModulesCreated, "TfrmAudio", "tabAudio", false},          // audio page 0; more float
    // After the main window has restored its options.
    {TStartupStage::MainFormCreated, "TFrmPLX_Interface", "tabPLX", false},   // HID box page
    {TStartupStage::MainFormCreated, "TFrmCOM", "tabCOM", true},              // serial page
    {TStartupStage::MainFormCreated, "TFrmVerbundeneRechner", "tabVerbundeneRechner", true},
    {TStartupStage::MainFormCreated, "TFrmServer", "tabServer", true},
    {TStartupStage::MainFormCreated, "TFrmMIDI", "tabMIDI", false},           // after the menu
    {TStartupStage::MainFormCreated, "TFrmKanalvorlage", "tabKanalvorlagen", false},
    // After the modules' start-up.
    {TStartupStage::ModulesStarted, "TFrmPatch", "tabPatch", false},          // patch window 0; more float
};
const int DockTargetCount = int(std::size(DockTargets));

const TDockTarget* FindDockTarget(const char* form)
{
    for (const TDockTarget& t : DockTargets)
        if (std::strcmp(t.Form, form) == 0)
            return &t;
    return nullptr;
}

namespace {

QString TargetName(const char* form)
{
    const TDockTarget* t = FindDockTarget(form);
    return t ? QString::fromLatin1(t->Target) : QString();
}

// The main window's panel or tab page that holds form.
QWidget* Panel(TFrmMain& main, const char* form)
{
    return main.findChild<QWidget*>(TargetName(form));
}

QWidget* FindOrAddTab(QTabWidget* pc, const QString& name, const QString& caption)
{
    for (int i = 0; i < pc->count(); ++i)
        if (pc->widget(i)->objectName() == name)
            return pc->widget(i);
    auto* tab = Named<QWidget>(name);
    pc->addTab(tab, caption);
    return tab;
}

} // namespace

void ComposeForms(TFrmMain& main, TStartupStage stage)
{
    switch (stage) {
    case TStartupStage::ModulesCreated:
        if (ModuleLichtpult)
            CreateLichtpultWindows(*ModuleLichtpult, Panel(main, "TFrmLichtpult"));
        if (ModuleMaster)
            (new TfrmMaster(*ModuleMaster))->DockMasterPanel(Panel(main, "TfrmMaster"));
        break;
    case TStartupStage::MainFormCreated:
        CreateInterfacePages(main.pcInterface);
        new TdmMenu(&main, &main);
        break;
    case TStartupStage::ModulesStarted:
        break;
    }
}

void CreateInterfacePages(QTabWidget* pcInterface)
{
    if (!pcInterface || !ModuleInterface)
        return;
    if (!FrmCOM)
        DockInto(new TFrmCOM(ModuleInterface->ComTerminal()),
                 FindOrAddTab(pcInterface, TargetName("TFrmCOM"), QStringLiteral("serielle Schnittstelle")));
    if (!FrmVerbundeneRechner)
        DockInto(new TFrmVerbundeneRechner(ModuleInterface->Peers()),
                 FindOrAddTab(pcInterface, TargetName("TFrmVerbundeneRechner"), QStringLiteral("verbundene Rechner")));
    if (!FrmServer)
        DockInto(new TFrmServer(ModuleInterface->Server()),
                 FindOrAddTab(pcInterface, TargetName("TFrmServer"), QStringLiteral("Server")));
}
