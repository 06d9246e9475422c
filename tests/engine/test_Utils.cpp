// Shared utilities: hexadecimal helpers, the level codec, line lists, integer
// text, percent, and the command tokenizer with its token readers.
#include "console/uKanal.h"
#include "framework/uErrors.h"
#include "framework/uStringIniFile.h"
#include "framework/uSystemLocale.h"
#include "framework/uUtils.h"

#include <QLocale>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TLevelArray Levels(std::initializer_list<int> head, int fill = 0)
{
    TLevelArray l{};
    l.fill(static_cast<std::uint8_t>(fill));
    l[0] = 0;
    int k = 1;
    for (int v : head)
        l[k++] = static_cast<std::uint8_t>(v);
    return l;
}

QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EPvError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

// --- Level codec --------------------------------------------------------------

TEST(UtilsLevelCodec, ListedEncodingsBothWays)
{
    TLevelArray tail12{};
    tail12[728] = 1;
    tail12[729] = 2;

    const struct {
        TLevelArray levels;
        const char* text;
    } cases[] = {
        {Levels({}), "FF00FF00FF00FF00FF00DE00"},
        {Levels({255, 255, 128, 64}), "82FF028040FF00FF00FF00FF00FF00DA00"},
        {Levels({1, 2}), "020102FF00FF00FF00FF00FF00DC00"},
        {tail12, "FF00FF00FF00FF00FF00DC0001010102"},
        {Levels({}, 5), "FF05FF05FF05FF05FF05DE05"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeLevels(c.levels), QString::fromLatin1(c.text));
        TLevelArray back;
        back.fill(99);
        EXPECT_TRUE(DecodeLevels(QString::fromLatin1(c.text), back)) << c.text;
        back[0] = 0;
        EXPECT_EQ(back, c.levels) << c.text;
    }
}

TEST(UtilsLevelCodec, RoundTripOfMixedLevels)
{
    // Long literal stretches (more than 126), runs of exactly 127 and 128, and
    // alternations that end on the last channel.
    TLevelArray l{};
    for (int k = 1; k <= MaxKanal; ++k) {
        if (k <= 300)
            l[k] = static_cast<std::uint8_t>(k * 7);
        else if (k <= 427)
            l[k] = 9;
        else if (k <= 555)
            l[k] = 10;
        else
            l[k] = static_cast<std::uint8_t>(k % 3);
    }
    // The longest text there is: pairs and single levels in turn (a a b c c d ...)
    // cost four bytes for every three levels.
    TLevelArray densest{};
    for (int k = 1; k <= MaxKanal; ++k)
        densest[k] = static_cast<std::uint8_t>((2 * ((k - 1) / 3) + ((k - 1) % 3 == 2 ? 1 : 0)) % 250 + 1);
    for (const TLevelArray& levels : {l, densest}) {
        const QString text = EncodeLevels(levels);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^([0-9A-F]{2})+$")).match(text).hasMatch());
        TLevelArray back{};
        ASSERT_TRUE(DecodeLevels(text, back));
        EXPECT_EQ(back, levels);
    }
    EXPECT_GT(EncodeLevels(densest).size(), 2 * 900);
}

TEST(UtilsLevelCodec, DecodeEmptyAndMalformed)
{
    TLevelArray l;
    l.fill(7);
    EXPECT_FALSE(DecodeLevels(QString(), l));
    for (int k = 1; k <= MaxKanal; ++k)
        ASSERT_EQ(l[k], 0);

    // A single trailing character is ignored; a single character is no group.
    EXPECT_FALSE(DecodeLevels(QStringLiteral("8"), l));
    EXPECT_TRUE(DecodeLevels(QStringLiteral("8305F"), l));
    EXPECT_EQ(l[1], 5);
    EXPECT_EQ(l[3], 5);
    EXPECT_EQ(l[4], 0);

    // Lower-case digits are read too.
    EXPECT_TRUE(DecodeLevels(QStringLiteral("02ff0a"), l));
    EXPECT_EQ(l[1], 255);
    EXPECT_EQ(l[2], 10);
}

TEST(UtilsLevelCodec, TruncatedGroupReadsMissingBytesAsZero)
{
    TLevelArray l;
    l.fill(7);
    // Literal group of 5 with only two whole bytes and half a third.
    EXPECT_TRUE(DecodeLevels(QStringLiteral("051122F"), l));
    EXPECT_EQ(l[1], 0x11);
    EXPECT_EQ(l[2], 0x22);
    EXPECT_EQ(l[3], 0);
    EXPECT_EQ(l[4], 0);
    EXPECT_EQ(l[5], 0);
    // A run header without its byte.
    EXPECT_TRUE(DecodeLevels(QStringLiteral("0101" "85"), l));
    EXPECT_EQ(l[1], 1);
    for (int k = 2; k <= 6; ++k)
        EXPECT_EQ(l[k], 0);
}

TEST(UtilsLevelCodec, BadDigitRaisesHexDigitError)
{
    TLevelArray l;
    EXPECT_EQ(ErrorOf([&] { DecodeLevels(QStringLiteral("02G1"), l); }),
              QStringLiteral("\"G\" ist kein hexadezimales Zeichen."));
    EXPECT_EQ(ErrorOf([&] { DecodeLevels(QStringLiteral("8201FF0x"), l); }),
              QStringLiteral("\"x\" ist kein hexadezimales Zeichen."));
}

TEST(UtilsLevelCodec, LevelsBeyondLastChannelAreDropped)
{
    // Six runs of 127 = 762 channels; the last run passes 729.
    const QString text = QStringLiteral("FF01FF01FF01FF01FF01FF02");
    TLevelArray l;
    EXPECT_TRUE(DecodeLevels(text, l));
    EXPECT_EQ(l[635], 1);
    EXPECT_EQ(l[636], 2);
    EXPECT_EQ(l[729], 2);
    EXPECT_EQ(l[0], 0);
    // A literal group that passes 729 likewise.
    EXPECT_TRUE(DecodeLevels(QStringLiteral("FF00FF00FF00FF00FF00DC00") + QStringLiteral("03AABBCC"), l));
    EXPECT_EQ(l[727], 0);   // 635 + 92 zeros
    EXPECT_EQ(l[728], 0xAA);
    EXPECT_EQ(l[729], 0xBB);   // 0xCC would be channel 730
    EXPECT_TRUE(DecodeLevels(QStringLiteral("FF00FF00FF00FF00FF00DE00") + QStringLiteral("03AABBCC"), l));
    EXPECT_EQ(l[729], 0);
}

// --- Hexadecimal helpers -------------------------------------------------------

TEST(UtilsHex, DigitsAndLimits)
{
    EXPECT_EQ(HexDigitValue(QLatin1Char('0')), 0);
    EXPECT_EQ(HexDigitValue(QLatin1Char('9')), 9);
    EXPECT_EQ(HexDigitValue(QLatin1Char('a')), 10);
    EXPECT_EQ(HexDigitValue(QLatin1Char('F')), 15);
    EXPECT_EQ(ErrorOf([] { HexDigitValue(QChar(0x00E4)); }), QStringLiteral("\"ä\" ist kein hexadezimales Zeichen."));

    EXPECT_EQ(HexToInt(QString()), 0u);
    EXPECT_EQ(HexToInt(QStringLiteral("7f")), 127u);
    EXPECT_EQ(HexToInt(QStringLiteral("FFFFFFFF")), 0xFFFFFFFFu);
    EXPECT_EQ(HexToInt(QStringLiteral("00000010")), 16u);
    EXPECT_EQ(ErrorOf([] { HexToInt(QStringLiteral("100000000")); }),
              QStringLiteral("String \"100000000\" ist zu lang."));
    EXPECT_EQ(ErrorOf([] { HexToInt(QStringLiteral("1 ")); }), QStringLiteral("\" \" ist kein hexadezimales Zeichen."));
}

// --- Fields, lists and texts ---------------------------------------------------

TEST(UtilsText, TakeIntField)
{
    QString text = QStringLiteral("12;34;");
    EXPECT_EQ(TakeIntField(text, -7), 12);
    EXPECT_EQ(text, QStringLiteral("34;"));
    EXPECT_EQ(TakeIntField(text, -7), 34);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(TakeIntField(text, -7), -7);

    text = QStringLiteral("12");
    EXPECT_EQ(TakeIntField(text, -7), -7);
    EXPECT_EQ(text, QStringLiteral("12"));

    text = QStringLiteral("x;;5;");
    EXPECT_EQ(TakeIntField(text, -7), -7);   // not an integer, still consumed
    EXPECT_EQ(TakeIntField(text, -7), -7);   // empty field
    EXPECT_EQ(TakeIntField(text, -7), 5);
}

TEST(UtilsText, JoinAndReplaceRoundTrip)
{
    EXPECT_EQ(JoinStrings({}, QLatin1Char('|')), QString());
    EXPECT_EQ(JoinStrings({QStringLiteral("a"), QStringLiteral("b")}, QLatin1Char('|')), QStringLiteral("a|b|"));

    const QStringList lines{QStringLiteral("K1P255"), QString(), QStringLiteral("; Kommentar äöü"), QStringLiteral("D5K1P0")};
    const QString joined = JoinStrings(lines, QLatin1Char('|'));
    const QString crlf = ReplaceCharByCrLf(joined, QLatin1Char('|'));
    EXPECT_TRUE(crlf.endsWith(QStringLiteral("\r\n")));
    QStringList back = crlf.split(QStringLiteral("\r\n"));
    ASSERT_EQ(back.takeLast(), QString());   // the trailing CR LF ends the last line
    EXPECT_EQ(back, lines);
}

TEST(UtilsText, SetListItem)
{
    QStringList list;
    SetListItem(list, 2, QStringLiteral("c"), QStringLiteral("-"));
    EXPECT_EQ(list, (QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("c")}));
    SetListItem(list, 0, QStringLiteral("a"), QStringLiteral("-"));
    EXPECT_EQ(list, (QStringList{QStringLiteral("a"), QStringLiteral("-"), QStringLiteral("c")}));
    SetListItem(list, -1, QStringLiteral("x"), QStringLiteral("-"));   // fault fix: ignored
    EXPECT_EQ(list.size(), 3);
}

TEST(UtilsText, SmallTexts)
{
    EXPECT_EQ(ModifiedText(true), QStringLiteral("geändert"));
    EXPECT_EQ(ModifiedText(false), QString());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")).match(NowText()).hasMatch())
        << NowText().toStdString();
    EXPECT_EQ(TrimBlanks(QStringLiteral(" \t\r\n a b \x01")), QStringLiteral("a b"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("  ")), QString());
    EXPECT_EQ(UpperAscii(QStringLiteral("k1p%äß")), QStringLiteral("K1P%äß"));
    const QLocale sys = QLocale::system();
    EXPECT_EQ(FormatFloat(1.5, 2), QStringLiteral("1") + sys.decimalPoint() + QStringLiteral("50"));
}

TEST(UtilsText, FormPositions)
{
    TStringIniFile ini;
    const QRect design(0, 0, 640, 480);
    EXPECT_EQ(ReadFormPosition(ini, QStringLiteral("FrmLichtpult1"), design), QRect(4, 4, 640, 480));
    WriteFormPosition(ini, QStringLiteral("FrmLichtpult1"), QRect(-10, 20, 300, 200));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("FrmLichtpult1"), QStringLiteral("Left"), 0), -10);
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("FrmLichtpult1"), QStringLiteral("Height"), 0), 200);
    EXPECT_EQ(ReadFormPosition(ini, QStringLiteral("FrmLichtpult1"), design), QRect(-10, 20, 300, 200));
    // A place of the caller's for a form without a stored one; a stored one rules.
    EXPECT_EQ(ReadFormPosition(ini, QStringLiteral("FrmLichtpult2"), design, QPoint(4, 49)), QRect(4, 49, 640, 480));
    EXPECT_EQ(ReadFormPosition(ini, QStringLiteral("FrmLichtpult1"), design, QPoint(4, 49)), QRect(-10, 20, 300, 200));

    // Numbers beyond any screen from a damaged file: the edges stay numbers.
    const int far = 1 << 24;
    const struct {
        const char* Text;
        QRect Rect;
    } damaged[] = {
        {"Left=2147483647\nTop=16777217\nWidth=2147483647\nHeight=16777216", QRect(far, far, far, far)},
        {"Left=-2147483648\nTop=-16777217\nWidth=-1\nHeight=-2147483648", QRect(-far, -far, 0, 0)},
        {"Left=-16777216\nTop=16777216\nWidth=0\nHeight=16777215", QRect(-far, far, 0, far - 1)},
    };
    for (const auto& d : damaged) {
        TStringIniFile file;
        file.SetText(QStringLiteral("[FrmMain]\n") + QString::fromLatin1(d.Text));
        EXPECT_EQ(ReadFormPosition(file, QStringLiteral("FrmMain"), design), d.Rect) << d.Text;
    }
}

// --- Integer conversion --------------------------------------------------------

TEST(UtilsInt, TryStrToInt)
{
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {"255", true, 255},
        {"  -3", true, -3},
        {"\t+7", true, 7},
        {"$1F", true, 31},
        {"-$10", true, -16},
        {"0x10", true, 16},
        {"0XfF", true, 255},
        {"$FFFFFFFF", true, -1},
        {"$80000000", true, std::numeric_limits<int>::min()},
        {"$100000000", false, 0},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, std::numeric_limits<int>::min()},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"-", false, 0},
        {"+", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"255 ", false, 0},
        {"12a", false, 0},
        {"- 1", false, 0},
        {"$G", false, 0},
        {"007", true, 7},
    };
    for (const Case& c : cases) {
        int v = 12345;
        EXPECT_EQ(TryStrToInt(QString::fromLatin1(c.text), v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_EQ(StrToIntDef(QStringLiteral("x"), 42), 42);
    EXPECT_EQ(StrToIntDef(QStringLiteral(" 17"), 42), 17);
    // Only ASCII digits count.
    EXPECT_EQ(StrToIntDef(QString(QChar(0x0663)), 42), 42);   // Arabic-Indic three
}

// The decimal reader (row strings) shares sign, blank and range handling with
// TryStrToInt but takes no hexadecimal prefix.
TEST(UtilsInt, TryDecimalToInt)
{
    const struct {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"\t12", true, 12}, {" -3", true, -3}, {"-2147483648", true, std::numeric_limits<int>::min()},
        {"2147483648", false, 0}, {"$1F", false, 0}, {"0x10", false, 0}, {"0", true, 0}, {"12 ", false, 0},
    };
    for (const auto& c : cases) {
        int v = 12345;
        EXPECT_EQ(TryDecimalToInt(QString::fromLatin1(c.text), v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

// --- Rounding and percent ------------------------------------------------------

TEST(UtilsPercent, RoundHalfEven)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(0.49), 0);
    EXPECT_EQ(RoundHalfEven64(4.5), 4);
    EXPECT_EQ(RoundHalfEven64(1e12 + 0.5), 1000000000000LL);
    EXPECT_EQ(RoundHalfEven64(std::nan("")), 0);
    EXPECT_EQ(RoundHalfEven64(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(RoundHalfEven64(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(RoundHalfEven64(-1e300), std::numeric_limits<std::int64_t>::min());
}

TEST(UtilsPercent, LevelAndPercent)
{
    EXPECT_EQ(PercentToLevel(0), 0);
    EXPECT_EQ(PercentToLevel(10), 26);   // 25.5 goes to the even 26
    EXPECT_EQ(PercentToLevel(50), 128);  // 127.5
    EXPECT_EQ(PercentToLevel(90), 230);  // 229.5
    EXPECT_EQ(PercentToLevel(100), 255);
    EXPECT_EQ(PercentToLevel(-10), -26);
    EXPECT_EQ(PercentToLevel(200), 510);
    EXPECT_EQ(LevelToPercent(0), 0);
    EXPECT_EQ(LevelToPercent(128), 50);  // 50.196
    EXPECT_EQ(LevelToPercent(255), 100);
    EXPECT_EQ(LevelToPercent(127), 50);  // 49.8
    EXPECT_EQ(LevelToPercent(-255), -100);
    EXPECT_EQ(LevelToPercent(510), 200);
    for (int p = 0; p <= 100; ++p)
        EXPECT_EQ(LevelToPercent(PercentToLevel(p)), p) << p;
}

// --- Tokenizer and token readers -----------------------------------------------

namespace {
QStringList Tok(const QString& line)
{
    QStringList tokens{QStringLiteral("stale")};
    TokenizeCommand(line, tokens);
    return tokens;
}
} // namespace

TEST(TokenizerCommand, EdgeCases)
{
    EXPECT_EQ(Tok(QStringLiteral("K1P255E")), (QStringList{QStringLiteral("K1"), QStringLiteral("P255")}));
    const QStringList blank = Tok(QStringLiteral("K1 P255E"));
    EXPECT_EQ(blank, (QStringList{QStringLiteral("K1 "), QStringLiteral("P255")}));
    EXPECT_EQ(GetTokenInt(blank, 0), -1);
    EXPECT_EQ(GetTokenInt(blank, 1), 255);

    const QStringList file = Tok(QStringLiteral("A1F\"C:\\Musik\\Titel 1.mp3\"E"));
    ASSERT_EQ(file.size(), 2);
    EXPECT_EQ(file[0], QStringLiteral("A1"));
    EXPECT_EQ(GetTokenString(file, 1), QStringLiteral("C:\\Musik\\Titel 1.mp3"));

    EXPECT_EQ(Tok(QStringLiteral("%50E")), (QStringList{QStringLiteral("%50")}));
    EXPECT_EQ(Tok(QStringLiteral("K1%50E")), (QStringList{QStringLiteral("K1"), QStringLiteral("%50")}));

    // A leading blank becomes part of token 0.
    EXPECT_EQ(Tok(QStringLiteral(" K1P5E")), (QStringList{QStringLiteral(" "), QStringLiteral("K1"), QStringLiteral("P5")}));
    // Character 1 begins token 0 whatever it is; a quote there does not count.
    EXPECT_EQ(Tok(QStringLiteral("\"K1E")), (QStringList{QStringLiteral("\""), QStringLiteral("K1")}));

    // An unbalanced quote swallows the rest of the line including the "E".
    EXPECT_EQ(Tok(QStringLiteral("K1P255A\"abc DEFE")), (QStringList{QStringLiteral("K1"), QStringLiteral("P255")}));

    EXPECT_TRUE(Tok(QStringLiteral("; K1P255E")).isEmpty());
    EXPECT_TRUE(Tok(QString()).isEmpty());
    // Umlauts are no letters; the last piece is never appended.
    EXPECT_EQ(Tok(QStringLiteral("KäP")), (QStringList{QStringLiteral("Kä")}));
    EXPECT_TRUE(Tok(QStringLiteral("K1")).isEmpty());
}

TEST(TokenizerCommand, GetTokenInt)
{
    const QStringList t{QStringLiteral("P255"), QStringLiteral("P255 "), QStringLiteral("P"), QStringLiteral("P-3"),
                        QStringLiteral("P$10"), QStringLiteral("P $"), QStringLiteral("P  7"), QString()};
    EXPECT_EQ(GetTokenInt(t, 0), 255);
    EXPECT_EQ(GetTokenInt(t, 1), -1);
    EXPECT_EQ(GetTokenInt(t, 2), -1);
    EXPECT_EQ(GetTokenInt(t, 3), -3);
    EXPECT_EQ(GetTokenInt(t, 4), 16);
    EXPECT_EQ(GetTokenInt(t, 5), -1);
    EXPECT_EQ(GetTokenInt(t, 6), 7);
    EXPECT_EQ(GetTokenInt(t, 7), -1);
    EXPECT_EQ(GetTokenInt(t, 8), -1);
    EXPECT_EQ(GetTokenInt(t, -1), -1);
}

TEST(TokenizerCommand, GetTokenString)
{
    const QStringList t{QStringLiteral("F \"a b\"\r\n"), QStringLiteral("F\""), QStringLiteral("F"),
                        QStringLiteral("Fabc"), QStringLiteral("F\"\""), QStringLiteral("F\"x\" y"),
                        QStringLiteral("F\"a\"b\"")};
    EXPECT_EQ(GetTokenString(t, 0), QStringLiteral("a b"));
    EXPECT_EQ(GetTokenString(t, 1), QString());
    EXPECT_EQ(GetTokenString(t, 2), QString());
    EXPECT_EQ(GetTokenString(t, 3), QString());
    EXPECT_EQ(GetTokenString(t, 4), QString());
    EXPECT_EQ(GetTokenString(t, 5), QString());
    EXPECT_EQ(GetTokenString(t, 6), QStringLiteral("a\"b"));
    EXPECT_EQ(GetTokenString(t, 7), QString());
}

TEST(SystemLocale, TheCLocaleIsToldByItsNameAndQtsOrderOfVariables)
{
    const struct {
        const char* LcAll;
        const char* LcNumeric;
        const char* Lang;
        bool C;
    } cases[] = {
        {"", "", "", true},         {"C", "", "de_DE.UTF-8", true},   // LC_ALL rules
        {"C.UTF-8", "", "", true},  {"C.utf8", "", "", true},       {"POSIX", "", "", true},
        {"", "", "POSIX@x", true},  {"", "C", "en_US.UTF-8", true},   // then LC_NUMERIC
        {"", "", "C", true},        {"", "", "en_US.UTF-8", false}, {"", "de_DE.UTF-8", "C", false},
        {"de_AT", "C", "C", false}, {"Ca_ES", "", "", false},   // a name that only begins with C
        {"CC", "", "", false},
    };
    const QByteArray saved[] = {qgetenv("LC_ALL"), qgetenv("LC_NUMERIC"), qgetenv("LANG")};
    const bool had[] = {qEnvironmentVariableIsSet("LC_ALL"), qEnvironmentVariableIsSet("LC_NUMERIC"),
                        qEnvironmentVariableIsSet("LANG")};
    const char* names[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
    for (const auto& c : cases) {
        const char* values[] = {c.LcAll, c.LcNumeric, c.Lang};
        for (int i = 0; i < 3; ++i)
            qputenv(names[i], values[i]);
        EXPECT_EQ(IsCLocaleName(NumericLocaleName()), c.C) << c.LcAll << "/" << c.LcNumeric << "/" << c.Lang;
    }
    for (int i = 0; i < 3; ++i)
        had[i] ? (void)qputenv(names[i], saved[i]) : (void)qunsetenv(names[i]);
}
