// The audio page of the real program on a real X server, as the operator sees
// it (German locale): the level label shows "+10,0dB" whole, and "leeren"
// leaves a panel that played looking like one that never did, without its
// time and with its position bar at the start.

#include "AudioFixtures.h"
#include "TestHelpers.h"

#include <QImage>
#include <QProcess>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>

namespace {

class AudioDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(X.Started()) << X.Error().toStdString();
        Dir.Write("Ton.wav", AudioFixtures::Wav16(5 * AudioFixtures::Rate, [](int f, int c) { return qint16(f % 400 + c); }));
        Dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nPI_Main=5\r\nAutoSpeichern=0\r\n[Server]\r\nPort=" + QByteArray::number(Port) +
                                       "\r\nStartAktiv=1\r\n");
        auto env = X.Environment();
        env << qMakePair(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"))
            << qMakePair(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        Program = std::make_unique<TProgramProcess>(Dir, env);
        ASSERT_TRUE(Program->WaitForClock()) << Program->Stderr().toStdString();
        ASSERT_FALSE(X.WaitForWindow("^Palvento Orlisk 200").isEmpty());
        // The console window opens over the main window: out of the way.
        for (const QString& id : X.XDoTool({"search", "--onlyvisible", "--name", "^Lichtpult"}).split(u'\n', Qt::SkipEmptyParts))
            X.XDoTool({"windowmove", id, "1200", "1000"});
    }
    void TearDown() override
    {
        if (Program) {
            const TProgramProcess::TResult end = Program->Stop(SIGTERM);
            EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
        }
    }
    bool Send(const QString& line)
    {
        QTcpSocket client;
        if (!ConnectWhenListening(client, Port, *Program))
            return false;
        client.write("K719" + line.toUtf8() + "\n");
        const bool written = client.waitForBytesWritten(5000);
        client.disconnectFromHost();
        return written;
    }
    QImage Screen() const
    {
        const QString file = Dir.File("screen.png");
        QProcess p;
        p.start(QStringLiteral(PV_SOURCE_DIR "/tools/screenshot"), {X.Display(), file});
        p.waitForFinished(30000);
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }
    // Top left of panel 1, from its green Play picture (its top corner drawn at
    // 10, 26 in the panel while the panel holds a file and is not playing);
    // (-1, -1) when it does not show.
    static QPoint Panel1(const QImage& screen)
    {
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                if (screen.pixel(x, y) == qRgb(0, 128, 0))
                    return QPoint(x - 10, y - 26);
        return {-1, -1};
    }
    // Panel n from panel 1: two columns 395 pixels apart, rows 92 pixels apart.
    static QPoint Offset(int n) { return QPoint((n - 1) % 2 * 395, (n - 1) / 2 * 92); }
    // Leftmost and rightmost column with dark ("ink") pixels within r; (INT_MAX, -1) when none.
    static std::pair<int, int> Ink(const QImage& screen, const QRect& r)
    {
        std::pair<int, int> ink{INT_MAX, -1};
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(screen.pixel(x, y)) < 110) {
                    ink.first = std::min(ink.first, x);
                    ink.second = std::max(ink.second, x);
                }
        return ink;
    }
    // Panel n without its number label.
    static QImage PanelImage(const QImage& screen, const QPoint& panel1, int n)
    {
        return screen.copy(QRect(panel1 + Offset(n) + QPoint(30, 0), QSize(355, 88)));
    }

    TXServer X;
    TTempProgramDir Dir;
    quint16 Port = FreeTcpPort();
    std::unique_ptr<TProgramProcess> Program;
};

}   // namespace

TEST_F(AudioDesktop, TheLevelLabelShowsPlusTenWholeAndLeerenClearsTimeAndPosition)
{
    const QString file = "F\"" + Dir.File("Ton.wav") + "\"";
    // Panel 1 at +10 dB; panel 2 shows the same text in its roomy name label;
    // panel 3 plays and pauses, panel 5 holds the same file and never plays.
    for (const QString& line : {"A1" + file + "L100", "A2" + file + "N\"+10,0dB\"", "A3" + file + "E1", "A5" + file})
        ASSERT_TRUE(Send(line));
    QImage screen;
    QPoint panel1;
    ASSERT_TRUE(WaitFor(
        [&] {
            screen = Screen();
            panel1 = Panel1(screen);
            // Panel 1's level text is there; panel 3's time shows and its
            // position bar has left the start.
            const auto bar = [&](int n) { return screen.copy(QRect(panel1 + Offset(n) + QPoint(0, 60), QSize(376, 25))); };
            return panel1.x() >= 0 && Ink(screen, QRect(panel1 + QPoint(242, 20), QSize(66, 16))).second >= 0 &&
                   Ink(screen, QRect(panel1 + Offset(3) + QPoint(300, 46), QSize(85, 16))).second >= 0 && bar(3) != bar(5);
        },
        30000))
        << Program->Stderr().toStdString();
    ASSERT_TRUE(Send("A3E2"));

    // The level text's ink is as wide as the same text in the name label.
    const auto level = Ink(screen, QRect(panel1 + QPoint(242, 20), QSize(66, 16)));
    const auto name = Ink(screen, QRect(panel1 + Offset(2) + QPoint(30, 4), QSize(270, 16)));
    ASSERT_GE(name.second, 0);
    EXPECT_NEAR(level.second - level.first, name.second - name.first, 1)
        << "level " << level.first << ".." << level.second << ", name " << name.first << ".." << name.second << ", panel 1 at "
        << panel1.x() << "," << panel1.y();


    // "leeren" from the page's context menu, below the panels, confirmed.
    const QPoint below = panel1 + QPoint(200, 5 * 92 + 20);
    X.XDoTool({"mousemove", QString::number(below.x()), QString::number(below.y()), "click", "3"});
    X.XDoTool({"key", "l"});
    const QString question = X.WaitForWindow("^Palvento Orlisk$");
    ASSERT_FALSE(question.isEmpty());
    ASSERT_TRUE(X.Keys(question, {"Return"}));
    EXPECT_TRUE(WaitFor(
        [&] {
            screen = Screen();
            return PanelImage(screen, panel1, 3) == PanelImage(screen, panel1, 5);
        },
        10000));
}

// Without a usable output the program says why in a message box once it runs;
// a signal that comes while the box is open ends the program all the same.
TEST(AudioDesktopWithoutOutput, TheMessageBoxShowsAndASignalStillEndsTheProgram)
{
    TXServer x;
    ASSERT_TRUE(x.Started()) << x.Error().toStdString();
    TTempProgramDir dir;
    dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nAutoSpeichern=0\r\n");
    auto env = x.Environment();
    env << qMakePair(QStringLiteral("PV_AUDIO_OUTPUT"), QStringLiteral("keine"));
    TProgramProcess program(dir, env);
    ASSERT_TRUE(program.WaitForClock()) << program.Stderr().toStdString();
    EXPECT_FALSE(x.WaitForWindow("^Palvento Orlisk$").isEmpty()) << program.Stderr().toStdString();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    EXPECT_FALSE(end.Crashed) << end.Stderr.toStdString();
    EXPECT_EQ(end.ExitCode, 0) << end.Stderr.toStdString();
    EXPECT_TRUE(end.Stderr.contains("beendet nach")) << end.Stderr.toStdString();
}
