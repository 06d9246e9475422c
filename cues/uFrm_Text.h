#pragma once
// The script page: the show's script as rich text, played step by step. Step
// markers "{{n}}" in the text name the scenes of the scene module; the page shows
// the marker under the selection as the next step and the scene recalled before
// the last one as the prior step, executes the next step with a forward crossfade,
// steps back with a backward one, and moves on to the following marker by itself
// when a crossfade ends. The T command reaches the same operations.
//
// The page is a view of the scene module (TScriptPageLink); the searches over the
// text live in cues/uScriptSteps.

#include "cues/uFindDialog.h"
#include "cues/uMod_Szenen.h"

#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QTextDocument;
class QTextEdit;
class QTimer;
class TRichEditAttributes;
struct TSavedScript;
struct TStepMarker;

// A push button that reports the mouse button itself: the step buttons act on the
// press (Go) or the release (first step) of a particular mouse button.
class TStepButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    std::function<void(Qt::MouseButton)> OnPress;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers)> OnRelease;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TfrmText : public QWidget, public TScriptPageLink {
    Q_OBJECT
public:
    explicit TfrmText(QWidget* parent = nullptr);
    ~TfrmText() override;

    // ---- for the scene module ----
    void ExecuteTextCommand(const QStringList& tokens, bool remote) override;
    void UpdateStepDisplay() override;
    // The script of a show converts into a document of its own off the GUI thread
    // (TextPreparer), which then takes the editor's document's place: the GUI
    // thread neither reads the RTF nor lays out a text being built. A save reuses
    // the bytes of the last load or save while the text has not changed since
    // (no edit of the document, the same default font), and otherwise takes a
    // snapshot that the save's thread encodes.
    TTextPreparer TextPreparer() override;
    void LoadText(const QByteArray& bytes, std::unique_ptr<TPreparedText> prepared) override;
    TTextForSave TextForSave() override;
    void ClearText() override;
    // Converts and shows bytes on the GUI thread (a text import).
    void LoadText(const QByteArray& bytes);
    // The editor's text as a save writes it.
    QByteArray SaveText();
    void AppendLines(const QStringList& lines) override;

    // The empty panel below the step controls; the main window lends it the
    // grand-master group while the page is shown.
    QWidget* GetTextFormPanel() const { return pnlUnten; }
    // The main window's option "Erster Schritt muss mit STRG-Taste geklickt werden".
    std::function<bool()> FirstNeedsCtrl;

    // ---- steps ----
    enum class TFind { First, Next, Prior };
    // Selects the first, next or prior marker and shows it as the next step;
    // "Keine weitere Szene gefunden." when there is none.
    void FindMarker(TFind kind);
    void ShowNextStep(const QString& numberText, bool noForward);
    // Selects the marker written exactly "{{" n "}}" and shows it.
    void FindStepMarker(const QString& n, bool noForward);
    void ShowPriorStep();
    // Executes the next step forward (Go, E1).
    void ExecuteStep(bool remote);
    void BackStep(bool noForward);

    // ---- text ----
    // Stores a new scene and inserts its marker at the selection's start.
    void InsertScene(bool fromOutput);
    void RenumberScenes();
    // Finds from the selection (or the caret) onwards; false when not found.
    bool FindText(const QString& what, bool matchCase, bool wholeWord);
    void ReplaceSelection(const QString& with);
    // Returns the number of replacements; -1 when the question was not confirmed.
    int ReplaceAll(const QString& what, const QString& with, bool matchCase, bool wholeWord);
    // On the default printer, or into a PDF file (asked for) when there is none.
    // pdfFile forces the PDF output. False when nothing was printed.
    bool Print(const QString& pdfFile = QString());
    bool ImportText();
    bool ExportText();
    void ChangeBackgroundColor();

    int NextStepIndex = 0;
    int PriorStepIndex = 0;
    bool BackStepDone = false;
    bool RemoteExecuted = false;

    QWidget* pnlText;
    TRichEditAttributes* RichEditAttributes1;
    QTextEdit* RichEdit1;
    QWidget* pnlSteuerung;
    QWidget* pnlOben;
    TStepButton* btnFirst;
    QPushButton* btnPrior;
    QPushButton* btnNext;
    QGroupBox* gbNext;
    QLabel* lblNextNummer;
    QLabel* lblNextName;
    TStepButton* btnGo;
    QCheckBox* cbAutomatischWeiter;
    QGroupBox* gbPrior;
    QLabel* lblPriorNummer;
    QLabel* lblPriorName;
    TStepButton* btnGoPrior;
    QWidget* pnlUnten;
    QMenu* popText;
    QAction* EingestellteSzene1;
    QAction* AngezeigteSzene1;
    QAction* NeueVersion1;
    QAction* TextImportieren1;
    QAction* TextExportieren1;
    QAction* Drucken1;
    QAction* Suchen1;
    QAction* Ersetzen1;
    QAction* Hintergrundfarbe1;
    QAction* SzenenNeuNummerieren1;
    QMenu* popErsterSchritt;
    QAction* ButtonErsterSchrittverfgbar1;
    TFindDialog* FindDialog1;
    TFindDialog* ReplaceDialog1;

private:
    QString Text() const;
    // Puts doc into the editor in place of its document, which is deleted; the
    // cursor goes to the start.
    void ShowDocument(std::unique_ptr<QTextDocument> doc);
    QString DefaultFontKey() const;
    // Keeps the steps of Qt's background layout of a large new script small while
    // the editor is not on screen (see LayoutPaceMs); EndLayoutPacing stops that.
    void PaceLayout();
    void EndLayoutPacing();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Selects the marker so that it rests in the upper seven tenths of the view.
    void SelectMarker(const TStepMarker& marker);
    void BuildPopups();
    void ConnectDialogs();

    quint64 FEdits = 0;   // changes of the editor's text (content or format) so far
    std::shared_ptr<TSavedScript> FSaved;
    QTimer* FLayoutPacer;
    bool FFirstParagraphMarked = false;
};

// The one script page; nullptr before its creation and after its end.
extern TfrmText* frmText;

// The print job's title.
extern const char* const PrintJobTitle;
