// A save copies the large sections on the GUI thread and writes their lines on
// the save's thread: the console's channels, chasers, categories and pages, the
// macros and the audio playlists. Written there from the copy they are the bytes
// the module writes on the GUI thread, and a change made after the copy waits
// for the next save.

#include "TestHelpers.h"

#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Makros.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uTextCodec.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

// Every large section full: all channels named and set, 60 chasers filled to the
// table's maximum (192 entries, 99 steps, the two columns before the first step),
// 40 pages, extra categories, every macro number with lines, all block captions,
// playlists of 120 tracks on ten panels, and a patch with every slot and curve.
void FillShow()
{
    TModuleLichtpult& lp = *ModuleLichtpult;
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetName(QStringLiteral("Scheinwerfer %1 Bühne").arg(nr));
        k.SetModus(nr % 5);
        k.SetIcon(nr % 40);
        k.SetVF(nr * 77);
        k.SetHF(nr % 11);
        k.SetFlash(nr % 256);
        k.SetBlackout(nr % 7);
    }
    for (int nr = ErsterSequenzKanal; nr <= LetzterSequenzKanal; ++nr) {
        TKanal& k = lp.GetKanal(nr);
        k.SetSchrittZahl(KanalSpalteMax);
        k.SetEintragZahl(KanalEintragMax);
        k.SetTakt(nr % 50);
        k.SetFadeModus(nr % 4);
        k.LedDefs = QStringLiteral("L%1\r\nzwei").arg(nr);
        for (int i = 1; i <= KanalEintragMax; ++i)
            for (int j = KanalSpalteMin; j <= KanalSpalteMax; ++j)
                k.SetEintrag(i, j, (i * 31 + j * 7 + nr) % 300 - 20);
    }
    lp.Kategorien << QStringLiteral("Zug|Mitte");
    for (int p = 0; p < 40; ++p) {
        auto page = std::make_unique<TLichtpultZeile>(p);
        page->SetName(QStringLiteral("Seite %1").arg(p));
        page->SetNode(p % 5);
        page->SetRowString(QStringLiteral("L4K%1L20G%2L4C%3").arg(p + 1).arg(p % 60 + 1).arg(p % 60 + 1));
        lp.AddPage(std::move(page));
    }
    lp.SortLichtpultZeilen();

    TModuleMakro& mk = *ModuleMakro;
    for (int i = 0; i <= TModuleMakro::MaxMakro; i += i % 3 == 0 ? 1 : 2) {
        TMakro& m = *mk.GetMacro(i);
        m.Name = QStringLiteral("Makro %1").arg(i);
        m.Lines = QStringList{QStringLiteral("K%1P255").arg(i % 700 + 1), QStringLiteral("UK1P0|x")};
        m.Icon = i % 30;
        m.VF = i;
        m.HF = i % 12;
    }
    for (int j = 0; j < TModuleMakro::MaxEditTexte; ++j)
        mk.EditTexte.append(QStringLiteral("Block %1\r\nText").arg(j));

    TModuleAudio& au = *ModuleAudio;
    for (int i = 0; i < 10; i += 2) {
        TSonivexPanel& panel = *au.GetPanel(i);
        for (int t = 0; t < 120; ++t) {
            panel.Names.append(QStringLiteral("Titel %1 – %2").arg(i).arg(t));
            panel.Files.append(QStringLiteral("/musik/%1/%2.wav").arg(i).arg(t));
            panel.Levels.append(QString::number(-t));
        }
        panel.UpdateTrackCount();
    }
}

QStringList WrittenOnAThread(const std::function<void(QStringList&)>& later)
{
    QStringList lines;
    std::thread([&] { later(lines); }).join();
    return lines;
}

QStringList WrittenOnTheGuiThread(TModuleAbstract& module)
{
    QStringList lines;
    module.SaveToStrings(lines);
    return lines;
}

std::string Sha1(const QStringList& lines)
{
    return QCryptographicHash::hash(lines.join(QStringLiteral("\r\n")).toUtf8(), QCryptographicHash::Sha1)
        .toHex()
        .toStdString();
}

class SaveCopiesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        FillShow();
    }
    void TearDown() override { Engine.Stop(); }

    TEngine Engine;
};

TEST_F(SaveCopiesTest, SectionsWrittenOnTheSavesThreadAreTheBytesOfTheGuiThread)
{
    // The digests are those of the sections the modules wrote on the GUI thread
    // before their saves were split, for this show.
    const struct {
        TModuleAbstract* module;
        const char* sha1;
        int lines;
    } cases[] = {
        {ModuleLichtpult, "20e0394c4471f5fa8e5711458e89e8feeb536bd2", 11610},
        {ModuleMakro, "e8b9161a562954af1efeca5f9b8c0bb6510c8e54", 6773},
        {ModuleAudio, "5b17e1b66e2a5afa89a5c7608f74d9f54ea26d7c", 1813},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        const QStringList gui = WrittenOnTheGuiThread(*c.module);
        EXPECT_EQ(gui.size(), c.lines);
        EXPECT_EQ(Sha1(gui), c.sha1);
        const auto later = c.module->SaveLater();
        EXPECT_TRUE(later);
        if (later) {
            EXPECT_EQ(Sha1(WrittenOnAThread(later)), c.sha1);
        }
    }
}

TEST_F(SaveCopiesTest, AChangeAfterTheCopyWaitsForTheNextSave)
{
    TModuleLichtpult& lp = *ModuleLichtpult;
    TModuleMakro& mk = *ModuleMakro;
    const struct {
        TModuleAbstract* module;
        std::function<void()> change;
    } cases[] = {
        {ModuleLichtpult, [&] { lp.GetKanal(1).SetName(QStringLiteral("neu")); }},
        {ModuleLichtpult, [&] { lp.GetKanal(1).SetName(QString()); lp.GetKanal(1).SetModus(0); }},
        {ModuleLichtpult, [&] { lp.GetKanal(LetzterSequenzKanal).SetEintrag(KanalEintragMax, KanalSpalteMax, 1); }},
        {ModuleLichtpult, [&] { lp.GetKanal(ErsterSequenzKanal).ClearEintraege(); }},
        {ModuleLichtpult, [&] { lp.GetKanal(ErsterSequenzKanal).SetSchrittZahl(1); }},
        {ModuleLichtpult, [&] { lp.GetKanal(LetzterSequenzKanal).LedDefs = QStringLiteral("neu"); }},
        {ModuleLichtpult, [&] { lp.Kategorien[0].append(u'x'); }},
        {ModuleLichtpult, [&] { lp.GetLichtpultZeile(0)->Name.append(u'x'); }},
        {ModuleLichtpult, [&] { lp.SetZeilenKanal(0, 0, 7); }},
        {ModuleLichtpult, [&] { lp.LichtpultZeilen.pop_back(); }},
        {ModuleMakro, [&] { mk.GetMacro(0)->Lines[0].append(u'x'); }},
        {ModuleMakro, [&] { mk.GetMacro(3)->Reset(); }},
        {ModuleMakro, [&] { mk.EditTexte[5].append(u'x'); }},
        {ModuleMakro, [&] { mk.EditTexte.clear(); }},
        {ModuleAudio, [&] { ModuleAudio->GetPanel(0)->Names[3].append(u'x'); }},
        {ModuleAudio, [&] { ModuleAudio->GetPanel(2)->Files.clear(); ModuleAudio->GetPanel(2)->UpdateTrackCount(); }},
    };
    // The changes add up: each case meets the show the cases before it left.
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(index++);
        const std::string before = Sha1(WrittenOnTheGuiThread(*c.module));
        const auto later = c.module->SaveLater();
        c.change();
        EXPECT_EQ(Sha1(WrittenOnAThread(later)), before);
        EXPECT_NE(Sha1(WrittenOnTheGuiThread(*c.module)), before);
    }
}

TEST_F(SaveCopiesTest, ABackgroundSaveWritesTheShowAsItStoodWhenItBegan)
{
    ModuleMain->StartClock();
    QStringList expected;
    ModuleMain->SaveToStrings(expected);
    ASSERT_TRUE(SaveProjectInBackground(Engine.Dir.File(QStringLiteral("s.pvs"))));
    ModuleLichtpult->GetKanal(ErsterSequenzKanal).SetEintrag(1, 1, 99);
    ModuleLichtpult->GetKanal(2).SetName(QStringLiteral("neu"));
    ModuleMakro->GetMacro(0)->Name = QStringLiteral("neu");
    ModuleAudio->GetPanel(0)->Levels[0] = QStringLiteral("7");
    WaitForShowSaves();
    qsizetype used = 0;
    EXPECT_EQ(DecodeShowString(Engine.Dir.Read(QStringLiteral("s.pvs")), used),
              expected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

} // namespace
