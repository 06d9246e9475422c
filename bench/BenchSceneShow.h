#pragma once
// The large show of the scene and show-file benchmarks: 999 scenes of 10 level
// versions and 2 macro versions each, and all 60 group scenes with 3 versions
// each. Every version lights channels 1..200 with levels that change from channel
// to channel (long literal groups in the level text) and leaves the rest dark;
// about 5.2 MB on disk. PrepareShow fills the scene module of a running engine.
//
// PrepareFullShow adds what a large real show has beside its scenes: all 729
// channels named, 60 chasers (the step sequences on channels 571..630, 16 steps of
// 24 entries) and a script of about 1 MB of RTF; about 6.5 MB on disk.
//
// FillChasers fills those 60 chasers to the table's maximum instead (192 entries,
// 99 steps): a section Kanäle of about 4.6 MB, about 11 MB on disk with the rest.

#include "BenchScript.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Szenen.h"
#include "framework/uMod_Main.h"
#include "framework/uUtils.h"

#include <QDateTime>

#include <memory>

namespace bench_show {

constexpr int SceneCount = 999;
constexpr int VersionsPerScene = 10;
constexpr int VersionsPerGroup = 3;
constexpr int LitChannels = 200;

inline void FillLevels(TLevelArray& levels, int seed)
{
    for (int nr = 1; nr <= LitChannels; ++nr)
        levels[static_cast<std::size_t>(nr)] = static_cast<std::uint8_t>((seed * 31 + nr * 7) % 256);
}

inline QString Stamp(int n)
{
    return StampText(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(n));
}

inline void PrepareShow()
{
    TModuleSzenen& s = *ModuleSzenen;
    int stamp = 0;
    for (int i = 0; i < SceneCount; ++i) {
        auto scene = std::make_unique<TSzene>(i, Stamp(stamp++));
        scene->SNR = i + 1;
        scene->NAME = QStringLiteral("Szene %1 – Bühne hell").arg(i + 1);
        scene->FAD = 30;
        scene->FAP = 20;
        FillLevels(scene->Versionen.front().Levels, i);
        for (int k = 1; k < VersionsPerScene; ++k) {
            TSzeneVersion& v = scene->Versionen.emplace_back();
            v.Name = Stamp(stamp++);
            FillLevels(v.Levels, i + k);
        }
        scene->SDAT = scene->Versionen.back().Name;
        *scene->MakroVersionen.front().Lines = QStringList{"K600P255", "W5 M3"};
        TMakroVersion& m = scene->MakroVersionen.emplace_back();
        m.Name = Stamp(stamp++);
        *m.Lines = QStringList{"K600P0", "W5M4", "C1T\"Licht; an\""};
        scene->MDAT = m.Name;
        s.Szenen.push_back(std::move(scene));
    }
    for (int g = 0; g < GroupCount; ++g) {
        TGroupSzene& group = s.GetGroupScene(g);
        for (int k = 0; k < VersionsPerGroup; ++k) {
            TSzeneVersion& v = group.Versionen.emplace_back();
            v.Name = Stamp(stamp++);
            FillLevels(v.Levels, g * 5 + k);
        }
        s.SelectVersion(g, group.Versionen.back().Name);
    }
}

constexpr int ScriptLines = 10700;   // about 1 MB of RTF

inline void PrepareFullShow()
{
    PrepareShow();
    TModuleLichtpult& lp = *ModuleLichtpult;
    for (int nr = 1; nr <= MaxKanal; ++nr)
        lp.GetKanal(nr).SetName(QStringLiteral("Scheinwerfer %1 Bühne links").arg(nr));
    for (int nr = ErsterSequenzKanal; nr <= LetzterSequenzKanal; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetSchrittZahl(16);
        k.SetEintragZahl(24);
        k.SetTakt(5);
        for (int i = 1; i <= 24; ++i) {
            k.SetEintrag(i, -1, i + nr % 100);
            for (int step = 1; step <= 16; ++step)
                k.SetEintrag(i, step, (i * step * 17 + nr) % 256);
        }
    }
    ModuleSzenen->LoadTextFromStream(bench_script::ScriptRtf(ScriptLines));
}

inline void FillChasers()
{
    TModuleLichtpult& lp = *ModuleLichtpult;
    for (int nr = ErsterSequenzKanal; nr <= LetzterSequenzKanal; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetSchrittZahl(KanalSpalteMax);
        k.SetEintragZahl(KanalEintragMax);
        for (int i = 1; i <= KanalEintragMax; ++i) {
            k.SetEintrag(i, -1, i % 256);
            for (int step = 1; step <= KanalSpalteMax; ++step)
                k.SetEintrag(i, step, (i * step * 17 + nr) % 256);
        }
    }
}

inline bool ShowIsComplete()
{
    return ModuleSzenen->SceneCount() == SceneCount &&
           ModuleSzenen->GetScene(SceneCount - 1).Versionen.size() == std::size_t(VersionsPerScene) &&
           ModuleSzenen->GetGroupScene(GroupCount - 1).Versionen.size() == std::size_t(VersionsPerGroup);
}

} // namespace bench_show
