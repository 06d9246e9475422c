#include "cues/uChaserGrids.h"

#include "framework/uFormUtils.h"

#include <QHash>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStaticText>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <utility>

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FRows;
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FColumns;
}

void TGridModel::Reset(int rows, int columns)
{
    beginResetModel();
    FRows = rows;
    FColumns = columns;
    endResetModel();
}

void TGridModel::ResizeRows(int rows)
{
    if (rows > FRows) {
        beginInsertRows({}, FRows, rows - 1);
        FRows = rows;
        endInsertRows();
    } else if (rows < FRows) {
        beginRemoveRows({}, rows, FRows - 1);
        FRows = rows;
        endRemoveRows();
    }
}

namespace {

// Paints a grid cell as a string grid does, its background, its text and the
// selection, without the style's item machinery: a grid of 192 entries by 99
// steps repaints thousands of cells after a change of its row count, and the
// style's item painting made that cost a tenth of a second per keystroke.
class TGridCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                                   : QPalette::Inactive;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        else {
            const QVariant background = index.data(Qt::BackgroundRole);
            if (background.canConvert<QBrush>())
                painter->fillRect(option.rect, background.value<QBrush>());
        }
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty())
            return;
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect area = option.rect.adjusted(TextMargin, 0, -TextMargin, 0);
        const QStaticText& shown = Shown(text, option.font, area.width());
        // Centred as a vertically centred text line is; elided to the cell's
        // width, the text stays inside it without a clip.
        painter->drawStaticText(QPoint(area.left(), area.top() + (area.height() - option.fontMetrics.height()) / 2),
                                shown);
    }

private:
    static constexpr int TextMargin = 3;
    // The laid-out texts: a grid shows few different values (levels, step
    // numbers), each laid out once for the font and the width it is shown in.
    const QStaticText& Shown(const QString& text, const QFont& font, int width) const
    {
        if (font != FFont || FShown.size() > 4096) {
            FShown.clear();
            FFont = font;
        }
        const std::pair<int, QString> key(width, text);
        auto it = FShown.find(key);
        if (it == FShown.end()) {
            QStaticText laidOut(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
            laidOut.setTextFormat(Qt::PlainText);
            laidOut.prepare(QTransform(), font);
            it = FShown.insert(key, laidOut);
        }
        return *it;
    }
    mutable QHash<std::pair<int, QString>, QStaticText> FShown;
    mutable QFont FFont;
};

// The grid's style: the cells paint their own background, so the style's row
// panel under every cell (colour arithmetic for each of thousands of cells) is
// left out.
class TGridStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_PanelItemViewRow)
            return;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    // A scroll bar is painted in tiles of a few rows and columns, each drawn
    // whole into an image of the tile's size and laid over the widget. Qt's
    // raster engine hands every fill or line of more than about a hundred rows
    // or pixels to its thread pool and waits for it; for the scroll bars,
    // repainted at every change of the row count, waking those threads cost
    // the GUI thread more than the painting. (A clip per tile is not enough:
    // the style sets clips of its own.) The image of a bar is kept while the
    // bar stays as it was: Qt's scroll area repaints both bars when the range
    // of one changes.
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        const QRect& r = option->rect;
        if (control != CC_ScrollBar || !bar || (r.width() <= TileSize && r.height() <= TileSize)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const qreal ratio = painter->device()->devicePixelRatioF();
        TShownBar& shown = FShownBars[widget];
        const TBarState state(*bar, ratio);
        if (shown.Image.isNull() || !(shown.State == state)) {
            shown.State = state;
            shown.Image = PaintInTiles(control, option, widget, ratio);
        }
        for (int y = 0; y < r.height(); y += TileSize)
            for (int x = 0; x < r.width(); x += TileSize) {
                const QRectF tile(x, y, std::min(TileSize, r.width() - x), std::min(TileSize, r.height() - y));
                painter->drawImage(tile.translated(r.topLeft()), shown.Image,
                                   QRectF(tile.topLeft() * ratio, tile.size() * ratio));
            }
    }

private:
    static constexpr int TileSize = 64;
    // What a scroll bar's look depends on.
    struct TBarState {
        TBarState() = default;
        TBarState(const QStyleOptionSlider& o, qreal ratio)
            : Rect(o.rect), State(o.state), Direction(o.direction), Palette(o.palette.cacheKey()),
              Orientation(o.orientation), Minimum(o.minimum), Maximum(o.maximum), Position(o.sliderPosition),
              Value(o.sliderValue), PageStep(o.pageStep), UpsideDown(o.upsideDown), SubControls(o.subControls),
              Active(o.activeSubControls), Ratio(ratio)
        {
        }
        bool operator==(const TBarState&) const = default;
        QRect Rect;
        QStyle::State State;
        Qt::LayoutDirection Direction = Qt::LeftToRight;
        qint64 Palette = 0;
        Qt::Orientation Orientation = Qt::Horizontal;
        int Minimum = 0, Maximum = 0, Position = 0, Value = 0, PageStep = 0;
        bool UpsideDown = false;
        QStyle::SubControls SubControls, Active;
        qreal Ratio = 1;
    };
    struct TShownBar {
        TBarState State;
        QImage Image;
    };

    // The bar painted whole into an image, a tile at a time.
    QImage PaintInTiles(ComplexControl control, const QStyleOptionComplex* option, const QWidget* widget,
                        qreal ratio) const
    {
        const QRect& r = option->rect;
        QImage whole((QSizeF(r.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        whole.setDevicePixelRatio(ratio);
        const QSize tileSize(std::min(TileSize, r.width()), std::min(TileSize, r.height()));
        QImage tile((QSizeF(tileSize) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        tile.setDevicePixelRatio(ratio);
        QPainter wholePainter(&whole);
        wholePainter.setCompositionMode(QPainter::CompositionMode_Source);
        for (int y = 0; y < r.height(); y += TileSize)
            for (int x = 0; x < r.width(); x += TileSize) {
                tile.fill(Qt::transparent);
                {
                    QPainter tilePainter(&tile);
                    tilePainter.translate(-r.left() - x, -r.top() - y);
                    QProxyStyle::drawComplexControl(control, option, &tilePainter, widget);
                }
                wholePainter.drawImage(QPointF(x, y), tile);
            }
        return whole;
    }
    mutable QHash<const QWidget*, TShownBar> FShownBars;
};

// A grid whose rows come and go at its end (the step count) lays itself out
// again without repainting every cell: Qt's table view repaints its whole
// viewport after any change of the row count, which for a full chaser costs
// more than a keystroke may. Only the part of the viewport from the first
// changed row down is repainted; the scroll bars follow as usual. Every other
// change of the model's shape takes the view's own full layout.
class TGridView : public QTableView {
public:
    void setModel(QAbstractItemModel* model) override
    {
        if (this->model())
            disconnect(this->model(), nullptr, this, nullptr);
        QTableView::setModel(model);
        FFirstChangedRow = Full;
        if (!model)
            return;
        connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
            RowsChanged(parent, first, last == this->model()->rowCount() - 1);
        });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex& parent, int first, int) {
            RowsChanged(parent, first, first == this->model()->rowCount());
        });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { FFirstChangedRow = Full; });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { FFirstChangedRow = Full; });
        connect(model, &QAbstractItemModel::columnsInserted, this, [this] { FFirstChangedRow = Full; });
        connect(model, &QAbstractItemModel::columnsRemoved, this, [this] { FFirstChangedRow = Full; });
        connect(model, &QAbstractItemModel::rowsMoved, this, [this] { FFirstChangedRow = Full; });
        connect(model, &QAbstractItemModel::columnsMoved, this, [this] { FFirstChangedRow = Full; });
    }

protected:
    void doItemsLayout() override
    {
        const int first = std::exchange(FFirstChangedRow, None);
        if (first < 0) {
            QTableView::doItemsLayout();
            return;
        }
        FShownOffset = Offset();
        updateGeometries();
        // Removing rows turns the vertical header's updates off until the layout.
        if (!verticalHeader()->updatesEnabled())
            verticalHeader()->setUpdatesEnabled(true);
        // The cells moved without being scrolled on screen (a view at its end
        // keeps its last row at the bottom edge): what the screen shows is
        // moved along, as a scroll does.
        const QPoint moved = FShownOffset - Offset();
        if (!moved.isNull())
            viewport()->scroll(moved.x(), moved.y());
        const int top = first == 0 ? 0 : rowViewportPosition(first - 1) + rowHeight(first - 1);
        if (top < viewport()->height())
            viewport()->update(0, std::max(top, 0), viewport()->width(), viewport()->height() - std::max(top, 0));
    }

    // A scroll (the last rows gone from a view at its end) moves what the
    // screen shows along with the cells.
    void scrollContentsBy(int dx, int dy) override
    {
        QTableView::scrollContentsBy(dx, dy);
        FShownOffset = Offset();
    }

    // The view's focus decides only the colours of the selected cells: the
    // view repaints those, not every cell as Qt's item view does when the
    // focus goes to a cell's editor and back.
    void focusInEvent(QFocusEvent* event) override { WithSelectionRepainted([&] { QTableView::focusInEvent(event); }); }
    void focusOutEvent(QFocusEvent* event) override
    {
        WithSelectionRepainted([&] { QTableView::focusOutEvent(event); });
    }

private:
    static constexpr int None = -1;
    static constexpr int Full = -2;
    // Runs Qt's focus handler with the viewport's updates held off, so that its
    // update of every cell is dropped; what the handler may change besides
    // (the current cell on the first focus) is repainted with the selection.
    template <class F>
    void WithSelectionRepainted(F handleFocus)
    {
        QWidget* cells = viewport();
        const bool blocked = cells->testAttribute(Qt::WA_UpdatesDisabled);
        cells->setAttribute(Qt::WA_UpdatesDisabled, true);
        handleFocus();
        cells->setAttribute(Qt::WA_UpdatesDisabled, blocked);
        if (selectionModel()) {
            QRegion region = visualRegionForSelection(selectionModel()->selection());
            region += visualRect(currentIndex());
            cells->update(region);
        }
    }
    QPoint Offset() const { return {horizontalOffset(), verticalOffset()}; }
    // Where the cells were when the screen last showed them.
    QPoint FShownOffset;
    void RowsChanged(const QModelIndex& parent, int first, bool atEnd)
    {
        if (parent.isValid() || FFirstChangedRow == Full)
            return;
        if (!atEnd)
            FFirstChangedRow = Full;
        else
            FFirstChangedRow = FFirstChangedRow == None ? first : std::min(FFirstChangedRow, first);
    }
    // None: no pending change of rows; Full: the next layout repaints all;
    // otherwise the first row that came or went since the last layout.
    int FFirstChangedRow = Full;
};

} // namespace

QTableView* MakeGridView(const QString& name, QAbstractItemModel* model)
{
    QTableView* view = Named<TGridView>(name);
    view->setModel(model);
    view->setItemDelegate(new TGridCellDelegate(view));
    auto* style = new TGridStyle;
    style->setParent(view);
    view->setStyle(style);
    // A widget's style does not pass to its children.
    view->verticalScrollBar()->setStyle(style);
    view->horizontalScrollBar()->setStyle(style);
    // The view fills its own background: a repaint of its scroll bars (a change
    // of the row count) does not repaint the pages and frames beneath it.
    view->setAutoFillBackground(true);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    // Fixed sizes: the view never measures the cells' contents.
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setDefaultSectionSize(30);
    view->verticalHeader()->setDefaultSectionSize(18);
    view->horizontalHeader()->setMinimumSectionSize(10);
    view->verticalHeader()->setMinimumSectionSize(10);
    return view;
}
