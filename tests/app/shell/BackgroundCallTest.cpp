// A blocking call runs off the calling thread and answers on it.
#include "shell/CBackgroundCall.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>

TEST(BackgroundCall, RunsElsewhereAndAnswersOnTheOwnersThread) {
    CBackgroundCall call("worker");
    std::thread::id workerThread;
    int delivered = -1;
    bool isOnOwnerThread = false;
    QObject::connect(&call, &CBackgroundCall::Finished, &call, [&](int result) {
        delivered = result;
        isOnOwnerThread = QThread::currentThread() == call.thread();
    });
    QSignalSpy finished(&call, &CBackgroundCall::Finished);
    const auto work = [&] {
        workerThread = std::this_thread::get_id();
        return 7;
    };
    ASSERT_TRUE(call.Start(work));
    // One call at a time.
    EXPECT_FALSE(call.Start(work));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(delivered, 7);
    EXPECT_TRUE(isOnOwnerThread);
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_FALSE(call.IsRunning());
    EXPECT_TRUE(call.Start(work));
    EXPECT_TRUE(finished.wait(10000));
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
