#pragma once
// The macro editor: the modal dialog that edits one macro's name, lines, icon
// and colours, runs the lines as a test and hosts the macro assistant beside it.

#include <QDialog>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TMakro;

class Tfrm_EditMakro : public QDialog {
public:
    // At most this many characters of lines (a line break counts as one).
    static constexpr int MaxLength = 250;

    explicit Tfrm_EditMakro(QWidget* parent = nullptr);

    // Fills the dialog from macro n.
    void Fill(int n, const TMakro& m);
    // Stores the dialog's values into m.
    void Store(TMakro& m) const;

    int Icon() const { return FIcon; }
    int Foreground() const { return FForeground; }
    int Background() const { return FBackground; }

    // The test run: every line of the memo as it stands, release lines included
    // (their leading U makes them do nothing).
    void TestRun();
    // The icon dialog; on OK its icon and colours become the dialog's.
    void ChangeIcon();

    QLabel* lblIndex = nullptr;
    QLineEdit* edtName = nullptr;
    QPlainTextEdit* memMakro = nullptr;
    QToolButton* btnIcon = nullptr;
    QPushButton* btnIconChange = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnAbbrechen = nullptr;
    // The macro assistant sits here while the dialog is open.
    QWidget* pnlAssiHilfe = nullptr;

    // OK: the values are taken over unless a line holds a '|', which the show
    // file cannot keep in a macro line; then a message says so and the dialog
    // stays open with its text.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LimitLength();
    void PaintGlyph();

    int FIcon = -1;
    int FForeground = 0;
    int FBackground = 10;
};

// The glyph of a macro button: icon in the macro's colours; pixels in the
// system button-face colour stay unpainted.
void SetMakroGlyph(QAbstractButton* button, int icon, int background, int foreground);

// Opens the editor on macro n (object name "frm_EditMakro", through RunDialog);
// on OK the macro takes the dialog's values, and button (when given) shows the
// new glyph and name. Returns true on OK; false also when there is no macro n.
bool EditMacro(int n, QAbstractButton* button);
