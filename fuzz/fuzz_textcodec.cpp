// The text codec at every boundary between bytes and text, and the line
// splitting that every text file goes through.

#include "FuzzEngine.h"

#include "framework/uTextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    const QByteArray bytes = FuzzBytes(data, size);
    const QString text = DecodeText(bytes);

    // Valid UTF-8 is what Qt decodes and encodes back unchanged (the leading 'A'
    // keeps Qt from dropping a byte order mark).
    const QByteArray prefixed = QByteArray("A") + bytes;
    if (IsValidUtf8(bytes) && QString::fromUtf8(prefixed).toUtf8() != prefixed)
        std::abort();

    // Text encoded and decoded again is unchanged when its encoding cannot be
    // mistaken for the other one.
    const QByteArray encoded = EncodeText(text);
    QByteArray cp1252;
    if (!EncodeWindows1252(text, cp1252) && DecodeText(encoded) != text && !text.startsWith(QChar(0xFEFF)))
        std::abort();
    if (DecodeWindows1252(bytes).size() != bytes.size())
        std::abort();

    // Lines joined with CR LF split into the same lines again.
    const QStringList lines = SplitLines(text);
    for (const QString& line : lines)
        if (line.contains(u'\r') || line.contains(u'\n'))
            std::abort();
    if (SplitLines(JoinLinesCrLf(lines)) != lines)
        std::abort();
    return 0;
}
