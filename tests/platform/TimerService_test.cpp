#include "platform/Event.h"
#include "platform/TimerService.h"

#include <gtest/gtest.h>

#include <atomic>

namespace verup {
namespace {

TEST(Clock, ScaleDividesDeviceTime)
{
    Clock fast(100.0);
    EXPECT_EQ(fast.ToReal(25000), std::chrono::milliseconds(250));
    EXPECT_EQ(Clock(0.5).Scale(), 1.0);  // below 1 is not a slow-down
}

TEST(TimerService, FiresPeriodicallyUntilKilled)
{
    Clock clock(100.0);
    TimerService timers(clock);
    std::atomic<int> ticks{0};
    ManualResetEvent third;
    timers.Set(TIMER_STATUS, 1000, [&] {
        if (++ticks == 3)
            third.Set();
    });
    EXPECT_TRUE(third.WaitMs(clock, 60000));
    timers.Kill(TIMER_STATUS);
    const int after_kill = ticks.load();
    clock.SleepMs(3000);
    EXPECT_EQ(ticks.load(), after_kill);
    EXPECT_FALSE(timers.IsRunning(TIMER_STATUS));
}

TEST(TimerService, KillFromInsideItsCallback)
{
    Clock clock(100.0);
    TimerService timers(clock);
    ManualResetEvent fired;
    timers.Set(TIMER_WATCHDOG, 100, [&] {
        timers.Kill(TIMER_WATCHDOG);
        fired.Set();
    });
    EXPECT_TRUE(fired.WaitMs(clock, 60000));
    EXPECT_FALSE(timers.IsRunning(TIMER_WATCHDOG));
}

}  // namespace
}  // namespace verup
