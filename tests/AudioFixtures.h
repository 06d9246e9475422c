#pragma once
// Audio fixtures made at test time: a sine generator and a RIFF/WAVE (integer
// PCM) writer. Header only, so tests, benchmarks and fuzz seeds can share it.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cmath>
#include <cstdint>
#include <vector>

// Interleaved integer samples at the full scale of bits (8 bits: unsigned,
// centred on 128, as WAV stores them). Channel c carries hz x (c + 1), so a
// swapped or dropped channel shows.
inline std::vector<int32_t> SineSamples(int rate, int channels, int bits, int frames, double hz = 440.0,
                                        double level = 0.5)
{
    std::vector<int32_t> out;
    out.reserve(size_t(frames) * size_t(channels));
    const double full = double((int64_t(1) << (bits - 1)) - 1);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double v = level * std::sin(2.0 * M_PI * hz * (c + 1) * i / rate);
            const int32_t s = int32_t(std::lrint(v * full));
            out.push_back(bits == 8 ? s + 128 : s);
        }
    return out;
}

// A WAV file's bytes: the 44-byte header (format tag 1) and the samples, each
// stored in bits / 8 little-endian bytes. dataBytes overrides the data chunk's
// size field (a header that claims more than the file holds).
inline QByteArray WavBytes(int rate, int channels, int bits, const std::vector<int32_t>& samples,
                           int64_t dataBytes = -1)
{
    const int bytesPerSample = bits / 8;
    const uint32_t data = uint32_t(samples.size() * size_t(bytesPerSample));
    const uint32_t claimed = dataBytes < 0 ? data : uint32_t(dataBytes);
    QByteArray b;
    auto put = [&b](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    b.append("RIFF");
    put(36 + claimed, 4);
    b.append("WAVEfmt ");
    put(16, 4);
    put(1, 2);
    put(uint32_t(channels), 2);
    put(uint32_t(rate), 4);
    put(uint32_t(rate * channels * bytesPerSample), 4);
    put(uint32_t(channels * bytesPerSample), 2);
    put(uint32_t(bits), 2);
    b.append("data");
    put(claimed, 4);
    for (int32_t s : samples)
        put(uint32_t(s), bytesPerSample);
    return b;
}

inline bool WriteWav(const QString& path, int rate, int channels, int bits, const std::vector<int32_t>& samples)
{
    QFile f(path);
    const QByteArray bytes = WavBytes(rate, channels, bits, samples);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
