#pragma once
// The scene store: numbered scenes with time-stamped level and macro versions,
// their recall as timed crossfades, the 60 group scenes that the group faders
// mix into the console, the T command, the recall log and the show sections
// "Szenen" and "Gruppen".
//
// The scene page and the script page are views of this module. They connect
// through TScenePageLink and TScriptPageLink; headless, nothing is connected:
// the module keeps its own selection, the script's bytes as they were loaded,
// and answers the T command's step execution itself (TScriptStepsHeadless).

#include "console/uKanal.h"
#include "framework/uMod_Abstract.h"
#include "framework/uUtils.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One group scene per group channel.
constexpr int GroupCount = LetzterGruppenKanal - LetzterKonsolenKanal;

// One stored light state.
struct TSzeneVersion {
    QString Name;           // time stamp of its creation, "yyyy-mm-dd hh:mm:ss"
    TLevelArray Levels{};   // channels 1..729
};

// One stored scene macro.
struct TMakroVersion {
    QString Name;   // time stamp of its creation
    // Shared with the master module while this is the recalled scene's macro, so
    // an edit on the scene page takes effect on the next state change, and a show
    // load that drops the scene cannot leave the master with freed lines.
    std::shared_ptr<QStringList> Lines = std::make_shared<QStringList>();
};

class TSzene {
public:
    // Id := id; one level version and one macro version named name, both current.
    TSzene(int id, const QString& name);

    QString MDAT;   // name of the current macro version
    QString NAME;
    QString SDAT;   // name of the current level version
    int Id = 0;     // list count at creation; on load the 0-based key number
    int SNR = 0;    // the scene number, the sort key
    int FAD = 0;    // forward fade time, tenths of a second
    int FAP = 0;    // backward fade time, tenths of a second
    std::vector<TSzeneVersion> Versionen;
    std::vector<TMakroVersion> MakroVersionen;
};

// One item of a group scene's version menu: the version's name, checked when it is
// the current one, and its index in the group's version list.
struct TVersionMenuItem {
    QString Caption;
    bool Checked = false;
    int Tag = 0;
};

struct TGroupSzene {
    std::vector<TSzeneVersion> Versionen;
    QString Aktuell;        // name of the current version
    int AktuellIndex = 0;   // its index; 0 when the name is not found
};

// What the scene page (list of scenes, the scene shown) does for the module.
// Headless, nothing is connected and these do nothing.
class TScenePageLink {
public:
    virtual ~TScenePageLink() = default;
    // The list box is filled again from Szenen ("SNR - NAME" per scene).
    virtual void FillSceneList() = 0;
    // Line index is selected and its scene shown (the module's SelectedScene).
    virtual void SelectScene(int index) = 0;
    // The selected scene is shown again (after a new version, on page change).
    virtual void RefreshSceneForm() = 0;
    // The scene list was cleared (show load, new show): nothing may keep a scene.
    virtual void ScenesCleared() = 0;
};

// The script of a show file made ready for the script page on another thread;
// what it holds is the page's affair.
class TPreparedText {
public:
    virtual ~TPreparedText() = default;
};

// Turns the show file's second part into a prepared text; runs on any thread.
using TTextPreparer = std::function<std::unique_ptr<TPreparedText>(const QByteArray& bytes)>;
// Gives the show file's second part as it was when the function was made; runs
// on any thread (the save's).
using TTextForSave = std::function<QByteArray()>;

// What the script page does for the module: the T command's step operations,
// the fade-end step, and the script text in the show file.
class TScriptPageLink {
public:
    virtual ~TScriptPageLink() = default;
    // The whole T line (token 0 is "T" and the unit number) and the remote flag.
    virtual void ExecuteTextCommand(const QStringList& tokens, bool remote) = 0;
    // A crossfade has ended (playback state 5).
    virtual void UpdateStepDisplay() = 0;
    // The show file's second part. TextPreparer is taken on the GUI thread and
    // carries what it needs of the page with it, so that the conversion runs while
    // the GUI thread goes on; LoadText then shows the bytes, from what the preparer
    // made of exactly these bytes when prepared is given. TextForSave is taken on
    // the GUI thread at the moment of a save. ClearText empties the editor.
    virtual TTextPreparer TextPreparer() = 0;
    virtual void LoadText(const QByteArray& bytes, std::unique_ptr<TPreparedText> prepared) = 0;
    virtual TTextForSave TextForSave() = 0;
    virtual void ClearText() = 0;
    // Appends plain lines at the end of the script.
    virtual void AppendLines(const QStringList& lines) = 0;
};

class TModuleSzenen;

// The script page's step execution without a page: no text can be searched, so
// only the sub-tokens that need none work. Its state starts as a new page's does.
class TScriptStepsHeadless {
public:
    explicit TScriptStepsHeadless(TModuleSzenen& module) : FModule(module) {}

    // A<v> sets AutomatischWeiter; E1 executes NextStepIndex forward, E2 steps back;
    // S and F search markers, which needs the text: they do nothing.
    void ExecuteTextCommand(const QStringList& tokens, bool remote);
    // No next marker is searched; the prior step follows the recall log.
    void UpdateStepDisplay();

    void BackStep(bool noForward);
    void ShowPriorStep();

    int NextStepIndex = 0;
    int PriorStepIndex = 0;
    bool BackStepDone = false;
    bool RemoteExecuted = false;
    bool AutomatischWeiter = true;

private:
    TModuleSzenen& FModule;
};

class TModuleSzenen : public TModuleAbstract {
public:
    TModuleSzenen();
    ~TModuleSzenen() override;

    // Reads sections "Szenen" and "Gruppen"; counts the file gives are bounded by
    // what the section can hold, a level text that does not decode is logged and
    // the rest of the show loads.
    void LoadIni(TStringIniFile& ini) override;
    void SaveToStrings(QStringList& lines) override;
    // The scenes are read on an open's reading thread; a save copies the scenes
    // and group scenes and writes their lines on the save's thread.
    std::unique_ptr<TPreparedSections> PrepareIni(const TStringIniFile& ini) const override;
    void LoadPreparedIni(TStringIniFile& ini, std::unique_ptr<TPreparedSections> prepared) override;
    std::function<void(QStringList&)> SaveLater() override;
    // Drops the scenes and the script text; group scenes, Protokoll and
    // AktuelleSzene stay.
    void NewProject() override;
    // T lines go to the script page (headless: TScriptStepsHeadless); S lines and
    // everything else are ignored.
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;

    // ---- scenes ----

    int SceneCount() const { return static_cast<int>(Szenen.size()); }
    bool TryGetScene(int index, TSzene*& scene) const;
    TSzene& GetScene(int index) const { return *Szenen[static_cast<std::size_t>(index)]; }
    TGroupSzene& GetGroupScene(int g) { return Gruppen[static_cast<std::size_t>(g)]; }
    bool TryGetGroupScene(int g, TGroupSzene*& group);

    // Whether a recall of index would run now: index names a scene and the option
    // "Schritt ausführen während Ausführung" allows it while a crossfade runs.
    bool MayRecall(int index) const;
    // Recalls scene index as a crossfade. False when MayRecall refuses it (or
    // recalls nest too deeply); then nothing at all happens.
    bool RecallScene(int index, bool backward, bool noForward);
    // A new scene at the end of the list from the console's output levels
    // (fromOutput) or set levels; selected and returned.
    TSzene& StoreNewScene(bool fromOutput);
    void NewSceneVersion(TSzene& scene);
    void NewMacroVersion(TSzene& scene, bool copy);
    // "auf's Pult": the named version's levels (empty name: the current version)
    // on all faders at once. Nothing happens when no version has that name.
    void PutSceneOnConsole(const TSzene& scene, const QString& versionName);

    // The current version's levels (first of that name; zeros when none).
    static void CurrentLevels(const TSzene& scene, TLevelArray& levels);
    // The current macro version's lines (first of that name); nullptr when none.
    static std::shared_ptr<QStringList> CurrentMacroLines(const TSzene& scene);
    // By name, the last version of that name.
    static bool FindVersionLevels(const TSzene& scene, const QString& name, TLevelArray& levels);
    static bool FindMacroVersion(const TSzene& scene, const QString& name, QStringList& lines);
    // Version names in list order; the current ones marked " *" (levels) or " (*)" (macros).
    static void ListVersions(const TSzene& scene, QStringList& strings);
    static void ListMacroVersions(const TSzene& scene, QStringList& strings);

    void SetSceneName(TSzene& scene, const QString& v) { scene.NAME = v; }
    void SetSceneNumber(TSzene& scene, int v) { scene.SNR = v; }
    void SetFadeForward(TSzene& scene, int v) { scene.FAD = v; }
    void SetFadeBackward(TSzene& scene, int v) { scene.FAP = v; }
    void SetSDAT(TSzene& scene, const QString& v) { scene.SDAT = v; }
    void SetMDAT(TSzene& scene, const QString& v) { scene.MDAT = v; }

    // Ascending by SNR; scenes with equal numbers keep their order.
    void SortScenes();
    // The scene at position p gets number p + 1; the list is filled again.
    void RenumberScenes();
    void FillSceneList();
    // Selects scene index (when it exists) and shows it on the scene page.
    void SelectScene(int index);
    void RefreshSceneForm();
    // "Neue Version speichern" for the scene the scene page shows.
    void StoreCurrentSceneVersion();
    // Appends the separator and one marker line per scene to the script.
    void ScenesToSteps();
    // The lines ScenesToSteps appends.
    QStringList StepLines() const;
    // The fade-end hook: the script page takes its next step.
    void UpdateTextForm();

    // ---- group scenes ----

    // Level of channel (1..729) in group g's current version; 0 without one.
    int GetChannelLevel(int g, int channel) const;
    int GroupLevel(int g, int n) const { return GetChannelLevel(g, n); }
    // The current version's levels of group g (zeros without one), for the mix.
    const TLevelArray& GroupLevelRow(int g) const;
    void SelectVersion(int g, const QString& name);
    // Channels 1..510 of version index on the faders.
    void ApplyGroupVersion(int g, int index);
    // A new current version of group g from channels 1..510 and 571..729.
    void StoreGroupVersion(int g, bool fromOutput);
    // The console window's version menus of group g: items is cleared, then gets
    // one item per version in list order (none for a g outside 0..59).
    void FillVersionMenu(int g, std::vector<TVersionMenuItem>& items) const;

    // ---- script text (the show file's second part) ----

    // Connected page converts; headless the bytes are kept unchanged.
    void LoadTextFromStream(const QByteArray& bytes, std::unique_ptr<TPreparedText> prepared = nullptr);
    QByteArray SaveTextToStream() const;
    // The page's preparer (TScriptPageLink); empty without a page, where the
    // bytes need no conversion.
    TTextPreparer TextPreparer() const;
    // The script as a save writes it, given on the save's thread.
    TTextForSave TextForSave() const;

    // ---- links to the pages ----

    void SetScenePage(TScenePageLink* page) { FScenePage = page; }
    // nullptr goes back to the headless steps.
    void SetScriptPage(TScriptPageLink* page) { FScriptPage = page; }
    TScriptStepsHeadless& HeadlessSteps() { return *FHeadless; }

    // ---- options from the main window ----

    void SetTextRechtsZurueck(bool v) { TextRechtsZurueck = v; }
    void SetAutoSzenenseite(bool v) { AutoSzenenSeite = v; }
    void SetDefaultFadeForward(int v) { DefaultFadeVor = v; }
    void SetDefaultFadeBackward(int v) { DefaultFadeZurueck = v; }

    // A time stamp that no name in names has: the clock's second, or the next
    // free one after it, so two versions stored within one second differ.
    QString UniqueStamp(const QStringList& names) const;

    // Recalls may nest through scene macros this deep; deeper ones are refused
    // with one error-log entry per outermost recall.
    static constexpr int MaxRecallDepth = 4;

    QStringList Protokoll;            // one entry per forward recall: "n=hh:mm:ss"
    bool TextRechtsZurueck = false;   // the script page steps back on a right click
    bool AutoSzenenSeite = false;     // a new scene brings the scenes page to the front
    int DefaultFadeZurueck = 10;      // fade times of new scenes, tenths of a second
    int DefaultFadeVor = 10;
    std::vector<std::unique_ptr<TSzene>> Szenen;
    std::array<TGroupSzene, GroupCount> Gruppen;
    int AktuelleSzene = 0;    // list index of the last recalled scene
    int SelectedScene = -1;   // the scene the scene page shows; -1 none
    QByteArray ScriptText;    // the script's bytes when no page converts them

    // The time stamps' clock (local time); tests set their own.
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

private:
    void ClearScenes();
    static void ReadScenes(const TStringIniFile& ini, std::vector<std::unique_ptr<TSzene>>& scenes);
    void ReadGroups(const TStringIniFile& ini);
    void ConsoleLevels(bool fromOutput, TLevelArray& levels) const;

    std::unique_ptr<TScriptStepsHeadless> FHeadless;
    TScenePageLink* FScenePage = nullptr;
    TScriptPageLink* FScriptPage = nullptr;
    int FRecallDepth = 0;
    bool FRecallDepthLogged = false;
};
