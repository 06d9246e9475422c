// Decoding speed of libmediadec: a 3-minute stereo file at 44.1 kHz, encoded
// at start through FFmpeg (MP3 at 128 kbit/s through libmp3lame, and FLAC),
// decoded from memory through the ac_ entries the way the player's decoder
// calls them, to the end. The counter xRealTime is seconds of audio decoded
// per second of wall time.

#include "AudioFixtures.h"
#include "MediaDecSession.h"
#include "MediaEncode.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 180;

QByteArray Encoded(const TEncodeFormat& format)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.") + format.Container);
    QString error;
    if (!EncodeAudio(path, format, kRate, 2, 16, SineSamples(kRate, 2, 16, kRate * kSeconds, 330.0), &error)) {
        std::fprintf(stderr, "encoding %s failed: %s\n", format.Encoder, qPrintable(error));
        return {};
    }
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void DecodeWhole(benchmark::State& state, const QByteArray& file)
{
    if (file.isEmpty()) {
        state.SkipWithError("no fixture");
        return;
    }
    double audioSeconds = 0;
    for (auto _ : state) {
        TMediaDecSession s(file.constData(), size_t(file.size()));
        int64_t bytes = 0;
        std::vector<uint8_t>* none = nullptr;
        while (s.Opened() && s.Next(none) != 2)
            bytes += s.Decoder->buffer_size;
        audioSeconds += s.Opened() ? double(bytes) / s.FrameBytes() / kRate : 0.0;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["xRealTime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

void BM_DecodeMp3(benchmark::State& state)
{
    static const QByteArray file = Encoded(kMp3);
    DecodeWhole(state, file);
}
BENCHMARK(BM_DecodeMp3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeFlac(benchmark::State& state)
{
    static const QByteArray file = Encoded(kFlac);
    DecodeWhole(state, file);
}
BENCHMARK(BM_DecodeFlac)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
