#pragma once
// A periodic clock on its own thread: sleeps to absolute deadlines on the
// monotonic clock, so the period does not drift with the time each wake-up
// costs, and calls the tick function at every deadline. The tick function must
// be cheap and thread-safe (the main module only posts a tick to the GUI thread).

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class TClockThread {
public:
    TClockThread(std::int64_t periodNs, std::function<void()> onTick);
    ~TClockThread();   // stops and joins
    TClockThread(const TClockThread&) = delete;
    TClockThread& operator=(const TClockThread&) = delete;

    void Stop();       // returns once the thread has ended; idempotent
    std::uint64_t Wakeups() const { return FWakeups.load(); }

private:
    void Run();
    std::int64_t FPeriodNs;
    std::function<void()> FOnTick;
    std::atomic<bool> FStop{false};
    std::atomic<std::uint64_t> FWakeups{0};
    int FWakeFd[2] = {-1, -1};
    std::thread FThread;
};
