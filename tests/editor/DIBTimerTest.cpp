#include "editor/widgets/DIBTimer.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {
struct TDIBTimerTest : ::testing::Test {
    int64_t Now = 0;
    int Fired = 0;
    TDIBTimer T{[this] { return Now; }};
    bool PollAt(int64_t t) {
        Now = t;
        return T.Poll(t);
    }
};
}  // namespace

TEST_F(TDIBTimerTest, StartsOnlyWithHandlerAndPositiveIntervalWhileEnabled) {
    EXPECT_EQ(T.Interval(), 1000);
    EXPECT_TRUE(T.Enabled());
    EXPECT_FALSE(T.Running());   // no handler yet
    T.SetInterval(0);
    T.SetOnTimer([this](TDIBTimer&) { ++Fired; });
    EXPECT_FALSE(T.Running());
    EXPECT_FALSE(PollAt(5000));
    T.SetInterval(60);
    EXPECT_TRUE(T.Running());
    T.SetEnabled(false);
    EXPECT_FALSE(PollAt(9000));
    EXPECT_EQ(Fired, 0);
}

TEST_F(TDIBTimerTest, FiresOncePerPeriodWithoutCatchingUp) {
    T.SetOnTimer([this](TDIBTimer&) { ++Fired; });
    T.SetInterval(60);
    const struct { int64_t t; bool fires; } polls[] = {
        {59, false}, {60, true}, {61, false}, {119, false}, {120, true},
        {400, true}, {401, false}, {419, false}, {420, true},
    };
    for (const auto& p : polls) {
        SCOPED_TRACE(p.t);
        EXPECT_EQ(PollAt(p.t), p.fires);
    }
    EXPECT_EQ(Fired, 4);
}

TEST_F(TDIBTimerTest, ChangingIntervalOrEnabledRestartsThePeriod) {
    T.SetOnTimer([this](TDIBTimer&) { ++Fired; });
    T.SetInterval(60);
    Now = 50;
    T.SetInterval(100);   // restarts at 50
    EXPECT_FALSE(PollAt(149));
    EXPECT_TRUE(PollAt(150));
    Now = 170;
    T.SetEnabled(false);
    Now = 300;
    T.SetEnabled(true);   // restarts at 300
    EXPECT_FALSE(PollAt(399));
    EXPECT_TRUE(PollAt(400));
    EXPECT_EQ(T.DueIn(430), 70);
    T.SetInterval(100);   // no change, no restart
    EXPECT_TRUE(PollAt(500));
}

TEST_F(TDIBTimerTest, ThrowingHandlerIsReportedAndKeepsRunning) {
    int errors = 0;
    T.OnError = [&](TDIBTimer&) { ++errors; };
    T.SetOnTimer([this](TDIBTimer&) {
        ++Fired;
        throw std::runtime_error("handler fault");
    });
    T.SetInterval(10);
    EXPECT_TRUE(PollAt(10));
    EXPECT_TRUE(PollAt(20));
    EXPECT_EQ(Fired, 2);
    EXPECT_EQ(errors, 2);
    EXPECT_TRUE(T.Running());
}

TEST_F(TDIBTimerTest, HandlerMayStopItsOwnTimer) {
    T.SetOnTimer([this](TDIBTimer& t) {
        ++Fired;
        t.SetEnabled(false);
    });
    T.SetInterval(10);
    EXPECT_TRUE(PollAt(10));
    EXPECT_FALSE(PollAt(20));
    EXPECT_EQ(Fired, 1);
}
