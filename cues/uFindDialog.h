#pragma once
// The script page's find and replace dialogs.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The modeless find and replace dialogs ("FindDialog1", "ReplaceDialog1"). The
// direction is always downwards.
class TFindDialog : public QDialog {
public:
    TFindDialog(bool replace, QWidget* parent);
    QString FindText() const;
    QString ReplaceText() const;
    bool MatchCase() const;
    bool WholeWord() const;

    QLineEdit* edtFind;
    QLineEdit* edtReplace = nullptr;
    QCheckBox* cbMatchCase;
    QCheckBox* cbWholeWord;
    QRadioButton* rbUp;
    QRadioButton* rbDown;
    QPushButton* btnFindNext;
    QPushButton* btnReplace = nullptr;
    QPushButton* btnReplaceAll = nullptr;
    QPushButton* btnCancel;
};
