#pragma once
// Rich text of the script as RTF: a reader and a writer on QTextDocument for what
// the text-attribute panel can set (font, size, colour, bold, italic, underline,
// strike-out, alignment, left/right/first-line indents, bullets).
//
// The writer speaks the dialect of the Windows rich-text control, so that shows
// stay readable by the original program:
//   {\rtf1\ansi\ansicpg1252\deff0\deflang1031{\fonttbl...}} CRLF {\colortbl ;...} CRLF
//   \viewkind4\uc1\pard ... \par CRLF ... } CRLF
// It is deterministic, and the reader is its exact inverse on what it writes:
// write, read, write gives the same bytes, and the paragraph count never grows.
//
// The reader is a single pass over the bytes without recursion: malformed data
// (unbalanced braces, endless control words, groups nested without end) loads
// what it can and reports one problem for the caller to log.
//
// Units: RTF counts indents in twips (1/20 point), the panel in points and the
// document in layout pixels at a fixed 96 per inch (1 pixel = 15 twips), so that
// every whole twip value survives a round trip exactly.

#include <QByteArray>
#include <QString>

#include <memory>

class QTextBlockFormat;
class QTextDocument;

struct TRtfLoadResult {
    bool WasRtf = false;   // false: the data was loaded as plain text
    QString Problem;       // empty when the data loaded cleanly, else one message for the log
    bool Ok() const { return Problem.isEmpty(); }
};

// True when data begins with "{\rtf".
bool IsRtfData(const QByteArray& data);

// Replaces doc's content with data: RTF when it begins with "{\rtf", else plain
// text (UTF-8 when valid, else Windows-1252; CR LF, LF or CR end a paragraph).
// Never throws; on malformed RTF the text read so far stays in doc.
TRtfLoadResult LoadRichText(QTextDocument& doc, const QByteArray& data);

// doc's content as RTF in the Windows control's dialect (no trailing NUL).
QByteArray SaveRichText(const QTextDocument& doc);

// What the writer reads of a document, in plain values that share nothing with
// it. Taking it walks the paragraphs and reads each format once, a fraction of
// the writing; the writing of a snapshot then runs on any thread while the
// document goes on changing. SaveRichText(doc) is EncodeRtf(*TakeRtfSnapshot(doc)).
struct TRtfSnapshot;
std::shared_ptr<const TRtfSnapshot> TakeRtfSnapshot(const QTextDocument& doc);
QByteArray EncodeRtf(const TRtfSnapshot& snapshot);

// Bulleted paragraphs. The bullet stands where the paragraph's first line begins
// (its left indent plus its first-line indent, never left of the editor's edge)
// and the text follows it: at the left indent when the first line hangs out far
// enough for the bullet (\fi-200\li200), else right behind the bullet. Qt draws
// a list item's bullet in front of where the first line's text begins, so the
// layout of such a paragraph takes as its first-line indent the place where the
// text begins; the paragraph's own first-line indent stays in the block format
// beside it, and that is the one the writer writes and the panel shows.

// The paragraph's own first-line indent in layout units, relative to its left indent.
double FirstLineIndent(const QTextBlockFormat& format);
// Sets format's own first-line indent; ArrangeBullets then places the text.
void SetFirstLineIndent(QTextBlockFormat& format, double indent);
// Places the first line of every paragraph between the positions from and to
// (their bullets, indents or fonts may have changed).
void ArrangeBullets(QTextDocument& doc, int from, int to);

// Length conversions shared by the reader, the writer and the panel.
double TwipsToLayout(int twips);
int LayoutToTwips(double layout);
double PointsToLayout(double points);
double LayoutToPoints(double layout);
