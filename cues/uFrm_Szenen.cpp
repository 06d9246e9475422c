#include "cues/uFrm_Szenen.h"

#include "cues/uFrm_MakroAssiHilfe.h"
#include "cues/uFrm_VersionenVergleichen.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

TFrmSzenen* FrmSzenen = nullptr;

namespace {

QString SceneLine(const TSzene& scene)
{
    return QStringLiteral("%1 - %2").arg(scene.SNR).arg(scene.NAME);
}

// The version name in a list line, without the marker of the current one.
QString WithoutMarker(QString line, const QString& marker)
{
    if (line.endsWith(marker))
        line.chop(marker.size());
    return line;
}

QSpinBox* FadeSpin(const QString& name, int max)
{
    auto* spin = Named<QSpinBox>(name);
    spin->setRange(0, max);
    return spin;
}

} // namespace

TFrmSzenen::TFrmSzenen(TModuleSzenen& module, QWidget* parent) : QWidget(parent), FModule(module)
{
    setObjectName(QStringLiteral("FrmSzenen"));
    lbSzenen = Named<QListWidget>(QStringLiteral("lbSzenen"));
    pcSzene = Named<QTabWidget>(QStringLiteral("pcSzene"));

    // ---- tab "Szene" ----
    tabSzene = Named<QWidget>(QStringLiteral("tabSzene"));
    lblSzenenNummer = Named<QLabel>(QStringLiteral("lblSzenenNummer"), QStringLiteral("-"));
    lblSzene_a = Named<QLabel>(QStringLiteral("lblSzene_a"));
    lblMakro_a = Named<QLabel>(QStringLiteral("lblMakro_a"));
    lblMakro_a->hide();
    edtSzenenName = Named<QLineEdit>(QStringLiteral("edtSzenenName"));
    btnSzeneAufsPult = Named<QPushButton>(QStringLiteral("btnSzeneAufsPult"), QStringLiteral("Szene auf's Pult"));
    btnNeueVersion = Named<QPushButton>(QStringLiteral("btnNeueVersion"), QStringLiteral("Neue &Version speichern"));
    btnZurSzeneUeberblenden =
        Named<QPushButton>(QStringLiteral("btnZurSzeneUeberblenden"), QStringLiteral("Zu dieser Szene überblenden"));
    btnSzene2Schritte = Named<QPushButton>(QStringLiteral("btnSzene2Schritte"), QStringLiteral("Szenen zu Schritte"));
    btnNeuesMakroLeer = Named<QPushButton>(QStringLiteral("btnNeuesMakroLeer"), QStringLiteral("Neues &Makro leer"));
    btnNeuesMakroCopy = Named<QPushButton>(QStringLiteral("btnNeuesMakroCopy"), QStringLiteral("Neues Makro &Kopie"));
    btnNeuesMakroLeer->hide();
    btnNeuesMakroCopy->hide();
    btnSzene2Schritte->setToolTip(
        QStringLiteral("Erstellt eine Liste der Szenen\nund fügt Sie als Schritte hinten dem Text hinzu."));
    btnNeueVersion->setToolTip(
        QStringLiteral("Speichert auf diese Szene eine neue Version\n(nur Lichtstimmung, wie eingestellt)"));
    btnSzeneAufsPult->setToolTip(
        QStringLiteral("Stellt diese Szene auf dem Lichtpult ein\n(üblicherweise, um sie dann zu ändern)"));
    btnZurSzeneUeberblenden->setToolTip(QStringLiteral(
        "Blendet von der aktuellen Szene\nzur eingestellten Szene über\n(unter Berücksichtigung der eingestellten Überblendzeit)"));

    auto* head = new QGridLayout;
    auto* makroCaption = new QLabel(QStringLiteral("Makro:"));
    makroCaption->hide();
    head->addWidget(new QLabel(QStringLiteral("Nummer:")), 0, 0);
    head->addWidget(lblSzenenNummer, 0, 1);
    head->addWidget(new QLabel(QStringLiteral("Name:")), 1, 0);
    head->addWidget(edtSzenenName, 1, 1);
    head->addWidget(new QLabel(QStringLiteral("Version:")), 2, 0);
    head->addWidget(lblSzene_a, 2, 1);
    head->addWidget(makroCaption, 3, 0);
    head->addWidget(lblMakro_a, 3, 1);
    head->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnSzeneAufsPult, btnNeueVersion, btnZurSzeneUeberblenden, btnSzene2Schritte,
                           btnNeuesMakroLeer, btnNeuesMakroCopy})
        buttons->addWidget(b);

    QWidget* fadeForward = BuildFadeGroup(QStringLiteral(" Fade-Zeit (vorwärts): "), QString(), FForward);
    QWidget* fadeBackward = BuildFadeGroup(QStringLiteral(" Fade-Zeit (rückwärts): "), QStringLiteral("Prior"), FBackward);
    edtMin = FForward.Min, edtSec = FForward.Sec, edtZehntel = FForward.Zehntel, tbZeit = FForward.Zeit;
    lblFadeTime = FForward.Label;
    edtMinPrior = FBackward.Min, edtSecPrior = FBackward.Sec, edtZehntelPrior = FBackward.Zehntel;
    tbZeitPrior = FBackward.Zeit, lblFadeTimePrior = FBackward.Label;
    sbUebertragen = Named<QToolButton>(QStringLiteral("sbUebertragen"));
    sbUebertragen->setText(QStringLiteral("↓"));
    sbUebertragen->setToolTip(QStringLiteral("Übernimmt die \"Fade-Zeit (vorwärts)\""));
    fadeBackward->layout()->addWidget(sbUebertragen);

    auto* overview = new QGroupBox(QStringLiteral(" Szenen-Übersicht: "));
    lbSzeneVersionen = Named<QListWidget>(QStringLiteral("lbSzeneVersionen"));
    (new QVBoxLayout(overview))->addWidget(lbSzeneVersionen);

    auto* szene = new QVBoxLayout(tabSzene);
    szene->addLayout(head);
    szene->addLayout(buttons);
    auto* fades = new QHBoxLayout;
    fades->addWidget(fadeForward);
    fades->addWidget(fadeBackward);
    szene->addLayout(fades);
    szene->addWidget(overview, 1);

    // ---- tab "Makro" ----
    tabMakro = Named<QWidget>(QStringLiteral("tabMakro"));
    auto* makroMemo = Named<TPlainTextEdit>(QStringLiteral("memMakro"));
    makroMemo->SetMaxLength(MaxCommandLineLength);
    memMakro = makroMemo;
    pnlAssiHilfe = Named<QWidget>(QStringLiteral("pnlAssiHilfe"));
    auto* makro = new QHBoxLayout(tabMakro);
    makro->addWidget(memMakro, 1);
    makro->addWidget(pnlAssiHilfe, 2);

    // ---- tabs "Makros" and "Szenen" (not shown as tabs), "Admin" ----
    tabMakros = Named<QWidget>(QStringLiteral("tabMakros"));
    lbMakroVersionen = Named<QListWidget>(QStringLiteral("lbMakroVersionen"));
    memMakro2 = Named<TPlainTextEdit>(QStringLiteral("memMakro2"));
    memMakro2->setReadOnly(true);
    auto* makros = new QHBoxLayout(tabMakros);
    makros->addWidget(lbMakroVersionen);
    makros->addWidget(memMakro2, 1);
    auto* tabSzenen = Named<QWidget>(QStringLiteral("tabSzenen"));
    tabAdmin = Named<QWidget>(QStringLiteral("tabAdmin"));
    btnAdminSzenenNeu = Named<QPushButton>(QStringLiteral("btnAdminSzenenNeu"), QStringLiteral("Szenen neu numerieren"));
    auto* admin = new QVBoxLayout(tabAdmin);
    admin->addWidget(btnAdminSzenenNeu, 0, Qt::AlignLeft);
    admin->addStretch();
    pcSzene->addTab(tabSzene, QStringLiteral("Szene"));
    pcSzene->addTab(tabMakro, QStringLiteral("Makro"));
    pcSzene->setTabVisible(pcSzene->addTab(tabMakros, QStringLiteral("Makros")), false);
    pcSzene->setTabVisible(pcSzene->addTab(tabSzenen, QStringLiteral("Szenen")), false);
    pcSzene->addTab(tabAdmin, QStringLiteral("Admin"));

    auto* split = new QSplitter;
    split->addWidget(lbSzenen);
    split->addWidget(pcSzene);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    BuildPopups();

    // ---- actions ----
    connect(lbSzenen, &QListWidget::currentRowChanged, this, [this](int row) { FModule.SelectScene(row); });
    connect(edtSzenenName, &QLineEdit::textChanged, this, [this](const QString& t) { NameEdited(t); });
    connect(btnSzeneAufsPult, &QPushButton::clicked, this, [this] {
        if (TSzene* s = Szene())
            FModule.PutSceneOnConsole(*s, QString());
    });
    connect(btnNeueVersion, &QPushButton::clicked, this, [this] {
        if (TSzene* s = Szene())
            FModule.NewSceneVersion(*s);
    });
    connect(btnZurSzeneUeberblenden, &QPushButton::clicked, this,
            [this] { FModule.RecallScene(lbSzenen->currentRow(), false, false); });
    connect(btnSzene2Schritte, &QPushButton::clicked, this, [this] { FModule.ScenesToSteps(); });
    connect(btnAdminSzenenNeu, &QPushButton::clicked, this, [this] {
        FModule.RenumberScenes();
        RefreshSceneForm();
    });
    connect(btnNeuesMakroLeer, &QPushButton::clicked, this, [this] { NewMacro(false); });
    connect(btnNeuesMakroCopy, &QPushButton::clicked, this, [this] { NewMacro(true); });
    connect(memMakro, &QPlainTextEdit::textChanged, this, [this] { MacroEdited(); });
    connect(lbMakroVersionen, &QListWidget::itemClicked, this, [this] { ShowSelectedMacroVersion(); });
    connect(sbUebertragen, &QToolButton::clicked, this, [this] {
        edtMinPrior->setValue(edtMin->value());
        edtSecPrior->setValue(edtSec->value());
        edtZehntelPrior->setValue(edtZehntel->value());
    });

    FModule.SetScenePage(this);
    FrmSzenen = this;
    FillSceneList();
    ShowScene(FModule.SelectedScene);
}

TFrmSzenen::~TFrmSzenen()
{
    if (FrmSzenen == this)
        FrmSzenen = nullptr;
    DetachMakroAssiHilfe(pnlAssiHilfe);
    if (ModuleSzenen == &FModule)
        FModule.SetScenePage(nullptr);
}

QWidget* TFrmSzenen::BuildFadeGroup(const QString& caption, const QString& suffix, TFadeControls& c)
{
    auto* group = new QGroupBox(caption);
    c.Min = FadeSpin(QStringLiteral("edtMin") + suffix, 180);
    c.Sec = FadeSpin(QStringLiteral("edtSec") + suffix, 59);
    c.Zehntel = FadeSpin(QStringLiteral("edtZehntel") + suffix, 9);
    c.Zeit = Named<QSlider>(QStringLiteral("tbZeit") + suffix, Qt::Horizontal);
    c.Zeit->setRange(0, 59);
    c.Zeit->setTickInterval(10);
    c.Zeit->setTickPosition(QSlider::TicksBelow);
    c.Label = Named<QLabel>(QStringLiteral("lblFadeTime") + suffix, QStringLiteral("0 ds"));
    auto* grid = new QGridLayout(group);
    int col = 0;
    for (auto [spin, unit] : {std::pair{c.Min, "min"}, std::pair{c.Sec, "sec"}, std::pair{c.Zehntel, "1/10"}}) {
        grid->addWidget(spin, 0, col++);
        grid->addWidget(new QLabel(QString::fromLatin1(unit)), 0, col++);
    }
    grid->addWidget(c.Zeit, 1, 0, 1, col);
    grid->addWidget(c.Label, 2, 0, 1, col);
    const bool forward = suffix.isEmpty();
    const TFadeControls* controls = forward ? &FForward : &FBackward;
    for (QSpinBox* spin : {c.Min, c.Sec, c.Zehntel})
        connect(spin, &QSpinBox::valueChanged, this, [this, controls, forward] { FadeEdited(*controls, forward); });
    connect(c.Zeit, &QSlider::valueChanged, this, [controls](int v) { controls->Sec->setValue(v); });
    return group;
}

void TFrmSzenen::BuildPopups()
{
    popSzenen = new QMenu(this);
    popSzenen->setObjectName(QStringLiteral("popSzenen"));
    popSzenen->addAction(QStringLiteral("&Versionen vergleichen"), this, [this] {
        if (TSzene* s = Szene())
            CompareVersions(*s, this);
    });
    popSzenen->addAction(QStringLiteral("gewählte Szene zur &aktuellen Szene machen"), this,
                         [this] { MakeSelectedVersionCurrent(); });
    popSzenen->addAction(QStringLiteral("gewählte Szene auf's &Pult"), this, [this] { PutSelectedVersionOnConsole(); });

    popMakros = new QMenu(this);
    popMakros->setObjectName(QStringLiteral("popMakros"));
    popMakros->addAction(QStringLiteral("&gewähltes Makro zum aktuellen Makro machen"), this,
                         [this] { MakeSelectedMacroCurrent(); });
    popMakros->addSeparator();
    popMakros->addAction(QStringLiteral("Neues Makros &leer"), this, [this] { NewMacro(false); });
    popMakros->addAction(QStringLiteral("Neues Makro &kopie"), this, [this] { NewMacro(true); });

    for (auto [list, menu] : {std::pair{lbSzeneVersionen, popSzenen}, std::pair{lbMakroVersionen, popMakros}}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [list, menu](const QPoint& p) { menu->popup(list->viewport()->mapToGlobal(p)); });
    }
}

TSzene* TFrmSzenen::Szene() const
{
    TSzene* scene = nullptr;
    return FModule.TryGetScene(FIndex, scene) ? scene : nullptr;
}

void TFrmSzenen::ShowScene(int index)
{
    Aktualisiert = true;
    TSzene* scene = nullptr;
    if (FModule.TryGetScene(index, scene)) {
        FIndex = index;
        lblSzenenNummer->setText(QString::number(scene->SNR));
        edtSzenenName->setText(scene->NAME);
        lblSzene_a->setText(scene->SDAT);
        lblMakro_a->setText(scene->MDAT);
        QStringList lines;
        TModuleSzenen::ListVersions(*scene, lines);
        lbSzeneVersionen->clear();
        lbSzeneVersionen->addItems(lines);
        TModuleSzenen::ListMacroVersions(*scene, lines);
        lbMakroVersionen->clear();
        lbMakroVersionen->addItems(lines);
        const auto macro = TModuleSzenen::CurrentMacroLines(*scene);
        memMakro->setPlainText(macro ? macro->join(u'\n') : QString());
        ShowFadeTimes(scene->FAD, scene->FAP);
    } else {
        FIndex = -1;
        lblSzenenNummer->setText(QStringLiteral("-"));
        edtSzenenName->clear();
        lblSzene_a->clear();
        lblMakro_a->clear();
        lbSzeneVersionen->clear();
        lbMakroVersionen->clear();
        memMakro->clear();
        memMakro2->clear();
    }
    Aktualisiert = false;
    const bool shown = FIndex >= 0;
    for (QWidget* w : std::initializer_list<QWidget*>{btnZurSzeneUeberblenden, btnNeueVersion, btnNeuesMakroLeer,
                                                      btnNeuesMakroCopy, btnSzeneAufsPult, tbZeit, edtMin, edtSec,
                                                      edtZehntel})
        w->setEnabled(shown);
}

void TFrmSzenen::FillFade(const TFadeControls& c, int ds)
{
    c.Min->setValue(ds / 600);
    c.Sec->setValue(ds % 600 / 10);
    c.Zeit->setValue(c.Sec->value());
    c.Zehntel->setValue(ds % 10);
    c.Label->setText(QStringLiteral("%1 ds").arg(ds));
}

void TFrmSzenen::ShowFadeTimes(int forward, int backward)
{
    const bool was = Aktualisiert;
    Aktualisiert = true;
    FillFade(FForward, forward);
    FillFade(FBackward, backward);
    Aktualisiert = was;
}

void TFrmSzenen::FadeEdited(const TFadeControls& c, bool forward)
{
    {
        const QSignalBlocker block(c.Zeit);
        c.Zeit->setValue(c.Sec->value());
    }
    if (Aktualisiert)
        return;
    const int ds = c.Zehntel->value() + c.Sec->value() * 10 + c.Min->value() * 600;
    TSzene* scene = Szene();
    if (!scene) {
        c.Label->clear();
        return;
    }
    c.Label->setText(QStringLiteral("%1 ds").arg(ds));
    if (forward)
        FModule.SetFadeForward(*scene, ds);
    else
        FModule.SetFadeBackward(*scene, ds);
}

void TFrmSzenen::NameEdited(const QString& text)
{
    TSzene* scene = Szene();
    if (Aktualisiert || !scene)
        return;
    FModule.SetSceneName(*scene, text);
    if (QListWidgetItem* item = lbSzenen->item(FIndex))
        item->setText(SceneLine(*scene));
}

void TFrmSzenen::MacroEdited()
{
    TSzene* scene = Szene();
    if (Aktualisiert || !scene)
        return;
    auto lines = TModuleSzenen::CurrentMacroLines(*scene);
    if (!lines) {
        // The current macro name (from a show file) names no version: make it, so
        // the typed lines are kept.
        TMakroVersion version;
        version.Name = scene->MDAT;
        lines = version.Lines;
        scene->MakroVersionen.push_back(std::move(version));
    }
    const QString text = memMakro->toPlainText();
    *lines = text.isEmpty() ? QStringList() : text.split(u'\n');
}

QString TFrmSzenen::SelectedVersionName() const
{
    const QListWidgetItem* item = lbSzeneVersionen->currentItem();
    return item ? WithoutMarker(item->text(), QStringLiteral(" *")) : QString();
}

void TFrmSzenen::MakeSelectedVersionCurrent()
{
    const QString name = SelectedVersionName();
    TSzene* scene = Szene();
    if (name.isEmpty() || !scene)
        return;
    FModule.SetSDAT(*scene, name);
    ShowScene(FIndex);
}

void TFrmSzenen::PutSelectedVersionOnConsole()
{
    const QString name = SelectedVersionName();
    if (TSzene* scene = Szene(); scene && !name.isEmpty())
        FModule.PutSceneOnConsole(*scene, name);
}

void TFrmSzenen::ShowSelectedMacroVersion()
{
    const QListWidgetItem* item = lbMakroVersionen->currentItem();
    TSzene* scene = Szene();
    QStringList lines;
    if (item && scene && TModuleSzenen::FindMacroVersion(*scene, WithoutMarker(item->text(), QStringLiteral(" (*)")), lines))
        memMakro2->setPlainText(lines.join(u'\n'));
}

void TFrmSzenen::MakeSelectedMacroCurrent()
{
    const QListWidgetItem* item = lbMakroVersionen->currentItem();
    TSzene* scene = Szene();
    if (!item || !scene)
        return;
    FModule.SetMDAT(*scene, WithoutMarker(item->text(), QStringLiteral(" (*)")));
    ShowScene(FIndex);
}

void TFrmSzenen::NewMacro(bool copy)
{
    if (TSzene* scene = Szene())
        FModule.NewMacroVersion(*scene, copy);
}

void TFrmSzenen::AttachMacroAssistant()
{
    AttachMakroAssiHilfe(pnlAssiHilfe, [this](const QString& line) { memMakro->appendPlainText(line); });
}

// ---- the module's calls ----

void TFrmSzenen::FillSceneList()
{
    const QSignalBlocker block(lbSzenen);
    lbSzenen->clear();
    for (int i = 0; i < FModule.SceneCount(); ++i)
        lbSzenen->addItem(SceneLine(FModule.GetScene(i)));
    lbSzenen->setCurrentRow(FIndex);
    if (FIndex >= FModule.SceneCount())
        ShowScene(-1);
}

void TFrmSzenen::SelectScene(int index)
{
    {
        const QSignalBlocker block(lbSzenen);
        lbSzenen->setCurrentRow(index);
    }
    ShowScene(index);
}

void TFrmSzenen::RefreshSceneForm()
{
    ShowScene(FIndex);
}

void TFrmSzenen::ScenesCleared()
{
    FIndex = -1;
    {
        const QSignalBlocker block(lbSzenen);
        lbSzenen->clear();
    }
    ShowScene(-1);
}
