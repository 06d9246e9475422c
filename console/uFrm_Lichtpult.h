#pragma once
// The console window: a tree of console pages grouped by category on the left and
// a horizontally scrolling box of up to 24 faders on the right. Window 0 is the
// one whose panels live on the main window's console page; windows 1.. float and
// have two entries each in the window menu.
//
// The console module keeps which windows exist and their pages; the windows follow
// its signals. Each window has one connection to the module's channel
// notifications. A level or output change only marks the window; its faders show
// the new values once, after the tick (or soon after a change outside a tick),
// and not at all while the window is not shown. Other changes go at once to the
// faders bound to that channel.

#include <QPointer>
#include <QWidget>

#include <array>
#include <vector>

class QAction;
class QMenu;
class QScrollArea;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class TFader;
class TFaderRefresh;
class TKanal;
class TModuleLichtpult;

class TFrmLichtpult : public QWidget {
public:
    static constexpr int FaderCount = 24;

    // Window n: n = 0 is named "FrmLichtpult" and has no caption of its own;
    // n > 0 is "FrmLichtpult" + n, "Lichtpult " + n. Made by the window registry
    // (CreateLichtpultWindows), which keeps its position and window-menu entries.
    TFrmLichtpult(TModuleLichtpult& module, int n);
    // Writes the tree width into the settings section of the window.
    ~TFrmLichtpult() override;

    int Tag() const { return FTag; }
    // The caption without the page shown: the window-menu entries show it.
    const QString& MenuCaption() const { return FCaption; }
    // The tree width from the settings section of the window, for its size.
    void RestoreTreeWidth();
    // Moves the tree and the fader box into target (the main window's console panel).
    void Dock(QWidget* target);

    // A change of channel nr reaches the faders bound to it (levels and outputs
    // after the tick).
    void KanalChanged(int nr, int code);
    void RebuildPageTree();
    // Binds the fader of slot to k when page is the page shown.
    void SetFaderKanal(int page, int slot, TKanal* k);
    // Binds every fader up to the last used slot that has a channel again.
    void RebindFaders();
    // Shows page index (the tree's selection does this).
    void ShowPage(int page);
    int ShownPage() const { return FZeilenIndex; }
    int LastSlot() const { return FLastSlot; }
    TFader* Fader(int slot) const { return FFaders[static_cast<std::size_t>(slot)]; }

    // The keyboard rule between neighbouring faders.
    void FaderKey(TFader& fader, int part, QChar c);
    // The visible fader with a channel whose horizontal extent holds x (in the
    // fader box's content coordinates); nullptr when none.
    TFader* FaderAt(int x) const;
    // Opens popFader for the point pos of the fader box's content; the group items
    // are enabled, and the version menus filled, for the group fader under it.
    void PopupFaderMenu(const QPoint& pos);
    // Opens popSeiten for the point pos of the tree's viewport.
    void PopupPageMenu(const QPoint& pos);

    QWidget* pnlTree = nullptr;
    QTreeWidget* tvSeiten = nullptr;
    QSplitter* Splitter1 = nullptr;
    QScrollArea* sbFader = nullptr;
    QWidget* pnlFader = nullptr;   // the fader box's content
    QMenu* popSeiten = nullptr;
    QMenu* popFader = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void CurrentPageChanged(QTreeWidgetItem* item);
    void FitFaders();
    void BlackOutClick();
    void IconAendernClick();
    void NamenAendernClick();
    // group: the group scene the items work on, -1 for none (they are disabled).
    void EnableGroupItems(int group);
    void StoreGroupClick(bool fromOutput);
    // A version item: select makes the version named name current, else version
    // tag goes on the console.
    void GroupVersionClick(int group, bool select, const QString& name, int tag);
    void PageMenuClick(int action);
    static int PageOf(const QTreeWidgetItem* item);

    TModuleLichtpult& FModule;
    int FTag;
    QString FCaption;
    std::array<TFader*, FaderCount> FFaders{};
    TFaderRefresh* FRefresh = nullptr;   // a child of pnlFader
    int FLastSlot = -1;
    int FZeilenIndex = -1;
    int FTreeWidth = 180;
    std::vector<QTreeWidgetItem*> FNodes;
    QPointer<TFader> FPopupFader;
    int FPopupGroup = -1;
    QAction* FGroupStoreSet = nullptr;
    QAction* FGroupStoreShown = nullptr;
    QMenu* FGroupCurrent = nullptr;
    QMenu* FGroupOnConsole = nullptr;
    int FPopupPage = -1;
    QPointer<QSplitter> FDockedSplitter;
    // The fader box's viewport, the one object this window filters. Kept apart so
    // that the filter never calls into the scroll area, which also sends events
    // while it is being destroyed.
    QObject* FFaderViewport = nullptr;
};

// Creates console window 0 with its panels docked into dockTarget and follows the
// console module: creates, shows and places further windows as the module opens
// them. The windows live as long as the module; they are freed with it.
void CreateLichtpultWindows(TModuleLichtpult& module, QWidget* dockTarget);
// The console window number n, nullptr when there is none.
TFrmLichtpult* LichtpultWindow(int n);
