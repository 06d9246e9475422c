#include "console/uFrm_Lichtpult.h"

#include "console/uFader.h"
#include "console/uFaderStrip.h"
#include "console/uFrm_EditLichtpultseite.h"
#include "console/uFrm_EditSymbol.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Szenen.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uNumberedWindows.h"
#include "framework/uPrompts.h"
#include "framework/uStringIniFile.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int MaxCategoryNodes = 16;
constexpr int DuplicateRequest = 1000000;   // page dialog: a new page filled from this one

const QString TreeWidthKey = QStringLiteral("VBreite");

// Where a fader of a slot sits. A page from a file may hold gaps of billions of
// pixels; the fader then sits at the far end of what a widget can reach (the
// order of the faders is kept up to there), and the fader box's width, position
// plus fader, stays inside the integer range.
int FaderLeft(std::int64_t x)
{
    constexpr std::int64_t Farthest = QWIDGETSIZE_MAX - TFader::FaderWidth - 4;
    return static_cast<int>(std::clamp<std::int64_t>(x, 0, Farthest));
}

using TWindows = TNumberedWindows<TFrmLichtpult, TModuleLichtpult>;

const TWindows::TKind LichtpultWindowKind{
    .Menu = [] { return dmMenu ? dmMenu->Lichtpult1 : nullptr; },
    .MenuClick = &TModuleLichtpult::ShowWindowFromMenu,
    .Window0Placed = true,
    .Placed = [](TFrmLichtpult& w) { w.RestoreTreeWidth(); },
};

QAction* MenuItem(QMenu* menu, const QString& name, const QString& caption)
{
    auto* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

} // namespace

void CreateLichtpultWindows(TModuleLichtpult& module, QWidget* dockTarget)
{
    // Owned by the module's signals object: the windows go (and write their
    // settings) when the module goes.
    auto* windows = new TWindows(module, module.Signals(), dockTarget, LichtpultWindowKind);
    windows->Follow(module.Signals(), &TLichtpultSignals::windowOpened, &TLichtpultSignals::showWindowRequested);
    windows->Open(0);
}

TFrmLichtpult* LichtpultWindow(int n)
{
    return TWindows::Find(n);
}

// ---------------------------------------------------------------------------
// TFrmLichtpult

TFrmLichtpult::TFrmLichtpult(TModuleLichtpult& module, int n) : QWidget(nullptr), FModule(module), FTag(n)
{
    setObjectName(n == 0 ? QStringLiteral("FrmLichtpult") : QStringLiteral("FrmLichtpult%1").arg(n));
    FCaption = n == 0 ? QString() : QStringLiteral("Lichtpult %1").arg(n);
    setWindowTitle(FCaption);
    // Closing the main window ends the program, whichever console windows are open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(900, 420);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    layout->addWidget(Splitter1);

    pnlTree = new QWidget;
    pnlTree->setObjectName(QStringLiteral("pnlTree"));
    auto* treeLayout = new QVBoxLayout(pnlTree);
    treeLayout->setContentsMargins(8, 8, 8, 8);
    tvSeiten = new QTreeWidget;
    tvSeiten->setObjectName(QStringLiteral("tvSeiten"));
    tvSeiten->setHeaderHidden(true);
    tvSeiten->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvSeiten->setContextMenuPolicy(Qt::CustomContextMenu);
    treeLayout->addWidget(tvSeiten);

    sbFader = new QScrollArea;
    sbFader->setObjectName(QStringLiteral("sbFader"));
    sbFader->setFrameShape(QFrame::NoFrame);
    sbFader->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sbFader->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pnlFader = new QWidget;
    pnlFader->setObjectName(QStringLiteral("pnlFader"));
    pnlFader->setContextMenuPolicy(Qt::CustomContextMenu);
    sbFader->setWidget(pnlFader);
    FFaderViewport = sbFader->viewport();
    FFaderViewport->installEventFilter(this);

    Splitter1->addWidget(pnlTree);
    Splitter1->addWidget(sbFader);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    for (int i = 0; i < FaderCount; ++i) {
        auto* f = new TFader(pnlFader);
        f->setObjectName(QStringLiteral("Fader%1").arg(i));
        f->FaderIndex = i;
        f->move(4 + 44 * i, 4);
        f->setVisible(i < 12);
        f->OnKey = [this](TFader& fader, int part, QChar c) { FaderKey(fader, part, c); };
        TKanal* k = nullptr;
        FModule.FindKanal(i + 1, k);
        f->SetKanal(k);
        FFaders[static_cast<std::size_t>(i)] = f;
    }

    BuildMenus();
    FRefresh = new TFaderRefresh(pnlFader, std::vector<TFader*>(FFaders.begin(), FFaders.end()));

    TLichtpultSignals* s = FModule.Signals();
    connect(s, &TLichtpultSignals::kanalChanged, this, [this](int nr, int code) { KanalChanged(nr, code); });
    connect(s, &TLichtpultSignals::tickDone, this, [this] { Guarded([this] { FRefresh->Flush(); }); });
    connect(s, &TLichtpultSignals::prozentChanged, this, [this] { Guarded([this] { FRefresh->ReformatAll(); }); });
    connect(s, &TLichtpultSignals::pagesChanged, this, [this] { Guarded([this] { RebuildPageTree(); }); });
    connect(s, &TLichtpultSignals::refreshWindowsRequested, this, [this] { Guarded([this] { RebindFaders(); }); });
    connect(s, &TLichtpultSignals::zeilenKanalChanged, this, [this](int page, int slot, int nr) {
        TKanal* k = nullptr;
        FModule.FindKanal(nr, k);
        SetFaderKanal(page, slot, k);
    });
    connect(tvSeiten, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { Guarded([&] { CurrentPageChanged(item); }); });
    connect(tvSeiten, &QWidget::customContextMenuRequested, this, &TFrmLichtpult::PopupPageMenu);
    connect(pnlFader, &QWidget::customContextMenuRequested, this, &TFrmLichtpult::PopupFaderMenu);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { FTreeWidth = Splitter1->sizes().value(0, FTreeWidth); });

    RebuildPageTree();
}

TFrmLichtpult::~TFrmLichtpult()
{
    try {
        if (SettingsIni)
            SettingsIni->WriteInteger(objectName(), TreeWidthKey, FTreeWidth);
    } catch (const std::exception& e) {
        AddToErrorLog(elError, ExceptionMessage(e));
    }
    // The docked panels are this window's, wherever they are shown.
    delete FDockedSplitter.data();
}

void TFrmLichtpult::RestoreTreeWidth()
{
    if (SettingsIni)
        FTreeWidth = SettingsIni->ReadInteger(objectName(), TreeWidthKey, FTreeWidth);
    Splitter1->setSizes({FTreeWidth, qMax(1, width() - FTreeWidth)});
}

void TFrmLichtpult::Dock(QWidget* target)
{
    if (!target)
        return;
    if (!target->layout())
        new QVBoxLayout(target);
    target->layout()->addWidget(Splitter1);
    FDockedSplitter = Splitter1;
}

void TFrmLichtpult::BuildMenus()
{
    popSeiten = new QMenu(this);
    popSeiten->setObjectName(QStringLiteral("popSeiten"));
    const struct {
        const char* Name;
        const char* Caption;
    } pageItems[] = {
        {"SeiteBearbeiten1", "Seite bearbeiten"}, {"SeiteDuplizieren1", "Seite duplizieren"},
        {"NeueSeite1", "Neue Seite"},             {"nachoben1", "nach oben"},
        {"nachunten1", "nach unten"},
    };
    for (int i = 0; i < 5; ++i) {
        QAction* a = MenuItem(popSeiten, QString::fromLatin1(pageItems[i].Name), QString::fromUtf8(pageItems[i].Caption));
        connect(a, &QAction::triggered, this, [this, i] { Guarded([&] { PageMenuClick(i); }); });
    }

    popFader = new QMenu(this);
    popFader->setObjectName(QStringLiteral("popFader"));
    connect(MenuItem(popFader, QStringLiteral("BlackOut1"), QStringLiteral("Black-Out")), &QAction::triggered, this,
            [this] { Guarded([this] { BlackOutClick(); }); });
    popFader->addSeparator();
    connect(MenuItem(popFader, QStringLiteral("IconAendern1"), QStringLiteral("Icon ändern")), &QAction::triggered,
            this, [this] { Guarded([this] { IconAendernClick(); }); });
    connect(MenuItem(popFader, QStringLiteral("NamenAendern1"), QStringLiteral("Namen ändern")), &QAction::triggered,
            this, [this] { Guarded([this] { NamenAendernClick(); }); });
    popFader->addSeparator();
    // The group items work on the group scene of the group fader under the point.
    FGroupStoreSet = MenuItem(popFader, QStringLiteral("eingestellteSzenealsGruppe1"),
                              QStringLiteral("eingestellte Szene als Gruppe speichern"));
    connect(FGroupStoreSet, &QAction::triggered, this, [this] { Guarded([this] { StoreGroupClick(false); }); });
    FGroupStoreShown = MenuItem(popFader, QStringLiteral("angezeigteSzenealsGruppe1"),
                                QStringLiteral("angezeigte Szene als Gruppe speichern"));
    connect(FGroupStoreShown, &QAction::triggered, this, [this] { Guarded([this] { StoreGroupClick(true); }); });
    FGroupCurrent = popFader->addMenu(QStringLiteral("aktuelle Version wählen"));
    FGroupCurrent->setObjectName(QStringLiteral("aktuelleVersion1"));
    FGroupOnConsole = popFader->addMenu(QStringLiteral("Version auf's Pult legen"));
    FGroupOnConsole->setObjectName(QStringLiteral("VersionaufsPult1"));
    EnableGroupItems(-1);
}

void TFrmLichtpult::EnableGroupItems(int group)
{
    FPopupGroup = group;
    const bool on = group >= 0;
    for (QAction* a : {FGroupStoreSet, FGroupStoreShown, FGroupCurrent->menuAction(), FGroupOnConsole->menuAction()})
        a->setEnabled(on);
    // The version menus list the group's versions as they are now; a click on one
    // makes it current, or puts it on the console.
    std::vector<TVersionMenuItem> items;
    if (on && ModuleSzenen)
        ModuleSzenen->FillVersionMenu(group, items);
    for (QMenu* menu : {FGroupCurrent, FGroupOnConsole}) {
        menu->clear();
        const bool select = menu == FGroupCurrent;
        for (const TVersionMenuItem& item : items) {
            // A name is shown as it is: an "&" in it marks no accelerator.
            QAction* a = menu->addAction(QString(item.Caption).replace(u'&', QStringLiteral("&&")));
            a->setCheckable(true);
            a->setChecked(item.Checked);
            connect(a, &QAction::triggered, this, [this, group, select, name = item.Caption, tag = item.Tag] {
                Guarded([&] { GroupVersionClick(group, select, name, tag); });
            });
        }
    }
}

bool TFrmLichtpult::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FFaderViewport && event->type() == QEvent::Resize)
        FitFaders();
    return false;
}

void TFrmLichtpult::FitFaders()
{
    const QSize view = sbFader->viewport()->size();
    const int height = qMax(0, view.height() - 8);
    int right = 0;
    for (TFader* f : FFaders) {
        if (f->height() != height)
            f->resize(TFader::FaderWidth, height);
        if (!f->isHidden())
            right = qMax(right, f->x() + f->width() + 4);
    }
    pnlFader->resize(qMax(right, view.width()), view.height());
}

// ---- channels ----

void TFrmLichtpult::KanalChanged(int nr, int code)
{
    // Levels and outputs change by the hundred in a tick: the faders show them
    // once, after it.
    if (code == kcPegel || code == kcOutput) {
        FRefresh->Changed();
        return;
    }
    TKanal* k = nullptr;
    if (!FModule.FindKanal(nr, k))
        return;
    for (TFader* f : FFaders)
        if (f->Kanal() == k)
            f->KanalChanged(k, code);
}

void TFrmLichtpult::SetFaderKanal(int page, int slot, TKanal* k)
{
    if (page != FZeilenIndex || page < 0 || slot < 0 || slot >= FaderCount)
        return;
    FFaders[static_cast<std::size_t>(slot)]->SetKanal(k);
}

void TFrmLichtpult::RebindFaders()
{
    for (int i = 0; i <= FLastSlot && i < FaderCount; ++i) {
        TFader* f = FFaders[static_cast<std::size_t>(i)];
        if (!f->Kanal())
            continue;
        TKanal* k = nullptr;
        FModule.FindKanal(f->Kanal()->Nr, k);
        f->SetKanal(k);
    }
}

// ---- pages ----

int TFrmLichtpult::PageOf(const QTreeWidgetItem* item)
{
    if (!item)
        return -1;
    const QVariant v = item->data(0, Qt::UserRole);
    return v.isValid() ? v.toInt() : -1;
}

void TFrmLichtpult::RebuildPageTree()
{
    {
        const QSignalBlocker blocker(tvSeiten);
        tvSeiten->clear();
        FNodes.clear();
        const int nodes = qMin(MaxCategoryNodes, static_cast<int>(FModule.Kategorien.size()));
        for (int c = 0; c < nodes; ++c)
            FNodes.push_back(new QTreeWidgetItem(tvSeiten, {FModule.Kategorien.at(c)}));
        // A page whose category has no node (-1, beyond the categories or the
        // sixteen nodes) is not listed; it stays in the module as it is.
        for (int i = 0; i < FModule.PageCount(); ++i) {
            const TLichtpultZeile* z = FModule.GetLichtpultZeile(i);
            if (z->Node < 0 || z->Node >= nodes)
                continue;
            auto* item = new QTreeWidgetItem(FNodes[static_cast<std::size_t>(z->Node)], {z->Name});
            item->setData(0, Qt::UserRole, i);
        }
        tvSeiten->expandAll();
        if (!FNodes.empty() && FNodes.front()->childCount() > 0)
            tvSeiten->setCurrentItem(FNodes.front()->child(0));
    }
    const int first = PageOf(tvSeiten->currentItem());
    if (first >= 0) {
        ShowPage(first);
        return;
    }
    // No page shown: the faders keep what they show but belong to no page, so
    // typing a number into one cannot change a page that happens to have the
    // index of the one shown before.
    FZeilenIndex = -1;
    for (TFader* f : FFaders)
        f->ZeilenIndex = -1;
}

void TFrmLichtpult::CurrentPageChanged(QTreeWidgetItem* item)
{
    if (AppClosing)
        return;
    const int page = PageOf(item);
    if (page >= 0)
        ShowPage(page);
}

void TFrmLichtpult::ShowPage(int page)
{
    const TLichtpultZeile* z = FModule.GetLichtpultZeile(page);
    if (!z)
        return;
    setWindowTitle(FCaption + QStringLiteral(" - ") + z->Name);
    for (int i = 0; i < FaderCount; ++i) {
        const TLichtpultSlot& slot = z->Slots[static_cast<std::size_t>(i)];
        TFader* f = FFaders[static_cast<std::size_t>(i)];
        f->setVisible(slot.Used);
        f->SetModus(slot.SlotKind);
        TKanal* k = nullptr;
        FModule.FindKanal(slot.Nr, k);
        f->SetKanal(k);
        f->move(FaderLeft(slot.X), 4);
        f->ZeilenIndex = page;
    }
    FLastSlot = z->LastSlot;
    FZeilenIndex = page;
    FitFaders();
}

// ---- keyboard rule ----

void TFrmLichtpult::FaderKey(TFader& fader, int part, QChar c)
{
    TKanal* own = fader.Kanal();
    const QChar letter = c.toLower();
    if (!own || QStringLiteral("gnovw").indexOf(letter) < 0)
        return;
    const int dir = c.isLower() ? 1 : -1;
    const int slot = fader.FaderIndex + dir;
    TFader* next = nullptr;
    if (slot >= 0 && slot <= FLastSlot) {
        next = Fader(slot);
    } else {
        // Past the ends of the page: the next (previous) page of the same category.
        QTreeWidgetItem* item = tvSeiten->currentItem();
        QTreeWidgetItem* node = item ? item->parent() : nullptr;
        if (!node || PageOf(item) < 0)
            return;
        const int index = node->indexOfChild(item) + dir;
        if (index < 0 || index >= node->childCount())
            return;
        tvSeiten->setCurrentItem(node->child(index));
        if (FLastSlot < 0)
            return;
        next = Fader(dir > 0 ? 0 : FLastSlot);
    }
    TKanal* other = next ? next->Kanal() : nullptr;
    if (!other)
        return;

    const bool levelPart = part == TFader::fpPegel || part == TFader::fpTrackBar;
    auto bind = [this, next](int nr) {
        TKanal* k = nullptr;
        FModule.FindKanal(nr, k);
        next->SetKanal(k);
        FModule.SetZeilenKanal(next->ZeilenIndex, next->FaderIndex, nr);
    };
    switch (letter.unicode()) {
    case 'g':
    case 'n':
        if (levelPart)
            other->SetPegel(own->Pegel);
        else if (part == TFader::fpModus)
            other->SetModus(own->Modus);
        else if (part == TFader::fpNummer)
            bind(letter == QLatin1Char('g') ? own->Nr : own->Nr + 1);
        break;
    case 'v':
        if (part == TFader::fpNummer)
            bind(own->Nr - 1);
        break;
    case 'w':
        if (levelPart) {
            other->SetPegel(own->Pegel);
            own->SetPegel(own->BlackoutPegel);
        } else if (part == TFader::fpModus) {
            other->SetModus(own->Modus);
        }
        break;
    default:   // 'o': move only
        break;
    }
    next->FocusPart(part);
}

// ---- pop-up menus ----

TFader* TFrmLichtpult::FaderAt(int x) const
{
    for (TFader* f : FFaders)
        if (!f->isHidden() && f->Kanal() && x >= f->x() && x < f->x() + f->width())
            return f;
    return nullptr;
}

void TFrmLichtpult::PopupFaderMenu(const QPoint& pos)
{
    FPopupFader = FaderAt(pos.x());
    // Group g belongs to group channel 511 + g; its group scene always exists.
    const TKanal* k = FPopupFader ? FPopupFader->Kanal() : nullptr;
    TGroupSzene* group = nullptr;
    const int g = k && k->Kind == kkGruppe ? k->Nr - ErsterGruppenKanal : -1;
    EnableGroupItems(ModuleSzenen && ModuleSzenen->TryGetGroupScene(g, group) ? g : -1);
    popFader->popup(pnlFader->mapToGlobal(pos));
}

void TFrmLichtpult::PopupPageMenu(const QPoint& pos)
{
    FPopupPage = PageOf(tvSeiten->itemAt(pos));
    popSeiten->popup(tvSeiten->viewport()->mapToGlobal(pos));
}

void TFrmLichtpult::BlackOutClick()
{
    FModule.BlackOut();
}

void TFrmLichtpult::IconAendernClick()
{
    TKanal* k = FPopupFader ? FPopupFader->Kanal() : nullptr;
    if (k)
        EditKanalSymbol(*k);
}

void TFrmLichtpult::NamenAendernClick()
{
    TKanal* k = FPopupFader ? FPopupFader->Kanal() : nullptr;
    if (!k)
        return;
    QString name = k->Name;
    if (Prompts().InputText(QStringLiteral("Namen ändern"), QStringLiteral("Kanal %1").arg(k->Nr), name))
        k->SetName(name);
}

void TFrmLichtpult::StoreGroupClick(bool fromOutput)
{
    if (FPopupGroup >= 0 && ModuleSzenen)
        ModuleSzenen->StoreGroupVersion(FPopupGroup, fromOutput);
}

void TFrmLichtpult::GroupVersionClick(int group, bool select, const QString& name, int tag)
{
    if (!ModuleSzenen)
        return;
    if (select)
        ModuleSzenen->SelectVersion(group, name);
    else
        ModuleSzenen->ApplyGroupVersion(group, tag);
}

void TFrmLichtpult::PageMenuClick(int action)
{
    const int page = FPopupPage;
    switch (action) {
    case 0:
        if (page >= 0)
            EditLichtpultseite(page);
        break;
    case 1:
        if (page >= 0)
            EditLichtpultseite(page + DuplicateRequest);
        break;
    case 2: EditLichtpultseite(-1); break;
    case 3:
        if (page >= 0)
            FModule.MovePage(page, -1);
        break;
    case 4:
        if (page >= 0)
            FModule.MovePage(page, 1);
        break;
    default: break;
    }
}
