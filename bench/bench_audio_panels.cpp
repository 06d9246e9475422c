// The real program with loaded audio panels: its start-up time, its resident
// memory once started and its CPU share while the panels rest. Each iteration
// starts build/bin/PV_ORLISK (offscreen, the paced null sound device) from a
// temporary program folder whose settings reopen a show at start, and ends it.
// PV_BENCH_AUDIO_OUTPUT, when set, replaces the null device (PV_AUDIO_OUTPUT).
//
//   BM_ProgramStart/0: no show
//   BM_ProgramStart/1: a show of 40 panels (four audio pages) without files
//   BM_ProgramStart/2: the same show, every panel loaded: 20 WAV and 20 MP3
//                      files of 30 s each (44.1 kHz stereo)
//
// Manual time: from the start of the process to its "Uhr gestartet" line on
// stderr, which it prints after the show has been opened. Counters: rss_mb,
// VmRSS one and a half seconds later; idle_cpu_percent, the program's CPU time
// in the two seconds after that, in percent of one core.

#include "AudioFixtures.h"
#include "MediaEncode.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 30;
constexpr int kPanels = 40;

QString BinFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/");
}

// The track files, made once: WAV for the odd panels, MP3 for the even ones.
const QStringList& TrackFiles(const QTemporaryDir& media)
{
    static QStringList files = [&media] {
        QStringList out;
        const std::vector<int32_t> samples = SineSamples(kRate, 2, 16, kRate * kSeconds, 330.0, 0.3);
        const QString wav = media.filePath(QStringLiteral("master.wav"));
        const QString mp3 = media.filePath(QStringLiteral("master.mp3"));
        QString error;
        if (!WriteWav(wav, kRate, 2, 16, samples) || !EncodeAudio(mp3, kMp3, kRate, 2, 16, samples, &error)) {
            std::fprintf(stderr, "fixtures failed: %s\n", qPrintable(error));
            return out;
        }
        for (int n = 1; n <= kPanels; ++n) {
            const QString master = n % 2 ? wav : mp3;
            const QString name = media.filePath(QStringLiteral("Ton%1.%2").arg(n).arg(n % 2 ? "wav" : "mp3"));
            QFile::copy(master, name);
            out << name;
        }
        return out;
    }();
    return files;
}

QByteArray ShowText(const QStringList& files, bool withFiles)
{
    QByteArray text = "\r\n[Audio]\r\nPanelCount=" + QByteArray::number(kPanels) + "\r\n";
    if (withFiles)
        for (int n = 1; n <= int(files.size()); ++n) {
            const QByteArray i = QByteArray::number(n);
            text += "TrackCount_" + i + "=1\r\nTrackID_" + i + "=1\r\n";
            text += "Name_" + i + "_0=Ton " + i + "\r\n";
            text += "File_" + i + "_0=" + files.at(n - 1).toUtf8() + "\r\n";
            text += "Level_" + i + "_0=0\r\n";
        }
    QByteArray show(1, '\x14');
    const quint32 size = quint32(text.size());
    for (int b = 0; b < 4; ++b)
        show += char((size >> (8 * b)) & 0xFF);
    return show + text;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

double ProcStatusMb(qint64 pid, const char* key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

double ProcCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command name in parentheses: utime and stime are 14 and 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

void BM_ProgramStart(benchmark::State& state)
{
    static QTemporaryDir media;
    const QStringList& files = TrackFiles(media);
    if (files.size() != kPanels) {
        state.SkipWithError("no fixtures");
        return;
    }
    const int mode = int(state.range(0));
    double rss = 0, cpu = 0;
    int runs = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        for (const char* name : {"pvm_dmx.so", "libusbio.so", "libmediadec.so"})
            QFile::copy(BinFolder() + name, dir.filePath(name));
        const QString show = dir.filePath(QStringLiteral("Abend.pvs"));
        QByteArray ini = "[FrmMain]\r\nAutoSpeichern=0\r\n";
        if (mode > 0) {
            WriteFile(show, ShowText(files, mode == 2));
            ini += "LetzteDatei=1\r\nLetzteProjektDatei=" + show.toUtf8() + "\r\n";
        }
        WriteFile(dir.filePath(QStringLiteral("PV_TESSEL.ini")), ini);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PV_PROGRAM_DIR"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("PV_AUDIO_OUTPUT"),
                   qEnvironmentVariable("PV_BENCH_AUDIO_OUTPUT", QStringLiteral("null")));
        program.setProcessEnvironment(env);
        program.setReadChannel(QProcess::StandardError);
        QElapsedTimer clock;
        clock.start();
        program.start(BinFolder() + QStringLiteral("PV_ORLISK"), {});
        QByteArray err;
        qint64 startedNs = -1;
        while (startedNs < 0 && clock.elapsed() < 60000 && program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(10);
            err += program.readAllStandardError();
            if (err.contains("Uhr gestartet"))
                startedNs = clock.nsecsElapsed();
        }
        if (startedNs < 0) {
            state.SkipWithError("the program did not start");
            program.kill();
            program.waitForFinished();
            return;
        }
        state.SetIterationTime(double(startedNs) / 1e9);
        QThread::msleep(1500);
        rss += ProcStatusMb(program.processId(), "VmRSS:");
        if (qEnvironmentVariableIsSet("PV_BENCH_HOLD"))
            QThread::sleep(qEnvironmentVariableIntValue("PV_BENCH_HOLD"));
        const double c0 = ProcCpuSeconds(program.processId());
        QThread::msleep(2000);
        cpu += (ProcCpuSeconds(program.processId()) - c0) / 2.0 * 100.0;
        ++runs;
        program.terminate();
        if (!program.waitForFinished(20000)) {
            program.kill();
            program.waitForFinished();
        }
    }
    if (runs > 0) {
        state.counters["rss_mb"] = rss / runs;
        state.counters["idle_cpu_percent"] = cpu / runs;
    }
}
BENCHMARK(BM_ProgramStart)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
