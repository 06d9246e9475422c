#include "cues/uRtf.h"

#include "cues/uRtfFormat.h"

#include "framework/uTextCodec.h"

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace RtfFormat;

namespace {

class TRtfOut {
public:
    QByteArray Bytes;

    void Word(const char* w)
    {
        Bytes += '\\';
        Bytes += w;
        FDelimit = true;
    }
    void Word(const char* w, int value)
    {
        Word(w);
        Bytes += QByteArray::number(value);
    }
    void Raw(const char* s)
    {
        Bytes += s;
        FDelimit = false;
    }
    void Text(QStringView text)
    {
        for (const QChar qc : text) {
            const char16_t u = qc.unicode();
            if (u == '\t') {
                Word("tab");
            } else if (u == 0x2028) {
                Word("line");
            } else if (u == 0x00A0) {
                Raw("\\~");
            } else if (u == '\\' || u == '{' || u == '}') {
                Bytes += '\\';
                Bytes += static_cast<char>(u);
                FDelimit = false;
            } else if (!IsTextChar(u)) {
                continue;
            } else if (u < 0x80) {
                if (FDelimit)
                    Bytes += ' ';
                Bytes += static_cast<char>(u);
                FDelimit = false;
            } else {
                QByteArray one;
                if (EncodeWindows1252(QString(qc), one)) {
                    static const char kHex[] = "0123456789abcdef";
                    const auto b = static_cast<unsigned char>(one.at(0));
                    Bytes += "\\'";
                    Bytes += kHex[b >> 4];
                    Bytes += kHex[b & 15];
                    FDelimit = false;
                } else {
                    Word("u", static_cast<qint16>(u));
                    Raw("?");
                }
            }
        }
    }

private:
    bool FDelimit = false;   // the last thing written was a control word
};

// The paragraph attributes of a block format; whether the paragraph is bulleted
// is the block's, not the format's.
TParaState ParaOf(const QTextBlockFormat& bf)
{
    TParaState p;
    const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter)
        p.Align = TAlign::Center;
    else if (a & Qt::AlignJustify)
        p.Align = TAlign::Justify;
    else if (a & Qt::AlignRight)
        p.Align = TAlign::Right;
    p.Left = LayoutToTwips(bf.leftMargin());
    p.Right = LayoutToTwips(bf.rightMargin());
    p.First = LayoutToTwips(FirstLineIndent(bf));
    return p;
}

// A font name as the font table can hold it: no ';' (it ends the entry), no tabs
// or line breaks, no blanks at the ends (the reader trims them).
QString CleanFontName(QString name)
{
    name.removeIf([](QChar c) {
        return c == QLatin1Char(';') || c == QLatin1Char('\t') || c == QChar(0x2028) || !IsTextChar(c.unicode());
    });
    return name.trimmed();
}

QString FamilyOf(const QTextCharFormat& f, const QString& fallback)
{
    const QStringList families = f.fontFamilies().toStringList();
    const QString name = families.isEmpty() ? QString() : CleanFontName(families.first());
    return name.isEmpty() ? fallback : name;
}

}   // namespace

// What the writer reads of a document, in plain values: the raw text, each
// format the document holds turned into the attributes the writer writes, and the
// paragraphs with their runs as formats and places in the text.
struct TRtfSnapshot {
    struct TChar {
        QString Family;   // the default family where the format names none
        bool HasColor = false;
        QRgb Color = 0;
        int HalfPoints = kDefaultHalfPoints;
        bool Bold = false;
        bool Italic = false;
        bool Underline = false;
        bool Strike = false;
    };
    struct TBlock {
        TParaState Para;
        qsizetype Runs = 0;   // its runs follow those of the blocks before it
    };
    struct TRun {
        int Format = 0;   // index into Chars
        int Position = 0;
        int Length = 0;
    };

    QString DefaultFamily;
    QString Text;
    std::vector<TChar> Chars;   // by format index, then one for an unknown index
    std::vector<TBlock> Blocks;
    std::vector<TRun> Runs;
};

std::shared_ptr<const TRtfSnapshot> TakeRtfSnapshot(const QTextDocument& doc)
{
    auto snapshot = std::make_shared<TRtfSnapshot>();
    TRtfSnapshot& s = *snapshot;
    s.DefaultFamily = CleanFontName(doc.defaultFont().family());
    if (s.DefaultFamily.isEmpty())
        s.DefaultFamily = QStringLiteral("Arial");
    double defaultSize = doc.defaultFont().pointSizeF();
    if (defaultSize <= 0)
        defaultSize = kDefaultHalfPoints / 2.0;

    const auto charOf = [&s, defaultSize](const QTextCharFormat& f) {
        TRtfSnapshot::TChar c;
        c.Family = FamilyOf(f, s.DefaultFamily);
        c.HasColor = f.foreground().style() != Qt::NoBrush;
        c.Color = c.HasColor ? f.foreground().color().rgb() : 0;
        const double size = f.fontPointSize() > 0 ? f.fontPointSize() : defaultSize;
        c.HalfPoints = std::clamp(static_cast<int>(std::lrint(size * 2)), 1, 3276);
        c.Bold = f.fontWeight() >= QFont::DemiBold;
        c.Italic = f.fontItalic();
        c.Underline = f.fontUnderline();
        c.Strike = f.fontStrikeOut();
        return c;
    };
    // Formats are few (a document keeps each distinct one once): each is read here
    // once, whatever number of runs uses it. One more entry, a plain format, stands
    // for an index the document does not know.
    const QList<QTextFormat> formats = doc.allFormats();
    const auto count = std::size_t(formats.size());
    s.Chars.reserve(count + 1);
    std::vector<TParaState> paras(count);
    for (std::size_t i = 0; i < count; ++i) {
        const QTextFormat& format = formats.at(qsizetype(i));
        if (format.isBlockFormat())
            paras[i] = ParaOf(format.toBlockFormat());
        s.Chars.push_back(charOf(format.toCharFormat()));
    }
    s.Chars.push_back(charOf(QTextCharFormat()));
    const auto known = [count](int index) { return index >= 0 && std::size_t(index) < count; };

    s.Text = doc.toRawText();
    s.Blocks.reserve(std::size_t(doc.blockCount()));
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        TRtfSnapshot::TBlock block;
        if (known(b.blockFormatIndex()))
            block.Para = paras[std::size_t(b.blockFormatIndex())];
        block.Para.Bullet = b.textList() != nullptr;
        // A block's runs lie one behind the other from its start.
        int position = b.position();
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int format = frag.charFormatIndex();
            s.Runs.push_back({known(format) ? format : int(count), position, frag.length()});
            position += frag.length();
            ++block.Runs;
        }
        s.Blocks.push_back(block);
    }
    return snapshot;
}

QByteArray EncodeRtf(const TRtfSnapshot& s)
{
    const auto charOf = [&s](const TRtfSnapshot::TRun& run) -> const TRtfSnapshot::TChar& {
        return s.Chars[std::size_t(run.Format)];
    };

    // Font and colour tables in the order of first use.
    QStringList fonts;
    QHash<QString, int> fontIndex;
    QList<QRgb> colors;
    QHash<QRgb, int> colorIndex;
    bool anyBullet = false;
    const auto fontOf = [&](const QString& family) {
        auto it = fontIndex.constFind(family);
        if (it != fontIndex.constEnd())
            return it.value();
        fonts << family;
        return *fontIndex.insert(family, int(fonts.size() - 1));
    };
    for (const TRtfSnapshot::TBlock& b : s.Blocks)
        anyBullet = anyBullet || b.Para.Bullet;
    for (const TRtfSnapshot::TRun& run : s.Runs) {
        const TRtfSnapshot::TChar& c = charOf(run);
        fontOf(c.Family);
        if (c.HasColor && !colorIndex.contains(c.Color)) {
            colors << c.Color;
            colorIndex.insert(c.Color, int(colors.size()));
        }
    }
    if (fonts.isEmpty())
        fontOf(s.DefaultFamily);
    const int symbolFont = anyBullet ? fontOf(QStringLiteral("Symbol")) : -1;

    TRtfOut out;
    out.Bytes.reserve(s.Text.size() + s.Text.size() / 4 + 256);
    out.Raw("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl");
    for (qsizetype i = 0; i < fonts.size(); ++i) {
        out.Raw("{");
        out.Word("f", int(i));
        out.Word("fnil");
        out.Word("fcharset", fonts[i] == QLatin1String("Symbol") ? 2 : 0);
        out.Text(fonts[i]);
        out.Raw(";}");
    }
    out.Raw("}\r\n");
    if (!colors.isEmpty()) {
        out.Raw("{\\colortbl ;");
        for (const QRgb c : colors) {
            out.Word("red", qRed(c));
            out.Word("green", qGreen(c));
            out.Word("blue", qBlue(c));
            out.Raw(";");
        }
        out.Raw("}\r\n");
    }
    out.Word("viewkind", 4);
    out.Word("uc", 1);

    const QByteArray symbol = QByteArray::number(symbolFont);
    TCharState state;
    state.Font = 0;
    TParaState para;
    bool first = true;
    bool pnWritten = false;
    std::size_t next = 0;
    for (const TRtfSnapshot::TBlock& b : s.Blocks) {
        const TParaState& p = b.Para;
        const bool changed = first || !(p == para);
        if (changed) {
            out.Word("pard");
            pnWritten = false;
        }
        if (p.Bullet) {
            out.Raw(("{\\pntext\\f" + symbol + "\\'B7\\tab}").constData());
            if (!pnWritten)
                out.Raw(("{\\*\\pn\\pnlvlblt\\pnf" + symbol + "\\pnindent0{\\pntxtb\\'B7}}").constData());
            pnWritten = true;
        }
        if (changed) {
            if (p.Align == TAlign::Center)
                out.Word("qc");
            else if (p.Align == TAlign::Right)
                out.Word("qr");
            else if (p.Align == TAlign::Justify)
                out.Word("qj");
            if (p.First != 0)
                out.Word("fi", p.First);
            if (p.Left != 0)
                out.Word("li", p.Left);
            if (p.Right != 0)
                out.Word("ri", p.Right);
        }
        para = p;
        first = false;

        for (qsizetype r = 0; r < b.Runs; ++r, ++next) {
            const TRtfSnapshot::TRun& run = s.Runs[next];
            const TRtfSnapshot::TChar& c = charOf(run);
            TCharState cs;
            cs.Font = fontIndex.value(c.Family);
            cs.HalfPoints = c.HalfPoints;
            cs.Color = c.HasColor ? colorIndex.value(c.Color) : 0;
            cs.Bold = c.Bold;
            cs.Italic = c.Italic;
            cs.Underline = c.Underline;
            cs.Strike = c.Strike;
            if (cs.Font != state.Font)
                out.Word("f", cs.Font);
            if (cs.HalfPoints != state.HalfPoints)
                out.Word("fs", cs.HalfPoints);
            if (cs.Color != state.Color)
                out.Word("cf", cs.Color);
            if (cs.Bold != state.Bold)
                cs.Bold ? out.Word("b") : out.Word("b", 0);
            if (cs.Italic != state.Italic)
                cs.Italic ? out.Word("i") : out.Word("i", 0);
            if (cs.Underline != state.Underline)
                cs.Underline ? out.Word("ul") : out.Word("ulnone");
            if (cs.Strike != state.Strike)
                cs.Strike ? out.Word("strike") : out.Word("strike", 0);
            state = cs;
            out.Text(QStringView(s.Text).mid(run.Position, run.Length));
        }
        out.Word("par");
        out.Raw("\r\n");
    }
    out.Raw("}\r\n");
    return out.Bytes;
}

QByteArray SaveRichText(const QTextDocument& doc)
{
    return EncodeRtf(*TakeRtfSnapshot(doc));
}
