#include "platform/ClockThread.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr std::int64_t NsPerSecond = 1000000000;

void AddNs(timespec& t, std::int64_t ns)
{
    std::int64_t total = static_cast<std::int64_t>(t.tv_nsec) + ns;
    t.tv_sec += static_cast<time_t>(total / NsPerSecond);
    t.tv_nsec = static_cast<long>(total % NsPerSecond);
}

std::int64_t DiffNs(const timespec& a, const timespec& b)
{
    return (static_cast<std::int64_t>(a.tv_sec) - b.tv_sec) * NsPerSecond + (a.tv_nsec - b.tv_nsec);
}
}

TClockThread::TClockThread(std::int64_t periodNs, std::function<void()> onTick)
    : FPeriodNs(periodNs > 0 ? periodNs : 40000000), FOnTick(std::move(onTick))
{
    // A pipe lets Stop wake the thread at once instead of waiting out a period.
    if (pipe2(FWakeFd, O_CLOEXEC | O_NONBLOCK) != 0)
        FWakeFd[0] = FWakeFd[1] = -1;
    FThread = std::thread([this] { Run(); });
}

TClockThread::~TClockThread()
{
    Stop();
    for (int fd : FWakeFd)
        if (fd >= 0)
            close(fd);
}

void TClockThread::Stop()
{
    if (!FStop.exchange(true) && FWakeFd[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] ssize_t n = write(FWakeFd[1], &b, 1);
    }
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TClockThread::Run()
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    while (!FStop.load()) {
        AddNs(deadline, FPeriodNs);
        if (FWakeFd[0] >= 0) {
            // Wait for the deadline or a stop request, whichever comes first.
            for (;;) {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                const std::int64_t left = DiffNs(deadline, now);
                if (left <= 0 || FStop.load())
                    break;
                pollfd p{FWakeFd[0], POLLIN, 0};
                const timespec ts{static_cast<time_t>(left / NsPerSecond), static_cast<long>(left % NsPerSecond)};
                if (ppoll(&p, 1, &ts, nullptr) > 0)
                    break;
            }
            // poll's timeout may wake slightly early; finish on the absolute deadline.
            while (!FStop.load() && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
            }
        } else {
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
            }
        }
        if (FStop.load())
            break;
        // After a long stall (suspend, debugger) skip the missed deadlines instead of
        // firing a burst of ticks.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (DiffNs(now, deadline) > 4 * FPeriodNs)
            deadline = now;
        ++FWakeups;
        FOnTick();
    }
}
