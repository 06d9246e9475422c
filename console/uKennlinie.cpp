#include "console/uKennlinie.h"

#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int TableLast = 255;

// d + step when that is a DMX number, else d.
int NeighbourSlot(int d, int step)
{
    const int next = ClampInt(d, 0, DmxSlotCount + 1) + step;
    return TModulePatch::IsDmxNumber(next) ? next : d;
}

} // namespace

int GrabCurvePoint(const TKennlinienPunkte& points, int x, int y)
{
    int grabbed = -1;
    const std::int64_t level = std::int64_t(TableLast) - y;
    for (int j = 0; j < 5; ++j) {
        const QPoint& p = points[size_t(j)];
        if (std::llabs(std::int64_t(x) - p.x()) < CurvePointGrab && std::llabs(level - p.y()) < CurvePointGrab)
            grabbed = j;
    }
    return grabbed;
}

void DropCurvePoint(TKennlinienPunkte& points, int g, int x, int y)
{
    if (g < 0 || g > 4)
        return;
    points[size_t(g)] = QPoint(ClampInt(x, 0, TableLast), ClampInt(TableLast - ClampInt(y, 0, TableLast), 0, TableLast));
    points[0].setX(0);
    points[4].setX(TableLast);
    // Points 1 and 3 keep what they hold; values from a file may be anything,
    // so the pushes are computed without overflow.
    if (points[2].x() <= points[1].x())
        points[2].setX(points[1].x() < TableLast + 2 ? points[1].x() + 1 : TableLast + 2);
    if (points[3].x() <= points[2].x())
        points[3].setX(points[2].x() < TableLast + 3 ? points[2].x() + 1 : TableLast + 3);
}

void RebuildCurveTable(const TKennlinienPunkte& points, TKennlinienTabelle& table)
{
    for (int i = 1; i < 5; ++i) {
        const double x0 = points[size_t(i - 1)].x(), y0 = points[size_t(i - 1)].y();
        const double x1 = points[size_t(i)].x(), y1 = points[size_t(i)].y();
        if (x1 - x0 <= 0)
            continue;
        const double slope = (y1 - y0) / (x1 - x0);
        const double offset = y0 - x0 * slope;
        const int from = int(std::max(x0, 0.0));
        const int to = int(std::min(x1, double(TableLast)));
        for (int x = from; x <= to; ++x)
            table[size_t(x)] = std::uint8_t(ClampInt(RoundHalfEven(x * slope + offset), 0, TableLast));
    }
}

bool DrawCurvePixel(TKennlinienTabelle& table, int x, int y)
{
    if (!InRangeInt(x, 0, TableLast) || !InRangeInt(y, 0, TableLast))
        return false;
    table[size_t(x)] = std::uint8_t(TableLast - y);
    return true;
}

TCurveTableText CurveTableText(const TKennlinienTabelle& table, const TKennlinienPunkte& points)
{
    TCurveTableText content;
    content.Cells.reserve(256);
    for (std::uint8_t v : table)
        content.Cells << QString::number(v);
    content.Points = points;
    return content;
}

void ApplyCurveTableCells(const QStringList& cells, TKennlinienTabelle& table)
{
    for (int i = 0; i < 256 && i < cells.size(); ++i) {
        int v;
        if (TryDecimalToInt(cells.at(i), v) && InRangeInt(v, 0, TableLast))
            table[size_t(i)] = std::uint8_t(v);
    }
}

QStringList CurveTableLines(const TCurveTableText& content)
{
    QStringList lines;
    lines.reserve(256 + 10);
    for (int i = 0; i < 256; ++i) {
        // One string per line: the name on the stack, then the value.
        const TIniKey name("", i, "=");
        const QString value = OneLine(content.Cells.value(i));
        QString line;
        line.reserve(QStringView(name).size() + value.size());
        lines << line.append(QStringView(name)).append(value);
    }
    for (int j = 0; j < 5; ++j) {
        lines << QStringLiteral("SX_%1=%2").arg(j).arg(content.Points[size_t(j)].x());
        lines << QStringLiteral("SY_%1=%2").arg(j).arg(content.Points[size_t(j)].y());
    }
    return lines;
}

namespace {

// A cell's key is its number 0..255 as QString::number writes it: no sign, no
// leading zero, no blank inside.
bool CellKey(QStringView key, int& n)
{
    if (key.isEmpty() || key.size() > 3 || (key.size() > 1 && key.at(0) == u'0'))
        return false;
    n = 0;
    for (const QChar c : key) {
        if (c < u'0' || c > u'9')
            return false;
        n = n * 10 + (c.unicode() - '0');
    }
    return n <= 255;
}

char16_t UpperAsciiChar(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 'a' && u <= 'z' ? char16_t(u - ('a' - 'A')) : u;
}

} // namespace

TCurveTableText ParseCurveTableText(const QString& text)
{
    TCurveTableText content;
    content.Cells.resize(256);
    bool cellSeen[256] = {};
    bool pointSeen[2][5] = {};
    for (const QString& line : SplitLines(text)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        // Keys in any case of the ASCII letters, blanks around key and value cut.
        const QStringView key = TrimBlanksView(QStringView(line).left(eq));
        const QStringView value = TrimBlanksView(QStringView(line).mid(eq + 1));
        int n;
        // The first line of a name counts, as with any settings file.
        if (CellKey(key, n)) {
            if (!cellSeen[n]) {
                cellSeen[n] = true;
                content.Cells[n] = value.toString();
            }
            continue;
        }
        if (key.size() != 4 || UpperAsciiChar(key.at(0)) != u'S' || key.at(2) != u'_')
            continue;
        const char16_t name = UpperAsciiChar(key.at(1));
        const int axis = name == u'X' ? 0 : (name == u'Y' ? 1 : -1);
        const int j = key.at(3).unicode() - '0';
        if (axis < 0 || !InRangeInt(j, 0, 4) || pointSeen[axis][j])
            continue;
        pointSeen[axis][j] = true;
        const int v = StrToIntDef(value, 0);
        if (axis == 0)
            content.Points[size_t(j)].setX(v);
        else
            content.Points[size_t(j)].setY(v);
    }
    return content;
}

void WriteCurveTableFile(const QString& path, const TCurveTableText& content)
{
    WriteTextFileAtomic(path, CurveTableLines(content));
}

bool ReadCurveTableFile(const QString& path, TCurveTableText& content)
{
    QString text;
    if (!ReadTextFile(path, text))
        return false;
    content = ParseCurveTableText(text);
    return true;
}

bool PatchChannelQuickKey(QChar key, int c, int d, int& next, int& channel)
{
    int slotStep, channelStep;
    switch (key.unicode()) {
    case 'n': slotStep = 1; channelStep = 1; break;
    case 'g': slotStep = 1; channelStep = 0; break;
    case 'v': slotStep = 1; channelStep = -1; break;
    case 'N': slotStep = -1; channelStep = 1; break;
    case 'G': slotStep = -1; channelStep = 0; break;
    case 'V': slotStep = -1; channelStep = -1; break;
    default: return false;
    }
    next = NeighbourSlot(d, slotStep);
    channel = ClampInt(ClampInt(c, -1, PatchKanalMax + 1) + channelStep, 0, PatchKanalMax);
    return true;
}

bool PatchCurveQuickKey(QChar key, int d, int& next)
{
    const char16_t u = key.unicode();
    if (u == 'g' || u == 'n')
        next = NeighbourSlot(d, 1);
    else if (u == 'G' || u == 'N')
        next = NeighbourSlot(d, -1);
    else
        return false;
    return true;
}
