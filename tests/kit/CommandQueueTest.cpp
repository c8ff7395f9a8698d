#include "tools/CommandQueue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

using kvu::tools::CommandProcessor;
using kvu::tools::CommandQueue;

namespace {

// Records what ran and on which thread; optionally blocks inside Execute.
class RecordingProcessor : public CommandProcessor<int> {
public:
    bool Execute(int item) override {
        std::unique_lock lock(m_mutex);
        m_items.push_back(item);
        m_threads.push_back(std::this_thread::get_id());
        if (item == m_blockOn) {
            m_isBlocked = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_isBlocked; });
        }
        if (m_repostOnce && item == m_repostItem) {
            m_repostOnce = false;
            lock.unlock();
            m_queue->Post(item + 100);
            lock.lock();
        }
        m_changed.notify_all();
        return true;
    }

    void waitForCount(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_items.size() >= count; });
    }
    void waitUntilBlocked() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_isBlocked; });
    }
    void release() {
        std::lock_guard lock(m_mutex);
        m_isBlocked = false;
        m_blockOn = -1;
        m_changed.notify_all();
    }
    std::vector<int> items() {
        std::lock_guard lock(m_mutex);
        return m_items;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

    int m_blockOn = -1;
    bool m_repostOnce = false;
    int m_repostItem = -1;
    CommandQueue<int>* m_queue = nullptr;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_isBlocked = false;
    std::vector<int> m_items;
    std::vector<std::thread::id> m_threads;
};

} // namespace

TEST(CommandQueue, RunsItemsInPostingOrderOnOneOtherThread) {
    RecordingProcessor processor;
    CommandQueue<int> queue(&processor);
    queue.Post(1);
    queue.Post(2);
    queue.Post(3);
    processor.waitForCount(3);
    EXPECT_EQ(processor.items(), (std::vector<int>{1, 2, 3}));
    const auto threads = processor.threads();
    EXPECT_EQ(threads[0], threads[1]);
    EXPECT_EQ(threads[1], threads[2]);
    EXPECT_NE(threads[0], std::this_thread::get_id());
}

TEST(CommandQueue, SelfPostRunsAfterItemsPostedEarlier) {
    RecordingProcessor processor;
    CommandQueue<int> queue(&processor);
    processor.m_queue = &queue;
    processor.m_blockOn = 1;
    processor.m_repostOnce = true;
    processor.m_repostItem = 1;
    queue.Post(1);
    processor.waitUntilBlocked();
    queue.Post(2);
    processor.release();
    processor.waitForCount(3);
    EXPECT_EQ(processor.items(), (std::vector<int>{1, 2, 101}));
}

TEST(CommandQueue, FlushDuringExecutionRemovesEverythingAndWorkerCarriesOn) {
    RecordingProcessor processor;
    CommandQueue<int> queue(&processor);
    processor.m_blockOn = 1;
    queue.Post(1);
    processor.waitUntilBlocked();
    queue.Post(2);
    queue.Post(3);
    queue.Flush();
    EXPECT_TRUE(queue.IsEmpty());
    processor.release();
    queue.Post(4);
    processor.waitForCount(2);
    EXPECT_EQ(processor.items(), (std::vector<int>{1, 4}));
}

// The running head is never offered to the merge; a waiting item can absorb
// a post, and without a merge the limit drops it.
TEST(CommandQueue, PostOrMergeMergesBehindTheRunningItemWithinTheLimit) {
    RecordingProcessor processor;
    CommandQueue<int> queue(&processor);
    processor.m_blockOn = 1;
    queue.Post(1);
    processor.waitUntilBlocked();
    using Items = std::deque<int>::iterator;
    // Adds the item to the last waiting one when that is below 10.
    const auto addToLast = [](int item) {
        return [item](Items first, Items last) {
            if (first == last || *std::prev(last) >= 10)
                return false;
            *std::prev(last) += item;
            return true;
        };
    };
    EXPECT_TRUE(queue.PostOrMerge(2, 3, addToLast(2)));    // only the head waits: posted
    EXPECT_TRUE(queue.PostOrMerge(5, 3, addToLast(5)));    // 2 becomes 7
    EXPECT_TRUE(queue.PostOrMerge(4, 3, addToLast(4)));    // 7 becomes 11
    EXPECT_TRUE(queue.PostOrMerge(20, 3, addToLast(20)));  // 11 absorbs nothing: posted
    EXPECT_FALSE(queue.PostOrMerge(30, 3, addToLast(30))); // three queued: dropped
    EXPECT_EQ(queue.Count(), 3u);
    processor.release();
    processor.waitForCount(3);
    EXPECT_EQ(processor.items(), (std::vector<int>{1, 11, 20}));
}

TEST(CommandQueue, NoPostIsLostUnderContention) {
    RecordingProcessor processor;
    CommandQueue<int> queue(&processor);
    constexpr int kPerThread = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&queue, t] {
            for (int i = 0; i < kPerThread; ++i)
                queue.Post(t * kPerThread + i);
        });
    for (auto& poster : posters)
        poster.join();
    processor.waitForCount(4 * kPerThread);
    auto items = processor.items();
    EXPECT_EQ(items.size(), 4u * kPerThread);
    // Each poster's items keep their order.
    std::vector<int> last(4, -1);
    for (int item : items) {
        const int t = item / kPerThread;
        EXPECT_GT(item, last[t]);
        last[t] = item;
    }
}

TEST(CommandQueue, DestroyingAQueueThatNeverStartedReturns) {
    RecordingProcessor processor;
    { CommandQueue<int> queue(&processor); }
    CommandQueue<int> withoutExecutor(nullptr);
    withoutExecutor.Post(1);
    EXPECT_EQ(withoutExecutor.Count(), 1u);
    EXPECT_TRUE(processor.items().empty());
}

TEST(CommandQueue, DestructionWaitsForTheRunningItem) {
    RecordingProcessor processor;
    auto queue = std::make_unique<CommandQueue<int>>(&processor);
    processor.m_blockOn = 7;
    queue->Post(7);
    queue->Post(8);
    processor.waitUntilBlocked();
    std::thread releaser([&processor] { processor.release(); });
    queue.reset();
    releaser.join();
    EXPECT_EQ(processor.items().front(), 7);
}
