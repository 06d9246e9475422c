// The WAV decoder on header bytes made here: which files it plays, what it
// refuses, and where reading and seeking end.

#include "audio/uAuProtocol.h"
#include "audio/uAuWAV.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QBuffer>
#include <QtEndian>

namespace {

struct TWavShape {
    quint16 tag = 1;
    quint16 channels = 2;
    quint32 rate = 44100;
    quint16 bits = 16;
    quint32 fmtSize = 16;
    QByteArray between;            // a chunk between "fmt " and "data"
    quint32 claimedData = 0;       // 0: the real size
    QByteArray data = QByteArray(400, '\x01');
};

QByteArray Le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

QByteArray MakeWav(const TWavShape& s)
{
    QByteArray fmt = Le(s.tag, 2) + Le(s.channels, 2) + Le(s.rate, 4) + Le(s.rate * s.channels * s.bits / 8, 4)
                     + Le(s.channels * s.bits / 8, 2) + Le(s.bits, 2);
    fmt.append(QByteArray(static_cast<int>(s.fmtSize) - 16, '\0'));
    QByteArray body = "WAVE" + QByteArray("fmt ") + Le(s.fmtSize, 4) + fmt + s.between + "data"
                      + Le(s.claimedData ? s.claimedData : static_cast<quint32>(s.data.size()), 4) + s.data;
    return "RIFF" + Le(static_cast<quint32>(body.size()), 4) + body;
}

struct TOpened {
    explicit TOpened(const QByteArray& bytes) : buffer(&data), protocol(&buffer), decoder(&protocol)
    {
        data = bytes;
        buffer.open(QIODevice::ReadOnly);
    }
    QByteArray data;
    QBuffer buffer;
    TAuStreamProtocol protocol;
    TAuWAVDecoder decoder;
};

} // namespace

TEST(AudioWav, AcceptsOnlyPlayablePcmHeaders)
{
    struct {
        const char* what;
        void (*shape)(TWavShape&);
        bool accepted;
    } const cases[] = {
        {"16-bit stereo", [](TWavShape&) {}, true},
        {"8-bit mono", [](TWavShape& s) { s.channels = 1, s.bits = 8; }, true},
        {"18-byte fmt chunk", [](TWavShape& s) { s.fmtSize = 18; }, true},
        {"float format tag", [](TWavShape& s) { s.tag = 3, s.bits = 32; }, false},
        {"24-bit integer", [](TWavShape& s) { s.bits = 24; }, false},
        {"32-bit integer", [](TWavShape& s) { s.bits = 32; }, false},
        {"zero channels", [](TWavShape& s) { s.channels = 0; }, false},
        {"zero rate", [](TWavShape& s) { s.rate = 0; }, false},
        {"list chunk of 26 bytes before data",
         [](TWavShape& s) { s.between = "LIST" + Le(18, 4) + QByteArray(18, 'x'); }, false},
    };
    for (const auto& c : cases) {
        TWavShape shape;
        c.shape(shape);
        TOpened wav(MakeWav(shape));
        EXPECT_EQ(wav.decoder.OpenDecoder(), c.accepted) << c.what;
    }
    for (const QByteArray& junk : {QByteArray(), QByteArray("RIFF"), MakeWav({}).left(30)}) {
        TOpened wav(junk);
        EXPECT_FALSE(wav.decoder.OpenDecoder());
        EXPECT_EQ(wav.decoder.Decode(), audEnd);
    }
}

TEST(AudioWav, LengthBlocksAndSeek)
{
    TWavShape second;
    second.data = QByteArray(176400, '\0');
    TOpened wav(MakeWav(second));
    ASSERT_TRUE(wav.decoder.OpenDecoder());
    EXPECT_EQ(wav.decoder.GetLength(), 1000);

    ASSERT_EQ(wav.decoder.Decode(), audData);
    TAuDecoderData block;
    wav.decoder.GetData(block);
    EXPECT_EQ(block.Size, 512 * 4);
    EXPECT_EQ(block.Timecode, 0);

    ASSERT_TRUE(wav.decoder.SeekTo(0, 500));
    ASSERT_EQ(wav.decoder.Decode(), audData);
    wav.decoder.GetData(block);
    EXPECT_EQ(block.Timecode, 500);

    ASSERT_TRUE(wav.decoder.SeekTo(0, 5000));   // beyond the end: at the end
    EXPECT_EQ(wav.decoder.Decode(), audEnd);
}

TEST(AudioWav, BlocksOfManyChannelsStayWholeFramesOfBoundedSize)
{
    // 65535 channels: a frame is 131070 bytes; a block is one whole frame, not 512.
    // 600 channels: 1200 bytes a frame; a block is the whole frames that fit 64 KiB.
    for (const quint16 channels : {quint16(65535), quint16(600)}) {
        SCOPED_TRACE(channels);
        TWavShape many;
        many.channels = channels;
        many.data = QByteArray(3 * 131070, '\x02');
        TOpened wav(MakeWav(many));
        ASSERT_TRUE(wav.decoder.OpenDecoder());
        ASSERT_EQ(wav.decoder.Decode(), audData);
        TAuDecoderData block;
        wav.decoder.GetData(block);
        const int frame = channels * 2;
        EXPECT_EQ(block.Size, std::max(1, 65536 / frame) * frame);
    }
}

TEST(AudioWav, TruncatedDataEndsWhereTheBytesEnd)
{
    TWavShape huge;
    huge.claimedData = 0xFFFFFFF0u;   // claims 4 GB, holds 400 bytes
    TOpened wav(MakeWav(huge));
    ASSERT_TRUE(wav.decoder.OpenDecoder());
    qint64 total = 0;
    int blocks = 0;
    while (wav.decoder.Decode() == audData && blocks < 100) {
        TAuDecoderData block;
        wav.decoder.GetData(block);
        total += block.Size;
        ++blocks;
    }
    EXPECT_EQ(total, 400);
}
