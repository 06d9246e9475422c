// The text codec: Windows-1252 table, strict UTF-8 detection, line splitting and
// atomic file writes.
#include "TestHelpers.h"
#include "framework/uAtomicFile.h"
#include "framework/uErrors.h"
#include "framework/uTextCodec.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

} // namespace

TEST(TextCodec, Windows1252TableRoundTripsAllBytes)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = DecodeWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text.at(0x41), QChar(u'A'));
    EXPECT_EQ(text.at(0x80), QChar(0x20AC));   // Euro sign
    EXPECT_EQ(text.at(0x8A), QChar(0x0160));   // S with caron
    EXPECT_EQ(text.at(0x96), QChar(0x2013));   // en dash
    EXPECT_EQ(text.at(0x9F), QChar(0x0178));   // Y with diaeresis
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(text.at(undefined), QChar(undefined));
    EXPECT_EQ(text.at(0xA0), QChar(0x00A0));
    EXPECT_EQ(text.at(0xE4), QChar(u'ä'));
    EXPECT_EQ(text.at(0xFF), QChar(u'ÿ'));

    QByteArray back;
    ASSERT_TRUE(EncodeWindows1252(text, back));
    EXPECT_EQ(back, all);

    // Characters without a byte: other C1 controls, Greek, surrogates.
    EXPECT_FALSE(EncodeWindows1252(QString(QChar(0x0080)), back));
    EXPECT_FALSE(EncodeWindows1252(QStringLiteral("aΩ"), back));
    EXPECT_FALSE(EncodeWindows1252(QStringLiteral("😀"), back));
}

TEST(TextCodec, StrictUtf8Validation)
{
    EXPECT_TRUE(IsValidUtf8(QByteArray()));
    EXPECT_TRUE(IsValidUtf8("plain ASCII"));
    EXPECT_TRUE(IsValidUtf8(Bytes({0xC3, 0xA4})));               // ä
    EXPECT_TRUE(IsValidUtf8(Bytes({0xE2, 0x82, 0xAC})));         // €
    EXPECT_TRUE(IsValidUtf8(Bytes({0xEF, 0xBF, 0xBD})));         // U+FFFD
    EXPECT_TRUE(IsValidUtf8(Bytes({0xF0, 0x9F, 0x98, 0x80})));   // U+1F600
    EXPECT_TRUE(IsValidUtf8(Bytes({0xF4, 0x8F, 0xBF, 0xBF})));   // U+10FFFF

    EXPECT_FALSE(IsValidUtf8(Bytes({0xC0, 0x80})));              // overlong NUL
    EXPECT_FALSE(IsValidUtf8(Bytes({0xC1, 0xBF})));              // overlong
    EXPECT_FALSE(IsValidUtf8(Bytes({0xE0, 0x80, 0x80})));        // overlong 3-byte
    EXPECT_FALSE(IsValidUtf8(Bytes({0xF0, 0x8F, 0xBF, 0xBF})));  // overlong 4-byte
    EXPECT_FALSE(IsValidUtf8(Bytes({0xED, 0xA0, 0x80})));        // surrogate U+D800
    EXPECT_FALSE(IsValidUtf8(Bytes({0xED, 0xBF, 0xBF})));        // surrogate U+DFFF
    EXPECT_FALSE(IsValidUtf8(Bytes({0xF4, 0x90, 0x80, 0x80})));  // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8(Bytes({0xF5, 0x80, 0x80, 0x80})));
    EXPECT_FALSE(IsValidUtf8(Bytes({0x80})));                    // lone continuation
    EXPECT_FALSE(IsValidUtf8(Bytes({0x61, 0xC3})));              // truncated at the end
    EXPECT_FALSE(IsValidUtf8(Bytes({0xE2, 0x82})));
    EXPECT_FALSE(IsValidUtf8(Bytes({0xE2, 0x28, 0xA1})));        // bad continuation
    EXPECT_FALSE(IsValidUtf8(Bytes({0x4B, 0x61, 0x6E, 0xE4, 0x6C, 0x65})));   // "Kanäle" in 1252
}

TEST(TextCodec, DecodeChoosesUtf8OrWindows1252AndDropsBom)
{
    EXPECT_EQ(DecodeText("Kan\xC3\xA4le"), QStringLiteral("Kanäle"));
    EXPECT_EQ(DecodeText("Kan\xE4le \x80"), QStringLiteral("Kanäle €"));
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF[A]"), QStringLiteral("[A]"));
    EXPECT_EQ(DecodeText("\xEF\xBB\xBFKan\xC3\xA4le"), QStringLiteral("Kanäle"));
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xEF\xBB\xBFx"), QStringLiteral("\uFEFFx"));   // only one mark goes
    EXPECT_EQ(DecodeText(QByteArray()), QString());
    // A NUL inside the text is kept, not a terminator.
    EXPECT_EQ(DecodeText(QByteArray("a\0b", 3)).size(), 3);
}

TEST(TextCodec, EncodePrefersWindows1252)
{
    EXPECT_EQ(EncodeText(QStringLiteral("Kanäle")), QByteArray("Kan\xE4le"));
    EXPECT_EQ(EncodeText(QStringLiteral("5 €")), QByteArray("5 \x80"));
    EXPECT_EQ(EncodeText(QStringLiteral("Ω")), QByteArray("\xCE\xA9"));
    // One character outside the code page makes the whole text UTF-8.
    EXPECT_EQ(EncodeText(QStringLiteral("ä€Ω")), QByteArray("\xC3\xA4\xE2\x82\xAC\xCE\xA9"));
    EXPECT_EQ(EncodeText(QString(QChar(0x0080))), QByteArray("\xC2\x80"));

    // Western text whose Windows-1252 bytes would read back as UTF-8 is written as UTF-8.
    EXPECT_EQ(EncodeText(QStringLiteral("Ã¤")), QByteArray("\xC3\x83\xC2\xA4"));

    for (const QString& s : {QStringLiteral("Kanäle"), QStringLiteral("Ã¤"), QStringLiteral("Ω und ä"), QStringLiteral("€ ‰ Ÿ"),
                             QStringLiteral("😀"), QString()})
        EXPECT_EQ(DecodeText(EncodeText(s)), s) << s.toStdString();
}

TEST(TextCodec, SplitAndJoinLines)
{
    EXPECT_EQ(SplitLines(QStringLiteral("a\r\nb\nc\rd")), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines(QStringLiteral("a\r\nb\r\n")), QStringList({"a", "b"}));
    EXPECT_EQ(SplitLines(QStringLiteral("a\n\nb")), QStringList({"a", "", "b"}));
    EXPECT_EQ(SplitLines(QStringLiteral("a\r\n\r\n")), QStringList({"a", ""}));
    EXPECT_EQ(SplitLines(QStringLiteral("\r\n")), QStringList({""}));
    EXPECT_EQ(SplitLines(QStringLiteral("a\n\r")), QStringList({"a", ""}));   // LF, then a lone CR
    EXPECT_TRUE(SplitLines(QString()).isEmpty());

    EXPECT_EQ(JoinLinesCrLf({"a", "", "b"}), QStringLiteral("a\r\n\r\nb\r\n"));
    EXPECT_EQ(JoinLinesCrLf({}), QString());
    EXPECT_EQ(SplitLines(JoinLinesCrLf({"x", "", "y"})), QStringList({"x", "", "y"}));
}

TEST(TextCodec, ReadTextFile)
{
    TTempProgramDir dir;
    QString text = QStringLiteral("stale");
    EXPECT_FALSE(ReadTextFile(dir.File("missing.txt"), text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(ReadTextFile(dir.Path(), text));   // a folder is no text file

    dir.Write("w.txt", "Kan\xE4le\r\n");
    ASSERT_TRUE(ReadTextFile(dir.File("w.txt"), text));
    EXPECT_EQ(text, QStringLiteral("Kanäle\r\n"));

    dir.Write("empty.txt", QByteArray());
    text = QStringLiteral("stale");
    EXPECT_TRUE(ReadTextFile(dir.File("empty.txt"), text));
    EXPECT_TRUE(text.isEmpty());
}

TEST(TextCodec, WriteTextFileAtomicWritesCrLfAndReplaces)
{
    TTempProgramDir dir;
    const QString path = dir.File("out.txt");
    dir.Write("out.txt", "old content that is longer than the new one\r\n");

    WriteTextFileAtomic(path, {"Kanäle", "", "€"});
    EXPECT_EQ(dir.Read("out.txt"), QByteArray("Kan\xE4le\r\n\r\n\x80\r\n"));

    WriteTextFileAtomic(path, {"Ω"});
    EXPECT_EQ(dir.Read("out.txt"), QByteArray("\xCE\xA9\r\n"));

    WriteBytesAtomic(path, QByteArray("raw\0bytes", 9));
    EXPECT_EQ(dir.Read("out.txt"), QByteArray("raw\0bytes", 9));

    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList({"out.txt"}));
}

TEST(TextCodec, WriteFailureRaisesAndKeepsOldFile)
{
    TTempProgramDir dir;

    // A folder that does not exist.
    const QString missing = dir.File("nofolder/out.txt");
    try {
        WriteTextFileAtomic(missing, {"x"});
        FAIL() << "no error raised";
    } catch (const EPvError& e) {
        EXPECT_TRUE(e.Message().contains(missing)) << e.Message().toStdString();
        EXPECT_GT(e.Message().size(), missing.size() + 10) << "the message names a reason";
    }

    // The disk fills up while the new content is written: the old file stays whole.
    const QByteArray old("[Old]\r\nkey=value\r\n");
    dir.Write("keep.ini", old);
    const QStringList big(2000, QStringLiteral("a line of forty characters, more or less"));
    {
        TFileSizeLimit limit(4096);
        EXPECT_THROW(WriteTextFileAtomic(dir.File("keep.ini"), big), EPvError);
    }
    EXPECT_EQ(dir.Read("keep.ini"), old);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.ini"}));
}
