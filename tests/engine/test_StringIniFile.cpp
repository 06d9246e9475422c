// The INI store: parsing, case-insensitive lookups, readers and writers, and the
// file it reads and writes.
#include "TestHelpers.h"
#include "framework/uErrors.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

QStringList Strings(const TStringIniFile& ini)
{
    QStringList lines;
    ini.GetStrings(lines);
    return lines;
}

} // namespace

TEST(StringIniFile, ParsesSectionsCommentsAndDuplicateHeaders)
{
    TStringIniFile ini;
    ini.SetStrings({"[A]", "x = 1", "; comment", "", "[a]", "x=2"});
    QStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, QStringList({"A", "a"}));
    EXPECT_EQ(ini.ReadString("a", "x", "none"), "1");   // the first section of that name
    EXPECT_EQ(Strings(ini), QStringList({"[A]", "x=1", "", "[a]", "x=2", ""}));

    // Trimming (blanks and control characters), lines before the first header,
    // lines without '=', a value that holds '='.
    ini.SetStrings({"orphan=1", "\t [ Name ] \t", "  key \t=  v a l \x01", "no equals sign ", " a=b=c",
                    "[]", "=empty key"});
    ini.ReadSections(sections);
    EXPECT_EQ(sections, QStringList({"Name", ""}));
    EXPECT_EQ(ini.ReadString("Name", "key", ""), "v a l");
    EXPECT_EQ(ini.ReadString("Name", "a", ""), "b=c");
    EXPECT_EQ(ini.ReadString("Name", "orphan", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Name", "no equals sign", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("", "", "dflt"), "empty key");
    QStringList lines;
    ini.ReadSectionValues("name", lines);
    EXPECT_EQ(lines, QStringList({"key=v a l", "no equals sign", "a=b=c"}));
    QStringList keys{"stale"};
    ini.ReadSection("NAME", keys);
    EXPECT_EQ(keys, QStringList({"key", "a"}));   // the line without '=' has no key

    ini.ReadSection("absent", keys);
    EXPECT_TRUE(keys.isEmpty());
    ini.ReadSectionValues("absent", lines);
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_EQ(ini.GetSection("absent"), nullptr);

    ini.Clear();
    EXPECT_TRUE(Strings(ini).isEmpty());
}

TEST(StringIniFile, WriteStringReplacesOrAppends)
{
    TStringIniFile ini;
    ini.SetText(QStringLiteral("[S]\r\none=1\r\ntwo=2\r\n[T]\r\nk=v\r\n"));
    ini.WriteString("New", "key", "value");   // new section and key: at the end
    ini.WriteString("s", "ONE", "eins");      // replaces in place, with the key as written
    ini.WriteString("S", "three", "3");       // new key: end of its section
    EXPECT_EQ(Strings(ini), QStringList({"[S]", "ONE=eins", "two=2", "three=3", "",
                                         "[T]", "k=v", "",
                                         "[New]", "key=value", ""}));
    EXPECT_TRUE(ini.SectionExists("new"));
    EXPECT_TRUE(ini.ValueExists("NEW", "KEY"));
    EXPECT_FALSE(ini.ValueExists("New", "other"));
    EXPECT_FALSE(ini.ValueExists("Other", "key"));
    ASSERT_NE(ini.GetSection("t"), nullptr);
    EXPECT_EQ(*ini.GetSection("t"), QStringList({"k=v"}));

    // A value never splits a line.
    ini.WriteString("T", "file", "a\r\nb\nc\rd");
    EXPECT_EQ(ini.ReadString("T", "file", ""), "a  b c d");
    EXPECT_EQ(*ini.GetSection("T"), QStringList({"k=v", "file=a  b c d"}));
}

TEST(StringIniFile, UmlautLookupsIgnoreCase)
{
    TStringIniFile ini;
    ini.SetStrings({"[Kanäle]", "Ärger=1", "Anzahl=729"});
    EXPECT_TRUE(ini.SectionExists("kanäle"));
    EXPECT_TRUE(ini.SectionExists("KANÄLE"));
    EXPECT_EQ(ini.ReadInteger("kanäle", "anzahl", 0), 729);
    EXPECT_EQ(ini.ReadString("KANÄLE", "ärger", ""), "1");
    ini.WriteString("KANÄLE", "ÄRGER", "2");
    EXPECT_EQ(Strings(ini), QStringList({"[Kanäle]", "ÄRGER=2", "Anzahl=729", ""}));
}

TEST(StringIniFile, LookupsFoldEveryLatin1CharacterAsQtDoes)
{
    // A key holding each Latin-1 character (and two beyond) is found by every
    // spelling that folds to the same text, and by no other.
    QStringList lines{"[S]"};
    QStringList keys;
    for (char16_t c = 0x21; c < 0x100; ++c)
        if (c != u'=' && c != u';' && c != u'[')
            keys << QStringLiteral("k") + QChar(c) + QStringLiteral("x");
    keys << QStringLiteral("\u212Aelvin") << QStringLiteral("\u017Fuppe");   // KELVIN SIGN, LONG S
    for (int i = 0; i < keys.size(); ++i)
        lines << keys.at(i) + QStringLiteral("=") + QString::number(i);
    TStringIniFile ini;
    ini.SetStrings(lines);
    for (int i = 0; i < keys.size(); ++i) {
        const QString& key = keys.at(i);
        for (const QString& spelling : {key, key.toUpper(), key.toLower(), key.toCaseFolded()}) {
            // The first key with the same fold is the one found ("SS" from 'ß' finds none).
            int first = 0;
            while (first < keys.size() && keys.at(first).toCaseFolded() != spelling.toCaseFolded())
                ++first;
            if (first == keys.size())
                first = -1;
            EXPECT_EQ(ini.ReadInteger(QStringLiteral("s"), spelling, -1), first) << spelling.toStdString();
            EXPECT_EQ(ini.ReadInteger(QStringView(u"S"), QStringView(spelling), -1), first) << spelling.toStdString();
        }
    }
    EXPECT_EQ(ini.ReadString("S", "KELVIN", ""), QString::number(keys.size() - 2));   // the sign folds to 'k'
    EXPECT_EQ(ini.ReadString("S", "kelvins", ""), "");
    EXPECT_EQ(ini.ReadString("S", "SUPPE", ""), QString::number(keys.size() - 1));
}

TEST(StringIniFile, KeyNumbersMarkEveryNumberAKeyEndsIn)
{
    TStringIniFile ini;
    ini.SetStrings({"[Kanäle]", "HF_12=1", "Name_007=x", "x_0=1", "CF_3_15=1;", "big_99999999999=1", "Ende=1", "7=1",
                    "[Leer]"});
    const std::vector<bool> numbers = ini.KeyNumbers(u"KANÄLE", 20);
    ASSERT_EQ(numbers.size(), 21u);
    std::vector<int> marked;
    for (int n = 0; n <= 20; ++n)
        if (numbers[static_cast<std::size_t>(n)])
            marked.push_back(n);
    EXPECT_EQ(marked, (std::vector<int>{0, 7, 12, 15}));   // "007" is not how 7 is written, CF_3_15 ends in 15
    EXPECT_EQ(ini.KeyNumbers(u"Leer", 5), std::vector<bool>(6, false));
    EXPECT_EQ(ini.KeyNumbers(u"fehlt", 5), std::vector<bool>(6, false));
    EXPECT_TRUE(ini.KeyNumbers(u"Kanäle", -3).empty());

    // The stack-built key is the number as QString::number writes it.
    EXPECT_EQ(TIniKey("HF_", -2147483647 - 1, "_x").ToString(), "HF_-2147483648_x");
    EXPECT_EQ(TIniKey("SZ_", 3, "_SZ_").Append(10).Append("_DAT").ToString(), "SZ_3_SZ_10_DAT");
}

TEST(StringIniFile, DuplicatesDeleteAndErase)
{
    TStringIniFile ini;
    ini.SetStrings({"[A]", "x=1", "y=0", "X=2", "[B]", "k=b1", "[b]", "k=b2"});
    ini.DeleteKey("a", "x");   // the first matching line
    EXPECT_EQ(ini.ReadString("A", "x", ""), "2");
    EXPECT_EQ(*ini.GetSection("A"), QStringList({"y=0", "X=2"}));
    ini.DeleteKey("A", "missing");
    ini.DeleteKey("missing", "x");
    EXPECT_EQ(ini.GetSection("A")->size(), 2);

    ini.EraseSection("b");   // the first section of that name goes, the second is found now
    EXPECT_EQ(ini.ReadString("B", "k", ""), "b2");
    ini.EraseSection("B");
    EXPECT_FALSE(ini.SectionExists("b"));
    ini.EraseSection("B");
    QStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, QStringList({"A"}));
    ini.WriteString("b", "n", "1");   // after the erase the new section is appended and found
    EXPECT_EQ(ini.ReadString("B", "n", ""), "1");
}

TEST(StringIniFile, ManyKeysStayFoundAfterDeletes)
{
    TStringIniFile ini;
    QStringList lines{"[Big]"};
    for (int i = 0; i < 5000; ++i)
        lines.append(QStringLiteral("K%1=%2").arg(i).arg(i * 3));
    ini.SetStrings(lines);
    for (int i = 0; i < 5000; i += 2)
        ini.DeleteKey("big", QStringLiteral("k%1").arg(i));
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(ini.ReadInteger("Big", QStringLiteral("K%1").arg(i), -1), i % 2 ? i * 3 : -1) << i;
    ini.WriteInteger("Big", "K4999", 7);
    EXPECT_EQ(ini.GetSection("Big")->last(), "K4999=7");
    EXPECT_EQ(ini.GetSection("Big")->size(), 2500);
}

TEST(StringIniFile, KeysFoundOnlyByTheirOwnFoldThroughDeletesOfRepeatedKeys)
{
    TStringIniFile ini;
    ini.SetStrings({"[S]", "a=b=c", "Name_1=eins", "x=1", "Name_10=zehn", "X=2", "ΣΟΦΙΑ=grc", "x=3", "ꙮ=ru"});
    const struct {
        const char16_t* key;
        const char* value;   // nullptr: not found
    } lookups[] = {
        {u"A", "b=c"}, {u"a=b", nullptr}, {u"name_1", "eins"}, {u"NAME_10", "zehn"}, {u"Name_", nullptr},
        {u"Name_100", nullptr}, {u"σοφια", "grc"}, {u"ΣΟΦΙ", nullptr}, {u"ꙮ", "ru"}, {u"x", "1"},
    };
    for (const auto& l : lookups) {
        const QString key = QString::fromUtf16(l.key);
        EXPECT_EQ(ini.ValueExists(u"s", key), l.value != nullptr) << key.toStdString();
        EXPECT_EQ(ini.ReadString("s", key, "-"), l.value ? QString::fromUtf8(l.value) : "-") << key.toStdString();
    }
    // Each delete takes the first line of the key; the next one is found, and the
    // keys after the deleted lines stay found.
    for (const char* next : {"2", "3", "-"}) {
        ini.DeleteKey("S", "X");
        EXPECT_EQ(ini.ReadString("S", "x", "-"), next);
        EXPECT_EQ(ini.ReadString("S", "name_10", "-"), "zehn");
        EXPECT_EQ(ini.ReadString("S", "ꙮ", "-"), "ru");
    }
    ini.WriteString("S", "x", "4");
    EXPECT_EQ(*ini.GetSection("S"), QStringList({"a=b=c", "Name_1=eins", "Name_10=zehn", "ΣΟΦΙΑ=grc", "ꙮ=ru", "x=4"}));
    std::vector<bool> numbers = ini.KeyNumbers(u"S", 10);
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), true), 2);   // 1 and 10
}

TEST(StringIniFile, IntegerAndBooleanReaders)
{
    TStringIniFile ini;
    ini.SetStrings({"[N]", "dec=42", "neg=-7", "plus=+7", "hex=0x1F", "HEX=0X1f", "neghex=-0x10",
                    "dollar=$10", "max=2147483647", "min=-2147483648", "over=2147483648",
                    "allbits=0xFFFFFFFF", "toolong=0x100000000", "word=Ja", "mixed=12abc", "float=1.5",
                    "empty=", "bare0x=0x", "sign=-", "zero=0", "one=1", "five=5", "minus1=-1",
                    "j=j", "J=J", "ja=Ja", "n=N"});
    EXPECT_EQ(ini.ReadInteger("N", "dec", 0), 42);
    EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -7);
    EXPECT_EQ(ini.ReadInteger("N", "plus", 0), 7);
    EXPECT_EQ(ini.ReadInteger("N", "hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("N", "neghex", 0), -16);
    EXPECT_EQ(ini.ReadInteger("N", "dollar", 0), 16);
    EXPECT_EQ(ini.ReadInteger("N", "max", 0), 2147483647);
    EXPECT_EQ(ini.ReadInteger("N", "min", 0), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("N", "over", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "allbits", 0), -1);
    EXPECT_EQ(ini.ReadInteger("N", "toolong", 5), 5);
    for (const char* bad : {"word", "mixed", "float", "empty", "bare0x", "sign", "absent"})
        EXPECT_EQ(ini.ReadInteger("N", bad, 99), 99) << bad;
    ini.WriteString("N", "blanks", "  12");
    EXPECT_EQ(ini.ReadInteger("N", "blanks", 0), 12);
    // A value set in memory is not trimmed as a loaded line is. The store reads its
    // integers as the shared reader does, so a leading tab or control character
    // counts like a blank (a loaded line would have lost it anyway); only trailing
    // characters make the text malformed.
    for (const char* text : {"\t12", "\x01 12", " \t-12", "12\t", "\t$1F", "\t"}) {
        ini.WriteString("N", "lead", QString::fromLatin1(text));
        int shared = 99;
        if (!TryStrToInt(QString::fromLatin1(text), shared))
            shared = 99;
        EXPECT_EQ(ini.ReadInteger("N", "lead", 99), shared) << text;
    }
    ini.WriteString("N", "lead", "\t12");
    EXPECT_EQ(ini.ReadInteger("N", "lead", 0), 12);
    EXPECT_TRUE(ini.ReadBool("N", "lead", false));
    ini.WriteInteger("N", "written", -123);
    EXPECT_EQ(ini.ReadString("N", "written", ""), "-123");

    // ReadBool reads an integer; a word gives the default.
    EXPECT_TRUE(ini.ReadBool("N", "word", true));
    EXPECT_FALSE(ini.ReadBool("N", "word", false));
    EXPECT_FALSE(ini.ReadBool("N", "zero", true));
    EXPECT_TRUE(ini.ReadBool("N", "one", false));
    EXPECT_TRUE(ini.ReadBool("N", "five", false));
    EXPECT_TRUE(ini.ReadBool("N", "minus1", false));
    EXPECT_TRUE(ini.ReadBool("N", "absent", true));
    ini.WriteBool("N", "b1", true);
    ini.WriteBool("N", "b0", false);
    EXPECT_EQ(ini.ReadString("N", "b1", ""), "1");
    EXPECT_EQ(ini.ReadString("N", "b0", ""), "0");

    // J/N: true only when the upper-cased value is exactly "J".
    EXPECT_TRUE(ini.ReadBoolJN("N", "j", false));
    EXPECT_TRUE(ini.ReadBoolJN("N", "J", false));
    EXPECT_FALSE(ini.ReadBoolJN("N", "ja", true));
    EXPECT_FALSE(ini.ReadBoolJN("N", "n", true));
    EXPECT_FALSE(ini.ReadBoolJN("N", "one", true));
    EXPECT_TRUE(ini.ReadBoolJN("N", "absent", true));
    EXPECT_FALSE(ini.ReadBoolJN("N", "absent", false));
    ini.WriteBoolJN("Master", "Ablauf", true);
    EXPECT_EQ(ini.ReadString("Master", "Ablauf", ""), "J");
    ini.WriteBoolJN("Master", "Ablauf", false);
    EXPECT_EQ(ini.ReadString("Master", "Ablauf", ""), "N");
}

TEST(StringIniFile, FileRoundTripKeepsUnknownContentAndOrder)
{
    TTempProgramDir dir;
    dir.Write("PV_TESSEL.ini",
              "; written by hand\r\n"
              "[FrmMain]\r\n"
              "PI_Main = 2\r\n"
              "Unbekannt=bleibt\r\n"
              "\r\n"
              "[Zukunft]\r\n"
              "Neu=1\r\n"
              "freie Zeile\r\n"
              "[Server]\r\n"
              "Port=22455\r\n");
    {
        TStringIniFile ini(dir.File("PV_TESSEL.ini"));
        EXPECT_EQ(ini.ReadInteger("FrmMain", "PI_Main", 0), 2);
        ini.WriteInteger("frmmain", "PI_Main", 3);
        ini.WriteBool("System", "MMTimer", false);
        ini.UpdateFile();
    }
    EXPECT_EQ(dir.Read("PV_TESSEL.ini"),
              QByteArray("[FrmMain]\r\nPI_Main=3\r\nUnbekannt=bleibt\r\n\r\n"
                         "[Zukunft]\r\nNeu=1\r\nfreie Zeile\r\n\r\n"
                         "[Server]\r\nPort=22455\r\n\r\n"
                         "[System]\r\nMMTimer=0\r\n\r\n"));

    // Reading the written file and writing it again changes nothing.
    const QByteArray first = dir.Read("PV_TESSEL.ini");
    TStringIniFile again(dir.File("PV_TESSEL.ini"));
    again.UpdateFile();
    EXPECT_EQ(dir.Read("PV_TESSEL.ini"), first);
}

TEST(StringIniFile, LineEndingsAndEncodingsOnRead)
{
    TTempProgramDir dir;
    dir.Write("lf.ini", "[Kan\xC3\xA4le]\nName=Sch\xC3\xBCtz\nX = 1\n");
    dir.Write("crlf.ini", "[Kan\xC3\xA4le]\r\nName=Sch\xC3\xBCtz\r\nX = 1\r\n");
    dir.Write("cr.ini", "[Kan\xC3\xA4le]\rName=Sch\xC3\xBCtz\rX = 1");
    dir.Write("bom.ini", "\xEF\xBB\xBF[Kan\xC3\xA4le]\r\nName=Sch\xC3\xBCtz\r\nX = 1\r\n");
    dir.Write("cp1252.ini", "[Kan\xE4le]\r\nName=Sch\xFCtz\r\nX = 1\r\n");
    const QStringList expected{"[Kanäle]", "Name=Schütz", "X=1", ""};
    for (const char* name : {"lf.ini", "crlf.ini", "cr.ini", "bom.ini", "cp1252.ini"}) {
        TStringIniFile ini(dir.File(name));
        EXPECT_EQ(Strings(ini), expected) << name;
        EXPECT_EQ(ini.ReadString("kanäle", "name", ""), "Schütz") << name;
    }

    dir.Write("euro.ini", "[Preis]\r\nBetrag=5 \x80\r\n");
    TStringIniFile euro(dir.File("euro.ini"));
    EXPECT_EQ(euro.ReadString("Preis", "Betrag", ""), "5 €");

    TStringIniFile missing(dir.File("missing.ini"));
    EXPECT_TRUE(Strings(missing).isEmpty());
    EXPECT_EQ(missing.FileName, dir.File("missing.ini"));
}

TEST(StringIniFile, WrittenFileIsCrLfAndWindows1252WhenItFits)
{
    TTempProgramDir dir;
    TStringIniFile ini(dir.File("out.ini"));
    ini.WriteString("Kanäle", "Preis", "5 €");
    ini.UpdateFile();
    EXPECT_EQ(dir.Read("out.ini"), QByteArray("[Kan\xE4le]\r\nPreis=5 \x80\r\n\r\n"));

    ini.WriteString("Kanäle", "Einheit", "Ω");   // no Windows-1252 byte: the whole file is UTF-8
    ini.UpdateFile();
    EXPECT_EQ(dir.Read("out.ini"),
              QByteArray("[Kan\xC3\xA4le]\r\nPreis=5 \xE2\x82\xAC\r\nEinheit=\xCE\xA9\r\n\r\n"));

    TStringIniFile back(dir.File("out.ini"));
    EXPECT_EQ(back.ReadString("KANÄLE", "einheit", ""), "Ω");
    EXPECT_EQ(back.ReadString("KANÄLE", "preis", ""), "5 €");
}

TEST(StringIniFile, ValueWithLineBreaksStaysOneLineInTheFile)
{
    TTempProgramDir dir;
    TStringIniFile ini(dir.File("out.ini"));
    ini.WriteString("Playlist", "Datei", "\"a\r\nb.wav\"");
    ini.WriteString("Playlist", "[Fake]", "x");
    ini.WriteString("Playlist", "Nach", "1");
    ini.UpdateFile();
    EXPECT_EQ(dir.Read("out.ini"), QByteArray("[Playlist]\r\nDatei=\"a  b.wav\"\r\n[Fake]=x\r\nNach=1\r\n\r\n"));
    TStringIniFile back(dir.File("out.ini"));
    EXPECT_EQ(back.ReadString("Playlist", "Datei", ""), "\"a  b.wav\"");
    EXPECT_EQ(back.ReadString("Playlist", "Nach", ""), "1");
    QStringList sections;
    back.ReadSections(sections);
    EXPECT_EQ(sections, QStringList({"Playlist"}));
}

TEST(StringIniFile, UpdateFileFailureRaisesAndKeepsOldFile)
{
    TTempProgramDir dir;

    // Without a file name there is nothing to write.
    TStringIniFile noFile;
    noFile.WriteString("A", "b", "c");
    EXPECT_NO_THROW(noFile.UpdateFile());
    EXPECT_TRUE(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // The target's folder is a file: nothing can be created there.
    dir.Write("blocker", "not a folder");
    TStringIniFile blocked(dir.File("blocker/PV_TESSEL.ini"));
    blocked.WriteString("A", "b", "c");
    try {
        blocked.UpdateFile();
        FAIL() << "no error raised";
    } catch (const EPvError& e) {
        EXPECT_TRUE(e.Message().contains(dir.File("blocker/PV_TESSEL.ini"))) << e.Message().toStdString();
    }

    // The disk fills up during the write: the old settings stay whole.
    const QByteArray old("[FrmMain]\r\nPI_Main=1\r\n\r\n");
    dir.Write("PV_TESSEL.ini", old);
    TStringIniFile ini(dir.File("PV_TESSEL.ini"));
    for (int i = 0; i < 3000; ++i)
        ini.WriteInteger("Viele", QStringLiteral("Schluessel%1").arg(i), i);
    {
        TFileSizeLimit limit(4096);
        EXPECT_THROW(ini.UpdateFile(), EPvError);
    }
    EXPECT_EQ(dir.Read("PV_TESSEL.ini"), old);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), QStringList({"PV_TESSEL.ini", "blocker"}));
    EXPECT_EQ(ini.ReadInteger("Viele", "Schluessel2999", 0), 2999);   // the store itself is unchanged
}
