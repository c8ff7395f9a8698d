// The sleep lock against python3-dbusmock's logind on a private bus in the
// place of the system bus.
#include "CSleepInhibitor.h"
#include "LogindStandIn.h"
#include "PrivateBus.h"
#include "TraceCapture.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

class SleepInhibitorTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_bus.IsRunning()) << "dbus-daemon did not start"; }

    PrivateBus m_bus;
};

TEST_F(SleepInhibitorTest, HeldWhileStreamingAndLetGoAfter) {
    LogindStandIn logind(m_bus);
    ASSERT_TRUE(logind.IsRunning()) << "python3-dbusmock did not start";
    CSleepInhibitor inhibitor(m_bus.Connect(QStringLiteral("vellumo")));
    inhibitor.Update(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.IsHeld(); }, 10000));
    inhibitor.Update(true);
    const std::vector<LogindStandIn::Inhibitor> held = logind.Inhibitors();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].what, QStringLiteral("sleep"));
    EXPECT_EQ(held[0].who, QStringLiteral("Vellumo"));
    EXPECT_EQ(held[0].why, QStringLiteral("Streaming media to the Box"));
    EXPECT_EQ(held[0].mode, QStringLiteral("block"));

    inhibitor.Update(false);
    EXPECT_FALSE(inhibitor.IsHeld());
    EXPECT_TRUE(QTest::qWaitFor([&] { return logind.Inhibitors().empty(); }, 10000));

    // Streaming that ends before logind answers leaves no lock behind.
    TraceCapture trace;
    bool wasHeld = false;
    QObject::connect(&inhibitor, &CSleepInhibitor::HeldChanged, &inhibitor,
                     [&](bool isHeld) { wasHeld = wasHeld || isHeld; });
    inhibitor.Update(true);
    inhibitor.Update(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trace.Contains("before logind answered"); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return logind.Inhibitors().empty(); }, 10000));
    EXPECT_FALSE(wasHeld);
    EXPECT_FALSE(inhibitor.IsHeld());
}

TEST_F(SleepInhibitorTest, WithoutLogindStreamingGoesOn) {
    TraceCapture trace;
    CSleepInhibitor inhibitor(m_bus.Connect(QStringLiteral("vellumo")));
    inhibitor.Update(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trace.Contains("logind refused the lock"); }, 10000));
    EXPECT_FALSE(inhibitor.IsHeld());

    CSleepInhibitor withoutBus(QDBusConnection(QStringLiteral("none")));
    withoutBus.Update(true);
    EXPECT_TRUE(trace.Contains("no system bus"));
    EXPECT_FALSE(withoutBus.IsHeld());
}

} // namespace
