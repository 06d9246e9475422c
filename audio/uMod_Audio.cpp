#include "audio/uMod_Audio.h"

#include "audio/uSonivexPanel.h"
#include "framework/uErrorLog.h"
#include "framework/uPrompts.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <QThread>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

const QString Section = QStringLiteral("Audio");

}   // namespace

TModuleAudio::TModuleAudio() : FSignals(std::make_unique<TAudioSignals>())
{
    Tag = QChar('A');
    Name = QStringLiteral("Audio");
    ResetAudioOutputWarning();
    AddAudioPage(false);
}

TModuleAudio::~TModuleAudio()
{
    while (!FPages.empty())
        RemoveLastPage();
}

int TModuleAudio::AddAudioPage(bool show)
{
    const int k = PageCount();
    auto page = std::make_unique<TPage>();
    for (int i = 0; i < PanelsPerPage; ++i) {
        auto panel = std::make_unique<TSonivexPanel>();
        panel->SetNumber(i + 1 + PanelsPerPage * k);
        page->Panels.push_back(std::move(panel));
    }
    FPages.push_back(std::move(page));
    emit FSignals->pageAdded(k, show);
    return k;
}

void TModuleAudio::RemoveLastPage()
{
    emit FSignals->pageRemoving(PageCount() - 1);
    FPages.pop_back();
}

TSonivexPanel* TModuleAudio::GetPanel(int i) const
{
    if (i < 0 || i / PanelsPerPage >= PageCount())
        return nullptr;
    return FPages[i / PanelsPerPage]->Panels[i % PanelsPerPage].get();
}

void TModuleAudio::AudioPageMenuClick(int tag)
{
    const int k = tag % 100;
    if (k >= 0 && k < PageCount())
        emit FSignals->showPageRequested(k, tag >= 100);
}

void TModuleAudio::SlowTick()
{
    for (const auto& page : FPages)
        for (const auto& panel : page->Panels)
            panel->PanelTick();
}

void TModuleAudio::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    if (QThread::currentThread() != FSignals->thread()) {
        QMetaObject::invokeMethod(FSignals.get(), [this, tokens, remote]() mutable { ExecuteCommand(tokens, remote); },
                                  Qt::QueuedConnection);
        return;
    }
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'A')
        return;
    const int n = GetTokenInt(tokens, 0);
    if (n >= 1) {
        if (TSonivexPanel* panel = GetPanel(n - 1))
            panel->ExecutePanelCommand(tokens);
    } else if (n == 0) {
        for (int i = 0; TSonivexPanel* panel = GetPanel(i); ++i)
            panel->ExecutePanelCommand(tokens);
    }
}

void TModuleAudio::NewProject()
{
    while (PageCount() > 1)
        RemoveLastPage();
    for (const auto& panel : FPages[0]->Panels)
        panel->Clear();
}

void TModuleAudio::ClearPage(int k)
{
    if (k < 0 || k >= PageCount() || !Prompts().AskYesNo(QStringLiteral("Alle Audio-Panel dieser Seite leeren?")))
        return;
    for (const auto& panel : FPages[k]->Panels)
        panel->ClearTrack();
}

void TModuleAudio::BatchImport(int k, const QStringList& files)
{
    const int c = int(files.size());
    if (k < 0 || k >= PageCount() || c == 0)
        return;
    const QString question =
        c <= PanelsPerPage
            ? QStringLiteral("Es wurden %1 Dateien gewählt, es werden die ersten %1 Audio-Panel gefüllt. Fortfahren?").arg(c)
            : QStringLiteral("Es wurden %1 Dateien gewählt, es können aber nur %2 Dateien geladen werden. Fortfahren?")
                  .arg(c)
                  .arg(PanelsPerPage);
    if (!Prompts().AskYesNo(question))
        return;
    for (int i = 0; i < std::min(c, PanelsPerPage); ++i)
        FPages[k]->Panels[i]->SetFilename(files.at(i));
}

void TModuleAudio::LoadIni(TStringIniFile& ini)
{
    int count = ini.ReadInteger(Section, QStringLiteral("PanelCount"), 0);
    if (count > MaxPanelCount) {
        AddToErrorLog(elWarning, QStringLiteral("Audio: PanelCount=%1 ist zu groß, es werden %2 Panel gelesen.")
                                     .arg(count)
                                     .arg(MaxPanelCount));
        count = MaxPanelCount;
    }
    // Every panel stops and lets go of the show before, playing or not: a track
    // of that show that ran on would, at its end, be reloaded into this show's
    // playlist and saved with it.
    for (int i = 0; TSonivexPanel* panel = GetPanel(i); ++i)
        panel->Clear();
    while (PageCount() < count / PanelsPerPage)
        AddAudioPage(false);
    // Track numbers no key ends in hold empty entries: they are not looked up,
    // and a playlist ends at the last track the section names.
    const std::vector<bool> numbers = ini.KeyNumbers(Section, MaxTrackCount);
    for (int i = 0; i < count; ++i) {
        TSonivexPanel* panel = GetPanel(i);
        if (!panel)
            continue;
        const int n = i + 1;
        const int tracks = std::min(ini.ReadInteger(Section, TIniKey("TrackCount_", n), 0), MaxTrackCount);
        const int id = ini.ReadInteger(Section, TIniKey("TrackID_", n), 1);
        panel->Names.clear();
        panel->Files.clear();
        panel->Levels.clear();
        int last = tracks;
        while (last >= 0 && !numbers[size_t(last)])
            --last;
        for (int j = 0; j <= last; ++j) {
            if (!numbers[size_t(j)]) {
                panel->Names.append(QString());
                panel->Files.append(QString());
                panel->Levels.append(QString());
                continue;
            }
            panel->Names.append(ini.ReadString(Section, TIniKey("Name_", n, "_").Append(j), QString()));
            panel->Files.append(ini.ReadString(Section, TIniKey("File_", n, "_").Append(j), QString()));
            panel->Levels.append(ini.ReadString(Section, TIniKey("Level_", n, "_").Append(j), QString()));
        }
        panel->UpdateTrackCount();
        panel->LoadTrack(id);
    }
}

void TModuleAudio::SaveToStrings(QStringList& lines)
{
    SaveLater()(lines);
}

std::function<void(QStringList&)> TModuleAudio::SaveLater()
{
    // The playlists copied here (Qt's shared copies), written on the save's thread.
    struct TPlaylist {
        int Number = 0;
        int Tracks = 0;
        int TrackID = 0;
        QStringList Names, Files, Levels;
    };
    auto playlists = std::make_shared<std::vector<TPlaylist>>();
    const int panelCount = PageCount() * PanelsPerPage;
    for (int i = 0; TSonivexPanel* panel = GetPanel(i); ++i)
        if (panel->TrackCount() > 0)
            playlists->push_back(
                {panel->Number(), panel->TrackCount(), panel->TrackID(), panel->Names, panel->Files, panel->Levels});
    return [playlists, panelCount](QStringList& lines) {
        lines << QString() << QStringLiteral("[Audio]");
        lines << QStringLiteral("PanelCount=%1").arg(panelCount);
        for (const TPlaylist& p : *playlists) {
            const int n = p.Number;
            lines << QStringLiteral("TrackCount_%1=%2").arg(n).arg(p.Tracks);
            lines << QStringLiteral("TrackID_%1=%2").arg(n).arg(p.TrackID);
            for (int j = 0; j < p.Tracks; ++j) {
                lines << QStringLiteral("Name_%1_%2=").arg(n).arg(j) + OneLine(p.Names.value(j));
                lines << QStringLiteral("File_%1_%2=").arg(n).arg(j) + OneLine(p.Files.value(j));
                lines << QStringLiteral("Level_%1_%2=").arg(n).arg(j) + OneLine(p.Levels.value(j));
            }
        }
    };
}

void TModuleAudio::UpdateAudioFileList()
{
    FAudioFileList.clear();
    for (int i = 0; TSonivexPanel* panel = GetPanel(i); ++i)
        if (!panel->Filename().isEmpty())
            FAudioFileList << QStringLiteral("%1 | %2").arg(panel->Number()).arg(panel->PanelName());
}
