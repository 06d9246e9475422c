// The script's RTF reader and writer on real QTextDocuments: a sample in the
// Windows rich-text control's dialect, round trips, plain text and malformed data.

#include "cues/uRtf.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <gtest/gtest.h>

namespace {

// As the original program's control writes it, with a NUL after the last brace.
const QByteArray kWindowsSample =
    QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
               "{\\f1\\fnil\\fcharset2 Symbol;}{\\f2\\froman\\fprq2\\fcharset0 Times New Roman;}}\r\n"
               "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
               "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\f0\\fs20 Akt 1 \\cf1\\b\\{\\{1\\}\\}"
               "\\cf0\\b0  Gr\\'fc\\'dfe \\u937? Omega\\par\r\n"
               "\\pard\\qc\\i\\f2\\fs28 Mitte\\i0\\par\r\n"
               "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}"
               "\\fi-720\\li720\\ri360\\ul Punkt eins\\ulnone\\par\r\n"
               "{\\pntext\\f1\\'B7\\tab}\\strike Punkt\\tab zwei\\strike0\\line neu\\par\r\n"
               "\\pard\\cf2 Ende\\par\r\n"
               "}\r\n",
               -1) +
    QByteArray(1, '\0');

QStringList Paragraphs(const QTextDocument& doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        out << b.text();
    return out;
}

// The character format of the first character of the first occurrence of text.
QTextCharFormat FormatOf(const QTextDocument& doc, const QString& text)
{
    const int pos = doc.toRawText().indexOf(text);
    EXPECT_GE(pos, 0) << text.toStdString();
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(pos + 1);
    return c.charFormat();
}

QString Family(const QTextCharFormat& f)
{
    return f.fontFamilies().toStringList().value(0);
}

// Writes doc, reads it back into a fresh document and writes again.
QByteArray Cycle(const QByteArray& rtf, QTextDocument& into)
{
    const TRtfLoadResult r = LoadRichText(into, rtf);
    EXPECT_TRUE(r.Ok()) << r.Problem.toStdString();
    return SaveRichText(into);
}

}   // namespace

TEST(Rtf, WindowsControlSampleLoadsTextAndAttributes)
{
    QTextDocument doc;
    const TRtfLoadResult r = LoadRichText(doc, kWindowsSample);
    EXPECT_TRUE(r.WasRtf);
    EXPECT_TRUE(r.Ok()) << r.Problem.toStdString();
    // No trailing empty paragraph, \line inside the paragraph, \u with its fallback dropped.
    EXPECT_EQ(Paragraphs(doc), QStringList({QString::fromUtf8("Akt 1 {{1}} Grüße Ω Omega"), "Mitte", "Punkt eins",
                                            QStringLiteral("Punkt\tzwei") + QChar(0x2028) + "neu", "Ende"}));

    const QTextCharFormat akt = FormatOf(doc, "Akt");
    EXPECT_EQ(Family(akt), "Arial");
    EXPECT_EQ(akt.fontPointSize(), 10.0);
    EXPECT_EQ(akt.fontWeight(), QFont::Normal);
    EXPECT_EQ(akt.foreground().style(), Qt::NoBrush);
    const QTextCharFormat marker = FormatOf(doc, "{{1}}");
    EXPECT_EQ(marker.fontWeight(), QFont::Bold);
    EXPECT_EQ(marker.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(FormatOf(doc, "Gr").fontWeight(), QFont::Normal);
    const QTextCharFormat mitte = FormatOf(doc, "Mitte");
    EXPECT_TRUE(mitte.fontItalic());
    EXPECT_EQ(Family(mitte), "Times New Roman");
    EXPECT_EQ(mitte.fontPointSize(), 14.0);
    EXPECT_TRUE(FormatOf(doc, "Punkt eins").fontUnderline());
    EXPECT_TRUE(FormatOf(doc, "Punkt\tzwei").fontStrikeOut());
    EXPECT_FALSE(FormatOf(doc, "neu").fontStrikeOut());
    EXPECT_EQ(FormatOf(doc, "Ende").foreground().color(), QColor(0, 0, 255));

    const QTextBlock b1 = doc.findBlockByNumber(1), b2 = doc.findBlockByNumber(2), b3 = doc.findBlockByNumber(3),
                     b4 = doc.findBlockByNumber(4);
    EXPECT_TRUE(b1.blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(doc.firstBlock().textList());
    ASSERT_TRUE(b2.textList());
    EXPECT_EQ(b2.textList(), b3.textList());   // one list of two bullets
    EXPECT_FALSE(b4.textList());
    EXPECT_EQ(LayoutToTwips(b2.blockFormat().leftMargin()), 720);
    EXPECT_EQ(LayoutToTwips(FirstLineIndent(b2.blockFormat())), -720);
    EXPECT_EQ(LayoutToTwips(b3.blockFormat().rightMargin()), 360);
    EXPECT_EQ(LayoutToTwips(b4.blockFormat().leftMargin()), 0);
}

TEST(Rtf, WriterSpeaksTheWindowsDialect)
{
    QTextDocument doc;
    LoadRichText(doc, kWindowsSample);
    const QByteArray rtf = SaveRichText(doc);
    EXPECT_TRUE(
        rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"))
        << rtf.constData();
    for (const char* part :
         {"{\\f2\\fnil\\fcharset2 Symbol;}", "{\\colortbl ;\\red255\\green0\\blue0;", "\\viewkind4\\uc1\\pard",
          "Gr\\'fc\\'dfe \\u937? Omega\\par\r\n", "\\b\\{\\{1\\}\\}", "\\pard\\qc",
          "{\\pntext\\f2\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf2", "\\fi-720\\li720\\ri360", "\\tab zwei", "\\line neu"})
        EXPECT_TRUE(rtf.contains(part)) << part << "\n" << rtf.constData();
    EXPECT_TRUE(rtf.endsWith("\\par\r\n}\r\n"));
    // The second bullet repeats only the bullet text, not the numbering destination.
    EXPECT_EQ(rtf.count("{\\*\\pn"), 1);
    EXPECT_EQ(rtf.count("{\\pntext"), 2);
}

TEST(Rtf, RoundTripsAreByteIdenticalAndNeverGrow)
{
    QTextDocument built;
    QTextCursor c(&built);
    QTextCharFormat f;
    f.setFontPointSize(11.5);
    f.setFontFamilies(QStringList{QString::fromUtf8("Schrift; mit Ümlaut")});
    c.insertText(QString::fromUtf8("a\\b{c}d\te") + QChar(0x00A0) + QString::fromUtf8("€ 😀 ＡΩ"), f);
    c.insertBlock();
    c.insertBlock();   // empty paragraph in the middle
    c.insertText("x");
    QTextCharFormat tabbed;   // blanks and a tab in a font name cannot stand in the font table
    tabbed.setFontFamilies(QStringList{QStringLiteral(" Mit\tTab ")});
    c.insertText("y", tabbed);
    c.insertBlock();   // and a trailing empty paragraph

    const QList<QByteArray> sources = {SaveRichText(QTextDocument()), SaveRichText(built), kWindowsSample,
                                       "{\\rtf1 ohne Absatzende}", "plain\r\ntext\r\n"};
    for (const QByteArray& source : sources) {
        QTextDocument first, second, third;
        LoadRichText(first, source);
        const int blocks = first.blockCount();
        const QByteArray w1 = SaveRichText(first);
        const QByteArray w2 = Cycle(w1, second);
        const QByteArray w3 = Cycle(w2, third);
        EXPECT_EQ(w1, w2) << source.constData();
        EXPECT_EQ(w2, w3);
        EXPECT_EQ(second.blockCount(), blocks) << source.constData();
        EXPECT_EQ(third.blockCount(), blocks);
        EXPECT_EQ(third.toRawText(), first.toRawText());
    }
    QTextDocument back;
    LoadRichText(back, SaveRichText(built));
    EXPECT_EQ(back.blockCount(), 4);
    EXPECT_EQ(back.firstBlock().text(),
              QString::fromUtf8("a\\b{c}d\te") + QChar(0x00A0) + QString::fromUtf8("€ 😀 ＡΩ"));
    EXPECT_EQ(Family(FormatOf(back, "a")), QString::fromUtf8("Schrift mit Ümlaut"));
    EXPECT_EQ(FormatOf(back, "a").fontPointSize(), 11.5);
    EXPECT_EQ(Family(FormatOf(back, "y")), "MitTab");
}

TEST(Rtf, EveryPrefixOfTheSampleLoadsAndRoundTrips)
{
    for (qsizetype n = 0; n <= kWindowsSample.size(); ++n) {
        QTextDocument doc, again;
        LoadRichText(doc, kWindowsSample.left(n));
        const QByteArray w1 = SaveRichText(doc);
        LoadRichText(again, w1);
        ASSERT_EQ(SaveRichText(again), w1) << "prefix " << n;
    }
}

TEST(Rtf, DataThatIsNotRtfLoadsAsPlainText)
{
    const struct {
        QByteArray Data;
        QStringList Paragraphs;
    } cases[] = {
        {QString::fromUtf8("Grüße\r\nZeile 2\r\n").toUtf8(), {QString::fromUtf8("Grüße"), "Zeile 2"}},
        {QByteArray("Gr\xfc\xdf\x65\nx\x80", -1), {QString::fromUtf8("Grüße"), QString::fromUtf8("x€")}},
        {QByteArray("a\rb\tc", -1), {"a", "b\tc"}},
        {QByteArray(), {""}},
        {QByteArray(" {\\rtf1 x}"), {" {\\rtf1 x}"}},
    };
    for (const auto& t : cases) {
        QTextDocument doc;
        LoadRichText(doc, "{\\rtf1 vorher\\par mehr}");
        const TRtfLoadResult r = LoadRichText(doc, t.Data);
        EXPECT_FALSE(r.WasRtf);
        EXPECT_TRUE(r.Ok());
        EXPECT_EQ(Paragraphs(doc), t.Paragraphs) << t.Data.constData();
    }
}

TEST(Rtf, MalformedDataLoadsWhatItCanAndReportsOneProblem)
{
    const QByteArray longWord = "{\\rtf1 A\\" + QByteArray(1 << 20, 'a') + " B}";
    const QByteArray deep = "{\\rtf1 A" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}') + " B}";
    const QByteArray deepOpen = "{\\rtf1 A " + QByteArray(100000, '{') + "\\b x";
    const struct {
        QByteArray Data;
        QString Text;
    } cases[] = {
        {"{\\rtf1 Hallo {\\b Welt", "Hallo Welt"},
        {"{\\rtf1 Hallo}} Welt", "Hallo"},
        {longWord, "AB"},
        {deep, "A B"},
        {deepOpen, "A "},
        {"{\\rtf1 A\\'4", "A"},
        {"{\\rtf1 A\\'4}", "A"},
        {"{\\rtf1 A\\'zz}", "Azz"},
        {"{\\rtf1 A\\", "A"},
        {"{\\rtf1 A\\bin999999999 verschluckt}", "A"},
        {"{\\rtf1{\\fonttbl{\\f0 Ende", ""},
        {"{\\rtf1\\ansi\\ansicpg1250 \\'e8}", QString::fromUtf8("è")},
    };
    for (const auto& t : cases) {
        QTextDocument doc;
        const TRtfLoadResult r = LoadRichText(doc, t.Data);
        EXPECT_TRUE(r.WasRtf);
        EXPECT_FALSE(r.Ok()) << t.Data.left(60).constData();
        EXPECT_EQ(doc.toRawText(), t.Text) << t.Data.left(60).constData();
        // What was loaded saves and loads again unchanged.
        QTextDocument again;
        const QByteArray w = SaveRichText(doc);
        EXPECT_TRUE(LoadRichText(again, w).Ok());
        EXPECT_EQ(SaveRichText(again), w);
    }
}

TEST(Rtf, SkipsDestinationsAndHandlesUnicodeFallbacks)
{
    const struct {
        QByteArray Data;
        QString Text;
    } cases[] = {
        {"{\\rtf1{\\*\\unbekannt {x} y}{\\info{\\title T}}{\\stylesheet{\\s0 Normal;}}Text}", "Text"},
        {"{\\rtf1\\uc2\\u8364\\'80\\'80 a\\u8364 ?bc}", QString::fromUtf8("€ a€c")},
        {"{\\rtf1\\uc0\\u-10179\\u-8704 x}", QString::fromUtf8("😀x")},
        {"{\\rtf1\\u70000?\\u-40000?x}", QString::fromUtf8("\uFFFD\uFFFDx")},
        {"{\\rtf1 {\\uc3\\u937 a}cd}", QString::fromUtf8("Ωcd")},   // the group's end stops the skipping
        {"{\\rtf1 \\lquote\\rquote\\ldblquote\\rdblquote\\endash\\emdash\\bullet\\~\\{\\}\\\\}",
         QString::fromUtf8("‘’“”–—•") + QChar(0x00A0) + "{}\\"},
        {"{\\rtf1 a\\\r\nb}", "a\u2029b"},
        // Destination words and \* inside running text skip nothing.
        {"{\\rtf1 a \\pn b\\fonttbl c \\* d\\info e}", "a bc  de"},
    };
    for (const auto& t : cases) {
        QTextDocument doc;
        EXPECT_TRUE(LoadRichText(doc, t.Data).Ok()) << t.Data.constData();
        EXPECT_EQ(doc.toRawText(), t.Text) << t.Data.constData();
    }
}
