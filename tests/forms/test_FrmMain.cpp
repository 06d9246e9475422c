// The main window offscreen on the whole engine, through its named widgets: its
// pages, the option page and how the options reach the modules and survive a
// restart, the error-log page and file, the help page, the debug page, reopening
// the last show and patch, and closing with auto-save.

#include "FormAudit.h"
#include "TestHelpers.h"

#include "audio/uFrm_Audio.h"
#include "audio/uMod_Audio.h"
#include "console/uFrm_Master.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "cues/uFrm_EditMakro.h"
#include "cues/uFrm_MakroAssiHilfe.h"
#include "cues/uFrm_Szenen.h"
#include "cues/uFrm_Text.h"
#include "cues/uMod_Szenen.h"
#include "devices/uFrm_Server.h"
#include "devices/uFrm_VerbundeneRechner.h"
#include "framework/uComposition.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uPromptsGui.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

int CountLog(const QString& part)
{
    int n = 0;
    for (const QString& line : TErrorLog::Instance().Lines())
        n += line.contains(part) ? 1 : 0;
    return n;
}

// Every option box but cbAutoSaveOnClosing, which alone starts ticked.
const char* const OtherBoxes[] = {"cbLastFile", "cbLastPatch", "cbFehlerlog", "cbProzent", "cbLampenschonung",
                                  "cbAutoSzenenseite", "cbTextRechtsZurueck", "cbFirstNurMitStrg"};

QStringList TabTexts(const QTabWidget* pages)
{
    QStringList texts;
    for (int i = 0; i < pages->count(); ++i)
        texts << pages->tabText(i);
    return texts;
}

QStringList TabNames(const QTabWidget* pages)
{
    QStringList names;
    for (int i = 0; i < pages->count(); ++i)
        names << pages->widget(i)->objectName();
    return names;
}

// Records the documents the help page asks the desktop to open.
class TUrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Opened;
public slots:
    void open(const QUrl& url) { Opened << url; }
};

class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TErrorLog::Instance().Clear();
        AutoSpeichern = true;
    }
    void TearDown() override { Destroy(); }

    TFrmMain* Create()
    {
        qputenv("PV_PROGRAM_DIR", Dir.Path().toUtf8());
        Main = new TFrmMain;
        qunsetenv("PV_PROGRAM_DIR");
        return Main;
    }
    void Destroy()
    {
        delete Main;
        Main = nullptr;
    }
    void WriteSettings(const QByteArray& frmMainLines)
    {
        Dir.Write("PV_TESSEL.ini", "[FrmMain]\r\n" + frmMainLines);
    }

    template <typename T>
    T* W(const char* name)
    {
        T* w = Main->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QCheckBox* Box(const char* name) { return W<QCheckBox>(name); }

    TTempProgramDir Dir;
    TFrmMain* Main = nullptr;
};

TEST_F(FrmMainTest, PagesInTabOrderAndOptionsAtTheirDesignValues)
{
    Create();
    // Stored page indices and other pages' docking rely on order and names.
    EXPECT_EQ(TabTexts(Main->PageControl1),
              QStringList({"Diverses", "Lichtpult und Master", "Szenen und Master", "Kanäle", "Chaser", "Audio",
                           "Interface", "Text", "Debug"}));
    EXPECT_EQ(TabNames(Main->PageControl1),
              QStringList({"TabSheet1", "tabPult", "tabSzenen", "tabKanaele", "tabChaser", "tabAudio", "tabInterface",
                           "tabText", "tabDebug"}));
    EXPECT_EQ(TabNames(W<QTabWidget>("pcDiverses")), QStringList({"tabHilfe", "tabOptionen", "tabFehlerlog", "tabKanalvorlagen"}));
    EXPECT_EQ(TabNames(W<QTabWidget>("pcInterface")),
              QStringList({"tabPatch", "tabPLX", "tabCOM", "tabMIDI", "tabVerbundeneRechner", "tabServer"}));
    EXPECT_FALSE(Main->PageControl1->isAncestorOf(W<QWidget>("pnlMakro")));
    EXPECT_EQ(Main->windowTitle(), "Palvento Orlisk 200 -  version.dll");

    for (const char* name : OtherBoxes)
        EXPECT_FALSE(Box(name)->isChecked()) << name;
    EXPECT_TRUE(Box("cbAutoSaveOnClosing")->isChecked());
    EXPECT_TRUE(AutoSpeichern);
    EXPECT_EQ(W<QLineEdit>("edtDefaultFadeVor")->text(), "10");
    EXPECT_EQ(W<QLineEdit>("edtDefaultFadeZurueck")->text(), "10");
    EXPECT_TRUE(W<QRadioButton>("rbWaehrendAusfuehrung0")->isChecked());
    EXPECT_EQ(ModuleMain->GetStepDuringExecution(), 0);
}

// Every form in the composition table has its panel or page in the main window,
// and each stage docks the forms that exist into theirs.
TEST_F(FrmMainTest, TheCompositionRootDocksEveryFormIntoItsPanel)
{
    Create();
    QStringList forms;
    for (int i = 0; i < DockTargetCount; ++i) {
        const TDockTarget& t = DockTargets[i];
        EXPECT_NE(Main->findChild<QWidget*>(QString::fromLatin1(t.Target)), nullptr) << t.Form;
        EXPECT_FALSE(forms.contains(QString::fromLatin1(t.Form))) << t.Form;
        forms << QString::fromLatin1(t.Form);
        EXPECT_EQ(FindDockTarget(t.Form), &t);
    }
    EXPECT_EQ(FindDockTarget("TFrmNichtDa"), nullptr);

    const auto panelOf = [&](QWidget* form) { return form ? form->parentWidget() : nullptr; };
    EXPECT_EQ(panelOf(frmMaster), Main->pnlPultUnten);
    EXPECT_EQ(panelOf(AudioPage(0)), Main->tabAudio);
    // The debug page's button lists the audio panels that hold a file.
    Dir.Write("Lied.wav", "RIFF");
    ModuleMain->ExecuteLines({"A3F\"" + Dir.File("Lied.wav") + "\"N\"Lied\""}, false);
    Main->Button1->click();
    EXPECT_EQ(Main->Memo1->toPlainText(), "3 | Lied");
    EXPECT_EQ(FrmServer, nullptr);
    EXPECT_EQ(dmMenu, nullptr);

    ComposeForms(*Main, TStartupStage::MainFormCreated);
    EXPECT_EQ(panelOf(FrmServer), Main->tabServer);
    EXPECT_EQ(panelOf(FrmVerbundeneRechner), Main->tabVerbundeneRechner);
    EXPECT_EQ(Main->pcInterface->count(), 6);
    ASSERT_NE(dmMenu, nullptr);
    EXPECT_EQ(dmMenu->parent(), Main);
    ComposeForms(*Main, TStartupStage::ModulesStarted);
    // Patch window 0's panels beside the output status on the patch page; the
    // window menu now opens further patch windows and the patch menu new curves.
    EXPECT_EQ(panelOf(Main->tabPatch->findChild<QWidget*>("pnlPatchView")), Main->tabPatch);
    EXPECT_EQ(Main->tabPatch->findChildren<QLabel*>("lblDMXInit").size(), 1);
    for (const char* item : {"NeuesPatchFenster1", "NeueKennlinie1", "NeuesAudioFenster1"})
        EXPECT_TRUE(Main->findChild<QAction*>(item)->isEnabled()) << item;
}

// The options that the restart test changes, as the modules hold them.
void ExpectModulesHoldTheChangedOptions()
{
    EXPECT_TRUE(ModuleLichtpult->Prozent);
    EXPECT_TRUE(ModuleLichtpult->Lampenschonung);
    EXPECT_FALSE(AutoSpeichern);
    EXPECT_TRUE(ModuleSzenen->AutoSzenenSeite);
    EXPECT_TRUE(ModuleSzenen->TextRechtsZurueck);
    EXPECT_EQ(ModuleSzenen->DefaultFadeVor, 25);
    EXPECT_EQ(ModuleSzenen->DefaultFadeZurueck, 7);
    EXPECT_EQ(ModuleMain->GetStepDuringExecution(), 2);
}

TEST_F(FrmMainTest, OptionsReachTheModulesAndSurviveARestart)
{
    Create();
    for (const char* name : OtherBoxes)
        Box(name)->click();
    Box("cbAutoSaveOnClosing")->click();
    auto* vor = W<QLineEdit>("edtDefaultFadeVor");
    vor->clear();
    QTest::keyClicks(vor, "2x5");   // only digits get in
    auto* zurueck = W<QLineEdit>("edtDefaultFadeZurueck");
    zurueck->clear();
    QTest::keyClicks(zurueck, "7");
    W<QRadioButton>("rbWaehrendAusfuehrung2")->click();
    Main->PageControl1->setCurrentWidget(Main->tabInterface);
    W<QTabWidget>("pcDiverses")->setCurrentIndex(2);
    W<QTabWidget>("pcInterface")->setCurrentIndex(4);

    EXPECT_EQ(vor->text(), "25");
    ExpectModulesHoldTheChangedOptions();

    Destroy();
    TStringIniFile ini(Dir.File("PV_TESSEL.ini"));
    EXPECT_EQ(ini.ReadString("FrmMain", "Prozent", "?"), "1");
    EXPECT_EQ(ini.ReadString("FrmMain", "AutoSpeichern", "?"), "0");
    EXPECT_EQ(ini.ReadString("FrmMain", "DefaultFadeVor", "?"), "25");
    EXPECT_EQ(ini.ReadString("FrmMain", "WaehrendAusfuehrung", "?"), "2");
    EXPECT_EQ(ini.ReadString("FrmMain", "PI_Main", "?"), "6");
    EXPECT_EQ(ini.ReadString("FrmMain", "PI_Div", "?"), "2");
    EXPECT_EQ(ini.ReadString("FrmMain", "PI_Interface", "?"), "4");

    AutoSpeichern = true;   // a fresh process would start so
    Create();
    for (const char* name : OtherBoxes)
        EXPECT_TRUE(Box(name)->isChecked()) << name;
    EXPECT_FALSE(Box("cbAutoSaveOnClosing")->isChecked());
    EXPECT_EQ(W<QLineEdit>("edtDefaultFadeVor")->text(), "25");
    EXPECT_EQ(Main->PageControl1->currentWidget(), Main->tabInterface);
    EXPECT_EQ(W<QTabWidget>("pcDiverses")->currentIndex(), 2);
    EXPECT_EQ(W<QTabWidget>("pcInterface")->currentIndex(), 4);
    // The new modules received the stored values.
    ExpectModulesHoldTheChangedOptions();
}

TEST_F(FrmMainTest, StoredValueEqualToTheDesignValueStillReachesTheModule)
{
    // The box is ticked by design and the stored value is the same, so no change
    // is signalled; the flag must follow the box all the same.
    WriteSettings("AutoSpeichern=1\r\nDefaultFadeVor=10\r\n");
    AutoSpeichern = false;
    Create();
    EXPECT_TRUE(Box("cbAutoSaveOnClosing")->isChecked());
    EXPECT_TRUE(AutoSpeichern);
    EXPECT_EQ(ModuleSzenen->DefaultFadeVor, 10);
}

TEST_F(FrmMainTest, OutOfRangeStoredValuesFallBackToTheFirstEntry)
{
    WriteSettings("PI_Main=99\r\nPI_Div=-1\r\nPI_Interface=6\r\nWaehrendAusfuehrung=5\r\n"
                  "DefaultFadeVor=abc\r\nDefaultFadeZurueck=-3\r\n");
    Create();
    EXPECT_EQ(Main->PageControl1->currentIndex(), 0);
    EXPECT_EQ(W<QTabWidget>("pcDiverses")->currentIndex(), 0);
    EXPECT_EQ(W<QTabWidget>("pcInterface")->currentIndex(), 0);
    EXPECT_TRUE(W<QRadioButton>("rbWaehrendAusfuehrung0")->isChecked());
    EXPECT_EQ(ModuleMain->GetStepDuringExecution(), 0);
    EXPECT_EQ(ModuleSzenen->DefaultFadeVor, 0);
    EXPECT_EQ(ModuleSzenen->DefaultFadeZurueck, 0);

    // The hidden debug page is no page to restore either.
    Destroy();
    WriteSettings("PI_Main=8\r\n");
    Create();
    EXPECT_EQ(Main->PageControl1->currentIndex(), 0);
}

TEST_F(FrmMainTest, DebugPageOnlyWithDebugTxt)
{
    Create();
    EXPECT_EQ(Main->PageControl1->indexOf(Main->tabDebug), 8);
    EXPECT_FALSE(Main->PageControl1->isTabVisible(8));
    Destroy();

    Dir.Write("debug.txt", "");
    WriteSettings("PI_Main=8\r\n");
    Create();
    EXPECT_TRUE(Main->PageControl1->isTabVisible(8));
    EXPECT_EQ(Main->PageControl1->currentWidget(), Main->tabDebug);
    EXPECT_NE(Main->findChild<QPlainTextEdit*>("Memo1"), nullptr);
}

TEST_F(FrmMainTest, RestoredScenesPageIsHandledOnFirstShow)
{
    WriteSettings("PI_Main=2\r\n");
    Create();
    EXPECT_EQ(Main->PageControl1->currentWidget(), Main->tabSzenen);
    EXPECT_EQ(frmMaster->parentWidget(), Main->pnlPultUnten);   // nothing handled while restoring
    Main->show();
    EXPECT_EQ(frmMaster->parentWidget(), Main->pnlSzenenUnten);

    // The scene module brings the scenes page to the front through the window.
    Main->PageControl1->setCurrentWidget(Main->tabPult);
    EXPECT_EQ(frmMaster->parentWidget(), Main->pnlPultUnten);
    Main->PageControl1->setCurrentIndex(0);
    ModuleMain->ShowScenesPage();
    EXPECT_EQ(Main->PageControl1->currentWidget(), Main->tabSzenen);
    EXPECT_EQ(frmMaster->parentWidget(), Main->pnlSzenenUnten);
}

TEST_F(FrmMainTest, TheScenesPageRefreshesTheSceneShownOnEveryVisit)
{
    struct TPage : TScenePageLink {
        void FillSceneList() override {}
        void SelectScene(int) override {}
        void RefreshSceneForm() override { ++Refreshed; }
        void ScenesCleared() override {}
        int Refreshed = 0;
    } page;
    Create();
    Main->show();
    ModuleSzenen->SetScenePage(&page);
    const int before = page.Refreshed;
    Main->PageControl1->setCurrentWidget(Main->tabSzenen);
    Main->PageControl1->setCurrentWidget(Main->tabPult);
    ModuleMain->ShowScenesPage();
    EXPECT_EQ(page.Refreshed, before + 2);
    ModuleSzenen->SetScenePage(nullptr);
}

// The scene page sits in its panel with the one macro assistant in its macro tab;
// the assistant's audio list is the audio module's.
TEST_F(FrmMainTest, TheScenePageHoldsTheMacroAssistant)
{
    Create();
    ASSERT_TRUE(FrmSzenen && frmMakroAssiHilfe);
    EXPECT_EQ(FrmSzenen->parentWidget(), Main->pnlSzenen);
    EXPECT_EQ(frmMakroAssiHilfe->Host(), FrmSzenen->pnlAssiHilfe);
    ASSERT_TRUE(frmMakroAssiHilfe->AudioPanelLines);
    ModuleAudio->UpdateAudioFileList();
    EXPECT_EQ(frmMakroAssiHilfe->AudioPanelLines(), ModuleAudio->AudioFileList());
}

namespace {

// Makes page the one shown by every tab and stacked widget on its way up.
void BringUp(QWidget* page)
{
    for (QWidget* w = page; w && w->parentWidget(); w = w->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
        if (!stack)
            continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
            tabs->setCurrentWidget(w);
        else
            stack->setCurrentWidget(w);
    }
    QCoreApplication::processEvents();
}

// The reference lines, letter by letter, that reach past the right edge of their memo.
QStringList LinesPastTheEdge(TfrmMakroAssiHilfe& assi)
{
    QStringList past;
    for (int i = 0; i < assi.lbAuswahl->count(); ++i) {
        assi.ChooseLetter(assi.lbAuswahl->item(i)->text());
        BringUp(assi.pcHilfe->currentWidget());
        const auto* memo = assi.pcHilfe->currentWidget()->findChild<QTextEdit*>();
        const int room = memo->viewport()->width();
        for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) {
            memo->document()->documentLayout()->blockBoundingRect(b);   // lays the block out
            for (int l = 0; l < b.layout()->lineCount(); ++l) {
                const QTextLine line = b.layout()->lineAt(l);
                if (b.layout()->position().x() + line.x() + line.naturalTextWidth() > room)
                    past << memo->objectName() + QStringLiteral(": ") + b.text();
            }
        }
    }
    past.removeDuplicates();
    return past;
}

} // namespace

// The command reference wraps at the width its host gives it: the scene page's
// macro tab and the macro editor, each at its first and at its smallest size.
TEST_F(FrmMainTest, TheCommandReferenceWrapsInBothHostsAtEverySize)
{
    Create();
    Main->show();
    ASSERT_TRUE(FrmSzenen && frmMakroAssiHilfe);
    for (const QSize size : {Main->size(), Main->minimumSizeHint()}) {
        Main->resize(size);
        BringUp(FrmSzenen->pnlAssiHilfe);
        ASSERT_EQ(frmMakroAssiHilfe->Host(), FrmSzenen->pnlAssiHilfe);
        EXPECT_EQ(LinesPastTheEdge(*frmMakroAssiHilfe), QStringList())
            << "scene page at " << size.width() << "x" << size.height();
    }
    int sizes = 0;
    SetDialogRunner(QStringLiteral("frm_EditMakro"), [&](QDialog& d) {
        for (const QSize size : {d.size(), d.minimumSizeHint()}) {
            d.resize(size);
            EXPECT_EQ(LinesPastTheEdge(*frmMakroAssiHilfe), QStringList())
                << "macro editor at " << size.width() << "x" << size.height();
            ++sizes;
        }
        return int(QDialog::Rejected);
    });
    EditMacro(0, nullptr);
    SetDialogRunner(QStringLiteral("frm_EditMakro"), {});
    EXPECT_EQ(sizes, 2);
}

// The script page lives on the tab "Text" and borrows the grand-master group
// while that tab is shown; the master pages take it back.
TEST_F(FrmMainTest, TheTextPageBorrowsTheGrandMasterWhileShown)
{
    Create();
    Main->show();
    ASSERT_NE(frmText, nullptr);
    EXPECT_EQ(frmText->parentWidget(), Main->tabText);
    QWidget* grand = frmMaster->gbGrandmaster.data();
    ASSERT_NE(grand, nullptr);
    Main->PageControl1->setCurrentWidget(Main->tabText);
    EXPECT_EQ(grand->parentWidget(), frmText->GetTextFormPanel());
    EXPECT_EQ(frmMaster->parentWidget(), Main->pnlPultUnten);   // the panel itself stays
    Main->PageControl1->setCurrentWidget(Main->tabSzenen);
    EXPECT_EQ(frmMaster->parentWidget(), Main->pnlSzenenUnten);
    EXPECT_EQ(grand->parentWidget(), frmMaster->GetGrandmasterPanel());
    Main->PageControl1->setCurrentWidget(Main->tabText);
    Main->PageControl1->setCurrentWidget(Main->tabPult);
    EXPECT_EQ(grand->parentWidget(), frmMaster->GetGrandmasterPanel());

    // The first-step button asks the main window's option.
    ModuleSzenen->StoreNewScene(false);
    frmText->RichEdit1->setPlainText(QStringLiteral("{{1}}"));
    Box("cbFirstNurMitStrg")->setChecked(true);
    QTest::mouseClick(frmText->btnFirst, Qt::LeftButton);
    EXPECT_FALSE(frmText->RichEdit1->textCursor().hasSelection());
    Box("cbFirstNurMitStrg")->setChecked(false);
    QTest::mouseClick(frmText->btnFirst, Qt::LeftButton);
    EXPECT_EQ(frmText->RichEdit1->textCursor().selectedText(), "{{1}}");
}

TEST_F(FrmMainTest, ErrorLogPageShowsLoggedLines)
{
    AddToErrorLog(elInfo, "vor dem Fenster");
    Create();
    AddToErrorLog(elWarning, "Lampe 7 flackert");
    const QString text = W<QPlainTextEdit>("memFehlerLog")->toPlainText();
    EXPECT_TRUE(text.contains("vor dem Fenster"));
    EXPECT_TRUE(text.contains(QRegularExpression("W     Lampe 7 flackert$", QRegularExpression::MultilineOption)));
}

TEST_F(FrmMainTest, ErrorLogFileIsWrittenAtCloseWhenTicked)
{
    EXPECT_EQ(TFrmMain::ErrorLogFileName(QDateTime(QDate(2026, 2, 3), QTime(14, 5, 9))), "Log_2026_02_03_-_14_05_09.txt");

    Create();
    Box("cbAutoSaveOnClosing")->click();
    Main->show();
    EXPECT_TRUE(Main->close());
    EXPECT_FALSE(QFileInfo::exists(Dir.File("Fehlerlogs")));   // not ticked: no file
    Destroy();

    Create();
    Box("cbFehlerlog")->click();
    Main->show();
    AddToErrorLog(elError, "Dimmer 3 antwortet nicht");
    AppClosing = false;
    EXPECT_TRUE(Main->close());
    EXPECT_TRUE(AppClosing);
    const QStringList logs = QDir(Dir.File("Fehlerlogs")).entryList(QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(QRegularExpression("^Log_\\d{4}_\\d\\d_\\d\\d_-_\\d\\d_\\d\\d_\\d\\d\\.txt$").match(logs[0]).hasMatch()) << logs[0].toStdString();
    const QByteArray bytes = Dir.Read("Fehlerlogs/" + logs[0]);
    EXPECT_TRUE(bytes.contains("F     Dimmer 3 antwortet nicht\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), W<QPlainTextEdit>("memFehlerLog")->blockCount());
}

TEST_F(FrmMainTest, ErrorLogThatCannotBeWrittenDoesNotKeepTheWindowOpen)
{
    Dir.Write("Fehlerlogs", "ich bin eine Datei");   // the folder cannot be made
    Create();
    Box("cbFehlerlog")->click();
    Box("cbAutoSaveOnClosing")->click();
    Main->show();
    EXPECT_TRUE(Main->close());
    EXPECT_FALSE(Main->isVisible());
    EXPECT_EQ(CountLog("Fehlerlog kann nicht gespeichert werden"), 1);
}

TEST_F(FrmMainTest, HelpPageListsThePdfFilesByName)
{
    Dir.Write("Doku/b.PDF", "%PDF");
    Dir.Write("Doku/a.pdf", "%PDF");
    Dir.Write("Doku/notiz.txt", "");
    QDir().mkpath(Dir.File("Doku/ordner.pdf"));
    Create();
    Main->show();   // the help page is filled when the window is first shown

    const QList<QLabel*> links = Main->tabHilfe->findChildren<QLabel*>();
    ASSERT_EQ(links.size(), 2);
    QLabel* a = links[0]->text() == "a.pdf" ? links[0] : links[1];
    QLabel* b = a == links[0] ? links[1] : links[0];
    EXPECT_EQ(a->text(), "a.pdf");
    EXPECT_EQ(b->text(), "b.PDF");
    EXPECT_EQ(a->pos(), QPoint(20, 20));
    EXPECT_EQ(b->pos(), QPoint(20, 50));
    EXPECT_EQ(a->toolTip(), Dir.File("Doku/a.pdf"));
    EXPECT_EQ(a->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(a->font().underline());
    EXPECT_EQ(a->cursor().shape(), Qt::PointingHandCursor);

    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    QTest::mouseClick(b, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(recorder.Opened.size(), 1);
    EXPECT_EQ(recorder.Opened[0], QUrl::fromLocalFile(Dir.File("Doku/b.PDF")));
}

TEST_F(FrmMainTest, LastShowIsReopenedAndRememberedAtExit)
{
    const QString show = Dir.File("Abend.pvs");
    Create();
    Box("cbLastFile")->click();
    frmText->RichEdit1->setPlainText(QStringLiteral("Skript des Abends"));
    ASSERT_TRUE(SaveProject(show));
    EXPECT_EQ(Main->windowTitle(), "Palvento Orlisk 200 -  version.dll   " + show);
    Destroy();
    EXPECT_EQ(TStringIniFile(Dir.File("PV_TESSEL.ini")).ReadString("FrmMain", "LetzteProjektDatei", "?"), show);

    Create();
    EXPECT_TRUE(frmText->RichEdit1->document()->isEmpty());
    Main->show();
    EXPECT_EQ(ProjectFileName, show);
    EXPECT_EQ(Main->windowTitle(), "Palvento Orlisk 200 -  version.dll   " + show);
    EXPECT_EQ(frmText->RichEdit1->toPlainText(), "Skript des Abends");
}

TEST_F(FrmMainTest, MissingLastShowGivesAnEmptyShow)
{
    WriteSettings("LetzteDatei=1\r\nLetzteProjektDatei=" + Dir.File("geloescht.pvs").toUtf8() + "\r\n");
    Create();
    Main->show();
    EXPECT_TRUE(ProjectFileName.isEmpty());
    EXPECT_EQ(Main->windowTitle(), "Palvento Orlisk 200 -  version.dll");
    EXPECT_EQ(CountLog("Fehler beim Öffnen"), 0);   // skipped silently
    EXPECT_EQ(CountLog("Application-Exception"), 0);
    EXPECT_TRUE(ModuleMain->ClockStarted());
    EXPECT_TRUE(Main->tabHilfe->findChildren<QLabel*>().isEmpty());   // no help folder either
}

TEST_F(FrmMainTest, UnreadableLastPatchIsLoggedAndTheClockStillStarts)
{
    const QString patch = Dir.File("kaputt.pvp");
    Dir.Write("kaputt.pvp", "[Kennlinien]\r\nKennlinienzahl=2\r\nN_1=A\r\nK_1=00\r\nN_2=B\r\nK_2=0G\r\n");
    WriteSettings("LetztesPatch=1\r\nLetztePatchDatei=" + patch.toUtf8() + "\r\n");
    Create();
    Main->show();
    EXPECT_EQ(CountLog("Application-Exception: "), 1);
    EXPECT_TRUE(ModuleMain->ClockStarted());
    EXPECT_EQ(ModulePatch->FileName, patch);

    // Unticked, the file is left alone.
    Destroy();
    WriteSettings("LetztesPatch=0\r\nLetztePatchDatei=" + patch.toUtf8() + "\r\n");
    TErrorLog::Instance().Clear();
    Create();
    Main->show();
    EXPECT_EQ(CountLog("Application-Exception: "), 0);
    EXPECT_TRUE(ModulePatch->FileName.isEmpty());
}

TEST_F(FrmMainTest, AutoSaveAtCloseKeepsABackupOfTheShow)
{
    const QString show = Dir.File("Abend.pvs");
    Create();
    Main->show();
    ASSERT_TRUE(SaveProject(show));
    const QByteArray before = Dir.Read("Abend.pvs");
    frmText->RichEdit1->setPlainText(QStringLiteral("geändert"));
    EXPECT_TRUE(Main->close());
    EXPECT_EQ(Dir.Read("Abend.~pvs"), before);
    EXPECT_TRUE(Dir.Read("Abend.pvs").contains("ge\\'e4ndert\\par"));
}

TEST_F(FrmMainTest, ACloseDuringABackgroundSaveEndsOnlyOnceTheShowIsWritten)
{
    const QString show = Dir.File("Abend.pvs");
    Create();
    Box("cbAutoSaveOnClosing")->click();   // off: the close itself saves nothing
    Main->show();
    frmText->RichEdit1->setPlainText(QStringLiteral("geändert"));
    ASSERT_TRUE(SaveProjectInBackground(show));
    EXPECT_FALSE(Main->close());   // comes back once the show is written
    ASSERT_TRUE(WaitFor([this] { return !Main->isVisible(); }));
    EXPECT_TRUE(Dir.Read("Abend.pvs").contains("ge\\'e4ndert\\par"));
    EXPECT_EQ(ProjectFileName, show);
}

TEST_F(FrmMainTest, AutoSaveOfANewShowAsksForAFileAndACancelStillCloses)
{
    TScriptedPrompts prompts;
    prompts.FileAnswers.push_back(Dir.File("Neu.pvs"));
    Create();
    Main->show();
    EXPECT_TRUE(Main->close());
    EXPECT_TRUE(QFileInfo::exists(Dir.File("Neu.pvs")));
    Destroy();

    Create();   // no answer scripted: the dialog is cancelled
    Main->show();
    EXPECT_TRUE(Main->close());
    EXPECT_EQ(prompts.Asked.size(), 2);
}

TEST_F(FrmMainTest, FailedAutoSaveKeepsTheWindowOpenUnlessTheCloseIsForced)
{
    TScriptedPrompts prompts;
    prompts.FileAnswers.push_back(Dir.File("fehlt/Abend.pvs"));   // no such folder
    Create();
    Box("cbFehlerlog")->click();
    Main->show();
    frmText->RichEdit1->setPlainText(QStringLiteral("Notizen"));
    AppClosing = false;
    EXPECT_FALSE(Main->close());
    EXPECT_TRUE(Main->isVisible());
    EXPECT_FALSE(AppClosing);
    EXPECT_EQ(Main->PageControl1->currentWidget(), Main->TabSheet1);
    EXPECT_EQ(W<QTabWidget>("pcDiverses")->currentWidget(), Main->tabFehlerlog);
    EXPECT_EQ(CountLog("Fehler beim Speichern: "), 1);
    EXPECT_FALSE(QFileInfo::exists(Dir.File("Fehlerlogs")));   // nothing of the closing ran

    // A signal asks nothing: the show without a file goes to a new file in the
    // show folder, named in the log, and the program ends.
    bool closed = false;
    QObject::connect(Main, &TFrmMain::closeAccepted, [&closed] { closed = true; });
    Main->ForceClose();
    ASSERT_TRUE(WaitFor([this] { return !Main->isVisible(); }));
    EXPECT_TRUE(closed);
    EXPECT_TRUE(AppClosing);
    EXPECT_EQ(prompts.Asked.size(), 1);
    const QStringList rescued = QDir(Dir.File("Projekte")).entryList({"Projekt_*.pvs"}, QDir::Files);
    ASSERT_EQ(rescued.size(), 1);
    EXPECT_EQ(ProjectFileName, Dir.File("Projekte/" + rescued[0]));
    EXPECT_EQ(
        CountLog("Projekt beim Beenden gesichert in \"" + ProjectFileName + "\": das Projekt hatte noch keine Datei"),
        1);
    EXPECT_EQ(QDir(Dir.File("Fehlerlogs")).entryList(QDir::Files).size(), 1);   // the log was written after it
}

TEST_F(FrmMainTest, ASignalCancelsAnOpenDialogAndEndsWithoutAsking)
{
    // A show that is still new holds nothing to keep: no file for it.
    const struct {
        const char* Name;
        bool Changed;
        bool ThenNew;   // "Neu" after the change
    } cases[] = {{"changed", true, false}, {"untouched", false, false}, {"changed, then Neu", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QDir(Dir.File("Projekte")).removeRecursively();
        Create();
        Main->show();
        if (c.Changed)
            frmText->RichEdit1->setPlainText(QStringLiteral("Notizen"));
        if (c.ThenNew) {
            TScriptedPrompts prompts;
            prompts.YesNoAnswers = {true};
            AutoSpeichern = false;
            ASSERT_TRUE(NewProjectFile());
            AutoSpeichern = true;
        }
        const bool changed = c.Changed && !c.ThenNew;
        auto* dialog = new QDialog(Main);   // a question nobody will answer
        QTimer::singleShot(0, Main, [this] { Main->ForceClose(); });
        EXPECT_EQ(dialog->exec(), QDialog::Rejected);   // cancelled by the signal
        ASSERT_TRUE(WaitFor([this] { return !Main->isVisible(); }));
        EXPECT_EQ(QDir(Dir.File("Projekte")).entryList({"Projekt_*.pvs"}, QDir::Files).size(), changed ? 1 : 0);
        Destroy();
    }
}

TEST_F(FrmMainTest, ALastShowThatFailsToOpenIsNeitherNamedNorWrittenAtASignal)
{
    for (const TDamagedShow& c : DamagedShows()) {
        SCOPED_TRACE(c.Name);
        QDir(Dir.File("Projekte")).removeRecursively();
        TErrorLog::Instance().Clear();
        Dir.Write(c.Name, c.Bytes);
        WriteSettings("LetzteDatei=1\r\nLetzteProjektDatei=" + Dir.File(c.Name).toUtf8() + "\r\n");
        Create();
        ModuleMain->Modules.emplace_back(std::make_unique<TFailingModule>());
        Main->show();
        EXPECT_EQ(CountLog("Fehler beim Öffnen: "), 1);
        EXPECT_TRUE(ProjectFileName.isEmpty());
        EXPECT_EQ(Main->windowTitle().trimmed(), "Palvento Orlisk 200 -  version.dll");   // no file named

        Main->ForceClose();
        ASSERT_TRUE(WaitFor([this] { return !Main->isVisible(); }));
        Destroy();
        EXPECT_EQ(Dir.Read(c.Name), c.Bytes);
        EXPECT_FALSE(QFileInfo::exists(Dir.File(c.Name).replace(".pvs", ".~pvs")));
        // Only the mixture holds something to keep.
        EXPECT_EQ(QDir(Dir.File("Projekte")).entryList({"Projekt_*.pvs"}, QDir::Files).size(), c.Mixture ? 1 : 0);
    }
}

// Every text editor of the program: a paste or drop from a clipboard without
// data (an empty clipboard on X11) is refused instead of ending the program.
TEST_F(FrmMainTest, EveryTextEditorTakesAPasteFromAnEmptyClipboard)
{
    Create();
    ComposeForms(*Main, TStartupStage::MainFormCreated);
    ComposeForms(*Main, TStartupStage::ModulesStarted);
    Main->show();
    Tfrm_EditMakro macroEditor(Main);
    QGuiApplication::clipboard()->setMimeData(new QMimeData);

    QList<QWidget*> editors;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (QTextEdit* e : top->findChildren<QTextEdit*>())
            editors << e;
        for (QPlainTextEdit* e : top->findChildren<QPlainTextEdit*>())
            editors << e;
    }
    EXPECT_GE(editors.size(), 10);
    for (QWidget* w : editors) {
        SCOPED_TRACE(w->objectName().toStdString());
        auto* rich = qobject_cast<QTextEdit*>(w);
        auto* plain = qobject_cast<QPlainTextEdit*>(w);
        EXPECT_TRUE(dynamic_cast<TTextEdit*>(w) || dynamic_cast<TPlainTextEdit*>(w)) << "not guarded";
        if (rich) {
            rich->setReadOnly(false);
            rich->paste();
        } else {
            plain->setReadOnly(false);
            plain->paste();
        }
        QMimeData empty;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &empty, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(rich ? rich->viewport() : plain->viewport(), &drop);
    }
    // Text still pastes.
    QGuiApplication::clipboard()->setText(QStringLiteral("K1P255"));
    frmText->RichEdit1->clear();
    frmText->RichEdit1->paste();
    EXPECT_EQ(frmText->RichEdit1->toPlainText(), "K1P255");
}

// A paste of megabytes: the boxes that hold command lines (the input scripts,
// the scene macro, the macro editor) take no more than a command line can be and
// log the cut; every other box that can be edited takes it all, piece by piece.
TEST_F(FrmMainTest, ABoxForCommandLinesCutsAPasteAndEveryOtherTakesItInPieces)
{
    Create();
    ComposeForms(*Main, TStartupStage::MainFormCreated);
    ComposeForms(*Main, TStartupStage::ModulesStarted);
    Main->show();
    Tfrm_EditMakro macroEditor(Main);
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines << QStringLiteral("K%1P255 ").arg(i) + QString(60, u'x');
    const QString text = lines.join(u'\n');
    ASSERT_GT(text.size(), MaxCommandLineLength);
    QGuiApplication::clipboard()->setText(text);

    QStringList limited;
    QStringList sliced;
    {
        // The main window holds every page and the macro editor.
        QWidget* top = Main;
        for (TTextEdit* e : top->findChildren<TTextEdit*>()) {
            if (e->isReadOnly())
                continue;
            SCOPED_TRACE(e->objectName().toStdString());
            e->clear();
            e->paste();
            EXPECT_TRUE(e->isReadOnly());
            ASSERT_TRUE(WaitFor([e] { return !InsertingSlices(e); }));
            EXPECT_FALSE(e->isReadOnly());
            EXPECT_EQ(e->toPlainText(), text);
            sliced << e->objectName();
        }
        for (TPlainTextEdit* e : top->findChildren<TPlainTextEdit*>()) {
            if (e->isReadOnly())
                continue;
            SCOPED_TRACE(e->objectName().toStdString());
            TErrorLog::Instance().Clear();
            e->clear();
            e->paste();
            if (e->MaxLength() > 0) {
                EXPECT_EQ(e->toPlainText(), text.left(e->MaxLength()));
                EXPECT_EQ(ErrorLogCount(QStringLiteral("Einfügen in ") + e->objectName()), 1);
                limited << e->objectName() + u'=' + QString::number(e->MaxLength());
                continue;
            }
            ASSERT_TRUE(WaitFor([e] { return !InsertingSlices(e); }));
            EXPECT_EQ(e->toPlainText(), text);
            sliced << e->objectName();
        }
    }
    limited.sort();
    const QString line = QStringLiteral("=") + QString::number(MaxCommandLineLength);
    EXPECT_EQ(limited, (QStringList{"memInput1" + line, "memInput2" + line, "memInput3" + line, "memInput4" + line,
                                    "memInput5" + line, "memInput6" + line, "memInput7" + line, "memInput8" + line,
                                    "memMakro=250", "memMakro" + line}));
    EXPECT_TRUE(sliced.contains("RichEdit1"));
    EXPECT_TRUE(sliced.contains("memDebug"));
}

// Qt's standard dialogs as the prompts build them speak German.
TEST(StandardDialogs, SpeakGerman)
{
    TFileDialogOptions options;
    options.Filter = QStringLiteral("Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)");
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(NewFileDialog(nullptr, options, QString(), false, false));
    dialogs.push_back(NewFileDialog(nullptr, options, QString(), true, false));
    dialogs.push_back(NewColorDialog(nullptr, 255));
    for (const auto& d : dialogs) {
        d->show();
        for (const QString& text : DialogTexts(d.get()))
            for (const QString& word : EnglishDialogWords())
                EXPECT_FALSE(text.contains(word)) << text.toStdString() << " in " << d->metaObject()->className();
        d->hide();
    }
}

// The file dialog widens its detail columns, and itself, once the folder is
// read: every name, size, type and date reads whole, with no column scrolled away.
TEST(StandardDialogs, FileColumnsReadWhole)
{
    TTempProgramDir dir;
    dir.Write("Projekte/Hamlet_Premiere_Generalprobe_Zweiter_Akt.pvs", QByteArray(528000, 'x'));
    dir.Write("Projekte/Kurz.pvs", "x");
    ASSERT_TRUE(QDir(dir.File("Projekte")).mkdir("Verzeichnis"));
    TFileDialogOptions options;
    options.Filter = QStringLiteral("Alle Dateien (*)");
    options.InitialDir = dir.File("Projekte");
    const std::unique_ptr<QFileDialog> dlg = NewFileDialog(nullptr, options, QString(), false, false);
    dlg->setViewMode(QFileDialog::Detail);
    dlg->show();
    auto* view = dlg->findChild<QTreeView*>();
    ASSERT_NE(view, nullptr);
    QHeaderView* header = view->header();
    auto fits = [&] {
        int sum = 0;
        for (int i = 0; i < header->count(); ++i) {
            if (static_cast<QAbstractItemView*>(view)->sizeHintForColumn(i) > header->sectionSize(i))
                return false;
            sum += header->sectionSize(i);
        }
        return view->model()->rowCount(view->rootIndex()) == 3 && sum <= view->viewport()->width();
    };
    EXPECT_TRUE(WaitFor(fits));
    for (int i = 0; i < header->count(); ++i)
        EXPECT_GE(header->sectionSize(i), static_cast<QAbstractItemView*>(view)->sizeHintForColumn(i)) << i;
}

} // namespace

#include "test_FrmMain.moc"
