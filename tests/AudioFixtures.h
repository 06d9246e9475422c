#pragma once
// WAV files written by the tests: 16-bit stereo at 44.1 kHz with samples the
// test chooses, and the PCM bytes of such a file.

#include <QByteArray>

#include <functional>

namespace AudioFixtures {

constexpr int Rate = 44100;

inline QByteArray Le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

// A 16-bit stereo WAV of frames frames; sample(frame, channel) gives the values.
inline QByteArray Wav16(int frames, const std::function<qint16(int, int)>& sample)
{
    QByteArray data;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c)
            data.append(Le(static_cast<quint16>(sample(f, c)), 2));
    const QByteArray fmt = Le(1, 2) + Le(2, 2) + Le(Rate, 4) + Le(Rate * 4, 4) + Le(4, 2) + Le(16, 2);
    const QByteArray body = "WAVEfmt " + Le(16, 4) + fmt + "data" + Le(static_cast<quint32>(data.size()), 4) + data;
    return "RIFF" + Le(static_cast<quint32>(body.size()), 4) + body;
}

}   // namespace AudioFixtures
