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
//   BM_ProgramStart/3: as 2, then every panel in turn plays for 0.3 s and is
//                      stopped (A<n>E1, A<n>E3 over the command server)
//
// Manual time: from the start of the process to its "Uhr gestartet" line on
// stderr, which it prints after the show has been opened. Counters: rss_mb,
// VmRSS one and a half seconds later (case 3: two seconds after the last
// stop); idle_cpu_percent, the program's CPU time in the two seconds after
// that, in percent of one core.

#include "AudioFixtures.h"
#include "MediaEncode.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
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

// The track files, made before the runs: WAV for the odd panels, MP3 for the even ones.
QStringList TrackFiles;

bool MakeTrackFiles(const QTemporaryDir& media)
{
    const std::vector<int32_t> samples = SineSamples(kRate, 2, 16, kRate * kSeconds, 330.0, 0.3);
    const QString wav = media.filePath(QStringLiteral("master.wav"));
    const QString mp3 = media.filePath(QStringLiteral("master.mp3"));
    QString error;
    if (!WriteWav(wav, kRate, 2, 16, samples) || !EncodeAudio(mp3, kMp3, kRate, 2, 16, samples, &error)) {
        std::fprintf(stderr, "bench_audio_panels: no track files: %s\n", qPrintable(error));
        return false;
    }
    for (int n = 1; n <= kPanels; ++n) {
        const QString name = media.filePath(QStringLiteral("Ton%1.%2").arg(n).arg(n % 2 ? "wav" : "mp3"));
        if (!QFile::copy(n % 2 ? wav : mp3, name))
            return false;
        TrackFiles << name;
    }
    return true;
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

quint16 FreePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

// One remote command line on a connection of its own.
void Send(quint16 port, const QByteArray& line)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (client.waitForConnected(5000)) {
        client.write("K719" + line + "\n");
        client.waitForBytesWritten(5000);
        client.disconnectFromHost();
    }
}

void BM_ProgramStart(benchmark::State& state)
{
    const QStringList& files = TrackFiles;
    const int mode = int(state.range(0));
    double rss = 0, cpu = 0;
    int runs = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        for (const char* name : {"pvm_dmx.so", "libusbio.so", "libmediadec.so"})
            QFile::copy(BinFolder() + name, dir.filePath(name));
        const QString show = dir.filePath(QStringLiteral("Abend.pvs"));
        const quint16 port = FreePort();
        QByteArray ini = "[Server]\r\nStartAktiv=1\r\nPort=" + QByteArray::number(port) + "\r\n";
        ini += "[FrmMain]\r\nAutoSpeichern=0\r\n";
        if (mode > 0) {
            WriteFile(show, ShowText(files, mode >= 2));
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
        if (mode == 3) {
            for (int n = 1; n <= kPanels; ++n) {
                Send(port, "A" + QByteArray::number(n) + "E1");
                QThread::msleep(300);
                Send(port, "A" + QByteArray::number(n) + "E3");
            }
            QThread::msleep(2000);
        }
        rss += ProcStatusMb(program.processId(), "VmRSS:");
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
BENCHMARK(BM_ProgramStart)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir media;
    if (!MakeTrackFiles(media))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
