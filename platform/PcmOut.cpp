#include "platform/PcmOut.h"

#include "framework/uAtomicFile.h"
#include "framework/uErrorLog.h"

#include <QDir>
#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>

// ---- clocks ----

std::int64_t SteadyNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {

QMutex ClockMutex;
TPcmClock InstalledClock;

void PutLe16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    PutLe16(p, v & 0xFFFF);
    PutLe16(p + 2, v >> 16);
}

} // namespace

void SetPacedClock(TPcmClock clock)
{
    QMutexLocker lock(&ClockMutex);
    InstalledClock = std::move(clock);
}

TPcmClock PacedClock()
{
    QMutexLocker lock(&ClockMutex);
    return InstalledClock ? InstalledClock : TPcmClock(&SteadyNanoseconds);
}

// ---- the wave format ----

std::optional<TWaveFormat> MakeWaveFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits)
{
    const auto fits16 = [](std::int64_t v) { return v >= 0 && v <= 0xFFFF; };
    const std::int64_t blockAlign = std::int64_t(bits / 8) * channels;
    const std::int64_t byteRate = blockAlign * rate;
    if (!fits16(channels) || !fits16(bits) || !fits16(blockAlign) || rate < 0 || byteRate > 0xFFFFFFFFLL)
        return std::nullopt;
    TWaveFormat f{};
    const bool extensible = channels > 2;
    PutLe16(&f[0], extensible ? 0xFFFE : 1);
    PutLe16(&f[2], std::uint32_t(channels));
    PutLe32(&f[4], std::uint32_t(rate));
    PutLe32(&f[8], std::uint32_t(byteRate));
    PutLe16(&f[12], std::uint32_t(blockAlign));
    PutLe16(&f[14], std::uint32_t(bits));
    if (extensible) {
        PutLe16(&f[16], 22);
        PutLe16(&f[18], std::uint32_t(bits));
        PutLe32(&f[20], channels >= 32 ? 0xFFFFFFFFu : (1u << channels) - 1);
        static const std::uint8_t pcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        std::memcpy(&f[24], pcm, sizeof pcm);
    }
    return f;
}

std::int32_t WaveFormatSize(const TWaveFormat& format)
{
    return format[0] == 0xFE && format[1] == 0xFF ? 40 : 16;
}

// ---- the paced device ----

TPacedPcmOut::TPacedPcmOut(TPcmClock clock) : FClock(clock ? std::move(clock) : TPcmClock(&SteadyNanoseconds)) {}

bool TPacedPcmOut::Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t bufferFrames,
                        std::int32_t periodFrames)
{
    (void)periodFrames;
    if (rate <= 0 || channels <= 0 || (bits != 8 && bits != 16) || bufferFrames <= 0) {
        FErrorText = QStringLiteral("Format nicht unterstützt: %1 Hz, %2 Kanäle, %3 Bit").arg(rate).arg(channels).arg(bits);
        return false;
    }
    FRate = rate;
    FBytesPerFrame = channels * bits / 8;
    FBufferFrames = bufferFrames;
    FOpen = true;
    Drop();
    return true;
}

// Frames the cursor has passed: it moves at the rate while running and stops
// at the last queued frame (a starved device).
std::int64_t TPacedPcmOut::Played()
{
    if (!FRunning || FPaused)
        return FPlayedBase;
    const std::int64_t elapsed = std::max<std::int64_t>(0, FClock() - FStartNs);
    const std::int64_t moved = static_cast<std::int64_t>(static_cast<__int128>(elapsed) * FRate / 1000000000);
    return std::min(FWritten, FPlayedBase + moved);
}

std::int64_t TPacedPcmOut::Queued()
{
    return FOpen ? FWritten - Played() : 0;
}

std::int64_t TPacedPcmOut::Write(const void* data, std::int64_t frames)
{
    if (!FOpen)
        return -EBADF;
    const std::int64_t played = Played();
    if (FRunning && !FPaused && played >= FWritten) {
        // Starved: the cursor waited at the end of the data and goes on from now.
        FPlayedBase = played;
        FStartNs = FClock();
    }
    const std::int64_t take = std::clamp<std::int64_t>(FBufferFrames - (FWritten - played), 0, frames);
    if (take == 0)
        return -EAGAIN;
    Accepted(data, take * FBytesPerFrame);
    FWritten += take;
    if (!FRunning) {
        FRunning = true;
        FPlayedBase = 0;
        FStartNs = FClock();
    }
    return take;
}

void TPacedPcmOut::Pause(bool pause)
{
    if (pause == FPaused)
        return;
    if (pause) {
        FPlayedBase = Played();
        FPaused = true;
    } else {
        FPaused = false;
        FStartNs = FClock();
    }
}

void TPacedPcmOut::Drop()
{
    FWritten = 0;
    FPlayedBase = 0;
    FRunning = false;
    FPaused = false;
}

void TPacedPcmOut::Close()
{
    Drop();
    FOpen = false;
}

void TPacedPcmOut::Accepted(const void*, std::int64_t) {}

// ---- the WAV device ----

namespace {

// The next free stream number per folder of this process, starting after the
// highest stream-<n>.wav found there.
int NextStreamNumber(const QString& folder)
{
    static QMutex mutex;
    static std::map<QString, int> next;
    QMutexLocker lock(&mutex);
    const QString key = QDir(folder).absolutePath();
    auto it = next.find(key);
    if (it == next.end()) {
        int highest = 0;
        static const QRegularExpression pattern(QStringLiteral("^stream-([0-9]{1,9})\\.wav$"));
        for (const QString& name : QDir(key).entryList({QStringLiteral("stream-*.wav")}, QDir::Files)) {
            const QRegularExpressionMatch m = pattern.match(name);
            if (m.hasMatch())
                highest = std::max(highest, m.captured(1).toInt());
        }
        it = next.emplace(key, highest + 1).first;
    }
    return it->second++;
}

constexpr std::int64_t MaxWavData = 0xFFFFFFFFLL - 100;   // what the 32-bit RIFF sizes can describe

} // namespace

struct TWavPcmOut::TRecording {
    explicit TRecording(const QString& path) : File(path) {}
    TAtomicFile File;
    QByteArray Header;
    std::int64_t DataBytes = 0;
    bool Failed = false;
};

TWavPcmOut::TWavPcmOut(const QString& folder, TPcmClock clock) : TPacedPcmOut(std::move(clock)), FFolder(folder) {}

TWavPcmOut::~TWavPcmOut()
{
    Finish();
}

bool TWavPcmOut::Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t bufferFrames,
                      std::int32_t periodFrames)
{
    Finish();
    const std::optional<TWaveFormat> format = MakeWaveFormat(rate, channels, bits);
    if (!format || !TPacedPcmOut::Open(rate, channels, bits, bufferFrames, periodFrames)) {
        if (!format)
            FErrorText = QStringLiteral("Format nicht unterstützt");
        return false;
    }
    QDir().mkpath(FFolder);   // a folder that is not there yet is made; a failure shows at the first write
    FFileName = QDir(FFolder).filePath(QStringLiteral("stream-%1.wav").arg(NextStreamNumber(FFolder)));
    const std::int32_t fmtSize = WaveFormatSize(*format);
    QByteArray header;
    header += "RIFF";
    header += QByteArray(4, '\0');   // sizes are filled in when the stream closes
    header += "WAVEfmt ";
    header += char(fmtSize);
    header += QByteArray(3, '\0');
    header += QByteArray(reinterpret_cast<const char*>(format->data()), fmtSize);
    header += "data";
    header += QByteArray(4, '\0');
    try {
        FRecording = std::make_unique<TRecording>(FFileName);
        FRecording->Header = header;
        FRecording->File.Append(header.constData(), header.size());
    } catch (const EPvError& e) {
        AddToErrorLog(elError, e.Message());
        if (FRecording)
            FRecording->Failed = true;
    }
    return true;
}

void TWavPcmOut::Accepted(const void* data, std::int64_t bytes)
{
    if (!FRecording || FRecording->Failed)
        return;
    TRecording& r = *FRecording;
    if (r.DataBytes + bytes > MaxWavData) {
        r.Failed = true;
        AddToErrorLog(elError, QStringLiteral("Datei \"%1\" kann nicht geschrieben werden: zu groß").arg(FFileName));
        return;
    }
    try {
        r.File.Append(static_cast<const char*>(data), bytes);
        r.DataBytes += bytes;
    } catch (const EPvError& e) {
        r.Failed = true;
        AddToErrorLog(elError, e.Message());
    }
}

// Completes the header and lets the file appear under its name.
void TWavPcmOut::Finish()
{
    if (!FRecording)
        return;
    std::unique_ptr<TRecording> r = std::move(FRecording);
    if (r->Failed)
        return;   // the destructor removes the partial file
    try {
        std::uint8_t size[4];
        PutLe32(size, std::uint32_t(r->Header.size() - 8 + r->DataBytes));
        r->File.WriteAt(4, reinterpret_cast<const char*>(size), 4);
        PutLe32(size, std::uint32_t(r->DataBytes));
        r->File.WriteAt(r->Header.size() - 4, reinterpret_cast<const char*>(size), 4);
        r->File.Commit();
    } catch (const EPvError& e) {
        AddToErrorLog(elError, e.Message());
    }
}

void TWavPcmOut::Close()
{
    TPacedPcmOut::Close();
    Finish();
}

// ---- device lists ----

namespace {
std::atomic<bool> UnknownSelectionLogged{false};
}   // namespace

void ResetPcmSelectionWarning()
{
    UnknownSelectionLogged = false;
}

std::vector<TPcmDevice> ListPcmDevices()
{
    return ListPcmDevices(qEnvironmentVariable("PV_AUDIO_OUTPUT"));
}

std::vector<TPcmDevice> ListPcmDevices(const QString& selection)
{
    if (selection.isEmpty())
        return ListAlsaPcmDevices();
    if (selection == QLatin1String("null"))
        return {{QStringLiteral("Null-Ausgabe"), QStringLiteral("null"), true,
                 [] { return std::unique_ptr<TPcmOut>(new TPacedPcmOut(PacedClock())); }}};
    if (selection.startsWith(QLatin1String("wav:")) && selection.size() > 4) {
        const QString folder = selection.mid(4);
        return {{QStringLiteral("WAV-Datei"), folder, true,
                 [folder] { return std::unique_ptr<TPcmOut>(new TWavPcmOut(folder, PacedClock())); }}};
    }
    if (selection.startsWith(QLatin1String("alsa:")) && selection.size() > 5) {
        const QString name = selection.mid(5);
        return {{name, name, true, [name] { return CreateAlsaPcmOut(name); }}};
    }
    // Every player asks; the log gets the bad value once per run of the engine.
    if (!UnknownSelectionLogged.exchange(true))
        AddToErrorLog(elError,
                      QStringLiteral("PV_AUDIO_OUTPUT=\"%1\" ist unbekannt (erlaubt: null, wav:Ordner, alsa:Name)")
                          .arg(selection));
    return {};
}
