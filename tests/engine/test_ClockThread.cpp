// The clock thread after a stalled consumer: the missed deadlines are dropped
// instead of being fired in a burst.

#include "platform/ClockThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(ClockThread, AfterAStallTheNextTickWaitsAWholePeriodInsteadOfCatchingUp)
{
    using Clock = std::chrono::steady_clock;   // CLOCK_MONOTONIC, as the thread uses
    constexpr std::int64_t PeriodNs = 5000000;
    std::mutex m;
    std::condition_variable cv;
    bool stalled = false;
    bool release = false;
    Clock::time_point resumed;
    std::vector<Clock::time_point> after;   // starts of the ticks after the stall
    TClockThread clock(PeriodNs, [&] {
        std::unique_lock lock(m);
        if (!stalled) {
            stalled = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
            resumed = Clock::now();
            return;
        }
        if (after.size() < 2)
            after.push_back(Clock::now());
        cv.notify_all();
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return stalled; }));
    }
    // The first tick holds the thread for 25 periods, far beyond the 4 after which
    // missed deadlines are dropped (the sleep lasts at least that long).
    std::this_thread::sleep_for(std::chrono::nanoseconds(25 * PeriodNs));
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return after.size() >= 2; }));
    }
    clock.Stop();
    // The tick that was due runs at once; the one after it is scheduled from the
    // moment the stall ended. Firing the missed ticks instead would run it at once
    // too. Sleeping to an absolute deadline never returns early, so this lower
    // bound holds however slow the machine is.
    EXPECT_GE(after[1] - resumed, std::chrono::nanoseconds(PeriodNs));
}
