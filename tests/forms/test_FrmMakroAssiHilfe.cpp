// The macro assistant offscreen: the line each assistant page builds, and its
// content lent to hosts, given back, and surviving a host that is destroyed.

#include "TestHelpers.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "cues/uFrm_MakroAssiHilfe.h"
#include "framework/uMod_Main.h"

#include <QComboBox>
#include <QListWidget>
#include <QTextEdit>
#include <QTabWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct TAssiFixture {
    TAssiFixture()
    {
        engine.Start();
        host = std::make_unique<QWidget>();
        assi.Attach(host.get(), [this](const QString& line) { Lines << line; });
    }
    QPushButton* Button(const char* name) { return assi.findChild<QPushButton*>(QString::fromLatin1(name)); }
    QPushButton* HostButton(const char* name) { return host->findChild<QPushButton*>(QString::fromLatin1(name)); }
    TEngine engine;
    TfrmMakroAssiHilfe assi;
    std::unique_ptr<QWidget> host;
    QStringList Lines;
};

} // namespace

TEST(FrmMakroAssiHilfe, EachAssistantPageAppendsItsLine)
{
    TAssiFixture f;
    f.assi.AudioPanelLines = [] { return QStringList{QStringLiteral("1 | a.wav"), QStringLiteral("3 | Gewitter.mp3")}; };
    ModuleLichtpult->GetKanal(3).SetPegel(100);
    ModuleLichtpult->GetKanal(7).SetBlackout(40);   // level 0 differs from its blackout level
    ModuleLichtpult->GetKanal(9).SetBlackout(50);
    ModuleLichtpult->GetKanal(9).SetPegel(50);       // equal: no line
    ModuleLichtpult->GetKanal(511).SetPegel(200);    // beyond the console channels: no line
    f.assi.RefillAudioList();
    f.assi.cmbAudioList->setCurrentIndex(1);
    f.assi.cmbInterfaceList->setCurrentIndex(4);
    f.assi.udKanal->setValue(2);
    f.assi.comboBefehl->setCurrentIndex(3);
    f.assi.udParameter1->setValue(7);
    f.assi.udParameter2->setValue(100);

    const struct {
        const char* button;
        QStringList lines;
    } cases[] = {
        {"btnKanalAnfuegen", {QStringLiteral("K3P100"), QStringLiteral("K7P0")}},
        {"btnAudioPlay", {QStringLiteral("A3E1")}},
        {"btnAudioStop", {QStringLiteral("A3E3")}},
        {"btnRelaisAus", {QStringLiteral("I5W0")}},
        {"btnRelaisAn", {QStringLiteral("I5W1")}},
        {"btnMIDI", {QStringLiteral("N0K2B3P7Z100")}},
    };
    for (const auto& c : cases) {
        f.Lines.clear();
        ASSERT_NE(f.HostButton(c.button), nullptr) << c.button;   // the content sits in the host
        QTest::mouseClick(f.HostButton(c.button), Qt::LeftButton);
        EXPECT_EQ(f.Lines, c.lines) << c.button;
    }

    // No panel chosen: no line rather than "AE1"; the empty relay item is relay 17.
    f.Lines.clear();
    f.assi.AudioPanelLines = {};
    f.assi.RefillAudioList();
    f.assi.cmbInterfaceList->setCurrentIndex(16);
    QTest::mouseClick(f.HostButton("btnAudioPlay"), Qt::LeftButton);
    QTest::mouseClick(f.HostButton("btnRelaisAn"), Qt::LeftButton);
    EXPECT_EQ(f.Lines, QStringList({QStringLiteral("I17W1")}));
}

TEST(FrmMakroAssiHilfe, ContentMovesBetweenHostsAndOutlivesThem)
{
    TEngine engine;
    engine.Start();
    TfrmMakroAssiHilfe assi;
    // Before any host attached, a generated line goes nowhere and nothing breaks.
    assi.AppendLine(QStringLiteral("K1P1"));
    EXPECT_EQ(assi.Host(), nullptr);

    QStringList scene, editor;
    QWidget scenePanel;
    assi.Attach(&scenePanel, [&](const QString& l) { scene << l; });
    {
        QWidget editorPanel;
        assi.Attach(&editorPanel, [&](const QString& l) { editor << l; });
        EXPECT_EQ(assi.pnlContent->parentWidget(), &editorPanel);
        assi.AppendLine(QStringLiteral("M3E"));
        // The editor closes without detaching: its panel is destroyed with the content inside.
    }
    ASSERT_EQ(assi.Host(), &scenePanel);
    EXPECT_EQ(assi.pnlContent->parentWidget(), &scenePanel);
    EXPECT_NE(assi.lbAuswahl, nullptr);
    assi.AppendLine(QStringLiteral("K1P255"));
    EXPECT_EQ(editor, QStringList{QStringLiteral("M3E")});
    EXPECT_EQ(scene, QStringList{QStringLiteral("K1P255")});

    // Detaching a host that is not on top leaves the content where it is.
    QWidget other;
    assi.Attach(&other, {});
    assi.Detach(&scenePanel);
    EXPECT_EQ(assi.Host(), &other);
    assi.Detach(&other);
    EXPECT_EQ(assi.Host(), nullptr);
    EXPECT_EQ(assi.pnlContent->parentWidget(), &assi);
}

TEST(FrmMakroAssiHilfe, LettersChooseTheirPages)
{
    TEngine engine;
    engine.Start();
    TfrmMakroAssiHilfe assi;
    const struct {
        const char* item;
        const char* assiPage;
        const char* hilfePage;
    } cases[] = {
        {"A Audio", "tabAssiAudio", "tabHilfeAudio"},     {"K Kanal", "tabAssiKanal", "tabHilfeKanal"},
        {"N MIDI", "tabAssiMIDI", "tabHilfeMIDI"},        {"W Bedingung", "tabAssiLeer", "tabHilfeBedingung"},
        {"-", "tabAssiLeer", "tabHilfeBedingung"},        {"I Interface", "tabAssiInterface", "tabHilfeInterface"},
    };
    for (const auto& c : cases) {
        const auto items = assi.lbAuswahl->findItems(QString::fromUtf8(c.item), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << c.item;
        assi.lbAuswahl->setCurrentItem(items.front());
        emit assi.lbAuswahl->itemClicked(items.front());
        EXPECT_EQ(assi.pcAssi->currentWidget()->objectName(), QLatin1String(c.assiPage)) << c.item;
        EXPECT_EQ(assi.pcHilfe->currentWidget()->objectName(), QLatin1String(c.hilfePage)) << c.item;
    }
    // Reference lines show code and meaning as two columns.
    auto* memo = assi.findChild<QTextEdit*>(QStringLiteral("memHilfeAudio"));
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("E1\tPlay")));
    EXPECT_TRUE(memo->isReadOnly());
}
