// The output drivers: the sound-card driver's wave format, ring arithmetic,
// state machine and underrun handling over a scripted device; the paced null
// and WAV devices on a manual clock; the ALSA backend through its "null" and
// "file" PCMs; the bridge driver over a fake bridge library.

#include "TestHelpers.h"

#include "audio/uAcClasses.h"
#include "audio/uAuDirectSound.h"
#include "audio/uAuRegistry.h"
#include "audio/uAuWASAPI.h"
#include "framework/uErrorLog.h"
#include "framework/uMod_Main.h"
#include "platform/PcmOut.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>

namespace {

// ---- a scripted device ----

struct TDeviceScript {
    std::int64_t Queued = 0;              // what Queued reports (frames or -errno)
    std::int64_t Buffer = 1 << 20;        // BufferFrames
    std::vector<std::int64_t> WriteErrors;   // returned by the next writes, in order
    bool RefuseOpen = false;
    QByteArray Written;
    QStringList Log;
};

class TScriptedPcm : public TPcmOut {
public:
    explicit TScriptedPcm(TDeviceScript& s) : S(s) {}
    bool Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t buffer,
              std::int32_t period) override
    {
        S.Log << QStringLiteral("open %1 %2 %3 %4 %5").arg(rate).arg(channels).arg(bits).arg(buffer).arg(period);
        FErrorText = QStringLiteral("refused");
        return !S.RefuseOpen;
    }
    std::int64_t BufferFrames() const override { return S.Buffer; }
    std::int64_t Queued() override { return S.Queued; }
    std::int64_t Write(const void* data, std::int64_t frames) override
    {
        if (!S.WriteErrors.empty()) {
            const std::int64_t e = S.WriteErrors.front();
            S.WriteErrors.erase(S.WriteErrors.begin());
            return e;
        }
        S.Written.append(static_cast<const char*>(data), frames * 4);
        return frames;
    }
    bool Recover(int error) override { S.Log << QStringLiteral("recover %1").arg(error); return true; }
    void Pause(bool pause) override { S.Log << QStringLiteral("pause %1").arg(pause); }
    void Drop() override { S.Log << QStringLiteral("drop"); }
    void Close() override { S.Log << QStringLiteral("close"); }

private:
    TDeviceScript& S;
};

TAuDriverParameters Stereo44k()
{
    return MakeDriverParameters(44100, 2, 16);
}

std::unique_ptr<TAuStreamDriver> ScriptedStream(TDeviceScript& script,
                                                const TAuDriverParameters& p = Stereo44k())
{
    TAuDirectSoundDriver driver({{QStringLiteral("Test"), QStringLiteral("test"), true,
                                  [&script] { return std::make_unique<TScriptedPcm>(script); }}});
    return driver.CreateStreamDriver(0, p);
}

// A read callback that hands out `give` bytes of a counting pattern (or what it
// is asked, when give < 0) and reports `state`.
struct TSource {
    std::int64_t Give = -1;
    std::uint8_t State = ausData;
    std::int32_t Asked = 0;
    std::uint8_t Next = 1;
    TAuReadCallback Callback()
    {
        return [this](void* buffer, std::int32_t count, TAuSyncData& sync) {
            Asked = count;
            const std::int32_t n = Give < 0 ? count : std::int32_t(Give);
            for (std::int32_t i = 0; i < std::min(n, count); ++i)
                static_cast<std::uint8_t*>(buffer)[i] = Next++;
            sync.State = State;
            sync.Timecode = 1234;
            return n;
        };
    }
};

std::atomic<std::int64_t> ManualNow{0};
std::int64_t ManualClock()
{
    return ManualNow.load();
}

} // namespace

TEST(AudioDrivers, WaveFormatRecordAndItsRangeErrors)
{
    const QByteArray pcm = "0100000000001000800000aa00389b71";   // the PCM sub-format
    struct Row { int rate, channels, bits; QByteArray hex; };
    const Row rows[] = {
        {44100, 2, 16, "0100" "0200" "44ac0000" "10b10200" "0400" "1000" "0000" "0000" "00000000"},
        {48000, 6, 16, "feff" "0600" "80bb0000" "00ca0800" "0c00" "1000" "1600" "1000" "3f000000" + pcm},
        {22050, 1, 8, "0100" "0100" "22560000" "22560000" "0100" "0800" "0000" "0000" "00000000"},
        {8000, 40, 8, "feff" "2800" "401f0000" "00e20400" "2800" "0800" "1600" "0800" "ffffffff" + pcm},
        {44100, 65536, 16, {}}, {44100, 2, 65536 * 8, {}}, {44100, 40000, 16, {}}, {44100, -2, 16, {}},
        {2000000000, 8, 16, {}},   // more bytes a second than 32 bits hold
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.rate << " Hz " << r.channels << " ch " << r.bits << " bit");
        const auto f = MakeWaveFormat(r.rate, r.channels, r.bits);
        TDeviceScript script;
        EXPECT_EQ(ScriptedStream(script, MakeDriverParameters(r.rate, r.channels, r.bits)) != nullptr, !r.hex.isEmpty());
        ASSERT_EQ(f.has_value(), !r.hex.isEmpty());
        if (f) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(f->data()), 40).toHex(), r.hex.leftJustified(80, '0'));
            EXPECT_EQ(WaveFormatSize(*f), r.channels > 2 ? 40 : 16);
        }
    }
}

TEST(AudioDrivers, RingAndChunkRoundHalfToEvenAndStreamsWithoutAChunkAreRefused)
{
    struct Row { int rate, channels; int ring, chunk; };
    const Row rows[] = {
        {44100, 2, 4410, 1102},   // 17640 and 4408 bytes; 1102.5 rounds down to even
        {11025, 2, 1102, 276},    // 1102.5 -> 1102, 275.5 -> 276
        {48000, 6, 4800, 1200}, {30, 1, 3, 1}, {20, 1, 2, 0}, {0, 2, 0, 0}, {44100, 0, 0, 0},
    };
    for (const Row& r : rows) {
        const TAuRingSizes s = RingSizesFor(MakeDriverParameters(r.rate, r.channels, 16));
        EXPECT_EQ(s.RingFrames, r.ring) << r.rate;
        EXPECT_EQ(s.ChunkFrames, r.chunk) << r.rate;
        TDeviceScript script;
        EXPECT_EQ(ScriptedStream(script, MakeDriverParameters(r.rate, r.channels, 16)) != nullptr, r.chunk > 0);
    }
    EXPECT_EQ(RingSizesFor(Stereo44k()).RingBytes(), 17640);
    EXPECT_EQ(RingSizesFor(Stereo44k()).ChunkBytes(), 4408);
}

TEST(AudioDrivers, IdleWritesEveryWholeFreeChunkOnlyWhenMoreThanAChunkIsFree)
{
    struct Row { const char* what; std::int64_t queued, buffer; std::int32_t asked; bool wrote; };
    const Row rows[] = {
        {"empty device: four chunks", 0, 1 << 20, 17632, true},
        {"exactly one chunk free", 4410 - 1102, 1 << 20, 0, false},
        {"one chunk and one frame free", 4410 - 1103, 1 << 20, 4408, true},
        {"more queued than the ring", 9000, 1 << 20, 0, false},
        {"device smaller than the ring", 0, 2000, 4408, true},
        {"underrun reported: treated as empty", -EPIPE, 1 << 20, 17632, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TDeviceScript script;
        script.Queued = r.queued;
        script.Buffer = r.buffer;
        auto stream = ScriptedStream(script);
        ASSERT_TRUE(stream->Open());
        stream->Play();
        TSource source;
        EXPECT_EQ(stream->Idle(source.Callback()), r.wrote);
        EXPECT_EQ(source.Asked, r.asked);
        EXPECT_EQ(script.Written.size(), r.asked);
    }
}

TEST(AudioDrivers, StateMachineOpensOnlyOnceAndTakesDataOnlyWhilePlaying)
{
    TDeviceScript script;
    auto owned = ScriptedStream(script);
    auto* stream = static_cast<TAuDirectSoundStreamDriver*>(owned.get());
    EXPECT_EQ(stream->Delay(), 100);
    TSource source;
    struct Step { const char* op; int state; bool idleWrites; const char* log; };
    const Step steps[] = {
        {"play", 0, false, ""},   // closed: nothing happens
        {"open", 1, false, "open 44100 2 16 4410 1102"},
        {"open", 1, false, ""},   // open already: refused, nothing opened twice
        {"pause", 1, false, ""},
        {"play", 3, true, ""},
        {"pause", 2, false, "pause 1"},
        {"play", 3, true, "pause 0"},
        {"close", 3, true, ""},   // only a stopped stream is closed
        {"stop", 1, false, "drop,close"},
        {"stop", 1, false, ""},
        {"play", 3, true, "open 44100 2 16 4410 1102"},
        {"stop", 1, false, "drop,close"},
        {"open", 1, false, "open 44100 2 16 4410 1102"},
        {"close", 1, false, "drop,close"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.op << " -> " << s.state << " " << s.log);
        script.Log.clear();
        const QString op = QString::fromLatin1(s.op);
        if (op == "open") stream->Open();
        if (op == "play") stream->Play();
        if (op == "pause") stream->Pause();
        if (op == "stop") stream->Stop();
        if (op == "close") stream->Close();
        EXPECT_EQ(stream->State(), s.state);
        EXPECT_EQ(script.Log.join(','), QString::fromLatin1(s.log));
        script.Written.clear();
        EXPECT_EQ(stream->Idle(source.Callback()), s.idleWrites);
        EXPECT_EQ(!script.Written.isEmpty(), s.idleWrites);
    }
    stream->Play();
    script.Log.clear();
    owned.reset();
    EXPECT_EQ(script.Log.join(','), "close");   // destroying releases the device

    script.RefuseOpen = true;   // a device that refuses: Open and Play fail, with an error-log entry
    owned = ScriptedStream(script);
    const int before = ErrorLogCount("refused");
    EXPECT_FALSE(owned->Open());
    owned->Play();
    EXPECT_EQ(static_cast<TAuDirectSoundStreamDriver*>(owned.get())->State(), 0);
    EXPECT_EQ(ErrorLogCount("refused"), before + 1);
}

TEST(AudioDrivers, UnderrunIsRecoveredOnceAndShortReadsAreNotPaddedUntilTheEnd)
{
    struct Row {
        const char* what;
        std::vector<std::int64_t> errors;
        std::int64_t give;
        std::uint8_t state;
        int written, recovers;
        bool result;
    };
    const Row rows[] = {
        {"underrun, recovered", {-EPIPE}, -1, ausData, 17632, 1, true},
        {"suspend, recovered", {-ESTRPIPE}, -1, ausData, 17632, 1, true},
        {"second underrun: given up", {-EPIPE, -EPIPE}, -1, ausData, 0, 1, false},
        {"device full", {-EAGAIN}, -1, ausData, 0, 0, false},
        {"short read mid-stream: only the data", {}, 1000, ausData, 1000, 0, true},
        {"odd byte count: whole frames only", {}, 1001, ausData, 1000, 0, true},
        {"last read: padded with silence", {}, 1000, ausEnd, 17632, 0, true},
        {"nothing read", {}, 0, ausEnd, 0, 0, false},
        {"callback claims more than asked", {}, 99999, ausData, 17632, 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TDeviceScript script;
        script.WriteErrors = r.errors;
        auto stream = ScriptedStream(script);
        stream->Open();
        stream->Play();
        script.Log.clear();
        TSource source{r.give, r.state};
        EXPECT_EQ(stream->Idle(source.Callback()), r.result);
        EXPECT_EQ(script.Written.size(), r.written);
        EXPECT_EQ(script.Log.filter("recover").size(), r.recovers);
        EXPECT_EQ(stream->SyncData().Timecode, 1234);
        EXPECT_EQ(stream->SyncData().State, r.state);
        const int data = std::min<int>(int(std::max<std::int64_t>(r.give, 0)) / 4 * 4, r.written);
        if (r.give >= 0 && data > 0) {
            EXPECT_EQ(quint8(script.Written[data - 1]), quint8(data));      // the callback's bytes ...
            EXPECT_EQ(script.Written.mid(data), QByteArray(r.written - data, '\0'));   // ... then silence
        }
    }
}

TEST(AudioDrivers, DeviceListFollowsTheSelectionAndThePrimaryDeviceGetsPriorityOne)
{
    struct Row { const char* selection; const char* name; const char* module; };
    const Row rows[] = {
        {"null", "Null-Ausgabe", "null"}, {"wav:/tmp/x", "WAV-Datei", "/tmp/x"},
        {"alsa:null", "null", "null"}, {"bogus", nullptr, nullptr}, {"wav:", nullptr, nullptr},
    };
    for (const Row& r : rows) {
        ResetPcmSelectionWarning();   // a new run of the audio module
        const int errors = ErrorLogCount("PV_AUDIO_OUTPUT");
        const std::vector<TPcmDevice> devices = ListPcmDevices(QString::fromLatin1(r.selection));
        ASSERT_EQ(devices.size(), r.name ? 1u : 0u) << r.selection;
        // Every player of the run asks again; the log has the bad value once.
        ListPcmDevices(QString::fromLatin1(r.selection));
        EXPECT_EQ(ErrorLogCount("PV_AUDIO_OUTPUT"), errors + (r.name ? 0 : 1));
        if (r.name) {
            EXPECT_EQ(devices[0].Description, r.name);
            EXPECT_EQ(devices[0].Module, r.module);
            EXPECT_TRUE(devices[0].Primary);
        }
    }
    for (const TPcmDevice& d : ListAlsaPcmDevices())
        EXPECT_NE(d.Module, "null");

    const auto nothing = [] { return std::unique_ptr<TPcmOut>(); };
    TAuDirectSoundDriver driver({{"Karte", "hw:0", false, nothing}, {"Standard", "default", true, nothing}});
    EXPECT_EQ(driver.Priority(), 150);
    std::vector<std::pair<int, int>> seen;
    driver.EnumDevices([&](const TAuDevice& d) { seen.emplace_back(d.ID, d.Priority); });
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    EXPECT_EQ(driver.CreateStreamDriver(2, Stereo44k()), nullptr);
    EXPECT_EQ(driver.CreateStreamDriver(-1, Stereo44k()), nullptr);
    auto stream = driver.CreateStreamDriver(1, Stereo44k());
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(stream->Open());   // the device made no stream
}

TEST(AudioDrivers, PacedDeviceMovesItsCursorOnlyWhileRunningAndFed)
{
    ManualNow = 0;
    TPacedPcmOut pcm(&ManualClock);
    ASSERT_TRUE(pcm.Open(1000, 1, 16, 100, 25));
    const std::vector<std::int16_t> samples(200, 7);
    struct Step { std::int64_t advanceMs; const char* op; std::int64_t frames; std::int64_t result, queued; };
    const Step steps[] = {
        {500, "", 0, 0, 0},              // not started: nothing queued, nothing moves
        {0, "write", 150, 100, 100},     // takes what fits
        {0, "write", 10, -EAGAIN, 100},  // full
        {50, "", 0, 0, 50},
        {0, "pause", 0, 0, 50},
        {1000, "", 0, 0, 50},            // frozen while paused
        {0, "resume", 0, 0, 50},
        {10, "", 0, 0, 40},
        {1000, "", 0, 0, 0},             // ran dry: the cursor waits at the end of the data
        {0, "write", 10, 10, 10},        // and goes on from the new data, not ahead of it
        {5, "", 0, 0, 5},
        {0, "drop", 0, 0, 0},
        {100, "write", 30, 30, 30},      // a fresh start after the drop
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.op << " after " << s.advanceMs << " ms");
        ManualNow += s.advanceMs * 1000000;
        const QString op = QString::fromLatin1(s.op);
        std::int64_t result = 0;
        if (op == "write") result = pcm.Write(samples.data(), s.frames);
        if (op == "pause") pcm.Pause(true);
        if (op == "resume") pcm.Pause(false);
        if (op == "drop") pcm.Drop();
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(pcm.Queued(), s.queued);
    }
}

TEST(AudioDrivers, WavDeviceWritesEachStreamAsAWavFileWhenItCloses)
{
    TTempProgramDir dir;
    ManualNow = 0;
    SetPacedClock(&ManualClock);
    TAuDirectSoundDriver driver(ListPcmDevices("wav:" + dir.File("new")));
    auto stream = driver.CreateStreamDriver(0, Stereo44k());
    ASSERT_TRUE(stream->Open());
    stream->Play();
    TSource source;
    ASSERT_TRUE(stream->Idle(source.Callback()));    // four chunks
    EXPECT_FALSE(stream->Idle(source.Callback()));   // full
    ManualNow += 50000000;                           // 50 ms: two chunks played
    stream->Pause();
    ManualNow += 1000000000;
    EXPECT_FALSE(stream->Idle(source.Callback()));
    stream->Play();
    source.Give = 100;
    source.State = ausEnd;
    ASSERT_TRUE(stream->Idle(source.Callback()));    // 100 bytes and silence to the end of two chunks
    EXPECT_FALSE(QFile::exists(dir.File("new/stream-1.wav")));   // appears complete, at the end
    stream->Stop();
    stream->Play();                                  // a new stream
    stream.reset();
    SetPacedClock({});

    const QByteArray wav = dir.Read("new/stream-1.wav");
    const int data = 17632 + 8816;
    EXPECT_EQ(wav.left(44), "RIFF" + Le32(36 + data) + "WAVEfmt " + Le32(16)
                                + QByteArray::fromHex("0100020044ac000010b1020004001000") + "data" + Le32(data));
    QByteArray expected;
    for (int i = 0; i < 17632 + 100; ++i)
        expected += char(quint8(i + 1));
    expected += QByteArray(8816 - 100, '\0');
    EXPECT_EQ(wav.mid(44), expected);
    EXPECT_EQ(dir.Read("new/stream-2.wav").size(), 44);   // the second stream, empty but whole
}

TEST(AudioDrivers, WavDeviceNumbersAfterExistingFilesWritesExtensibleFormatAndSurvivesAFullDisk)
{
    TTempProgramDir dir;
    dir.Write("stream-7.wav", "old");
    TWavPcmOut six(dir.Path(), &ManualClock);
    ASSERT_TRUE(six.Open(48000, 6, 16, 4800, 1200));
    EXPECT_TRUE(six.FileName().endsWith("/stream-8.wav"));
    const std::vector<std::int16_t> frame(6, 1);
    EXPECT_EQ(six.Write(frame.data(), 1), 1);
    six.Close();
    const QByteArray wav = dir.Read("stream-8.wav");
    EXPECT_EQ(wav.mid(12, 10), "fmt " + Le32(40) + "\xfe\xff");   // the extensible form, whole
    EXPECT_EQ(wav.mid(60), "data" + Le32(12) + QByteArray::fromHex("010001000100010001000100"));

    const int before = ErrorLogCount("stream-9.wav");
    TWavPcmOut full(dir.Path(), &ManualClock);
    std::vector<std::int16_t> second(44100 * 2, 3);
    {
        TFileSizeLimit limit(20000);
        ASSERT_TRUE(full.Open(44100, 2, 16, 44100, 11025));
        EXPECT_EQ(full.Write(second.data(), 44100), 44100);   // the device plays on
        EXPECT_EQ(full.Queued(), 44100);
        full.Close();
    }
    EXPECT_EQ(ErrorLogCount("stream-9.wav"), before + 1);
    EXPECT_FALSE(QFile::exists(dir.File("stream-9.wav")));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 2);   // no temporary file left
}

TEST(AudioDrivers, AlsaBackendOpensWritesAndClosesThroughItsNullAndFilePcms)
{
    auto pcm = CreateAlsaPcmOut("null");
    if (!pcm->Open(44100, 2, 16, 4410, 1102))
        GTEST_SKIP() << "no ALSA null PCM here: " << pcm->ErrorText().toStdString();
    const std::vector<std::int16_t> samples(1102 * 2, 5);
    EXPECT_GE(pcm->BufferFrames(), 1102);
    EXPECT_GT(pcm->Write(samples.data(), 1102), 0);
    EXPECT_GE(pcm->Queued(), 0);
    pcm->Pause(true);
    pcm->Pause(false);
    pcm->Drop();
    EXPECT_GT(pcm->Write(samples.data(), 1102), 0);
    pcm->Close();
    EXPECT_EQ(pcm->Write(samples.data(), 1), -EBADF);
    EXPECT_FALSE(CreateAlsaPcmOut("no-such-pcm")->Open(44100, 2, 16, 4410, 1102));

    TTempProgramDir dir;
    auto file = CreateAlsaPcmOut("file:FILE=" + dir.File("alsa.raw") + ",FORMAT=raw");
    if (!file->Open(44100, 2, 16, 4410, 1102))
        GTEST_SKIP() << "no ALSA file PCM here";
    std::vector<std::int16_t> ramp(1102 * 2);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = std::int16_t(i * 3);
    EXPECT_EQ(file->Write(ramp.data(), 1102), 1102);
    file->Close();
    EXPECT_EQ(dir.Read("alsa.raw"), QByteArray(reinterpret_cast<const char*>(ramp.data()), int(ramp.size() * 2)));
}

// ---- the bridge driver ----

namespace {

struct TFakeBridge {
    void* Module = dlopen(PV_FAKE_WASAPI, RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F Get(const char* name) { return reinterpret_cast<F>(dlsym(Module, name)); }
    void Set(int available, std::intptr_t openResult, int idleFrames)
    {
        Get<void (*)(int, std::intptr_t, int)>("fake_wasapi_set")(available, openResult, idleFrames);
    }
    QString Log() { return QString::fromLatin1(Get<const char* (*)()>("fake_wasapi_take_log")()); }
    QByteArray Filled()
    {
        std::int32_t size = 0;
        const std::uint8_t* p = Get<const std::uint8_t* (*)(std::int32_t*)>("fake_wasapi_filled")(&size);
        return QByteArray(reinterpret_cast<const char*>(p), size);
    }
    ~TFakeBridge() { FreeWASAPIBridge(); Set(1, 7, 0); Log(); dlclose(Module); }
};

// Runs body with an empty class registry and puts the old entries back.
void WithEmptyRegistry(const std::function<void()>& body)
{
    const std::vector<TAcRegistrationEntry> saved = AudioRegistry().Entries();
    AudioRegistry().Clear();
    body();
    AudioRegistry().Clear();
    for (const TAcRegistrationEntry& e : saved)
        AudioRegistry().Register(e.ClassName, e.ClassPath, e.Creator);
}

} // namespace

TEST(AudioDrivers, BridgeDriverIsRegisteredOnlyWithAllSevenEntriesAndAvailableOne)
{
    TFakeBridge fake;
    ASSERT_NE(fake.Module, nullptr);
    struct Row { const char* library; int available; bool registered; };
    const Row rows[] = {
        {"/nonexistent/libwasapi_interface.so", 1, false}, {PV_FAKE_WASAPI_PARTIAL, 1, false},
        {PV_FAKE_WASAPI, 0, false}, {PV_FAKE_WASAPI, 2, false}, {PV_FAKE_WASAPI, 1, true},
    };
    for (const Row& r : rows) {
        WithEmptyRegistry([&] {
            fake.Set(r.available, 7, 0);
            EXPECT_EQ(RegisterWASAPIDriver(r.library), r.registered) << r.library << " " << r.available;
            EXPECT_EQ(AudioRegistry().FindCreator("TAuWASAPIDriver") != nullptr, r.registered);
        });
    }
    EXPECT_TRUE(LoadWASAPIBridge("/nonexistent/other.so"));   // bound already
    FreeWASAPIBridge();

    // The default name is looked for in the program folder first.
    TTempProgramDir dir;
    ASSERT_TRUE(QFile::copy(PV_FAKE_WASAPI, dir.File("libwasapi_interface.so")));
    const QString savedProgramDir = ProgramDir;
    ProgramDir = dir.Path();
    WithEmptyRegistry([] { EXPECT_TRUE(RegisterWASAPIDriver()); });
    ProgramDir = savedProgramDir;

    // Without a bridge in the program folder, start-up offers the sound-card driver only.
    FreeWASAPIBridge();
    WithEmptyRegistry([] {
        StopAudioEngine();
        StartAudioEngine();
        std::vector<std::string> drivers;
        AudioRegistry().Enumerate("TAuDriver", [&](const TAcRegistrationEntry& e) { drivers.push_back(e.ClassName); });
        EXPECT_EQ(drivers, std::vector<std::string>{"TAuDirectSoundDriver"});
        StopAudioEngine();
    });
}

TEST(AudioDrivers, BridgeStreamDriverCallsTheEntriesAndFillsSilenceThenAudio)
{
    TFakeBridge fake;
    fake.Set(1, 7, 0);
    ASSERT_TRUE(LoadWASAPIBridge(PV_FAKE_WASAPI));
    TAuWASAPIDriver driver;
    EXPECT_EQ(driver.Priority(), 100);
    std::vector<std::pair<int, int>> seen;
    driver.EnumDevices([&](const TAuDevice& d) { seen.emplace_back(d.ID, d.Priority); });
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{-1, 10}}));
    auto stream = driver.CreateStreamDriver(5, Stereo44k());
    EXPECT_EQ(stream->Delay(), 20);
    TSource source;
    source.Give = 6;
    fake.Log();

    struct Step { const char* op; int idleFrames; bool result; const char* log; int audioBytes; };
    const Step steps[] = {
        {"idle", 0, false, "", -1},   // no stream yet
        {"play", 0, false, "", -1},
        {"open", 0, true, "open 2 16 44100;", -1},
        {"open", 0, false, "", -1},
        {"idle", 0, false, "idle 7;", -1},   // nothing to fill
        {"idle", 10, true, "idle 7;", 0},    // opened, not playing: silence only
        {"play", 0, false, "start 7;", -1},
        {"idle", 10, true, "idle 7;", 6},    // the callback's bytes over silence
        {"pause", 0, false, "stop 7;", -1},
        {"idle", 10, true, "idle 7;", 0},
        {"stop", 0, false, "reset 7;", -1},
        {"close", 0, false, "stop 7;close 7;", -1},
        {"close", 0, false, "", -1},
        {"idle", 10, false, "", -1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.op << " " << s.idleFrames);
        fake.Set(1, 7, s.idleFrames);
        source.Asked = 0;
        const QString op = QString::fromLatin1(s.op);
        bool result = false;
        if (op == "open") result = stream->Open();
        if (op == "play") stream->Play();
        if (op == "pause") stream->Pause();
        if (op == "stop") stream->Stop();
        if (op == "close") stream->Close();
        if (op == "idle") result = stream->Idle(source.Callback());
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(fake.Log(), QString::fromLatin1(s.log));
        if (s.audioBytes >= 0) {
            const QByteArray filled = fake.Filled();
            ASSERT_EQ(filled.size(), 640);
            QByteArray expected(40, '\0');
            for (int i = 0; i < s.audioBytes; ++i)
                expected[i] = char(source.Next - s.audioBytes + i);
            EXPECT_EQ(filled.left(40), expected);
            EXPECT_EQ(filled.mid(40), QByteArray(600, char(0xAA)));   // no byte beyond the frames asked
            EXPECT_EQ(source.Asked, s.audioBytes ? 40 : 0);   // not asked while not playing
        }
    }
    fake.Set(1, 0, 0);
    EXPECT_FALSE(stream->Open());   // the bridge gives no handle
    fake.Set(1, 9, 0);
    ASSERT_TRUE(stream->Open());
    fake.Log();
    stream.reset();
    EXPECT_EQ(fake.Log(), "stop 9;close 9;");   // destroying closes
}
