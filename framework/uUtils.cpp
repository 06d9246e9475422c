#include "framework/uUtils.h"

#include "framework/uErrors.h"
#include "framework/uStringIniFile.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

// ---------------------------------------------------------------------------
// Hexadecimal helpers and the level codec

int HexDigitOrMinus1(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

int HexDigitValue(QChar c)
{
    const int d = HexDigitOrMinus1(c);
    if (d < 0)
        throw EPvError(QStringLiteral("\"") + c + QStringLiteral("\" ist kein hexadezimales Zeichen."));
    return d;
}

std::uint32_t HexToInt(const QString& text)
{
    if (text.size() > 8)
        throw EPvError(QStringLiteral("String \"") + text + QStringLiteral("\" ist zu lang."));
    std::uint32_t value = 0;
    for (const QChar c : text)
        value = value * 16u + static_cast<std::uint32_t>(HexDigitValue(c));
    return value;
}

namespace {

// The two hex digits at pos (both present), read as HexToInt reads them, without
// a copy of the two characters: a level text holds hundreds of them.
int HexByte(const QString& text, qsizetype pos)
{
    // A table for the digits a show holds; anything else goes the long way, which
    // raises the error for the first bad character.
    static constexpr auto Digits = [] {
        std::array<std::int8_t, 128> t{};
        for (auto& d : t)
            d = -1;
        for (int c = '0'; c <= '9'; ++c)
            t[std::size_t(c)] = std::int8_t(c - '0');
        for (int c = 'A'; c <= 'F'; ++c)
            t[std::size_t(c)] = t[std::size_t(c - 'A' + 'a')] = std::int8_t(c - 'A' + 10);
        return t;
    }();
    const char16_t* d = reinterpret_cast<const char16_t*>(text.constData()) + pos;
    if (d[0] < 128 && d[1] < 128) {
        const int high = Digits[d[0]];
        const int low = Digits[d[1]];
        if ((high | low) >= 0)
            return high * 16 + low;
    }
    const int high = HexDigitValue(text.at(pos));
    return high * 16 + HexDigitValue(text.at(pos + 1));
}

// The byte whose two digits start at the 0-based index pos; a byte that the text
// does not hold completely counts as 0 (fault fix: never read past the text).
int ByteAt(const QString& text, qsizetype pos)
{
    if (pos < 0 || pos + 2 > text.size())
        return 0;
    return HexByte(text, pos);
}

} // namespace

QString EncodeLevels(const TLevelArray& L, QStringView prefix)
{
    // Written into a byte buffer and converted once: a large show holds some ten
    // thousand level texts, and appending to a QString digit by digit costs more
    // than the encoding itself. Every group covers at least one level and costs
    // at most one byte more than it covers, so the text holds at most two bytes
    // per level and a header for the rest, two digits each.
    constexpr std::size_t Capacity = 2 * (2 * LevelArrayMax + 2);
    std::array<char, Capacity> out;
    std::size_t size = 0;
    const auto hex = [&out, &size](unsigned value) {
        static const char digits[] = "0123456789ABCDEF";
        out[size++] = digits[(value >> 4) & 0x0F];
        out[size++] = digits[value & 0x0F];
    };
    int i = 1;
    int j = 2;
    int total = 0;
    while (j <= LevelArrayMax) {
        if (L[j] == L[i]) {
            // A run of equal levels (2..127).
            while (j - i < 127 && j <= LevelArrayMax && L[j] == L[j - 1])
                ++j;
            hex(0x80u + static_cast<unsigned>(j - i));
            hex(L[i]);
            total += j - i;
            i = j;
        } else {
            // Literals (1..126); L[j-1] is left to start the next group.
            while (j - i < 127 && j <= LevelArrayMax && L[j] != L[j - 1])
                ++j;
            const int n = j - i - 1;
            hex(static_cast<unsigned>(n));
            for (int k = i; k < i + n; ++k)
                hex(L[k]);
            total += n;
            i = j - 1;
        }
        j = i + 1;
    }
    if (total < LevelArrayMax) {
        hex(static_cast<unsigned>(LevelArrayMax - total));
        for (int k = total + 1; k <= LevelArrayMax; ++k)
            hex(L[k]);
    }
    QString text;
    text.reserve(prefix.size() + static_cast<qsizetype>(size));
    text.append(prefix).append(QLatin1StringView(out.data(), static_cast<qsizetype>(size)));
    return text;
}

bool DecodeLevels(const QString& text, TLevelArray& levels)
{
    levels.fill(0);
    bool result = false;
    qsizetype pos = 0;   // 0-based index of the next group header
    int k = 1;           // next channel
    // "While the text is longer than pos" (1-based): both header digits are present.
    while (text.size() > pos + 1) {
        const int c = HexByte(text, pos);
        const int n = c % 128;
        result = true;
        if (c < 128) {
            for (int m = 0; m < n; ++m) {
                const int value = ByteAt(text, pos + 2 + 2 * m);
                if (k + m <= LevelArrayMax)
                    levels[k + m] = static_cast<std::uint8_t>(value);
            }
            pos += 2 * n + 2;
        } else {
            const int value = ByteAt(text, pos + 2);
            for (int m = 0; m < n && k + m <= LevelArrayMax; ++m)
                levels[k + m] = static_cast<std::uint8_t>(value);
            pos += 4;
        }
        if (k <= LevelArrayMax)
            k += n;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Line lists inside one INI value, fields, small texts

QString JoinStrings(const QStringList& lines, QChar separator)
{
    QString out;
    for (const QString& line : lines) {
        out += line;
        out += separator;
    }
    return out;
}

QString ReplaceCharByCrLf(const QString& text, QChar separator)
{
    QString out = text;
    out.replace(separator, QStringLiteral("\r\n"));
    return out;
}

int TakeIntField(QString& text, int def)
{
    const qsizetype p = text.indexOf(QLatin1Char(';'));
    if (p < 0)
        return def;
    const int value = StrToIntDef(QStringView(text).left(p), def);
    text.remove(0, p + 1);
    return value;
}

void SetListItem(QStringList& list, int index, const QString& value, const QString& fill)
{
    if (index < 0)
        return;   // fault fix: a negative index is ignored
    while (list.size() <= index)
        list.append(fill);
    list[index] = value;
}

QString ModifiedText(bool modified)
{
    return modified ? QStringLiteral("geändert") : QString();
}

QString NowText()
{
    return StampText(QDateTime::currentDateTime());
}

QString StampText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// Splits text as a delimited list does: an element ends at the delimiter or at a
// blank or control character; an element that begins with a double quote runs to
// the closing quote (a doubled quote inside stands for one) and loses its quotes;
// blanks around delimiters are skipped; a delimiter at the very end gives a final
// empty element, and two delimiters in a row an empty one between them.
QStringList SplitDelimited(const QString& text, QChar delimiter)
{
    QStringList out;
    const qsizetype n = text.size();
    const auto isBlank = [&](qsizetype p) { return p < n && text.at(p).unicode() <= ' '; };
    qsizetype p = 0;
    while (isBlank(p))
        ++p;
    while (p < n) {
        QString element;
        if (text.at(p) == QLatin1Char('"')) {
            ++p;
            while (p < n) {
                if (text.at(p) == QLatin1Char('"')) {
                    if (p + 1 < n && text.at(p + 1) == QLatin1Char('"')) {
                        element += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                element += text.at(p);
                ++p;
            }
        } else {
            const qsizetype begin = p;
            while (p < n && text.at(p).unicode() > ' ' && text.at(p) != delimiter)
                ++p;
            element = text.mid(begin, p - begin);
        }
        out.append(element);
        while (isBlank(p))
            ++p;
        if (p < n && text.at(p) == delimiter) {
            if (p + 1 == n)
                out.append(QString());
            do
                ++p;
            while (isBlank(p));
        }
    }
    return out;
}

// The inverse of SplitDelimited for lines that do not end in blanks: joined by the
// delimiter; a line that holds a blank, a control character, '"' or the delimiter
// is quoted with inner quotes doubled; one empty line is two quotes.
QString JoinDelimited(const QStringList& lines, QChar delimiter)
{
    if (lines.size() == 1 && lines.at(0).isEmpty())
        return QStringLiteral("\"\"");
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += delimiter;
        const QString& line = lines.at(i);
        const bool quote = std::any_of(line.cbegin(), line.cend(), [delimiter](QChar c) {
            return c.unicode() <= u' ' || c == QLatin1Char('"') || c == delimiter;
        });
        if (!quote) {
            out += line;
            continue;
        }
        out += QLatin1Char('"');
        for (QChar c : line) {
            if (c == QLatin1Char('"'))
                out += QLatin1Char('"');
            out += c;
        }
        out += QLatin1Char('"');
    }
    return out;
}

// ---------------------------------------------------------------------------
// Integer conversion

namespace {

bool ParseInt(QStringView text, bool allowHex, int& value)
{
    const qsizetype len = text.size();
    qsizetype p = 0;
    while (p < len && text.at(p).unicode() <= ' ')
        ++p;
    bool negative = false;
    if (p < len && (text.at(p) == QLatin1Char('+') || text.at(p) == QLatin1Char('-'))) {
        negative = text.at(p) == QLatin1Char('-');
        ++p;
    }
    bool hex = false;
    if (allowHex && p < len && text.at(p) == QLatin1Char('$')) {
        hex = true;
        ++p;
    } else if (allowHex && p + 1 < len && text.at(p) == QLatin1Char('0')
               && (text.at(p + 1) == QLatin1Char('x') || text.at(p + 1) == QLatin1Char('X'))) {
        hex = true;
        p += 2;
    }
    if (p >= len)
        return false;   // no digits

    std::uint64_t acc = 0;
    if (hex) {
        for (; p < len; ++p) {
            const int d = HexDigitOrMinus1(text.at(p));
            if (d < 0)
                return false;
            acc = acc * 16 + static_cast<std::uint64_t>(d);
            if (acc > 0xFFFFFFFFull)
                return false;
        }
        // Up to 0xFFFFFFFF, taken as the 32-bit two's complement value.
        std::uint32_t bits = static_cast<std::uint32_t>(acc);
        if (negative)
            bits = 0u - bits;
        value = static_cast<std::int32_t>(bits);
        return true;
    }

    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; p < len; ++p) {
        const ushort u = text.at(p).unicode();
        if (u < '0' || u > '9')
            return false;
        acc = acc * 10 + static_cast<std::uint64_t>(u - '0');
        if (acc > limit)
            return false;
    }
    const std::int64_t signedValue = negative ? -static_cast<std::int64_t>(acc) : static_cast<std::int64_t>(acc);
    value = static_cast<int>(signedValue);
    return true;
}

} // namespace

bool TryStrToInt(QStringView text, int& value)
{
    return ParseInt(text, true, value);
}

bool TryDecimalToInt(QStringView text, int& value)
{
    return ParseInt(text, false, value);
}

int StrToIntDef(QStringView text, int def)
{
    int value;
    return TryStrToInt(text, value) ? value : def;
}

QStringView TrimBlanksView(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= ' ')
        ++first;
    while (last > first && text.at(last - 1).unicode() <= ' ')
        --last;
    return text.mid(first, last - first);
}

QString TrimBlanks(const QString& text)
{
    const QStringView trimmed = TrimBlanksView(text);
    if (trimmed.size() == text.size())
        return text;   // nothing to cut: share the text instead of copying it
    return trimmed.toString();
}

QString UpperAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const ushort u = c.unicode();
        if (u >= 'a' && u <= 'z')
            c = QChar(static_cast<ushort>(u - ('a' - 'A')));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Command tokens

void TokenizeCommand(const QString& line, QStringList& tokens)
{
    tokens.clear();
    if (line.isEmpty() || line.at(0) == QLatin1Char(';'))
        return;
    qsizetype start = 0;
    bool inQuote = false;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"'))
            inQuote = !inQuote;
        if ((c == QLatin1Char('%') || IsAsciiLetter(c)) && !inQuote) {
            tokens.append(line.mid(start, i - start));
            start = i;
        }
    }
    // The text from the last start to the end is never appended.
}

int GetTokenInt(const QStringList& tokens, int i)
{
    if (i < 0 || i >= tokens.size())
        return -1;
    const QString& token = tokens.at(i);
    if (token.isEmpty())
        return -1;
    int value;
    return TryStrToInt(token.mid(1), value) ? value : -1;
}

QString GetTokenString(const QStringList& tokens, int i)
{
    if (i < 0 || i >= tokens.size())
        return QString();
    const QString s = TrimBlanks(tokens.at(i).mid(1));
    if (s.size() >= 2 && s.front() == QLatin1Char('"') && s.back() == QLatin1Char('"'))
        return s.mid(1, s.size() - 2);
    return QString();
}

// ---------------------------------------------------------------------------
// Rounding and percent

int RoundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double r = std::nearbyint(value);
    if (r >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (r <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

std::int64_t RoundHalfEven64(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double r = std::nearbyint(value);
    // 2^63 is exactly representable; every double below it converts safely.
    if (r >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    if (r < -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

namespace {

// num / den rounded half to even, den > 0, exact.
std::int64_t DivRoundHalfEven(std::int64_t num, std::int64_t den)
{
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {   // floor division
        --q;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0))
        ++q;
    return q;
}

int SaturateInt(std::int64_t v)
{
    if (v > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

} // namespace

int LevelToPercent(int level)
{
    // level / 2.55 = level * 100 / 255
    return SaturateInt(DivRoundHalfEven(static_cast<std::int64_t>(level) * 100, 255));
}

int PercentToLevel(int percent)
{
    // p * 2.55 = p * 255 / 100
    return SaturateInt(DivRoundHalfEven(static_cast<std::int64_t>(percent) * 255, 100));
}

QString FormatFloat(double value, int decimals)
{
    return QLocale::system().toString(value, 'f', decimals);
}

// ---------------------------------------------------------------------------
// Form positions

QRect ReadFormPosition(const TStringIniFile& ini, const QString& section, const QRect& current, QPoint topLeft)
{
    // A damaged or hand-edited file may hold any number. Each is held within a
    // range beyond every screen, so that the window's right and bottom edges
    // (left + width - 1) are still numbers; a size is never negative.
    constexpr int far = 1 << 24;
    const int left = std::clamp(ini.ReadInteger(section, QStringLiteral("Left"), topLeft.x()), -far, far);
    const int top = std::clamp(ini.ReadInteger(section, QStringLiteral("Top"), topLeft.y()), -far, far);
    const int width = std::clamp(ini.ReadInteger(section, QStringLiteral("Width"), current.width()), 0, far);
    const int height = std::clamp(ini.ReadInteger(section, QStringLiteral("Height"), current.height()), 0, far);
    return QRect(left, top, width, height);
}

void WriteFormPosition(TStringIniFile& ini, const QString& section, const QRect& rect)
{
    ini.WriteInteger(section, QStringLiteral("Left"), rect.left());
    ini.WriteInteger(section, QStringLiteral("Top"), rect.top());
    ini.WriteInteger(section, QStringLiteral("Width"), rect.width());
    ini.WriteInteger(section, QStringLiteral("Height"), rect.height());
}

QString OneLine(const QString& text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString s = text;
    s.replace(u'\r', u' ');
    s.replace(u'\n', u' ');
    return s;
}
