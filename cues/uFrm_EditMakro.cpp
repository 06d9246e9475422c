#include "cues/uFrm_EditMakro.h"

#include "console/uFrm_EditSymbol.h"
#include "console/uIconGlyph.h"
#include "cues/uFrm_MakroAssiHilfe.h"
#include "cues/uMod_Makros.h"
#include "framework/uColors.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uPrompts.h"
#include "framework/uTextCodec.h"
#include "framework/uTextEdits.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

void SetMakroGlyph(QAbstractButton* button, int icon, int background, int foreground)
{
    // The system button-face colour is the button's own face: those pixels stay
    // unpainted, so a new macro's icon 0 shows nothing on any style.
    const auto face = [](int value) { return value == TMakro::ButtonFace ? TransparentColorValue : value; };
    SetButtonGlyph(button, icon, face(background), face(foreground));
}

Tfrm_EditMakro::Tfrm_EditMakro(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_EditMakro"));
    setWindowTitle(QStringLiteral("Makro bearbeiten"));
    auto* outer = new QHBoxLayout(this);
    auto* grid = new QGridLayout;
    outer->addLayout(grid);

    lblIndex = Named<QLabel>(QStringLiteral("lblIndex"));
    grid->addWidget(lblIndex, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Name:")), 1, 0);
    edtName = Named<QLineEdit>(QStringLiteral("edtName"));
    grid->addWidget(edtName, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Makro:")), 2, 0, Qt::AlignTop);
    auto* makroMemo = Named<TPlainTextEdit>(QStringLiteral("memMakro"));
    makroMemo->SetMaxLength(MaxLength);
    memMakro = makroMemo;
    memMakro->setLineWrapMode(QPlainTextEdit::NoWrap);
    memMakro->setMinimumSize(260, 200);
    grid->addWidget(memMakro, 2, 1, 1, 2);
    btnIcon = Named<QToolButton>(QStringLiteral("btnIcon"));
    btnIcon->setToolTip(QStringLiteral("führt das Makro aus"));
    btnIcon->setFixedSize(23, 22);
    grid->addWidget(btnIcon, 3, 1);
    btnIconChange = Named<QPushButton>(QStringLiteral("btnIconChange"), QStringLiteral("&Icon ändern"));
    grid->addWidget(btnIconChange, 3, 2);
    btnOK = Named<QPushButton>(QStringLiteral("btnOK"), QStringLiteral("OK"));
    btnOK->setDefault(true);
    btnAbbrechen = Named<QPushButton>(QStringLiteral("btnAbbrechen"), QStringLiteral("Abbrechen"));
    grid->addWidget(btnOK, 4, 1);
    grid->addWidget(btnAbbrechen, 4, 2);

    pnlAssiHilfe = Named<QWidget>(QStringLiteral("pnlAssiHilfe"));
    auto* assiLayout = new QVBoxLayout(pnlAssiHilfe);
    assiLayout->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(pnlAssiHilfe, 1);

    connect(memMakro, &QPlainTextEdit::textChanged, this, [this] { LimitLength(); });
    connect(btnIcon, &QToolButton::clicked, this, [this] { Guarded([this] { TestRun(); }); });
    connect(btnIconChange, &QPushButton::clicked, this, [this] { Guarded([this] { ChangeIcon(); }); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfrm_EditMakro::showEvent(QShowEvent* event)
{
    // The assistant is docked after creation: the dialog takes the size it needs
    // with it and stands in the middle of the screen.
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void Tfrm_EditMakro::accept()
{
    // The show file joins a macro's lines with '|' and splits them there again.
    const QStringList lines = SplitLines(memMakro->toPlainText());
    const auto split = std::find_if(lines.begin(), lines.end(),
                                    [](const QString& line) { return line.contains(QLatin1Char('|')); });
    if (split != lines.end()) {
        Prompts().Info(QStringLiteral("Das Zeichen \"|\" kann in einer Makrozeile nicht gespeichert werden:\n") +
                       *split);
        return;
    }
    QDialog::accept();
}

void Tfrm_EditMakro::Fill(int n, const TMakro& m)
{
    lblIndex->setText(QStringLiteral("Makro %1").arg(n));
    edtName->setText(m.Name);
    memMakro->setPlainText(m.Lines.join(QLatin1Char('\n')));
    FIcon = m.Icon;
    FForeground = m.VF;
    FBackground = m.HF;
    PaintGlyph();
}

void Tfrm_EditMakro::Store(TMakro& m) const
{
    m.Name = edtName->text();
    m.Lines = SplitLines(memMakro->toPlainText());
    m.Icon = FIcon;
    m.VF = FForeground;
    m.HF = FBackground;
}

void Tfrm_EditMakro::TestRun()
{
    if (ModuleMain)
        ModuleMain->ExecuteLines(SplitLines(memMakro->toPlainText()), false);
}

void Tfrm_EditMakro::ChangeIcon()
{
    int icon = FIcon;
    int foreground = FForeground;
    int background = FBackground;
    if (!EditSymbol(icon, foreground, background))
        return;
    FIcon = icon;
    FForeground = foreground;
    FBackground = background;
    PaintGlyph();
}

void Tfrm_EditMakro::LimitLength()
{
    // Typed or pasted: what goes beyond the limit is cut off, the cursor stays
    // where it was as far as the shorter text allows.
    const QString text = memMakro->toPlainText();
    if (text.size() <= MaxLength)
        return;
    const int position = std::min(memMakro->textCursor().position(), MaxLength);
    const QSignalBlocker block(memMakro);
    memMakro->setPlainText(text.left(MaxLength));
    QTextCursor cursor = memMakro->textCursor();
    cursor.setPosition(position);
    memMakro->setTextCursor(cursor);
}

void Tfrm_EditMakro::PaintGlyph()
{
    SetMakroGlyph(btnIcon, FIcon, FBackground, FForeground);
}

bool EditMacro(int n, QAbstractButton* button)
{
    TMakro* m = ModuleMakro ? ModuleMakro->GetMacro(n) : nullptr;
    if (!m)
        return false;
    Tfrm_EditMakro dialog;
    // The assistant is lent to the dialog and given back before the dialog goes,
    // however it is left; each generated line is appended to the lines.
    AttachMakroAssiHilfe(dialog.pnlAssiHilfe,
                         [memo = QPointer<QPlainTextEdit>(dialog.memMakro)](const QString& line) {
                             if (memo)
                                 memo->appendPlainText(line);
                         });
    struct TGiveBack {
        QWidget* Panel;
        ~TGiveBack() { DetachMakroAssiHilfe(Panel); }
    } giveBack{dialog.pnlAssiHilfe};
    dialog.Fill(n, *m);
    if (RunDialog(dialog) != QDialog::Accepted)
        return false;
    // The dialog ran modally: a show loaded meanwhile may have replaced the macro.
    m = ModuleMakro ? ModuleMakro->GetMacro(n) : nullptr;
    if (!m)
        return false;
    dialog.Store(*m);
    if (button) {
        SetMakroGlyph(button, m->Icon, m->HF, m->VF);
        button->setToolTip(m->Name);
    }
    return true;
}
