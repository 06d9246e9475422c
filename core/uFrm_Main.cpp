#include "core/uFrm_Main.h"

#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uFormUtils.h"
#include "core/uFrm_Master.h"
#include "core/uMod_Main.h"
#include "core/uMod_Master.h"
#include "core/uMod_Patch.h"
#include "core/uStringIniFile.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>

const char* const MainCaption = "Palvento Orlisk 200 -  version.dll";

namespace {
// A start-up or closing step that fails is logged, and the next step still runs.
template <typename F>
void Guarded(F&& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        AddToErrorLog(elError, QStringLiteral("Application-Exception: ") + ExceptionMessage(e));
    }
}

// A page split into an upper and a lower panel.
QWidget* SplitPage(const QString& pageName, const QString& upperName, const QString& splitterName,
                   const QString& lowerName, QWidget*& upper, QSplitter*& splitter, QWidget*& lower)
{
    auto* page = new QWidget;
    page->setObjectName(pageName);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(splitterName);
    upper = new QWidget;
    upper->setObjectName(upperName);
    (new QVBoxLayout(upper))->setContentsMargins(0, 0, 0, 0);
    lower = new QWidget;
    lower->setObjectName(lowerName);
    (new QVBoxLayout(lower))->setContentsMargins(0, 0, 0, 0);
    splitter->addWidget(upper);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    layout->addWidget(splitter);
    return page;
}
}

TFrmMain::TFrmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QString::fromUtf8(MainCaption));
    resize(1020, 720);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto* tabSheet1 = new QWidget;
    tabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QVBoxLayout(tabSheet1);
    pcDiverses = new QTabWidget;
    pcDiverses->setObjectName(QStringLiteral("pcDiverses"));
    layout->addWidget(pcDiverses);
    memFehlerLog = new QPlainTextEdit;
    memFehlerLog->setObjectName(QStringLiteral("memFehlerLog"));
    memFehlerLog->setReadOnly(true);
    auto* tabFehlerlog = new QWidget;
    tabFehlerlog->setObjectName(QStringLiteral("tabFehlerlog"));
    (new QVBoxLayout(tabFehlerlog))->addWidget(memFehlerLog);
    pcDiverses->addTab(tabFehlerlog, QStringLiteral("Fehlerlog"));
    PageControl1->addTab(tabSheet1, QStringLiteral("Diverses"));
    tabPult = SplitPage(QStringLiteral("tabPult"), QStringLiteral("pnlLichtpult"), QStringLiteral("splPult"),
                        QStringLiteral("pnlPultUnten"), pnlLichtpult, splPult, pnlPultUnten);
    PageControl1->addTab(tabPult, QStringLiteral("Lichtpult und Master"));
    tabSzenen = SplitPage(QStringLiteral("tabSzenen"), QStringLiteral("pnlSzenen"), QStringLiteral("splSzenen"),
                          QStringLiteral("pnlSzenenUnten"), pnlSzenen, splSzenen, pnlSzenenUnten);
    PageControl1->addTab(tabSzenen, QStringLiteral("Szenen und Master"));
    tabInterface = new QWidget;
    tabInterface->setObjectName(QStringLiteral("tabInterface"));
    pcInterface = new QTabWidget;
    pcInterface->setObjectName(QStringLiteral("pcInterface"));
    (new QVBoxLayout(tabInterface))->addWidget(pcInterface);
    tabPatch = new QWidget;
    tabPatch->setObjectName(QStringLiteral("tabPatch"));
    lblDMXInit = new QLabel;
    lblDMXInit->setObjectName(QStringLiteral("lblDMXInit"));
    auto* patchLayout = new QVBoxLayout(tabPatch);
    patchLayout->addWidget(lblDMXInit);
    patchLayout->addStretch(1);
    pcInterface->addTab(tabPatch, QStringLiteral("Patch"));
    PageControl1->addTab(tabInterface, QStringLiteral("Interface"));
    setCentralWidget(PageControl1);

    // The error-log page shows every line, also lines added on other threads.
    for (const QString& line : TErrorLog::Instance().Lines())
        memFehlerLog->appendPlainText(line);
    connect(&TErrorLog::Instance(), &TErrorLog::lineAdded, memFehlerLog, &QPlainTextEdit::appendPlainText);

    ModuleMain = nullptr;
    new TModuleMain;   // publishes itself in ModuleMain

    // The master panel starts below the console window.
    (new TfrmMaster(*ModuleMaster))->DockMasterPanel(pnlPultUnten);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { Guarded([this] { PageControl1Change(); }); });

    // The output plug-in's status text.
    lblDMXInit->setText(ModulePatch->DmxInitText);
    connect(ModulePatch->Signals(), &TPatchSignals::statusTextChanged, lblDMXInit, &QLabel::setText);

    LoadFormPosition(this);
    FLetztesPatch = SettingsIni->ReadBool(QStringLiteral("FrmMain"), QStringLiteral("LetztesPatch"), false);
}

TFrmMain::~TFrmMain()
{
    // Done here, while the pages that modules docked still exist.
    AppClosing = true;
    SaveFormPosition(this);
    SettingsIni->WriteBool(QStringLiteral("FrmMain"), QStringLiteral("LetztesPatch"), FLetztesPatch);
    SettingsIni->WriteString(QStringLiteral("FrmMain"), QStringLiteral("LetztePatchDatei"), ModulePatch->FileName);
    delete ModuleMain;
}

void TFrmMain::SetProjectFileName(const QString& fileName)
{
    ProjectFileName = fileName;
    setWindowTitle(QString::fromUtf8(MainCaption) + QStringLiteral("   ") + fileName);
}

void TFrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TFrmMain::FormShow()
{
    // A patch file that cannot be read is logged; the clock starts all the same.
    Guarded([this] {
        const QString last = SettingsIni->ReadString(QStringLiteral("FrmMain"), QStringLiteral("LetztePatchDatei"), QString());
        if (FLetztesPatch && !last.isEmpty() && QFileInfo::exists(last))
            ModulePatch->OpenDocument(last);
    });
    Guarded([] {
        ModuleMain->StartClock();
        std::fprintf(stderr, "PV_ORLISK: Uhr gestartet (%s)\n",
                     ModuleMain->UsesClockThread() ? "Taktgeber-Thread" : "40-ms-Timer");
    });
    Guarded([this] { PageControl1Change(); });
}

void TFrmMain::PageControl1Change()
{
    if (!frmMaster)
        return;
    QWidget* page = PageControl1->currentWidget();
    if (page == tabPult) {
        frmMaster->DockMasterPanel(pnlPultUnten);
        frmMaster->DockGrandmasterPanel(frmMaster->GetGrandmasterPanel());
    } else if (page == tabSzenen) {
        frmMaster->DockMasterPanel(pnlSzenenUnten);
        frmMaster->DockGrandmasterPanel(frmMaster->GetGrandmasterPanel());
    }
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TFrmMain::FormClose()
{
    AppClosing = true;
}
