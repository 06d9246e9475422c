// The audio pages offscreen on the whole engine, through their named widgets,
// with scripted players: a panel's buttons, bars and labels, further audio
// windows with their menu entries and remembered positions, the playlist
// dialog and the button pictures.

#include "AudioFixtures.h"
#include "FakePanelPlayer.h"
#include "TestHelpers.h"

#include "audio/uAuRegistry.h"
#include "audio/uAuTypes.h"
#include "audio/uFrm_Audio.h"
#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "framework/uDat_Menu.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

class FrmAudioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallFakePlayers(States);
        Engine.Dir.Write("a.wav", "RIFF");
        Engine.Dir.Write("b.wav", "RIFF");
        Engine.Start();
        SetPrompts(&Answers);
        Host = std::make_unique<QWidget>();
        new QVBoxLayout(Host.get());
        CreateAudioPages(*ModuleAudio, Host.get());
        Host->show();
    }
    void TearDown() override
    {
        SetDialogRunner(QStringLiteral("Frm_AudioFiles"), {});
        SetPrompts(nullptr);
        Engine.Stop();
        Host.reset();
        SetPanelPlayerFactory({});
    }
    template <typename T>
    static T* W(QWidget* parent, const char* name)
    {
        T* w = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static TSonivexPanelWidget* PanelWidget(int n)
    {
        return AudioPage((n - 1) / 10)->findChild<TSonivexPanelWidget*>(QStringLiteral("SonivexPanel%1").arg(n));
    }
    QString F(const char* name) const { return Engine.Dir.File(QString::fromLatin1(name)); }

    std::vector<std::shared_ptr<TFakeState>> States;
    TEngine Engine;
    TScriptedPrompts Answers;
    std::unique_ptr<QWidget> Host;
};

}   // namespace

TEST_F(FrmAudioTest, PanelControlsPlayLevelAndSeek)
{
    TfrmAudio* page = AudioPage(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->parentWidget(), Host.get());
    TSonivexPanelWidget* w = PanelWidget(7);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(W<QLabel>(w, "lblNumber")->text(), "7");
    EXPECT_FALSE(W<QToolButton>(w, "btnPlay")->isEnabled());

    Answers.FileAnswers = {F("a.wav")};
    w->PopupMenuClick(1);
    EXPECT_EQ(Answers.Asked.last(), "open:Audio-Dateien (*.wav *.mp3 *.WAV *.MP3);;Alle Dateien (*)");
    EXPECT_EQ(W<QLabel>(w, "lblName")->text(), "a.wav");
    EXPECT_EQ(W<QLabel>(w, "lblLength")->text(), "0:00:10:0");
    QToolButton* play = W<QToolButton>(w, "btnPlay");
    ASSERT_TRUE(play->isEnabled());
    play->click();
    EXPECT_TRUE(States[6]->Calls.contains("play"));
    EXPECT_FALSE(play->isEnabled());
    EXPECT_TRUE(W<QToolButton>(w, "btnPause")->isEnabled());

    W<QSlider>(w, "tbLevel")->setValue(25);
    EXPECT_EQ(W<QLabel>(w, "lblLevel")->text(), TSonivexPanel::LevelText(25));
    EXPECT_FLOAT_EQ(States[6]->Volume, DbToFactor(2.5));
    // A command moves the bar on screen.
    Engine.Main->ExecuteLines({"A7L-400"}, false);
    EXPECT_EQ(W<QSlider>(w, "tbLevel")->value(), -400);
    EXPECT_EQ(W<QLabel>(w, "lblLevel")->text(), "-INF dB");

    // Any press on the bar, also on its groove, holds the display; the release seeks.
    QSlider* position = W<QSlider>(w, "tbPosition");
    EXPECT_EQ(position->maximum(), 100);
    const QPoint groove(position->width() - 5, position->height() / 2);
    QTest::mousePress(position, Qt::LeftButton, {}, groove);
    position->setValue(37);
    EXPECT_EQ(W<QLabel>(w, "lblTime")->text(), "0:00:03:7");
    States[6]->Position = 500;
    ModuleAudio->SlowTick();
    EXPECT_EQ(position->value(), 37);
    QTest::mouseRelease(position, Qt::LeftButton, {}, groove);
    ASSERT_TRUE(WaitFor([&] { return !States[6]->Calls.filter("seek").isEmpty(); }));
    EXPECT_EQ(States[6]->Calls.filter("seek").last(), QStringLiteral("seek %1").arg(position->value() * 100));
}

TEST_F(FrmAudioTest, LevelLabelShowsEveryLevelWholeAlsoWithALargeDesktopFont)
{
    for (const int points : {0, 14, 30}) {
        QWidget host;
        if (points > 0)
            host.setFont(QFont(host.font().family(), points));
        TSonivexPanel panel;
        TSonivexPanelWidget w(panel, &host);
        QLabel* level = W<QLabel>(&w, "lblLevel");
        for (const int v : {100, 25, 0, -5, -399, -400}) {
            panel.SetLevel(v);
            ASSERT_EQ(level->text(), TSonivexPanel::LevelText(v));
            EXPECT_LE(QFontMetrics(level->font()).horizontalAdvance(level->text()), level->contentsRect().width())
                << points << " pt, " << v;
        }
        // The label stays clear of the track up-down.
        EXPECT_LE(level->geometry().right(), W<QWidget>(&w, "udTrack")->x()) << points;
    }
}

TEST_F(FrmAudioTest, NeuAndLeerenResetTimeAndPosition)
{
    for (const bool neu : {false, true}) {
        SCOPED_TRACE(neu ? "Neu" : "leeren");
        TSonivexPanelWidget* w = PanelWidget(1);
        Engine.Main->ExecuteLines({QStringLiteral("A1F\"%1\"E1").arg(F("a.wav"))}, false);
        States[0]->Position = 2100;
        for (int i = 0; i < 4; ++i)
            ModuleAudio->SlowTick();
        ASSERT_EQ(W<QLabel>(w, "lblTime")->text(), "0:00:02:1");
        ASSERT_EQ(W<QSlider>(w, "tbPosition")->value(), 21);
        if (neu) {
            ModuleMain->NewProject();
        } else {
            Answers.YesNoAnswers = {true};
            AudioPage(0)->leeren1Click();
        }
        EXPECT_TRUE(W<QLabel>(w, "lblTime")->text().isEmpty());
        EXPECT_EQ(W<QSlider>(w, "tbPosition")->value(), 0);
        EXPECT_EQ(W<QSlider>(w, "tbPosition")->maximum(), 10);
        EXPECT_TRUE(W<QLabel>(w, "lblLength")->text().isEmpty());
    }
}

TEST_F(FrmAudioTest, FurtherWindowsHaveMenuEntriesAndKeepTheirPlace)
{
    QMainWindow window;
    TdmMenu menu(&window);
    QObject::connect(&menu, &TdmMenu::newAudioWindowRequested, ModuleAudio->Signals(), [] { ModuleAudio->AddAudioPage(true); });
    W<QMenu>(&window, "Fenster1")->findChild<QAction*>(QStringLiteral("NeuesAudioFenster1"))->trigger();
    TfrmAudio* page = AudioPage(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->objectName(), "FrmAudio1");
    EXPECT_EQ(page->windowTitle(), "Audio 1");
    EXPECT_TRUE(page->isVisible());
    EXPECT_NE(PanelWidget(11), nullptr);
    EXPECT_EQ(PanelWidget(20)->Panel()->Number(), 20);

    QMenu* audio = W<QMenu>(&window, "Audio1");
    ASSERT_EQ(audio->actions().size(), 2);
    EXPECT_EQ(audio->actions().at(0)->text(), "Audio 1 anzeigen");
    page->hide();
    audio->actions().at(1)->trigger();
    EXPECT_TRUE(page->isVisible());

    // Freed by a new show, the window writes its place and the next one takes it.
    page->move(123, 145);
    ModuleMain->NewProject();
    EXPECT_EQ(AudioPage(1), nullptr);
    EXPECT_TRUE(audio->actions().isEmpty());
    EXPECT_EQ(SettingsIni->ReadInteger(QStringLiteral("FrmAudio1"), QStringLiteral("Left"), 0), 123);
    ModuleAudio->AddAudioPage(false);
    EXPECT_EQ(AudioPage(1)->pos(), QPoint(123, 145));
}

TEST_F(FrmAudioTest, PlaylistDialogCompactsAppliesAndAbortRestores)
{
    TSonivexPanelWidget* w = PanelWidget(1);
    TSonivexPanel& panel = *w->Panel();
    const QString a = F("a.wav"), b = F("b.wav");
    SetDialogRunner<TFrm_AudioFiles>(QStringLiteral("Frm_AudioFiles"), [&](TFrm_AudioFiles& d) {
        EXPECT_EQ(w->parentWidget(), d.pnlBottom);
        const QString cells[][3] = {{"", "", ""}, {"A", a, "-60"}, {"x", "", "7"}, {"B", b, "25"}};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                d.sgFiles->item(r, c + 1)->setText(cells[r][c]);
        W<QPushButton>(&d, "btnBereinigen")->click();
        return QDialog::Accepted;
    });
    EXPECT_TRUE(TFrm_AudioFiles::EditPanelPlaylist(*w));
    EXPECT_EQ(w->parentWidget(), AudioPage(0)->pnlMain);
    EXPECT_EQ(panel.Files.mid(0, 3), (QStringList{a, b, ""}));
    EXPECT_EQ(panel.Names.mid(0, 3), (QStringList{"A", "B", ""}));
    EXPECT_EQ(panel.Levels.mid(0, 3), (QStringList{"-60", "25", ""}));
    EXPECT_EQ(panel.TrackCount(), 2);
    EXPECT_EQ(panel.Level(), -60);

    // Chosen files fill rows from the current one, named after the file;
    // then the dialog is aborted and the old playlist comes back.
    Answers.FilesAnswers = {{b, a}};
    SetDialogRunner<TFrm_AudioFiles>(QStringLiteral("Frm_AudioFiles"), [&](TFrm_AudioFiles& d) {
        d.sgFiles->setCurrentCell(97, 2);
        W<QPushButton>(&d, "btnDatei")->click();
        EXPECT_EQ(d.sgFiles->item(97, 1)->text(), "b.wav");
        EXPECT_EQ(d.sgFiles->item(98, 3)->text(), "0");
        EXPECT_EQ(panel.TrackCount(), 99);
        return QDialog::Rejected;
    });
    EXPECT_FALSE(TFrm_AudioFiles::EditPanelPlaylist(*w));
    EXPECT_EQ(panel.TrackCount(), 2);
    EXPECT_EQ(panel.Names.value(1), "B");
}

TEST_F(FrmAudioTest, ButtonPicturesComeFromPicsOrAreDrawn)
{
    const struct {
        int Tag;
        QPoint Inside;
        QColor Normal;
    } drawn[] = {{1, {8, 15}, QColor(0, 128, 0)}, {2, {5, 10}, QColor(0, 0, 128)}, {3, {15, 15}, QColor(Qt::black)}};
    for (const auto& d : drawn) {
        const QImage picture = DrawnPanelPicture(d.Tag);
        EXPECT_EQ(picture.size(), QSize(64, 32));
        EXPECT_EQ(picture.pixelColor(d.Inside), d.Normal) << d.Tag;
        EXPECT_EQ(picture.pixelColor(d.Inside + QPoint(32, 0)), QColor(128, 128, 128)) << d.Tag;
    }
    // A picture in Pics/ wins; its bottom-left colour is transparent.
    QImage own(64, 32, QImage::Format_RGB32);
    own.fill(QColor(200, 10, 10));
    own.setPixelColor(0, 31, QColor(1, 2, 3));
    own.setPixelColor(1, 31, QColor(1, 2, 3));
    QDir().mkpath(Engine.Dir.File("Pics"));
    ASSERT_TRUE(own.save(Engine.Dir.File("Pics/Play.bmp"), "BMP"));
    LoadPanelResources();
    const QImage normal = PanelButtonIcon(1).pixmap(QSize(32, 32), QIcon::Normal).toImage();
    EXPECT_EQ(normal.pixelColor(10, 10), QColor(200, 10, 10));
    EXPECT_EQ(normal.pixelColor(1, 31).alpha(), 0);
    QFile::remove(Engine.Dir.File("Pics/Play.bmp"));
    LoadPanelResources();
    EXPECT_EQ(PanelButtonIcon(1).pixmap(QSize(32, 32), QIcon::Normal).toImage().pixelColor(8, 15), QColor(0, 128, 0));
}

namespace {

// The real players on the paced WAV output device: each stream the panels
// open is recorded in a folder of its own.
class FrmAudioOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("PV_AUDIO_OUTPUT", ("wav:" + Engine.Dir.File("out")).toUtf8());
        StartAudioEngine();
        Engine.Start();
        Host = std::make_unique<QWidget>();
        new QVBoxLayout(Host.get());
        CreateAudioPages(*ModuleAudio, Host.get());
    }
    void TearDown() override
    {
        Engine.Stop();
        Host.reset();
        StopAudioEngine();
        qunsetenv("PV_AUDIO_OUTPUT");
    }
    void Run(const QString& line) { Engine.Main->ExecuteLines({line}, false); }
    // Slow ticks as the clock gives them, until pred holds (30 s at most).
    static bool TickUntil(const std::function<bool()>& pred)
    {
        for (int i = 0; i < 300 && !pred(); ++i) {
            ModuleAudio->SlowTick();
            WaitFor([] { return false; }, 100);
        }
        return pred();
    }
    // The largest sample of each recorded stream, in the order of the streams.
    QList<int> StreamPeaks() const
    {
        QList<int> peaks;
        const QDir out(Engine.Dir.File("out"));
        for (const QString& name : out.entryList({"stream-*.wav"}, QDir::Files, QDir::Name)) {
            QFile f(out.filePath(name));
            const QByteArray wav = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            int peak = 0;
            for (qsizetype i = 44; i + 1 < wav.size(); i += 2)
                peak = std::max(peak, std::abs(int(qint16(quint16(quint8(wav[i])) | quint16(quint8(wav[i + 1])) << 8))));
            peaks << peak;
        }
        return peaks;
    }

    TEngine Engine;
    std::unique_ptr<QWidget> Host;
};

}   // namespace

TEST_F(FrmAudioOutputTest, CommandsPlaySwitchTracksAndFadeAndTheOutputShowsTheLevels)
{
    const auto constant = [](int frames, qint16 value) {
        return AudioFixtures::Wav16(frames, [value](int, int) { return value; });
    };
    Engine.Dir.Write("leise.wav", constant(AudioFixtures::Rate * 2, 8000));
    Engine.Dir.Write("laut.wav", constant(AudioFixtures::Rate / 4, 12000));
    TStringIniFile ini;
    ini.SetText(QStringLiteral("[Audio]\r\nPanelCount=10\r\nTrackCount_1=2\r\nTrackID_1=2\r\nName_1_0=leise\r\nFile_1_0=%1\r\n"
                               "Level_1_0=-60\r\nName_1_1=laut\r\nFile_1_1=%2\r\nLevel_1_1=0\r\n")
                    .arg(Engine.Dir.File("leise.wav"), Engine.Dir.File("laut.wav")));
    ModuleAudio->LoadIni(ini);
    TSonivexPanelWidget* w = AudioPage(0)->findChild<TSonivexPanelWidget*>(QStringLiteral("SonivexPanel1"));
    ASSERT_NE(w, nullptr);
    QToolButton* play = w->findChild<QToolButton*>(QStringLiteral("btnPlay"));
    ASSERT_TRUE(play->isEnabled());

    // Track 2 at 0 dB to its end: the panel is ready to play again.
    play->click();
    ASSERT_TRUE(TickUntil([&] { return play->isEnabled(); }));
    EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("lblTrack"))->text(), "2 / 2");

    // Track 1 at -6 dB, stopped with the fading stop after 0.3 s.
    Run("A1T1E1");
    EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("lblLevel"))->text(), TSonivexPanel::LevelText(-60));
    ASSERT_TRUE(TickUntil([&] { return w->Panel()->View().PositionBar >= 3; }));
    Run("A1E3");
    EXPECT_FALSE(play->isEnabled());
    ASSERT_TRUE(TickUntil([&] { return play->isEnabled(); }));
    EXPECT_EQ(w->Panel()->Level(), -60);

    const QList<int> peaks = StreamPeaks();
    const int soft = int(std::lround(8000 * DbToFactor(-6.0)));
    EXPECT_TRUE(peaks.contains(12000) || peaks.contains(11999)) << peaks.size();
    EXPECT_TRUE(std::any_of(peaks.begin(), peaks.end(), [&](int p) { return std::abs(p - soft) <= 2; })) << soft;
}
