#include "cues/uMod_Szenen.h"

#include "console/uMod_Lichtpult.h"
#include "console/uMod_Master.h"
#include "devices/uMod_Interface.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"

#include <QHash>
#include <QStringView>

#include <algorithm>

namespace {

const QString SectionSzenen = QStringLiteral("Szenen");
const QString SectionGruppen = QStringLiteral("Gruppen");
const QChar MacroDelimiter = u';';

TIniKey Key(int i, const char* suffix)
{
    return TIniKey("SZ_", i, suffix);
}

TIniKey VersionKey(int i, const char* kind, int k, const char* suffix)
{
    TIniKey key("SZ_", i, kind);
    key.Append(k).Append(suffix);
    return key;
}

QString Line(QStringView key, const QString& value)
{
    const QString text = OneLine(value);
    QString line;
    line.reserve(key.size() + 1 + text.size());
    line.append(key).append(u'=').append(text);
    return line;
}

// What a section really holds per key number i: whether "SZ_" i "_SNR" is there and
// the highest k of its "_SZ_" k "_DAT" and "_MAK_" k "_DAT" keys. A count beyond
// these reads only missing keys, which the reader skips; so bounding each count by
// them changes nothing a file shows, and a corrupt count (2^31 - 1) costs nothing.
class TSectionExtent {
public:
    TSectionExtent(const TStringIniFile& ini, const QString& section) : FSection(section)
    {
        const QStringList* lines = ini.GetSection(section);
        if (!lines)
            return;
        FLineCount = lines->size();
        for (const QString& line : *lines) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                Scan(UpperAscii(line.left(eq)));
        }
    }

    int Items() const { return FMaxItem; }
    int Versions(int i) const { return FExtents.value(i).Versions; }
    int Macros(int i) const { return FExtents.value(i).Macros; }

    // count bounded by what the section holds; a count beyond the section's size
    // is plainly corrupt and logged.
    int Bound(int count, int held, QStringView key) const
    {
        if (count > FLineCount)
            AddToErrorLog(elWarning,
                          QStringLiteral("%1: %2=%3 ist größer als der Abschnitt").arg(FSection, key).arg(count));
        return std::clamp(count, 0, held);
    }

private:
    struct TExtent {
        int Versions = 0;
        int Macros = 0;
    };

    // Reads a decimal number at pos (no sign); -1 when there is none or it is too long.
    static int Number(const QString& key, qsizetype& pos)
    {
        const qsizetype begin = pos;
        while (pos < key.size() && key.at(pos).isDigit() && key.at(pos).unicode() < 128)
            ++pos;
        if (pos == begin || pos - begin > 9)
            return -1;
        return key.mid(begin, pos - begin).toInt();
    }

    void Scan(const QString& key)
    {
        if (!key.startsWith(QLatin1String("SZ_")))
            return;
        qsizetype pos = 3;
        const int i = Number(key, pos);
        if (i < 1)
            return;
        const QStringView rest = QStringView(key).mid(pos);
        if (rest == u"_SNR") {
            FMaxItem = std::max(FMaxItem, i);
            return;
        }
        const bool versions = rest.startsWith(u"_SZ_");
        const bool macros = rest.startsWith(u"_MAK_");
        if (!versions && !macros)
            return;
        pos += versions ? 4 : 5;
        const int k = Number(key, pos);
        if (k < 1 || QStringView(key).mid(pos) != u"_DAT")
            return;
        TExtent& e = FExtents[i];
        int& max = versions ? e.Versions : e.Macros;
        max = std::max(max, k);
    }

    QString FSection;
    qsizetype FLineCount = 0;
    int FMaxItem = 0;
    QHash<int, TExtent> FExtents;
};

// The level versions of item i ("SZ_" i "_SZ_CNT" and the pairs). A level text that
// does not decode is logged; its version keeps the levels read before the fault.
void ReadVersions(const TStringIniFile& ini, const TSectionExtent& extent, const QString& section, int i,
                  std::vector<TSzeneVersion>& versions)
{
    versions.clear();
    const TIniKey countKey = Key(i, "_SZ_CNT");
    const int count = extent.Bound(ini.ReadInteger(section, countKey, 0), extent.Versions(i), countKey);
    for (int k = 1; k <= count; ++k) {
        const QString name = ini.ReadString(section, VersionKey(i, "_SZ_", k, "_DAT"), QString());
        if (name.isEmpty())
            continue;
        TSzeneVersion& v = versions.emplace_back();
        v.Name = name;
        const TIniKey levelKey = VersionKey(i, "_SZ_", k, "_KAN");
        try {
            DecodeLevels(ini.ReadString(section, levelKey, QString()), v.Levels);
        } catch (const EPvError& e) {
            AddToErrorLog(elError, section + QStringLiteral(": ") + levelKey.ToString() + QStringLiteral(": ") + e.Message());
        }
    }
}

void WriteVersions(int i, const std::vector<TSzeneVersion>& versions, QStringList& lines)
{
    lines << Line(Key(i, "_SZ_CNT"), QString::number(versions.size()));
    int k = 0;
    for (const TSzeneVersion& v : versions) {
        ++k;
        lines << Line(VersionKey(i, "_SZ_", k, "_DAT"), v.Name);
        // A level text holds hex digits only: the line is made in one piece.
        lines << EncodeLevels(v.Levels, VersionKey(i, "_SZ_", k, "_KAN").Append("="));
    }
}

QStringList VersionNames(const std::vector<TSzeneVersion>& versions)
{
    QStringList names;
    for (const TSzeneVersion& v : versions)
        names << v.Name;
    return names;
}

QStringList MacroVersionNames(const std::vector<TMakroVersion>& versions)
{
    QStringList names;
    for (const TMakroVersion& v : versions)
        names << v.Name;
    return names;
}

// Index of the first (or last) item whose Name is name; -1 when none.
template <typename T>
int IndexOfName(const std::vector<T>& items, const QString& name, bool last)
{
    int found = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].Name != name)
            continue;
        found = static_cast<int>(i);
        if (!last)
            break;
    }
    return found;
}

std::uint8_t LevelByte(int level)
{
    // A set level is not clamped (K1P300 stores 300); a version byte holds 0..255.
    return static_cast<std::uint8_t>(ClampInt(level, 0, 255));
}

}   // namespace

// ---------------------------------------------------------------------------
// TSzene

TSzene::TSzene(int id, const QString& name) : MDAT(name), SDAT(name), Id(id)
{
    Versionen.emplace_back().Name = name;
    MakroVersionen.emplace_back().Name = name;
}

// ---------------------------------------------------------------------------
// Steps without a script page

void TScriptStepsHeadless::ExecuteTextCommand(const QStringList& tokens, bool remote)
{
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'T')
        return;
    ForEachSubToken(tokens, [&](char16_t letter, int v) {
        switch (letter) {
        case 'A': AutomatischWeiter = (v & 0xFF) != 0; break;
        case 'E':
            if (v == 1) {
                BackStepDone = false;
                RemoteExecuted = remote;
                FModule.RecallScene(NextStepIndex, false, remote);
            } else if (v == 2) {
                BackStep(remote);
            }
            break;
        default: break;   // S and F search the script's markers
        }
    });
}

void TScriptStepsHeadless::UpdateStepDisplay()
{
    // The automatic next step searches the next marker, which needs the text.
    RemoteExecuted = false;
    ShowPriorStep();
}

void TScriptStepsHeadless::BackStep(bool noForward)
{
    BackStepDone = true;
    // A back step whose recall would be refused keeps the log as it is.
    if (!FModule.MayRecall(PriorStepIndex))
        return;
    // The undone step's log entry goes; with a page its marker is selected again.
    const qsizetype k = FModule.Protokoll.size() - 1;
    if (k > 0)
        FModule.Protokoll.removeAt(k);
    FModule.RecallScene(PriorStepIndex, true, noForward);
}

void TScriptStepsHeadless::ShowPriorStep()
{
    const qsizetype k = FModule.Protokoll.size() - 2;
    const int index = k >= 0 ? StrToIntDef(FModule.Protokoll.at(k).section(u'=', 0, 0), 0) - 1 : -1;
    TSzene* scene = nullptr;
    PriorStepIndex = FModule.TryGetScene(index, scene) ? index : -1;
}

// ---------------------------------------------------------------------------
// Module

TModuleSzenen::TModuleSzenen() : FHeadless(std::make_unique<TScriptStepsHeadless>(*this))
{
    Tag = QChar('D');
    Name = QStringLiteral("Lichtpult");
    // The master calls the fade-end hook through the global, so a second instance
    // (or none) never leaves it with a dangling module.
    if (ModuleMaster)
        ModuleMaster->OnFadeEnd = [] {
            if (ModuleSzenen)
                ModuleSzenen->UpdateTextForm();
        };
}

TModuleSzenen::~TModuleSzenen() = default;

// ---- lifecycle ----

void TModuleSzenen::ClearScenes()
{
    Szenen.clear();
    SelectedScene = -1;
    // The master must no longer run the lines of a scene that is gone.
    if (ModuleMaster)
        ModuleMaster->SetStateCommands(nullptr);
    if (FScenePage)
        FScenePage->ScenesCleared();
}

namespace {

class TPreparedScenes : public TPreparedSections {
public:
    std::vector<std::unique_ptr<TSzene>> Szenen;
};

// The sections "Szenen" and "Gruppen" of scenes and groups.
void WriteSections(const std::vector<std::unique_ptr<TSzene>>& scenes,
                   const std::array<TGroupSzene, GroupCount>& groups, QStringList& lines);

}   // namespace

void TModuleSzenen::LoadIni(TStringIniFile& ini)
{
    LoadPreparedIni(ini, nullptr);
}

std::unique_ptr<TPreparedSections> TModuleSzenen::PrepareIni(const TStringIniFile& ini) const
{
    auto prepared = std::make_unique<TPreparedScenes>();
    ReadScenes(ini, prepared->Szenen);
    return prepared;
}

void TModuleSzenen::LoadPreparedIni(TStringIniFile& ini, std::unique_ptr<TPreparedSections> prepared)
{
    ClearScenes();
    if (auto* scenes = dynamic_cast<TPreparedScenes*>(prepared.get()))
        Szenen = std::move(scenes->Szenen);
    else
        ReadScenes(ini, Szenen);
    FillSceneList();
    ReadGroups(ini);
}

void TModuleSzenen::ReadScenes(const TStringIniFile& ini, std::vector<std::unique_ptr<TSzene>>& scenes)
{
    const QString& s = SectionSzenen;
    const TSectionExtent extent(ini, s);
    const int count =
        extent.Bound(ini.ReadInteger(s, QStringLiteral("Anzahl"), 0), extent.Items(), QStringLiteral("Anzahl"));
    for (int i = 1; i <= count; ++i) {
        const int snr = ini.ReadInteger(s, Key(i, "_SNR"), -1);
        if (snr < 0)
            continue;
        auto scene = std::make_unique<TSzene>(i - 1, QString());
        scene->SNR = snr;
        scene->NAME = ini.ReadString(s, Key(i, "_NAME"), QString());
        scene->SDAT = ini.ReadString(s, Key(i, "_SDAT"), QString());
        scene->MDAT = ini.ReadString(s, Key(i, "_MDAT"), QString());
        scene->FAD = ini.ReadInteger(s, Key(i, "_FAD"), 0);
        scene->FAP = ini.ReadInteger(s, Key(i, "_FAP"), 0);
        ReadVersions(ini, extent, s, i, scene->Versionen);

        scene->MakroVersionen.clear();
        const TIniKey countKey = Key(i, "_MAK_CNT");
        const int macros = extent.Bound(ini.ReadInteger(s, countKey, 0), extent.Macros(i), countKey);
        for (int k = 1; k <= macros; ++k) {
            const QString name = ini.ReadString(s, VersionKey(i, "_MAK_", k, "_DAT"), QString());
            if (name.isEmpty())
                continue;
            TMakroVersion& m = scene->MakroVersionen.emplace_back();
            m.Name = name;
            *m.Lines = SplitDelimited(ini.ReadString(s, VersionKey(i, "_MAK_", k, "_MAK"), QString()), MacroDelimiter);
        }
        scenes.push_back(std::move(scene));
    }
}

void TModuleSzenen::ReadGroups(const TStringIniFile& ini)
{
    const QString& s = SectionGruppen;
    const TSectionExtent extent(ini, s);
    // Without the section every lookup would miss: no versions, none selected.
    const bool present = ini.SectionExists(s);
    for (int g = 0; g < GroupCount; ++g) {
        if (!present) {
            Gruppen[static_cast<std::size_t>(g)].Versionen.clear();
            SelectVersion(g, QString());
            continue;
        }
        ReadVersions(ini, extent, s, g + 1, Gruppen[static_cast<std::size_t>(g)].Versionen);
        SelectVersion(g, ini.ReadString(s, Key(g + 1, "_SDAT"), QString()));
    }
}

void TModuleSzenen::SaveToStrings(QStringList& lines)
{
    WriteSections(Szenen, Gruppen, lines);
}

std::function<void(QStringList&)> TModuleSzenen::SaveLater()
{
    // Copied here, written there: the copy shares nothing that the GUI thread
    // changes in place (a macro version's lines are shared with the master).
    auto scenes = std::make_shared<std::vector<std::unique_ptr<TSzene>>>();
    scenes->reserve(Szenen.size());
    for (const auto& scene : Szenen) {
        auto copy = std::make_unique<TSzene>(*scene);
        for (TMakroVersion& m : copy->MakroVersionen)
            m.Lines = std::make_shared<QStringList>(*m.Lines);
        scenes->push_back(std::move(copy));
    }
    auto groups = std::make_shared<std::array<TGroupSzene, GroupCount>>(Gruppen);
    return [scenes, groups](QStringList& lines) { WriteSections(*scenes, *groups, lines); };
}

namespace {

void WriteSections(const std::vector<std::unique_ptr<TSzene>>& scenes,
                   const std::array<TGroupSzene, GroupCount>& groups, QStringList& lines)
{
    lines << QString() << u'[' + SectionSzenen + u']' << QStringLiteral("Anzahl=") + QString::number(scenes.size());
    int i = 0;
    for (const auto& scene : scenes) {
        ++i;
        lines << Line(Key(i, "_SNR"), QString::number(scene->SNR));
        lines << Line(Key(i, "_NAME"), scene->NAME);
        lines << Line(Key(i, "_SDAT"), scene->SDAT);
        lines << Line(Key(i, "_MDAT"), scene->MDAT);
        lines << Line(Key(i, "_FAD"), QString::number(scene->FAD));
        lines << Line(Key(i, "_FAP"), QString::number(scene->FAP));
        WriteVersions(i, scene->Versionen, lines);
        lines << Line(Key(i, "_MAK_CNT"), QString::number(scene->MakroVersionen.size()));
        int k = 0;
        for (const TMakroVersion& m : scene->MakroVersionen) {
            ++k;
            lines << Line(VersionKey(i, "_MAK_", k, "_DAT"), m.Name);
            lines << Line(VersionKey(i, "_MAK_", k, "_MAK"), JoinDelimited(*m.Lines, MacroDelimiter));
        }
    }

    lines << QString() << u'[' + SectionGruppen + u']';
    for (int g = 0; g < GroupCount; ++g) {
        const TGroupSzene& group = groups[static_cast<std::size_t>(g)];
        if (group.Versionen.empty())
            continue;
        lines << Line(Key(g + 1, "_SDAT"), group.Aktuell);
        WriteVersions(g + 1, group.Versionen, lines);
    }
}

}   // namespace

void TModuleSzenen::NewProject()
{
    ClearScenes();
    FillSceneList();
    ScriptText.clear();
    if (FScriptPage)
        FScriptPage->ClearText();
}

void TModuleSzenen::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'T')
        return;   // S lines are accepted and ignored
    if (FScriptPage)
        FScriptPage->ExecuteTextCommand(tokens, remote != 0);
    else
        FHeadless->ExecuteTextCommand(tokens, remote != 0);
}

// ---- scenes ----

bool TModuleSzenen::TryGetScene(int index, TSzene*& scene) const
{
    if (index < 0 || index >= SceneCount()) {
        scene = nullptr;
        return false;
    }
    scene = Szenen[static_cast<std::size_t>(index)].get();
    return true;
}

bool TModuleSzenen::TryGetGroupScene(int g, TGroupSzene*& group)
{
    if (g < 0 || g >= GroupCount) {
        group = nullptr;
        return false;
    }
    group = &Gruppen[static_cast<std::size_t>(g)];
    return true;
}

bool TModuleSzenen::MayRecall(int index) const
{
    TSzene* scene = nullptr;
    if (!TryGetScene(index, scene))
        return false;
    // "Schritt ausführen während Ausführung": 0 always, 1 not the same step while a
    // recall's crossfade runs, 2 never while it runs.
    const TMasterState state = ModuleMaster ? ModuleMaster->GetMasterState() : msKeinFade;
    const bool fading = state == msStart || state == msStartRueckwaerts;
    const int option = ModuleMain ? ModuleMain->GetStepDuringExecution() : 0;
    if (option == 1 && fading && index == AktuelleSzene)
        return false;
    return !(option == 2 && fading);
}

bool TModuleSzenen::RecallScene(int index, bool backward, bool noForward)
{
    if (!MayRecall(index))
        return false;
    TSzene* scene = &GetScene(index);

    // A scene macro that recalls a scene (itself, or through a macro) nests one
    // recall in the next: the nesting ends here, with one entry for the whole nest.
    if (FRecallDepth == 0)
        FRecallDepthLogged = false;
    if (FRecallDepth >= MaxRecallDepth) {
        if (!FRecallDepthLogged)
            AddToErrorLog(
                elError,
                QStringLiteral("Szenenaufrufe zu tief verschachtelt: Szene %1 nicht aufgerufen").arg(index + 1));
        FRecallDepthLogged = true;
        return false;
    }
    struct TDepth {
        int& d;
        explicit TDepth(int& v) : d(v) { ++d; }
        ~TDepth() { --d; }
    } depth(FRecallDepth);

    AktuelleSzene = index;
    if (ModuleMaster)
        ModuleMaster->SetStateCommands(CurrentMacroLines(*scene));
    const int fade = backward ? scene->FAP : scene->FAD;
    TLevelArray levels;
    CurrentLevels(*scene, levels);
    // The crossfade's state change runs the scene's lines at once; scene stays valid
    // (only a show load or a new show drops scenes), but it is not used after this.
    if (ModuleLichtpult)
        ModuleLichtpult->StartCrossfade(levels, fade, backward);
    SelectScene(index);
    if (!noForward && ModuleInterface)
        ModuleInterface->ForwardToCoupledSystems(backward ? QStringLiteral("T0E2") : QStringLiteral("T0E1"));
    if (!backward)
        Protokoll << QString::number(index + 1) + u'=' + Clock().toString(QStringLiteral("hh:mm:ss"));
    return true;
}

void TModuleSzenen::ConsoleLevels(bool fromOutput, TLevelArray& levels) const
{
    levels.fill(0);
    if (!ModuleLichtpult)
        return;
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        const TKanal& k = ModuleLichtpult->GetKanal(nr);
        levels[static_cast<std::size_t>(nr)] = LevelByte(fromOutput ? k.Output : k.Pegel);
    }
}

TSzene& TModuleSzenen::StoreNewScene(bool fromOutput)
{
    const int n = SceneCount();
    auto scene = std::make_unique<TSzene>(n, UniqueStamp({}));
    scene->SNR = n + 1;
    scene->FAD = DefaultFadeVor;
    scene->FAP = DefaultFadeZurueck;
    ConsoleLevels(fromOutput, scene->Versionen.front().Levels);
    TSzene& result = *scene;
    Szenen.push_back(std::move(scene));
    FillSceneList();
    if (AutoSzenenSeite && ModuleMain)
        ModuleMain->ShowScenesPage();
    SelectScene(n);
    return result;
}

void TModuleSzenen::NewSceneVersion(TSzene& scene)
{
    TSzeneVersion v;
    v.Name = UniqueStamp(VersionNames(scene.Versionen));
    ConsoleLevels(false, v.Levels);
    scene.SDAT = v.Name;
    scene.Versionen.push_back(std::move(v));
    RefreshSceneForm();
}

void TModuleSzenen::NewMacroVersion(TSzene& scene, bool copy)
{
    TMakroVersion m;
    m.Name = UniqueStamp(MacroVersionNames(scene.MakroVersionen));
    if (copy)
        if (const auto current = CurrentMacroLines(scene))
            *m.Lines = *current;
    scene.MDAT = m.Name;
    scene.MakroVersionen.push_back(std::move(m));
    RefreshSceneForm();
}

void TModuleSzenen::PutSceneOnConsole(const TSzene& scene, const QString& versionName)
{
    TLevelArray levels;
    if (!FindVersionLevels(scene, versionName.isEmpty() ? scene.SDAT : versionName, levels))
        return;
    if (ModuleLichtpult)
        ModuleLichtpult->SetPegelFromArray(levels);
}

void TModuleSzenen::CurrentLevels(const TSzene& scene, TLevelArray& levels)
{
    const int i = IndexOfName(scene.Versionen, scene.SDAT, false);
    if (i < 0)
        levels.fill(0);
    else
        levels = scene.Versionen[static_cast<std::size_t>(i)].Levels;
}

std::shared_ptr<QStringList> TModuleSzenen::CurrentMacroLines(const TSzene& scene)
{
    const int i = IndexOfName(scene.MakroVersionen, scene.MDAT, false);
    return i < 0 ? nullptr : scene.MakroVersionen[static_cast<std::size_t>(i)].Lines;
}

bool TModuleSzenen::FindVersionLevels(const TSzene& scene, const QString& name, TLevelArray& levels)
{
    const int i = IndexOfName(scene.Versionen, name, true);
    if (i < 0)
        return false;
    levels = scene.Versionen[static_cast<std::size_t>(i)].Levels;
    return true;
}

bool TModuleSzenen::FindMacroVersion(const TSzene& scene, const QString& name, QStringList& lines)
{
    const int i = IndexOfName(scene.MakroVersionen, name, true);
    if (i < 0)
        return false;
    lines = *scene.MakroVersionen[static_cast<std::size_t>(i)].Lines;
    return true;
}

void TModuleSzenen::ListVersions(const TSzene& scene, QStringList& strings)
{
    strings.clear();
    for (const TSzeneVersion& v : scene.Versionen)
        strings << (v.Name == scene.SDAT ? v.Name + QStringLiteral(" *") : v.Name);
}

void TModuleSzenen::ListMacroVersions(const TSzene& scene, QStringList& strings)
{
    strings.clear();
    for (const TMakroVersion& m : scene.MakroVersionen)
        strings << (m.Name == scene.MDAT ? m.Name + QStringLiteral(" (*)") : m.Name);
}

void TModuleSzenen::SortScenes()
{
    std::stable_sort(Szenen.begin(), Szenen.end(),
                     [](const std::unique_ptr<TSzene>& a, const std::unique_ptr<TSzene>& b) { return a->SNR < b->SNR; });
}

void TModuleSzenen::RenumberScenes()
{
    int p = 0;
    for (auto& scene : Szenen)
        scene->SNR = ++p;
    FillSceneList();
}

void TModuleSzenen::FillSceneList()
{
    if (FScenePage)
        FScenePage->FillSceneList();
}

void TModuleSzenen::SelectScene(int index)
{
    if (index < 0 || index >= SceneCount())
        return;
    SelectedScene = index;
    if (FScenePage)
        FScenePage->SelectScene(index);
}

void TModuleSzenen::RefreshSceneForm()
{
    if (FScenePage)
        FScenePage->RefreshSceneForm();
}

void TModuleSzenen::StoreCurrentSceneVersion()
{
    TSzene* scene = nullptr;
    if (TryGetScene(SelectedScene, scene))
        NewSceneVersion(*scene);
}

QStringList TModuleSzenen::StepLines() const
{
    QStringList lines{QString(), QString(), QStringLiteral("-------------------------------------"), QString()};
    for (const auto& scene : Szenen)
        lines << QStringLiteral("{{%1}}   %2").arg(scene->SNR).arg(scene->NAME);
    return lines;
}

void TModuleSzenen::ScenesToSteps()
{
    const QStringList lines = StepLines();
    if (FScriptPage) {
        FScriptPage->AppendLines(lines);
        return;
    }
    // Without a page only a plain-text script can take the lines; rich text is
    // left as it is rather than broken.
    if (ScriptText.startsWith("{\\rtf"))
        return;
    if (!ScriptText.isEmpty() && !ScriptText.endsWith('\n'))
        ScriptText += "\r\n";
    ScriptText += EncodeText(JoinLinesCrLf(lines));
}

void TModuleSzenen::UpdateTextForm()
{
    if (FScriptPage)
        FScriptPage->UpdateStepDisplay();
    else
        FHeadless->UpdateStepDisplay();
}

QString TModuleSzenen::UniqueStamp(const QStringList& names) const
{
    QDateTime time = Clock();
    QString stamp = StampText(time);
    while (names.contains(stamp)) {
        time = time.addSecs(1);
        stamp = StampText(time);
    }
    return stamp;
}

// ---- group scenes ----

int TModuleSzenen::GetChannelLevel(int g, int channel) const
{
    if (g < 0 || g >= GroupCount || channel < 1 || channel > MaxKanal)
        return 0;
    return GroupLevelRow(g)[static_cast<std::size_t>(channel)];
}

const TLevelArray& TModuleSzenen::GroupLevelRow(int g) const
{
    static const TLevelArray none{};
    if (g < 0 || g >= GroupCount)
        return none;
    const TGroupSzene& group = Gruppen[static_cast<std::size_t>(g)];
    if (group.AktuellIndex < 0 || group.AktuellIndex >= static_cast<int>(group.Versionen.size()))
        return none;
    return group.Versionen[static_cast<std::size_t>(group.AktuellIndex)].Levels;
}

void TModuleSzenen::SelectVersion(int g, const QString& name)
{
    if (g < 0 || g >= GroupCount)
        return;
    TGroupSzene& group = Gruppen[static_cast<std::size_t>(g)];
    group.Aktuell = name;
    group.AktuellIndex = std::max(IndexOfName(group.Versionen, name, false), 0);
}

void TModuleSzenen::ApplyGroupVersion(int g, int index)
{
    if (g < 0 || g >= GroupCount || !ModuleLichtpult)
        return;
    const TGroupSzene& group = Gruppen[static_cast<std::size_t>(g)];
    if (index < 0 || index >= static_cast<int>(group.Versionen.size()))
        return;
    const TLevelArray& levels = group.Versionen[static_cast<std::size_t>(index)].Levels;
    for (int nr = ErsterKonsolenKanal; nr <= LetzterKonsolenKanal; ++nr)
        ModuleLichtpult->GetKanal(nr).SetPegel(levels[static_cast<std::size_t>(nr)]);
}

void TModuleSzenen::StoreGroupVersion(int g, bool fromOutput)
{
    if (g < 0 || g >= GroupCount)
        return;
    TGroupSzene& group = Gruppen[static_cast<std::size_t>(g)];
    TSzeneVersion v;
    v.Name = UniqueStamp(VersionNames(group.Versionen));
    ConsoleLevels(fromOutput, v.Levels);
    // The group channels themselves stay 0: a group never raises a group fader.
    for (int nr = ErsterGruppenKanal; nr <= LetzterGruppenKanal; ++nr)
        v.Levels[static_cast<std::size_t>(nr)] = 0;
    const QString name = v.Name;
    group.Versionen.push_back(std::move(v));
    SelectVersion(g, name);
}

void TModuleSzenen::FillVersionMenu(int g, std::vector<TVersionMenuItem>& items) const
{
    items.clear();
    if (g < 0 || g >= GroupCount)
        return;
    const TGroupSzene& group = Gruppen[static_cast<std::size_t>(g)];
    for (std::size_t i = 0; i < group.Versionen.size(); ++i) {
        const QString& name = group.Versionen[i].Name;
        items.push_back({name, name == group.Aktuell, static_cast<int>(i)});
    }
}

// ---- script text ----

void TModuleSzenen::LoadTextFromStream(const QByteArray& bytes, std::unique_ptr<TPreparedText> prepared)
{
    ScriptText = bytes;
    if (FScriptPage)
        FScriptPage->LoadText(bytes, std::move(prepared));
}

QByteArray TModuleSzenen::SaveTextToStream() const
{
    return TextForSave()();
}

TTextPreparer TModuleSzenen::TextPreparer() const
{
    return FScriptPage ? FScriptPage->TextPreparer() : TTextPreparer();
}

TTextForSave TModuleSzenen::TextForSave() const
{
    if (FScriptPage)
        return FScriptPage->TextForSave();
    return [bytes = ScriptText] { return bytes; };
}
