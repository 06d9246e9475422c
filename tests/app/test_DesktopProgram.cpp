// The real program on a real X server, worked with keys as a user works it: it
// ends on "Beenden" and on SIGTERM whatever windows are open, writing every
// window's position; a signal asks nothing and leaves an unsaved show in a file
// it names; a paste from the empty clipboard of a fresh login leaves it running.
// What the screen shows: a first start keeps the main window's menu bar in sight
// of every window, and the channel list at its end shows channel 729's line whole.

#include "TestHelpers.h"

#include "framework/uProject.h"
#include "framework/uStringIniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

class DesktopProgram : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(X.Started()) << X.Error().toStdString(); }

    // Starts the program on the X server and waits for its main window.
    void Start(const QByteArray& settings)
    {
        Dir.Write("PV_TESSEL.ini", settings);
        Program = std::make_unique<TProgramProcess>(Dir, X.Environment());
        ASSERT_TRUE(Program->WaitForClock()) << Program->Stderr().toStdString();
        Main = X.WaitForWindow("^Palvento Orlisk 200");
        ASSERT_FALSE(Main.isEmpty()) << Program->Stderr().toStdString();
    }

    // Chooses an item of a main-menu: the menu's key, then Down n times.
    bool Menu(const QString& key, int down)
    {
        QStringList keys{key};
        for (int i = 0; i < down; ++i)
            keys << QStringLiteral("Down");
        keys << QStringLiteral("Return");
        return X.Keys(Main, keys);
    }
    // "Datei › Beenden", the menu's last item.
    bool Beenden() { return X.Keys(Main, {"alt+d", "Up", "Return"}); }

    // The program's end, waited for (the signal or the menu item already given).
    TProgramProcess::TResult End()
    {
        Program->Process.waitForFinished(30000);
        return Program->Stop(SIGKILL);   // only when it did not end by itself
    }

    // Where window id lies on the screen.
    QRect Geometry(const QString& id) const
    {
        QRect r;
        for (const QString& line : X.XDoTool({"getwindowgeometry", "--shell", id}).split(u'\n')) {
            const QString value = line.section(u'=', 1);
            if (line.startsWith("X="))
                r.moveLeft(value.toInt());
            else if (line.startsWith("Y="))
                r.moveTop(value.toInt());
            else if (line.startsWith("WIDTH="))
                r.setWidth(value.toInt());
            else if (line.startsWith("HEIGHT="))
                r.setHeight(value.toInt());
        }
        return r;
    }
    // What the screen shows now.
    QImage Screenshot() const
    {
        const QString file = Dir.File("screen.png");
        QProcess shot;
        shot.start(QStringLiteral(PV_SOURCE_DIR "/tools/screenshot"), {X.Display(), file});
        if (!shot.waitForFinished(30000) || shot.exitCode() != 0)
            return {};
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

    TXServer X;
    TTempProgramDir Dir;
    std::unique_ptr<TProgramProcess> Program;
    QString Main;
};

// The show file a signal wrote, as named on stderr.
QString RescuedShow(const QString& stderrText)
{
    const auto m = QRegularExpression("Projekt beim Beenden gesichert in \"([^\"]+)\"").match(stderrText);
    return m.hasMatch() ? m.captured(1) : QString();
}

// The height of the navy band of a selected line: the longest run of navy pixels
// down one column of shot.
int NavyBand(const QImage& shot)
{
    int longest = 0;
    for (int x = 0; x < shot.width(); x += 3) {
        int run = 0;
        for (int y = 0; y < shot.height(); ++y) {
            run = shot.pixel(x, y) == qRgb(0, 0, 128) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}

}   // namespace

TEST_F(DesktopProgram, AFirstStartLeavesTheMenuBarInSightOfEveryWindow)
{
    // A fresh program folder: the console window opens on the first showing,
    // then a window of each kind from "Fenster"; none has a stored position.
    Start({});
    QStringList windows{X.WaitForWindow("^Lichtpult 1 ")};
    const QStringList titles{"^Makros 1$", "^Patch 1$", "^Audio 1$", "^Lichtpult 2"};
    for (int i = 0; i < titles.size(); ++i) {
        ASSERT_TRUE(Menu("alt+f", i));
        windows << X.WaitForWindow(titles[i]);
    }
    ASSERT_EQ(windows.count(QString()), 0) << windows.join(u' ').toStdString();

    const QRect main = Geometry(Main);
    for (const QString& w : windows)
        EXPECT_GT(Geometry(w).top(), main.top());
    // A click on the first title of the menu bar opens its menu, a window of its
    // own: nothing lies over the menu bar.
    const QString pid = QString::number(Program->Process.processId());
    const auto shown = [&] { return X.XDoTool({"search", "--onlyvisible", "--pid", pid}).split(u'\n').size(); };
    const qsizetype before = shown();
    ASSERT_EQ(before, windows.size() + 1);
    X.XDoTool({"mousemove", QString::number(main.left() + 12), QString::number(main.top() + 8), "click", "1"});
    QDeadlineTimer deadline(5000);
    while (shown() == before && !deadline.hasExpired())
        QThread::msleep(100);
    EXPECT_EQ(shown(), before + 1);
}

TEST_F(DesktopProgram, TheChannelListAtItsEndShowsChannel729Whole)
{
    // The page "Kanäle"; the console window out of its way.
    Start("[FrmMain]\r\nPI_Main=3\r\n[FrmLichtpult1]\r\nLeft=0\r\nTop=1010\r\n");
    ASSERT_FALSE(X.WaitForWindow("^Lichtpult 1 ").isEmpty());
    // Channel 1 is selected on the list's first line: a whole line's band.
    ASSERT_TRUE(X.Keys(Main, {}));
    const int line = NavyBand(Screenshot());
    ASSERT_GT(line, 8);
    // Page Down to the last channel scrolls the list to its end, at the window's
    // first height and at one a few pixels lower.
    for (const int height : {0, 713}) {
        SCOPED_TRACE(height);
        if (height > 0) {
            X.XDoTool({"windowsize", "--sync", Main, QString::number(Geometry(Main).width()), QString::number(height)});
            ASSERT_TRUE(X.Keys(Main, {"Up"}));
        }
        ASSERT_TRUE(X.Keys(Main, QStringList(46, QStringLiteral("Next"))));
        EXPECT_EQ(NavyBand(Screenshot()), line);
    }
}

TEST_F(DesktopProgram, EndsOnSigtermAndOnBeendenWithEveryKindOfWindowOpen)
{
    for (const bool byMenu : {false, true}) {
        SCOPED_TRACE(byMenu ? "Beenden" : "SIGTERM");
        Start("[FrmMain]\r\nAutoSpeichern=0\r\n");
        // "Fenster": new macro, patch, audio and console window.
        const QStringList titles{"^Makros 1$", "^Patch 1$", "^Audio 1$", "^Lichtpult 2"};
        for (int i = 0; i < titles.size(); ++i) {
            ASSERT_TRUE(Menu("alt+f", i));
            ASSERT_FALSE(X.WaitForWindow(titles[i]).isEmpty()) << titles[i].toStdString();
        }
        if (byMenu)
            ASSERT_TRUE(Beenden());
        else
            ::kill(pid_t(Program->Process.processId()), SIGTERM);
        const TProgramProcess::TResult r = End();
        EXPECT_FALSE(r.Crashed) << r.Stderr.toStdString();
        EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
        EXPECT_TRUE(r.Stderr.contains("beendet nach")) << r.Stderr.toStdString();

        TStringIniFile ini(Dir.File("PV_TESSEL.ini"));
        for (const char* section : {"FrmMain", "FrmMakro1", "FrmPatch1", "FrmAudio1", "FrmLichtpult2"})
            EXPECT_NE(ini.ReadString(section, "Left", "?"), "?") << section;
        QFile::remove(Dir.File("PV_TESSEL.ini"));
    }
}

TEST_F(DesktopProgram, ASignalAsksNothingAndKeepsAShowThatHasNoFile)
{
    // The script page shows; a click puts the cursor into the text. A paste from
    // the empty clipboard changes nothing, the typed text is the show's.
    Start("[FrmMain]\r\nPI_Main=7\r\n");
    ASSERT_TRUE(X.Keys(Main, {}));
    X.XDoTool({"mousemove", "--window", Main, "300", "560", "click", "1"});   // below the console window
    ASSERT_TRUE(X.Keys(Main, {"ctrl+v", "ctrl+v", "H", "a", "l", "l", "o"}));

    // "Beenden" opens the save dialog for a show without a file; the signal
    // that comes meanwhile cancels it and ends the program.
    ASSERT_TRUE(Beenden());
    ASSERT_FALSE(X.WaitForWindow("^Palvento Orlisk$").isEmpty());
    ::kill(pid_t(Program->Process.processId()), SIGTERM);
    const TProgramProcess::TResult r = End();
    EXPECT_FALSE(r.Crashed) << r.Stderr.toStdString();
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();

    const QString show = RescuedShow(r.Stderr);
    ASSERT_FALSE(show.isEmpty()) << r.Stderr.toStdString();
    EXPECT_EQ(QFileInfo(show).absolutePath(), QDir::cleanPath(Dir.File("Projekte")));
    QFile f(show);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("Hallo"));
    // The next start reopens it.
    EXPECT_EQ(TStringIniFile(Dir.File("PV_TESSEL.ini")).ReadString("FrmMain", "LetzteProjektDatei", "?"), show);
}

TEST_F(DesktopProgram, ASignalKeepsAShowWhoseFileVanishedBehindALink)
{
    // The show was opened through a link whose file is gone by the end.
    Dir.Write("Abend.pvs", EncodeShowString("[Makros]\r\nMakroCount=2\r\nText_1=K1P255|\r\n"));
    ASSERT_TRUE(QFile::link(Dir.File("Abend.pvs"), Dir.File("Link.pvs")));
    Start("[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=" + Dir.File("Link.pvs").toUtf8() + "\r\n");
    ASSERT_TRUE(QFile::remove(Dir.File("Abend.pvs")));
    ::kill(pid_t(Program->Process.processId()), SIGTERM);
    const TProgramProcess::TResult r = End();
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
    const QString show = RescuedShow(r.Stderr);
    ASSERT_FALSE(show.isEmpty()) << r.Stderr.toStdString();
    EXPECT_TRUE(r.Stderr.contains("gibt es nicht mehr")) << r.Stderr.toStdString();
    QFile f(show);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("Text_1=K1P255|"));
}
