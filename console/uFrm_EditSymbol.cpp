#include "console/uFrm_EditSymbol.h"

#include "console/uIconGlyph.h"
#include "console/uKanal.h"
#include "console/uMod_Icons.h"
#include "framework/uColors.h"
#include "framework/uErrorLog.h"
#include "framework/uFormUtils.h"
#include "framework/uMod_Main.h"
#include "framework/uPrompts.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>

namespace {

constexpr int ClientWidth = 545;
constexpr int ClientHeight = 484;
constexpr int BottomHeight = 233;
constexpr int PaletteColumns = 22;
constexpr int PaletteStep = 24;

// (R, G, B) of the swatch rows' full colours.
constexpr int BaseColors[TFrm_EditSymbol::SwatchRows][3] = {
    {255, 255, 255}, {255, 0, 0},   {255, 127, 0}, {255, 255, 0}, {127, 255, 0},
    {0, 255, 0},     {0, 255, 127}, {0, 255, 255}, {0, 127, 255}, {0, 0, 255},
    {127, 0, 255},   {255, 0, 255}, {255, 0, 127},
};

// A widget of class Base that reports a double-click to OnDoubleClick. Palette
// buttons report it whether or not they are held down; a colour group box only
// for its own background (the swatches take their clicks themselves); the
// transparency panels close the dialog with it.
template <class Base>
class TDoubleClickable : public Base {
public:
    using Base::Base;
    std::function<void()> OnDoubleClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        event->accept();
        if (OnDoubleClick)
            OnDoubleClick();
    }
};

using TMySpeedButton = TDoubleClickable<QToolButton>;
using TColorGroupBox = TDoubleClickable<QGroupBox>;
using TClickPanel = TDoubleClickable<QPushButton>;

// One colour swatch: a press selects it, a double-click selects it and closes.
class TColorSwatch : public TDoubleClickable<QFrame> {
public:
    std::function<void()> OnPress;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        if (OnPress)
            OnPress();
    }
};


QPointer<TFrm_EditSymbol> Instance;

// The dialog has no owner; it must go before the application object does.
void DeleteInstance()
{
    delete Instance.data();
}

QToolButton* MakeGlyphButton(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setIconSize(QSize(16, 16));
    b->setAutoRaise(true);
    return b;
}

} // namespace

TFrm_EditSymbol::TFrm_EditSymbol(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Frm_EditSymbol"));
    setWindowTitle(QStringLiteral("Symbol"));
    setFixedSize(ClientWidth, ClientHeight);

    sbButtons = new QScrollArea(this);
    sbButtons->setObjectName(QStringLiteral("sbButtons"));
    sbButtons->setGeometry(0, 0, ClientWidth, ClientHeight - BottomHeight);
    sbButtons->setFrameShape(QFrame::NoFrame);
    sbButtons->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    sbButtons->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pnlButtons = new QWidget;
    pnlButtons->setObjectName(QStringLiteral("pnlButtons"));
    sbButtons->setWidget(pnlButtons);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("pnlBottom"));
    bottom->setGeometry(0, ClientHeight - BottomHeight, ClientWidth, BottomHeight);

    auto* vorder = new TColorGroupBox(QStringLiteral(" Vordergrundfarbe: "));
    vorder->OnDoubleClick = [this] { PickColorFor(true); };
    gbVorder = vorder;
    gbVorder->setObjectName(QStringLiteral("gbVorder"));
    gbVorder->setParent(bottom);
    gbVorder->setGeometry(4, 8, 193, 217);
    AddSwatches(gbVorder, true);

    auto* hinter = new TColorGroupBox(QStringLiteral(" Hintergrundfarbe: "));
    hinter->OnDoubleClick = [this] { PickColorFor(false); };
    gbHinter = hinter;
    gbHinter->setObjectName(QStringLiteral("gbHinter"));
    gbHinter->setParent(bottom);
    gbHinter->setGeometry(201, 8, 193, 217);
    AddSwatches(gbHinter, false);

    constexpr int right = 402;
    constexpr int rightWidth = ClientWidth - right - 6;
    SpeedButton1 = MakeGlyphButton(bottom, QStringLiteral("SpeedButton1"), QRect(right, 14, 32, 32));
    SpeedButton2 = MakeGlyphButton(bottom, QStringLiteral("SpeedButton2"), QRect(right + 40, 14, 32, 32));

    auto* trans = new TClickPanel(QStringLiteral("Transparent &hinten"));
    trans->OnDoubleClick = [this] {
        SetBackground(TransparentColorValue);
        accept();
    };
    btnTrans = trans;
    btnTrans->setObjectName(QStringLiteral("btnTrans"));
    btnTrans->setParent(bottom);
    btnTrans->setGeometry(right, 62, rightWidth, 26);
    connect(btnTrans, &QPushButton::clicked, this, [this] { SetBackground(TransparentColorValue); });

    auto* vorne = new TClickPanel(QStringLiteral("Transparent &vorne"));
    vorne->OnDoubleClick = [this] {
        SetForeground(TransparentColorValue);
        accept();
    };
    btnVorne = vorne;
    btnVorne->setObjectName(QStringLiteral("btnVorne"));
    btnVorne->setParent(bottom);
    btnVorne->setGeometry(right, 94, rightWidth, 26);
    connect(btnVorne, &QPushButton::clicked, this, [this] { SetForeground(TransparentColorValue); });

    btnOK = new QPushButton(QStringLiteral("OK"), bottom);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(right, 160, rightWidth, 28);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    btnAbbrechen = new QPushButton(QStringLiteral("Abbrechen"), bottom);
    btnAbbrechen->setObjectName(QStringLiteral("btnAbbrechen"));
    btnAbbrechen->setGeometry(right, 194, rightWidth, 28);
    connect(btnAbbrechen, &QPushButton::clicked, this, &QDialog::reject);

    BuildPalette();
    UpdatePreview();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TFrm_EditSymbol::~TFrm_EditSymbol() = default;

int TFrm_EditSymbol::SwatchColor(int row, int column)
{
    const int* base = BaseColors[row];
    const int r = base[0] * column / 8;
    const int g = base[1] * column / 8;
    const int b = base[2] * column / 8;
    return r | (g << 8) | (b << 16);
}

void TFrm_EditSymbol::AddSwatches(QGroupBox* box, bool foreground)
{
    for (int k = 0; k < SwatchRows; ++k) {
        for (int j = 0; j < SwatchColumns; ++j) {
            const int value = SwatchColor(k, j);
            auto* swatch = new TColorSwatch;
            swatch->setParent(box);
            swatch->setObjectName(QStringLiteral("Farbe_%1_%2").arg(k).arg(j));
            swatch->setGeometry(8 + 20 * j, 16 + 15 * k, 18, 13);
            swatch->setFrameShape(QFrame::NoFrame);
            swatch->setAutoFillBackground(true);
            QPalette pal = swatch->palette();
            pal.setColor(QPalette::Window, ColorFromValue(value));
            swatch->setPalette(pal);
            const auto select = [this, foreground, value] {
                if (foreground)
                    SetForeground(value);
                else
                    SetBackground(value);
            };
            swatch->OnPress = select;
            swatch->OnDoubleClick = [this, select] {
                select();
                accept();
            };
        }
    }
}

void TFrm_EditSymbol::BuildPalette()
{
    const int count = ModuleIcons ? ModuleIcons->IconCount() : 0;
    if (count == PaletteCount())
        return;
    for (QToolButton* b : FPalette)
        delete b;
    FPalette.clear();
    for (int i = 0; i < count; ++i) {
        auto* b = new TMySpeedButton;
        b->setParent(pnlButtons);
        b->setObjectName(QStringLiteral("btnIcon%1").arg(i));
        b->setGeometry(4 + PaletteStep * (i % PaletteColumns), 4 + PaletteStep * (i / PaletteColumns), 23, 23);
        b->setAutoRaise(true);
        b->setIconSize(QSize(16, 16));
        b->setIcon(QIcon(IconPixmap(i, TransparentColorValue, 0)));
        connect(b, &QToolButton::clicked, this, [this, i] { IconClick(i); });
        b->OnDoubleClick = [this, i] {
            IconClick(i);
            accept();
        };
        b->show();
        FPalette.push_back(b);
    }
    const int rows = (count + PaletteColumns - 1) / PaletteColumns;
    pnlButtons->resize(4 + PaletteStep * PaletteColumns, 8 + PaletteStep * rows);
}

QToolButton* TFrm_EditSymbol::PaletteButton(int index) const
{
    if (index < 0 || index >= PaletteCount())
        return nullptr;
    return FPalette[static_cast<std::size_t>(index)];
}

void TFrm_EditSymbol::IconClick(int index)
{
    FIcon = index;
    FForeground = 0;
    FBackground = TransparentColorValue;
    UpdatePreview();
}

void TFrm_EditSymbol::SetForeground(int value)
{
    FForeground = value;
    UpdatePreview();
}

void TFrm_EditSymbol::SetBackground(int value)
{
    FBackground = value;
    UpdatePreview();
}

void TFrm_EditSymbol::PickColorFor(bool foreground)
{
    Guarded([&] {
        int value = foreground ? FForeground : FBackground;
        if (!Prompts().PickColor(value))
            return;
        if (foreground)
            SetForeground(value);
        else
            SetBackground(value);
    });
}

void TFrm_EditSymbol::UpdatePreview()
{
    SetButtonGlyph(SpeedButton1, FIcon, TransparentColorValue, 0);
    SetButtonGlyph(SpeedButton2, FIcon, FBackground, FForeground);
}

bool EditSymbol(int& icon, int& foreground, int& background)
{
    if (!Instance) {
        Instance = new TFrm_EditSymbol;
        static bool cleanupRegistered = false;
        if (!cleanupRegistered) {
            // aboutToQuit covers the running program; the post routine covers an
            // application object that is destroyed without quitting (tests).
            cleanupRegistered = true;
            qAddPostRoutine(DeleteInstance);
        }
        if (qApp)
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, Instance.data(), &DeleteInstance);
    }
    TFrm_EditSymbol& dialog = *Instance;
    dialog.BuildPalette();
    dialog.setResult(QDialog::Rejected);

    const int result = RunDialog(dialog);

    icon = dialog.Icon();
    foreground = dialog.Foreground();
    background = dialog.Background();
    return result == QDialog::Accepted;
}

bool EditKanalSymbol(TKanal& k)
{
    int icon = k.Icon;
    int foreground = k.VF;
    int background = k.HF;
    if (!EditSymbol(icon, foreground, background))
        return false;
    k.SetIcon(icon);
    k.SetVF(foreground);
    k.SetHF(background);
    k.IconChanged();
    return true;
}
