// A show played from a remote computer: the real program, started in a temporary
// program folder, reopens a show with three scenes; the step command "T0E1" over
// the remote port fades the Art-Net frames to scene 1's levels. And a group scene
// stored through the console window's fader menu is saved with the show; the real
// program reopens it and mixes it in with the group fader. Scenes renumbered from
// the script's menu on an X server keep each marker on the scene it named.

#include "TestHelpers.h"

#include "console/uFader.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uMod_Szenen.h"
#include "cues/uRtf.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uUtils.h"

#include <QAction>
#include <QMenu>

#include <QTcpSocket>
#include <QThread>
#include <QTextDocument>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

// The show's [Szenen] section: three scenes of channels 1 and 2, fade 1 s.
QString ThreeScenes(const int (&levels)[3][2])
{
    QString scenes = QStringLiteral("[Szenen]\r\nAnzahl=3\r\n");
    for (int i = 1; i <= 3; ++i) {
        TLevelArray a{};
        a[1] = static_cast<std::uint8_t>(levels[i - 1][0]);
        a[2] = static_cast<std::uint8_t>(levels[i - 1][1]);
        scenes +=
            QStringLiteral("SZ_%1_SNR=%1\r\nSZ_%1_NAME=Szene %1\r\nSZ_%1_SDAT=v\r\nSZ_%1_MDAT=v\r\nSZ_%1_FAD=10\r\n"
                           "SZ_%1_FAP=10\r\nSZ_%1_SZ_CNT=1\r\nSZ_%1_SZ_1_DAT=v\r\nSZ_%1_SZ_1_KAN=%2\r\n"
                           "SZ_%1_MAK_CNT=0\r\n")
                .arg(i)
                .arg(EncodeLevels(a));
    }
    return scenes;
}

// Reads Art-Net frames until slots 1 and 2 hold want (true) or the program ends
// or 30 s pass; counts the frames whose slot 1 lay strictly between from and want,
// and keeps the slots of the last frame read in last.
bool FrameReaches(QUdpSocket& artnet, TProgramProcess& program, int want1, int want2, int from1, int& between,
                  QByteArray& last)
{
    return ReadArtNetFrames(artnet, program, [&](const QByteArray& dmx) {
        last = dmx;
        const int slot1 = quint8(dmx.at(0));
        between += slot1 > std::min(from1, want1) && slot1 < std::max(from1, want1) ? 1 : 0;
        return slot1 == want1 && quint8(dmx.at(1)) == want2;
    });
}

// The show Abend.pvs in dir with three scenes and the script tail, reopened at the
// start; the remote server listens on port. frmMain: further lines of [FrmMain].
void WriteShow(const TTempProgramDir& dir, quint16 port, const QByteArray& script, const QByteArray& frmMain = {})
{
    const int levels[3][2] = {{200, 100}, {50, 250}, {0, 30}};
    dir.Write("Abend.pvs", HandMadeShow(QStringLiteral("\r\n[Kanäle]\r\n\r\n") + ThreeScenes(levels), script));
    dir.Write("PV_TESSEL.ini", "[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=" + dir.File("Abend.pvs").toUtf8() +
                                   "\r\n" + frmMain + "[Server]\r\nPort=" + QByteArray::number(port) +
                                   "\r\nStartAktiv=1\r\n");
}

// The real program on the show of WriteShow, its Art-Net frames received here and
// a client connected to its remote port.
struct TSceneProgram {
    // env: further environment of the program (an X server's).
    TSceneProgram(const QByteArray& script, const QByteArray& frmMain = {},
                  const QList<QPair<QString, QString>>& env = {})
    {
        if (!CopyDmxLibraries(Dir) || !ArtNet.bind(QHostAddress::LocalHost, 0))
            return;
        const quint16 port = FreeTcpPort();
        WriteShow(Dir, port, script, frmMain);
        Program = std::make_unique<TProgramProcess>(
            Dir, QList<QPair<QString, QString>>{{"USBIO_DEVICE", "artnet:127.0.0.1:" + QString::number(ArtNet.localPort())}} + env);
        Ready = Program->Started() && ConnectWhenListening(Client, port, *Program);
    }
    // Sends one remote message.
    bool Send(const QByteArray& message)
    {
        Client.write(message);
        return Client.waitForBytesWritten(5000);
    }

    TTempProgramDir Dir;
    QUdpSocket ArtNet;
    std::unique_ptr<TProgramProcess> Program;
    QTcpSocket Client;
    bool Ready = false;
};

}   // namespace

// The real program reopens a show with three scenes; the step command from a
// remote computer fades the frame to scene 1's levels over its fade time.
TEST(SceneProgram, ARemoteStepCommandFadesTheFrameToTheFirstScene)
{
    TSceneProgram p("{{1}} Vorhang");
    ASSERT_TRUE(p.Ready) << (p.Program ? p.Program->Stderr().toStdString() : std::string());
    TProgramProcess& program = *p.Program;
    QUdpSocket& artnet = p.ArtNet;
    QTcpSocket& client = p.Client;
    ASSERT_TRUE(p.Send("K719T0E1"));

    // The frames rise through the fade (one second, 25 ticks) to the scene.
    int between = 0;
    QByteArray last;
    const bool reached = FrameReaches(artnet, program, 200, 100, 0, between, last);
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    EXPECT_TRUE(reached) << err;
    EXPECT_GT(between, 0) << err;   // a fade, not a jump
    ASSERT_FALSE(last.isEmpty()) << err;
    EXPECT_EQ(quint8(last.at(2)), 0);
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
}

// The real program opens a show whose script holds the markers {{1}} {{2}} {{3}};
// a remote step command executes the first step, and after the remote computer
// has the next marker found, the second execution fades to scene 2.
TEST(SceneProgram, TheScriptPageStepsThroughTheMarkersFromARemoteComputer)
{
    const QByteArray script = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                              "\\viewkind4\\uc1\\pard\\f0\\fs24 Vorhang \\{\\{1\\}\\}\\par\r\n"
                              "Erster Akt \\{\\{2\\}\\}\\par\r\nEnde \\{\\{3\\}\\}\\par\r\n}\r\n";
    TSceneProgram p(script, "PI_Main=7\r\n");   // the tab "Text" shown at the start
    ASSERT_TRUE(p.Ready) << (p.Program ? p.Program->Stderr().toStdString() : std::string());
    TProgramProcess& program = *p.Program;
    QUdpSocket& artnet = p.ArtNet;
    QTcpSocket& client = p.Client;

    // The first marker, then its execution: a fade to scene 1.
    ASSERT_TRUE(p.Send("K719T0S1E1"));
    int between = 0;
    QByteArray last;
    const bool first = FrameReaches(artnet, program, 200, 100, 0, between, last);
    EXPECT_GT(between, 0);
    // The next marker {{2}} and its execution: a fade down to scene 2.
    ASSERT_TRUE(p.Send("K719T0S2E1"));
    between = 0;
    const bool second = first && FrameReaches(artnet, program, 50, 250, 200, between, last);
    client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    EXPECT_TRUE(first) << err;
    EXPECT_TRUE(second) << err;
    EXPECT_GT(between, 0) << err;
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
    EXPECT_FALSE(end.Stderr.contains("RTF")) << err;
}

// On an X server the operator renumbers the scenes from the script's menu for
// the text "{{3}} x {{2}} y" and confirms; a remote computer then steps through
// the markers: the first fades to scene 3's levels and the second to scene 2's,
// the scenes they named before. The show saved at the end holds the new text.
TEST(SceneProgram, RenumberingFromTheScriptMenuKeepsEachMarkerOnItsScene)
{
    TXServer x;
    ASSERT_TRUE(x.Started()) << x.Error().toStdString();
    TSceneProgram p("{{3}} x {{2}} y", "PI_Main=7\r\n", x.Environment());   // the tab "Text" shown
    ASSERT_TRUE(p.Ready) << (p.Program ? p.Program->Stderr().toStdString() : std::string());
    TProgramProcess& program = *p.Program;
    const QString main = x.WaitForWindow("^Palvento Orlisk 200");
    ASSERT_FALSE(main.isEmpty()) << program.Stderr().toStdString();

    // The editor's menu (right click into the text), its last item, then Yes to
    // the question and OK to the message. The menu and the boxes all bear the
    // program's name alone: each is the first such window other than the one
    // before. (A search by name does not find the menu.)
    const auto nextWindow = [&x](const QString& before, int polls = 300) {
        for (int i = 0; i < polls; ++i) {
            for (const QString& id : x.XDoTool({"search", "--onlyvisible", "--class", ""}).split(u'\n'))
                if (id != before && x.XDoTool({"getwindowname", id}) == "Palvento Orlisk")
                    return id;
            QThread::msleep(100);
        }
        return QString();
    };
    // While the show is still being opened the program takes no input: the
    // click is repeated until the menu opens.
    QString menu;
    for (int i = 0; i < 15 && menu.isEmpty(); ++i) {
        ASSERT_TRUE(x.Keys(main, {}));
        bool clicked = false;
        x.XDoTool({"mousemove", "--window", main, "300", "560", "click", "3"}, &clicked);
        ASSERT_TRUE(clicked);
        menu = nextWindow({}, 20);
    }
    ASSERT_FALSE(menu.isEmpty()) << program.Stderr().toStdString();
    bool ok = false;
    x.XDoTool({"key", "--delay", "50", "Up", "Return"}, &ok);
    ASSERT_TRUE(ok);
    const QString question = nextWindow(menu);
    ASSERT_FALSE(question.isEmpty()) << program.Stderr().toStdString();
    ASSERT_TRUE(x.Keys(question, {"Return"}));
    const QString message = nextWindow(question);
    ASSERT_FALSE(message.isEmpty()) << program.Stderr().toStdString();
    ASSERT_TRUE(x.Keys(message, {"Return"}));

    ASSERT_TRUE(p.Send("K719T0A0T0S1E1"));
    int between = 0;
    QByteArray last;
    const bool first = FrameReaches(p.ArtNet, program, 0, 30, 0, between, last);
    ASSERT_TRUE(p.Send("K719T0S2E1"));
    const bool second = first && FrameReaches(p.ArtNet, program, 50, 250, 0, between, last);
    p.Client.disconnectFromHost();
    const TProgramProcess::TResult end = program.Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();
    EXPECT_TRUE(first) << err;
    EXPECT_TRUE(second) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
    const QByteArray saved = p.Dir.Read("Abend.pvs");
    EXPECT_TRUE(saved.contains("\\{\\{1\\}\\} x \\{\\{2\\}\\} y")) << saved.constData();
}

// A new show: group fader 1 (channel 511) on the first console page, and through
// its fader menu a group scene of channels 1 and 2 stored from the set levels. The
// real program reopens the saved show; the group fader raised from a remote
// computer mixes the group scene into the frame, and the show it saves at the end
// still holds the group scene.
TEST(SceneProgram, AGroupSceneStoredThroughTheFaderMenuIsSavedAndMixedByTheGroupFader)
{
    QByteArray show;
    {
        TEngine engine;
        engine.Start();
        QWidget host;
        CreateLichtpultWindows(*ModuleLichtpult, &host);
        TFrmLichtpult* window = LichtpultWindow(0);
        ASSERT_TRUE(window);
        ModuleLichtpult->SetZeilenKanal(0, 0, ErsterGruppenKanal);
        ModuleMain->ExecuteLines({QStringLiteral("K1P200"), QStringLiteral("K2P100")}, false);
        window->PopupFaderMenu(QPoint(window->Fader(0)->x() + 5, 50));
        QAction* store = window->popFader->findChild<QAction*>(QStringLiteral("eingestellteSzenealsGruppe1"));
        ASSERT_TRUE(store && store->isEnabled());
        store->trigger();
        window->popFader->close();
        ASSERT_TRUE(SaveProject(engine.Dir.File("Gruppe.pvs")));   // the levels are not saved
        show = engine.Dir.Read("Gruppe.pvs");
    }

    TRemoteShowProgram remote(show);
    ASSERT_TRUE(remote.Ready) << (remote.Program ? remote.Program->Stderr().toStdString() : std::string());
    remote.Client.write("K719K511P255");
    ASSERT_TRUE(remote.Client.waitForBytesWritten(5000));
    const bool mixed = ReadArtNetFrames(remote.ArtNet, *remote.Program, [](const QByteArray& dmx) {
        return quint8(dmx.at(0)) == 200 && quint8(dmx.at(1)) == 100;
    });
    remote.Client.disconnectFromHost();
    const TProgramProcess::TResult end = remote.Program->Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();
    EXPECT_TRUE(mixed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
    const QByteArray saved = remote.Dir.Read("Abend.pvs");
    EXPECT_TRUE(saved.contains("SZ_1_SZ_CNT=1\r\n")) << saved.constData();
}

// A script of some 5,000 lines with its markers far down: the real program finds
// the marker {{3}} near the end, steps to it from a remote computer, and at its
// close writes the script back as the writer wrote it, the previous show beside
// it as the backup.
TEST(SceneProgram, ALargeScriptIsSteppedAndWrittenBackByteForByte)
{
    // The script as the writer writes it: read and written once.
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                     "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    for (int i = 0; i < 5000; ++i)
        rtf += "Auftritt der Gr\\'fc\\'dfen \\cf1\\b Zeile " + QByteArray::number(i) +
               "\\cf0\\b0  und Text bis zum Ende der Zeile im Skript.\\par\r\n";
    rtf += "Vorhang \\{\\{3\\}\\}\\par\r\n}\r\n";
    QTextDocument doc;
    LoadRichText(doc, rtf);
    const QByteArray script = SaveRichText(doc);
    ASSERT_GT(script.size(), 400000);

    TSceneProgram p(script);
    ASSERT_TRUE(p.Ready) << (p.Program ? p.Program->Stderr().toStdString() : std::string());
    const QByteArray opened = p.Dir.Read("Abend.pvs");
    ASSERT_TRUE(p.Send("K719T0S1E1"));
    int between = 0;
    QByteArray last;
    const bool reached = FrameReaches(p.ArtNet, *p.Program, 0, 30, 0, between, last);
    p.Client.disconnectFromHost();
    const TProgramProcess::TResult end = p.Program->Stop(SIGTERM);
    const std::string err = end.Stderr.toStdString();

    EXPECT_TRUE(reached) << err;   // scene 3's levels: the marker at the end was found
    EXPECT_FALSE(end.Crashed) << err;
    EXPECT_EQ(end.ExitCode, 0) << err;
    const QByteArray saved = p.Dir.Read("Abend.pvs");
    qsizetype used = 0;
    DecodeShowString(saved, used);
    EXPECT_EQ(saved.mid(used), script);
    EXPECT_EQ(p.Dir.Read("Abend.~pvs"), opened);
}
