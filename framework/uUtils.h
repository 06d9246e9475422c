#pragma once
// Routines without classes that many units share: hexadecimal helpers, the
// run-length text codec of level arrays, line lists inside one INI value, the
// command tokenizer and token readers, integer conversion, rounding and percent.

#include <QRect>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>

class QDateTime;
class TStringIniFile;

// A level array holds one byte per channel number 1..LevelArrayMax, index 0
// unused: the levels of all the console's channels (uKanal.cpp checks that the
// channel model has exactly as many).
constexpr int LevelArrayMax = 729;
using TLevelArray = std::array<std::uint8_t, LevelArrayMax + 1>;

// '0'..'9', 'A'..'F', 'a'..'f'; anything else raises EPvError
// "\"c\" ist kein hexadezimales Zeichen."
int HexDigitValue(QChar c);
// The same value; -1 for any other character.
int HexDigitOrMinus1(QChar c);
// At most 8 digits (else EPvError "String \"text\" ist zu lang."); "" gives 0.
std::uint32_t HexToInt(const QString& text);

// The level text of channels 1..729, after prefix (a show file's "key=", so that
// the line is made in one piece).
QString EncodeLevels(const TLevelArray& levels, QStringView prefix = {});
// All levels 0 first; true when at least one group was read. A bad digit raises
// the error of HexDigitValue. A truncated group reads the missing bytes as 0.
bool DecodeLevels(const QString& text, TLevelArray& levels);

QString JoinStrings(const QStringList& lines, QChar separator);
QString ReplaceCharByCrLf(const QString& text, QChar separator);
int TakeIntField(QString& text, int def);
void SetListItem(QStringList& list, int index, const QString& value, const QString& fill);

// Splits text as a delimited list does: an element ends at the delimiter or at a
// blank or control character; a quoted element runs to its closing quote (a
// doubled quote stands for one); a delimiter at the very end adds an empty element.
QStringList SplitDelimited(const QString& text, QChar delimiter);
QString JoinDelimited(const QStringList& lines, QChar delimiter);

QString ModifiedText(bool modified);
QString NowText();   // "yyyy-mm-dd hh:mm:ss", local time
QString StampText(const QDateTime& time);   // the same form for any time

inline bool InRangeInt(int value, int low, int high) { return low <= value && value <= high; }
inline int ClampInt(int value, int low, int high) { return value > high ? high : (value < low ? low : value); }

// Integer text as users and files give it: leading blanks and control characters
// (a tab as well as a blank), an optional sign, a leading '$' or "0x"/"0X" for
// hexadecimal, nothing after the digits, 32-bit range (hexadecimal up to
// FFFFFFFF, read as two's complement). The settings store reads its integers so.
bool TryStrToInt(QStringView text, int& value);
// The same without hexadecimal: decimal digits only after the sign.
bool TryDecimalToInt(QStringView text, int& value);
int StrToIntDef(QStringView text, int def);

// The text on one line: CR and LF each become a blank, so a value written into an
// INI line, a show or a patch file can never split its line.
QString OneLine(const QString& text);

// Leading and trailing blanks and control characters removed (all chars <= ' ').
QString TrimBlanks(const QString& text);
// The same as a view into text (nothing copied).
QStringView TrimBlanksView(QStringView text);
// An upper-cased copy that changes only the ASCII letters a..z.
QString UpperAscii(const QString& text);
inline bool IsAsciiLetter(QChar c) { const ushort u = c.unicode(); return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'); }

// Command tokens: a token begins at an ASCII letter or '%' outside double quotes;
// character 1 always begins token 0; the text after the last token start is never
// appended (callers append the end marker "E"). A comment line (';') or an empty
// line yields no tokens.
void TokenizeCommand(const QString& line, QStringList& tokens);
// The longest command line: what the command server takes as one message. A
// box that holds command lines takes no more.
constexpr int MaxCommandLineLength = 64 * 1024;
// Token i without its first character as an integer, -1 when not valid (or no such token).
int GetTokenInt(const QStringList& tokens, int i);
// Token i without its first character, trimmed; the text between the quotes when it
// begins and ends with '"', else the empty text.
QString GetTokenString(const QStringList& tokens, int i);

// The first character of a token as an upper-case ASCII letter (other characters
// unchanged); 0 for an empty token.
inline char16_t TokenLetter(const QString& token)
{
    if (token.isEmpty())
        return 0;
    const char16_t c = token.at(0).unicode();
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

// Calls action(letter, value) for each non-empty token after token 0, in order:
// the token's letter (TokenLetter) and its GetTokenInt value.
template <typename F>
void ForEachSubToken(const QStringList& tokens, F&& action)
{
    for (int i = 1; i < tokens.size(); ++i)
        if (!tokens.at(i).isEmpty())
            action(TokenLetter(tokens.at(i)), GetTokenInt(tokens, i));
}

// Round halves to the even neighbour.
int RoundHalfEven(double value);
std::int64_t RoundHalfEven64(double value);
// Round(level / 2.55) and Round(p * 2.55), computed exactly in integers.
int LevelToPercent(int level);
int PercentToLevel(int percent);
// A number in the system locale with a fixed number of decimals.
QString FormatFloat(double value, int decimals);

// Form positions in a settings store: keys Left, Top (default: topLeft, 4, 4
// unless given), Width, Height (default: the current size) of the section named
// after the form. Read, each is held to +-2^24 (sizes to 0..2^24).
QRect ReadFormPosition(const TStringIniFile& ini, const QString& section, const QRect& current,
                       QPoint topLeft = QPoint(4, 4));
void WriteFormPosition(TStringIniFile& ini, const QString& section, const QRect& rect);
