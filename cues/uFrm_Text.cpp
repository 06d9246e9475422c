#include "cues/uFrm_Text.h"

#include "cues/RichEditAttributes.h"
#include "cues/uRtf.h"
#include "cues/uScriptSteps.h"
#include "devices/uMod_Interface.h"
#include "framework/uAtomicFile.h"
#include "framework/uColors.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uPrompts.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <mutex>
#include <optional>

TfrmText* frmText = nullptr;
const char* const PrintJobTitle = "Palvento Orlisk 200 -  Ausdruck Text";

namespace {

const QString NoFurtherScene = QStringLiteral("Keine weitere Szene gefunden.");

// Qt lays a new document out on the GUI thread in the background, in steps that
// double up to 200,000 characters (some 35 ms for a script of 1 MB), and a change
// of the document starts them small again. While a large script is laid out and
// the editor is not on screen, the page marks the first paragraph changed every
// LayoutPaceMs, which keeps each step to a few milliseconds. A mark clears that
// paragraph's layout: it is laid out again once the script is laid out to its end
// or the editor is shown.
constexpr int LayoutPaceMs = 40;
constexpr int PacedLayoutChars = 100000;

TFileDialogOptions ImportOptions()
{
    return {QStringLiteral("Text importieren"),
            QStringLiteral("Text-Dateien (*.txt);;RichTextFile (*.rtf);;Alle Dateien (*)"), QString(), ProjectDir};
}

TFileDialogOptions ExportOptions()
{
    return {QStringLiteral("Text exportieren"), QStringLiteral("RichTextFile (*.rtf);;Alle Dateien (*)"),
            QStringLiteral("rtf"), ProjectDir};
}

TFileDialogOptions PdfOptions()
{
    return {QStringLiteral("Kein Drucker: Ausdruck als PDF-Datei speichern"),
            QStringLiteral("PDF-Dateien (*.pdf);;Alle Dateien (*)"), QStringLiteral("pdf"), ProjectDir};
}

void Forward(const QString& event)
{
    if (ModuleInterface)
        ModuleInterface->ForwardToCoupledSystems(event);
}

QTextDocument::FindFlags FindFlags(bool matchCase, bool wholeWord)
{
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord)
        flags |= QTextDocument::FindWholeWords;
    return flags;
}

// A show's script converted on the reading thread: its document, and what a save
// writes of it.
class TPreparedScript : public TPreparedText {
public:
    std::unique_ptr<QTextDocument> Document;
    TRtfLoadResult Result;
    std::optional<QByteArray> Saved;
};

// Builds the document of bytes in a new document whose default font is the
// editor's own: a script that names no font takes it, never the font of the
// script shown before.
// The document has no layout yet, so building it lays nothing out; it belongs to
// the calling thread until it is moved.
std::unique_ptr<TPreparedScript> PrepareScript(const QByteArray& bytes, const QFont& defaultFont)
{
    auto prepared = std::make_unique<TPreparedScript>();
    prepared->Document = std::make_unique<QTextDocument>();
    QTextDocument& doc = *prepared->Document;
    doc.setDefaultFont(defaultFont);
    // Editing starts from the loaded script: an undo must not take it away (and
    // the next save write the show without it).
    doc.setUndoRedoEnabled(false);
    prepared->Result = LoadRichText(doc, bytes);
    doc.setUndoRedoEnabled(true);
    return prepared;
}

}   // namespace

// The bytes of the script's last load or save, with the edit count and the
// default font of the text they were made from. The save's thread stores what it
// encoded; the GUI thread reuses the bytes while the text is still that text.
struct TSavedScript {
    void Store(const QByteArray& bytes, quint64 edits, const QString& fontKey)
    {
        const std::lock_guard lock(FMutex);
        if (FValid && edits < FEdits)
            return;   // a slower save of an older text
        FValid = true;
        FBytes = bytes;
        FEdits = edits;
        FFontKey = fontKey;
    }
    std::optional<QByteArray> Lookup(quint64 edits, const QString& fontKey)
    {
        const std::lock_guard lock(FMutex);
        if (FValid && FEdits == edits && FFontKey == fontKey)
            return FBytes;
        return std::nullopt;
    }

private:
    std::mutex FMutex;
    bool FValid = false;
    QByteArray FBytes;
    quint64 FEdits = 0;
    QString FFontKey;
};

// ---------------------------------------------------------------------------
// Step buttons

void TStepButton::mousePressEvent(QMouseEvent* event)
{
    QPushButton::mousePressEvent(event);
    if (OnPress)
        OnPress(event->button());
}

void TStepButton::mouseReleaseEvent(QMouseEvent* event)
{
    QPushButton::mouseReleaseEvent(event);
    if (OnRelease)
        OnRelease(event->button(), event->modifiers());
}

// ---------------------------------------------------------------------------
// Page

TfrmText::TfrmText(QWidget* parent) : QWidget(parent), FSaved(std::make_shared<TSavedScript>())
{
    setObjectName(QStringLiteral("frmText"));
    FLayoutPacer = new QTimer(this);
    FLayoutPacer->setInterval(LayoutPaceMs);
    connect(FLayoutPacer, &QTimer::timeout, this, &TfrmText::PaceLayout);

    // Left: the attribute panel above the editor.
    pnlText = Named<QWidget>(QStringLiteral("pnlText"));
    RichEditAttributes1 = new TRichEditAttributes;
    RichEditAttributes1->setObjectName(QStringLiteral("RichEditAttributes1"));
    RichEdit1 = Named<TTextEdit>(QStringLiteral("RichEdit1"));
    RichEdit1->setFrameShape(QFrame::NoFrame);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setAcceptRichText(true);
    {
        // The selection stays visible when the editor loses the focus.
        QPalette p = RichEdit1->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
        RichEdit1->setPalette(p);
    }
    connect(RichEdit1->document(), &QTextDocument::contentsChange, this, [this] { ++FEdits; });
    RichEditAttributes1->SetRichEdit(RichEdit1);
    RichEdit1->installEventFilter(this);
    RichEditAttributes1->Loaded();
    auto* textLayout = new QVBoxLayout(pnlText);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->addWidget(RichEditAttributes1);
    textLayout->addWidget(RichEdit1, 1);

    // Right: the step controls.
    pnlSteuerung = Named<QWidget>(QStringLiteral("pnlSteuerung"));
    pnlOben = Named<QWidget>(QStringLiteral("pnlOben"));
    btnFirst = Named<TStepButton>(QStringLiteral("btnFirst"), QStringLiteral("&erster Schritt"));
    btnPrior = Named<QPushButton>(QStringLiteral("btnPrior"), QStringLiteral("&vorheriger "));
    btnNext = Named<QPushButton>(QStringLiteral("btnNext"), QStringLiteral("&nächster "));
    auto* obenLayout = new QVBoxLayout(pnlOben);
    obenLayout->addWidget(btnFirst);
    auto* priorNext = new QHBoxLayout;
    priorNext->addWidget(btnPrior);
    priorNext->addWidget(btnNext);
    obenLayout->addLayout(priorNext);

    gbNext = Named<QGroupBox>(QStringLiteral("gbNext"), QStringLiteral(" nächster Schritt: "));
    lblNextNummer = Named<QLabel>(QStringLiteral("lblNextNummer"));
    lblNextName = Named<QLabel>(QStringLiteral("lblNextName"));
    btnGo = Named<TStepButton>(QStringLiteral("btnGo"), QStringLiteral("Schritt ausführen"));
    QFont bold = btnGo->font();
    bold.setBold(true);
    btnGo->setFont(bold);
    btnGo->setEnabled(false);
    btnGo->setContextMenuPolicy(Qt::PreventContextMenu);   // popLeer: a right click opens nothing
    btnGo->setMinimumHeight(48);
    cbAutomatischWeiter = Named<QCheckBox>(QStringLiteral("cbAutomatischWeiter"), QStringLiteral("automatisch weiter"));
    cbAutomatischWeiter->setChecked(true);
    auto* nextLayout = new QVBoxLayout(gbNext);
    auto* nextLabels = new QHBoxLayout;
    nextLabels->addWidget(lblNextNummer);
    nextLabels->addWidget(lblNextName, 1);
    nextLayout->addLayout(nextLabels);
    nextLayout->addWidget(btnGo);
    nextLayout->addWidget(cbAutomatischWeiter);

    gbPrior = Named<QGroupBox>(QStringLiteral("gbPrior"), QStringLiteral(" vorheriger Schritt: "));
    lblPriorNummer = Named<QLabel>(QStringLiteral("lblPriorNummer"));
    lblPriorName = Named<QLabel>(QStringLiteral("lblPriorName"));
    btnGoPrior = Named<TStepButton>(QStringLiteral("btnGoPrior"), QStringLiteral("Schritt ausführen"));
    btnGoPrior->setEnabled(false);
    auto* priorLayout = new QVBoxLayout(gbPrior);
    auto* priorLabels = new QHBoxLayout;
    priorLabels->addWidget(lblPriorNummer);
    priorLabels->addWidget(lblPriorName, 1);
    priorLayout->addLayout(priorLabels);
    priorLayout->addWidget(btnGoPrior);

    pnlUnten = Named<QWidget>(QStringLiteral("pnlUnten"));
    (new QVBoxLayout(pnlUnten))->setContentsMargins(0, 0, 0, 0);

    auto* steuerLayout = new QVBoxLayout(pnlSteuerung);
    steuerLayout->setContentsMargins(0, 0, 0, 0);
    steuerLayout->addWidget(pnlOben);
    steuerLayout->addWidget(gbNext);
    steuerLayout->addWidget(gbPrior);
    steuerLayout->addWidget(pnlUnten, 1);
    pnlSteuerung->setFixedWidth(260);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pnlText, 1);
    layout->addWidget(pnlSteuerung);

    BuildPopups();
    FindDialog1 = new TFindDialog(false, this);
    ReplaceDialog1 = new TFindDialog(true, this);
    ConnectDialogs();

    // The buttons: first on the left button's release (with Ctrl, when the option
    // asks for it), Go and back step on the press, prior and next on a click.
    btnFirst->OnRelease = [this](Qt::MouseButton b, Qt::KeyboardModifiers m) {
        const bool needsCtrl = FirstNeedsCtrl && FirstNeedsCtrl();
        if (b == Qt::LeftButton && (!needsCtrl || (m & Qt::ControlModifier)))
            Guarded([this] { FindMarker(TFind::First); });
    };
    connect(btnNext, &QPushButton::clicked, this, [this] { Guarded([this] { FindMarker(TFind::Next); }); });
    connect(btnPrior, &QPushButton::clicked, this, [this] { Guarded([this] { FindMarker(TFind::Prior); }); });
    btnGo->OnPress = [this](Qt::MouseButton b) {
        Guarded([this, b] {
            if (b == Qt::LeftButton) {
                BackStepDone = false;
                if (ModuleSzenen)
                    ModuleSzenen->RecallScene(NextStepIndex, false, false);
            } else if (b == Qt::RightButton && ModuleSzenen && ModuleSzenen->TextRechtsZurueck) {
                BackStep(false);
            }
        });
    };
    btnGoPrior->OnPress = [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            Guarded([this] { BackStep(false); });
    };

    frmText = this;
    if (ModuleSzenen) {
        // A script the module received before the page existed.
        if (!ModuleSzenen->ScriptText.isEmpty())
            LoadText(ModuleSzenen->ScriptText);
        ModuleSzenen->SetScriptPage(this);
    }
}

TfrmText::~TfrmText()
{
    if (ModuleSzenen)
        ModuleSzenen->SetScriptPage(nullptr);
    if (frmText == this)
        frmText = nullptr;
}

void TfrmText::BuildPopups()
{
    popText = new QMenu(this);
    popText->setObjectName(QStringLiteral("popText"));
    const auto item = [this](const char* name, const QString& caption, auto handler) {
        QAction* a = popText->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [handler] { Guarded(handler); });
        return a;
    };
    EingestellteSzene1 =
        item("EingestellteSzene1", QStringLiteral("&eingestellte Szene"), [this] { InsertScene(false); });
    EingestellteSzene1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    EingestellteSzene1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    RichEdit1->addAction(EingestellteSzene1);
    AngezeigteSzene1 = item("AngezeigteSzene1", QStringLiteral("&angezeigte Szene"), [this] { InsertScene(true); });
    NeueVersion1 = item("NeueVersionspeichern1", QStringLiteral("&Neue Version speichern"), [] {
        if (ModuleSzenen)
            ModuleSzenen->StoreCurrentSceneVersion();
    });
    popText->addSeparator();
    TextImportieren1 = item("Textimportieren1", QStringLiteral("Text &importieren"), [this] { ImportText(); });
    TextExportieren1 = item("Textexportieren1", QStringLiteral("Text e&xportieren"), [this] { ExportText(); });
    popText->addSeparator();
    Drucken1 = item("Drucken1", QStringLiteral("&Drucken"), [this] { Print(); });
    Suchen1 = item("Suchen1", QStringLiteral("&Suchen"), [this] {
        FindDialog1->show();
        FindDialog1->raise();
    });
    Ersetzen1 = item("Ersetzen1", QStringLiteral("E&rsetzen"), [this] {
        ReplaceDialog1->show();
        ReplaceDialog1->raise();
    });
    Hintergrundfarbe1 =
        item("Hintergrundfarbendern1", QStringLiteral("&Hintergrundfarbe ändern"), [this] { ChangeBackgroundColor(); });
    popText->addSeparator();
    SzenenNeuNummerieren1 =
        item("Szenenneunummerieren1", QStringLiteral("Szenen neu nummerieren"), [this] { RenumberScenes(); });
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEdit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popText->popup(RichEdit1->viewport()->mapToGlobal(pos)); });

    popErsterSchritt = new QMenu(this);
    popErsterSchritt->setObjectName(QStringLiteral("popErsterSchritt"));
    ButtonErsterSchrittverfgbar1 = popErsterSchritt->addAction(QStringLiteral("Button \"Erster Schritt\" verfügbar"));
    ButtonErsterSchrittverfgbar1->setObjectName(QStringLiteral("ButtonErsterSchrittverfgbar1"));
    ButtonErsterSchrittverfgbar1->setCheckable(true);
    ButtonErsterSchrittverfgbar1->setChecked(true);
    connect(ButtonErsterSchrittverfgbar1, &QAction::toggled, btnFirst, &QWidget::setEnabled);
    for (QWidget* w : {static_cast<QWidget*>(pnlOben), static_cast<QWidget*>(btnFirst)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& pos) { popErsterSchritt->popup(w->mapToGlobal(pos)); });
    }
}

void TfrmText::ConnectDialogs()
{
    for (TFindDialog* d : {FindDialog1, ReplaceDialog1})
        connect(d->btnFindNext, &QPushButton::clicked, this, [this, d] {
            Guarded([&] {
                if (!FindText(d->FindText(), d->MatchCase(), d->WholeWord()))
                    Prompts().Info(QStringLiteral("Text nicht gefunden"));
            });
        });
    connect(ReplaceDialog1->btnReplace, &QPushButton::clicked, this,
            [this] { Guarded([this] { ReplaceSelection(ReplaceDialog1->ReplaceText()); }); });
    connect(ReplaceDialog1->btnReplaceAll, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            TFindDialog* d = ReplaceDialog1;
            if (ReplaceAll(d->FindText(), d->ReplaceText(), d->MatchCase(), d->WholeWord()) >= 0)
                d->close();
        });
    });
}

QString TfrmText::Text() const
{
    return RichEdit1->document()->toRawText();
}

// ---- script text ----

TTextPreparer TfrmText::TextPreparer()
{
    // Only values go with the function, no part of the page: the page may be gone
    // when it runs. Fonts may be used off the GUI thread (Qt's font database locks
    // itself); the document made here is laid out only once the editor shows it.
    return [font = RichEdit1->font(), gui = thread()](const QByteArray& bytes) -> std::unique_ptr<TPreparedText> {
        std::unique_ptr<TPreparedScript> prepared = PrepareScript(bytes, font);
        prepared->Saved = SaveRichText(*prepared->Document);
        prepared->Document->moveToThread(gui);
        return prepared;
    };
}

void TfrmText::LoadText(const QByteArray& bytes, std::unique_ptr<TPreparedText> prepared)
{
    std::unique_ptr<TPreparedScript> script(dynamic_cast<TPreparedScript*>(prepared.get()));
    if (script)
        prepared.release();
    else
        script = PrepareScript(bytes, RichEdit1->font());
    if (!script->Result.Ok())
        AddToErrorLog(elWarning, QStringLiteral("Skript-Text: ") + script->Result.Problem);
    ShowDocument(std::move(script->Document));
    if (script->Saved)
        FSaved->Store(*script->Saved, FEdits, DefaultFontKey());
}

void TfrmText::LoadText(const QByteArray& bytes)
{
    LoadText(bytes, nullptr);
}

void TfrmText::ShowDocument(std::unique_ptr<QTextDocument> doc)
{
    // The editor deletes the document it made itself; one of ours goes here. Left
    // alive, it would go on laying itself out.
    FLayoutPacer->stop();
    FFirstParagraphMarked = false;
    const QPointer<QTextDocument> old = RichEdit1->document();
    doc->setParent(RichEdit1);
    RichEdit1->setDocument(doc.release());
    delete old.data();
    QTextDocument* shown = RichEdit1->document();
    // Another text: what was kept of the last one's bytes is not this text's.
    ++FEdits;
    connect(shown, &QTextDocument::contentsChange, this, [this] { ++FEdits; });
    shown->setModified(false);
    RichEdit1->moveCursor(QTextCursor::Start);
    RichEditAttributes1->UpdateFromSelection();
    if (shown->characterCount() > PacedLayoutChars && !RichEdit1->isVisible())
        FLayoutPacer->start();
}

namespace {

bool LaidOutToItsEnd(const QTextDocument& doc)
{
    const QTextBlock last = doc.lastBlock();
    return last.layout() && last.layout()->lineCount() > 0;
}

}   // namespace

void TfrmText::PaceLayout()
{
    QTextDocument* doc = RichEdit1->document();
    if (RichEdit1->isVisible() || LaidOutToItsEnd(*doc)) {
        EndLayoutPacing();
        return;
    }
    doc->markContentsDirty(0, 0);
    FFirstParagraphMarked = true;
}

void TfrmText::EndLayoutPacing()
{
    FLayoutPacer->stop();
    if (!FFirstParagraphMarked)
        return;
    FFirstParagraphMarked = false;
    QTextDocument* doc = RichEdit1->document();
    if (LaidOutToItsEnd(*doc))
        doc->markContentsDirty(0, doc->firstBlock().length());
    else
        // A paragraph marked while the layout runs would end it there: the layout
        // starts again from the beginning instead, in Qt's own steps.
        doc->setPageSize(doc->pageSize());
}

bool TfrmText::eventFilter(QObject* watched, QEvent* event)
{
    // Shown, the editor needs its first paragraph laid out before it paints.
    if (watched == RichEdit1 && event->type() == QEvent::Show)
        EndLayoutPacing();
    return QWidget::eventFilter(watched, event);
}

QString TfrmText::DefaultFontKey() const
{
    return RichEdit1->document()->defaultFont().key();
}

TTextForSave TfrmText::TextForSave()
{
    const QString fontKey = DefaultFontKey();
    if (std::optional<QByteArray> bytes = FSaved->Lookup(FEdits, fontKey))
        return [bytes = *bytes] { return bytes; };
    return [snapshot = TakeRtfSnapshot(*RichEdit1->document()), saved = FSaved, edits = FEdits, fontKey] {
        const QByteArray bytes = EncodeRtf(*snapshot);
        saved->Store(bytes, edits, fontKey);
        return bytes;
    };
}

QByteArray TfrmText::SaveText()
{
    return TextForSave()();
}

void TfrmText::ClearText()
{
    // A new document rather than the old one emptied: the last show's font and
    // format would otherwise go on into the next text typed.
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(RichEdit1->font());
    ShowDocument(std::move(doc));
}

void TfrmText::AppendLines(const QStringList& lines)
{
    QTextDocument* doc = RichEdit1->document();
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    bool first = doc->isEmpty();
    for (const QString& line : lines) {
        if (!first)
            c.insertBlock();
        first = false;
        c.insertText(line, QTextCharFormat());
    }
    c.endEditBlock();
}

// ---- steps ----

void TfrmText::SelectMarker(const TStepMarker& marker)
{
    QTextCursor c = RichEdit1->textCursor();
    const int length = RichEdit1->document()->characterCount() - 1;
    c.setPosition(int(std::min<qsizetype>(marker.Start, length)));
    c.setPosition(int(std::min<qsizetype>(marker.Start + marker.Length, length)), QTextCursor::KeepAnchor);
    RichEdit1->setTextCursor(c);
    RichEdit1->ensureCursorVisible();
    // Scrolled so far that the marker rests in the upper seven tenths of the view.
    const int limit = RoundHalfEven(RichEdit1->viewport()->height() * 0.7);
    const int bottom = RichEdit1->cursorRect(c).bottom();
    if (bottom > limit) {
        QScrollBar* bar = RichEdit1->verticalScrollBar();
        bar->setValue(bar->value() + bottom - limit);
    }
}

void TfrmText::FindMarker(TFind kind)
{
    const QString text = Text();
    const qsizetype selStart = RichEdit1->textCursor().selectionStart();
    std::optional<TStepMarker> marker;
    switch (kind) {
    case TFind::First: marker = ::FindMarker(text, 0); break;
    case TFind::Next: marker = ::FindMarker(text, selStart + 1); break;
    case TFind::Prior: marker = FindPriorMarker(text, selStart); break;
    }
    if (!marker) {
        AddToErrorLog(elInfo, NoFurtherScene);
        return;
    }
    SelectMarker(*marker);
    ShowNextStep(marker->NumberText(), false);
}

void TfrmText::ShowNextStep(const QString& numberText, bool noForward)
{
    const int index = MarkerSceneIndex(numberText);
    TSzene* scene = nullptr;
    if (ModuleSzenen && ModuleSzenen->TryGetScene(index, scene)) {
        lblNextNummer->setText(QString::number(scene->SNR));
        lblNextName->setText(scene->NAME);
        NextStepIndex = index;
        btnGo->setEnabled(true);
        if (!noForward)
            Forward(QStringLiteral("T0F") + QString::number(scene->SNR));
    } else {
        lblNextNummer->clear();
        lblNextName->clear();
        NextStepIndex = -1;
        btnGo->setEnabled(false);
    }
}

void TfrmText::FindStepMarker(const QString& n, bool noForward)
{
    const std::optional<TStepMarker> marker = FindExactMarker(Text(), n);
    if (!marker) {
        AddToErrorLog(elInfo, QStringLiteral("Szene \"") + n + QStringLiteral("\" nicht gefunden."));
        return;
    }
    SelectMarker(*marker);
    ShowNextStep(n, noForward);
}

void TfrmText::ShowPriorStep()
{
    int index = -1;
    if (ModuleSzenen) {
        const qsizetype k = ModuleSzenen->Protokoll.size() - 2;
        if (k >= 0)
            index = MarkerSceneIndex(ModuleSzenen->Protokoll.at(k).section(u'=', 0, 0));
    }
    TSzene* scene = nullptr;
    if (ModuleSzenen && ModuleSzenen->TryGetScene(index, scene)) {
        lblPriorNummer->setText(QString::number(scene->SNR));
        lblPriorName->setText(scene->NAME);
        PriorStepIndex = index;
        btnGoPrior->setEnabled(true);
    } else {
        lblPriorNummer->clear();
        lblPriorName->clear();
        PriorStepIndex = -1;
        btnGoPrior->setEnabled(false);
    }
}

void TfrmText::ExecuteStep(bool remote)
{
    BackStepDone = false;
    RemoteExecuted = remote;
    if (ModuleSzenen)
        ModuleSzenen->RecallScene(NextStepIndex, false, remote);
}

void TfrmText::BackStep(bool noForward)
{
    BackStepDone = true;
    if (!ModuleSzenen)
        return;
    // A back step whose recall would be refused (no prior step, a fade running
    // under "nie durchführen") changes nothing: the log keeps its entry and the
    // selection stays.
    if (!ModuleSzenen->MayRecall(PriorStepIndex))
        return;
    // The step undone becomes the next step again (reported as found) and its log
    // entry goes; then the backward recall runs (reported as executed).
    QStringList& log = ModuleSzenen->Protokoll;
    const qsizetype k = log.size() - 1;
    if (k > 0) {
        const QString n = log.at(k).section(u'=', 0, 0);
        if (const std::optional<TStepMarker> marker = FindExactMarker(Text(), n)) {
            SelectMarker(*marker);
            ShowNextStep(marker->NumberText(), false);
        }
        log.removeAt(k);
    }
    ModuleSzenen->RecallScene(PriorStepIndex, true, noForward);
}

void TfrmText::UpdateStepDisplay()
{
    if (cbAutomatischWeiter->isChecked() && !BackStepDone && !RemoteExecuted)
        FindMarker(TFind::Next);
    RemoteExecuted = false;
    ShowPriorStep();
}

void TfrmText::ExecuteTextCommand(const QStringList& tokens, bool remote)
{
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'T')
        return;
    ForEachSubToken(tokens, [&](char16_t letter, int v) {
        switch (letter) {
        case 'A': cbAutomatischWeiter->setChecked((v & 0xFF) != 0); break;
        case 'S':
            if (v == 1)
                FindMarker(TFind::First);
            else if (v == 2)
                FindMarker(TFind::Next);
            else if (v == 3)
                FindMarker(TFind::Prior);
            break;
        case 'E':
            if (v == 1)
                ExecuteStep(remote);
            else if (v == 2)
                BackStep(remote);
            break;
        case 'F': FindStepMarker(QString::number(v), remote); break;
        default: break;
        }
    });
}

// ---- text operations ----

void TfrmText::InsertScene(bool fromOutput)
{
    if (!ModuleSzenen)
        return;
    const TSzene& scene = ModuleSzenen->StoreNewScene(fromOutput);
    QTextCursor c = RichEdit1->textCursor();
    const int p = c.selectionStart();
    c.setPosition(p);
    const QString inserted = QStringLiteral(" {{") + QString::number(scene.SNR) + QStringLiteral("}} ");
    c.insertText(inserted);
    c.setPosition(p + 1);
    c.setPosition(p + int(inserted.size()) - 1, QTextCursor::KeepAnchor);
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    c.mergeCharFormat(red);
    RichEdit1->setTextCursor(c);
}

void TfrmText::RenumberScenes()
{
    if (!ModuleSzenen)
        return;
    if (!Prompts().AskYesNo(QStringLiteral("Sollen die Szenen in der Reihenfolge des Textes neu nummeriert werden?")))
        return;
    const TRenumberPlan plan = PlanRenumbering(Text(), ModuleSzenen->SceneCount());
    if (!plan.Duplicates.isEmpty()) {
        Prompts().Info(QStringLiteral("Im Text gibt es doppelte Szenen, Vorgang abgebrochen\n") +
                       plan.Duplicates.join(u'\n'));
        return;
    }
    // Rewritten from the last marker to the first, so that the positions of the
    // markers before stay valid; each keeps the format of its first character.
    QTextCursor c(RichEdit1->document());
    c.beginEditBlock();
    for (std::size_t i = plan.Counted.size(); i-- > 0;) {
        const TStepMarker& m = plan.Counted[i];
        c.setPosition(int(m.Start) + 1);
        const QTextCharFormat format = c.charFormat();
        c.setPosition(int(m.Start));
        c.setPosition(int(m.Start + m.Length), QTextCursor::KeepAnchor);
        c.insertText(plan.NewMarker(i), format);
    }
    c.endEditBlock();
    ApplyMarkerNumbers(*ModuleSzenen, plan.Scenes);
    Prompts().Info(
        QStringLiteral("Neuummerierung der Szenen erfolgreich\n\nBitte speichern Sie Ihr Projekt unter einem "
                       "neuen Dateinamen\nund starten Palvento neu."));
}

bool TfrmText::FindText(const QString& what, bool matchCase, bool wholeWord)
{
    if (what.isEmpty())
        return false;
    // From the caret when nothing is selected, so a text at the very start or at
    // the caret is found; behind the selection's start for the next match.
    const QTextCursor current = RichEdit1->textCursor();
    const int from = current.hasSelection() ? current.selectionStart() + 1 : current.position();
    const QTextCursor found = RichEdit1->document()->find(what, from, FindFlags(matchCase, wholeWord));
    if (found.isNull())
        return false;
    RichEdit1->setTextCursor(found);
    return true;
}

void TfrmText::ReplaceSelection(const QString& with)
{
    RichEdit1->textCursor().insertText(with);
}

int TfrmText::ReplaceAll(const QString& what, const QString& with, bool matchCase, bool wholeWord)
{
    if (!Prompts().AskOkCancel(QStringLiteral("Alle Vorkommen von \"") + what + QStringLiteral("\" durch \"") + with +
                               QStringLiteral("\" ersetzen?")))
        return -1;
    if (what.isEmpty())
        return 0;
    QTextDocument* doc = RichEdit1->document();
    QTextCursor edit(doc);
    edit.beginEditBlock();
    QTextCursor match;
    const int count = ReplaceAllMatches(
        [&](qsizetype from) {
            match = doc->find(what, int(from), FindFlags(matchCase, wholeWord));
            return match.isNull() ? qsizetype(-1) : qsizetype(match.selectionStart());
        },
        [&](qsizetype) { match.insertText(with); }, with.size());
    edit.endEditBlock();
    return count;
}

bool TfrmText::Print(const QString& pdfFile)
{
    QString file = pdfFile;
    if (file.isEmpty() && QPrinterInfo::availablePrinterNames().isEmpty()) {
        file = Prompts().SaveFileName(PdfOptions(), QString());
        if (file.isEmpty())
            return false;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromUtf8(PrintJobTitle));
    printer.setCreator(QString::fromUtf8(PrintJobTitle));
    if (!file.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
    }
    if (!printer.isValid()) {
        AddToErrorLog(elError, QStringLiteral("Drucken nicht möglich: kein gültiger Drucker."));
        return false;
    }
    RichEdit1->document()->print(&printer);
    if (!file.isEmpty() && !QFile::exists(file)) {
        AddToErrorLog(elError, QStringLiteral("Drucken: die Datei \"%1\" konnte nicht geschrieben werden.").arg(file));
        return false;
    }
    return true;
}

bool TfrmText::ImportText()
{
    const QString name = Prompts().OpenFileName(ImportOptions(), QString());
    if (name.isEmpty())
        return false;
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) {
        AddToErrorLog(elError, QStringLiteral("Text importieren: \"%1\": %2").arg(name, f.errorString()));
        return false;
    }
    LoadText(f.readAll());
    return true;
}

bool TfrmText::ExportText()
{
    const QString name = Prompts().SaveFileName(ExportOptions(), QString());
    if (name.isEmpty() || !ConfirmOverwrite(name))
        return false;
    TAtomicFile file(name);
    file.Write(SaveText());
    file.Commit();
    return true;
}

void TfrmText::ChangeBackgroundColor()
{
    int value = ValueFromColor(RichEdit1->palette().color(QPalette::Base));
    if (!Prompts().PickColor(value))
        return;
    QPalette p = RichEdit1->palette();
    p.setColor(QPalette::Base, ColorFromValue(value));
    RichEdit1->setPalette(p);
}
