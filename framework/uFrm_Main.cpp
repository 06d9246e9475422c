#include "framework/uFrm_Main.h"

#include "cues/uMod_Szenen.h"
#include "framework/uComposition.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uFormUtils.h"
#include "framework/uProject.h"
#include "framework/uPrompts.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uTextEdits.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

const char* const MainCaption = "Palvento Orlisk 200 -  version.dll";

namespace {

const QString Section = QStringLiteral("FrmMain");

// The Boolean options as stored, in the order they are read and written.
struct TBoolOption {
    const char* Key;
    QCheckBox* TFrmMain::*Box;
    bool Default;
};
const TBoolOption BoolOptions[] = {
    {"TextRechtsZurueck", &TFrmMain::cbTextRechtsZurueck, false},
    {"FirstNurMitStrg", &TFrmMain::cbFirstNurMitStrg, false},
    {"LetzteDatei", &TFrmMain::cbLastFile, false},
    {"LetztesPatch", &TFrmMain::cbLastPatch, false},
    {"AutoSpeichern", &TFrmMain::cbAutoSaveOnClosing, true},
    {"Fehlerlog", &TFrmMain::cbFehlerlog, false},
    {"Lampenschonung", &TFrmMain::cbLampenschonung, false},
    {"Prozent", &TFrmMain::cbProzent, false},
    {"AutoSzenenSeite", &TFrmMain::cbAutoSzenenseite, false},
};

const QString StepCaptions[] = {
    QStringLiteral("immer durchführen"),
    QStringLiteral("nur bei abweichendem Schritt"),
    QStringLiteral("nie durchführen"),
};



// A document link of the help page: its tooltip holds the document's full path.
class THelpLink : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void(QObject*)> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
            OnClick(this);
    }
};

// A page split into an upper and a lower panel.
QWidget* SplitPage(const QString& pageName, const QString& upperName, const QString& splitterName,
                   const QString& lowerName, QWidget*& upper, QSplitter*& splitter, QWidget*& lower)
{
    QWidget* page = Named<QWidget>(pageName);
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

// A stored page index that names no visible page selects the first page.
void RestorePageIndex(QTabWidget* pages, int index)
{
    const bool valid = index >= 0 && index < pages->count() && pages->isTabVisible(index);
    pages->setCurrentIndex(valid ? index : 0);
}

// The fade-time edits hold tenths of a second; anything but a decimal number gives 0.
int FadeValue(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok && value >= 0 ? value : 0;
}

} // namespace

// ---- creation ----

TFrmMain::TFrmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QString::fromUtf8(MainCaption));
    resize(1020, 720);
    BuildPages();

    // The error-log page shows every line, also lines added on other threads.
    for (const QString& line : TErrorLog::Instance().Lines())
        memFehlerLog->appendPlainText(line);
    connect(&TErrorLog::Instance(), &TErrorLog::lineAdded, memFehlerLog, &QPlainTextEdit::appendPlainText);
    // The caption follows the show's file name, however it changes.
    connect(&ProjectSignals(), &TProjectSignals::projectFileNameChanged, this, &TFrmMain::UpdateCaption);

    // Floating windows without a stored position open below the menu bar and
    // the page tabs, which a new user needs to see first.
    SetFloatingWindowOrigin([this] { return FloatingWindowOrigin(); });

    ModuleMain = nullptr;
    new TModuleMain;   // publishes itself in ModuleMain
    ModuleMain->SetFormLink(this);

    // The modules' forms, docked into this window's pages.
    ComposeForms(*this, TStartupStage::ModulesCreated);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { Guarded([this] { PageControl1Change(); }); });

    PageControl1->setTabVisible(PageControl1->indexOf(tabDebug), QFileInfo::exists(ProgramDir + QStringLiteral("debug.txt")));
    LoadFormPosition(this);
    ConnectOptions();
    RestoreOptions();
}

void TFrmMain::BuildPages()
{
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    // "Diverses"
    TabSheet1 = Named<QWidget>(QStringLiteral("TabSheet1"));
    pcDiverses = new QTabWidget;
    pcDiverses->setObjectName(QStringLiteral("pcDiverses"));
    (new QVBoxLayout(TabSheet1))->addWidget(pcDiverses);
    tabHilfe = Named<QWidget>(QStringLiteral("tabHilfe"));   // links placed at fixed positions, no layout
    pcDiverses->addTab(tabHilfe, QStringLiteral("Hilfe"));
    tabOptionen = BuildOptionPage();
    pcDiverses->addTab(tabOptionen, QStringLiteral("Optionen"));
    tabFehlerlog = Named<QWidget>(QStringLiteral("tabFehlerlog"));
    memFehlerLog = new TPlainTextEdit;
    memFehlerLog->setObjectName(QStringLiteral("memFehlerLog"));
    memFehlerLog->setReadOnly(true);
    // Like the log itself, the page holds the newest lines only and keeps no undo
    // history of them.
    memFehlerLog->setUndoRedoEnabled(false);
    memFehlerLog->setMaximumBlockCount(int(TErrorLog::MaxLines));
    (new QVBoxLayout(tabFehlerlog))->addWidget(memFehlerLog);
    pcDiverses->addTab(tabFehlerlog, QStringLiteral("Fehlerlog"));
    tabKanalvorlagen = Named<QWidget>(QStringLiteral("tabKanalvorlagen"));
    pcDiverses->addTab(tabKanalvorlagen, QStringLiteral("Kanalvorlagen"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Diverses"));

    tabPult = SplitPage(QStringLiteral("tabPult"), QStringLiteral("pnlLichtpult"), QStringLiteral("splPult"),
                        QStringLiteral("pnlPultUnten"), pnlLichtpult, splPult, pnlPultUnten);
    PageControl1->addTab(tabPult, QStringLiteral("Lichtpult und Master"));
    tabSzenen = SplitPage(QStringLiteral("tabSzenen"), QStringLiteral("pnlSzenen"), QStringLiteral("splSzenen"),
                          QStringLiteral("pnlSzenenUnten"), pnlSzenen, splSzenen, pnlSzenenUnten);
    PageControl1->addTab(tabSzenen, QStringLiteral("Szenen und Master"));
    tabKanaele = Named<QWidget>(QStringLiteral("tabKanaele"));
    PageControl1->addTab(tabKanaele, QStringLiteral("Kanäle"));
    tabChaser = Named<QWidget>(QStringLiteral("tabChaser"));
    PageControl1->addTab(tabChaser, QStringLiteral("Chaser"));
    tabAudio = Named<QWidget>(QStringLiteral("tabAudio"));
    PageControl1->addTab(tabAudio, QStringLiteral("Audio"));

    // "Interface"
    tabInterface = Named<QWidget>(QStringLiteral("tabInterface"));
    pcInterface = new QTabWidget;
    pcInterface->setObjectName(QStringLiteral("pcInterface"));
    (new QVBoxLayout(tabInterface))->addWidget(pcInterface);
    tabPatch = Named<QWidget>(QStringLiteral("tabPatch"));
    lblDMXInit = Named<QLabel>(QStringLiteral("lblDMXInit"), QString());
    auto* patchLayout = new QVBoxLayout(tabPatch);
    patchLayout->addWidget(lblDMXInit);
    patchLayout->addStretch(1);
    pcInterface->addTab(tabPatch, QStringLiteral("Patch"));
    struct TInterfacePage {
        QWidget*& Field;
        const char* Name;
        const char* Caption;
    };
    const TInterfacePage interfacePages[] = {
        {tabPLX, "tabPLX", "PLX-Interface"},
        {tabCOM, "tabCOM", "serielle Schnittstelle"},
        {tabMIDI, "tabMIDI", "MIDI"},
        {tabVerbundeneRechner, "tabVerbundeneRechner", "verbundene Rechner"},
        {tabServer, "tabServer", "Server"},
    };
    for (const TInterfacePage& p : interfacePages) {
        p.Field = Named<QWidget>(QString::fromLatin1(p.Name));
        (new QVBoxLayout(p.Field))->setContentsMargins(0, 0, 0, 0);
        pcInterface->addTab(p.Field, QString::fromLatin1(p.Caption));
    }
    PageControl1->addTab(tabInterface, QStringLiteral("Interface"));

    tabText = Named<QWidget>(QStringLiteral("tabText"));
    PageControl1->addTab(tabText, QStringLiteral("Text"));

    tabDebug = Named<QWidget>(QStringLiteral("tabDebug"));
    Memo1 = new TPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Button1 = new QPushButton(QStringLiteral("Button1"));
    Button1->setObjectName(QStringLiteral("Button1"));
    auto* debugLayout = new QVBoxLayout(tabDebug);
    debugLayout->addWidget(Memo1);
    debugLayout->addWidget(Button1, 0, Qt::AlignLeft);
    PageControl1->addTab(tabDebug, QStringLiteral("Debug"));

    // The macro page lies outside the page control.
    pnlMakro = new QWidget;
    pnlMakro->setObjectName(QStringLiteral("pnlMakro"));
    (new QVBoxLayout(pnlMakro))->setContentsMargins(0, 0, 0, 0);

    auto* central = new QWidget;
    central->setObjectName(QStringLiteral("pnlMain"));
    // The macro page is a narrow column beside the pages.
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1, 1);
    layout->addWidget(pnlMakro, 0);
    setCentralWidget(central);
}

QWidget* TFrmMain::BuildOptionPage()
{
    QWidget* page = Named<QWidget>(QStringLiteral("tabOptionen"));
    auto* layout = new QVBoxLayout(page);

    auto* gbDatei = new QGroupBox(QStringLiteral(" Datei: "));
    gbDatei->setObjectName(QStringLiteral("gbDatei"));
    auto* datei = new QVBoxLayout(gbDatei);
    cbLastFile = Named<QCheckBox>(QStringLiteral("cbLastFile"), QStringLiteral("die zuletzt verwendete Projekt-Datei"));
    cbLastPatch = Named<QCheckBox>(QStringLiteral("cbLastPatch"), QStringLiteral("die zuletzt verwendete Patch-Datei"));
    cbAutoSaveOnClosing = Named<QCheckBox>(QStringLiteral("cbAutoSaveOnClosing"), QStringLiteral("Projekt-Datei speichern bei Programmende"));
    cbAutoSaveOnClosing->setChecked(true);
    cbFehlerlog = Named<QCheckBox>(QStringLiteral("cbFehlerlog"), QStringLiteral("Fehlerlog speichern"));
    for (QCheckBox* box : {cbLastFile, cbLastPatch, cbAutoSaveOnClosing, cbFehlerlog})
        datei->addWidget(box);
    layout->addWidget(gbDatei);

    auto* gbLichtpult = new QGroupBox(QStringLiteral(" Lichtpult: "));
    gbLichtpult->setObjectName(QStringLiteral("gbLichtpult"));
    auto* pult = new QVBoxLayout(gbLichtpult);
    cbProzent = Named<QCheckBox>(QStringLiteral("cbProzent"), QStringLiteral("Prozent"));
    cbLampenschonung = Named<QCheckBox>(QStringLiteral("cbLampenschonung"), QStringLiteral("Lampenschonung"));
    pult->addWidget(cbProzent);
    pult->addWidget(cbLampenschonung);
    layout->addWidget(gbLichtpult);

    auto* gbSzenen = new QGroupBox(QStringLiteral(" Szenen und Text: "));
    gbSzenen->setObjectName(QStringLiteral("gbSzenenText"));
    auto* szenen = new QVBoxLayout(gbSzenen);
    cbAutoSzenenseite = Named<QCheckBox>(QStringLiteral("cbAutoSzenenseite"), QStringLiteral("nach dem Speichern einer Szene automatisch"));
    auto* autoRow = new QHBoxLayout;
    autoRow->addWidget(cbAutoSzenenseite);
    autoRow->addWidget(Named<QLabel>(QStringLiteral("lblAutoSzenenseite"), QStringLiteral("auf die Registerseite \"Szenen und Master\"")));
    autoRow->addStretch(1);
    szenen->addLayout(autoRow);
    cbTextRechtsZurueck = Named<QCheckBox>(QStringLiteral("cbTextRechtsZurueck"), QStringLiteral("mit rechter Maustaste zurück"));
    szenen->addWidget(cbTextRechtsZurueck);

    szenen->addWidget(Named<QLabel>(QStringLiteral("lblDefaultFade"), QStringLiteral("Vorgaben für Fade-Zeiten [ds]")));
    auto* fadeRow = new QHBoxLayout;
    edtDefaultFadeVor = new QLineEdit(QStringLiteral("10"));
    edtDefaultFadeVor->setObjectName(QStringLiteral("edtDefaultFadeVor"));
    edtDefaultFadeZurueck = new QLineEdit(QStringLiteral("10"));
    edtDefaultFadeZurueck->setObjectName(QStringLiteral("edtDefaultFadeZurueck"));
    for (QLineEdit* edit : {edtDefaultFadeVor, edtDefaultFadeZurueck}) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        edit->setMaximumWidth(80);
    }
    fadeRow->addWidget(Named<QLabel>(QStringLiteral("lblFadeVor"), QStringLiteral("vor")));
    fadeRow->addWidget(edtDefaultFadeVor);
    fadeRow->addWidget(Named<QLabel>(QStringLiteral("lblFadeZurueck"), QStringLiteral("zurück")));
    fadeRow->addWidget(edtDefaultFadeZurueck);
    fadeRow->addStretch(1);
    szenen->addLayout(fadeRow);

    rgWaehrendAusfuehrung = new QGroupBox(QStringLiteral(" Schritt ausführen während Ausführung: "));
    rgWaehrendAusfuehrung->setObjectName(QStringLiteral("rgWaehrendAusfuehrung"));
    FWaehrendAusfuehrung = new QButtonGroup(rgWaehrendAusfuehrung);
    auto* steps = new QVBoxLayout(rgWaehrendAusfuehrung);
    for (int i = 0; i < 3; ++i) {
        auto* button = new QRadioButton(StepCaptions[i]);
        button->setObjectName(QStringLiteral("rbWaehrendAusfuehrung%1").arg(i));
        FWaehrendAusfuehrung->addButton(button, i);
        steps->addWidget(button);
    }
    FWaehrendAusfuehrung->button(0)->setChecked(true);
    szenen->addWidget(rgWaehrendAusfuehrung);

    cbFirstNurMitStrg = Named<QCheckBox>(QStringLiteral("cbFirstNurMitStrg"), QStringLiteral("Erster Schritt muss mit STRG-Taste geklickt werden"));
    szenen->addWidget(cbFirstNurMitStrg);
    layout->addWidget(gbSzenen);
    layout->addStretch(1);
    return page;
}

// ---- options ----

void TFrmMain::ConnectOptions()
{
    connect(cbAutoSaveOnClosing, &QCheckBox::toggled, this, &TFrmMain::cbAutoSaveOnClosingClick);
    connect(cbProzent, &QCheckBox::toggled, this, &TFrmMain::cbProzentClick);
    connect(cbLampenschonung, &QCheckBox::toggled, this, &TFrmMain::cbLampenschonungClick);
    connect(cbAutoSzenenseite, &QCheckBox::toggled, this, &TFrmMain::cbAutoSzenenseiteClick);
    connect(cbTextRechtsZurueck, &QCheckBox::toggled, this, &TFrmMain::cbTextRechtsZurueckClick);
    connect(edtDefaultFadeVor, &QLineEdit::textChanged, this, &TFrmMain::edtDefaultFadeVorChange);
    connect(edtDefaultFadeZurueck, &QLineEdit::textChanged, this, &TFrmMain::edtDefaultFadeZurueckChange);
}

void TFrmMain::RestoreOptions()
{
    const TStringIniFile& ini = *SettingsIni;
    {
        // The page-change handling runs once, when the window is first shown.
        const QSignalBlocker block(PageControl1);
        RestorePageIndex(PageControl1, ini.ReadInteger(Section, QStringLiteral("PI_Main"), 0));
    }
    RestorePageIndex(pcDiverses, ini.ReadInteger(Section, QStringLiteral("PI_Div"), 0));
    RestorePageIndex(pcInterface, ini.ReadInteger(Section, QStringLiteral("PI_Interface"), 0));

    // Filled without firing the handlers; ApplyOptions then hands every value on,
    // also a stored value equal to the control's design value.
    for (const TBoolOption& o : BoolOptions) {
        QCheckBox* box = this->*o.Box;
        const QSignalBlocker block(box);
        box->setChecked(ini.ReadBool(Section, QString::fromLatin1(o.Key), o.Default));
    }
    {
        const QSignalBlocker blockVor(edtDefaultFadeVor);
        const QSignalBlocker blockZurueck(edtDefaultFadeZurueck);
        edtDefaultFadeVor->setText(ini.ReadString(Section, QStringLiteral("DefaultFadeVor"), QStringLiteral("10")));
        edtDefaultFadeZurueck->setText(ini.ReadString(Section, QStringLiteral("DefaultFadeZurueck"), QStringLiteral("10")));
    }
    const int step = ini.ReadInteger(Section, QStringLiteral("WaehrendAusfuehrung"), 0);
    FWaehrendAusfuehrung->button(step >= 0 && step < 3 ? step : 0)->setChecked(true);

    ApplyOptions();
}

void TFrmMain::ApplyOptions()
{
    cbTextRechtsZurueckClick(cbTextRechtsZurueck->isChecked());
    cbAutoSaveOnClosingClick(cbAutoSaveOnClosing->isChecked());
    cbLampenschonungClick(cbLampenschonung->isChecked());
    cbProzentClick(cbProzent->isChecked());
    cbAutoSzenenseiteClick(cbAutoSzenenseite->isChecked());
    edtDefaultFadeVorChange(edtDefaultFadeVor->text());
    edtDefaultFadeZurueckChange(edtDefaultFadeZurueck->text());
}

void TFrmMain::WriteOptions()
{
    TStringIniFile& ini = *SettingsIni;
    ini.WriteInteger(Section, QStringLiteral("PI_Main"), PageControl1->currentIndex());
    ini.WriteInteger(Section, QStringLiteral("PI_Div"), pcDiverses->currentIndex());
    ini.WriteInteger(Section, QStringLiteral("PI_Interface"), pcInterface->currentIndex());
    for (const TBoolOption& o : BoolOptions)
        ini.WriteBool(Section, QString::fromLatin1(o.Key), (this->*o.Box)->isChecked());
    ini.WriteString(Section, QStringLiteral("LetzteProjektDatei"), ProjectFileName);
    const TModuleAbstract* patch = ConsoleLink().PatchModule();
    ini.WriteString(Section, QStringLiteral("LetztePatchDatei"), patch ? patch->FileName : QString());
    ini.WriteString(Section, QStringLiteral("DefaultFadeVor"), edtDefaultFadeVor->text());
    ini.WriteString(Section, QStringLiteral("DefaultFadeZurueck"), edtDefaultFadeZurueck->text());
    ini.WriteInteger(Section, QStringLiteral("WaehrendAusfuehrung"), StepDuringExecution());
}

void TFrmMain::cbAutoSaveOnClosingClick(bool checked)
{
    AutoSpeichern = checked;
}

void TFrmMain::cbProzentClick(bool checked)
{
    Guarded([checked] { ConsoleLink().SetProzent(checked); });
}

void TFrmMain::cbLampenschonungClick(bool checked)
{
    ConsoleLink().SetLampenschonung(checked);
}

void TFrmMain::cbAutoSzenenseiteClick(bool checked)
{
    if (ModuleSzenen)
        ModuleSzenen->SetAutoSzenenseite(checked);
}

void TFrmMain::cbTextRechtsZurueckClick(bool checked)
{
    if (ModuleSzenen)
        ModuleSzenen->SetTextRechtsZurueck(checked);
}

void TFrmMain::edtDefaultFadeVorChange(const QString& text)
{
    if (ModuleSzenen)
        ModuleSzenen->SetDefaultFadeForward(FadeValue(text));
}

void TFrmMain::edtDefaultFadeZurueckChange(const QString& text)
{
    if (ModuleSzenen)
        ModuleSzenen->SetDefaultFadeBackward(FadeValue(text));
}

int TFrmMain::StepDuringExecution() const
{
    const int id = FWaehrendAusfuehrung->checkedId();
    return id < 0 ? 0 : id;
}

void TFrmMain::ShowScenesPage()
{
    {
        const QSignalBlocker block(PageControl1);
        PageControl1->setCurrentWidget(tabSzenen);
    }
    Guarded([this] { PageControl1Change(); });
}

// ---- destruction ----

TFrmMain::~TFrmMain()
{
    // Done here, while the pages that modules docked still exist.
    AppClosing = true;
    SetFloatingWindowOrigin({});
    try {
        SaveFormPosition(this);
        WriteOptions();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PV_ORLISK: %s\n", ExceptionMessage(e).toLocal8Bit().constData());
    }
    if (ModuleMain)
        ModuleMain->SetFormLink(nullptr);
    delete ModuleMain;
}

QPoint TFrmMain::FloatingWindowOrigin() const
{
    // The left edge of the window and the bottom of the page tabs on the screen;
    // before the window is laid out, where its menu bar and tabs will end.
    const QWidget* tabs = PageControl1->tabBar();
    int bottom = 0;
    if (tabs->isVisible() && tabs->height() > 0)
        bottom = tabs->mapToGlobal(QPoint(0, tabs->height())).y();
    else
        bottom = geometry().top() + (menuWidget() ? menuWidget()->sizeHint().height() : 0) + tabs->sizeHint().height();
    return QPoint(frameGeometry().left(), bottom);
}

// ---- caption ----

void TFrmMain::SetProjectFileName(const QString& fileName)
{
    ::SetProjectFileName(fileName);   // the caption follows through the signal
}

void TFrmMain::UpdateCaption(const QString& fileName)
{
    setWindowTitle(QString::fromUtf8(MainCaption) + QStringLiteral("   ") + fileName);
}

// ---- first showing ----

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
    // Each step on its own: a show or patch file that cannot be read is logged,
    // and the clock starts all the same.
    // Until a show is opened, the show is a new one: a signal writes no file for
    // it while nobody changes it.
    Guarded([] { RememberNewShow(); });
    Guarded([this] {
        const QString last = SettingsIni->ReadString(Section, QStringLiteral("LetzteProjektDatei"), QString());
        if (cbLastFile->isChecked() && !last.isEmpty() && QFileInfo(last).isFile())
            OpenProject(last);
    });
    Guarded([this] {
        const QString last = SettingsIni->ReadString(Section, QStringLiteral("LetztePatchDatei"), QString());
        TModuleAbstract* patch = ConsoleLink().PatchModule();
        if (patch && cbLastPatch->isChecked() && !last.isEmpty() && QFileInfo(last).isFile())
            patch->OpenDocument(last);
    });
    Guarded([] {
        ModuleMain->StartClock();
        std::fprintf(stderr, "PV_ORLISK: Uhr gestartet (%s)\n",
                     ModuleMain->UsesClockThread() ? "Taktgeber-Thread" : "40-ms-Timer");
    });
    Guarded([] { ConsoleLink().SortLichtpultZeilen(); });
    Guarded([this] { PageControl1Change(); });
    Guarded([] { ConsoleLink().OpenLichtpultWindow(); });
    Guarded([this] { FillHelpPage(); });
    Guarded([] { RenewNewShow(); });
}

// ---- pages ----

void TFrmMain::PageControl1Change()
{
    if (OnPageChange)
        OnPageChange(PageControl1->currentWidget());
}

// ---- help page ----

void TFrmMain::FillHelpPage()
{
    qDeleteAll(FHelpLinks);
    FHelpLinks.clear();
    const QString folder = ProgramDir + QStringLiteral("Doku/");
    // Sorted by name: the file system's own order is arbitrary here.
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.pdf")},
                                                     QDir::Files | QDir::Hidden | QDir::System,
                                                     QDir::Name | QDir::IgnoreCase);
    QPalette palette = tabHilfe->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    QFont font = tabHilfe->font();
    font.setUnderline(true);
    for (int i = 0; i < names.size(); ++i) {
        auto* link = new THelpLink(names[i], tabHilfe);
        link->setObjectName(QStringLiteral("lblHilfe%1").arg(i));
        link->setToolTip(folder + names[i]);
        link->setPalette(palette);
        link->setFont(font);
        link->setCursor(Qt::PointingHandCursor);
        link->move(20, 20 + 30 * i);
        link->adjustSize();
        link->OnClick = [this](QObject* sender) { Guarded([this, sender] { HelpLinkClick(sender); }); };
        link->show();
        FHelpLinks << link;
    }
}

void TFrmMain::HelpLinkClick(QObject* sender)
{
    const TWaitCursor wait;
    if (auto* link = dynamic_cast<THelpLink*>(sender))
        QDesktopServices::openUrl(QUrl::fromLocalFile(link->toolTip()));
}

// ---- error-log file ----

QString TFrmMain::ErrorLogFileName(const QDateTime& time)
{
    return QStringLiteral("Log_") + time.toString(QStringLiteral("yyyy_MM_dd_-_hh_mm_ss")) + QStringLiteral(".txt");
}

QString TFrmMain::SaveErrorLog(const QDateTime& now)
{
    const QString folder = ProgramDir + QStringLiteral("Fehlerlogs");
    if (!QDir().mkpath(folder))
        throw EPvError(QStringLiteral("Der Ordner \"%1\" kann nicht angelegt werden.").arg(folder));
    const QString path = folder + QStringLiteral("/") + ErrorLogFileName(now);
    const QString text = memFehlerLog->toPlainText();
    WriteTextFileAtomic(path, text.isEmpty() ? QStringList() : text.split(u'\n'));
    return path;
}

// ---- closing ----

void TFrmMain::ForceClose()
{
    FForceClose = true;
    SetPrompts(nullptr);
    // A dialog waiting for an answer returns as cancelled; the close runs once
    // its event loop has unwound.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isModal())
            w->close();
    QTimer::singleShot(0, this, [this] { close(); });
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    if (FClosed) {
        event->accept();
        return;
    }
    if (FInClose) {
        // A close that is already running (inside a save dialog) decides.
        event->ignore();
        return;
    }
    if (ShowFileBusy()) {
        // A show is being read or written: the close comes back once it is done,
        // so the show on the disk is complete and the auto-save sees the show
        // that is really loaded.
        event->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    FInClose = true;
    const bool closing = FormClose();
    FInClose = false;
    FClosed = closing;
    if (closing) {
        event->accept();
        emit closeAccepted();
    } else
        event->ignore();
}

bool TFrmMain::FormClose()
{
    // The program never ends while a show is being written.
    WaitForShowSaves();
    if (cbAutoSaveOnClosing->isChecked()) {
        // A signal may arrive while the save dialog is open: the dialog is then
        // cancelled and the show is saved unattended all the same.
        const TAutoSave saved = FForceClose ? TAutoSave::Cancelled : AutoSaveProject();
        if (FForceClose && saved != TAutoSave::Saved)
            SaveProjectUnattended();
        else if (saved == TAutoSave::Failed) {
            // The show is still only in memory: keep the window open and show why.
            AddToErrorLog(elError,
                          QStringLiteral("Das Projekt konnte nicht gespeichert werden; das Programm bleibt geöffnet."));
            PageControl1->setCurrentWidget(TabSheet1);
            pcDiverses->setCurrentWidget(tabFehlerlog);
            return false;
        }
    }
    if (cbFehlerlog->isChecked()) {
        // A log that cannot be written must not keep the program from ending.
        try {
            SaveErrorLog();
        } catch (const std::exception& e) {
            const QString message = QStringLiteral("Fehlerlog kann nicht gespeichert werden: ") + ExceptionMessage(e);
            AddToErrorLog(elError, message);
            std::fprintf(stderr, "PV_ORLISK: %s\n", message.toLocal8Bit().constData());
        }
    }
    AppClosing = true;
    return true;
}
