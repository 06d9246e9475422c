#include "console/uFaderStrip.h"

#include "console/uFader.h"
#include "console/uKanal.h"
#include "framework/uErrorLog.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QMetaObject>

#include <algorithm>

// ---------------------------------------------------------------------------
// TFaderStrip

QRegion RegionOfRects(std::vector<QRect>& rects)
{
    rects.erase(std::remove_if(rects.begin(), rects.end(), [](const QRect& r) { return r.isEmpty(); }), rects.end());
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() != b.left() ? a.left() < b.left() : a.height() < b.height();
    });
    rects.erase(std::unique(rects.begin(), rects.end()), rects.end());
    // Rows: the rects of a row share top and height and neither overlap nor
    // touch; a row starts below the one before it.
    bool rows = true;
    for (std::size_t i = 1; i < rects.size() && rows; ++i) {
        const QRect& r = rects[i];
        const QRect& before = rects[i - 1];
        rows = r.top() == before.top() ? r.height() == before.height() && r.left() > before.right() + 1
                                       : r.top() > before.bottom();
    }
    QRegion region;
    if (rows) {
        region.setRects(rects.data(), static_cast<int>(rects.size()));
    } else {
        for (const QRect& r : rects)
            region += r;
    }
    return region;
}

TFaderStrip::TFaderStrip(QWidget* view, std::vector<TFader*> faders)
    : QWidget(view), FView(view), FFaders(std::move(faders))
{
    setObjectName(QStringLiteral("FaderStrip"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    view->installEventFilter(this);
    for (TFader* f : FFaders) {
        f->installEventFilter(this);
        f->tbFader->installEventFilter(this);
        f->edtPegel->installEventFilter(this);
        f->tbFader->FStrip = this;
        f->edtPegel->FStrip = this;
    }
    setGeometry(view->rect());
    raise();
    UpdateMask();
}

void TFaderStrip::MaskChanged()
{
    FMaskStale = true;
    if (FMaskPosted)
        return;
    FMaskPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FMaskPosted = false;
            Guarded([this] { UpdateMask(); });
        },
        Qt::QueuedConnection);
}

void TFaderStrip::UpdateMask()
{
    if (!FMaskStale)
        return;
    FMaskStale = false;
    FRows.clear();

    // The parts of the visible faders, by row: parts of the same kind, top and height.
    std::vector<TPart> parts;
    std::vector<QRect> faders;   // of the visible faders
    std::vector<QRect> live;     // level fields being edited, other widgets
    for (TFader* f : FFaders) {
        if (f->isHidden())
            continue;
        faders.push_back(f->geometry());
        parts.push_back({f->tbFader->geometry().translated(f->pos()), f->tbFader, true});
        const QRect field = f->edtPegel->geometry().translated(f->pos());
        if (f->edtPegel->Live())
            live.push_back(field);
        else
            parts.push_back({field, f->edtPegel, false});
    }
    // Anything else in the view is in the way, as a level field being edited is.
    for (QObject* o : FView->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w != this && !w->isHidden() && std::find(FFaders.begin(), FFaders.end(), w) == FFaders.end())
            live.push_back(w->geometry());
    }
    std::sort(parts.begin(), parts.end(), [](const TPart& a, const TPart& b) {
        return std::make_tuple(a.Bar, a.Area.top(), a.Area.height(), a.Area.left()) <
               std::make_tuple(b.Bar, b.Area.top(), b.Area.height(), b.Area.left());
    });

    // A row of parts becomes bands from part to part across the gaps between
    // them, which hold only the faders' background, unless a gap would cover
    // something else: a fader of another row or a level field being edited.
    for (std::size_t i = 0; i < parts.size();) {
        std::size_t end = i;
        while (end < parts.size() && parts[end].Bar == parts[i].Bar && parts[end].Area.top() == parts[i].Area.top() &&
               parts[end].Area.height() == parts[i].Area.height())
            ++end;
        const int top = parts[i].Area.top();
        const int bottom = parts[i].Area.bottom();
        std::vector<QRect> obstacles = live;
        for (const QRect& f : faders)
            if (f.top() <= bottom && f.bottom() >= top) {
                // A fader with a part in the row holds only background beside it.
                bool inRow = false;
                for (std::size_t k = i; k < end && !inRow; ++k)
                    inRow = f.contains(parts[k].Area);
                if (!inRow)
                    obstacles.push_back(f);
            }
        TRow row;
        for (std::size_t k = i; k < end; ++k) {
            const TPart& p = parts[k];
            if (!row.Parts.empty()) {
                const QRect joined = row.Band | p.Area;
                const bool free = std::none_of(obstacles.begin(), obstacles.end(),
                                               [&](const QRect& o) { return o.intersects(joined); });
                if (!free || p.Area.left() <= row.Band.right()) {
                    FRows.push_back(std::move(row));
                    row = TRow();
                }
            }
            row.Band = row.Parts.empty() ? p.Area : row.Band | p.Area;
            row.Parts.push_back(p);
        }
        if (!row.Parts.empty())
            FRows.push_back(std::move(row));
        i = end;
    }

    std::vector<QRect> bands;
    for (const TRow& r : FRows)
        bands.push_back(r.Band);
    FMask = RegionOfRects(bands);
    // An empty mask would be no mask: the strip would cover the whole view.
    if (FMask.isEmpty()) {
        hide();
        return;
    }
    setMask(FMask);
    show();
}

void TFaderStrip::LiveChanged()
{
    FMaskStale = true;
    UpdateMask();
}

bool TFaderStrip::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == FView) {
            resize(FView->size());
            break;
        }
        [[fallthrough]];
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched != FView)
            MaskChanged();
        break;
    default: break;
    }
    return false;
}

void TFaderStrip::Repaint(std::vector<QRect>& areas)
{
    UpdateMask();
    if (areas.empty())
        return;
    // The areas of a row that share top and height become one, across the
    // row: a region of few rectangles paints quickly, while one of a
    // rectangle per fader makes every picture drawn walk all of them.
    std::sort(areas.begin(), areas.end(), [](const QRect& a, const QRect& b) {
        return std::make_tuple(a.top(), a.height(), a.left()) < std::make_tuple(b.top(), b.height(), b.left());
    });
    std::size_t out = 0;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        if (out > 0 && areas[out - 1].top() == areas[i].top() && areas[out - 1].height() == areas[i].height())
            areas[out - 1] |= areas[i];
        else
            areas[out++] = areas[i];
    }
    areas.resize(out);
    update(RegionOfRects(areas) & FMask);
}

void TFaderStrip::RepaintPart(const QWidget* part, const QRect& area)
{
    UpdateMask();
    if (!area.isEmpty())
        update(area.translated(part->mapTo(FView, QPoint())));
}

void TFaderStrip::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QBrush& background = palette().brush(QPalette::Window);
    const QRegion& region = event->region();
    for (const QRect& r : region) {
        // Under a clip of one rectangle, pictures are copied row by row; under
        // the region's clip every row goes through the clip's spans.
        if (region.rectCount() > 1)
            painter.setClipRect(r);
        for (const TRow& row : FRows) {
            const QRect area = row.Band & r;
            if (area.isEmpty())
                continue;
            // The parts from left to right, the faders' background between them.
            int x = area.left();
            for (const TPart& p : row.Parts) {
                const QRect shown = p.Area & area;
                if (shown.isEmpty())
                    continue;
                if (shown.left() > x)
                    painter.fillRect(QRect(x, area.top(), shown.left() - x, area.height()), background);
                const QRect local = shown.translated(-p.Area.topLeft());
                if (p.Bar)
                    static_cast<TFaderTrackBar*>(p.Widget)->PaintArea(painter, local, p.Area.topLeft());
                else
                    static_cast<TLevelField*>(p.Widget)->PaintArea(painter, local, p.Area.topLeft());
                x = shown.right() + 1;
            }
            if (x <= area.right())
                painter.fillRect(QRect(x, area.top(), area.right() - x + 1, area.height()), background);
        }
    }
}

// ---------------------------------------------------------------------------
// TFaderRefresh

TFaderRefresh::TFaderRefresh(QWidget* view, std::vector<TFader*> faders)
    : QObject(view), FView(view), FFaders(std::move(faders)), FStrip(new TFaderStrip(view, FFaders))
{
    view->installEventFilter(this);
}

bool TFaderRefresh::Showing() const
{
    return FView->isVisible() && !FView->window()->isMinimized();
}

void TFaderRefresh::Changed()
{
    if (!FView->isVisible()) {
        FStale = true;
        return;
    }
    FChanged = true;
    if (FPosted)
        return;
    FPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FPosted = false;
            Guarded([this] { Flush(); });
        },
        Qt::QueuedConnection);
}

void TFaderRefresh::Flush()
{
    if (!FChanged && !FStale)
        return;
    if (!Showing()) {
        FStale = true;
        FChanged = false;
        return;
    }
    if (FStale) {
        RefreshAll();
        return;
    }
    FChanged = false;
    // The few rectangles that changed (the knobs' old and new places, the
    // bands' old and new tops, the level texts) are repainted by the strip,
    // in one pass.
    std::vector<QRect> dirty;
    for (TFader* f : FFaders)
        if (!f->isHidden())
            f->Refresh(&dirty);
    FStrip->Repaint(dirty);
}

void TFaderRefresh::ReformatAll()
{
    if (Showing())
        RefreshAll();
    else
        FStale = true;
}

void TFaderRefresh::RefreshAll()
{
    FChanged = FStale = false;
    for (TFader* f : FFaders)
        if (TKanal* k = f->Kanal()) {
            f->SetFaderPegel(k->Pegel);
            f->SetKanalPegel(k->Output);
        }
}

bool TFaderRefresh::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FView && event->type() == QEvent::Show && FStale)
        Guarded([this] { RefreshAll(); });
    return false;
}
