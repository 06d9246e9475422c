#include "framework/uComposition.h"

#include "audio/uFrm_Audio.h"
#include "audio/uMod_Audio.h"
#include "console/uFrmKanalvorlage.h"
#include "console/uFrm_Kanaele.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uFrm_Master.h"
#include "console/uFrm_Patch.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "console/uMod_Patch.h"
#include "cues/uFrm_Chaser.h"
#include "cues/uFrm_Makro.h"
#include "cues/uFrm_MakroAssiHilfe.h"
#include "cues/uFrm_Szenen.h"
#include "cues/uFrm_Text.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "devices/uComTerminal.h"
#include "devices/uFrm_COM.h"
#include "devices/uFrm_MIDI.h"
#include "devices/uFrm_PLX_Interface.h"
#include "devices/uFrm_Server.h"
#include "devices/uFrm_VerbundeneRechner.h"
#include "devices/uMod_Interface.h"
#include "framework/uDat_Menu.h"
#include "framework/uFormUtils.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uTextEdits.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstring>
#include <iterator>

const TDockTarget DockTargets[] = {
    // Created with the modules, inside the main window's creation.
    {TStartupStage::ModulesCreated, "TFrmLichtpult", "pnlLichtpult"},   // console window 0; more float
    {TStartupStage::ModulesCreated, "TFrmKanaele", "tabKanaele"},       // channel list
    {TStartupStage::ModulesCreated, "TFrmChaser", "tabChaser"},         // its page control
    {TStartupStage::ModulesCreated, "TfrmMaster", "pnlPultUnten"},      // moves with the page shown
    {TStartupStage::ModulesCreated, "TFrmSzenen", "pnlSzenen"},         // scene page
    {TStartupStage::ModulesCreated, "TfrmText", "tabText"},             // script page
    {TStartupStage::ModulesCreated, "TFrmMakro", "pnlMakro"},           // macro page 0; more float
    {TStartupStage::ModulesCreated, "TfrmAudio", "tabAudio"},           // audio page 0; more float
    // After the main window has restored its options.
    {TStartupStage::MainFormCreated, "TFrmPLX_Interface", "tabPLX"},   // HID box page
    {TStartupStage::MainFormCreated, "TFrmCOM", "tabCOM"},             // serial page
    {TStartupStage::MainFormCreated, "TFrmVerbundeneRechner", "tabVerbundeneRechner"},
    {TStartupStage::MainFormCreated, "TFrmServer", "tabServer"},
    {TStartupStage::MainFormCreated, "TFrmMIDI", "tabMIDI"},   // after the menu
    {TStartupStage::MainFormCreated, "TFrmKanalvorlage", "tabKanalvorlagen"},
    // After the modules' start-up.
    {TStartupStage::ModulesStarted, "TFrmPatch", "tabPatch"},   // patch window 0; more float
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

// A page of the main window became active: the master panel comes below the
// console or the scene page, and the grand master with it (into the script
// page's panel on the script page); the channel list shows its channel, the
// scene page is refreshed.
void FollowPage(TFrmMain& main, QWidget* page)
{
    if (!frmMaster)
        return;
    if (page == main.tabKanaele) {
        ModuleLichtpult->FocusChannelList();
    } else if (page == main.tabPult) {
        frmMaster->DockMasterPanel(main.pnlPultUnten);
        frmMaster->DockGrandmasterPanel(frmMaster->GetGrandmasterPanel());
    } else if (page == main.tabSzenen) {
        frmMaster->DockMasterPanel(main.pnlSzenenUnten);
        frmMaster->DockGrandmasterPanel(frmMaster->GetGrandmasterPanel());
        if (ModuleSzenen)
            ModuleSzenen->RefreshSceneForm();
    } else if (page == main.tabText) {
        // The master panel stays where it is; only the grand master comes along.
        if (frmText)
            frmMaster->DockGrandmasterPanel(frmText->GetTextFormPanel());
    }
}

}   // namespace

void ComposeForms(TFrmMain& main, TStartupStage stage)
{
    switch (stage) {
    case TStartupStage::ModulesCreated:
        // The one macro assistant, lent to the scene page and the macro editor.
        if (!frmMakroAssiHilfe) {
            auto* assi = new TfrmMakroAssiHilfe(&main);
            assi->hide();   // shown only inside a host
            assi->AudioPanelLines = [] {
                if (!ModuleAudio)
                    return QStringList();
                ModuleAudio->UpdateAudioFileList();
                return ModuleAudio->AudioFileList();
            };
        }
        if (ModuleSzenen && !FrmSzenen) {
            auto* page = new TFrmSzenen(*ModuleSzenen);
            DockInto(page, Panel(main, "TFrmSzenen"));
            page->AttachMacroAssistant();
        }
        if (ModuleLichtpult)
            CreateLichtpultWindows(*ModuleLichtpult, Panel(main, "TFrmLichtpult"));
        if (ModuleLichtpult)
            DockInto(new TFrmKanaele(*ModuleLichtpult), Panel(main, "TFrmKanaele"));
        if (ModuleMaster)
            (new TfrmMaster(*ModuleMaster))->DockMasterPanel(Panel(main, "TfrmMaster"));
        if (ModuleSzenen && !frmText) {
            auto* page = new TfrmText;
            page->FirstNeedsCtrl = [&main] { return main.cbFirstNurMitStrg && main.cbFirstNurMitStrg->isChecked(); };
            DockInto(page, Panel(main, "TfrmText"));
        }
        if (ModuleLichtpult && !FrmChaser)
            DockInto(new TFrmChaser(*ModuleLichtpult, DataDir + QStringLiteral("ChaserLedVorlagen.ini")),
                     Panel(main, "TFrmChaser"));
        if (ModuleAudio) {
            LoadPanelResources();
            CreateAudioPages(*ModuleAudio, Panel(main, "TfrmAudio"));
            // The debug page's button lists the panels that hold a file.
            if (main.Button1 && main.Memo1)
                QObject::connect(main.Button1, &QPushButton::clicked, ModuleAudio->Signals(), [&main] {
                    ModuleAudio->UpdateAudioFileList();
                    main.Memo1->setPlainText(ModuleAudio->AudioFileList().join(u'\n'));
                });
        }
        if (ModuleMakro && !MacroPage(0))
            CreateMacroPages(*ModuleMakro, Panel(main, "TFrmMakro"));
        // The patch page shows the output plug-in's status text.
        if (ModulePatch && main.lblDMXInit) {
            main.lblDMXInit->setText(ModulePatch->DmxInitText);
            QObject::connect(ModulePatch->Signals(), &TPatchSignals::statusTextChanged, main.lblDMXInit,
                             &QLabel::setText);
        }
        main.OnPageChange = [&main](QWidget* page) { FollowPage(main, page); };
        break;
    case TStartupStage::MainFormCreated:
        // A paste of megabytes into any one-line box takes only what fits.
        GuardOneLineBoxes();
        CreateInterfacePages(main.pcInterface);
        new TdmMenu(&main, &main);
        if (ModuleAudio)
            QObject::connect(dmMenu, &TdmMenu::newAudioWindowRequested, ModuleAudio->Signals(),
                             [] { ModuleAudio->AddAudioPage(true); });
        if (ModuleMakro && dmMenu)
            QObject::connect(dmMenu, &TdmMenu::newMacroWindowRequested, ModuleMakro->Signals(),
                             [] { ModuleMakro->NewMacroWindow(); });
        if (ModuleLichtpult)
            DockInto(new TFrmKanalvorlage(*ModuleLichtpult, DataDir + QStringLiteral("Vorlagen.ini")),
                     Panel(main, "TFrmKanalvorlage"));
        break;
    case TStartupStage::ModulesStarted:
        if (ModulePatch) {
            CreatePatchWindows(*ModulePatch, Panel(main, "TFrmPatch"));
            if (dmMenu) {
                QObject::connect(dmMenu, &TdmMenu::newPatchWindowRequested, ModulePatch->Signals(),
                                 [] { ModulePatch->NewPatchWindow(); });
                QObject::connect(dmMenu, &TdmMenu::newCurveRequested, ModulePatch->Signals(),
                                 [] { ModulePatch->NewCurve(); });
            }
        }
        break;
    }
}

void CreateInterfacePages(QTabWidget* pcInterface)
{
    if (!pcInterface || !ModuleInterface)
        return;
    if (!FrmPLX_Interface)
        DockInto(new TFrmPLX_Interface(ModuleInterface->Box()),
                 FindOrAddTab(pcInterface, TargetName("TFrmPLX_Interface"), QStringLiteral("PLX-Interface")));
    if (!FrmCOM)
        DockInto(new TFrmCOM(ModuleInterface->ComTerminal()),
                 FindOrAddTab(pcInterface, TargetName("TFrmCOM"), QStringLiteral("serielle Schnittstelle")));
    if (!FrmVerbundeneRechner)
        DockInto(new TFrmVerbundeneRechner(ModuleInterface->Peers()),
                 FindOrAddTab(pcInterface, TargetName("TFrmVerbundeneRechner"), QStringLiteral("verbundene Rechner")));
    if (!FrmServer)
        DockInto(new TFrmServer(ModuleInterface->Server()),
                 FindOrAddTab(pcInterface, TargetName("TFrmServer"), QStringLiteral("Server")));
    if (!FrmMIDI)
        DockInto(new TFrmMIDI(ModuleInterface->Midi()),
                 FindOrAddTab(pcInterface, TargetName("TFrmMIDI"), QStringLiteral("MIDI")));
}
