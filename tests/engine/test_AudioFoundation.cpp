// The audio engine's foundation: registry lookups, the bucket queue, location
// splitting and the sample conversions.

#include "audio/uAcBuffer.h"
#include "audio/uAcClasses.h"
#include "audio/uAcUtils.h"
#include "audio/uAuDecoder.h"
#include "audio/uAuTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct TFakeWav : TAuDecoder {
    static constexpr const char* ClassName = "TAuWAVDecoder";
    using ClassBase = TAuDecoder;
};
struct TFakeCda : TFakeWav {
    static constexpr const char* ClassName = "TAuCDADecoder";
    using ClassBase = TFakeWav;
};
struct TFakeLonger : TAcPersistent {
    static constexpr const char* ClassName = "TAuDecoderX";
    using ClassBase = TAcPersistent;
};

TAcCreator Nothing()
{
    return [](TAuProtocol*) { return std::unique_ptr<TAcPersistent>(); };
}

} // namespace

TEST(AudioRegistry, EnumerateFindsDescendantsByWholePathComponent)
{
    EXPECT_EQ(AudioClassPath<TFakeCda>(), "TAcPersistent.TAuDecoder.TAuWAVDecoder.TAuCDADecoder");
    TAcRegistrationServer server;
    server.Register("TAuDecoderX", AudioClassPath<TFakeLonger>(), Nothing());
    server.Register("TAuWAVDecoder", AudioClassPath<TFakeWav>(), Nothing());
    server.Register("TAuCDADecoder", AudioClassPath<TFakeCda>(), Nothing());
    std::vector<std::string> found;
    server.Enumerate("TAuDecoder", [&](const TAcRegistrationEntry& e) { found.push_back(e.ClassName); });
    EXPECT_EQ(found, (std::vector<std::string>{"TAuWAVDecoder", "TAuCDADecoder"}));

    EXPECT_NE(server.FindCreator("TAuWAVDecoder"), nullptr);
    EXPECT_EQ(server.FindCreator("tauwavdecoder"), nullptr);
    EXPECT_FALSE(ClassPathContains("TAu", "TAuDecoder"));
    EXPECT_TRUE(ClassPathContains("TAuDecoder", "TAuDecoder"));
}

TEST(AudioBuffer, ReadsAcrossBucketsAndRecyclesThem)
{
    TAcBuffer buffer;
    char out[16] = {};
    EXPECT_EQ(buffer.Read(out, 4), 0);
    EXPECT_EQ(buffer.CurrentTag(), 0);

    buffer.Write("abc", 3, 10);
    buffer.Write("defg", 4, 20);
    EXPECT_EQ(buffer.Read(out, 5), 5);
    EXPECT_EQ(std::string(out, 5), "abcde");
    EXPECT_EQ(buffer.CurrentTag(), 20);
    EXPECT_EQ(buffer.Read(out, 10), 2);   // more than Size gives Size
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Read(out, 1), 0);
    EXPECT_EQ(buffer.CurrentTag(), 20);

    // Steady writing and reading reuses the two buckets.
    for (int i = 0; i < 100; ++i) {
        buffer.Write("xy", 2, i);
        ASSERT_EQ(buffer.Read(out, 2), 2);
    }
    EXPECT_EQ(buffer.BucketCount(), 2u);
    buffer.Write("z", 1, 5);
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Written(), 0);
    EXPECT_EQ(buffer.CurrentTag(), 99);   // Clear keeps the tag
}

TEST(AudioUrl, SplitsLocations)
{
    struct {
        const char* url;
        const char *protocol, *host, *port, *path, *query, *fullPath, *user, *password;
    } const cases[] = {
        {"cdda://D/?track=3", "cdda", "D", "80", "/", "track=3", "/?track=3", "", ""},
        {"HTTPS://example.org", "HTTPS", "example.org", "443", "/", "", "/", "", ""},
        {"", "", "localhost", "80", "/", "", "/", "", ""},
        {"ftp://me:pw@host:2121/a/b?x=1", "ftp", "host", "2121", "/a/b", "x=1", "/a/b?x=1", "me", "pw"},
        {"http://[::1]:8080/p", "http", "::1", "8080", "/p", "", "/p", "", ""},
        {"http://host/a@b", "http", "host", "80", "/a@b", "", "/a@b", "", ""},
    };
    for (const auto& c : cases) {
        const TAcURLParts parts = SplitURL(QString::fromLatin1(c.url));
        SCOPED_TRACE(c.url);
        EXPECT_EQ(parts.Protocol, QLatin1String(c.protocol));
        EXPECT_EQ(parts.Host, QLatin1String(c.host));
        EXPECT_EQ(parts.Port, QLatin1String(c.port));
        EXPECT_EQ(parts.Path, QLatin1String(c.path));
        EXPECT_EQ(parts.Query, QLatin1String(c.query));
        EXPECT_EQ(parts.FullPath, QLatin1String(c.fullPath));
        EXPECT_EQ(parts.User, QLatin1String(c.user));
        EXPECT_EQ(parts.Password, QLatin1String(c.password));
    }
}

TEST(AudioSamples, ConversionsRoundHalfToEvenAndClamp)
{
    const std::uint8_t zero8 = 0;
    const std::uint8_t* p = &zero8;
    EXPECT_EQ(ReadSample(p, 8), -1.0f);
    EXPECT_EQ(p, &zero8 + 1);

    struct {
        int bits;
        float value;
        int expected;
    } const writes[] = {
        {8, -1.0f, 0}, {8, 1.0f, 255}, {8, 0.0f, 128},
        {16, 2.0f, 32767}, {16, -2.0f, -32767}, {16, std::numeric_limits<float>::quiet_NaN(), -32767},
    };
    for (const auto& w : writes) {
        std::uint8_t out[2] = {};
        std::uint8_t* q = out;
        WriteSample(q, w.bits, w.value);
        const int got = w.bits == 8 ? out[0] : static_cast<std::int16_t>(out[0] | (out[1] << 8));
        EXPECT_EQ(got, w.expected) << w.bits << " bits, " << w.value;
        EXPECT_EQ(q - out, w.bits / 8);
    }
    std::uint8_t unchanged[4] = {};
    std::uint8_t* q = unchanged;
    WriteSample(q, 24, 0.5f);
    EXPECT_EQ(q, unchanged);

    // Every 16-bit value but -32768 survives the trip through float.
    std::vector<std::int16_t> pcm;
    for (int v = -32767; v <= 32767; v += 7)
        pcm.push_back(static_cast<std::int16_t>(v));
    const TAuDriverParameters mono = MakeDriverParameters(44100, 1, 16);
    std::vector<float> floats(pcm.size());
    ToFloat(mono, pcm.data(), floats.data(), static_cast<std::int64_t>(pcm.size()));
    std::vector<std::int16_t> back(pcm.size());
    FromFloat(mono, floats.data(), back.data(), static_cast<std::int64_t>(pcm.size()));
    EXPECT_EQ(back, pcm);

    EXPECT_EQ(DbToFactor(0), 1.0f);
    EXPECT_NEAR(DbToFactor(-6), 0.251, 0.001);
}

TEST(AudioSamples, ZeroFrameSizesCountNoFrames)
{
    const TAuDriverParameters zeroed{};
    const TAuDriverParameters stereo = MakeDriverParameters(44100, 2, 16);
    EXPECT_EQ(FrameCount(1000, zeroed), 0);
    EXPECT_EQ(ConvertByteCount(1000, zeroed, stereo), 0);
    EXPECT_EQ(ConvertByteCount(1000, stereo, MakeDriverParameters(44100, 2, 32)), 2000);
    EXPECT_EQ(BytesPerSecond(stereo), 176400);
}
