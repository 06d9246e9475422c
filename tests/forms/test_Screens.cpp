// Every page of the main window, every further window and every dialog at its
// default size, looked at as a user sees it: nothing cut off, no literal "&",
// Qt's standard dialogs in German.

#include "FormAudit.h"
#include "TestHelpers.h"

#include "audio/uFrm_Audio.h"
#include "audio/uMod_Audio.h"
#include "console/uFrmKanalvorlage.h"
#include "console/uFrm_EditLichtpultseite.h"
#include "console/uFrm_EditSymbol.h"
#include "console/uFrm_Kanaele.h"
#include "console/uFrm_KennEdit.h"
#include "console/uFrm_KennTab.h"
#include "console/uFrm_Lichtpult.h"
#include "console/uFrm_Patch.h"
#include "console/uMod_Lichtpult.h"
#include "console/uMod_Patch.h"
#include "cues/uFrm_EditMakro.h"
#include "cues/uFrm_Makro.h"
#include "cues/uFrm_Text.h"
#include "cues/uFrm_VersionenVergleichen.h"
#include "cues/uMod_Makros.h"
#include "cues/uMod_Szenen.h"
#include "framework/uComposition.h"
#include "framework/uFormUtils.h"
#include "framework/uFrm_Main.h"
#include "framework/uMod_Main.h"
#include "framework/uPromptsGui.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Makes every page control on the way from main down to w show the page that holds w.
void Reveal(QWidget* main, QWidget* w)
{
    for (int pass = 0; pass < 3; ++pass)
        for (QTabWidget* tabs : main->findChildren<QTabWidget*>())
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->widget(i) == w || tabs->widget(i)->isAncestorOf(w))
                    tabs->setCurrentIndex(i);
    QApplication::processEvents();
}

// Audits page with each tab of every page control inside it shown once.
QStringList AuditPage(QWidget* main, QWidget* page)
{
    QStringList findings = AuditVisibleWidgets(page);
    for (QTabWidget* tabs : page->findChildren<QTabWidget*>()) {
        if (!tabs->tabBar()->isVisible())
            continue;
        for (int i = 0; i < tabs->count(); ++i) {
            Reveal(main, tabs->widget(i));
            findings += AuditVisibleWidgets(page);
        }
    }
    findings.removeDuplicates();
    return findings;
}

QStringList EnglishIn(QWidget* window)
{
    QStringList found;
    for (const QString& text : DialogTexts(window))
        for (const QString& word : EnglishDialogWords())
            if (text.contains(word))
                found << QStringLiteral("\"%1\" in \"%2\"").arg(word, text);
    return found;
}

class Screens : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrompts(&Answers);
        qputenv("PV_PROGRAM_DIR", Dir.Path().toUtf8());
        Main = new TFrmMain;
        qunsetenv("PV_PROGRAM_DIR");
        ComposeForms(*Main, TStartupStage::MainFormCreated);
        ModuleMain->AfterFormsCreated();
        ComposeForms(*Main, TStartupStage::ModulesStarted);
        Main->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        SetDialogRunner(QStringLiteral("frm_EditMakro"), {});
        delete Main;
        SetPrompts(nullptr);
    }
    // Shows window at its default size and notes what it shows wrongly.
    void Look(const QString& what, QWidget* window)
    {
        window->show();
        QApplication::processEvents();
        for (const QString& f : AuditVisibleWidgets(window) + EnglishIn(window))
            Findings << what + QStringLiteral(": ") + f;
    }

    TTempProgramDir Dir;
    TScriptedPrompts Answers;
    TFrmMain* Main = nullptr;
    QStringList Findings;
};

TEST_F(Screens, EveryPageWindowAndDialogShowsItsTextsWhole)
{
    // The main window's pages, each with every tab of its own page controls.
    for (int i = 0; i < DockTargetCount; ++i) {
        QWidget* page = Main->findChild<QWidget*>(QString::fromLatin1(DockTargets[i].Target));
        ASSERT_NE(page, nullptr) << DockTargets[i].Target;
        Reveal(Main, page);
        for (const QString& f : AuditPage(Main, page))
            Findings << QString::fromLatin1(DockTargets[i].Target) + QStringLiteral(": ") + f;
    }

    // The further windows of the window menu.
    ModulePatch->NewPatchWindow();
    ModuleMakro->NewMacroWindow();
    ModuleAudio->AddAudioPage(true);
    ModuleLichtpult->OpenLichtpultWindow();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != Main && top->isVisible() && !qobject_cast<QDialog*>(top))
            Look(top->objectName(), top);

    // The dialogs.
    TSzene& scene = ModuleSzenen->StoreNewScene(false);
    ModuleSzenen->NewSceneVersion(scene);
    TFileDialogOptions files;
    files.Filter = QStringLiteral("Palvento Orlisk 200 (*.pvs);;Alle Dateien (*)");
    const std::function<std::unique_ptr<QWidget>()> dialogs[] = {
        [&] { return std::make_unique<TFrmVersionenVergleichen>(scene); },
        [&] { return std::make_unique<TFrmExportKanaele>(*ModuleLichtpult); },
        [&] { return std::make_unique<TFrmImportKanaele>(*ModuleLichtpult); },
        [&] { return std::make_unique<TfrmVorlageEinfuegen>(); },
        [&] { return std::make_unique<TFrm_EditSymbol>(); },
        [&] { return std::make_unique<TFrmEditLichtpultseite>(*ModuleLichtpult); },
        [&] { return std::make_unique<Tfrm_kenn_edit>(); },
        [&] { return std::make_unique<Tfrm_kenn_tab>(); },
        [&] { return NewFileDialog(nullptr, files, QString(), false, false); },
        [&] { return NewFileDialog(nullptr, files, QString(), true, false); },
        [&] { return NewColorDialog(nullptr, 255); },
    };
    for (const auto& make : dialogs) {
        const std::unique_ptr<QWidget> dialog = make();
        Look(dialog->objectName().isEmpty() ? QString::fromLatin1(dialog->metaObject()->className())
                                            : dialog->objectName(),
             dialog.get());
    }
    for (QDialog* d : {static_cast<QDialog*>(frmText->FindDialog1), static_cast<QDialog*>(frmText->ReplaceDialog1)}) {
        Look(d->objectName(), d);
        d->hide();
    }

    // The macro editor with the assistant docked, in the middle of the screen.
    QRect editor;
    SetDialogRunner(QStringLiteral("frm_EditMakro"), [&](QDialog& d) {
        Look(d.objectName(), &d);
        editor = d.geometry();
        return int(QDialog::Rejected);
    });
    EditMacro(0, nullptr);
    const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((editor.center() - middle).manhattanLength(), 8)
        << editor.x() << "," << editor.y();   // a frame may come round it

    EXPECT_TRUE(Findings.isEmpty()) << Findings.join(u'\n').toStdString();
}

}   // namespace
