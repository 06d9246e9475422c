#pragma once
// The text-attribute panel: a formatting bar over a bound QTextEdit. It shows the
// attributes at the editor's cursor (UpdateFromSelection) and applies the user's
// choice to the selection: font name and size, text colour, bold, italic,
// underline, strike-out, left/first-line/right margins in points, alignment and
// bullets. Every change runs in one bracket between OnBeforeChange and
// OnAfterChange; without a bound editor nothing happens.
//
// Font name, size and margin boxes apply their text when it is committed (Enter,
// leaving the box after typing, or a choice from the list), so that typing "12"
// never applies a 1-point font on the way.

#include <QFrame>
#include <QPointer>

class QButtonGroup;
class QComboBox;
class QTextEdit;
class QToolButton;

class TRichEditAttributes : public QFrame {
    Q_OBJECT
public:
    explicit TRichEditAttributes(QWidget* owner = nullptr);

    // The bound editor (not owned); cleared by itself when the editor is destroyed.
    // Binding also follows the editor's cursor and selection with UpdateFromSelection.
    QTextEdit* RichEdit() const;
    void SetRichEdit(QTextEdit* edit);

    // Kept for editors bound to a database record; a plain editor ignores them.
    bool AutoPost = false;
    bool AutoEdit = false;

    // The layout: 2 two rows, 4 a narrow block, anything else one row.
    int Hoch() const { return FHoch; }
    void SetHoch(int value);

    bool Changing() const { return FChanging; }

    // Fills the choice lists (fonts of the system, sizes, margins).
    void Loaded();
    // Shows the attributes at the editor's selection; skipped during a change.
    void UpdateFromSelection();

    QComboBox* cbFontName;
    QComboBox* cbFontSize;
    QToolButton* btnColor;
    QToolButton* btnBold;
    QToolButton* btnItalic;
    QToolButton* btnUnderline;
    QToolButton* btnStrikeOut;
    QComboBox* cbLeftMargin;
    QComboBox* cbFirstIndent;
    QComboBox* cbRightMargin;
    QToolButton* btnAlignLeft;
    QToolButton* btnAlignCenter;
    QToolButton* btnAlignRight;
    QToolButton* btnBullets;

signals:
    void OnBeforeChange();
    void OnAfterChange();

private:
    QPointer<QTextEdit> FRichEdit;
    QButtonGroup* FAlignGroup;
    int FHoch = 1;
    bool FChanging = false;

    template <class F>
    void Change(F apply);
    void ToggleStyle(int tag);
    void FontNameChange();
    void FontSizeChange();
    void ColorClick();
    void ParagraphChange();
    void AlignmentChange();
    void BulletsChange();
    void Arrange();
};
