// The player's cost: CPU time of one playing player, of ten players that are
// loaded and opened but not playing, and the delay from Play to the first
// sample handed to the stream driver. The stream driver here is paced by the
// clock like a sound card: it takes samples only as fast as they would play,
// keeping 100 ms queued.

#include "audio/uAuPlayer.h"
#include "audio/uAuRegistry.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

std::atomic<std::int64_t> FirstSampleNs{0};

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
        if (got > 0 && FWritten == 0)
            FirstSampleNs = std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
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

QByteArray Le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

// A 16-bit stereo sine of the given length.
QString SineFile(QTemporaryDir& dir, int seconds)
{
    const int rate = 44100;
    QByteArray data;
    data.reserve(seconds * rate * 4);
    for (int f = 0; f < seconds * rate; ++f) {
        const auto s = static_cast<quint16>(static_cast<qint16>(std::lrint(20000 * std::sin(2 * M_PI * 440 * f / rate))));
        data.append(Le(s, 2) + Le(s, 2));
    }
    const QByteArray fmt = Le(1, 2) + Le(2, 2) + Le(rate, 4) + Le(rate * 4, 4) + Le(4, 2) + Le(16, 2);
    const QByteArray body = "WAVEfmt " + Le(16, 4) + fmt + "data" + Le(static_cast<quint32>(data.size()), 4) + data;
    const QString name = dir.filePath(QStringLiteral("sine%1.wav").arg(seconds));
    QFile file(name);
    if (file.open(QIODevice::WriteOnly))
        file.write("RIFF" + Le(static_cast<quint32>(body.size()), 4) + body);
    return name;
}

TAuAudio& Audio()
{
    static TAuAudio* audio = [] {
        StartAudioEngine();
        RegisterAudioClass<TPacedDriver>([](TAuProtocol*) { return std::make_unique<TPacedDriver>(); });
        auto* a = new TAuAudio;
        a->DriverName = TPacedDriver::ClassName;
        a->Initialize();
        return a;
    }();
    return *audio;
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

std::unique_ptr<TAuPlayer> OpenedPlayer(const QString& file)
{
    auto player = std::make_unique<TAuPlayer>(&Audio());
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

void BM_PlayToFirstSample(benchmark::State& state)
{
    QTemporaryDir dir;
    auto player = OpenedPlayer(SineFile(dir, 5));
    for (auto _ : state) {
        FirstSampleNs = 0;
        const auto t0 = TClock::now();
        player->Play();
        while (FirstSampleNs.load() == 0)
            std::this_thread::yield();
        const double seconds =
            static_cast<double>(FirstSampleNs.load()
                                - std::chrono::duration_cast<std::chrono::nanoseconds>(t0.time_since_epoch()).count())
            / 1e9;
        state.SetIterationTime(seconds);
        player->Stop();
    }
}
BENCHMARK(BM_PlayToFirstSample)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

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
