#include "console/uFrm_KennEdit.h"

#include "console/uFrm_KennTab.h"
#include "console/uKennlinie.h"
#include "framework/uFormUtils.h"
#include "framework/uUtils.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int CanvasSize = 256;

// The drawing area: paints the editor's table and points, hands the mouse on.
class TCurveCanvas : public QWidget {
public:
    explicit TCurveCanvas(Tfrm_kenn_edit& editor) : FEditor(editor)
    {
        setObjectName(QStringLiteral("Image1"));
        setFixedSize(CanvasSize, CanvasSize);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        p.drawLine(0, 255, 255, 0);
        for (int k = 1; k < 4; ++k) {
            p.drawLine(0, 64 * k, 255, 64 * k);
            p.drawLine(64 * k - 1, 0, 64 * k - 1, 255);
        }
        if (FEditor.Mode() == Tfrm_kenn_edit::TMode::Construct) {
            p.setPen(Qt::green);
            for (const QPoint& pt : FEditor.Points)
                p.drawRect(pt.x() - 2, 255 - pt.y() - 2, 4, 4);
        }
        p.setPen(Qt::red);
        for (int x = 0; x < 256; ++x)
            p.drawPoint(x, 255 - FEditor.Table[size_t(x)]);
    }
    void mousePressEvent(QMouseEvent* e) override { FEditor.CanvasPress(e->position().toPoint()); }
    void mouseMoveEvent(QMouseEvent* e) override { FEditor.CanvasMove(e->position().toPoint()); }
    void mouseReleaseEvent(QMouseEvent* e) override { FEditor.CanvasRelease(e->position().toPoint()); }

private:
    Tfrm_kenn_edit& FEditor;
};

} // namespace

Tfrm_kenn_edit::Tfrm_kenn_edit(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_kenn_edit"));
    const TKennlinie identity;
    Table = identity.Tabelle;
    Points = identity.Punkte;

    auto* layout = new QHBoxLayout(this);
    Image1 = new TCurveCanvas(*this);
    layout->addWidget(Image1, 0, Qt::AlignTop);
    auto* side = new QVBoxLayout;
    layout->addLayout(side);
    edtName = Named<QLineEdit>(QStringLiteral("edtName"));
    side->addWidget(edtName);
    auto* coords = new QGridLayout;
    lblX = Named<QLabel>(QStringLiteral("lblX"));
    lblY = Named<QLabel>(QStringLiteral("lblY"));
    lblXProz = Named<QLabel>(QStringLiteral("lblXProz"));
    lblYProz = Named<QLabel>(QStringLiteral("lblYProz"));
    coords->addWidget(new QLabel(QStringLiteral("x:")), 0, 0);
    coords->addWidget(lblX, 0, 1);
    coords->addWidget(lblXProz, 0, 2);
    coords->addWidget(new QLabel(QStringLiteral("%")), 0, 3);
    coords->addWidget(new QLabel(QStringLiteral("y:")), 1, 0);
    coords->addWidget(lblY, 1, 1);
    coords->addWidget(lblYProz, 1, 2);
    coords->addWidget(new QLabel(QStringLiteral("%")), 1, 3);
    side->addLayout(coords);

    auto button = [side](const char* name, const char* caption) {
        auto* b = Named<QPushButton>(QString::fromLatin1(name), QString::fromUtf8(caption));
        side->addWidget(b);
        return b;
    };
    QPushButton* construct = button("btnKonstruieren", "&Konstruieren");
    QPushButton* draw = button("btnZeichnen", "&Zeichnen");
    QPushButton* redraw = button("btnNeuzeichnen", "&Neuzeichnen");
    QPushButton* oneToOne = button("btnEinsZuEins", "Kennlinie &1 zu 1");
    QPushButton* table = button("btnTabelle", "&Tabelle");
    side->addStretch(1);
    btnOk = button("btnOk", "&Ok");
    QPushButton* cancel = button("btnAbbruch", "&Abbruch");

    connect(construct, &QPushButton::clicked, this, [this] { SetMode(TMode::Construct); });
    connect(draw, &QPushButton::clicked, this, [this] { SetMode(TMode::Draw); });
    connect(redraw, &QPushButton::clicked, Image1, qOverload<>(&QWidget::update));
    connect(oneToOne, &QPushButton::clicked, this, &Tfrm_kenn_edit::OneToOne);
    connect(table, &QPushButton::clicked, this, &Tfrm_kenn_edit::EditTable);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // A curve without a name would be dropped when the patch file is read
    // again, and every later curve would move down one number: no blank names.
    connect(edtName, &QLineEdit::textChanged, this,
            [this](const QString& text) { btnOk->setEnabled(!TrimBlanks(text).isEmpty()); });
    btnOk->setEnabled(false);
    SetMode(TMode::Construct);
}

bool Tfrm_kenn_edit::EditCurve(TKennlinie& curve, bool isNew)
{
    Tfrm_kenn_edit editor;
    if (isNew) {
        editor.OneToOne();
    } else {
        editor.Table = curve.Tabelle;
        editor.Points = curve.Punkte;
    }
    editor.edtName->setText(curve.Name);
    editor.SetMode(TMode::Construct);
    if (RunDialog(editor) != QDialog::Accepted || TrimBlanks(editor.edtName->text()).isEmpty())
        return false;
    curve.SetTable(editor.Table);
    curve.SetPoints(editor.Points);
    curve.SetName(editor.edtName->text());
    return true;
}

void Tfrm_kenn_edit::SetMode(TMode mode)
{
    FMode = mode;
    FPressed = false;
    setWindowTitle(mode == TMode::Construct ? QStringLiteral("Kennlinie konstruieren") : QStringLiteral("Kennlinie zeichnen"));
    Image1->update();
}

void Tfrm_kenn_edit::CanvasPress(QPoint p)
{
    FPressed = true;
    if (FMode == TMode::Construct) {
        FGrabbed = GrabCurvePoint(Points, p.x(), p.y());
    } else if (DrawCurvePixel(Table, p.x(), p.y())) {
        Image1->update();
    }
}

void Tfrm_kenn_edit::CanvasMove(QPoint p)
{
    ShowCoordinates(p);
    if (FPressed && FMode == TMode::Draw && DrawCurvePixel(Table, p.x(), p.y()))
        Image1->update();
}

void Tfrm_kenn_edit::CanvasRelease(QPoint p)
{
    if (FMode == TMode::Construct && FPressed && FGrabbed >= 0) {
        DropCurvePoint(Points, FGrabbed, p.x(), p.y());
        RebuildCurveTable(Points, Table);
    }
    FPressed = false;
    FGrabbed = -1;
    Image1->update();
}

void Tfrm_kenn_edit::ShowCoordinates(QPoint p)
{
    if (InRangeInt(p.x(), 0, 255)) {
        lblX->setText(QString::number(p.x()));
        lblXProz->setText(FormatFloat(p.x() / 2.55, 1));
    }
    if (InRangeInt(p.y(), 0, 255)) {
        lblY->setText(QString::number(255 - p.y()));
        lblYProz->setText(FormatFloat((255 - p.y()) / 2.55, 1));
    }
}

void Tfrm_kenn_edit::OneToOne()
{
    const TKennlinie identity;
    Table = identity.Tabelle;
    Points = identity.Punkte;
    Image1->update();
}

void Tfrm_kenn_edit::EditTable()
{
    Tfrm_kenn_tab dialog(this);
    dialog.Fill(CurveTableText(Table, Points));
    if (RunDialog(dialog) == QDialog::Accepted) {
        const TCurveTableText content = dialog.Content();
        ApplyCurveTableCells(content.Cells, Table);
        Points = content.Points;
    }
    Image1->update();
}
