#include "core/uFrm_Main.h"

#include "core/uErrorLog.h"
#include "core/uErrors.h"
#include "core/uFormUtils.h"
#include "core/uMod_Main.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

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
    setCentralWidget(PageControl1);

    // The error-log page shows every line, also lines added on other threads.
    for (const QString& line : TErrorLog::Instance().Lines())
        memFehlerLog->appendPlainText(line);
    connect(&TErrorLog::Instance(), &TErrorLog::lineAdded, memFehlerLog, &QPlainTextEdit::appendPlainText);

    ModuleMain = nullptr;
    new TModuleMain;   // publishes itself in ModuleMain
    LoadFormPosition(this);
}

TFrmMain::~TFrmMain()
{
    // Done here, while the pages that modules docked still exist.
    AppClosing = true;
    SaveFormPosition(this);
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
    Guarded([] { ModuleMain->StartClock(); });
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
