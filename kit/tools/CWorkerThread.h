#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace kvu::tools {

// One named thread with an owner that joins it.
class CWorkerThread {
public:
    using Function = void (*)(void* argument);

    explicit CWorkerThread(std::string name);
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Fails if a thread is already running.
    bool Start(Function function, void* argument);
    // Waits without time-out. Called from the thread itself it does not wait.
    void Join();

    bool IsRunning() const { return m_thread.joinable(); }
    bool IsStopRequested() const { return m_isStopRequested.load(); }
    bool IsCurrentThread() const { return m_thread.get_id() == std::this_thread::get_id(); }

private:
    std::string m_name;
    std::thread m_thread;
    std::atomic<bool> m_isStopRequested{false};
};

} // namespace kvu::tools
