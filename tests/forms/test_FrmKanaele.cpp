// The channel list, its export and import dialogs and the channel template editor
// with its insert dialog, offscreen, through their named widgets, on the whole engine.

#include "TestHelpers.h"

#include "console/uFader.h"
#include "console/uFrmKanalvorlage.h"
#include "console/uFrm_Kanaele.h"
#include "console/uKanaeleModel.h"
#include "console/uKanal.h"
#include "console/uKanalListBox.h"
#include "console/uMod_Lichtpult.h"
#include "console/uTrackBar.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class FrmKanaeleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.Start();
        SetPrompts(&Answers);
    }
    void TearDown() override
    {
        SetDialogRunner(QStringLiteral("FrmExportKanaele"), {});
        SetDialogRunner(QStringLiteral("FrmImportKanaele"), {});
        SetDialogRunner(QStringLiteral("frmVorlageEinfuegen"), {});
        SetPrompts(nullptr);
        Engine.Stop();
    }
    template <typename T>
    static T* W(QWidget* form, const char* name)
    {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static TKanal& K(int nr) { return ModuleLichtpult->GetKanal(nr); }
    // Runs the range dialog named name with von..bis and clicks button.
    static void SetRangeRunner(const char* name, int von, int bis, const char* button)
    {
        SetDialogRunner(QString::fromLatin1(name), TDialogRunner([=](QDialog& d) {
                            W<QSpinBox>(&d, "edtVon")->setValue(von);
                            W<QSpinBox>(&d, "edtBis")->setValue(bis);
                            W<QPushButton>(&d, button)->click();
                            return d.result();
                        }));
    }

    TEngine Engine;
    TScriptedPrompts Answers;
};

TEST_F(FrmKanaeleTest, ListReachesEveryChannelAndEditsTheSelectedOne)
{
    TFrmKanaele form(*ModuleLichtpult);
    form.resize(800, 400);
    form.show();
    QLineEdit* edtKanal = W<QLineEdit>(&form, "edtKanal");
    auto* list = W<TKanalListBox>(&form, "pbKanaele");
    auto* scroll = W<QScrollBar>(&form, "sbKanaele");
    QCoreApplication::processEvents();
    const int visible = list->VisibleRows();
    ASSERT_GT(visible, 10);
    form.SelectKanalView();
    // Page Up on 5 selects 1; Page Down from 720 stops at 729, which the list shows
    // on its last whole line.
    form.SelectKanal(5);
    QTest::keyClick(edtKanal, Qt::Key_PageUp);
    EXPECT_EQ(form.Selected(), 1);
    QTest::keyClick(edtKanal, Qt::Key_X);   // swallowed
    EXPECT_EQ(edtKanal->text(), QStringLiteral("1"));
    form.SelectKanal(720);
    QTest::keyClick(edtKanal, Qt::Key_PageDown);
    EXPECT_EQ(form.Selected(), MaxKanal);
    EXPECT_EQ(edtKanal->text(), QStringLiteral("99"));
    EXPECT_EQ(list->NrOfLine(list->WholeRows()), MaxKanal);

    // The keys scroll the list: near its bottom the selected line moves up to a
    // third from the bottom, near its top down to the middle.
    scroll->setValue(0);
    form.SelectKanal(1);
    for (int i = 1; i < visible - 4; ++i)
        QTest::keyClick(edtKanal, Qt::Key_Down);
    EXPECT_EQ(scroll->value(), 0);
    QTest::keyClick(edtKanal, Qt::Key_Down);
    EXPECT_EQ(scroll->value(), visible - 3 - (2 * visible) / 3);
    const int top = scroll->value();
    form.SelectKanal(top + 4);
    EXPECT_EQ(scroll->value(), top);
    QTest::keyClick(edtKanal, Qt::Key_Up);
    EXPECT_EQ(scroll->value(), std::max(0, top + 3 - visible / 2));
    form.SelectKanal(700);
    EXPECT_EQ(scroll->value(), 700 - (2 * visible) / 3);

    // Clicking a line selects its channel, which is drawn white on navy; the
    // panel's edits change only their own field.
    scroll->setValue(0);
    K(3).SetPegel(300);
    const QPoint line3(100, list->RowHeight() * 3 + 6 + list->RowHeight() / 2);
    QTest::mouseClick(list, Qt::LeftButton, {}, line3);
    EXPECT_EQ(form.Selected(), 3);
    EXPECT_EQ(edtKanal->text(), QStringLiteral("3"));
    const QImage shot = list->grab().toImage();
    EXPECT_EQ(shot.pixelColor(line3 + QPoint(0, 0)), QColor(0, 0, 128));
    EXPECT_EQ(shot.pixelColor(line3 + QPoint(0, list->RowHeight())), list->palette().color(QPalette::Button));
    QTest::keyClicks(W<QLineEdit>(&form, "edtName"), QStringLiteral("Front"));
    W<QComboBox>(&form, "cmbStatus")->setCurrentIndex(kmLTP);
    W<QSpinBox>(&form, "edtFlash")->setValue(100);
    EXPECT_EQ(K(3).Name, QStringLiteral("Front"));
    EXPECT_EQ(K(3).Modus, kmLTP);
    EXPECT_EQ(K(3).FlashPegel, 100);
    EXPECT_EQ(K(3).Pegel, 300);   // a rename does not clamp the level into the track bar's range
    EXPECT_EQ(form.Model()->index(2, 1).data().toString(), QStringLiteral("Front"));

    // The track bar holds the level and shows the output level as its selection end.
    W<QComboBox>(&form, "cmbStatus")->setCurrentIndex(kmHTP);
    ModuleMain->ExecuteLines({QStringLiteral("K3P200"), QStringLiteral("R0P127")}, false);
    ModuleMain->ClockTick();
    auto* tbFader = W<TTrackBar>(&form, "tbFader");
    EXPECT_EQ(tbFader->value(), 200);
    EXPECT_EQ(tbFader->SelEnd(), K(3).Output);
    EXPECT_LT(K(3).Output, 200);
}

TEST_F(FrmKanaeleTest, AtTheEndOfItsRangeTheLastChannelIsWhollyInsideTheListAtEveryHeight)
{
    TFrmKanaele form(*ModuleLichtpult);
    form.resize(800, 400);
    form.show();
    auto* list = W<TKanalListBox>(&form, "pbKanaele");
    auto* scroll = W<QScrollBar>(&form, "sbKanaele");
    QCoreApplication::processEvents();
    const int h = list->RowHeight();
    // Every remainder of the list's height by the row height, the box's bottom
    // edge thus cutting a line at each of its pixels.
    for (int extra = 0; extra <= h; ++extra) {
        form.resize(800, 400 + extra);
        QCoreApplication::processEvents();
        SCOPED_TRACE(list->height());
        form.SelectKanal(MaxKanal);
        ASSERT_EQ(scroll->value(), scroll->maximum());
        const int line = MaxKanal - scroll->value();
        EXPECT_EQ(list->NrOfLine(line), MaxKanal);
        EXPECT_LE(h * (line + 1) + 6, list->height());   // its line ends inside the box
        EXPECT_GT(h * (line + 2) + 6, list->height());   // and no whole line stays empty below it
        // On the screen: a navy band as high as a line.
        const QImage shot = list->grab().toImage();
        int navy = 0;
        for (int y = 0; y < shot.height(); ++y)
            navy += shot.pixelColor(2, y) == QColor(0, 0, 128) ? 1 : 0;
        EXPECT_EQ(navy, h);
    }
}

TEST_F(FrmKanaeleTest, ExportAndImportDialogsThroughClipboardAndFile)
{
    TFrmKanaele form(*ModuleLichtpult);
    for (int nr = 11; nr <= 20; ++nr) {
        K(nr).SetName(QStringLiteral("K%1").arg(nr));
        K(nr).SetFlash(nr);
    }
    SetRangeRunner("FrmExportKanaele", 11, 20, "btnZwischenablage");
    form.ShowExportDialog();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("\r\n[Kanäle]\r\nName_1=K11\r\n")));
    SetRangeRunner("FrmImportKanaele", 31, 40, "btnZwischenablage");
    form.ShowImportDialog();
    EXPECT_EQ(K(31).Name, QStringLiteral("K11"));
    EXPECT_EQ(K(40).FlashPegel, 20);

    const QString path = Engine.Dir.File(QStringLiteral("kanaele.txt"));
    Answers.FileAnswers = {path};
    SetRangeRunner("FrmExportKanaele", 11, 20, "btnDatei");
    form.ShowExportDialog();
    Answers.FileAnswers = {path};
    SetRangeRunner("FrmImportKanaele", 51, 60, "btnDatei");
    form.ShowImportDialog();
    EXPECT_EQ(K(51).Name, QStringLiteral("K11"));
    EXPECT_EQ(K(60).Name, QStringLiteral("K20"));
    // A cancelled file dialog imports nothing and still closes.
    SetRangeRunner("FrmImportKanaele", 61, 70, "btnDatei");
    form.ShowImportDialog();
    EXPECT_TRUE(K(61).Name.isEmpty());
}

TEST_F(FrmKanaeleTest, TemplateEditorSavesInsertsAndDeletes)
{
    const QString file = Engine.Dir.File(QStringLiteral("Data/Vorlagen.ini"));
    ASSERT_TRUE(QDir().mkpath(Engine.Dir.File(QStringLiteral("Data"))));
    auto form = std::make_unique<TFrmKanalvorlage>(*ModuleLichtpult, file);
    form->show();
    QPushButton* btnSave = W<QPushButton>(form.get(), "btnSave");
    EXPECT_FALSE(btnSave->isEnabled());

    // Insert with no template selected says so.
    SetDialogRunner(QStringLiteral("frmVorlageEinfuegen"), TDialogRunner([](QDialog&) { return int(QDialog::Accepted); }));
    form->ShowVorlageEinfuegen();
    EXPECT_TRUE(Answers.Asked.contains(QStringLiteral("Keine Vorlage gewählt!")));

    W<QPushButton>(form.get(), "btnAdd")->click();
    EXPECT_EQ(W<QListWidget>(form.get(), "lbVorlagen")->currentRow(), 0);
    W<QLineEdit>(form.get(), "edtVorlagenname")->setText(QStringLiteral("Spot"));
    W<QSpinBox>(form.get(), "udKanalzahl")->setValue(2);
    EXPECT_TRUE(form->Fader(1)->isVisibleTo(form.get()));
    EXPECT_FALSE(form->Fader(2)->isVisibleTo(form.get()));
    // The faders fill the box's height less 4 pixels above and below, at any size.
    QScrollArea* sbFader = W<QScrollArea>(form.get(), "sbFader");
    for (const int height : {400, 650}) {
        form->resize(800, height);
        QCoreApplication::processEvents();
        EXPECT_EQ(form->Fader(1)->height(), sbFader->viewport()->height() - 8) << height;
        EXPECT_EQ(form->Fader(1)->y(), 4);
    }
    Answers.TextAnswers = {QStringLiteral("Pan")};
    form->NamenAendern(form->Fader(1)->x() + 5);
    EXPECT_EQ(form->Fader(1)->toolTip(), QStringLiteral("Pan"));
    btnSave->click();
    EXPECT_FALSE(btnSave->isEnabled());
    const QByteArray saved = Engine.Dir.Read(QStringLiteral("Data/Vorlagen.ini"));
    EXPECT_TRUE(saved.startsWith("[Allgemein]\r\nCount=1\r\n\r\n[Vorlage0]\r\nName=Spot\r\nCount=2\r\n"));
    EXPECT_TRUE(saved.contains("\r\nName_2=Pan\r\n"));

    // Two copies from channel 101, ten apart.
    SetDialogRunner<TfrmVorlageEinfuegen>(QStringLiteral("frmVorlageEinfuegen"), [](TfrmVorlageEinfuegen& d) {
        d.edtAnzahl->setValue(2);
        d.edtStart->setValue(101);
        d.edtVersatz->setValue(10);
        return int(QDialog::Accepted);
    });
    form->ShowVorlageEinfuegen();
    EXPECT_EQ(K(102).Name, QStringLiteral("Pan"));
    EXPECT_EQ(K(112).Name, QStringLiteral("Pan"));

    // Deleting asks, and leaves no fader bound to the freed channels.
    Answers.YesNoAnswers = {true};
    W<QPushButton>(form.get(), "btnDelete")->click();
    EXPECT_TRUE(Answers.Asked.contains(QStringLiteral("Soll VorlageSpot gelöscht werden?")));
    EXPECT_EQ(form->Vorlagen().Count(), 0);
    for (int f = 0; f < TKanalvorlage::MaxKanaele; ++f)
        EXPECT_EQ(form->Fader(f)->Kanal(), nullptr) << f;
    form->NamenAendern(form->Fader(1)->x() + 5);   // nothing under the point any more

    // A new editor reads the saved file.
    form = std::make_unique<TFrmKanalvorlage>(*ModuleLichtpult, file);
    ASSERT_EQ(form->Vorlagen().Count(), 1);
    EXPECT_EQ(W<QListWidget>(form.get(), "lbVorlagen")->item(0)->text(), QStringLiteral("Spot"));
}

} // namespace
