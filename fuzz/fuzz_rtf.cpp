// The script's RTF reader on arbitrary bytes (the second part of a show file and
// imported text files). Whatever it loads must save, load and save again to the
// same bytes without a problem, and the paragraph count must not change.

#include "cues/uRtf.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Fonts (the document's default font) need a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument doc;
    LoadRichText(doc, bytes);
    const QByteArray written = SaveRichText(doc);

    QTextDocument again;
    const TRtfLoadResult result = LoadRichText(again, written);
    if (!result.WasRtf || !result.Ok())
        std::abort();
    if (SaveRichText(again) != written || again.blockCount() != doc.blockCount())
        std::abort();
    return 0;
}
