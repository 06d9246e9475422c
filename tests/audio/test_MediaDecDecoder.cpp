// The media decoder class over libmediadec.so, bound from a program folder
// like the program binds it, reading FLAC and WAV files made at test time
// through a stream protocol over a QFile.
#include "AudioFixtures.h"
#include "MediaEncode.h"

#include "audio/uAuMediaDec.h"
#include "audio/uAuProtocol.h"
#include "framework/uMod_Main.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace {

// ProgramDir pointed at a folder for the life of the object.
struct TProgramDirIs {
    explicit TProgramDirIs(const QString& dir) : Saved(ProgramDir) { ProgramDir = dir; }
    ~TProgramDirIs() { ProgramDir = Saved; }
    QString Saved;
};

bool gBindingTried = false;

// Binds the library from the build's program folder (once per process).
bool Bound()
{
    static const bool bound = [] {
        gBindingTried = true;
        TProgramDirIs dir(QStringLiteral(PV_PROGRAM_FOLDER "/"));
        const size_t before = AudioRegistry().Entries().size();
        const bool ok = RegisterMediaDecDecoder();
        EXPECT_EQ(AudioRegistry().Entries().size(), before + (ok ? 1 : 0));
        return ok;
    }();
    return bound;
}

// A file opened for reading, its stream protocol and a decoder made through
// the registered creator, as the player makes it.
struct TOpenedFile {
    explicit TOpenedFile(const QString& path, bool sequential = false)
        : File(path), Sequential(&File), Protocol(sequential ? static_cast<QIODevice*>(&Sequential) : &File)
    {
        File.open(QIODevice::ReadOnly);
        Sequential.open(QIODevice::ReadOnly);
        const TAcCreator* creator = AudioRegistry().FindCreator("TAuMediaDecDecoder");
        if (creator)
            Decoder.reset(static_cast<TAuDecoder*>((*creator)(&Protocol).release()));
    }

    // A device that reads the file and cannot seek.
    struct TSequential : QIODevice {
        explicit TSequential(QIODevice* in) : In(in) {}
        bool isSequential() const override { return true; }
        qint64 readData(char* data, qint64 max) override { return In->read(data, max); }
        qint64 writeData(const char*, qint64) override { return -1; }
        QIODevice* In;
    };

    // Decodes until a block is ready (true) or the end (false).
    bool NextBlock(TAuDecoderData& data)
    {
        for (;;) {
            const std::int32_t r = Decoder->Decode();
            if (r == audEnd)
                return false;
            if (r == audData) {
                Decoder->GetData(data);
                return true;
            }
        }
    }

    QFile File;
    TSequential Sequential;
    TAuStreamProtocol Protocol;
    std::unique_ptr<TAuDecoder> Decoder;
};

const int kRate = 44100;
const int kChannels = 2;

struct TFixtures {
    TFixtures()
    {
        Samples = SineSamples(kRate, kChannels, 16, kRate * 3 + 1000);
        EXPECT_TRUE(EncodeAudio(Dir.filePath("three.flac"), kFlac, kRate, kChannels, 16, Samples));
        EXPECT_TRUE(WriteWav(Dir.filePath("deep.wav"), 48000, 2, 24, SineSamples(48000, 2, 24, 4800)));
        QByteArray cd = WavBytes(44100, 2, 16, {}).left(44);
        cd.replace(8, 4, "CDDA");
        QFile f(Dir.filePath("track01.cda"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(cd) == 44);
    }
    QString Path(const char* name) const { return Dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir Dir;
    std::vector<int32_t> Samples;
};

const TFixtures& Fixtures()
{
    static const TFixtures f;
    return f;
}

int64_t LengthMs() { return (int64_t(kRate) * 3 + 1000) * 1000 / kRate; }

} // namespace

// Without the library, or with a library that lacks the entries, nothing is
// registered and the program goes on with WAV only.
TEST(MediaDecDecoder, MissingLibraryRegistersNothing)
{
    QTemporaryDir empty;
    QTemporaryDir wrong;
    ASSERT_TRUE(QFile::copy(QStringLiteral(PV_PROGRAM_FOLDER "/libusbio.so"), wrong.filePath("libmediadec.so")));
    // Once bound, the library stays loaded for the process: only the first
    // test to bind can see the failures.
    for (const QString& dir : {empty.path() + "/", wrong.path() + "/", QString()}) {
        if (gBindingTried)
            GTEST_SKIP() << "the library was bound before this test";
        TProgramDirIs programDir(dir);
        const size_t before = AudioRegistry().Entries().size();
        EXPECT_FALSE(RegisterMediaDecDecoder()) << dir.toStdString();
        EXPECT_EQ(AudioRegistry().Entries().size(), before);
    }
    EXPECT_TRUE(Bound());
    EXPECT_NE(AudioRegistry().FindCreator("TAuMediaDecDecoder"), nullptr);
}

// A FLAC plays through the class bit-exact, with block timecodes that follow
// the samples and its length known up front; a seekable and a sequential
// stream give the same audio.
TEST(MediaDecDecoder, FlacPlaysExactly)
{
    ASSERT_TRUE(Bound());
    for (bool sequential : {false, true}) {
        SCOPED_TRACE(sequential);
        TOpenedFile f(Fixtures().Path("three.flac"), sequential);
        ASSERT_TRUE(f.Decoder && f.Decoder->OpenDecoder());
        TAuDriverParameters info;
        f.Decoder->GetInfo(info);
        EXPECT_EQ(info.Frequency, kRate);
        EXPECT_EQ(info.Channels, kChannels);
        EXPECT_EQ(info.BitDepth, 16);
        EXPECT_NEAR(f.Decoder->GetLength(), double(LengthMs()), 50.0);

        std::vector<int16_t> decoded;
        TAuDecoderData data;
        while (f.NextBlock(data)) {
            const int64_t framesBefore = int64_t(decoded.size()) / kChannels;
            EXPECT_NEAR(data.Timecode, framesBefore * 1000.0 / kRate, 1.0);
            const auto* p = static_cast<const int16_t*>(data.Buffer);
            decoded.insert(decoded.end(), p, p + data.Size / 2);
        }
        ASSERT_EQ(decoded.size(), Fixtures().Samples.size());
        EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), Fixtures().Samples.begin()));
    }
}

// SeekTo hands the seek to the next Decode: a second seek is refused until
// then, a negative target always; the block after it starts at the target's
// sample, going forward and back.
TEST(MediaDecDecoder, SeekWaitsForTheDecoderThread)
{
    ASSERT_TRUE(Bound());
    TOpenedFile f(Fixtures().Path("three.flac"));
    ASSERT_TRUE(f.Decoder->OpenDecoder());
    TAuDecoderData data;
    ASSERT_TRUE(f.NextBlock(data));
    EXPECT_FALSE(f.Decoder->SeekTo(0, -1));
    const struct {
        int32_t Current, Target;
    } seeks[] = {{0, 1500}, {1500, 250}, {250, 2999}, {0, 0}};
    for (const auto& s : seeks) {
        SCOPED_TRACE(s.Target);
        ASSERT_TRUE(f.Decoder->SeekTo(s.Current, s.Target));
        EXPECT_FALSE(f.Decoder->SeekTo(s.Current, s.Target + 100));
        ASSERT_TRUE(f.NextBlock(data));
        EXPECT_EQ(data.Timecode, s.Target);
        const size_t first = size_t((int64_t(s.Target) * kRate + 500) / 1000) * kChannels;
        const auto* p = static_cast<const int16_t*>(data.Buffer);
        ASSERT_GE(data.Size, 8);
        EXPECT_TRUE(std::equal(p, p + 4, Fixtures().Samples.begin() + ptrdiff_t(first)));
    }
}

// What the WAV decoder refuses as noise or silence plays here as float; the
// CD track file is left to the CD decoder; a closed decoder has no length.
TEST(MediaDecDecoder, OpensWhatItShould)
{
    ASSERT_TRUE(Bound());
    const struct {
        const char* File;
        bool Opens;
        int32_t BitDepth;
    } cases[] = {{"deep.wav", true, 32}, {"track01.cda", false, 0}, {"missing.mp3", false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        TOpenedFile f(Fixtures().Path(c.File));
        ASSERT_EQ(f.Decoder->OpenDecoder(), c.Opens);
        if (!c.Opens) {
            EXPECT_EQ(f.Decoder->Decode(), audEnd);
            continue;
        }
        TAuDriverParameters info;
        f.Decoder->GetInfo(info);
        EXPECT_EQ(info.BitDepth, c.BitDepth);
        EXPECT_EQ(f.Decoder->GetLength(), 100);
        f.Decoder->CloseDecoder();
        EXPECT_EQ(f.Decoder->GetLength(), -1);
        EXPECT_FALSE(f.Decoder->SeekTo(0, 10));
        EXPECT_EQ(f.Decoder->Decode(), audEnd);
    }
}

// Blocks under one library timecode count on by their length; a new library
// timecode takes over (rounded half to even).
TEST(MediaDecDecoder, BlockTimecodes)
{
    const struct {
        double LibrarySeconds;
        int64_t Frames;
        int64_t Expected;
    } steps[] = {
        {0.0, 1152, 0},       {0.0, 1152, 26},   {0.0, 441, 36},  {0.0105, 100, 10},
        {0.0105, 100, 12},    {0.0115, 100, 12}, {2.0, 0, 2000},  {2.0, 22050, 2500},
        {1.0, 4410, 1000},
    };
    TAuMediaDecClock clock;
    for (const auto& s : steps)
        EXPECT_EQ(clock.Next(s.LibrarySeconds, s.Frames, 44100), s.Expected) << s.LibrarySeconds;
}

// The seek callback forwards the three origins to the protocol and answers
// any other with -1 without touching it.
TEST(MediaDecDecoder, SeekCallbackForwardsOnlyTheThreeOrigins)
{
    struct TCountingProtocol : TAuProtocol {
        std::int32_t Read(void*, std::int32_t) override { return 0; }
        bool Seekable() override { return true; }
        std::int64_t Seek(std::int32_t origin, std::int64_t offset) override
        {
            Calls.push_back({origin, offset});
            return 1000 + offset;
        }
        std::vector<std::pair<std::int32_t, std::int64_t>> Calls;
    } protocol;
    TAuMediaDecDecoder decoder(&protocol);
    const struct {
        std::int32_t Whence;
        std::int64_t Result;
    } cases[] = {{0, 1007}, {1, 1007}, {2, 1007}, {3, -1}, {-1, -1}, {0x10000, -1}};
    for (const auto& c : cases) {
        protocol.Calls.clear();
        EXPECT_EQ(TAuMediaDecDecoder::SeekCallback(&decoder, 7, c.Whence), c.Result) << c.Whence;
        EXPECT_EQ(protocol.Calls.size(), c.Result < 0 ? 0u : 1u) << c.Whence;
        if (!protocol.Calls.empty()) {
            EXPECT_EQ(protocol.Calls[0].first, c.Whence);
        }
    }
}
