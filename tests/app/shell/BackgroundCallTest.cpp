// The reachability check runs off the calling thread and answers on it.
#include "CBackgroundCall.h"
#include "DummyNetwork.h"
#include "IcmpEcho.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitBoundMs = 10000;

struct Answer {
    int result = -1;
    bool isOnCallerThread = false;
};

Answer pingOnce(CBackgroundCall& call, const std::string& address) {
    Answer answer;
    QObject::connect(&call, &CBackgroundCall::Finished, &call, [&](int result) {
        answer = {result, QThread::currentThread() == call.thread()};
    });
    QSignalSpy finished(&call, &CBackgroundCall::Finished);
    const auto ping = [address] {
        return SendIcmpEcho(address, 2, std::chrono::milliseconds(300)) ? 1 : 0;
    };
    EXPECT_TRUE(call.Start(ping));
    // One call at a time.
    EXPECT_FALSE(call.Start(ping));
    EXPECT_TRUE(finished.wait(kWaitBoundMs));
    QObject::disconnect(&call, &CBackgroundCall::Finished, &call, nullptr);
    return answer;
}

} // namespace

TEST(BackgroundCall, PingsAnswerOnTheOwnersThread) {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
    CBackgroundCall call("reachability");
    const Answer loopback = pingOnce(call, "127.0.0.1");
    EXPECT_EQ(loopback.result, 1);
    EXPECT_TRUE(loopback.isOnCallerThread);
    EXPECT_FALSE(call.IsRunning());

    const Answer unheld = pingOnce(call, "10.99.0.2");
    EXPECT_EQ(unheld.result, 0);
    EXPECT_TRUE(unheld.isOnCallerThread);
}

// Ending the object while a call is under way waits for it; its result is
// never delivered to the ended object.
TEST(BackgroundCall, EndsWhileACallIsUnderWay) {
    bool isDelivered = false;
    {
        CBackgroundCall call("slow");
        QObject::connect(&call, &CBackgroundCall::Finished, &call, [&] { isDelivered = true; });
        ASSERT_TRUE(call.Start([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return 0;
        }));
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(isDelivered);
}
