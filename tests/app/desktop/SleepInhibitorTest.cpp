// The sleep lock against python3-dbusmock's logind on a private bus in the
// place of the system bus; the lock while media plays is part of the media
// keys' test.
#include "PrivateBus.h"
#include "TraceCapture.h"
#include "desktop/CSleepInhibitor.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(SleepInhibitorTest, OneLockPerSpellAndNoneWhenStreamingEndsBeforeTheAnswer) {
    PrivateBus bus;
    ASSERT_TRUE(bus.StartLogind()) << "python3-dbusmock did not start";
    CSleepInhibitor inhibitor(bus.Connect(QStringLiteral("vellumo")));
    inhibitor.Update(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.IsHeld(); }, 10000));
    inhibitor.Update(true);
    EXPECT_EQ(bus.Inhibitors().size(), 1u);
    inhibitor.Update(false);
    EXPECT_FALSE(inhibitor.IsHeld());
    EXPECT_TRUE(QTest::qWaitFor([&] { return bus.Inhibitors().empty(); }, 10000));

    TraceCapture trace;
    inhibitor.Update(true);
    inhibitor.Update(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trace.Contains("before logind answered"); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bus.Inhibitors().empty(); }, 10000));
    EXPECT_FALSE(inhibitor.IsHeld());
}

TEST(SleepInhibitorTest, WithoutLogindStreamingGoesOn) {
    PrivateBus bus;
    TraceCapture trace;
    CSleepInhibitor inhibitor(bus.Connect(QStringLiteral("vellumo")));
    inhibitor.Update(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trace.Contains("logind refused the lock"); }, 10000));
    CSleepInhibitor withoutBus(QDBusConnection(QStringLiteral("none")));
    withoutBus.Update(true);
    EXPECT_TRUE(trace.Contains("no system bus"));
    EXPECT_FALSE(inhibitor.IsHeld() || withoutBus.IsHeld());
}

} // namespace
