#include "cues/uFrm_Makro.h"

#include "cues/uFrm_EditMakro.h"
#include "cues/uMod_Makros.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uNumberedWindows.h"

#include <QCloseEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>

// ---- TMakroButton ----

TMakroButton::TMakroButton(TModuleMakro& module, int n) : FModule(module), FMacro(n)
{
    setObjectName(QStringLiteral("btnMakro%1").arg(n));
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(false);
}

void TMakroButton::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton) {
        if (FHeld)
            return;
        FHeld = true;
        setDown(true);
        Guarded([this] { FModule.PressMacro(FMacro, true, false); });
    } else if (e->button() == Qt::RightButton && !FHeld) {
        Guarded([this] { EditMacro(FMacro, this); });
    }
}

void TMakroButton::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton || !FHeld)
        return;
    FHeld = false;
    setDown(false);
    Guarded([this] { FModule.PressMacro(FMacro, false, false); });
}

void TMakroButton::mouseMoveEvent(QMouseEvent* e)
{
    // The button stays down while held, wherever the mouse goes.
    e->accept();
}

void TMakroButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    // A second click in quick succession is a press like the first.
    mousePressEvent(e);
}

// ---- the pages of the module ----

namespace {

using TPages = TNumberedWindows<TFrmMakro, TModuleMakro>;

const TPages::TKind MakroPageKind{
    .Menu = [] { return dmMenu ? dmMenu->Makro1 : nullptr; },
    .MenuClick = &TModuleMakro::ShowMacroPageClick,
};

void RefreshPages(const TPages& pages)
{
    for (int n = 0; n < pages.Count(); ++n)
        if (TFrmMakro* w = pages.At(n))
            w->RefreshPage();
}

} // namespace

void CreateMacroPages(TModuleMakro& module, QWidget* dockTarget)
{
    // Owned by the module's signals object: the pages go (and write their
    // positions) when the module goes. Page 0 sits in the main window.
    TMakroSignals* s = module.Signals();
    auto* pages = new TPages(module, s, dockTarget, MakroPageKind);
    pages->Follow(s, &TMakroSignals::pageOpened, &TMakroSignals::showPageRequested);
    QObject::connect(s, &TMakroSignals::macrosReloaded, pages, [pages] { Guarded([pages] { RefreshPages(*pages); }); });
    // A new show: the pages beyond the first go, from the last down.
    QObject::connect(s, &TMakroSignals::macrosReset, pages, [pages] {
        Guarded([pages] {
            pages->CutTo(1);
            RefreshPages(*pages);
        });
    });
    if (module.PageCount() == 0)
        module.NewMacroWindow();
}

TFrmMakro* MacroPage(int p)
{
    return TPages::Find(p);
}

// ---- TFrmMakro ----

QPoint TFrmMakro::ButtonOrigin(int k)
{
    return {(k % 5) * ButtonWidth + 8, (k / 5) * ButtonHeight + 40 + (k / 20) * 40};
}

TFrmMakro::TFrmMakro(TModuleMakro& module, int p) : QWidget(nullptr), FModule(module), FPage(p)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(131, 666);
    pnlMain = Named<QWidget>(QStringLiteral("pnlMain"), this);
    pnlMain->setGeometry(0, 0, 131, 666);
    for (int k = 0; k < TModuleMakro::ButtonsPerPage; ++k) {
        auto* b = new TMakroButton(module, p * TModuleMakro::ButtonsPerPage + k);
        b->setParent(pnlMain);
        b->setGeometry(QRect(ButtonOrigin(k), QSize(ButtonWidth, ButtonHeight)));
        Buttons.push_back(b);
    }
    for (int j = 0; j < TModuleMakro::EditsPerPage; ++j) {
        const int i = p * TModuleMakro::EditsPerPage + j;
        auto* e = Named<QLineEdit>(QStringLiteral("edtMakro%1").arg(j), pnlMain);
        e->setGeometry(8, j * 128 + 23, 115, 15);
        e->setFrame(false);
        e->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
        connect(e, &QLineEdit::textChanged, this, [this, i](const QString& text) {
            if (!FFilling)
                Guarded([&] { FModule.SetEditText(i, text); });
        });
        Edits.push_back(e);
    }
    RefreshPage();
    if (p == 0)
        return;
    setObjectName(QStringLiteral("FrmMakro%1").arg(p));
    setWindowTitle(QStringLiteral("Makros %1").arg(p));
}

void TFrmMakro::Dock(QWidget* target)
{
    DockInto(this, target);
    // The page keeps its size at the top of the panel.
    if (target && target->layout())
        target->layout()->setAlignment(this, Qt::AlignTop);
}

void TFrmMakro::RefreshPage()
{
    FFilling = true;
    for (int j = 0; j < int(Edits.size()); ++j)
        Edits[size_t(j)]->setText(FModule.GetEditText(FPage * TModuleMakro::EditsPerPage + j));
    FFilling = false;
    for (TMakroButton* b : Buttons) {
        // Beyond the last macro number a button has nothing to show.
        const TMakro* m = FModule.GetMacro(b->Macro());
        b->setToolTip(m ? m->Name : QString());
        SetMakroGlyph(b, m ? m->Icon : -1, m ? m->HF : 10, m ? m->VF : 0);
    }
}

void TFrmMakro::closeEvent(QCloseEvent* e)
{
    // Closing only hides the window; its menu entries show it again.
    e->ignore();
    hide();
}
