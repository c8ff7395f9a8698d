#pragma once

#include "tools/CWorkerThread.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <string>

// Runs one blocking call (an echo request to the Box, the elevated firewall
// run) on a named worker thread, so that the user interface never waits for
// it, and delivers the result as Finished on the thread that owns this object
// (a queued call). One call at a time.
class CBackgroundCall : public QObject {
    Q_OBJECT

public:
    explicit CBackgroundCall(std::string threadName, QObject* parent = nullptr);
    // Waits for a call under way: its result is never delivered afterwards.
    ~CBackgroundCall() override;

    // Starts work unless a call is under way or no thread can start (then
    // false). work must not touch objects of the owner's thread.
    bool Start(std::function<int()> work);
    bool IsRunning() const { return m_isRunning.load(); }

Q_SIGNALS:
    void Finished(int result);

private:
    static void run(void* self);

    // Set by Start on the owner's thread; cleared there when Finished is
    // delivered.
    std::atomic<bool> m_isRunning{false};
    // Written by Start before the thread starts, then the thread's alone.
    std::function<int()> m_work;
    // Joined before the next call starts and by the destructor: the thread
    // ends before this object does, so its queued call never outlives it.
    kvu::tools::CWorkerThread m_worker;
};
