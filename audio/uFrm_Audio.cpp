#include "audio/uFrm_Audio.h"

#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "framework/uDat_Menu.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uNumberedWindows.h"
#include "framework/uPrompts.h"
#include "framework/uUtils.h"

#include <QAction>
#include <QBitmap>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <vector>

namespace {

std::array<QIcon, 3> ButtonIcons;
bool ResourcesLoaded = false;

const QString AudioFilter = QStringLiteral("Audio-Dateien (*.wav *.mp3 *.WAV *.MP3);;Alle Dateien (*)");

TFileDialogOptions AudioFileDialog()
{
    TFileDialogOptions options;
    options.Filter = AudioFilter;
    options.DefaultSuffix = QStringLiteral("wav");
    return options;
}

// The colour values of the pictures, 0x00BBGGRR.
QColor Bgr(unsigned value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QIcon IconFromPicture(const QImage& picture)
{
    QIcon icon;
    const int half = picture.width() / 2;
    icon.addPixmap(QPixmap::fromImage(picture.copy(0, 0, half, picture.height())), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(picture.copy(half, 0, half, picture.height())), QIcon::Disabled);
    return icon;
}

QLabel* PlacedLabel(const QString& name, QWidget* parent, int left, int top, int width, bool bold, Qt::Alignment align)
{
    auto* label = Named<QLabel>(name, parent);
    label->move(left, top);
    if (width > 0)
        label->setFixedWidth(width);
    else
        label->setMinimumWidth(40);
    label->setAlignment(align);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

// A desktop font too large for the level label's room is made smaller until
// every level text fits.
void FitLevelLabelFont(QLabel* label)
{
    QFont font = label->font();
    const int room = label->width() - 2;
    for (;;) {
        const QFontMetrics metrics(font);
        int widest = 0;
        for (int level = TSonivexPanel::MinLevel; level <= TSonivexPanel::MaxLevel; ++level)
            widest = std::max(widest, metrics.horizontalAdvance(TSonivexPanel::LevelText(level)));
        if (widest <= room)
            break;
        if (font.pointSizeF() > 6)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        else if (font.pixelSize() > 8)
            font.setPixelSize(font.pixelSize() - 1);
        else
            break;
    }
    label->setFont(font);
}

}   // namespace

QImage DrawnPanelPicture(int tag)
{
    QImage image(64, 32, QImage::Format_ARGB32);
    image.fill(QPalette().color(QPalette::Button));
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    const QColor grey = Bgr(0x808080);
    for (int copy = 0; copy < 2; ++copy) {
        switch (tag) {
        case 1: {
            const int dx = copy ? 32 : 0;
            p.setBrush(copy ? grey : Bgr(0x008000));
            const QPoint tri[] = {QPoint(3 + dx, 3), QPoint(3 + dx, 28), QPoint(28 + dx, 15)};
            p.drawPolygon(tri, 3);
            break;
        }
        case 2: {
            const int dx = copy ? 32 : 0;
            p.setBrush(copy ? grey : Bgr(0x800000));
            p.drawRect(QRect(QPoint(3 + dx, 2), QPoint(13 + dx, 28)));
            p.drawRect(QRect(QPoint(18 + dx, 2), QPoint(28 + dx, 28)));
            break;
        }
        default: {
            const int dx = copy ? 32 : 0;
            p.setBrush(copy ? grey : QColor(Qt::black));
            p.drawRect(QRect(QPoint(2 + dx, 2), QPoint(28 + dx, 28)));
            break;
        }
        }
    }
    return image;
}

void LoadPanelResources()
{
    static const char* const Names[] = {"Play.bmp", "Pause.bmp", "Stop.bmp"};
    for (int i = 0; i < 3; ++i) {
        const QString file = ProgramDir + QStringLiteral("Pics/") + QLatin1String(Names[i]);
        QImage picture;
        if (QFileInfo(file).isFile() && picture.load(file) && !picture.isNull()) {
            // The colour of the bottom-left pixel is transparent in these pictures.
            QPixmap pixmap = QPixmap::fromImage(picture);
            pixmap.setMask(pixmap.createMaskFromColor(picture.pixelColor(0, picture.height() - 1)));
            picture = pixmap.toImage();
        } else {
            picture = DrawnPanelPicture(i + 1);
        }
        ButtonIcons[size_t(i)] = IconFromPicture(picture);
    }
    ResourcesLoaded = true;
}

QIcon PanelButtonIcon(int tag)
{
    if (!ResourcesLoaded)
        LoadPanelResources();
    return ButtonIcons[size_t(ClampInt(tag, 1, 3) - 1)];
}

// ---------------------------------------------------------------------------
// Panel widget

TSonivexPanelWidget::TSonivexPanelWidget(TSonivexPanel& panel, QWidget* parent) : QFrame(parent), FPanel(&panel)
{
    setObjectName(QStringLiteral("SonivexPanel%1").arg(panel.Number()));
    setFixedSize(390, 88);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);

    lblNumber = PlacedLabel(QStringLiteral("lblNumber"), this, 4, 4, 24, true, Qt::AlignLeft);
    lblName = PlacedLabel(QStringLiteral("lblName"), this, 30, 4, 278, false, Qt::AlignLeft);
    lblTrack = PlacedLabel(QStringLiteral("lblTrack"), this, 312, 4, 70, true, Qt::AlignLeft);
    lblTrack->installEventFilter(this);

    const QString hints[] = {QStringLiteral("Play"), QStringLiteral("Pause"), QStringLiteral("Stop")};
    const QString names[] = {QStringLiteral("btnPlay"), QStringLiteral("btnPause"), QStringLiteral("btnStop")};
    QToolButton* buttons[3];
    for (int i = 0; i < 3; ++i) {
        auto* b = Named<QToolButton>(names[i], this);
        b->setGeometry(4 + 40 * i, 20, 38, 38);
        b->setToolTip(hints[i]);
        b->setIcon(PanelButtonIcon(i + 1));
        b->setIconSize(QSize(32, 32));
        b->setEnabled(false);
        const int tag = i + 1;
        connect(b, &QToolButton::clicked, this, [this, tag] {
            if (FPanel)
                FPanel->ButtonAction(tag);
        });
        buttons[i] = b;
    }
    btnPlay = buttons[0];
    btnPause = buttons[1];
    btnStop = buttons[2];

    tbLevel = Named<QSlider>(QStringLiteral("tbLevel"), Qt::Horizontal, this);
    tbLevel->setGeometry(128, 20, 113, 25);
    tbLevel->setRange(TSonivexPanel::MinLevel, TSonivexPanel::MaxLevel);
    tbLevel->setTickPosition(QSlider::TicksBelow);
    tbLevel->setTickInterval(40);
    connect(tbLevel, &QSlider::valueChanged, this, [this](int v) {
        if (FPanel)
            FPanel->SetLevelBar(v);
    });
    // The level label takes the room from the level bar's end to the track
    // up-down, so that its widest text ("+10,0dB", "-INF dB") shows whole.
    lblLevel = PlacedLabel(QStringLiteral("lblLevel"), this, 240, 20, 308 - 240, false, Qt::AlignHCenter);
    FitLevelLabelFont(lblLevel);

    udTrack = Named<QWidget>(QStringLiteral("udTrack"), this);
    udTrack->setGeometry(310, 22, 60, 17);
    auto* ud = new QHBoxLayout(udTrack);
    ud->setContentsMargins(0, 0, 0, 0);
    ud->setSpacing(0);
    btnTrackDown = Named<QToolButton>(QStringLiteral("btnTrackDown"));
    btnTrackDown->setArrowType(Qt::LeftArrow);
    btnTrackUp = Named<QToolButton>(QStringLiteral("btnTrackUp"));
    btnTrackUp->setArrowType(Qt::RightArrow);
    ud->addWidget(btnTrackDown);
    ud->addWidget(btnTrackUp);
    connect(btnTrackDown, &QToolButton::clicked, this, [this] {
        if (FPanel)
            FPanel->TrackUpDownChanging(false);
    });
    connect(btnTrackUp, &QToolButton::clicked, this, [this] {
        if (FPanel)
            FPanel->TrackUpDownChanging(true);
    });
    udTrack->hide();

    lblLength = PlacedLabel(QStringLiteral("lblLength"), this, 140, 46, 60, false, Qt::AlignHCenter);
    QPalette grey = lblLength->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    lblLength->setPalette(grey);
    lblTime = PlacedLabel(QStringLiteral("lblTime"), this, 322, 46, 60, false, Qt::AlignHCenter);

    tbPosition = Named<QSlider>(QStringLiteral("tbPosition"), Qt::Horizontal, this);
    tbPosition->setGeometry(0, 60, 376, 25);
    tbPosition->setTickPosition(QSlider::TicksBelow);
    connect(tbPosition, &QSlider::valueChanged, this, [this](int v) {
        if (FPanel)
            FPanel->SetPositionBar(v);
    });
    // Any press on the bar, a groove click as well as a drag, holds the display
    // until the release seeks.
    tbPosition->installEventFilter(this);

    connect(&panel, &TSonivexPanel::changed, this, &TSonivexPanelWidget::Refresh);
    Refresh();
}

void TSonivexPanelWidget::Refresh()
{
    if (!FPanel)
        return;
    const TSonivexPanelView& v = FPanel->View();
    lblNumber->setText(v.NumberText);
    lblName->setText(v.NameText);
    lblTrack->setText(v.TrackText);
    lblLevel->setText(v.LevelText);
    lblLength->setText(v.LengthText);
    lblTime->setText(v.TimeText);
    btnPlay->setEnabled(v.PlayEnabled);
    btnPause->setEnabled(v.PauseEnabled);
    btnStop->setEnabled(v.StopEnabled);
    tbLevel->setEnabled(v.LevelBarEnabled);
    tbPosition->setEnabled(v.PositionBarEnabled);
    udTrack->setEnabled(v.UpDownEnabled);
    udTrack->setVisible(v.UpDownVisible);
    const QSignalBlocker levelBlock(tbLevel);
    tbLevel->setValue(v.LevelBar);
    const QSignalBlocker positionBlock(tbPosition);
    tbPosition->setRange(0, v.PositionMax);
    tbPosition->setPageStep(std::max(v.PositionPageStep, 1));
    tbPosition->setTickInterval(std::max(v.PositionTickFrequency, 1));
    tbPosition->setValue(v.PositionBar);
}

bool TSonivexPanelWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tbPosition && FPanel) {
        if (event->type() == QEvent::MouseButtonPress)
            FPanel->PositionMouseDown();
        else if (event->type() == QEvent::MouseButtonRelease)
            QMetaObject::invokeMethod(this, [this] {
                if (FPanel)
                    FPanel->PositionMouseUp();
            }, Qt::QueuedConnection);
    } else if (watched == lblTrack && event->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { TFrm_AudioFiles::EditPanelPlaylist(*this); });
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void TSonivexPanelWidget::contextMenuEvent(QContextMenuEvent* event)
{
    if (!PopupEnabled)
        return;
    // One popup for every panel (owned by the window it was first opened in,
    // made again when that goes); the click goes to the panel it was opened on.
    static QPointer<QMenu> popup;
    if (!popup) {
        popup = new QMenu(window());
        popup->setObjectName(QStringLiteral("PopupMenu1"));
        popup->addAction(QStringLiteral("&Audio-Datei 1 laden"))->setData(1);
        popup->addAction(QStringLiteral("&Audio-Dateien bearbeiten"))->setData(2);
    }
    if (QAction* chosen = popup->exec(event->globalPos()))
        Guarded([&] { PopupMenuClick(chosen->data().toInt()); });
}

void TSonivexPanelWidget::PopupMenuClick(int tag)
{
    if (!FPanel)
        return;
    if (tag == 1) {
        const QString file = Prompts().OpenFileName(AudioFileDialog(), FPanel->Filename());
        if (!file.isEmpty())
            FPanel->SetFilename(file);
    } else if (tag == 2) {
        TFrm_AudioFiles::EditPanelPlaylist(*this);
    }
}

// ---------------------------------------------------------------------------
// Pages

namespace {

// The "Audio" entry of the window menu that lists the further pages.
QMenu* AudioWindowMenu()
{
    if (!dmMenu || !dmMenu->Fenster1)
        return nullptr;
    if (auto* menu = dmMenu->Fenster1->findChild<QMenu*>(QStringLiteral("Audio1")))
        return menu;
    auto* menu = Named<QMenu>(QStringLiteral("Audio1"), QStringLiteral("&Audio"), dmMenu->Fenster1);
    dmMenu->Fenster1->addMenu(menu);
    return menu;
}

using TPages = TNumberedWindows<TfrmAudio, TModuleAudio>;

const TPages::TKind AudioPageKind{
    .Menu = AudioWindowMenu,
    .MenuClick = &TModuleAudio::AudioPageMenuClick,
    .OpenRaised = true,
};

}   // namespace

void CreateAudioPages(TModuleAudio& module, QWidget* dockTarget)
{
    if (TPages::Instance())
        return;
    // Owned by the module's signals object: the pages go (and write their
    // positions) when the module goes. Page 0 lies in the main window.
    TAudioSignals* s = module.Signals();
    auto* pages = new TPages(module, s, dockTarget, AudioPageKind);
    pages->Follow(s, &TAudioSignals::pageAdded, &TAudioSignals::showPageRequested);
    QObject::connect(s, &TAudioSignals::pageRemoving, pages, [pages](int k) { pages->CutTo(k); });
    for (int k = 0; k < module.PageCount(); ++k)
        pages->Open(k, false);
}

TfrmAudio* AudioPage(int k)
{
    return TPages::Find(k);
}

TfrmAudio::TfrmAudio(TModuleAudio& module, int k) : QWidget(nullptr), FModule(module), FTag(k)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pnlMain = Named<QWidget>(QStringLiteral("pnlMain"));
    pnlMain->setMinimumSize(2 * (390 + 5) + 5, 5 * (88 + 4) + 4);
    layout->addWidget(pnlMain);

    popAudio = Named<QMenu>(QStringLiteral("popAudio"), this);
    leeren1 = popAudio->addAction(QStringLiteral("&leeren"), this, [this] { Guarded([this] { leeren1Click(); }); });
    leeren1->setObjectName(QStringLiteral("leeren1"));
    BatchImport1 = popAudio->addAction(QStringLiteral("Batch &Import"), this, [this] { Guarded([this] { BatchImport1Click(); }); });
    BatchImport1->setObjectName(QStringLiteral("BatchImport1"));
    BatchImport1->setVisible(false);
    pnlMain->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pnlMain, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popAudio->exec(pnlMain->mapToGlobal(pos)); });

    for (int i = 0; i < TModuleAudio::PanelsPerPage; ++i) {
        TSonivexPanel* panel = module.GetPanel(k * TModuleAudio::PanelsPerPage + i);
        if (!panel)
            continue;
        auto* w = new TSonivexPanelWidget(*panel, pnlMain);
        w->move((i % 2) * (w->width() + 5) + 5, (i / 2) * (w->height() + 4) + 4);
        w->setFrameShape(QFrame::NoFrame);
        FPanels << w;
    }

    if (k == 0) {
        setObjectName(QStringLiteral("frmAudio"));
    } else {
        setObjectName(QStringLiteral("FrmAudio%1").arg(k));
        setWindowTitle(QStringLiteral("Audio %1").arg(k));
        resize(pnlMain->minimumSize());
    }
}

void TfrmAudio::Dock(QWidget* target)
{
    DockInto(this, target);
}

void TfrmAudio::leeren1Click()
{
    FModule.ClearPage(FTag);
}

void TfrmAudio::BatchImport1Click()
{
    const QStringList files = Prompts().OpenFileNames(AudioFileDialog());
    if (!files.isEmpty())
        FModule.BatchImport(FTag, files);
}

// ---------------------------------------------------------------------------
// Playlist dialog

namespace {
constexpr int GridRows = 99;
}

TFrm_AudioFiles::TFrm_AudioFiles(TSonivexPanelWidget& panel) : FWidget(panel), FPanel(*panel.Panel())
{
    setObjectName(QStringLiteral("Frm_AudioFiles"));
    setWindowTitle(QStringLiteral("Audio-Dateien"));
    auto* layout = new QVBoxLayout(this);

    sgFiles = Named<QTableWidget>(QStringLiteral("sgFiles"), GridRows, 4);
    sgFiles->setHorizontalHeaderLabels({QStringLiteral("Nr"), QStringLiteral("Name"), QStringLiteral("Datei"), QStringLiteral("Vol")});
    sgFiles->verticalHeader()->hide();
    const int widths[] = {30, 200, 400, 50};
    for (int c = 0; c < 4; ++c)
        sgFiles->setColumnWidth(c, widths[c]);
    for (int r = 0; r < GridRows; ++r) {
        auto* nr = new QTableWidgetItem(QString::number(r + 1));
        nr->setFlags(nr->flags() & ~Qt::ItemIsEditable);
        sgFiles->setItem(r, 0, nr);
        for (int c = 1; c < 4; ++c)
            sgFiles->setItem(r, c, new QTableWidgetItem);
    }
    sgFiles->installEventFilter(this);
    connect(sgFiles, &QTableWidget::cellDoubleClicked, this, [this](int row, int col) {
        Guarded([&] {
            if (col == 2)
                btnDateiClick();
            else if (!FPanel.Playing())
                FPanel.SetTrackID(row + 1);
        });
    });
    layout->addWidget(sgFiles);

    auto* buttons = new QHBoxLayout;
    cbAutoname = Named<QCheckBox>(QStringLiteral("cbAutoname"), QStringLiteral("Autoname"));
    cbAutoname->setChecked(true);
    buttons->addWidget(cbAutoname);
    const struct {
        const char* Name;
        const char* Caption;
        std::function<void()> Click;
    } defs[] = {
        {"btnLeeren", "&Leeren", [this] { btnLeerenClick(); }},
        {"btnDatei", "Datei &wählen", [this] { btnDateiClick(); }},
        {"btnBereinigen", "&Bereinigen", [this] { btnBereinigenClick(); }},
        {"btnOK", "OK", [this] { accept(); }},
        {"btnAbort", "Abbrechen", [this] { reject(); }},
    };
    for (const auto& d : defs) {
        auto* b = Named<QPushButton>(QString::fromLatin1(d.Name), QString::fromUtf8(d.Caption));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [click = d.Click] { Guarded(click); });
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    pnlBottom = Named<QWidget>(QStringLiteral("pnlBottom"));
    pnlBottom->setFixedHeight(92);
    layout->addWidget(pnlBottom);
    resize(760, 560);

    // The panel moves into the bottom bar while the dialog is open.
    FOldParent = FWidget.parentWidget();
    FOldPos = FWidget.pos();
    if (FOldParent)
        move(FOldParent->mapToGlobal(QPoint(0, 0)));
    FWidget.setParent(pnlBottom);
    FWidget.move(4, 0);
    FWidget.PopupEnabled = false;
    FWidget.show();
    FOldLevelHook = FPanel.OnLevelChange;
    FPanel.OnLevelChange = [this](TSonivexPanel*) {
        if (FPanel.TrackID() > 0 && FPanel.TrackID() <= GridRows)
            SetCell(FPanel.TrackID() - 1, 3, QString::number(FPanel.Level()));
    };
    FNames = FPanel.Names;
    FFiles = FPanel.Files;
    FLevels = FPanel.Levels;
    PanelToGrid();
}

TFrm_AudioFiles::~TFrm_AudioFiles()
{
    FPanel.OnLevelChange = FOldLevelHook;
    FWidget.PopupEnabled = true;
    FWidget.setParent(FOldParent);
    FWidget.move(FOldPos);
    FWidget.show();
}

bool TFrm_AudioFiles::EditPanelPlaylist(TSonivexPanelWidget& panel)
{
    if (!panel.Panel())
        return false;
    TFrm_AudioFiles dialog(panel);
    const bool ok = RunDialog(dialog) == QDialog::Accepted;
    if (ok) {
        // Cells typed without a button count as well.
        dialog.GridToPanel();
    } else {
        dialog.FPanel.Names = dialog.FNames;
        dialog.FPanel.Files = dialog.FFiles;
        dialog.FPanel.Levels = dialog.FLevels;
        dialog.PanelToGrid();
        dialog.GridToPanel();
    }
    dialog.ReloadPanelTrack();
    return ok;
}

QString TFrm_AudioFiles::Cell(int row, int col) const
{
    const QTableWidgetItem* item = sgFiles->item(row, col);
    return item ? item->text() : QString();
}

void TFrm_AudioFiles::SetCell(int row, int col, const QString& text)
{
    if (QTableWidgetItem* item = sgFiles->item(row, col))
        item->setText(text);
}

void TFrm_AudioFiles::PanelToGrid()
{
    for (int r = 0; r < GridRows; ++r) {
        SetCell(r, 1, FPanel.Names.value(r));
        SetCell(r, 2, FPanel.Files.value(r));
        SetCell(r, 3, FPanel.Levels.value(r));
    }
}

void TFrm_AudioFiles::GridToPanel()
{
    QStringList names, files, levels;
    for (int r = 0; r < GridRows; ++r) {
        names << Cell(r, 1);
        files << Cell(r, 2);
        levels << Cell(r, 3);
    }
    FPanel.Names = names;
    FPanel.Files = files;
    FPanel.Levels = levels;
    FPanel.UpdateTrackCount();
}

void TFrm_AudioFiles::ReloadPanelTrack()
{
    FPanel.ReloadTrack();
}

void TFrm_AudioFiles::btnLeerenClick()
{
    if (Prompts().AskYesNo(QStringLiteral("Soll das ganze Grird geleert werden?")))
        for (int r = 0; r < GridRows; ++r)
            for (int c = 1; c < 4; ++c)
                SetCell(r, c, QString());
    GridToPanel();
    ReloadPanelTrack();
}

void TFrm_AudioFiles::btnDateiClick()
{
    TFileDialogOptions options;
    options.Filter = AudioFilter;
    options.DefaultSuffix = QStringLiteral("wav");
    const QStringList files = Prompts().OpenFileNames(options);
    if (files.isEmpty())
        return;
    const int first = std::max(sgFiles->currentRow(), 0);
    for (int f = 0; f < files.size() && first + f < GridRows; ++f) {
        const int r = first + f;
        SetCell(r, 2, files.at(f));
        if (cbAutoname->isChecked())
            SetCell(r, 1, TSonivexPanel::FileNamePart(files.at(f)));
        if (TrimBlanks(Cell(r, 3)).isEmpty())
            SetCell(r, 3, QStringLiteral("0"));
    }
    GridToPanel();
    ReloadPanelTrack();
}

void TFrm_AudioFiles::btnBereinigenClick()
{
    // Rows 1..98 close up; row 99 takes no part.
    const int last = GridRows - 1;
    for (int r = 0; r < last; ++r) {
        if (!TrimBlanks(Cell(r, 2)).isEmpty())
            continue;
        SetCell(r, 1, QString());
        SetCell(r, 3, QString());
        for (int r2 = r + 1; r2 < last; ++r2) {
            if (TrimBlanks(Cell(r2, 2)).isEmpty())
                continue;
            for (int c = 1; c < 4; ++c) {
                SetCell(r, c, Cell(r2, c));
                SetCell(r2, c, QString());
            }
            break;
        }
    }
    GridToPanel();
}

bool TFrm_AudioFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == sgFiles && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && sgFiles->currentColumn() == 1) {
            const int r = sgFiles->currentRow();
            if (r >= 0) {
                while (FPanel.Names.size() <= r)
                    FPanel.Names.append(QString());
                FPanel.Names[r] = Cell(r, 1);
                FPanel.SetPanelName(FPanel.TrackID() > 0 ? FPanel.Names.value(FPanel.TrackID() - 1) : QString());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
