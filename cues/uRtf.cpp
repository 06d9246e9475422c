#include "cues/uRtf.h"

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
constexpr int kDefaultHalfPoints = 24;   // 12 points when \fs is absent

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

// A character that the text may hold: no control characters except the tab,
// no object replacement and no frame markers of the document.
bool IsTextChar(char16_t u)
{
    if (u < 0x20)
        return u == '\t';
    return u != 0xFFFC && u != 0xFDD0 && u != 0xFDD1 && u != 0x2029 && u != 0x7F;
}

// The character of \uN: N is a signed 16-bit number; anything outside that range
// is no character.
char16_t UnicodeOf(int n)
{
    if (n < -32768 || n > 65535)
        return 0xFFFD;
    return static_cast<char16_t>(n < 0 ? n + 65536 : n);
}

enum class TAlign : quint8 { Left, Center, Right, Justify };

struct TCharState {
    int Font = -1;   // index into the font table; -1: \deff
    int HalfPoints = kDefaultHalfPoints;
    int Color = 0;   // index into the colour table; 0: automatic
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    bool operator==(const TCharState&) const = default;
};

struct TParaState {
    TAlign Align = TAlign::Left;
    int Left = 0;   // twips
    int Right = 0;
    int First = 0;   // first line, relative to Left
    bool Bullet = false;
    bool operator==(const TParaState&) const = default;
};

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

// ---------------------------------------------------------------- writer

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
