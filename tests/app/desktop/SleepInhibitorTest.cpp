// The sleep lock against python3-dbusmock's logind on a private bus in the
// place of the system bus.
#include "CSleepInhibitor.h"
#include "PrivateBus.h"
#include "TraceCapture.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");

struct Inhibitor {
    QString what, who, why, mode;
};

class SleepInhibitorTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_bus.IsRunning()) << "dbus-daemon did not start";
        m_observer = m_bus.Connect(QStringLiteral("observer"));
    }
    void TearDown() override {
        if (m_logind.state() != QProcess::NotRunning) {
            m_logind.kill();
            m_logind.waitForFinished();
        }
    }

    void startLogind() {
        m_logind.setProcessEnvironment(m_bus.Environment());
        m_logind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_logind.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                        QStringLiteral("--template"), QStringLiteral("logind")});
        ASSERT_TRUE(m_logind.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_observer.interface()->isServiceRegistered(kLogin).value(); }, 20000))
            << "python3-dbusmock did not start";
    }

    std::vector<Inhibitor> inhibitors() {
        const QDBusMessage reply = m_observer.call(QDBusMessage::createMethodCall(
            kLogin, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
        std::vector<Inhibitor> list;
        const auto argument = reply.arguments().value(0).value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            Inhibitor inhibitor;
            uint uid = 0, pid = 0;
            argument.beginStructure();
            argument >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> uid >>
                pid;
            argument.endStructure();
            list.push_back(inhibitor);
        }
        argument.endArray();
        return list;
    }

    PrivateBus m_bus;
    QDBusConnection m_observer{QString()};
    QProcess m_logind;
};

TEST_F(SleepInhibitorTest, HeldWhileStreamingAndLetGoAfter) {
    ASSERT_NO_FATAL_FAILURE(startLogind());
    CSleepInhibitor inhibitor(m_bus.Connect(QStringLiteral("vellumo")));
    inhibitor.Update(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.IsHeld(); }, 10000));
    inhibitor.Update(true);
    const std::vector<Inhibitor> held = inhibitors();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].what, QStringLiteral("sleep"));
    EXPECT_EQ(held[0].who, QStringLiteral("Vellumo"));
    EXPECT_EQ(held[0].why, QStringLiteral("Streaming media to the Box"));
    EXPECT_EQ(held[0].mode, QStringLiteral("block"));

    inhibitor.Update(false);
    EXPECT_FALSE(inhibitor.IsHeld());
    EXPECT_TRUE(QTest::qWaitFor([&] { return inhibitors().empty(); }, 10000));

    // Streaming that ends before logind answers leaves no lock behind.
    TraceCapture trace;
    bool wasHeld = false;
    QObject::connect(&inhibitor, &CSleepInhibitor::HeldChanged, &inhibitor,
                     [&](bool isHeld) { wasHeld = wasHeld || isHeld; });
    inhibitor.Update(true);
    inhibitor.Update(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trace.Contains("before logind answered"); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inhibitors().empty(); }, 10000));
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
