// The curve table text file of the curve editor's table dialog: read as name=value
// lines, the cells applied to a table and the points rebuilt into it (points
// from a file may hold anything); what is written back reads back the same.

#include "FuzzEngine.h"

#include "console/uKennlinie.h"
#include "framework/uTextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    const TCurveTableText content = ParseCurveTableText(DecodeText(FuzzBytes(data, size)));
    if (content.Cells.size() != 256)
        std::abort();
    TKennlinienTabelle table = TKennlinie().Tabelle;
    ApplyCurveTableCells(content.Cells, table);
    RebuildCurveTable(content.Points, table);
    TKennlinienPunkte points = content.Points;
    DropCurvePoint(points, int(size % 5), points[1].x(), points[3].y());
    RebuildCurveTable(points, table);

    const TCurveTableText again = ParseCurveTableText(JoinLinesCrLf(CurveTableLines(content)));
    if (again.Cells != content.Cells || again.Points != content.Points)
        std::abort();
    return 0;
}
