#include "platform/Event.h"
#include "platform/TimerService.h"

#include <gtest/gtest.h>

namespace verup {
namespace {

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
