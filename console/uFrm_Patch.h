#pragma once
// The patch window: the 512 DMX slots as a scrolling grid of small cells with
// console channel, input and output level and curve, and the editor of the
// selected slot's console channel and curve with quick keys for patching runs
// of slots. Window 0's panels live on the main window's patch page; windows 1..
// float and have two entries each in the window menu. The patch module keeps
// the data; a tick only asks the visible views to repaint.

#include <QPointer>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QSpinBox;
class TModulePatch;

class TFrmPatch : public QWidget {
public:
    static constexpr int Rows = 7;
    static constexpr int Columns = 12;

    // Window n: "FrmPatch" (n = 0) or "FrmPatch" + n, caption "Patch " + n.
    // Made by the window registry (CreatePatchWindows), which keeps its
    // position and window-menu entries.
    TFrmPatch(TModulePatch& module, int n);
    ~TFrmPatch() override;

    int Tag() const { return FTag; }
    QString MenuCaption() const { return windowTitle(); }
    // Moves the two panels into target (the main window's patch page) and
    // shows the editor there.
    void Dock(QWidget* target);

    // The editor part again: curve list, selected slot, status bar. Only while shown.
    void RefreshPatchEditor();
    // A tick computed a frame: the view repaints while shown.
    void RepaintPatchView();
    void SelectDmx(int n);
    int SelectedDmx() const { return FSelected; }
    // The slot whose cell holds the view point p; 0 outside the cells.
    int SlotAt(QPoint p) const;
    // Left and top of the cell at row r, column c of the view.
    QPoint CellOrigin(int r, int c) const;
    int LineHeight() const;

    QWidget* pnlPatchEdit = nullptr;
    QWidget* pnlPatchView = nullptr;
    QWidget* pbPatch = nullptr;
    QScrollBar* sbPatch = nullptr;
    QSpinBox* udPultkanal = nullptr;
    QComboBox* cmbKennlinie = nullptr;
    QLabel* lblDMX = nullptr;
    QLabel* lblPegelIn = nullptr;
    QLabel* lblPegelOut = nullptr;
    QLabel* lblPegelInProz = nullptr;
    QLabel* lblPegelOutProz = nullptr;
    QLabel* lblKanalname = nullptr;
    QLabel* lblDMXInit = nullptr;
    QLabel* lblStatusModified = nullptr;
    QLabel* lblStatusFile = nullptr;

    TModulePatch& Module() const { return FModule; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowLevels();
    void ApplyEdit();
    bool ChannelKey(QChar key);
    bool CurveKey(QChar key);

    TModulePatch& FModule;
    int FTag;
    int FSelected = 1;
    bool FUpdating = false;
    QLineEdit* FEdit = nullptr;   // the spin box's edit
    QPointer<QWidget> FDockedEdit;
    QPointer<QWidget> FDockedView;
};

// Creates patch window 0, docked into dockTarget, opens every further window
// the module asks for (the windows go with the module) and gives the module
// the curve editor.
void CreatePatchWindows(TModulePatch& module, QWidget* dockTarget);
// Window n while it exists; nullptr otherwise.
TFrmPatch* PatchWindow(int n);
