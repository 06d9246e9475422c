#include "console/uKanalListBox.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

struct TColumn {
    int Left, Right;
    bool RightAligned;
    const char* Caption;
};

// Pixel bounds of the columns; right-aligned texts end 5 pixels before the right
// bound, left-aligned ones start 1 pixel after the left bound.
constexpr TColumn Columns[TKanalListZeile::Columns] = {
    {4, 30, true, "Kan."},     {38, 200, false, "Name"},  {204, 220, true, "St."},
    {224, 250, false, "Icon"}, {260, 294, true, "Flash"}, {300, 336, true, "Black."},
    {350, 384, true, "Fader"}, {400, 436, true, "Kanal"}, {450, 1200, false, nullptr},
};

constexpr int HeaderTop = 4;
constexpr int LineOffset = 6;

const QColor Navy(0, 0, 128);

QColor KindColor(int kind)
{
    static const QColor Colors[] = {Qt::black, QColor(0, 0, 255), QColor(128, 0, 0), QColor(128, 0, 128)};
    return Colors[kind >= 0 && kind < 4 ? kind : 0];
}

// Room a header caption keeps free before the next column.
constexpr int CaptionGap = 2;

}   // namespace

TKanalListBox::TKanalListBox(QScrollBar& scroll, int firstNr, const QString& lastCaption,
                             std::function<bool(int, TKanalListZeile&)> row, QWidget* parent)
    : QWidget(parent), FScroll(scroll), FFirstNr(firstNr), FLastCaption(lastCaption), FRow(std::move(row))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&FScroll, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
    // The columns are placed for a small font: the largest, up to the usual one,
    // in which every bold caption of the header fits before the next column.
    QFont small = font();
    for (int px = QFontInfo(small).pixelSize(); px > 6; --px) {
        small.setPixelSize(px);
        setFont(small);
        if (HeaderFits(CaptionGap))
            break;
    }
}

bool TKanalListBox::HeaderFits(int gap) const
{
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    for (int c = 0; c < TKanalListZeile::Columns; ++c)
        if (fm.horizontalAdvance(Caption(c)) + gap > HeaderRect(c).width())
            return false;
    return true;
}

int TKanalListBox::RowHeight() const
{
    return fontMetrics().height() + 1;
}

int TKanalListBox::VisibleRows() const
{
    return height() / RowHeight();
}

int TKanalListBox::WholeRows() const
{
    return std::max(0, (height() - LineOffset) / RowHeight() - 1);
}

int TKanalListBox::NrOfLine(int line) const
{
    return FFirstNr + line + FScroll.value();
}

int TKanalListBox::LineAt(int y) const
{
    return (y - LineOffset) / RowHeight();
}

bool TKanalListBox::LineOf(int nr, TKanalListZeile& line) const
{
    line = {};
    return FRow && FRow(nr, line);
}

void TKanalListBox::UpdateNr(int nr)
{
    UpdateNrs(nr, nr);
}

void TKanalListBox::UpdateNrs(int from, int to)
{
    const int first = std::max(from, NrOfLine(1));
    const int last = std::min(to, NrOfLine(VisibleRows()));
    if (first > last)
        return;
    const int h = RowHeight();
    update(0, h * (first - NrOfLine(0)) + LineOffset, width(), h * (last - first + 1));
}

QString TKanalListBox::Caption(int c) const
{
    if (c < 0 || c >= TKanalListZeile::Columns)
        return {};
    return Columns[c].Caption ? QString::fromLatin1(Columns[c].Caption) : FLastCaption;
}

QRect TKanalListBox::HeaderRect(int c) const
{
    if (c < 0 || c >= TKanalListZeile::Columns)
        return {};
    // A caption may use the room up to the next column.
    const int right = c + 1 < TKanalListZeile::Columns ? Columns[c + 1].Left : Columns[c].Right;
    return QRect(Columns[c].Left + 1, HeaderTop, right - Columns[c].Left - 1, RowHeight());
}

void TKanalListBox::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QColor face = palette().color(QPalette::Button);
    p.fillRect(event->rect(), face);
    const int h = RowHeight();

    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::black);
    for (int c = 0; c < TKanalListZeile::Columns; ++c)
        p.drawText(HeaderRect(c), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Caption(c));
    p.setFont(font());

    TKanalListZeile line;
    for (int r = 1, rows = VisibleRows(); r <= rows; ++r) {
        const int y = h * r + LineOffset;
        const QRect band(0, y, width(), h);
        if (!band.intersects(event->rect()))
            continue;
        const int nr = NrOfLine(r);
        if (!LineOf(nr, line))
            continue;
        const bool selected = nr == SelectedNr;
        p.fillRect(band, selected ? Navy : face);
        p.setPen(selected ? QColor(Qt::white) : KindColor(line.Kind));
        for (int c = 0; c < TKanalListZeile::Columns; ++c) {
            // drawText clips to the rectangle, so a text never runs into the next column.
            const TColumn& col = Columns[c];
            const QRect text = col.RightAligned ? QRect(col.Left, y, col.Right - 5 - col.Left, h)
                                                : QRect(col.Left + 1, y, col.Right - col.Left - 1, h);
            p.drawText(text, (col.RightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop | Qt::TextSingleLine,
                       line.Texts[static_cast<std::size_t>(c)]);
        }
    }
}

void TKanalListBox::mousePressEvent(QMouseEvent* event)
{
    if (OnPress)
        OnPress(LineAt(static_cast<int>(event->position().y())), event->button());
}

void TKanalListBox::mouseDoubleClickEvent(QMouseEvent*)
{
    if (OnDoubleClick)
        OnDoubleClick();
}

void TKanalListBox::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 40;   // three lines a notch
    if (steps != 0)
        FScroll.setValue(FScroll.value() - steps);
    event->accept();
}

void TKanalListBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (OnResize)
        OnResize();
}
