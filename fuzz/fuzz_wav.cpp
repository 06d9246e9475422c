// The WAV decoder on any bytes: the header reader, every block to the end, and
// a seek chosen by the input.

#include "FuzzEngine.h"

#include "audio/uAuProtocol.h"
#include "audio/uAuWAV.h"

#include <QBuffer>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = FuzzBytes(data, size);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TAuStreamProtocol protocol(&buffer);
    TAuWAVDecoder decoder(&protocol);
    if (!decoder.OpenDecoder())
        return 0;
    TAuDriverParameters info;
    decoder.GetInfo(info);
    if (info.Channels <= 0 || info.Frequency <= 0 || (info.BitDepth != 8 && info.BitDepth != 16))
        std::abort();
    decoder.GetLength();
    // The bytes bound the blocks: a header claiming more data ends where the bytes end.
    std::int64_t total = 0;
    for (int pass = 0; pass < 2; ++pass) {
        while (decoder.Decode() == audData) {
            TAuDecoderData block;
            decoder.GetData(block);
            total += block.Size;
            if (block.Size <= 0 || total > 2 * static_cast<std::int64_t>(size))
                std::abort();
        }
        decoder.SeekTo(0, size > 0 ? data[0] * 10 : 0);
    }
    return 0;
}
