#pragma once
// The macro pages: 100 macro buttons in five blocks of 20, each block with a
// caption edit above it. Page 0 is docked in the main window; pages 1.. are
// windows of their own with two entries each in the window menu. The macro
// module keeps the macros, captions and the number of pages; the pages follow.

#include <QToolButton>
#include <QWidget>

#include <vector>

class QLineEdit;
class TModuleMakro;

// A macro button. It reacts to the raw mouse presses and releases: one press
// and one release per click, also when the mouse leaves the button in between.
class TMakroButton : public QToolButton {
public:
    TMakroButton(TModuleMakro& module, int n);
    int Macro() const { return FMacro; }

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    TModuleMakro& FModule;
    int FMacro;
    bool FHeld = false;   // pressed by the left button, release still to run
};

class TFrmMakro : public QWidget {
public:
    static constexpr int ButtonWidth = 23;
    static constexpr int ButtonHeight = 22;

    // Page p: page 0 stays nameless and is docked; a windowed page is named
    // "FrmMakro" + p, captioned "Makros " + p. Made by the page registry
    // (CreateMacroPages), which keeps its position and window-menu entries.
    TFrmMakro(TModuleMakro& module, int p);

    int Page() const { return FPage; }
    QString MenuCaption() const { return windowTitle(); }
    // Moves page 0 into target (the main window's macro panel).
    void Dock(QWidget* target);
    // The position of button k (0..99) on its page.
    static QPoint ButtonOrigin(int k);

    // Captions and buttons again from the module.
    void RefreshPage();

    QWidget* pnlMain = nullptr;
    std::vector<TMakroButton*> Buttons;
    std::vector<QLineEdit*> Edits;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    TModuleMakro& FModule;
    int FPage;
    bool FFilling = false;
};

// Creates page 0, docked into dockTarget, and every further page the module
// opens (the pages go with the module).
void CreateMacroPages(TModuleMakro& module, QWidget* dockTarget);
// Page p while it exists; nullptr otherwise.
TFrmMakro* MacroPage(int p);
