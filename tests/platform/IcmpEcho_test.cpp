// One ICMP echo, to loopback only.
#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/IcmpEcho.h"

namespace verup {
namespace {

TEST(IcmpEcho, LoopbackAnswersThroughOneOfTheWays)
{
    Clock clock(50);
    IcmpMethod method = IcmpMethod::None;
    const int result = IcmpPing("127.0.0.1", clock, &method);
    if (result == ICMP_NO_METHOD)
        GTEST_SKIP() << "neither ICMP sockets nor a ping command are available";
    EXPECT_EQ(result, ICMP_ANSWERED);
    EXPECT_NE(method, IcmpMethod::None);
}

TEST(IcmpEcho, UnresolvableHostIsReportedAsSuch)
{
    Clock clock(50);
    EXPECT_EQ(IcmpPing("", clock), ICMP_RESOLVE_FAILED);
}

}  // namespace
}  // namespace verup
