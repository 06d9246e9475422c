#pragma once
// The numbered windows of one kind (console, patch, macro and audio windows):
// the forms side of a module's list of windows. The module opens window n and
// the registry creates it. Window 0 is docked into a page of the main window;
// windows 1.. float. A floating window takes its position from the settings
// section named after it (its object name), or, without one, opens below the
// main window's menu bar and page tabs (FloatingWindowPlace); it has two entries
// in its submenu of the window menu (its caption + " anzeigen" and + " auf den
// primären Screen anzeigen", handled by the module), comes up raised when asked,
// first at the primary screen's top left if so, and when it goes it writes its
// position and takes its entries along. The registry is a child of the module's signals
// object: the windows go, and write their positions, when the module goes.

#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"

#include <QAction>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <exception>
#include <vector>

class QMenu;

// W(M& module, int n) creates window n and gives it its object name and
// caption; W::MenuCaption() is the caption its window-menu entries show;
// W::Dock(target) puts window 0, or its panels, into the dock target.
template <class W, class M>
class TNumberedWindows : public QObject {
public:
    // What sets one kind of numbered window apart.
    struct TKind {
        // The window menu's submenu for the entries; nullptr when there is none.
        QMenu* (*Menu)() = nullptr;
        // The module's handler of an entry: tag n shows window n, n + 100 moves
        // it to the top left first.
        void (M::*MenuClick)(int tag) = nullptr;
        // Window 0 keeps a position of its own too: its size sets its panels'.
        bool Window0Placed = false;
        // Runs once the window has its position and size; nullptr: nothing.
        void (*Placed)(W& window) = nullptr;
        // A floating window opened with show comes up raised and active, not
        // only shown.
        bool OpenRaised = false;
    };

    TNumberedWindows(M& module, QObject* owner, QWidget* dockTarget, const TKind& kind)
        : QObject(owner), FModule(module), FDockTarget(dockTarget), FKind(kind)
    {
        FInstance = this;
    }
    ~TNumberedWindows() override
    {
        if (FInstance == this)
            FInstance = nullptr;
        CutTo(0);
    }
    TNumberedWindows(const TNumberedWindows&) = delete;
    TNumberedWindows& operator=(const TNumberedWindows&) = delete;

    // The registry of this kind while it exists, and its window n.
    static TNumberedWindows* Instance() { return FInstance; }
    static W* Find(int n) { return FInstance ? FInstance->At(n) : nullptr; }

    // Window n; nullptr when there is none (a docked window may have gone with
    // the main window: it is simply gone from the list, never deleted twice).
    W* At(int n) const { return n >= 0 && n < Count() ? FWindows[size_t(n)].Window.data() : nullptr; }
    int Count() const { return int(FWindows.size()); }

    // Creates window n in place of a window n there may be: window 0 goes into
    // the dock target; a further window takes its position and its entries and,
    // with show, comes up.
    W* Open(int n, bool show = true)
    {
        if (n < 0)
            return nullptr;
        if (FWindows.size() <= size_t(n))
            FWindows.resize(size_t(n) + 1);
        Free(n);
        auto* w = new W(FModule, n);
        TSlot& slot = FWindows[size_t(n)];
        slot.Window = w;
        if (n > 0 || FKind.Window0Placed) {
            // A floating window without a stored position opens where it leaves
            // the main window's menu bar and page tabs in sight.
            LoadFormPosition(w, n > 0 ? FloatingWindowPlace(n) : QPoint(4, 4));
            if (FKind.Placed)
                FKind.Placed(*w);
        }
        if (n == 0) {
            w->Dock(FDockTarget);
            return w;
        }
        for (QAction* a :
             AddShowMenuItems(FKind.Menu ? FKind.Menu() : nullptr, w->MenuCaption(), n,
                              [module = &FModule, click = FKind.MenuClick](int tag) { (module->*click)(tag); }))
            slot.Entries << a;
        if (show) {
            if (FKind.OpenRaised)
                ShowWindowRaised(w, false);
            else
                w->show();
        }
        return w;
    }

    // Brings up window n, at the primary screen's top left when topLeft. Window
    // 0 has no window of its own to show: its panels are docked.
    void Show(int n, bool topLeft)
    {
        if (n > 0)
            ShowWindowRaised(At(n), topLeft);
    }

    // Frees the windows from number count on, the last first.
    void CutTo(int count)
    {
        while (Count() > std::max(count, 0)) {
            Free(Count() - 1);
            FWindows.pop_back();
        }
    }

    // Follows the module's signals: opened(n), or opened(n, show), opens window
    // n; showRequested(n, topLeft) shows it.
    template <class S>
    void Follow(S* source, void (S::*opened)(int), void (S::*showRequested)(int, bool))
    {
        connect(source, opened, this, [this](int n) { Guarded([&] { Open(n); }); });
        connect(source, showRequested, this, [this](int n, bool topLeft) { Show(n, topLeft); });
    }
    template <class S>
    void Follow(S* source, void (S::*opened)(int, bool), void (S::*showRequested)(int, bool))
    {
        connect(source, opened, this, [this](int n, bool show) { Guarded([&] { Open(n, show); }); });
        connect(source, showRequested, this, [this](int n, bool topLeft) { Show(n, topLeft); });
    }

private:
    struct TSlot {
        QPointer<W> Window;
        QList<QPointer<QAction>> Entries;   // the menu may go first
    };

    // Window n goes: first its entries, then its position is written.
    void Free(int n)
    {
        TSlot& slot = FWindows[size_t(n)];
        for (const QPointer<QAction>& a : slot.Entries)
            delete a.data();
        slot.Entries.clear();
        W* w = slot.Window.data();
        if (!w)
            return;
        if (n > 0 || FKind.Window0Placed) {
            try {
                SaveFormPosition(w);
            } catch (const std::exception& e) {
                AddToErrorLog(elError, ExceptionMessage(e));
            }
        }
        delete w;
    }

    static inline TNumberedWindows* FInstance = nullptr;
    M& FModule;
    QPointer<QWidget> FDockTarget;
    TKind FKind;
    std::vector<TSlot> FWindows;
};
