#include "cues/uFindDialog.h"

#include "framework/uFormUtils.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFindDialog::TFindDialog(bool replace, QWidget* parent) : QDialog(parent)
{
    setObjectName(replace ? QStringLiteral("ReplaceDialog1") : QStringLiteral("FindDialog1"));
    setWindowTitle(replace ? QStringLiteral("Ersetzen") : QStringLiteral("Suchen"));
    setModal(false);
    auto* grid = new QGridLayout(this);
    edtFind = Named<QLineEdit>(QStringLiteral("edtFind"));
    // The labels' mnemonics (Alt+N, Alt+D) lead into their edits.
    auto* lblFind = new QLabel(QStringLiteral("Suchen &nach:"));
    lblFind->setBuddy(edtFind);
    grid->addWidget(lblFind, 0, 0);
    grid->addWidget(edtFind, 0, 1);
    if (replace) {
        edtReplace = Named<QLineEdit>(QStringLiteral("edtReplace"));
        auto* lblReplace = new QLabel(QStringLiteral("Ersetzen &durch:"));
        lblReplace->setBuddy(edtReplace);
        grid->addWidget(lblReplace, 1, 0);
        grid->addWidget(edtReplace, 1, 1);
    }
    cbWholeWord = Named<QCheckBox>(QStringLiteral("cbWholeWord"), QStringLiteral("Nur &ganzes Wort"));
    cbMatchCase = Named<QCheckBox>(QStringLiteral("cbMatchCase"), QStringLiteral("&Groß-/Kleinschreibung"));
    grid->addWidget(cbWholeWord, 2, 0, 1, 2);
    grid->addWidget(cbMatchCase, 3, 0, 1, 2);
    auto* direction = new QGroupBox(QStringLiteral("Richtung"));
    direction->setObjectName(QStringLiteral("gbRichtung"));
    rbUp = Named<QRadioButton>(QStringLiteral("rbUp"), QStringLiteral("&Aufwärts"));
    rbDown = Named<QRadioButton>(QStringLiteral("rbDown"), QStringLiteral("A&bwärts"));
    rbDown->setChecked(true);
    direction->setEnabled(false);
    auto* dirLayout = new QHBoxLayout(direction);
    dirLayout->addWidget(rbUp);
    dirLayout->addWidget(rbDown);
    grid->addWidget(direction, 4, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    btnFindNext = Named<QPushButton>(QStringLiteral("btnFindNext"), QStringLiteral("&Weitersuchen"));
    btnFindNext->setDefault(true);
    buttons->addWidget(btnFindNext);
    if (replace) {
        btnReplace = Named<QPushButton>(QStringLiteral("btnReplace"), QStringLiteral("&Ersetzen"));
        btnReplaceAll = Named<QPushButton>(QStringLiteral("btnReplaceAll"), QStringLiteral("&Alle ersetzen"));
        buttons->addWidget(btnReplace);
        buttons->addWidget(btnReplaceAll);
    }
    btnCancel = Named<QPushButton>(QStringLiteral("btnCancel"), QStringLiteral("Abbrechen"));
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    grid->addLayout(buttons, 0, 2, 5, 1);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::close);
}

QString TFindDialog::FindText() const
{
    return edtFind->text();
}

QString TFindDialog::ReplaceText() const
{
    return edtReplace ? edtReplace->text() : QString();
}

bool TFindDialog::MatchCase() const
{
    return cbMatchCase->isChecked();
}

bool TFindDialog::WholeWord() const
{
    return cbWholeWord->isChecked();
}
