#pragma once
// The arithmetic of the curve editors and the curve table text file: five
// control points joined by straight segments, a table drawn freehand, and the
// 256 table entries with the points exchanged as "name=value" lines. Nothing
// here ever writes outside the 256-entry table, whatever the points hold.

#include "console/uMod_Patch.h"

#include <QChar>
#include <QString>
#include <QStringList>

// The grab radius around a control point, in table steps.
constexpr int CurvePointGrab = 4;

// The last point j with |x - x_j| < 4 and |(255 - y) - y_j| < 4 for the canvas
// pixel (x, y); -1 when none.
int GrabCurvePoint(const TKennlinienPunkte& points, int x, int y);
// Drops point g at the canvas pixel (x, y): clamped into 0..255, the end points
// back at x 0 and 255, points 2 and 3 pushed right of their left neighbour. The
// pushes may carry x_2 or x_3 past 255; the rebuild copes with that.
void DropCurvePoint(TKennlinienPunkte& points, int g, int x, int y);
// The table from the points: each segment a straight line, halves to even. A
// segment without width is skipped and no entry outside 0..255 is written;
// levels are clamped into 0..255.
void RebuildCurveTable(const TKennlinienPunkte& points, TKennlinienTabelle& table);
// Draw mode: entry x := 255 - y when the pixel lies on the canvas; false otherwise.
bool DrawCurvePixel(TKennlinienTabelle& table, int x, int y);

// The table dialog's content: the text of the 256 "Out" cells and the points.
struct TCurveTableText {
    QStringList Cells;   // 256 texts, entry i first
    TKennlinienPunkte Points{};
};
// The dialog's content for a table and its points.
TCurveTableText CurveTableText(const TKennlinienTabelle& table, const TKennlinienPunkte& points);
// Sets every entry whose cell reads as a whole number 0..255; other entries stay.
void ApplyCurveTableCells(const QStringList& cells, TKennlinienTabelle& table);

// The file's lines: "i=" and cell i for i = 0..255, then SX_j and SY_j for j = 0..4.
QStringList CurveTableLines(const TCurveTableText& content);
// Reads "name=value" lines: cell i := the value of name i (empty when missing),
// point j from SX_j and SY_j (0 when missing or malformed). Nothing else is used.
TCurveTableText ParseCurveTableText(const QString& text);
// Writes through a temporary file and a rename; EPvError on failure.
void WriteCurveTableFile(const QString& path, const TCurveTableText& content);
// False when the file cannot be read.
bool ReadCurveTableFile(const QString& path, TCurveTableText& content);

// A quick key typed into the console-channel edit of a patch window: with c the
// channel shown and d the selected slot, next is the slot to select (d when the
// step leaves 1..512) and channel what it gets (clamped to 0..510). False for
// any other key.
bool PatchChannelQuickKey(QChar key, int c, int d, int& next, int& channel);
// A quick key of the curve list: g/n the next slot, G/N the previous one (d
// when that leaves 1..512). False for any other key.
bool PatchCurveQuickKey(QChar key, int d, int& next);
