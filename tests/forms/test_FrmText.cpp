// The script page offscreen on the whole engine, driven through its named widgets:
// the stepping rules with real scenes sampled in the DMX frame, the T command with
// its remote flag and the events a coupled computer receives over real TCP,
// renumbering, find and replace, printing into a real PDF file, import and export,
// and the script through the real show container.

#include "TestHelpers.h"

#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "console/uMod_Patch.h"
#include "cues/RichEditAttributes.h"
#include "cues/uFrm_Text.h"
#include "cues/uMod_Szenen.h"
#include "devices/uMod_Interface.h"
#include "devices/uPeers.h"
#include "devices/uServer.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

class FrmTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        TErrorLog::Instance().Clear();
        Page = std::make_unique<TfrmText>();
    }
    void TearDown() override { Page.reset(); }

    static void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            ModuleMain->ClockTick();
    }
    static int State() { return ModuleMaster->GetMasterState(); }
    static int Slot(int dmx) { return ModulePatch->DmxOutput[static_cast<std::size_t>(dmx - 1)]; }
    // Runs ticks until no crossfade runs.
    static bool FadeEnds()
    {
        const auto running = [] { return State() != msKeinFade && State() != msEnde; };
        for (int i = 0; i < 1000 && running(); ++i)
            Tick();
        return !running();
    }
    // A scene of channel 1 at level, fade times in tenths of a second.
    static TSzene& Store(int level, int fad = 10, int fap = 5, const QString& name = QString())
    {
        TKanal& k = ModuleLichtpult->GetKanal(1);
        k.SetPegel(level);
        TSzene& s = ModuleSzenen->StoreNewScene(false);
        k.SetPegel(0);
        s.FAD = fad;
        s.FAP = fap;
        s.NAME = name;
        return s;
    }
    static void Remote(const QString& line)
    {
        QStringList tokens;
        TokenizeCommand(line + u'E', tokens);
        ModuleMain->ExecuteCommand(tokens, 1);
    }
    static void Run(const QString& line) { ModuleMain->ExecuteLines({line}, false); }

    void SetText(const QString& text) { Page->RichEdit1->setPlainText(text); }
    QString Selected() const { return Page->RichEdit1->textCursor().selectedText(); }
    void Caret(int pos)
    {
        QTextCursor c = Page->RichEdit1->textCursor();
        c.setPosition(pos);
        Page->RichEdit1->setTextCursor(c);
    }
    void Click(QWidget* w, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {})
    {
        QTest::mouseClick(w, b, m);
    }
    // Scenes 1 (level 100) and 2 (200) executed from the markers {{1}} {{2}}.
    void TwoStepsExecuted()
    {
        Store(100);
        Store(200);
        SetText("{{1}} {{2}}");
        Run("T0S1E1");
        ASSERT_TRUE(FadeEnds());
        Run("T0E1");
        ASSERT_TRUE(FadeEnds());
        ASSERT_EQ(Selected(), "{{2}}");
        ASSERT_EQ(Slot(1), 200);
        ASSERT_EQ(ModuleSzenen->Protokoll.size(), 2);
    }
    QString Next() const { return Page->lblNextNummer->text() + u'|' + Page->lblNextName->text(); }
    QString Prior() const { return Page->lblPriorNummer->text() + u'|' + Page->lblPriorName->text(); }

    TEngine Engine;
    std::unique_ptr<TfrmText> Page;
};

// A coupled computer listening on 127.0.0.1; both coupling boxes checked.
class TCoupled {
public:
    TCoupled()
    {
        TPeerList& peers = ModuleInterface->Peers();
        peers.SetPeer(1, "Bühne", "127.0.0.1", Peer.Port(), "K555");
        peers.Connect(1);
        Connected = WaitFor([&] { return peers.IsConnected(1); });
        ModuleInterface->Server().Ausfuehren = true;
        ModuleInterface->Server().FindSchritt = true;
    }
    // What arrived since the last call, once an end event of its own, sent last, has arrived.
    QByteArray Received()
    {
        const QByteArray end = "K555T0F" + QByteArray::number(9000 + ++FCalls);
        ModuleInterface->ForwardToCoupledSystems(QString::fromLatin1(end.mid(4)));
        WaitFor([&] { return Peer.All().endsWith(end); });
        const QByteArray all = Peer.All();
        const QByteArray news = all.mid(FSeen, all.size() - FSeen - end.size());
        FSeen = all.size();
        return news;
    }
    TListener Peer;
    qsizetype FSeen = 0;
    int FCalls = 0;
    bool Connected = false;
};

} // namespace

TEST_F(FrmTextTest, StepsFromTheTextFadeTheFrameAndMoveOnAtTheFadeEnd)
{
    Store(200, 10, 5, "Vorhang");
    Store(80, 10, 5, "Dunkel");
    Store(150, 10, 5, "Licht");
    SetText("{{1}} Vorhang auf\n{{2}} Szene zwei\n{{ 3 }} Ende");
    EXPECT_FALSE(Page->btnGo->isEnabled());
    EXPECT_TRUE(Page->cbAutomatischWeiter->isChecked());

    // The first marker starts at the text's first character.
    Caret(20);
    Click(Page->btnFirst);
    EXPECT_EQ(Selected(), "{{1}}");
    EXPECT_EQ(Next(), "1|Vorhang");
    ASSERT_TRUE(Page->btnGo->isEnabled());

    // Go (left press): a forward fade to scene 1; at its end the following marker is
    // selected, not executed.
    QTest::mouseClick(Page->btnGo, Qt::LeftButton);
    EXPECT_EQ(State(), msStart);
    Tick(12);
    EXPECT_GT(Slot(1), 0);
    EXPECT_LT(Slot(1), 200);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 200);
    EXPECT_EQ(Selected(), "{{2}}");
    EXPECT_EQ(Next(), "2|Dunkel");
    EXPECT_EQ(ModuleSzenen->Protokoll.size(), 1);
    EXPECT_FALSE(Page->btnGoPrior->isEnabled());   // one log entry: no prior step

    QTest::mouseClick(Page->btnGo, Qt::LeftButton);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 80);
    EXPECT_EQ(Selected(), "{{ 3 }}");   // next trims the number
    EXPECT_EQ(Next(), "3|Licht");
    EXPECT_EQ(Prior(), "1|Vorhang");

    // The back step: the step undone ({{2}}) is the next step again, the fade runs
    // back to scene 1, and its end does not move on.
    QTest::mouseClick(Page->btnGoPrior, Qt::LeftButton);
    EXPECT_EQ(State(), msStartRueckwaerts);
    EXPECT_EQ(Selected(), "{{2}}");
    EXPECT_EQ(Next(), "2|Dunkel");
    EXPECT_EQ(ModuleSzenen->Protokoll.size(), 1);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 200);
    EXPECT_EQ(Selected(), "{{2}}");
    EXPECT_TRUE(Page->BackStepDone);

    // The next forward execution enables the automatic next again.
    QTest::mouseClick(Page->btnGo, Qt::LeftButton);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 80);
    EXPECT_EQ(Selected(), "{{ 3 }}");

    // After the last marker: logged, the selection and the step stay.
    Click(Page->btnNext);
    EXPECT_EQ(Selected(), "{{ 3 }}");
    EXPECT_EQ(ErrorLogCount("Keine weitere Szene gefunden."), 1);
    Click(Page->btnPrior);
    EXPECT_EQ(Selected(), "{{2}}");

    // With "automatisch weiter" off the fade end leaves the selection.
    Page->cbAutomatischWeiter->setChecked(false);
    QTest::mouseClick(Page->btnGo, Qt::LeftButton);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Selected(), "{{2}}");
}

TEST_F(FrmTextTest, MarkersThatNameNoSceneClearTheStepAndReportNothing)
{
    TCoupled coupled;
    ASSERT_TRUE(coupled.Connected);
    // Scene numbers 1, 2, 5: {{3}} names the third scene, number 5.
    Store(10).SNR = 1;
    Store(20).SNR = 2;
    Store(50, 10, 5, "Fünf").SNR = 5;
    SetText("{{3}} {{0}} {{x}} {{99}} {{2}} offen {{4");
    struct TStep {
        const char* Selected;
        const char* Next;
        bool Go;
    };
    const TStep steps[] = {
        {"{{3}}", "5|Fünf", true}, {"{{0}}", "|", false}, {"{{x}}", "|", false},
        {"{{99}}", "|", false},    {"{{2}}", "2|", true}, {"{{", "|", false},
    };
    Click(Page->btnFirst);
    for (const TStep& s : steps) {
        EXPECT_EQ(Selected(), s.Selected);
        EXPECT_EQ(Next(), s.Next) << s.Selected;
        EXPECT_EQ(Page->btnGo->isEnabled(), s.Go) << s.Selected;
        Click(Page->btnNext);
    }
    EXPECT_EQ(coupled.Received(), "K555T0F5K555T0F2");

    // Go with no valid step does nothing.
    Page->ExecuteStep(false);
    EXPECT_EQ(State(), msKeinFade);
    EXPECT_TRUE(ModuleSzenen->Protokoll.isEmpty());
}

TEST_F(FrmTextTest, TheFirstStepButtonFollowsTheCtrlOptionAndItsMenu)
{
    Store(10);
    SetText("x {{1}}");
    bool needsCtrl = true;
    Page->FirstNeedsCtrl = [&] { return needsCtrl; };
    Click(Page->btnFirst);
    EXPECT_EQ(Selected(), "");
    Click(Page->btnFirst, Qt::RightButton, Qt::ControlModifier);
    EXPECT_EQ(Selected(), "");
    Click(Page->btnFirst, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Selected(), "{{1}}");

    Caret(0);
    needsCtrl = false;
    Page->ButtonErsterSchrittverfgbar1->trigger();
    EXPECT_FALSE(Page->btnFirst->isEnabled());
    Click(Page->btnFirst);
    EXPECT_EQ(Selected(), "");
    Page->ButtonErsterSchrittverfgbar1->trigger();
    Click(Page->btnFirst);
    EXPECT_EQ(Selected(), "{{1}}");
}

TEST_F(FrmTextTest, TheTCommandStepsAndReportsOnlyWhatWasNotRemote)
{
    TCoupled coupled;
    ASSERT_TRUE(coupled.Connected);
    Store(100);
    Store(200);
    Store(50);
    SetText("{{1}} a {{2}} b {{3}} c {{ 2 }}");

    // Remote S2 still reports the step found; remote F does not. Next starts one
    // behind the caret, so from the start it finds the second marker.
    Remote("T0S2");
    EXPECT_EQ(Selected(), "{{2}}");
    Remote("T0F3");
    EXPECT_EQ(Selected(), "{{3}}");
    EXPECT_EQ(coupled.Received(), "K555T0F2");

    // Remote E1: executed without a report, and the fade end does not move on once.
    Remote("T0F1");
    Remote("T0E1");
    EXPECT_TRUE(Page->RemoteExecuted);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 100);
    EXPECT_EQ(Selected(), "{{1}}");
    EXPECT_FALSE(Page->RemoteExecuted);
    EXPECT_EQ(coupled.Received(), "");

    // Local: S1 first, S2 next, E1 executes and reports; the fade end moves on.
    Run("T0S1S2E1");
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 200);
    EXPECT_EQ(Selected(), "{{3}}");
    EXPECT_EQ(coupled.Received(), "K555T0F1K555T0F2K555T0E1K555T0F3");

    // E2 (the back step) re-selects the exact marker {{2}} and reports it found,
    // then reports the backward execution.
    Run("T0E2");
    EXPECT_EQ(Selected(), "{{2}}");
    EXPECT_EQ(State(), msStartRueckwaerts);
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 100);
    EXPECT_EQ(coupled.Received(), "K555T0F2K555T0E2");

    // S3 prior; F of a marker written with blanks is not found.
    Run("T0S3");
    EXPECT_EQ(Selected(), "{{1}}");
    Run("T0F9");
    EXPECT_EQ(ErrorLogCount("Szene \"9\" nicht gefunden."), 1);
    EXPECT_EQ(Selected(), "{{1}}");

    for (const auto& [line, on] : {std::pair{"T0A0", false}, {"T0A1", true}, {"T0A256", false}, {"T0a257", true}}) {
        Run(line);
        EXPECT_EQ(Page->cbAutomatischWeiter->isChecked(), on) << line;
    }
    // Lines that are not T, and unknown sub-tokens, do nothing.
    for (const char* line : {"S1", "T0S4", "T0E3", "T0X1"})
        Run(line);
    EXPECT_EQ(Selected(), "{{1}}");
}

TEST_F(FrmTextTest, RightClickOnGoStepsBackOnlyWithTheOption)
{
    TwoStepsExecuted();

    QTest::mouseClick(Page->btnGo, Qt::RightButton);
    EXPECT_EQ(State(), msEnde);
    ModuleSzenen->SetTextRechtsZurueck(true);
    QTest::mouseClick(Page->btnGo, Qt::MiddleButton);
    EXPECT_EQ(State(), msEnde);
    QTest::mouseClick(Page->btnGo, Qt::RightButton);
    EXPECT_EQ(State(), msStartRueckwaerts);
    EXPECT_EQ(Selected(), "{{2}}");
    ASSERT_TRUE(FadeEnds());
    EXPECT_EQ(Slot(1), 100);
}

TEST_F(FrmTextTest, ARefusedBackStepKeepsTheLogAndTheSelection)
{
    struct TLink : TMainFormLink {
        int StepDuringExecution() const override { return 2; }   // "nie durchführen"
    } link;
    ModuleMain->SetFormLink(&link);
    TwoStepsExecuted();
    ASSERT_EQ(Page->PriorStepIndex, 0);
    Run("T0F1E1");   // a forward fade runs: a back step is refused
    ASSERT_EQ(State(), msStart);
    ASSERT_EQ(ModuleSzenen->Protokoll.size(), 3);
    Run("T0E2");
    EXPECT_EQ(ModuleSzenen->Protokoll.size(), 3);
    EXPECT_EQ(Selected(), "{{1}}");
    EXPECT_EQ(State(), msStart);
    ModuleMain->SetFormLink(nullptr);
}

TEST_F(FrmTextTest, ABackStepWithOneLogEntryDeletesNothing)
{
    Store(100);
    Store(200);
    SetText("{{1}} {{2}}");
    Run("T0S1E1");
    ASSERT_TRUE(FadeEnds());
    ASSERT_EQ(Selected(), "{{2}}");
    Page->PriorStepIndex = 1;   // as a stale prior step would have it
    Run("T0E2");
    EXPECT_EQ(ModuleSzenen->Protokoll.size(), 1);
    EXPECT_EQ(Selected(), "{{2}}");
    EXPECT_EQ(State(), msStartRueckwaerts);
}

TEST_F(FrmTextTest, InsertingASceneWritesItsRedMarkerAtTheCaret)
{
    for (int i = 0; i < 4; ++i)
        Store(10 * i);
    SetText("Anfang Ende");
    QTextCursor c = Page->RichEdit1->textCursor();
    c.setPosition(6);
    c.setPosition(11, QTextCursor::KeepAnchor);   // a selection collapses to its start
    Page->RichEdit1->setTextCursor(c);
    ModuleLichtpult->GetKanal(1).SetPegel(77);
    Page->EingestellteSzene1->trigger();
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "Anfang {{5}}  Ende");
    EXPECT_EQ(Selected(), "{{5}}");
    QTextCursor at(Page->RichEdit1->document());
    at.setPosition(9);
    EXPECT_EQ(at.charFormat().foreground().color(), QColor(255, 0, 0));
    ASSERT_EQ(ModuleSzenen->SceneCount(), 5);
    EXPECT_EQ(ModuleSzenen->GetScene(4).SNR, 5);
    EXPECT_EQ(ModuleSzenen->GetScene(4).Versionen.front().Levels[1], 77);
}

TEST_F(FrmTextTest, RenumberingFollowsTheTextAndRefusesScenesNamedTwice)
{
    TScriptedPrompts prompts;
    Store(10, 10, 5, "A");
    Store(20, 10, 5, "B");
    Store(30, 10, 5, "C");

    // Not confirmed: nothing.
    SetText("{{3}} x {{1}}");
    Page->SzenenNeuNummerieren1->trigger();
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "{{3}} x {{1}}");

    for (const char* text : {"{{3}} {{3}}", "{{3}} {{03}}"}) {
        prompts.Asked.clear();
        prompts.YesNoAnswers = {true};
        SetText(QString::fromUtf8(text));
        Page->SzenenNeuNummerieren1->trigger();
        EXPECT_EQ(Page->RichEdit1->toPlainText(), text);
        ASSERT_EQ(prompts.Asked.size(), 2) << text;
        EXPECT_EQ(prompts.Asked.at(1), "Im Text gibt es doppelte Szenen, Vorgang abgebrochen\n3") << text;
        EXPECT_EQ(ModuleSzenen->GetScene(0).NAME, "A");
    }

    // {{3}} then {{1}}: C gets 1, A gets 2, B (named by no marker) the next number.
    prompts.Asked.clear();
    prompts.YesNoAnswers = {true};
    SetText("{{3}} x {{1}} {{x}}");
    Page->SzenenNeuNummerieren1->trigger();
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "{{1}} x {{2}} {{x}}");
    QStringList order;
    for (const auto& s : ModuleSzenen->Szenen)
        order << QStringLiteral("%1:%2").arg(s->NAME).arg(s->SNR);
    EXPECT_EQ(order, QStringList({"C:1", "A:2", "B:3"}));
    ASSERT_EQ(prompts.Asked.size(), 2);
    EXPECT_EQ(prompts.Asked.at(1), "Neuummerierung der Szenen erfolgreich\n\nBitte speichern Sie Ihr Projekt unter "
                                   "einem neuen Dateinamen\nund starten Palvento neu.");
}

// Every marker recalls after the renumbering the scene it recalled before:
// scenes no marker names follow the renumbered ones, markers that name no scene
// stay as they are. Go on each marker in turn, sampled in the DMX frame.
TEST_F(FrmTextTest, RenumberingKeepsEveryMarkerOnItsScene)
{
    TScriptedPrompts prompts;
    // Slot 1 after Go on each marker in turn; -1 where Go is disabled.
    const auto recallEach = [this](int markers) {
        std::vector<int> levels;
        Run("T0A0");
        for (int k = 0; k < markers; ++k) {
            Run(k == 0 ? "T0S1" : "T0S2");
            if (!Page->btnGo->isEnabled()) {
                levels.push_back(-1);
                continue;
            }
            Click(Page->btnGo);
            EXPECT_TRUE(FadeEnds());
            levels.push_back(Slot(1));
        }
        return levels;
    };
    const struct {
        int Scenes;   // levels 10, 20, 30, ...
        const char* Text;
        const char* Renumbered;
        std::vector<int> Levels;
    } cases[] = {
        {3, "{{3}} x {{2}} y", "{{1}} x {{2}} y", {30, 20}},
        {1, "{{99}} a {{1}} b", "{{99}} a {{1}} b", {-1, 10}},
        {3, "{{2}} {{0}} {{x}} {{ 3 }} {{4}}", "{{1}} {{0}} {{x}} {{2}} {{4}}", {20, -1, -1, 30, -1}},
        {3, "{{3}} {{1}} {{2}}", "{{1}} {{2}} {{3}}", {30, 10, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        ModuleMain->NewProject();
        for (int i = 1; i <= c.Scenes; ++i)
            Store(i * 10, 1, 1);
        SetText(QString::fromUtf8(c.Text));
        ASSERT_EQ(recallEach(int(c.Levels.size())), c.Levels);
        prompts.Asked.clear();
        prompts.YesNoAnswers = {true};
        Page->SzenenNeuNummerieren1->trigger();
        ASSERT_EQ(prompts.Asked.size(), 2);
        EXPECT_TRUE(prompts.Asked.at(1).startsWith("Neuummerierung der Szenen erfolgreich"));
        EXPECT_EQ(Page->RichEdit1->toPlainText(), QString::fromUtf8(c.Renumbered));
        EXPECT_EQ(recallEach(int(c.Levels.size())), c.Levels);
        for (int i = 0; i < c.Scenes; ++i)
            EXPECT_EQ(ModuleSzenen->GetScene(i).SNR, i + 1);
    }
}

TEST_F(FrmTextTest, FindAndReplaceThroughTheirDialogs)
{
    TScriptedPrompts prompts;
    SetText("Vorhang auf, Vorhang zu");
    Caret(0);
    TFindDialog* find = Page->FindDialog1;
    find->edtFind->setText("vorhang");
    Click(find->btnFindNext);   // the text at the caret is found
    EXPECT_EQ(Page->RichEdit1->textCursor().selectionStart(), 0);
    Click(find->btnFindNext);
    EXPECT_EQ(Page->RichEdit1->textCursor().selectionStart(), 13);
    Click(find->btnFindNext);
    EXPECT_EQ(prompts.Asked, QStringList({"Text nicht gefunden"}));
    find->cbMatchCase->setChecked(true);
    Caret(0);
    Click(find->btnFindNext);
    EXPECT_EQ(prompts.Asked.size(), 2);

    // Replace replaces whatever is selected.
    TFindDialog* replace = Page->ReplaceDialog1;
    QTextCursor c = Page->RichEdit1->textCursor();
    c.setPosition(8);
    c.setPosition(11, QTextCursor::KeepAnchor);
    Page->RichEdit1->setTextCursor(c);
    replace->edtReplace->setText("runter");
    Click(replace->btnReplace);
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "Vorhang runter, Vorhang zu");

    // Replace all with a replacement that contains what it replaces: it ends.
    // The question is answered with OK or Abbrechen (a Yes does not count).
    prompts.Asked.clear();
    prompts.YesNoAnswers = {true};
    prompts.OkCancelAnswers = {false, true};
    replace->edtFind->setText("Vorhang");
    replace->edtReplace->setText("Vorhang Vorhang");
    replace->show();
    Click(replace->btnReplaceAll);
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "Vorhang runter, Vorhang zu");
    EXPECT_TRUE(replace->isVisible());
    Click(replace->btnReplaceAll);
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "Vorhang Vorhang runter, Vorhang Vorhang zu");
    EXPECT_FALSE(replace->isVisible());
    EXPECT_EQ(prompts.Asked.at(0), "Alle Vorkommen von \"Vorhang\" durch \"Vorhang Vorhang\" ersetzen?");

    // Whole words only.
    prompts.OkCancelAnswers = {true};
    SetText("ab abab ab");
    EXPECT_EQ(Page->ReplaceAll("ab", "", false, true), 2);
    EXPECT_EQ(Page->RichEdit1->toPlainText(), " abab ");
}

TEST_F(FrmTextTest, PrintingWritesARealPdfWithTheJobTitle)
{
    TScriptedPrompts prompts;
    SetText("{{1}} Vorhang auf\nErster Akt");
    const QString pdf = Engine.Dir.File("Ausdruck.pdf");
    ASSERT_TRUE(Page->Print(pdf));
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_GT(bytes.size(), 500);
    // The title in the document's information, as UTF-16 big-endian text.
    QByteArray title("\xFE\xFF", 2);
    for (QChar ch : QString::fromUtf8(PrintJobTitle))
        title += char(ch.unicode() >> 8), title += char(ch.unicode() & 0xFF);
    EXPECT_TRUE(bytes.contains(title) || bytes.contains(PrintJobTitle));

    // Through the menu: without a printer the PDF file is asked for; cancelled, nothing.
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    Page->Drucken1->trigger();
    EXPECT_EQ(prompts.Asked.size(), 1);
    prompts.FileAnswers = {Engine.Dir.File("Menü.pdf")};
    Page->Drucken1->trigger();
    EXPECT_TRUE(QFile::exists(Engine.Dir.File("Menü.pdf")));
}

TEST_F(FrmTextTest, ImportExportAndBackgroundColour)
{
    TScriptedPrompts prompts;
    Engine.Dir.Write("Skript.txt", "{{1}} Gr\xFC\xDF" "e\r\nZeile 2\r\n");
    prompts.FileAnswers = {Engine.Dir.File("Skript.txt")};
    Page->TextImportieren1->trigger();
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "{{1}} Grüße\nZeile 2");

    prompts.FileAnswers = {Engine.Dir.File("Skript.rtf")};
    Page->TextExportieren1->trigger();
    const QByteArray rtf = Engine.Dir.Read("Skript.rtf");
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    EXPECT_TRUE(rtf.contains("Gr\\'fc\\'dfe"));

    Page->ClearText();
    prompts.FileAnswers = {Engine.Dir.File("Skript.rtf")};
    Page->TextImportieren1->trigger();
    EXPECT_EQ(Page->RichEdit1->toPlainText(), "{{1}} Grüße\nZeile 2");
    EXPECT_EQ(Page->SaveText(), rtf);

    prompts.ColorAnswers = {0x0000FFFF};   // yellow as $00BBGGRR
    Page->Hintergrundfarbe1->trigger();
    EXPECT_EQ(Page->RichEdit1->palette().color(QPalette::Base), QColor(255, 255, 0));
    EXPECT_EQ(ErrorLogCount(""), 0);
}

TEST_F(FrmTextTest, TheScriptSurvivesTheShowFileByteForByte)
{
    // As the Windows control writes it: bullets through \pn, a trailing NUL.
    const QByteArray legacy =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
        "{\\f1\\fnil\\fcharset2 Symbol;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "\\viewkind4\\uc1\\pard\\cf1\\b\\f0\\fs24 \\{\\{1\\}\\}\\cf0\\b0  Vorhang auf\\par\r\n"
        "{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-200\\li200 "
        "Gr\\'fc\\'dfe\\par\r\n\\pard \\{\\{2\\}\\} Ende\\par\r\n}\r\n";
    const QByteArray withNul = legacy + QByteArray(1, '\0');
    const QString ini = QStringLiteral("\r\n[Kanäle]\r\n");
    // A load puts a new document into the editor.
    const auto doc = [this] { return Page->RichEdit1->document(); };
    // Before the clock runs a show is read where it is opened; with the clock
    // running the script is converted on the reading thread. Both give the same.
    QByteArray first;
    for (const bool clock : {false, true}) {
        SCOPED_TRACE(clock ? "clock running" : "no clock");
        if (clock)
            ModuleMain->StartClock();
        TErrorLog::Instance().Clear();
        Engine.Dir.Write("Abend.pvs", HandMadeShow(ini, withNul));
        ASSERT_TRUE(OpenProject(Engine.Dir.File("Abend.pvs")));
        EXPECT_EQ(doc()->thread(), Page->thread());
        EXPECT_EQ(doc()->blockCount(), 3);
        EXPECT_EQ(doc()->toPlainText(), "{{1}} Vorhang auf\nGrüße\n{{2}} Ende");
        EXPECT_EQ(ErrorLogCount("RTF"), 0);
        EXPECT_FALSE(doc()->isModified());
        // The loaded script is where editing starts: an undo cannot empty it.
        EXPECT_FALSE(doc()->isUndoAvailable());
        Page->RichEdit1->undo();
        EXPECT_EQ(doc()->toPlainText(), "{{1}} Vorhang auf\nGrüße\n{{2}} Ende");

        // Save, open, save: the second part is the same bytes, the paragraphs stay three.
        for (int cycle = 0; cycle < 3; ++cycle) {
            ASSERT_TRUE(SaveProject(Engine.Dir.File("Abend.pvs")));
            qsizetype consumed = 0;
            const QByteArray file = Engine.Dir.Read("Abend.pvs");
            DecodeShowString(file, consumed);
            const QByteArray tail = file.mid(consumed);
            if (first.isEmpty())
                first = tail;
            EXPECT_EQ(tail, first) << cycle;
            ASSERT_TRUE(OpenProject(Engine.Dir.File("Abend.pvs")));
            EXPECT_EQ(doc()->blockCount(), 3) << cycle;
        }
        EXPECT_TRUE(first.startsWith("{\\rtf1"));

        // A second part that is not RTF loads as plain text; malformed RTF is logged once.
        Engine.Dir.Write("Plain.pvs", HandMadeShow(ini, "{{1}} Gr\xFC\xDF"
                                                        "e\r\n{{2}}"));
        ASSERT_TRUE(OpenProject(Engine.Dir.File("Plain.pvs")));
        EXPECT_EQ(doc()->toPlainText(), "{{1}} Grüße\n{{2}}");
        Engine.Dir.Write("Kaputt.pvs", HandMadeShow(ini, "{\\rtf1\\ansi {\\b fett {{{ offen"));
        ASSERT_TRUE(OpenProject(Engine.Dir.File("Kaputt.pvs")));
        EXPECT_TRUE(doc()->toPlainText().contains("fett"));
        EXPECT_EQ(ErrorLogCount("Skript-Text: RTF"), 1);

        // A new show empties the script.
        ModuleMain->NewProject();
        EXPECT_TRUE(doc()->isEmpty());
    }
}

TEST_F(FrmTextTest, ASaveWritesTheScriptAsItStoodWhenTheSaveBegan)
{
    ModuleMain->StartClock();
    const QString show = Engine.Dir.File("Abend.pvs");
    const auto savedScript = [this, &show] {
        EXPECT_TRUE(SaveProject(show));
        const QByteArray file = Engine.Dir.Read("Abend.pvs");
        qsizetype consumed = 0;
        DecodeShowString(file, consumed);
        return file.mid(consumed);
    };
    Engine.Dir.Write("Abend.pvs", HandMadeShow(QStringLiteral("\r\n[Kanäle]\r\n"),
                                               "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Vorhang auf\\par}"));
    ASSERT_TRUE(OpenProject(show));
    const QByteArray loaded = savedScript();
    EXPECT_TRUE(loaded.contains("\\fs20 Vorhang auf\\par")) << loaded.constData();
    EXPECT_EQ(savedScript(), loaded);

    // Typed text, then a format alone (bold through the panel) reach the file.
    Caret(0);
    QTest::keyClicks(Page->RichEdit1, "Jetzt: ");
    EXPECT_TRUE(savedScript().contains("Jetzt: Vorhang auf"));
    QTextCursor c = Page->RichEdit1->textCursor();
    c.setPosition(0);
    c.setPosition(5, QTextCursor::KeepAnchor);
    Page->RichEdit1->setTextCursor(c);
    Click(Page->RichEditAttributes1->btnBold);
    EXPECT_TRUE(savedScript().contains("\\b Jetzt\\b0 :")) << savedScript().constData();
    // Undone, it is the loaded script again.
    while (Page->RichEdit1->document()->isUndoAvailable())
        Page->RichEdit1->undo();
    EXPECT_EQ(savedScript(), loaded);

    // Runs without a font of their own take the editor's, which follows the page's font.
    Page->LoadText("Zeile ohne Schrift");
    EXPECT_FALSE(savedScript().contains("Courier New"));
    QFont courier = Page->RichEdit1->font();
    courier.setFamilies({QStringLiteral("Courier New")});
    Page->RichEdit1->setFont(courier);
    EXPECT_TRUE(savedScript().contains("{\\f0\\fnil\\fcharset0 Courier New;}")) << savedScript().constData();

    // What a save takes is the text of that moment: its bytes come on the save's
    // thread, whatever the editor holds by then.
    const TTextForSave atSave = Page->TextForSave();
    Caret(0);
    Page->RichEdit1->insertPlainText(QStringLiteral("später "));
    QByteArray onThread;
    std::thread([&] { onThread = atSave(); }).join();
    EXPECT_TRUE(onThread.contains(" Zeile ohne Schrift\\par"));
    EXPECT_FALSE(onThread.contains("später"));
    EXPECT_TRUE(Page->SaveText().contains("sp\\'e4ter Zeile"));
}

// A script that names no font shows and saves in the editor's font, whatever
// show was opened before it: read where it is opened and on the reading thread,
// after a new show and after an import.
TEST_F(FrmTextTest, AScriptWithoutAFontNeverTakesThePreviousShowsFont)
{
    TScriptedPrompts prompts;
    const QString ini = QStringLiteral("\r\n[Kanäle]\r\n");
    Engine.Dir.Write("Mit.pvs", HandMadeShow(ini, "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Courier New;}}\\f0\\fs20 Mit\\par}"));
    Engine.Dir.Write("Ohne.pvs", HandMadeShow(ini, "{\\rtf1\\ansi\\fs20 Ohne Schrift\\par}"));
    Engine.Dir.Write("Ohne.txt", "Ohne Schrift");
    const auto open = [this](const char* name) { EXPECT_TRUE(OpenProject(Engine.Dir.File(name))); };
    const struct {
        const char* Name;
        std::function<void()> Load;   // after Mit.pvs
    } ways[] = {
        {"open", [&] { open("Ohne.pvs"); }},
        {"new show, typed", [&] {
             ModuleMain->NewProject();
             Page->RichEdit1->insertPlainText(QStringLiteral("Ohne Schrift"));
         }},
        {"import", [&] {
             prompts.FileAnswers = {Engine.Dir.File("Ohne.txt")};
             Page->TextImportieren1->trigger();
         }},
    };
    const QFont editor = Page->RichEdit1->font();
    for (const bool clock : {false, true}) {
        if (clock)
            ModuleMain->StartClock();
        for (const auto& way : ways) {
            SCOPED_TRACE(std::string(way.Name) + (clock ? ", clock running" : ""));
            way.Load();
            const QFont first = Page->RichEdit1->document()->defaultFont();
            const QByteArray firstBytes = Page->SaveText();
            EXPECT_EQ(first.family(), editor.family());
            EXPECT_EQ(Page->RichEdit1->toPlainText(), "Ohne Schrift");
            open("Mit.pvs");
            EXPECT_EQ(Page->RichEdit1->document()->defaultFont().family(), "Courier New");
            way.Load();
            EXPECT_EQ(Page->RichEdit1->document()->defaultFont(), first);
            EXPECT_EQ(Page->SaveText(), firstBytes) << Page->SaveText().constData();
            EXPECT_FALSE(Page->SaveText().contains("Courier"));
        }
    }
    // A text imported over a script read on the reading thread, in the same
    // font, is what a save writes, not the bytes that script was read from.
    open("Ohne.pvs");
    Engine.Dir.Write("Anderer.txt", "Anderer Text");
    prompts.FileAnswers = {Engine.Dir.File("Anderer.txt")};
    Page->TextImportieren1->trigger();
    EXPECT_TRUE(Page->SaveText().contains("Anderer Text"));
}

TEST_F(FrmTextTest, ALargeScriptTakesTheEditorsPlaceAndIsLaidOutWhole)
{
    QByteArray script = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Anfang\\par\r\n";
    for (int i = 1; i <= 3000; ++i)
        script += "\\{\\{" + QByteArray::number(i) + "\\}\\} Auftritt und Text bis zum Ende der Zeile.\\par\r\n";
    script += "Ende}";
    const auto laidOut = [](const QTextBlock& b) { return b.layout()->lineCount() > 0; };
    const auto wholeLaidOut = [&](QTextDocument* doc) {
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            if (!laidOut(b))
                return false;
        return true;
    };
    Page->resize(800, 600);
    // On screen; off screen (its layout paced) to its end; off screen and shown
    // while it is laid out: every paragraph gets its lines, the first one before
    // the editor paints.
    for (const int kind : {0, 1, 2}) {
        SCOPED_TRACE(kind);
        Page->setVisible(kind == 0);
        Page->LoadText(script);
        QTextDocument* doc = Page->RichEdit1->document();
        ASSERT_GT(doc->characterCount(), 100000);
        if (kind == 2) {
            QTest::qWait(100);
            Page->show();
            EXPECT_TRUE(laidOut(doc->firstBlock()));
        }
        EXPECT_TRUE(WaitFor([&] { return wholeLaidOut(doc); }));
        EXPECT_TRUE(WaitFor([&] { return laidOut(doc->firstBlock()); }));
        EXPECT_EQ(doc->firstBlock().text(), "Anfang");
        EXPECT_EQ(doc->lastBlock().text(), "Ende");
        EXPECT_FALSE(doc->isModified());
        EXPECT_EQ(Page->RichEdit1->textCursor().position(), 0);
    }
}

namespace {

// The dark pixels of the editor's view left of where the text of the line at
// position pos begins, on that line's height, and that beginning.
struct TLineStart {
    int TextX = 0;
    int BulletPixels = 0;
};

TLineStart LineStart(QTextEdit& edit, int pos)
{
    QTextCursor c(edit.document());
    c.setPosition(pos);
    const QRect caret = edit.cursorRect(c);
    const QImage view = edit.viewport()->grab().toImage();
    TLineStart s{caret.left(), 0};
    for (int y = std::max(caret.top(), 0); y <= caret.bottom() && y < view.height(); ++y)
        for (int x = 0; x < caret.left() - 1 && x < view.width(); ++x)
            s.BulletPixels += qGray(view.pixel(x, y)) < 128 ? 1 : 0;
    return s;
}

}   // namespace

TEST_F(FrmTextTest, BulletsShowWithTheirHangingIndentOnLoadAndAfterTheButton)
{
    // As the writer writes it: a bullet hanging by 200 twips, its text long
    // enough to wrap, then a paragraph without a bullet.
    const QByteArray script =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
        "{\\f1\\fnil\\fcharset2 Symbol;}}\r\n\\viewkind4\\uc1\\pard{\\pntext\\f1\\'B7\\tab}"
        "{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}\\fi-200\\li200 Der Vorhang geht auf und alle "
        "Scheinwerfer leuchten langsam auf die Mitte der B\\'fchne\\par\r\n\\pard Ohne Punkt\\par\r\n}\r\n";
    Engine.Dir.Write("Abend.pvs", HandMadeShow(QStringLiteral("\r\n[Kanäle]\r\n"), script));
    ASSERT_TRUE(OpenProject(Engine.Dir.File("Abend.pvs")));
    QTextEdit& edit = *Page->RichEdit1;
    Page->resize(700, 300);
    Page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Page.get()));
    edit.setFixedWidth(260);
    QCoreApplication::processEvents();
    const QTextBlock bullet = edit.document()->firstBlock();
    ASSERT_GE(bullet.layout()->lineCount(), 2);

    // The bullet stands left of the text; the wrapped line starts under the text.
    const TLineStart first = LineStart(edit, bullet.position());
    const TLineStart second = LineStart(edit, bullet.position() + bullet.layout()->lineAt(1).textStart());
    EXPECT_GE(first.BulletPixels, 8);
    EXPECT_EQ(second.BulletPixels, 0);
    EXPECT_EQ(first.TextX, second.TextX);
    EXPECT_EQ(Page->SaveText(), script);
    // The panel shows the paragraph's own indents.
    QTextCursor c(edit.document());
    c.setPosition(1);
    edit.setTextCursor(c);
    EXPECT_EQ(Page->RichEditAttributes1->cbFirstIndent->currentText(), "-10");
    EXPECT_EQ(Page->RichEditAttributes1->cbLeftMargin->currentText(), "10");

    // The bullets button on the paragraph without indents: its bullet shows too,
    // and the file holds the bullet and no indent.
    const QTextBlock plain = bullet.next();
    const int plainX = LineStart(edit, plain.position()).TextX;
    c.setPosition(plain.position() + 2);
    edit.setTextCursor(c);
    QTest::mouseClick(Page->RichEditAttributes1->btnBullets, Qt::LeftButton);
    const TLineStart after = LineStart(edit, plain.position());
    EXPECT_GE(after.BulletPixels, 8);
    EXPECT_GT(after.TextX, plainX);
    EXPECT_TRUE(
        Page->SaveText().endsWith("\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}"
                                  "Ohne Punkt\\par\r\n}\r\n"))
        << Page->SaveText().constData();
    QTest::mouseClick(Page->RichEditAttributes1->btnBullets, Qt::LeftButton);
    EXPECT_EQ(LineStart(edit, plain.position()).TextX, plainX);
    EXPECT_EQ(Page->SaveText(), script);
    // Undone in one step, the bullet stands where it stood.
    edit.undo();
    EXPECT_GE(LineStart(edit, plain.position()).BulletPixels, 8);
    EXPECT_EQ(LineStart(edit, plain.position()).TextX, after.TextX);
}
