// The reachability check runs off the calling thread and answers on it.
#include "CReachabilityProbe.h"
#include "DummyNetwork.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr int kWaitBoundMs = 10000;

struct Answer {
    QString address;
    bool isReachable = false;
    bool isOnCallerThread = false;
};

Answer check(CReachabilityProbe& probe, const QString& address) {
    Answer answer;
    QObject::connect(
        &probe, &CReachabilityProbe::Finished, &probe,
        [&](const QString& checked, bool isReachable) {
            answer = {checked, isReachable, QThread::currentThread() == probe.thread()};
        });
    QSignalSpy finished(&probe, &CReachabilityProbe::Finished);
    EXPECT_TRUE(probe.Start(address));
    // One check at a time.
    EXPECT_FALSE(probe.Start(address));
    EXPECT_TRUE(finished.wait(kWaitBoundMs));
    QObject::disconnect(&probe, &CReachabilityProbe::Finished, &probe, nullptr);
    return answer;
}

} // namespace

TEST(ReachabilityProbe, AnswersOnTheOwnersThread) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    CReachabilityProbe probe;
    probe.SetEchoLimits(2, std::chrono::milliseconds(300));
    const Answer loopback = check(probe, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(loopback.address, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(loopback.isReachable);
    EXPECT_TRUE(loopback.isOnCallerThread);
    EXPECT_FALSE(probe.IsRunning());

    const Answer unheld = check(probe, QStringLiteral("10.99.0.2"));
    EXPECT_EQ(unheld.address, QStringLiteral("10.99.0.2"));
    EXPECT_FALSE(unheld.isReachable);
    EXPECT_TRUE(unheld.isOnCallerThread);
}

// Ending the probe while a check is under way waits for it; its answer is
// never delivered to the ended object.
TEST(ReachabilityProbe, EndsWhileACheckIsUnderWay) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    bool isDelivered = false;
    {
        CReachabilityProbe probe;
        probe.SetEchoLimits(1, std::chrono::milliseconds(200));
        QObject::connect(&probe, &CReachabilityProbe::Finished, &probe,
                         [&] { isDelivered = true; });
        ASSERT_TRUE(probe.Start(QStringLiteral("10.99.0.2")));
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(isDelivered);
}

int main(int argc, char** argv) {
    std::string why;
    if (!EnterDummyNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
