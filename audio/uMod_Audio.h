#pragma once
// The audio module: pages of ten player panels, numbered across the pages,
// driven by the A command, ticked every 100 ms and saved with the show in the
// section "Audio". Page 0 lives in the main window's audio tab; further pages
// are windows of their own. The module owns the pages and their panels; the
// forms follow its signals.

#include "audio/uSonivexPanel.h"
#include "framework/uMod_Abstract.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class TSonivexPanel;

class TAudioSignals : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    // Page k was added; shown at once when show.
    void pageAdded(int k, bool show);
    // Page k is about to be freed (its panels with it).
    void pageRemoving(int k);
    // Page k is to be shown, at the primary screen's top left when topLeft.
    void showPageRequested(int k, bool topLeft);
};

class TModuleAudio : public TModuleAbstract {
public:
    static constexpr int PanelsPerPage = 10;
    // A show names at most this many panels (99 pages) and tracks per panel;
    // the user interface never makes more than 99 tracks.
    static constexpr int MaxPanelCount = 990;
    static constexpr int MaxTrackCount = TSonivexPanel::MaxPlaylistEntries;

    TModuleAudio();
    ~TModuleAudio() override;

    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    // The same section from a copy taken here, written on the save's thread.
    std::function<void(QStringList&)> SaveLater() override;
    void SlowTick() override;
    void NewProject() override;
    // Runs on the GUI thread; a call from another thread is posted there.
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;

    int PageCount() const { return int(FPages.size()); }
    // Panel i mod 10 of page i div 10; nullptr beyond the last page.
    TSonivexPanel* GetPanel(int i) const;
    // Adds page k = PageCount(); returns k.
    int AddAudioPage(bool show);
    // The window-menu entries: tag k shows page k, tag k + 100 at the top left.
    void AudioPageMenuClick(int tag);

    // "&leeren": after the question, every panel of page k loses its current
    // track's file and name and goes to level 0 (ClearTrack).
    void ClearPage(int k);
    // Batch import: after the question, the first files go into the panels of page k.
    void BatchImport(int k, const QStringList& files);

    // "Number | PanelName" of every panel that holds a file.
    void UpdateAudioFileList();
    const QStringList& AudioFileList() const { return FAudioFileList; }

    TAudioSignals* Signals() const { return FSignals.get(); }

private:
    struct TPage {
        std::vector<std::unique_ptr<TSonivexPanel>> Panels;
    };
    void RemoveLastPage();

    std::unique_ptr<TAudioSignals> FSignals;
    std::vector<std::unique_ptr<TPage>> FPages;
    QStringList FAudioFileList;
};
