#include "cues/uRtf.h"

#include "cues/uRtfFormat.h"

#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <QFontMetricsF>
#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

using namespace RtfFormat;

double TwipsToLayout(int twips)
{
    return twips / 15.0;
}
int LayoutToTwips(double layout)
{
    return static_cast<int>(std::lrint(layout * 15.0));
}
double PointsToLayout(double points)
{
    return points * 4.0 / 3.0;
}
double LayoutToPoints(double layout)
{
    return layout * 0.75;
}

bool IsRtfData(const QByteArray& data)
{
    return data.startsWith("{\\rtf");
}

namespace {

// The block-format property that holds a bulleted paragraph's own first-line
// indent while its layout's first-line indent makes room for the bullet.
constexpr int FirstLineIndentProperty = QTextFormat::UserProperty + 1;

// The width that Qt's bullet takes in front of the text: a blank and a disc of a
// third of the line spacing, in the font of the paragraph's mark; one more for
// rounding.
double BulletRoom(const QTextBlock& block)
{
    const QFontMetricsF metrics(block.charFormat().font());
    return metrics.horizontalAdvance(QLatin1Char(' ')) + std::ceil(metrics.lineSpacing() / 3.0) + 1.0;
}

}   // namespace

double FirstLineIndent(const QTextBlockFormat& format)
{
    return format.hasProperty(FirstLineIndentProperty) ? format.doubleProperty(FirstLineIndentProperty)
                                                       : format.textIndent();
}

void SetFirstLineIndent(QTextBlockFormat& format, double indent)
{
    format.setTextIndent(indent);
    format.setProperty(FirstLineIndentProperty, indent);
}

void ArrangeBullets(QTextDocument& doc, int from, int to)
{
    const QTextBlock last = doc.findBlock(std::max(from, to));
    for (QTextBlock b = doc.findBlock(std::min(from, to)); b.isValid(); b = b.next()) {
        const QTextBlockFormat format = b.blockFormat();
        const double first = FirstLineIndent(format);
        QTextBlockFormat arranged = format;
        if (b.textList()) {
            // The bullet takes the font and colour of the paragraph's first
            // character, as its text begins.
            if (const QTextBlock::iterator it = b.begin(); !it.atEnd()) {
                const QTextCharFormat lead = it.fragment().charFormat();
                if (lead != b.charFormat())
                    QTextCursor(b).setBlockCharFormat(lead);
            }
            const double left = format.leftMargin();
            const double bullet = std::max(0.0, left + first);
            arranged.setProperty(FirstLineIndentProperty, first);
            arranged.setTextIndent(std::max(left, bullet + BulletRoom(b)) - left);
        } else {
            arranged.clearProperty(FirstLineIndentProperty);
            arranged.setTextIndent(first);
        }
        if (arranged != format)
            QTextCursor(b).setBlockFormat(arranged);
        if (b == last)
            break;
    }
}

namespace {

// Groups deeper than this keep the state of the last level and their content is
// dropped; the braces are still counted so that the rest of the text reads.
constexpr int kMaxDepth = 256;
// Control words are at most 32 letters; longer ones are malformed.
constexpr qsizetype kMaxWordLength = 32;

const std::array<char16_t, 256>& Cp1252Table()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = static_cast<char>(i);
        const QString s = DecodeWindows1252(all);
        for (int i = 0; i < 256; ++i)
            t[i] = s.at(i).unicode();
        return t;
    }();
    return table;
}

// The character of \uN: N is a signed 16-bit number; anything outside that range
// is no character.
char16_t UnicodeOf(int n)
{
    if (n < -32768 || n > 65535)
        return 0xFFFD;
    return static_cast<char16_t>(n < 0 ? n + 65536 : n);
}

// ---------------------------------------------------------------- reader

enum class TDest : quint8 { Text, Skip, FontTable, ColorTable, Pn };

struct TGroup {
    TCharState Char;
    int Uc = 1;
    TDest Dest = TDest::Text;
};

struct TRun {
    TCharState Char;
    QString Text;
};

struct TPara {
    TParaState Para;
    std::vector<TRun> Runs;
};

// Destinations whose content is not text of the document.
bool IsSkippedDestination(QByteArrayView w)
{
    static const char* const kWords[] = {"stylesheet",   "info",
                                         "pict",         "object",
                                         "objdata",      "pntext",
                                         "listtext",     "header",
                                         "headerl",      "headerr",
                                         "headerf",      "footer",
                                         "footerl",      "footerr",
                                         "footerf",      "footnote",
                                         "annotation",   "fldinst",
                                         "xe",           "tc",
                                         "txe",          "rxe",
                                         "themedata",    "colorschememapping",
                                         "latentstyles", "datastore",
                                         "listtable",    "listoverridetable",
                                         "rsidtbl",      "generator",
                                         "author",       "operator",
                                         "title",        "subject",
                                         "keywords",     "comment",
                                         "doccomm",      "nonshppict",
                                         "shpinst",      "sp",
                                         "sn",           "sv",
                                         "bkmkstart",    "bkmkend",
                                         "revtbl",       "filetbl",
                                         "xmlnstbl",     "mmathPr",
                                         "pnseclvl",     "atnid",
                                         "atnauthor",    "private",
                                         "userprops",    "template",
                                         "buptim",       "creatim",
                                         "revtim",       "printim",
                                         "fchars",       "lchars",
                                         "pgdsctbl",     "wgrffmtfilter",
                                         "background",   "shp"};
    for (const char* k : kWords)
        if (w == QByteArrayView(k))
            return true;
    return false;
}

class TRtfReader {
public:
    explicit TRtfReader(const QByteArray& data) : FData(data.constData()), FSize(data.size()) {}

    void Parse();
    void Build(QTextDocument& doc) const;
    QString Problem() const { return FProblem; }

private:
    const char* FData;
    qsizetype FSize;
    qsizetype FPos = 0;
    std::vector<TGroup> FStack;
    int FOverflow = 0;    // groups opened beyond kMaxDepth
    int FSkipChars = 0;   // fallback characters still to drop after \u
    bool FStarPending = false;
    bool FGroupStart = false;   // nothing but \* read since the last '{'
    int FDefaultFont = 0;
    QHash<int, QString> FFonts;
    int FFontNumber = -1;   // font table entry being read
    QString FFontName;
    std::vector<QColor> FColors;   // invalid colour: automatic
    int FRed = -1, FGreen = -1, FBlue = -1;
    TParaState FPara;
    TPara FCurrent;
    std::vector<TPara> FParas;
    QString FProblem;

    void Report(const QString& problem)
    {
        if (FProblem.isEmpty())
            FProblem = problem;
    }
    TGroup& Top() { return FStack.back(); }
    void OpenGroup();
    bool CloseGroup();   // true when the outermost group closed
    void Control();
    void Word(QByteArrayView w, bool hasParam, int param);
    void Byte(unsigned char b);
    void Char(char16_t u);
    void Par();
    void CommitFont();
    void CommitColor();
};

void TRtfReader::Parse()
{
    while (FPos < FSize) {
        const char c = FData[FPos++];
        if (c == '{') {
            OpenGroup();
        } else if (c == '}') {
            if (CloseGroup())
                break;
        } else if (c == '\\') {
            Control();
        } else if (c != '\r' && c != '\n') {
            Byte(static_cast<unsigned char>(c));
        }
    }
    if (!FStack.empty() || FOverflow > 0)
        Report(QStringLiteral("RTF-Text unvollständig: schließende Klammern fehlen."));
    for (qsizetype i = FPos; i < FSize; ++i) {
        const char c = FData[i];
        if (c != '\0' && c != '\r' && c != '\n' && c != ' ' && c != '\t') {
            Report(QStringLiteral("RTF-Text: Daten nach dem Ende werden übergangen."));
            break;
        }
    }
    // The last \par ends the last paragraph: what follows it is a paragraph
    // only when it holds text.
    bool hasText = false;
    for (const TRun& r : FCurrent.Runs)
        hasText = hasText || !r.Text.isEmpty();
    if (hasText) {
        FCurrent.Para = FPara;
        FParas.push_back(std::move(FCurrent));
    }
}

void TRtfReader::OpenGroup()
{
    FSkipChars = 0;
    FStarPending = false;
    FGroupStart = true;
    if (FOverflow > 0 || static_cast<int>(FStack.size()) >= kMaxDepth) {
        ++FOverflow;
        Report(QStringLiteral("RTF-Text zu tief verschachtelt; innere Gruppen werden übergangen."));
        return;
    }
    FStack.push_back(FStack.empty() ? TGroup() : FStack.back());
}

bool TRtfReader::CloseGroup()
{
    FSkipChars = 0;
    FStarPending = false;
    if (FOverflow > 0) {
        --FOverflow;
        return false;
    }
    if (FStack.empty())
        return true;
    if (Top().Dest == TDest::FontTable)
        CommitFont();
    FStack.pop_back();
    return FStack.empty();
}

void TRtfReader::Control()
{
    if (FPos >= FSize) {
        Report(QStringLiteral("RTF-Text endet mitten in einem Steuerwort."));
        return;
    }
    const char c = FData[FPos];
    const auto isLetter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    const auto isDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (isLetter(c)) {
        const qsizetype start = FPos;
        while (FPos < FSize && isLetter(FData[FPos]))
            ++FPos;
        const qsizetype length = FPos - start;
        bool negative = false;
        if (FPos + 1 < FSize && FData[FPos] == '-' && isDigit(FData[FPos + 1])) {
            negative = true;
            ++FPos;
        }
        bool hasParam = false;
        long long value = 0;
        while (FPos < FSize && isDigit(FData[FPos])) {
            if (value < 100000000)
                value = value * 10 + (FData[FPos] - '0');
            hasParam = true;
            ++FPos;
        }
        if (FPos < FSize && FData[FPos] == ' ')
            ++FPos;
        if (length > kMaxWordLength) {
            Report(QStringLiteral("RTF-Text: überlanges Steuerwort übergangen."));
            if (FSkipChars > 0)
                --FSkipChars;
            return;
        }
        Word(QByteArrayView(FData + start, length), hasParam, static_cast<int>(negative ? -value : value));
        return;
    }
    ++FPos;
    switch (c) {
    case '\'': {
        const auto hex = [](char ch) { return HexDigitOrMinus1(QLatin1Char(ch)); };
        const int hi = FPos < FSize ? hex(FData[FPos]) : -1;
        const int lo = FPos + 1 < FSize ? hex(FData[FPos + 1]) : -1;
        if (hi < 0 || lo < 0) {
            Report(QStringLiteral("RTF-Text: unvollständiges Zeichen \\'."));
            if (hi >= 0)
                ++FPos;
            return;
        }
        FPos += 2;
        Byte(static_cast<unsigned char>(hi * 16 + lo));
        return;
    }
    case '\\':
    case '{':
    case '}': Char(static_cast<char16_t>(c)); return;
    case '~': Char(0x00A0); return;
    case '_': Char(0x2011); return;
    case '*':   // marks a destination only at the start of a group
        FStarPending = FGroupStart;
        return;
    case '\r':
    case '\n': Word("par", false, 0); return;
    default:   // \- \| \: and unknown symbols: nothing, but they count as a fallback character
        FGroupStart = false;
        if (FSkipChars > 0)
            --FSkipChars;
        return;
    }
}

void TRtfReader::Word(QByteArrayView w, bool hasParam, int param)
{
    if (w == "bin") {   // binary data: skipped wherever it stands
        if (hasParam && param > 0)
            FPos += std::min<qsizetype>(param, FSize - FPos);
        return;
    }
    // A destination word counts only as the first word of its group.
    const bool groupStart = FGroupStart;
    FGroupStart = false;
    if (FOverflow > 0 || FStack.empty())
        return;
    TGroup& g = Top();
    if (FStarPending) {
        FStarPending = false;
        g.Dest = (w == "pn" && g.Dest == TDest::Text) ? TDest::Pn : TDest::Skip;
        return;
    }
    if (FSkipChars > 0) {
        --FSkipChars;
        return;
    }
    const bool on = !hasParam || param != 0;
    switch (g.Dest) {
    case TDest::Skip: return;
    case TDest::FontTable:
        if (w == "f" && hasParam) {
            CommitFont();
            FFontNumber = param;
        } else if (w == "u" && hasParam) {
            FFontName += QChar(UnicodeOf(param));
            FSkipChars = g.Uc;
        } else if (groupStart && IsSkippedDestination(w)) {
            g.Dest = TDest::Skip;
        }
        return;
    case TDest::ColorTable:
        if (w == "red")
            FRed = std::clamp(param, 0, 255);
        else if (w == "green")
            FGreen = std::clamp(param, 0, 255);
        else if (w == "blue")
            FBlue = std::clamp(param, 0, 255);
        return;
    case TDest::Pn:
        if (w == "pnlvlblt" || w == "pnlvlbody" || w == "pnlvlcont")
            FPara.Bullet = true;
        return;
    case TDest::Text: break;
    }
    TCharState& ch = g.Char;
    if (w == "par" || w == "sect" || w == "page") {
        Par();
    } else if (w == "line") {
        Char(0x2028);
    } else if (w == "tab") {
        Char('\t');
    } else if (w == "pard") {
        FPara = TParaState();
    } else if (w == "ql") {
        FPara.Align = TAlign::Left;
    } else if (w == "qc") {
        FPara.Align = TAlign::Center;
    } else if (w == "qr") {
        FPara.Align = TAlign::Right;
    } else if (w == "qj") {
        FPara.Align = TAlign::Justify;
    } else if (w == "li") {
        FPara.Left = param;
    } else if (w == "ri") {
        FPara.Right = param;
    } else if (w == "fi") {
        FPara.First = param;
    } else if (w == "ls") {
        FPara.Bullet = param > 0;
    } else if (w == "plain") {
        ch = TCharState();
    } else if (w == "b") {
        ch.Bold = on;
    } else if (w == "i") {
        ch.Italic = on;
    } else if (w == "strike") {
        ch.Strike = on;
    } else if (w == "ulnone") {
        ch.Underline = false;
    } else if (w.startsWith("ul") && w != "ulc") {
        ch.Underline = on;
    } else if (w == "f") {
        ch.Font = hasParam ? param : -1;
    } else if (w == "fs") {
        ch.HalfPoints = hasParam && param > 0 ? std::min(param, 3276) : kDefaultHalfPoints;
    } else if (w == "cf") {
        ch.Color = std::max(param, 0);
    } else if (w == "uc") {
        g.Uc = std::clamp(param, 0, 16);
    } else if (w == "u" && hasParam) {
        Char(UnicodeOf(param));
        FSkipChars = g.Uc;
    } else if (w == "ansicpg") {
        // Windows-1252 is the one code page this reader knows; other text still
        // loads, read as Windows-1252, and the caller learns why umlauts may be off.
        if (param != 1252)
            Report(QStringLiteral("RTF-Text: Codepage %1 wird als Windows-1252 gelesen.").arg(param));
    } else if (w == "deff") {
        FDefaultFont = param;
    } else if (groupStart && w == "fonttbl") {
        g.Dest = TDest::FontTable;
    } else if (groupStart && w == "colortbl") {
        g.Dest = TDest::ColorTable;
    } else if (groupStart && w == "pn") {
        g.Dest = TDest::Pn;
    } else if (groupStart && IsSkippedDestination(w)) {
        g.Dest = TDest::Skip;
    } else if (w == "lquote") {
        Char(0x2018);
    } else if (w == "rquote") {
        Char(0x2019);
    } else if (w == "ldblquote") {
        Char(0x201C);
    } else if (w == "rdblquote") {
        Char(0x201D);
    } else if (w == "bullet") {
        Char(0x2022);
    } else if (w == "endash") {
        Char(0x2013);
    } else if (w == "emdash") {
        Char(0x2014);
    } else if (w == "enspace") {
        Char(0x2002);
    } else if (w == "emspace") {
        Char(0x2003);
    }
    // Every other word (\rtf, \ansi, \ansicpg, \deflang, \viewkind, \lang, ...) changes nothing here.
}

void TRtfReader::Byte(unsigned char b)
{
    FGroupStart = false;
    if (FOverflow > 0 || FStack.empty())
        return;
    if (FStarPending) {
        FStarPending = false;
        Top().Dest = TDest::Skip;
        return;
    }
    if (FSkipChars > 0) {
        --FSkipChars;
        return;
    }
    switch (Top().Dest) {
    case TDest::FontTable:
        if (b == ';')
            CommitFont();
        else
            FFontName += QChar(Cp1252Table()[b]);
        return;
    case TDest::ColorTable:
        if (b == ';')
            CommitColor();
        return;
    case TDest::Text: Char(Cp1252Table()[b]); return;
    default: return;
    }
}

void TRtfReader::Char(char16_t u)
{
    FGroupStart = false;
    if (FOverflow > 0 || FStack.empty())
        return;
    if (FSkipChars > 0) {
        --FSkipChars;
        return;
    }
    if (Top().Dest == TDest::FontTable) {
        FFontName += QChar(u);
        return;
    }
    if (Top().Dest != TDest::Text)
        return;
    if (u == 0x2029) {
        Par();
        return;
    }
    if (!IsTextChar(u))
        return;
    const TCharState& ch = Top().Char;
    if (FCurrent.Runs.empty() || !(FCurrent.Runs.back().Char == ch))
        FCurrent.Runs.push_back({ch, {}});
    FCurrent.Runs.back().Text += QChar(u);
}

void TRtfReader::Par()
{
    FCurrent.Para = FPara;
    FParas.push_back(std::move(FCurrent));
    FCurrent = TPara();
}

void TRtfReader::CommitFont()
{
    if (FFontNumber >= 0) {
        const QString name = FFontName.trimmed();
        if (!name.isEmpty() && !FFonts.contains(FFontNumber))
            FFonts.insert(FFontNumber, name);
    }
    FFontNumber = -1;
    FFontName.clear();
}

void TRtfReader::CommitColor()
{
    if (FRed < 0 && FGreen < 0 && FBlue < 0)
        FColors.emplace_back();
    else
        FColors.emplace_back(std::max(FRed, 0), std::max(FGreen, 0), std::max(FBlue, 0));
    FRed = FGreen = FBlue = -1;
}

void TRtfReader::Build(QTextDocument& doc) const
{
    const QString defaultFont = FFonts.value(FDefaultFont);
    if (!defaultFont.isEmpty()) {
        QFont f = doc.defaultFont();
        f.setFamilies({defaultFont});
        doc.setDefaultFont(f);
    }
    doc.clear();
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    QTextList* list = nullptr;
    bool first = true;
    for (const TPara& para : FParas) {
        QTextBlockFormat bf;
        switch (para.Para.Align) {
        case TAlign::Left: bf.setAlignment(Qt::AlignLeft); break;
        case TAlign::Center: bf.setAlignment(Qt::AlignHCenter); break;
        case TAlign::Right: bf.setAlignment(Qt::AlignRight); break;
        case TAlign::Justify: bf.setAlignment(Qt::AlignJustify); break;
        }
        bf.setLeftMargin(TwipsToLayout(para.Para.Left));
        bf.setRightMargin(TwipsToLayout(para.Para.Right));
        bf.setTextIndent(TwipsToLayout(para.Para.First));
        if (first)
            cursor.setBlockFormat(bf);
        else
            cursor.insertBlock(bf, QTextCharFormat());
        first = false;
        if (para.Para.Bullet) {
            if (list) {
                list->add(cursor.block());
            } else {
                QTextListFormat lf;
                lf.setStyle(QTextListFormat::ListDisc);
                lf.setIndent(0);
                list = cursor.createList(lf);
            }
        } else {
            list = nullptr;
        }
        for (const TRun& run : para.Runs) {
            QTextCharFormat cf;
            const QString family = FFonts.value(run.Char.Font < 0 ? FDefaultFont : run.Char.Font, defaultFont);
            if (!family.isEmpty())
                cf.setFontFamilies(QStringList{family});
            cf.setFontPointSize(run.Char.HalfPoints / 2.0);
            cf.setFontWeight(run.Char.Bold ? QFont::Bold : QFont::Normal);
            cf.setFontItalic(run.Char.Italic);
            cf.setFontUnderline(run.Char.Underline);
            cf.setFontStrikeOut(run.Char.Strike);
            if (run.Char.Color > 0 && run.Char.Color < static_cast<int>(FColors.size()) &&
                FColors[run.Char.Color].isValid())
                cf.setForeground(FColors[run.Char.Color]);
            cursor.insertText(run.Text, cf);
        }
    }
    ArrangeBullets(doc, 0, doc.characterCount() - 1);
    cursor.endEditBlock();
}

void LoadPlainText(QTextDocument& doc, const QByteArray& data)
{
    const QStringList lines = SplitLines(DecodeText(data));
    doc.clear();
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        QString line = lines[i];
        line.removeIf([](QChar c) { return !IsTextChar(c.unicode()); });
        cursor.insertText(line);
    }
    cursor.endEditBlock();
}

}   // namespace

TRtfLoadResult LoadRichText(QTextDocument& doc, const QByteArray& data)
{
    TRtfLoadResult result;
    if (!IsRtfData(data)) {
        LoadPlainText(doc, data);
        return result;
    }
    result.WasRtf = true;
    TRtfReader reader(data);
    reader.Parse();
    reader.Build(doc);
    result.Problem = reader.Problem();
    return result;
}
