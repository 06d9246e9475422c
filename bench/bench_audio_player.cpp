// The player's cost: CPU time of one playing player, of ten players that are
// loaded and opened but not playing, the time a load and open takes, and the
// delay from Play to the first sample the device receives. The stream driver of
// the CPU figures is paced by the clock like a sound card: it takes samples only
// as fast as they would play, keeping 100 ms queued. Load and Play go through
// the program's own sound-card driver on a paced device (the null device of
// PV_AUDIO_OUTPUT=null) that notes when it receives its first sample; the
// tracks are a WAV and an MP3 of 30 s (the MP3 encoded at start through FFmpeg).

#include "AudioFixtures.h"
#include "MediaEncode.h"

#include "audio/uAuDirectSound.h"
#include "audio/uAuPlayer.h"
#include "audio/uAuRegistry.h"
#include "framework/uMod_Main.h"
#include "platform/PcmOut.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

std::atomic<std::int64_t> FirstSampleNs{0};

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
}

// The null device of the program's sound-card driver, noting its first sample.
class TStampPcmOut : public TPacedPcmOut {
public:
    TStampPcmOut() : TPacedPcmOut(nullptr) {}

protected:
    void Accepted(const void*, std::int64_t bytes) override
    {
        std::int64_t none = 0;
        if (bytes > 0)
            FirstSampleNs.compare_exchange_strong(none, NowNs());
    }
};

class TStampDriver : public TAuDirectSoundDriver {
public:
    static constexpr const char* ClassName = "TStampDriver";
    using ClassBase = TAuDirectSoundDriver;
    TStampDriver()
        : TAuDirectSoundDriver({TPcmDevice{QStringLiteral("Stempel"), QStringLiteral("stamp"), true,
                                           [] { return std::unique_ptr<TPcmOut>(new TStampPcmOut); }}})
    {
    }
};

class TPacedStream : public TAuStreamDriver {
public:
    static constexpr const char* ClassName = "TPacedStream";
    using ClassBase = TAuStreamDriver;
    explicit TPacedStream(const TAuDriverParameters& p) { FParameters = p; }
    bool Open() override { return true; }
    void Close() override {}
    void Play() override
    {
        FStart = TClock::now();
        FWritten = 0;
        FPlaying = true;
    }
    void Pause() override { FPlaying = false; }
    void Stop() override { FPlaying = false; }
    bool Idle(const TAuReadCallback& read) override
    {
        if (!FPlaying)
            return false;
        const std::int64_t frame = BytesPerFrame(FParameters);
        const double seconds = std::chrono::duration<double>(TClock::now() - FStart).count() + 0.1;
        const auto allowed = static_cast<std::int64_t>(seconds * FParameters.Frequency) * frame;
        const std::int64_t room = std::min<std::int64_t>(allowed - FWritten, 4096 / frame * frame);
        if (room < 1024)
            return false;
        FChunk.resize(static_cast<std::size_t>(room));
        TAuSyncData sync = FSyncData.Load();
        const std::int32_t got = read(FChunk.data(), static_cast<std::int32_t>(room), sync);
        FSyncData.Store(sync);
        FWritten += got;
        return got > 0;
    }

private:
    std::atomic<bool> FPlaying{false};
    TClock::time_point FStart;
    std::int64_t FWritten = 0;
    std::vector<std::uint8_t> FChunk;
};

class TPacedDriver : public TAuDriver {
public:
    static constexpr const char* ClassName = "TPacedDriver";
    using ClassBase = TAuDriver;
    void EnumDevices(const std::function<void(const TAuDevice&)>& callback) override
    {
        callback(TAuDevice{QStringLiteral("Takt"), 1, 1, 0});
    }
    std::unique_ptr<TAuStreamDriver> CreateStreamDriver(std::int32_t, const TAuDriverParameters& p) override
    {
        return std::make_unique<TPacedStream>(p);
    }
};

// A 16-bit stereo sine of the given length.
QString SineFile(QTemporaryDir& dir, int seconds)
{
    const QString name = dir.filePath(QStringLiteral("sine%1.wav").arg(seconds));
    WriteWav(name, 44100, 2, 16, SineSamples(44100, 2, 16, seconds * 44100, 440.0, 0.6));
    return name;
}

void StartEngine()
{
    static const bool started = [] {
        // The decoder library of the build's program folder, beside build/bench.
        ProgramDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/");
        StartAudioEngine();
        RegisterAudioClass<TPacedDriver>([](TAuProtocol*) { return std::make_unique<TPacedDriver>(); });
        RegisterAudioClass<TStampDriver>([](TAuProtocol*) { return std::make_unique<TStampDriver>(); });
        return true;
    }();
    (void)started;
}

TAuAudio& AudioOn(const char* driver)
{
    StartEngine();
    auto* a = new TAuAudio;
    a->DriverName = QString::fromLatin1(driver);
    a->Initialize();
    return *a;
}

TAuAudio& Audio()
{
    static TAuAudio& audio = AudioOn(TPacedDriver::ClassName);
    return audio;
}

TAuAudio& SoundCard()
{
    static TAuAudio& audio = AudioOn(TStampDriver::ClassName);
    return audio;
}

// The 30 s tracks: 0 WAV, 1 MP3 (empty when the encoder is missing).
QString Track(int format)
{
    static QTemporaryDir dir;
    static const QStringList files = [] {
        const std::vector<int32_t> samples = SineSamples(44100, 2, 16, 44100 * 30, 330.0, 0.3);
        const QString wav = dir.filePath(QStringLiteral("track.wav"));
        const QString mp3 = dir.filePath(QStringLiteral("track.mp3"));
        QString error;
        WriteWav(wav, 44100, 2, 16, samples);
        if (!EncodeAudio(mp3, kMp3, 44100, 2, 16, samples, &error)) {
            std::fprintf(stderr, "MP3: %s\n", qPrintable(error));
            return QStringList{wav, QString()};
        }
        return QStringList{wav, mp3};
    }();
    return files.value(format);
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Each iteration is one second of wall time; the counter is the process's CPU
// time in that second, in percent of one core.
void MeasureCpu(benchmark::State& state)
{
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double c0 = ProcessCpuSeconds();
        const auto w0 = TClock::now();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double w = std::chrono::duration<double>(TClock::now() - w0).count();
        state.SetIterationTime(w);
        cpu += ProcessCpuSeconds() - c0;
        wall += w;
    }
    state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
}

std::unique_ptr<TAuPlayer> OpenedPlayer(const QString& file, TAuAudio& audio = Audio())
{
    auto player = std::make_unique<TAuPlayer>(&audio);
    player->LoadFromFile(file);
    player->Open();
    return player;
}

void BM_OnePlayingPlayer(benchmark::State& state)
{
    QTemporaryDir dir;
    auto player = OpenedPlayer(SineFile(dir, 120));
    player->Play();
    MeasureCpu(state);
    player->Stop();
}
BENCHMARK(BM_OnePlayingPlayer)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_TenIdlePlayers(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = SineFile(dir, 5);
    std::vector<std::unique_ptr<TAuPlayer>> players;
    for (int i = 0; i < 10; ++i)
        players.push_back(OpenedPlayer(file));
    // One played and stopped: a stopped player must rest as well.
    players.front()->Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    players.front()->Stop();
    MeasureCpu(state);
}
BENCHMARK(BM_TenIdlePlayers)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// From Play to the first sample the device takes, on a player that was loaded
// and opened a while before, as a panel's is; stopped and rested between runs.
void BM_PlayToFirstSample(benchmark::State& state)
{
    const QString file = Track(int(state.range(0)));
    if (file.isEmpty()) {
        state.SkipWithError("no track");
        return;
    }
    auto player = OpenedPlayer(file, SoundCard());
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        FirstSampleNs = 0;
        const std::int64_t t0 = NowNs();
        player->Play();
        while (FirstSampleNs.load() == 0)
            std::this_thread::yield();
        state.SetIterationTime(double(FirstSampleNs.load() - t0) / 1e9);
        player->Stop();
    }
}
BENCHMARK(BM_PlayToFirstSample)->Arg(0)->Arg(1)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

// LoadFromFile and Open of a panel's player: what each loaded panel adds to
// the opening of a show.
void BM_LoadAndOpen(benchmark::State& state)
{
    const QString file = Track(int(state.range(0)));
    if (file.isEmpty()) {
        state.SkipWithError("no track");
        return;
    }
    TAuPlayer player(&SoundCard());
    for (auto _ : state) {
        player.LoadFromFile(file);
        if (!player.Open())
            state.SkipWithError("open failed");
    }
}
BENCHMARK(BM_LoadAndOpen)->Arg(0)->Arg(1)->Iterations(40)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    StopAudioEngine();
    return 0;
}
