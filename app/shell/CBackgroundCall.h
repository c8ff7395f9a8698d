#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// Runs one blocking call (an echo request to the Box, the elevated firewall
// run) on a named thread of its own, so that the user interface never waits
// for it, and delivers the result as Finished on the thread that owns this
// object (a queued call). One call at a time.
class CBackgroundCall : public QObject {
    Q_OBJECT

public:
    explicit CBackgroundCall(std::string threadName, QObject* parent = nullptr);
    // Waits for a call under way: its result is never delivered afterwards.
    ~CBackgroundCall() override;

    // Starts work unless a call is under way (then false). work must not
    // touch objects of the owner's thread.
    bool Start(std::function<int()> work);
    bool IsRunning() const { return m_isRunning.load(); }

Q_SIGNALS:
    void Finished(int result);

private:
    const std::string m_threadName;
    // Set by Start on the owner's thread; cleared there when Finished is
    // delivered.
    std::atomic<bool> m_isRunning{false};
    // Joined before the next call starts and by the destructor: the thread
    // ends before this object does, so its queued call never outlives it.
    std::thread m_worker;
};
