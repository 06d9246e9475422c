// libmediadec over fixtures made at test time: WAV written here, FLAC and MP3
// encoded through FFmpeg (libmp3lame for MP3).
#include "AudioFixtures.h"
#include "MediaDecSession.h"
#include "MediaEncode.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace {

// What the library hands out for integer samples of bits: 16-bit integers
// for up to 16 bits, floats in -1..1 above.
std::vector<int16_t> ExpectedS16(const std::vector<int32_t>& samples, int bits)
{
    std::vector<int16_t> out;
    for (int32_t s : samples)
        out.push_back(int16_t(bits == 8 ? (s - 128) * 256 : s));
    return out;
}

std::vector<float> ExpectedFloat(const std::vector<int32_t>& samples, int bits)
{
    std::vector<float> out;
    for (int32_t s : samples)
        out.push_back(float(double(s) / double(int64_t(1) << (bits - 1))));
    return out;
}

template <typename T> std::vector<T> As(const std::vector<uint8_t>& bytes)
{
    std::vector<T> out(bytes.size() / sizeof(T));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
}

// Encodes samples into a file of the temporary folder and returns its bytes.
QByteArray Encoded(const TEncodeFormat& format, int rate, int channels, int bits, const std::vector<int32_t>& samples)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fixture.") + format.Container);
    QString error;
    if (!EncodeAudio(path, format, rate, channels, bits, samples, &error)) {
        ADD_FAILURE() << "encoding " << format.Encoder << ": " << error.toStdString();
        return {};
    }
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Checks decoded bytes against the samples they came from, exactly.
void ExpectSamples(const std::vector<uint8_t>& decoded, int outBits, const std::vector<int32_t>& samples, int bits,
                   size_t firstSample = 0)
{
    if (outBits == 16) {
        const auto got = As<int16_t>(decoded);
        const auto want = ExpectedS16(samples, bits);
        ASSERT_LE(firstSample + got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], want[firstSample + i]) << "sample " << firstSample + i;
    } else {
        const auto got = As<float>(decoded);
        const auto want = ExpectedFloat(samples, bits);
        ASSERT_LE(firstSample + got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_FLOAT_EQ(got[i], want[firstSample + i]) << "sample " << firstSample + i;
    }
}

struct TPcmCase {
    const char* Name;
    bool Flac;  // encoded to FLAC, else a WAV file
    int Rate, Channels, Bits, OutBits;
};

const TPcmCase kPcmCases[] = {
    {"wav 16-bit stereo", false, 44100, 2, 16, 16},
    {"wav 16-bit mono 48 kHz", false, 48000, 1, 16, 16},
    {"wav 8-bit stereo", false, 22050, 2, 8, 16},
    {"wav 24-bit stereo", false, 44100, 2, 24, 32},
    {"wav 32-bit integer", false, 44100, 2, 32, 32},
    {"wav 16-bit six channels", false, 48000, 6, 16, 16},
    {"flac 16-bit stereo", true, 44100, 2, 16, 16},
    {"flac 24-bit stereo", true, 48000, 2, 24, 32},
    {"flac 16-bit mono", true, 22050, 1, 16, 16},
};

} // namespace

// Lossless sources come out sample for sample, in the right format, with their
// exact length, the first block at timecode 0; the length is known up front.
TEST(MediaDec, LosslessSourcesDecodeExactly)
{
    for (const TPcmCase& c : kPcmCases) {
        SCOPED_TRACE(c.Name);
        const int frames = c.Rate * 5 / 2 + 17;  // 2.5 s and a partial block
        const auto samples = SineSamples(c.Rate, c.Channels, c.Bits, frames);
        const QByteArray file = c.Flac ? Encoded(kFlac, c.Rate, c.Channels, c.Bits, samples)
                                       : WavBytes(c.Rate, c.Channels, c.Bits, samples);
        TMediaDecSession s(file.constData(), size_t(file.size()));
        ASSERT_TRUE(s.Opened());
        EXPECT_EQ(s.Decoder->samples_per_second, c.Rate);
        EXPECT_EQ(s.Decoder->channels, c.Channels);
        ASSERT_EQ(s.Decoder->bits_per_sample, c.OutBits);
        EXPECT_NEAR(double(s.Instance->duration_ms), frames * 1000.0 / c.Rate, 1.0);

        std::vector<uint8_t> first;
        double timecode = -1;
        while (s.Next(&first, &timecode) == 0) {
        }
        EXPECT_EQ(timecode, 0.0);
        std::vector<uint8_t> all = first;
        const auto rest = s.ReadAll();
        all.insert(all.end(), rest.begin(), rest.end());
        EXPECT_TRUE(s.Ended);
        ASSERT_EQ(all.size(), size_t(frames) * size_t(s.FrameBytes()));
        ExpectSamples(all, c.OutBits, samples, c.Bits);
    }
}

// A lossy file of known length decodes to that length within 50 ms (the
// delayed frames at the end come out through the drain package), as float.
TEST(MediaDec, Mp3HasItsLength)
{
    const int rate = 44100;
    for (int seconds : {1, 3}) {
        SCOPED_TRACE(seconds);
        const QByteArray file = Encoded(kMp3, rate, 2, 16, SineSamples(rate, 2, 16, rate * seconds));
        for (bool seekable : {true, false}) {
            TMediaDecSession s(file.constData(), size_t(file.size()), seekable);
            ASSERT_TRUE(s.Opened());
            EXPECT_EQ(s.Decoder->bits_per_sample, 32);
            // Without seeking the header's length may stay unknown.
            if (seekable || s.Instance->duration_ms != -1) {
                EXPECT_NEAR(double(s.Instance->duration_ms), seconds * 1000.0, 50.0);
            }
            const auto all = s.ReadAll();
            EXPECT_TRUE(s.Ended);
            EXPECT_NEAR(all.size() / double(s.FrameBytes()) / rate * 1000.0, seconds * 1000.0, 50.0);
        }
    }
}

// A seek lands on its target, forward and back, whatever the direction hint
// says: the next block's timecode is the target's and (lossless) its first
// sample is the target's sample.
TEST(MediaDec, SeekLandsOnTheTarget)
{
    const int rate = 44100, channels = 2;
    const auto samples = SineSamples(rate, channels, 16, rate * 4, 441.0);
    const struct {
        const char* Name;
        QByteArray File;
        bool Exact;
    } files[] = {
        {"wav", WavBytes(rate, channels, 16, samples), true},
        {"flac", Encoded(kFlac, rate, channels, 16, samples), true},
        {"mp3", Encoded(kMp3, rate, channels, 16, samples), false},
    };
    const struct {
        int64_t Target;
        int32_t Direction;
    } seeks[] = {{1000, 0}, {2345, 0}, {500, 0}, {3999, -1}, {0, -1}, {1777, -1}, {0, 0}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.Name);
        TMediaDecSession s(f.File.constData(), size_t(f.File.size()));
        ASSERT_TRUE(s.Opened());
        s.Next(nullptr);
        for (const auto& k : seeks) {
            SCOPED_TRACE(k.Target);
            ASSERT_EQ(ac_seek(s.Decoder, k.Direction, k.Target), 1);
            std::vector<uint8_t> block;
            double timecode = -1;
            int r;
            while ((r = s.Next(&block, &timecode)) == 0) {
            }
            ASSERT_EQ(r, 1);
            if (f.Exact) {
                // The first sample is the one nearest the target.
                const size_t frame = size_t((k.Target * rate + 500) / 1000);
                EXPECT_DOUBLE_EQ(timecode, double(frame) / rate);
                ExpectSamples(block, 16, samples, 16, frame * channels);
            } else {
                EXPECT_NEAR(timecode, k.Target / 1000.0, 0.001);
            }
        }
        // The source was only ever asked for absolute, relative and end moves.
        for (int32_t origin : s.FSource.Origins)
            EXPECT_TRUE(origin >= 0 && origin <= 2) << origin;
    }
}

// A source that cannot seek still plays; a seek on it is refused and changes
// nothing.
TEST(MediaDec, SourceWithoutSeekPlaysAndRefusesSeeks)
{
    const auto samples = SineSamples(44100, 2, 16, 44100);
    for (const QByteArray& file : {WavBytes(44100, 2, 16, samples), Encoded(kFlac, 44100, 2, 16, samples)}) {
        TMediaDecSession s(file.constData(), size_t(file.size()), false);
        ASSERT_TRUE(s.Opened());
        std::vector<uint8_t> all;
        ASSERT_EQ(s.Next(&all), 1);
        EXPECT_EQ(ac_seek(s.Decoder, 0, 500), 0);
        const auto rest = s.ReadAll();
        all.insert(all.end(), rest.begin(), rest.end());
        ExpectSamples(all, 16, samples, 16);
        EXPECT_EQ(all.size(), samples.size() * 2);
    }
}

// Damaged, empty, foreign or hostile input fails to open or ends early: no
// crash, no endless loop, never more audio than the intact file holds.
TEST(MediaDec, BadInputFailsOrEnds)
{
    const int rate = 44100;
    const auto samples = SineSamples(rate, 2, 16, rate * 3);
    const QByteArray flac = Encoded(kFlac, rate, 2, 16, samples);
    const QByteArray mp3 = Encoded(kMp3, rate, 2, 16, samples);
    std::mt19937 random(20261209);
    auto noise = [&random](int n) {
        QByteArray b(n, 0);
        for (char& c : b)
            c = char(random());
        return b;
    };
    QByteArray damagedFlac = flac;
    damagedFlac.replace(flac.size() / 3, 8192, noise(8192));
    QByteArray cdTrack = WavBytes(44100, 2, 16, {}).left(44);
    cdTrack.replace(8, 4, "CDDA");

    enum { MustFail, MayOpen } ;
    const struct {
        const char* Name;
        QByteArray Bytes;
        int Expect;
    } cases[] = {
        {"empty", QByteArray(), MustFail},
        {"one byte", QByteArray(1, 'R'), MustFail},
        {"text", QByteArray("Szene 1\r\nSzene 2\r\n").repeated(50), MustFail},
        {"cd track file", cdTrack, MustFail},
        {"random bytes", noise(256 * 1024), MayOpen},
        {"mp3 frame sync then random bytes", QByteArray("\xFF\xFB\x90\x64", 4) + noise(128 * 1024), MayOpen},
        {"ID3 tag then random bytes", QByteArray("ID3\x04\x00\x00\x00\x00\x00\x10", 10) + noise(64 * 1024), MayOpen},
        {"flac cut in half", flac.left(flac.size() / 2), MayOpen},
        {"flac header only", flac.left(200), MayOpen},
        {"flac with a damaged middle", damagedFlac, MayOpen},
        {"mp3 cut in half", mp3.left(mp3.size() / 2), MayOpen},
        {"wav claiming 4 GB", WavBytes(rate, 2, 16, samples, 0xFFFFFF00), MayOpen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (bool seekable : {true, false}) {
            TMediaDecSession s(c.Bytes.constData(), size_t(c.Bytes.size()), seekable);
            if (c.Expect == MustFail) {
                EXPECT_FALSE(s.Instance->opened);
                EXPECT_EQ(s.Instance->stream_count, 0);
                EXPECT_EQ(s.Decoder, nullptr);
                continue;
            }
            if (!s.Opened())
                continue;
            const auto all = s.ReadAll(200000);
            EXPECT_TRUE(s.Ended);
            EXPECT_LE(all.size() / size_t(s.FrameBytes()), size_t(rate) * 3 + 4096);
        }
    }
}

namespace {
std::set<void*> gLive;
int gAllocations = 0;
void* CountingAlloc(size_t n)
{
    void* p = std::malloc(n);
    gLive.insert(p);
    ++gAllocations;
    return p;
}
void* CountingRealloc(void* old, size_t n)
{
    if (old && !gLive.erase(old))
        ADD_FAILURE() << "reallocated a block the manager never handed out";
    void* p = std::realloc(old, n);
    gLive.insert(p);
    ++gAllocations;
    return p;
}
void CountingFree(void* p)
{
    if (p && !gLive.erase(p))
        ADD_FAILURE() << "freed a block the manager never handed out";
    std::free(p);
}
} // namespace

// The library's records and buffers come from the memory functions handed
// over, and every one goes back, also on the paths that fail or end early.
TEST(MediaDec, RecordsUseTheHandedOverMemoryFunctions)
{
    const auto samples = SineSamples(44100, 2, 16, 44100);
    const QByteArray wav = WavBytes(44100, 2, 16, samples);
    ac_mem_mgr(CountingAlloc, CountingRealloc, CountingFree);
    for (const QByteArray& file : {wav, wav.left(30), QByteArray()}) {
        {
            TMediaDecSession s(file.constData(), size_t(file.size()));
            s.ReadAll(10);
            if (s.Decoder)
                ac_seek(s.Decoder, 0, 100);
            s.Next(nullptr);
        }
        EXPECT_TRUE(gLive.empty()) << gLive.size() << " blocks left";
    }
    ac_mem_mgr(std::malloc, std::realloc, std::free);
    EXPECT_GT(gAllocations, 0);
}

// Calls out of order or with nothing are refused instead of crashing: before
// ac_open, a second decoder on one instance, the instance freed before its
// decoder.
TEST(MediaDec, CallsOutOfOrderAreRefused)
{
    ac_instance* unopened = ac_init();
    ac_stream_info info{};
    EXPECT_EQ(ac_get_stream_info(unopened, 0, &info), 0);
    EXPECT_EQ(ac_create_decoder(unopened, 0), nullptr);
    EXPECT_EQ(ac_read_package(unopened), nullptr);
    EXPECT_EQ(ac_decode_package(nullptr, nullptr), 0);
    EXPECT_EQ(ac_seek(nullptr, 0, 0), 0);
    EXPECT_EQ(ac_open(unopened, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    ac_free(unopened);
    ac_free(nullptr);
    ac_free_decoder(nullptr);
    ac_free_package(nullptr);

    const QByteArray wav = WavBytes(8000, 1, 16, SineSamples(8000, 1, 16, 8000));
    auto* s = new TMediaDecSession(wav.constData(), size_t(wav.size()));
    ASSERT_TRUE(s->Opened());
    EXPECT_EQ(ac_create_decoder(s->Instance, s->Decoder->stream_index), nullptr);
    EXPECT_EQ(ac_create_decoder(s->Instance, 7), nullptr);
    EXPECT_EQ(ac_get_stream_info(s->Instance, -1, &info), 0);
    ac_free(s->Instance);
    s->Instance = nullptr;
    EXPECT_EQ(ac_seek(s->Decoder, 0, 10), 0);
    ac_free_decoder(s->Decoder);
    s->Decoder = nullptr;
    delete s;
}
