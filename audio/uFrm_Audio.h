#pragma once
// The audio pages: the panel widget over one TSonivexPanel, the page of ten
// panels (page 0 docked in the main window's audio tab, further pages as
// windows of their own with remembered positions and window-menu entries) and
// the playlist dialog of one panel.

#include "audio/uSonivexPanel.h"

#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QSlider;
class QTableWidget;
class QToolButton;
class TModuleAudio;

// The three button pictures: ProgramDir + "Pics/Play.bmp" (and Pause, Stop)
// when present, else drawn; each a normal and a disabled glyph.
void LoadPanelResources();
QIcon PanelButtonIcon(int tag);
// The drawn 64 x 32 picture of button tag (1 play, 2 pause, 3 stop).
QImage DrawnPanelPicture(int tag);

class TSonivexPanelWidget : public QFrame {
    Q_OBJECT
public:
    TSonivexPanelWidget(TSonivexPanel& panel, QWidget* parent = nullptr);

    TSonivexPanel* Panel() const { return FPanel; }
    // The shared popup's entries: 1 load a file, 2 edit the playlist.
    void PopupMenuClick(int tag);
    // Shows the panel's state.
    void Refresh();

    QLabel* lblNumber;
    QLabel* lblName;
    QLabel* lblTrack;
    QToolButton* btnPlay;
    QToolButton* btnPause;
    QToolButton* btnStop;
    QSlider* tbLevel;
    QLabel* lblLevel;
    QWidget* udTrack;
    QToolButton* btnTrackDown;
    QToolButton* btnTrackUp;
    QLabel* lblLength;
    QLabel* lblTime;
    QSlider* tbPosition;
    bool PopupEnabled = true;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<TSonivexPanel> FPanel;
};

class TfrmAudio : public QWidget {
    Q_OBJECT
public:
    // Page k: page 0 is "frmAudio", docked; a windowed page is "FrmAudio" + k,
    // captioned "Audio " + k. Made by the page registry (CreateAudioPages),
    // which keeps its position and window-menu entries.
    TfrmAudio(TModuleAudio& module, int k);

    int Tag() const { return FTag; }
    QString MenuCaption() const { return windowTitle(); }
    // Moves page 0 into target (the main window's audio tab).
    void Dock(QWidget* target);
    TSonivexPanelWidget* PanelWidget(int i) const { return FPanels.value(i); }
    void leeren1Click();
    void BatchImport1Click();

    QWidget* pnlMain;
    QMenu* popAudio;
    QAction* leeren1;
    QAction* BatchImport1;

private:
    TModuleAudio& FModule;
    int FTag;
    QList<TSonivexPanelWidget*> FPanels;
};

// Builds page 0 into dockTarget and follows the module's pages from then on.
void CreateAudioPages(TModuleAudio& module, QWidget* dockTarget);
// Page k while it exists.
TfrmAudio* AudioPage(int k);

class TFrm_AudioFiles : public QDialog {
    Q_OBJECT
public:
    explicit TFrm_AudioFiles(TSonivexPanelWidget& panel);
    ~TFrm_AudioFiles() override;

    // The playlist dialog for panel; true when closed with OK.
    static bool EditPanelPlaylist(TSonivexPanelWidget& panel);

    void PanelToGrid();
    void GridToPanel();
    void btnLeerenClick();
    void btnDateiClick();
    void btnBereinigenClick();

    QTableWidget* sgFiles;
    QCheckBox* cbAutoname;
    QWidget* pnlBottom;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReloadPanelTrack();
    QString Cell(int row, int col) const;
    void SetCell(int row, int col, const QString& text);

    TSonivexPanelWidget& FWidget;
    TSonivexPanel& FPanel;
    QPointer<QWidget> FOldParent;
    QPoint FOldPos;
    QStringList FNames, FFiles, FLevels;
    std::function<void(TSonivexPanel*)> FOldLevelHook;
};
