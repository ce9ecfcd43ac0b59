#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/Timer.h"

using namespace pelumir;

namespace {
// Runs the event loop until pred holds or ms pass.
template <class P>
bool WaitFor(P pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}
}  // namespace

TEST(Timer, StoppedTimerOnlyStoresItsPeriod) {
    Timer t(3000);
    int ticks = 0;
    t.OnTimer = [&] { ++ticks; };
    t.SetInterval(20);
    EXPECT_FALSE(t.Enabled());
    EXPECT_EQ(t.RemainingMs(), -1);
    EXPECT_FALSE(WaitFor([&] { return ticks > 0; }, 100));
    t.Start();
    EXPECT_TRUE(WaitFor([&] { return ticks > 0; }, 5000));
    t.Stop();
    t.Stop();  // stopping a stopped timer is harmless
    EXPECT_FALSE(t.Enabled());
}

TEST(Timer, StartingARunningTimerKeepsItsCountdown) {
    Timer t(60000);
    t.Start();
    ASSERT_TRUE(WaitFor([&] { return t.RemainingMs() < 59900; }, 2000));
    const int before = t.RemainingMs();
    t.Start();
    EXPECT_LE(t.RemainingMs(), before);
    t.SetInterval(60000);  // the same period changes nothing
    EXPECT_LE(t.RemainingMs(), before);
    t.SetInterval(50000);  // a new period re-arms
    EXPECT_GT(t.RemainingMs(), 49000);
    EXPECT_LT(t.RemainingMs(), 50001);
}

TEST(Timer, ZeroAndHugePeriodsNeverTick) {
    Timer t(0);
    int ticks = 0;
    t.OnTimer = [&] { ++ticks; };
    t.Start();
    EXPECT_TRUE(t.Enabled());
    EXPECT_EQ(t.RemainingMs(), -1);
    t.SetInterval(uint32_t(-1000));  // -1 second taken as unsigned
    EXPECT_EQ(t.RemainingMs(), -1);
    EXPECT_FALSE(WaitFor([&] { return ticks > 0; }, 100));
    t.SetInterval(10);  // enabled all along: the new period starts ticking
    EXPECT_TRUE(WaitFor([&] { return ticks > 0; }, 5000));
}
