#include "framework/uTextCodec.h"

#include "framework/uAtomicFile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same number, so
// that every byte decodes and encodes back to itself.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,   // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,   // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,   // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,   // 0x98
};

// The Windows-1252 byte of one UTF-16 unit, or -1 when it has none.
int Cp1252Byte(char16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == u)
            return 0x80 + i;
    return -1;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

} // namespace

bool IsValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int follow;                              // continuation bytes after the lead byte
        unsigned char lo = 0x80, hi = 0xBF;      // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            follow = 1;
        } else if (b == 0xE0) {
            follow = 2; lo = 0xA0;               // no overlong 3-byte forms
        } else if (b == 0xED) {
            follow = 2; hi = 0x9F;               // no surrogates U+D800..U+DFFF
        } else if (b >= 0xE1 && b <= 0xEF) {
            follow = 2;
        } else if (b == 0xF0) {
            follow = 3; lo = 0x90;               // no overlong 4-byte forms
        } else if (b >= 0xF1 && b <= 0xF3) {
            follow = 3;
        } else if (b == 0xF4) {
            follow = 3; hi = 0x8F;               // nothing above U+10FFFF
        } else {
            return false;                        // 0x80..0xC1 and 0xF5..0xFF never lead
        }
        if (n - i - 1 < follow)
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= follow; ++k)
            if (!IsContinuation(p[i + k]))
                return false;
        i += follow + 1;
    }
    return true;
}

QString DecodeWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char b = p[i];
        out[i] = (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

bool EncodeWindows1252(const QString& text, QByteArray& out)
{
    out.resize(text.size());
    char* dst = out.data();
    const char16_t* src = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = Cp1252Byte(src[i]);
        if (b < 0) {
            out.clear();
            return false;
        }
        dst[i] = char(b);
    }
    return true;
}

QString DecodeText(const QByteArray& bytes)
{
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    if (IsValidUtf8(body)) {
        // Exactly one byte order mark goes; a second one is text (U+FEFF).
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return utf8.decode(body);
    }
    return DecodeWindows1252(body);
}

namespace {
bool HasHighByte(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}
}

QByteArray EncodeText(const QString& text)
{
    QByteArray bytes;
    // Windows-1252 bytes that happen to form valid UTF-8 (such as "Ã¤") would be
    // read back as other text; such text is written as UTF-8 instead.
    if (EncodeWindows1252(text, bytes) && !(IsValidUtf8(bytes) && HasHighByte(bytes)))
        return bytes;
    return text.toUtf8();
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QString JoinLinesCrLf(const QStringList& lines)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    QString text;
    text.reserve(size);
    for (const QString& line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

bool ReadTextFile(const QString& path, QString& text)
{
    text.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    text = DecodeText(bytes);
    return true;
}

void WriteTextFileAtomic(const QString& path, const QStringList& lines)
{
    WriteBytesAtomic(path, EncodeText(JoinLinesCrLf(lines)));
}
