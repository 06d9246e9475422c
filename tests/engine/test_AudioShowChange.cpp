// A show opened (or made new) while an audio panel plays the show before's
// track, with the audio engine's real players on the paced null output: what
// the new show saves holds none of the tracks of the show before.

#include "AudioFixtures.h"
#include "TestHelpers.h"

#include "audio/uAuRegistry.h"
#include "audio/uAuSyncMgr.h"
#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

class AudioShowChange : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSavedOutput = qgetenv("PV_AUDIO_OUTPUT");
        qputenv("PV_AUDIO_OUTPUT", "null");
        // The engine's own classes only: drivers another test registered would
        // be chosen over the sound-card driver.
        StopAudioEngine();
        StartAudioEngine();
        const auto tone = [](int frames) { return AudioFixtures::Wav16(frames, [](int f, int c) { return qint16(f % 500 + c); }); };
        Engine.Dir.Write("a1.wav", tone(AudioFixtures::Rate));
        Engine.Dir.Write("a2.wav", tone(AudioFixtures::Rate / 4));
        Engine.Dir.Write("c.wav", tone(AudioFixtures::Rate / 2));
        Engine.Start();
    }
    void TearDown() override
    {
        Engine.Stop();
        if (FSavedOutput.isNull())
            qunsetenv("PV_AUDIO_OUTPUT");
        else
            qputenv("PV_AUDIO_OUTPUT", FSavedOutput);
    }
    QString F(const char* name) const { return Engine.Dir.File(QString::fromLatin1(name)); }
    // Writes a show whose only section is text and opens it.
    bool Open(const char* name, const QString& text)
    {
        Engine.Dir.Write(QString::fromLatin1(name), HandMadeShow(text));
        return OpenProject(F(name));
    }
    // The section "Audio" of a show file, from its empty line before to the next section.
    QString AudioSection(const char* name) const
    {
        qsizetype consumed = 0;
        const QString text = DecodeShowString(Engine.Dir.Read(QString::fromLatin1(name)), consumed);
        const qsizetype from = text.indexOf("\r\n[Audio]\r\n");
        return from < 0 ? QString() : text.mid(from, text.indexOf("\r\n[", from + 2) - from);
    }

    TEngine Engine;

private:
    QByteArray FSavedOutput;
};

}   // namespace

TEST_F(AudioShowChange, TheShowBeforesTrackNeverReachesTheNextShow)
{
    TSonivexPanel& panel = *ModuleAudio->GetPanel(2);
    const QString a = QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_3=2\r\nTrackID_3=2\r\nName_3_0=A1\r\nFile_3_0=%1\r\n"
                                     "Level_3_0=-10\r\nName_3_1=A2\r\nFile_3_1=%2\r\nLevel_3_1=-30\r\n")
                          .arg(F("a1.wav"), F("a2.wav"));
    const QString c = QStringLiteral("\r\n[Audio]\r\nPanelCount=10\r\nTrackCount_3=1\r\nTrackID_3=1\r\nName_3_0=C\r\n"
                                     "File_3_0=%1\r\nLevel_3_0=-50\r\n")
                          .arg(F("c.wav"));
    const struct {
        const char* Next;   // nullptr: "Neu"
        QString Text;
    } cases[] = {{"b.pvs", "[Audio]\r\nPanelCount=10\r\n"}, {"c.pvs", c}, {nullptr, {}}};
    for (const auto& next : cases) {
        SCOPED_TRACE(next.Next ? next.Next : "Neu");
        ASSERT_TRUE(Open("a.pvs", a));
        Engine.Main->ExecuteLines({"A3E1"}, false);
        ASSERT_TRUE(panel.Playing());
        if (next.Next)
            ASSERT_TRUE(Open(next.Next, next.Text));
        else
            ModuleMain->NewProject();
        // A's short track would have ended by now; any notice of its end has run.
        ASSERT_TRUE(WaitFor([&] { return !panel.Playing(); }));
        ASSERT_TRUE(WaitFor([] { return SyncMgr()->Pending() == 0; }));
        QCoreApplication::processEvents();

        ASSERT_TRUE(SaveProject(F("saved.pvs")));
        EXPECT_EQ(AudioSection("saved.pvs").toStdString(),
                  (next.Text == c ? c : QString("\r\n[Audio]\r\nPanelCount=10\r\n")).toStdString());
    }
}
