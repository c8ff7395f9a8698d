#pragma once

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

    // Fails while a thread started before has not been joined.
    bool Start(Function function, void* argument);
    // Waits without time-out. Called from the thread itself it does not wait.
    void Join();

    bool IsRunning() const { return m_thread.joinable(); }
    bool IsCurrentThread() const { return m_thread.get_id() == std::this_thread::get_id(); }

private:
    std::string m_name;
    std::thread m_thread;
};

} // namespace kvu::tools
