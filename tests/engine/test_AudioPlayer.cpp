// The player over the capture driver: whole tracks through the filter chain,
// volume, pause, seek, the end of a track and the lifetime of a player whose
// track is ending; the limiter and the notification thread on their own.

#include "AudioCapture.h"
#include "AudioFixtures.h"
#include "TestHelpers.h"

#include "audio/uAuDecoder.h"
#include "audio/uAuFilters.h"
#include "audio/uAuPlayer.h"
#include "audio/uAuProtocol.h"
#include "audio/uAuSyncMgr.h"
#include "framework/uErrors.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

constexpr int Rate = AudioFixtures::Rate;
constexpr int Bound = 30000;   // ms: generous upper bound of every wait

using AudioFixtures::Le;
using AudioFixtures::Wav16;

QByteArray Sine(int frames, double amplitude)
{
    return Wav16(frames, [amplitude](int f, int c) {
        return static_cast<qint16>(std::lrint(amplitude * std::sin(2 * M_PI * (440 + 220 * c) * f / Rate)));
    });
}

// Every frame different: the left channel counts up, the right one counts the wraps.
QByteArray Ramp(int frames)
{
    return Wav16(frames, [](int f, int c) { return static_cast<qint16>(c == 0 ? (f % 20000) - 10000 : f / 20000); });
}

int RampFrame(const QByteArray& pcm, int frame)
{
    qint16 s[2];
    std::memcpy(s, pcm.constData() + frame * 4, 4);
    return (s[1] * 20000) + s[0] + 10000;
}

QByteArray PcmOf(const QByteArray& wav)
{
    return wav.mid(44);
}

qint16 SampleAt(const QByteArray& pcm, int index)
{
    qint16 s;
    std::memcpy(&s, pcm.constData() + index * 2, 2);
    return s;
}

// Reads a file it opens itself and cannot seek, as a disc track would.
class TFileURLProtocol : public TAuURLProtocol {
public:
    static constexpr const char* ClassName = "TFileURLProtocol";
    using ClassBase = TAuURLProtocol;
    bool SupportsProtocol(const QString&) override { return true; }
    bool Open(const QString& url) override
    {
        FURL = url;
        FFile.close();
        FFile.setFileName(url);
        ++Opens;
        return FFile.open(QIODevice::ReadOnly);
    }
    void Close() override { FFile.close(); }
    bool Opened() override { return FFile.isOpen(); }
    std::int32_t Read(void* buffer, std::int32_t count) override
    {
        return static_cast<std::int32_t>(std::max<qint64>(0, FFile.read(static_cast<char*>(buffer), count)));
    }
    bool Seekable() override { return false; }
    std::int64_t Seek(std::int32_t, std::int64_t) override { return FFile.pos(); }
    int Opens = 0;

private:
    QFile FFile;
};

class AudioPlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartEngineWithCapture();
        TCaptureDriver::SetNextBudget(-1);
        audio.DriverName = TCaptureDriver::ClassName;
        ASSERT_TRUE(audio.Initialize()) << audio.LastError().toStdString();
    }

    // A player on a file written now, opened; OnFinish counted.
    std::unique_ptr<TAuPlayer> Opened(const QByteArray& wav, std::int32_t bufferSize = 4194304)
    {
        const QString name = "track.wav";
        dir.Write(name, wav);
        auto player = std::make_unique<TAuPlayer>(&audio);
        player->DecoderBufferSize = bufferSize;
        player->SetOnFinish([this](TAuCustomAudioObject* sender) {
            finishState = static_cast<TAuPlayer*>(sender)->State();
            finishOnOtherThread = std::this_thread::get_id() != mainThread;
            ++finished;
        });
        EXPECT_TRUE(player->LoadFromFile(dir.File(name)));
        EXPECT_TRUE(player->Open());
        return player;
    }

    bool WaitFinished(int count = 1)
    {
        return WaitFor([&] { return finished.load() >= count; }, Bound);
    }
    // The notification thread has nothing left to run.
    static bool Drained()
    {
        return WaitFor([] { return SyncMgr()->Pending() == 0; }, Bound);
    }

    TTempProgramDir dir;
    TAuAudio audio;
    std::atomic<int> finished{0};
    std::atomic<int> finishState{-1};
    std::atomic<bool> finishOnOtherThread{false};
    const std::thread::id mainThread = std::this_thread::get_id();
};

TEST_F(AudioPlayer, WholeTrackThroughTheChainAtEachVolume)
{
    // Each captured sample against the source sample s: exact, or s x factor
    // within one step of rounding.
    const struct {
        float volume;
        double factor;   // 0: bit-identical
    } cases[] = {
        {1.0f, 0},
        {1.000005f, 0},   // within the unity tolerance: untouched
        {0.5f, 0.5},
        {DbToFactor(-3.0103), 0.5},
        {0.1f, 0.1},
    };
    const QByteArray wav = Sine(Rate / 2, 30000);
    const QByteArray pcm = PcmOf(wav);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        finished = 0;
        auto player = Opened(wav);
        player->SetVolume(c.volume);
        player->Play();
        ASSERT_TRUE(WaitFinished());
        const QByteArray got = TCaptureDriver::Last()->Captured();
        ASSERT_EQ(got.size(), pcm.size());
        if (c.factor == 0) {
            EXPECT_EQ(got, pcm);
            continue;
        }
        int worst = 0;
        for (int i = 0; i < pcm.size() / 2; ++i)
            worst = std::max(worst, std::abs(SampleAt(got, i) - static_cast<int>(std::lrint(SampleAt(pcm, i) * c.factor))));
        EXPECT_LE(worst, 1);
    }
}

TEST_F(AudioPlayer, AVolumeJustAboveTheToleranceScales)
{
    const QByteArray wav = Sine(Rate / 10, 30000);
    auto player = Opened(wav);
    player->SetVolume(1.0001f);
    player->Play();
    ASSERT_TRUE(WaitFinished());
    EXPECT_NE(TCaptureDriver::Last()->Captured(), PcmOf(wav));
}

TEST_F(AudioPlayer, EndOfASeekableTrackIsReportedOnceAndItPlaysAgain)
{
    const QByteArray wav = Sine(Rate / 5, 20000);
    auto player = Opened(wav);
    player->Play();
    ASSERT_TRUE(WaitFinished());
    ASSERT_TRUE(Drained());
    EXPECT_EQ(finished.load(), 1);
    EXPECT_EQ(finishState.load(), aosOpened);   // stopped before OnFinish
    EXPECT_TRUE(finishOnOtherThread.load());
    EXPECT_EQ(player->State(), aosOpened);
    EXPECT_EQ(player->Position(), 0);

    // Rewound: the second run plays the whole track again.
    player->Play();
    ASSERT_TRUE(WaitFinished(2));
    ASSERT_TRUE(Drained());
    EXPECT_EQ(finished.load(), 2);
    EXPECT_EQ(TCaptureDriver::Last()->Captured(), PcmOf(wav) + PcmOf(wav));
}

TEST_F(AudioPlayer, ATrackPausedExactlyAtItsEndIsReportedFinished)
{
    const QByteArray wav = Sine(Rate / 5, 20000);
    auto player = Opened(wav);
    TAuPlayer* p = player.get();
    const auto capture = TCaptureDriver::Last();
    // Ahead of the end notice on the notification thread: the operator pauses
    // once the device has read the end, before the end is reported.
    std::atomic<int> pausedAt{-1};
    const int key = 0;
    SyncEnqueue(&key, [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Bound);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> guard(capture->Lock);
                if (capture->EndRead)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        p->Pause();
        pausedAt = p->State();
    });
    player->Play();
    ASSERT_TRUE(WaitFinished());
    ASSERT_TRUE(Drained());
    EXPECT_EQ(pausedAt.load(), aosPaused);
    EXPECT_EQ(finished.load(), 1);
    EXPECT_EQ(finishState.load(), aosOpened);
    EXPECT_EQ(player->State(), aosOpened);
    EXPECT_EQ(capture->Captured(), PcmOf(wav));
}

TEST_F(AudioPlayer, EndOfAnUnseekableSourceFreesTheChainAndPlayRebuildsIt)
{
    const QByteArray wav = Sine(Rate / 5, 20000);
    dir.Write("track.wav", wav);
    auto* protocol = new TFileURLProtocol;
    protocol->Open(dir.File("track.wav"));
    protocol->Close();   // the player opens it itself
    TAuPlayer player(&audio);
    player.SetOnFinish([this](TAuCustomAudioObject*) { ++finished; });
    ASSERT_TRUE(player.LoadFromProtocol(protocol, true));
    ASSERT_TRUE(player.Open());
    EXPECT_FALSE(player.Seekable());
    for (int run = 1; run <= 2; ++run) {
        player.Play();
        ASSERT_EQ(player.State(), aosPlaying);
        ASSERT_TRUE(WaitFinished(run));
        ASSERT_TRUE(Drained());
        EXPECT_EQ(finished.load(), run);
        EXPECT_EQ(player.State(), aosLoaded);
        EXPECT_EQ(player.Position(), -1);   // no chain
        EXPECT_FALSE(protocol->Opened());
        EXPECT_EQ(TCaptureDriver::Last()->Captured(), PcmOf(wav));
    }
    EXPECT_EQ(protocol->Opens, 3);
}

TEST_F(AudioPlayer, PauseAndResumeLoseNoSample)
{
    const QByteArray wav = Ramp(Rate);
    const QByteArray pcm = PcmOf(wav);
    for (const double at : {0.02, 0.5, 0.97}) {
        SCOPED_TRACE(at);
        finished = 0;
        const auto budget = static_cast<std::int64_t>(pcm.size() * at) / 4 * 4;
        TCaptureDriver::SetNextBudget(budget);
        auto player = Opened(wav);
        player->Play();
        auto capture = TCaptureDriver::Last();
        ASSERT_TRUE(WaitFor([&] { return capture->Size() == budget; }, Bound));
        player->Pause();
        EXPECT_EQ(player->State(), aosPaused);
        capture->SetBudget(-1);
        if (at > 0.1) {   // paused: the position the device reported last
            ASSERT_TRUE(WaitFor([&] { return player->Position() > 0; }, Bound));
        }
        EXPECT_EQ(capture->Size(), budget);   // paused: the driver is not fed
        player->Play();
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(capture->Captured(), pcm);
    }
}

TEST_F(AudioPlayer, SeekLandsWithinOneBucket)
{
    const QByteArray wav = Ramp(2 * Rate);
    const QByteArray pcm = PcmOf(wav);
    constexpr int Bucket = 512;   // frames the decoder hands over at once
    const struct {
        bool paused;
        int targetMs;
    } cases[] = {{false, 1500}, {false, 100}, {true, 1000}, {true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.targetMs);
        finished = 0;
        const std::int64_t budget = 20000 * 4;
        TCaptureDriver::SetNextBudget(budget);
        auto player = Opened(wav);
        player->Play();
        auto capture = TCaptureDriver::Last();
        ASSERT_TRUE(WaitFor([&] { return capture->Size() == budget; }, Bound));
        if (c.paused)
            player->Pause();
        player->Seek(c.targetMs);
        EXPECT_EQ(player->State(), c.paused ? aosPaused : aosPlaying);
        capture->SetBudget(-1);
        if (c.paused)
            player->Play();
        ASSERT_TRUE(WaitFinished());
        const QByteArray got = capture->Captured();
        const int target = c.targetMs * Rate / 1000;
        const int landed = RampFrame(got, static_cast<int>(budget / 4));
        EXPECT_LE(std::abs(landed - target), Bucket);
        // From there on the rest of the track, whole.
        EXPECT_EQ(got.mid(static_cast<int>(budget)), pcm.mid(landed * 4));
    }
}

TEST_F(AudioPlayer, SeeksWhileTheDecoderRunsLeaveNoStaleBlock)
{
    // Every seek may start one new run of consecutive frames; a block decoded
    // before a seek and written after it would start one more.
    const QByteArray wav = Ramp(4 * Rate);
    TCaptureDriver::SetNextBudget(-1);
    auto player = Opened(wav, 4096);
    player->Play();
    int seeks = 0;
    for (int i = 0; i < 40 && finished.load() == 0; ++i, ++seeks)
        player->Seek((i * 937) % 3500);
    ASSERT_TRUE(WaitFinished());
    const QByteArray got = TCaptureDriver::Last()->Captured();
    int runs = 1;
    for (int f = 1; f < got.size() / 4; ++f)
        if (RampFrame(got, f) != RampFrame(got, f - 1) + 1)
            ++runs;
    EXPECT_LE(runs, seeks + 1);
}

// A file in memory that counts the bytes read since it was last sought: what
// the decoder thread has taken into the player's buffer since its last flush.
class TCountingSource : public QBuffer {
public:
    explicit TCountingSource(const QByteArray& bytes)
    {
        setData(bytes);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool seek(qint64 pos) override
    {
        ReadSinceSeek = 0;
        return QBuffer::seek(pos);
    }
    std::atomic<qint64> ReadSinceSeek{0};

protected:
    qint64 readData(char* data, qint64 size) override
    {
        const qint64 n = QBuffer::readData(data, size);
        ReadSinceSeek += std::max<qint64>(n, 0);
        return n;
    }
};

TEST_F(AudioPlayer, ARestingPlayerHoldsOnlyTheHeadOfItsTrack)
{
    // 15 s: more than the 4 MiB a playing player keeps ahead.
    const QByteArray wav = Ramp(15 * Rate);
    const QByteArray pcm = PcmOf(wav);
    constexpr qint64 Head = Rate / 2 * 4;   // half a second of the file's samples
    constexpr qint64 Block = 512 * 4;       // what the decoder reads at once
    TCountingSource source(wav);
    TAuPlayer player(&audio);
    player.SetOnFinish([this](TAuCustomAudioObject*) { ++finished; });
    ASSERT_TRUE(player.LoadFromStream(&source, false));
    ASSERT_TRUE(player.Open());
    auto capture = TCaptureDriver::Last();
    // Resting, the player reads the head and then nothing more.
    const auto holdsTheHead = [&] {
        if (!WaitFor([&] { return source.ReadSinceSeek.load() >= Head; }, Bound))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return source.ReadSinceSeek.load() < Head + Block;
    };
    EXPECT_TRUE(holdsTheHead());

    // Played, the rest follows behind the head, and the whole track arrives.
    player.Play();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(capture->Captured(), pcm);

    // Stopped at the end, it rests on the head again, and holds the head of
    // wherever it is sought to while it rests; played from there, the rest of
    // the track follows whole.
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(holdsTheHead());
    player.Seek(9000);
    EXPECT_EQ(player.State(), aosOpened);
    EXPECT_TRUE(holdsTheHead());
    capture = TCaptureDriver::Last();
    const qint64 before = capture->Size();
    player.Play();
    ASSERT_TRUE(WaitFinished(2));
    const QByteArray got = capture->Captured().mid(before);
    ASSERT_GT(got.size(), 0);
    const int landed = RampFrame(got, 0);
    EXPECT_LE(std::abs(landed - 9 * Rate), 512);
    EXPECT_EQ(got, pcm.mid(landed * 4));
}

TEST_F(AudioPlayer, OperationsBeforeOpenAndWithoutParent)
{
    // No parent: nothing to play on.
    dir.Write("a.wav", Sine(1000, 1000));
    TAuPlayer orphan(nullptr);
    ASSERT_TRUE(orphan.LoadFromFile(dir.File("a.wav")));
    EXPECT_FALSE(orphan.Open());
    EXPECT_EQ(orphan.State(), aosLoaded);

    // Play, Pause and Stop change nothing before Open; Position is -1 without a chain.
    TAuPlayer fresh(&audio);
    TAuPlayer loaded(&audio);
    ASSERT_TRUE(loaded.LoadFromFile(dir.File("a.wav")));
    for (TAuPlayer* player : {&fresh, &loaded, &orphan}) {
        const TAuObjectState before = player->State();
        player->Play();
        player->Pause();
        player->Stop();
        player->Seek(10);
        EXPECT_EQ(player->State(), before);
        EXPECT_EQ(player->Position(), -1);
    }
    EXPECT_EQ(fresh.Len(), -1);
    EXPECT_FALSE(loaded.Seekable());

    // Open only from aosLoaded; then Position 0 and the length known.
    EXPECT_FALSE(fresh.Open());
    ASSERT_TRUE(loaded.Open());
    EXPECT_FALSE(loaded.Open());
    EXPECT_EQ(loaded.Position(), 0);
    EXPECT_EQ(loaded.Len(), 23);   // 1000 frames at 44.1 kHz
    EXPECT_TRUE(loaded.Seekable());

    // A file no decoder takes, and a file that is not there.
    dir.Write("b.wav", "not audio at all");
    TAuPlayer refused(&audio);
    ASSERT_TRUE(refused.LoadFromFile(dir.File("b.wav")));
    EXPECT_FALSE(refused.Open());
    EXPECT_EQ(refused.State(), aosLoaded);
    EXPECT_THROW(refused.LoadFromFile(dir.File("missing.wav")), EPvError);

    // OnDestroy fires once, with the player going.
    auto* going = new TAuPlayer(&audio);
    const auto address = reinterpret_cast<std::uintptr_t>(static_cast<TAuCustomAudioObject*>(going));
    std::vector<std::uintptr_t> destroyed;
    going->SetOnDestroy([&](TAuCustomAudioObject* sender) { destroyed.push_back(reinterpret_cast<std::uintptr_t>(sender)); });
    delete going;
    EXPECT_EQ(destroyed, std::vector<std::uintptr_t>{address});
}

TEST_F(AudioPlayer, StateChangesAreNotifiedOnTheNotificationThread)
{
    dir.Write("a.wav", Sine(Rate / 10, 1000));
    TAuPlayer player(&audio);
    std::mutex lock;
    std::vector<int> seen;
    std::atomic<bool> onMain{false};
    player.SetOnStateChange([&](TAuCustomAudioObject* sender) {
        std::lock_guard<std::mutex> guard(lock);
        seen.push_back(sender->State());
        onMain = onMain || std::this_thread::get_id() == mainThread;
    });
    player.SetOnFinish([this](TAuCustomAudioObject*) { ++finished; });
    ASSERT_TRUE(player.LoadFromFile(dir.File("a.wav")));
    ASSERT_TRUE(player.Open());
    player.Play();
    ASSERT_TRUE(WaitFinished());
    ASSERT_TRUE(Drained());
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_FALSE(onMain.load());
    // Loading, loaded, opened, playing, and opened again after the end; each
    // handler reads the state when it runs, so only the last is certain.
    EXPECT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.back(), aosOpened);
}

TEST_F(AudioPlayer, DestroyingOrStoppingWhileTheTrackEndsNeitherCrashesNorDeadlocks)
{
    const QByteArray wav = Sine(441, 1000);   // 10 ms
    dir.Write("short.wav", wav);
    enum { DeleteAtOnce, DeleteAfterData, StopAfterData, CloseAfterData, HandlerDeletes };
    for (int round = 0; round < 200; ++round) {
        const int how = round % 5;
        SCOPED_TRACE(round);
        auto* player = new TAuPlayer(&audio);
        std::atomic<bool> deleted{false};
        if (how == HandlerDeletes) {
            player->SetOnFinish([&deleted](TAuCustomAudioObject* sender) {
                delete sender;   // the handler frees its own sender
                deleted = true;
            });
        } else {
            player->SetOnFinish([this](TAuCustomAudioObject*) { ++finished; });
        }
        ASSERT_TRUE(player->LoadFromFile(dir.File("short.wav")));
        ASSERT_TRUE(player->Open());
        auto capture = TCaptureDriver::Last();
        player->Play();
        if (how == HandlerDeletes) {
            ASSERT_TRUE(WaitFor([&] { return deleted.load(); }, Bound));
            continue;
        }
        if (how != DeleteAtOnce) {
            ASSERT_TRUE(WaitFor([&] { return capture->Size() > 0; }, Bound));
        }
        if (how == StopAfterData)
            player->Stop();
        if (how == CloseAfterData)
            player->Close();
        delete player;
    }
    ASSERT_TRUE(Drained());
}

TEST_F(AudioPlayer, AGivenOutputFilterIsUsedAndNotOwned)
{
    auto* stream = audio.Driver()->CreateStreamDriver(7, MakeDriverParameters(Rate, 2, 16)).release();
    auto capture = TCaptureDriver::Last();
    auto output = std::make_unique<TAuDriverOutput>(stream);
    const QByteArray wav = Sine(Rate / 10, 12345);
    dir.Write("a.wav", wav);
    {
        TAuPlayer player(nullptr, nullptr, output.get());   // no parent needed
        player.SetOnFinish([this](TAuCustomAudioObject*) { ++finished; });
        ASSERT_TRUE(player.LoadFromFile(dir.File("a.wav")));
        ASSERT_TRUE(player.Open());
        player.Play();
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(capture->Captured(), PcmOf(wav));
    }
    // The player is gone; its output is still whole and free of a source.
    EXPECT_EQ(output->OutputFilter(), output.get());
    output.reset();
    delete stream;
}

// ---- the chain's parts ------------------------------------------------------

// A source of fixed float samples.
class TSamples : public TAuTargetFilter {
public:
    explicit TSamples(std::vector<float> samples) : FSamples(std::move(samples)) {}
    ~TSamples() override { Disconnect(); }
    bool AddSource(TAuTargetFilter*) override { return false; }
    bool RemoveSource(TAuTargetFilter*) override { return false; }
    std::int32_t Read(void* buffer, std::int32_t count, TAuSyncData& sync) override
    {
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(count) / 4, FSamples.size());
        std::memcpy(buffer, FSamples.data(), n * 4);
        sync.State = ausData;
        return static_cast<std::int32_t>(n * 4);
    }

private:
    std::vector<float> FSamples;
};

TEST(AudioChain, ASecondSourceIsRefusedAndTheFirstKept)
{
    const TAuAudioParameters p = MakeParameters(Rate, 1);
    // Sources go before their targets (they leave them as they go).
    TAuCompressorFilter end(p);
    TAuVolumeFilter volume(p);
    TSamples first({0.25f, 0.5f});
    TSamples second({-1.0f, -1.0f});
    volume.SetTarget(&end);
    first.SetTarget(&volume);
    second.SetTarget(&volume);
    EXPECT_EQ(first.Target(), &volume);
    EXPECT_EQ(second.Target(), nullptr);
    EXPECT_FALSE(volume.AddSource(&second));
    EXPECT_FALSE(volume.RemoveSource(&second));
    float out[2] = {};
    TAuSyncData sync;
    ASSERT_EQ(end.Read(out, 8, sync), 8);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[1], 0.5f);
    // Leaving frees the place for another source; without one a filter reads nothing.
    first.SetTarget(nullptr);
    EXPECT_EQ(end.Read(out, 8, sync), 0);
    second.SetTarget(&volume);
    ASSERT_EQ(end.Read(out, 8, sync), 8);
    EXPECT_EQ(out[0], -1.0f);
}

TEST(AudioChain, LimiterHoldsTheCeilingAndRecoversLinearly)
{
    for (const int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        TAuCompressorFilter limiter(MakeParameters(1000, channels));   // release 0.1 s = 100 frames
        // One frame at twice full scale, then a steady quarter.
        std::vector<float> s(static_cast<std::size_t>(300 * channels), 0.25f);
        for (int c = 0; c < channels; ++c)
            s[static_cast<std::size_t>(c)] = c == 0 ? 2.0f : -1.5f;
        limiter.Process(s.data(), static_cast<std::int64_t>(s.size()));
        for (const float v : s)
            EXPECT_LE(std::fabs(v), 1.0f);
        EXPECT_FLOAT_EQ(s[0], 1.0f);   // the peak lands on the ceiling
        // Gain 0.5 after the peak, climbing 0.005 a frame: the quarter
        // comes back in equal steps and is whole after 100 frames.
        for (int f = 1; f < 100; ++f)
            for (int c = 0; c < channels; ++c)
                EXPECT_NEAR(s[static_cast<std::size_t>(f * channels + c)], 0.25f * (0.5f + 0.005f * f), 1e-5f) << f;
        for (int f = 101; f < 300; ++f)
            EXPECT_EQ(s[static_cast<std::size_t>(f * channels)], 0.25f) << f;
        EXPECT_EQ(limiter.Gain, 1.0f);
    }
}

// A decoder of blocks of 100 stereo frames, 10 ms each; after `blocks` of them
// it ends, or throws when told to.
class TBlockDecoder : public TAuDecoder {
public:
    TBlockDecoder(int blocks, bool throws) : TAuDecoder(nullptr), FBlocks(blocks), FThrows(throws) {}
    void GetInfo(TAuDriverParameters& info) override { info = MakeDriverParameters(10000, 2, 16); }
    bool OpenDecoder() override { return true; }
    void CloseDecoder() override {}
    std::int32_t Decode() override
    {
        if (FDone == FBlocks) {
            if (FThrows)
                throw std::runtime_error("kaputter Block");
            return audEnd;
        }
        std::fill(std::begin(FData), std::end(FData), static_cast<qint16>(1000 * (FDone + 1)));
        ++FDone;
        return audData;
    }
    void GetData(TAuDecoderData& data) override { data = TAuDecoderData{(FDone - 1) * 10, 400, FData}; }
    bool SeekTo(std::int32_t, std::int32_t) override { return false; }
    std::int32_t GetLength() override { return FBlocks * 10; }

private:
    int FBlocks;
    bool FThrows;
    int FDone = 0;
    qint16 FData[200] = {};
};

TEST(AudioChain, DecoderFilterDeliversEveryBlockThenTheEndEvenWhenTheDecoderFails)
{
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws);
        const int errorsBefore = ErrorLogCount("kaputter Block");
        TBlockDecoder decoder(5, throws);
        TAuDecoderFilter filter(&decoder, 1 << 20);
        filter.Fill();   // the head is longer than all five blocks: waits for the end
        std::vector<float> out(2000);
        TAuSyncData sync;
        std::vector<std::int32_t> timecodes;
        std::int32_t total = 0;
        for (int i = 0; i < 20 && sync.State != ausEnd; ++i) {
            const std::int32_t got = filter.Read(out.data(), 400, sync);   // half a block
            total += got;
            if (got > 0) {
                timecodes.push_back(sync.Timecode);
                EXPECT_FLOAT_EQ(out[0], 1000.0f * (static_cast<float>(sync.Timecode / 10) + 1) / 32767.0f);
            }
        }
        EXPECT_EQ(total, 5 * 100 * 2 * 4);
        EXPECT_EQ(sync.State, ausEnd);
        // Each block's own timecode, then the half-way point computed from the bytes read.
        EXPECT_EQ(timecodes, (std::vector<std::int32_t>{0, 5, 10, 15, 20, 25, 30, 35, 40, 45}));
        EXPECT_EQ(ErrorLogCount("kaputter Block") - errorsBefore, throws ? 1 : 0);
    }
}

// ---- the notification thread ------------------------------------------------

TEST(AudioSyncMgr, RunsInOrderSwallowsFaultsAndRemovesAnObjectsCalls)
{
    TAuSyncMgr mgr;
    int a = 0;
    int b = 0;
    int c = 0;
    std::mutex lock;
    std::vector<int> order;
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    auto record = [&](int i) {
        std::lock_guard<std::mutex> guard(lock);
        order.push_back(i);
    };
    // The first call holds the thread until the test lets it go.
    mgr.Enqueue(&a, [&] {
        started = true;
        while (!release.load())
            std::this_thread::yield();
        record(0);
    });
    mgr.Enqueue(&b, [] { throw std::runtime_error("handler fault"); });
    mgr.Enqueue(&a, [&] { record(1); });
    mgr.Enqueue(&c, [&] { record(2); });
    ASSERT_TRUE(WaitFor([&] { return started.load(); }, Bound));

    // Removing a's calls drops the queued one at once and then waits for the
    // one that runs.
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        mgr.RemoveObject(&a);
        removed = true;
    });
    ASSERT_TRUE(WaitFor([&] { return mgr.Pending() == 2; }, Bound));
    EXPECT_FALSE(removed.load());
    release = true;
    remover.join();
    {
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(order.front(), 0);   // done before RemoveObject returned
    }
    // The fault is swallowed; the thread goes on with the next call.
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> guard(lock);
        return order.size() == 2;
    }, Bound));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(order, (std::vector<int>{0, 2}));
}

// ---- choosing the driver and the device -------------------------------------

struct TFakeDriverSpec {
    std::int32_t priority;
    std::vector<std::pair<std::int32_t, std::int32_t>> devices;   // ID, priority
};

template <int N>
class TFakeDriver : public TAuDriver {
public:
    static inline const char* const ClassName = N == 0 ? "TFakeLowDriver" : N == 1 ? "TFakeHighDriver"
                                               : N == 2 ? "TFakeTieDriver" : "TFakeMuteDriver";
    using ClassBase = TAuDriver;
    explicit TFakeDriver(const TFakeDriverSpec& spec) : FSpec(spec) { FPriority = spec.priority; }
    void EnumDevices(const std::function<void(const TAuDevice&)>& callback) override
    {
        for (const auto& [id, priority] : FSpec.devices)
            callback(TAuDevice{QStringLiteral("Gerät %1").arg(id), id, priority, 0});
    }
    std::unique_ptr<TAuStreamDriver> CreateStreamDriver(std::int32_t, const TAuDriverParameters&) override
    {
        return nullptr;
    }

private:
    TFakeDriverSpec FSpec;
};

template <int N>
void RegisterFake(const TFakeDriverSpec& spec)
{
    if (!AudioRegistry().FindCreator(TFakeDriver<N>::ClassName))
        AudioRegistry().Register(TFakeDriver<N>::ClassName,
                                 std::string("TAcPersistent.TAuDriver.") + TFakeDriver<N>::ClassName,
                                 [spec](TAuProtocol*) { return std::make_unique<TFakeDriver<N>>(spec); });
}

TEST(AudioDriverChoice, HighestPriorityWinsFirstOnATieAndInitializeExplainsFailures)
{
    StartEngineWithCapture();
    RegisterFake<0>({99990, {{1, 1}}});
    RegisterFake<1>({100000, {{4, 5}, {5, 9}, {6, 9}, {7, 3}}});
    RegisterFake<2>({100000, {{1, 1}}});
    RegisterFake<3>({1, {}});
    if (!AudioRegistry().FindCreator("TFakeBrokenDriver"))
        AudioRegistry().Register("TFakeBrokenDriver", "TAcPersistent.TAuDriver.TFakeBrokenDriver",
                                 [](TAuProtocol*) { return nullptr; });
    TAuAudio audio;
    EXPECT_EQ(audio.DriverName, "TFakeHighDriver");
    ASSERT_TRUE(audio.Initialize());
    EXPECT_EQ(audio.StandardDeviceID(), 5);   // the first of the two best devices
    EXPECT_EQ(audio.Devices().size(), 4u);

    const struct {
        const char* driver;
        const char* errorStart;
    } failures[] = {
        {"", "No output driver has been specified."},
        {"TNoSuchDriver", "No output driver has been specified."},
        {"TFakeBrokenDriver", "An unspecified error occured during the creation"},
        {"TFakeMuteDriver", "No output device had been found"},
    };
    for (const auto& f : failures) {
        audio.DriverName = f.driver;
        EXPECT_FALSE(audio.Initialize()) << f.driver;
        EXPECT_TRUE(audio.LastError().startsWith(f.errorStart)) << f.driver;
    }
}

} // namespace

namespace {

// The whole program path: the sound-card driver on the device PV_AUDIO_OUTPUT
// selects, paced by the clock, writing what it plays into a WAV file.
TEST(AudioWholeChain, WavDeviceRecordsTheSourceSamples)
{
    StartEngineWithCapture();
    TTempProgramDir dir;
    const QString folder = dir.File("aufnahme");
    const QByteArray saved = qgetenv("PV_AUDIO_OUTPUT");
    qputenv("PV_AUDIO_OUTPUT", ("wav:" + folder).toUtf8());
    const QByteArray wav = Sine(Rate / 4, 30000);
    dir.Write("track.wav", wav);
    {
        TAuAudio audio;
        audio.DriverName = "TAuDirectSoundDriver";
        ASSERT_TRUE(audio.Initialize()) << audio.LastError().toStdString();
        TAuPlayer player(&audio);
        std::atomic<int> finished{0};
        player.SetOnFinish([&](TAuCustomAudioObject*) { ++finished; });
        ASSERT_TRUE(player.LoadFromFile(dir.File("track.wav")));
        ASSERT_TRUE(player.Open());
        player.Play();
        ASSERT_TRUE(WaitFor([&] { return finished.load() == 1; }, Bound));
    }   // the stream closes with the player: the file is complete
    if (saved.isNull())
        qunsetenv("PV_AUDIO_OUTPUT");
    else
        qputenv("PV_AUDIO_OUTPUT", saved);

    QFile file(folder + "/stream-1.wav");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    const int data = written.indexOf("data");
    ASSERT_GT(data, 0);
    const QByteArray samples = written.mid(data + 8);
    const QByteArray pcm = PcmOf(wav);
    ASSERT_GE(samples.size(), pcm.size());
    EXPECT_EQ(samples.left(pcm.size()), pcm);
    // After the last sample the device got silence only.
    EXPECT_EQ(samples.mid(pcm.size()), QByteArray(samples.size() - pcm.size(), '\0'));
}

} // namespace
