#include "ui/controls/MessageLayer.h"
#include "RecordingWindow.h"
#include "ui/controls/CMessagePort.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

using Message = RecordingWindow::Message;

// Posts again with the same key from inside its handler, as a window does
// when it reads the newest state and more arrives meanwhile.
class RepostingWindow : public RecordingWindow {
public:
    CMessagePort port{this};
    std::vector<bool> repostsQueued;

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (repostsQueued.empty())
            repostsQueued.push_back(port.PostCoalesced(1, message, wParam, lParam + 1));
        return RecordingWindow::HandleMessage(message, wParam, lParam);
    }
};

} // namespace

TEST(MessageLayer, SendDeliversAtOnceWithTheResultAndPostsWaitForTheLoopInOrder) {
    RecordingWindow window;
    EXPECT_EQ(SendMessageTo(&window, 4024, 1, 2), 4026);
    PostMessageTo(&window, 3024, 3, 4);
    PostMessageTo(&window, 3025, 5, 6);
    EXPECT_EQ(SendMessageTo(&window, 4025, 0, 0), 4025);
    EXPECT_EQ(window.TakeMessages(),
              (std::vector<Message>{{4024, 1, 2}, {4025, 0, 0}, {3024, 3, 4}, {3025, 5, 6}}));

    QObject notAWindow;
    EXPECT_EQ(SendMessageTo(&notAWindow, 4024, 0, 0), 0) << "nobody handled it";
    EXPECT_EQ(SendMessageTo(nullptr, 4024, 0, 0), 0);
}

// Notifications keep each thread's order; status refreshes of one instance
// and kind wait one at a time, the newest state read when it arrives.
TEST(MessageLayer, LibraryThreadsPostThroughTheHostWindowToTheUiThread) {
    RecordingWindow window;
    CMessagePort port(&window);
    DmpHostWindow* host = port.HostWindow();
    std::vector<std::thread> threads;
    for (uintptr_t instance = 1; instance <= 4; ++instance)
        threads.emplace_back([host, instance] {
            for (intptr_t i = 0; i < 250; ++i) {
                host->post(host->context, DMP_WM_CLOSED, instance, -i);
                host->post(host->context, DMP_WM_AUDIO_STATUS, instance, 0);
                host->post(host->context, DMP_WM_IMAGE_STATUS, instance, 0);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    const std::vector<Message> messages = window.TakeMessages();
    std::vector<intptr_t> nextOf(5, 0);
    std::vector<int> refreshesOf(5, 0);
    for (const Message& message : messages) {
        ASSERT_GE(message.wParam, 1u);
        ASSERT_LE(message.wParam, 4u);
        if (message.message == DMP_WM_CLOSED)
            EXPECT_EQ(message.lParam, nextOf[message.wParam]--) << "each thread's posts keep order";
        else
            ++refreshesOf[message.wParam];
    }
    for (uintptr_t instance = 1; instance <= 4; ++instance) {
        EXPECT_EQ(nextOf[instance], -250) << instance;
        EXPECT_EQ(refreshesOf[instance], 2) << "one waiting refresh per kind";
    }
}

TEST(MessageLayer, CoalescedPostsKeepOnePerKeyWaiting) {
    RecordingWindow window;
    CMessagePort port(&window);
    // A Box flooding status from a library thread while the UI is busy.
    std::thread flood([&port] {
        for (int i = 0; i < 100000; ++i)
            port.PostCoalesced(2025, 2025, 1, i);
    });
    flood.join();
    EXPECT_TRUE(port.PostCoalesced(2026, 2026, 1, 0)) << "another key is not held back";
    EXPECT_FALSE(port.PostCoalesced(2026, 2026, 1, 1));
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{2025, 1, 0}, {2026, 1, 0}}));

    EXPECT_TRUE(port.PostCoalesced(2025, 2025, 1, 7)) << "delivery lets the key through again";
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{2025, 1, 7}}));
}

TEST(MessageLayer, APostMadeWhileTheHandlerRunsIsNotLost) {
    RepostingWindow window;
    ASSERT_TRUE(window.port.PostCoalesced(1, 2027, 0, 10));
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{2027, 0, 10}}));
    EXPECT_EQ(window.repostsQueued, std::vector<bool>{true});
    EXPECT_EQ(window.TakeMessages(), (std::vector<Message>{{2027, 0, 11}}));
}

TEST(MessageLayer, PostsAfterTheReceiverClosedOrWentAreDropped) {
    auto window = std::make_unique<RecordingWindow>();
    auto port = std::make_unique<CMessagePort>(window.get());
    port->PostCoalesced(5, 2028, 0, 0);
    port->Close();
    port->Post(2029, 0, -4);
    EXPECT_FALSE(port->PostCoalesced(6, 2028, 0, 0));
    EXPECT_EQ(window->TakeMessages(), (std::vector<Message>{{2028, 0, 0}}))
        << "what was queued before closing still arrives";

    // A receiver going away with coalesced posts still queued, its port first.
    port = std::make_unique<CMessagePort>(window.get());
    port->PostCoalesced(5, 2028, 0, 0);
    port->Post(2029, 0, -4);
    port.reset();
    window.reset();
    QCoreApplication::sendPostedEvents();
}
