#pragma once

#include "CWorkerThread.h"
#include "CommandProcessor.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace kvu::tools {

// First-in-first-out queue whose items run one at a time, in order, on one
// worker thread started by the first post. The executor is not owned and must
// outlive the queue. Destruction stops and joins the worker after the item it
// is executing; it must not run on that worker.
template <typename T> class CommandQueue {
public:
    explicit CommandQueue(CommandProcessor<T>* executor, std::string threadName = "kvu-queue")
        : m_executor(executor), m_threadName(std::move(threadName)) {}

    ~CommandQueue() { Stop(); }

    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // Callable from any thread, the worker included.
    void Post(const T& item) {
        std::unique_lock lock(m_mutex);
        push(item);
        lock.unlock();
        m_wake.notify_one();
    }

    // Under the queue's lock: merge(first, last) may absorb item into the
    // items that wait behind the one being executed (and change them); if it
    // does not, item is posted unless limit items are queued. Whether item
    // was posted or absorbed.
    template <typename Merge> bool PostOrMerge(const T& item, std::size_t limit, Merge merge) {
        std::unique_lock lock(m_mutex);
        // The head may be executing: it is popped when done.
        if (m_items.size() > 1 && merge(m_items.begin() + 1, m_items.end()))
            return true;
        if (m_items.size() >= limit)
            return false;
        push(item);
        lock.unlock();
        m_wake.notify_one();
        return true;
    }

    // Stops and joins the worker after the item it is executing; later posts
    // only queue. Owners call it before they clear their pointer to the
    // queue, since the worker may still reach the queue through them.
    void Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_isStopping = true;
        }
        m_wake.notify_all();
        m_drained.notify_all();
        if (m_worker)
            m_worker->Join();
    }

    // Removes every queued item, the one being executed included.
    void Flush() {
        {
            std::lock_guard lock(m_mutex);
            m_items.clear();
            ++m_flushCount;
        }
        m_drained.notify_all();
    }

    // Blocks until no item is queued or executing, or until the queue stops.
    // Must not run on the worker.
    void WaitUntilEmpty() {
        std::unique_lock lock(m_mutex);
        m_drained.wait(lock, [this] { return m_items.empty() || m_isStopping; });
    }

    bool IsEmpty() const {
        std::lock_guard lock(m_mutex);
        return m_items.empty();
    }

    std::size_t Count() const {
        std::lock_guard lock(m_mutex);
        return m_items.size();
    }

private:
    static void run(void* self) { static_cast<CommandQueue*>(self)->loop(); }

    // Under m_mutex; the caller wakes the worker once it has let go.
    void push(const T& item) {
        if (!m_worker && m_executor && !m_isStopping) {
            m_worker = std::make_unique<CWorkerThread>(m_threadName);
            m_worker->Start(&CommandQueue::run, this);
        }
        m_items.push_back(item);
        m_isHeld = false;
    }

    void loop() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            // Waiting on the predicate under the lock is what keeps a post
            // made while the worker was busy from being lost.
            m_wake.wait(lock, [this] { return m_isStopping || (!m_items.empty() && !m_isHeld); });
            if (m_isStopping)
                return;
            const T item = m_items.front();
            const unsigned flushCountBefore = m_flushCount;
            lock.unlock();
            const bool isDone = m_executor->Execute(item);
            lock.lock();
            if (!isDone) {
                // The item stays at the head until someone posts again.
                m_isHeld = true;
                continue;
            }
            if (m_flushCount == flushCountBefore && !m_items.empty())
                m_items.pop_front();
            if (m_items.empty())
                m_drained.notify_all();
        }
    }

    CommandProcessor<T>* m_executor;
    std::string m_threadName;
    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_wake;
    std::condition_variable m_drained; // the queue became empty, or stopped
    std::deque<T> m_items;
    bool m_isStopping = false;
    bool m_isHeld = false;
    unsigned m_flushCount = 0; // a flush during Execute removed the running item already
    std::unique_ptr<CWorkerThread> m_worker;
};

} // namespace kvu::tools
