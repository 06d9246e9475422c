// The DMX frame while the operator saves and opens a large show. The engine runs
// in a temporary program folder with its 40 ms clock, the script page (offscreen,
// not on screen, as when another page is shown) and the real output plug-in,
// which sends every frame as Art-Net to a UDP receiver on its own thread in this
// process; the receiver stamps each frame's arrival, so a stalled event loop
// shows as a gap between frames. The show is BenchSceneShow's full show: 999
// scenes of 10 versions, 60 group scenes, all channels named, 60 chasers and a
// script of about 1 MB (about 6.5 MB on disk). With PV_BENCH_SHOW=FILE the show is
// that file (copied into the program folder); a missing FILE is written first,
// so that programs built from different trees measure the same show. With
// PV_BENCH_FULL_CHASERS=1 the show written has its 60 chasers filled to the
// table's maximum (192 entries, 99 steps; about 11 MB on disk).
//
// BM_SavesInARow: ten saves of the show one after the other ("Speichern" with its
//   backup), each waiting for its result, with 100 ms of normal running after each.
// BM_SavesInARowFromTheMenu: the same as the menu saves, the write in the background.
// BM_EditedSavesInARowFromTheMenu: the same with one character typed into the
//   script before each save, so that no save finds its text unchanged.
// BM_OpenShow: three opens of the show as the menu runs them.
// BM_PasteIntoTheScript, BM_PasteIntoAMemo, BM_PasteIntoAnInputScript: 5.7 MB of
//   text (lines of 80 characters) pasted into the script page, into a memo (as the
//   debug page's) and into an input-script box of the interface page (185 x 89
//   pixels, a box for command lines), each on screen (offscreen), from the paste
//   until the box holds what it takes.
// BM_PasteIntoALineEdit/W/N: the same text pasted N times into a one-line box,
//   by the box's own paste (W = 0, as Ctrl+V did before the boxes were guarded),
//   by Ctrl+V (W = 1), or by Ctrl+V into a box for command lines (W = 2).
// BM_PasteALongLineIntoTheScript: 1.4 MB without a line break pasted into the
//   script page four times a second apart, then twenty characters typed after it.
// Counters: max_gap_ms, the largest gap between two frames from the first
// operation's start to 100 ms after the last one ended; missing_frames, how many
// frames fewer than the 40 ms schedule gives arrived in that time.
// The clock is the 40 ms window timer; with PV_BENCH_CLOCK_THREAD=1 in the
// environment it is the clock thread ([System] MMTimer=1), which keeps absolute
// deadlines, so a late tick is not followed by a shifted schedule.

#include "BenchFormsApp.h"
#include "BenchProgramFolder.h"
#include "BenchSceneShow.h"
#include "cues/uFrm_Text.h"
#include "framework/uMod_Main.h"
#include "framework/uProject.h"
#include "framework/uTextEdits.h"
#include "framework/uUtils.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextEdit>
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace bench_show;
using Clock = std::chrono::steady_clock;

constexpr int ArtDmxSize = 18 + 512;

// Receives the Art-Net frames on its own thread and keeps their arrival times.
class TFrameReceiver {
public:
    TFrameReceiver()
    {
        FSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        timeval timeout{0, 100000};
        ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        FThread = std::thread([this] { Run(); });
    }
    ~TFrameReceiver()
    {
        FStop = true;
        FThread.join();
        ::close(FSocket);
    }
    int Port() const { return FPort; }
    std::vector<Clock::time_point> Frames()
    {
        std::lock_guard lock(FMutex);
        return FFrames;
    }

private:
    void Run()
    {
        char buffer[2048];
        while (!FStop) {
            const ssize_t n = ::recv(FSocket, buffer, sizeof buffer, 0);
            if (n == ArtDmxSize) {
                std::lock_guard lock(FMutex);
                FFrames.push_back(Clock::now());
            }
        }
    }

    int FSocket = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::mutex FMutex;
    std::vector<Clock::time_point> FFrames;
    std::thread FThread;
};

TFrameReceiver* Receiver = nullptr;
QString ShowPath;

// Runs the event loop (the clock ticks in it) for ms milliseconds.
void RunFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

// Runs operation count times with 100 ms of normal running after each and reports
// the largest frame gap and the frames missing against the 40 ms schedule from
// the last frame before the first start on.
void MeasureGaps(benchmark::State& state, int count, const std::function<bool()>& operation)
{
    RunFor(300);
    double worst = 0;
    double missing = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            if (!operation()) {
                state.SkipWithError("the show operation failed");
                return;
            }
            RunFor(100);
        }
        const std::vector<Clock::time_point> frames = Receiver->Frames();
        auto first = std::lower_bound(frames.begin(), frames.end(), start);
        if (first != frames.begin())
            --first;
        if (frames.end() - first < 2)
            continue;
        for (auto it = first; it + 1 < frames.end(); ++it)
            worst = std::max(worst, std::chrono::duration<double, std::milli>(*(it + 1) - *it).count());
        const double span = std::chrono::duration<double, std::milli>(frames.back() - *first).count();
        const double received = double(frames.end() - first);
        missing += std::max(0.0, std::round(span / 40.0) + 1.0 - received);
    }
    state.counters["max_gap_ms"] = benchmark::Counter(worst);
    state.counters["missing_frames"] = benchmark::Counter(missing);
}

void BM_SavesInARow(benchmark::State& state)
{
    MeasureGaps(state, 10, [] { return SaveCurrentProject(); });
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(ShowPath).size());
}
BENCHMARK(BM_SavesInARow)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// As the menu saves: the write runs in the background; the next save (or the end
// of the measurement) waits for it.
void BM_SavesInARowFromTheMenu(benchmark::State& state)
{
    MeasureGaps(state, 10, [] { return SaveCurrentProject(TSaveMode::Background); });
    WaitForShowSaves();
}
BENCHMARK(BM_SavesInARowFromTheMenu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_EditedSavesInARowFromTheMenu(benchmark::State& state)
{
    MeasureGaps(state, 10, [] {
        QTextCursor c(frmText->RichEdit1->document());
        c.insertText(QStringLiteral("x"));
        return SaveCurrentProject(TSaveMode::Background);
    });
    WaitForShowSaves();
}
BENCHMARK(BM_EditedSavesInARowFromTheMenu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_OpenShow(benchmark::State& state)
{
    MeasureGaps(state, 3, [] { return OpenProject(ShowPath) && ShowIsComplete(); });
}
BENCHMARK(BM_OpenShow)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

QString PastedText()
{
    QString text;
    for (int i = 0; text.size() < 5700000; ++i)
        text += QStringLiteral("Zeile %1: K1P255 W5M3 \"Licht an\" und Text bis zum Ende der Zeile im Skript.\n")
                    .arg(i, 6, 10, QLatin1Char('0'));
    return text;
}

// Pastes PastedText into editor and runs the event loop until its document
// holds expected characters.
template <class Edit>
void MeasurePaste(benchmark::State& state, Edit* editor, qsizetype expected)
{
    editor->show();
    QGuiApplication::clipboard()->setText(PastedText());
    RunFor(200);
    MeasureGaps(state, 1, [editor, expected] {
        editor->paste();
        QElapsedTimer waited;
        waited.start();
        while (editor->document()->characterCount() - 1 < expected && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        return editor->document()->characterCount() - 1 == expected;
    });
    editor->hide();
    editor->clear();
    RunFor(200);
}

void BM_PasteIntoTheScript(benchmark::State& state)
{
    QTextEdit* edit = frmText->RichEdit1;
    edit->clear();
    frmText->resize(1000, 700);
    frmText->show();
    MeasurePaste(state, edit, PastedText().size());
    frmText->hide();
}
BENCHMARK(BM_PasteIntoTheScript)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PasteIntoAMemo(benchmark::State& state)
{
    TPlainTextEdit memo;
    memo.resize(800, 600);
    MeasurePaste(state, &memo, PastedText().size());
}
BENCHMARK(BM_PasteIntoAMemo)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PasteIntoAnInputScript(benchmark::State& state)
{
    TPlainTextEdit box;
    box.resize(185, 89);
    box.SetMaxLength(MaxCommandLineLength);
    MeasurePaste(state, &box, MaxCommandLineLength);
}
BENCHMARK(BM_PasteIntoAnInputScript)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// A key typed into widget as the event loop delivers it (through the
// application's event filters).
void Type(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
}

// Pastes of 5.7 MB into a one-line box on screen (offscreen), the clipboard
// the program's own (no transfer from an X server): /0 through the box's own
// paste (what Ctrl+V did before the program guarded the boxes), /1 by Ctrl+V,
// /2 by Ctrl+V into a box for command lines (MaxCommandLineLength).
// A second argument gives the number of pastes in a row, 100 ms apart.
void BM_PasteIntoALineEdit(benchmark::State& state)
{
    QLineEdit box;
    box.resize(200, 24);
    if (state.range(0) == 2)
        box.setMaxLength(MaxCommandLineLength);
    box.show();
    QGuiApplication::clipboard()->setText(PastedText());
    RunFor(200);
    const bool byKey = state.range(0) >= 1;
    double longest = 0;
    MeasureGaps(state, int(state.range(1)), [&box, byKey, &longest] {
        QElapsedTimer took;
        took.start();
        if (byKey)
            Type(&box, Qt::Key_V, Qt::ControlModifier);
        else
            box.paste();
        box.repaint();
        longest = std::max(longest, took.nsecsElapsed() / 1e6);
        return box.text().size() == box.maxLength();
    });
    // The longest single paste with the box's repaint: the GUI thread's part.
    state.counters["paste_ms"] = benchmark::Counter(longest);
}
BENCHMARK(BM_PasteIntoALineEdit)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 60})
    ->Args({1, 60})
    ->Args({2, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// 1.4 MB without a line break pasted into the script page four times, a second
// apart, then twenty characters typed after it, 40 ms apart.
void BM_PasteALongLineIntoTheScript(benchmark::State& state)
{
    QTextEdit* edit = frmText->RichEdit1;
    edit->clear();
    frmText->resize(1000, 700);
    frmText->show();
    QGuiApplication::clipboard()->setText(QString(1400000, u'x'));
    RunFor(200);
    int step = 0;
    double longest = 0;
    MeasureGaps(state, 5, [edit, &step, &longest] {
        if (step++ < 4) {
            edit->paste();
            QElapsedTimer waited;
            waited.start();
            while (edit->isReadOnly() && waited.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
            RunFor(900);
            return !edit->isReadOnly();
        }
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer took;
            took.start();
            Type(edit->viewport(), Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            edit->viewport()->repaint();
            longest = std::max(longest, took.nsecsElapsed() / 1e6);
            RunFor(40);
        }
        return true;
    });
    state.counters["blocks"] = benchmark::Counter(edit->document()->blockCount());
    // The longest keystroke with the editor's repaint.
    state.counters["key_ms"] = benchmark::Counter(longest);
    frmText->hide();
    edit->clear();
    RunFor(200);
}
BENCHMARK(BM_PasteALongLineIntoTheScript)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    TBenchFormsApp app(argc, argv);
    if (!app.ArgumentsOk())
        return 1;
    TBenchProgramFolder dir(true);
    ShowPath = dir.File(QStringLiteral("Szenen.pvs"));
    TFrameReceiver receiver;
    Receiver = &receiver;
    qputenv("USBIO_DEVICE", "artnet:127.0.0.1:" + QByteArray::number(receiver.Port()));
    if (qEnvironmentVariableIntValue("PV_BENCH_CLOCK_THREAD") == 1) {
        QFile ini(dir.File(QStringLiteral("PV_TESSEL.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[System]\r\nMMTimer=1\r\n");
    }
    auto main = std::make_unique<TModuleMain>();
    auto page = std::make_unique<TfrmText>();
    GuardOneLineBoxes();
    const QString given = qEnvironmentVariable("PV_BENCH_SHOW");
    if (!given.isEmpty() && QFileInfo::exists(given)) {
        if (!QFile::copy(given, ShowPath) || !OpenProject(ShowPath) || !ShowIsComplete())
            return 1;
    } else {
        PrepareFullShow();
        if (qEnvironmentVariableIntValue("PV_BENCH_FULL_CHASERS") == 1)
            FillChasers();
        if (!SaveProject(ShowPath) || (!given.isEmpty() && !QFile::copy(ShowPath, given)))
            return 1;
    }
    main->StartClock();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    page.reset();
    main.reset();
    return 0;
}
