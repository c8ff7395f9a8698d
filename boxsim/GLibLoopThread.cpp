#include "GLibLoopThread.h"

#include <pthread.h>

#include <future>

GLibLoopThread::GLibLoopThread(std::string threadName) : m_threadName(std::move(threadName)) {}

GLibLoopThread::~GLibLoopThread() {
    stop();
}

bool GLibLoopThread::start(std::function<bool()> setUp, std::function<void()> tearDown) {
    if (m_thread.joinable())
        return true;
    m_context = g_main_context_new();
    m_loop = g_main_loop_new(m_context, FALSE);
    std::promise<bool> started;
    auto isStarted = started.get_future();
    // The thread owns the promise: it may still be inside set_value when
    // start has returned.
    m_thread = std::thread([this, started = std::move(started), setUp = std::move(setUp),
                            tearDown = std::move(tearDown)]() mutable {
        pthread_setname_np(pthread_self(), m_threadName.substr(0, 15).c_str());
        g_main_context_push_thread_default(m_context);
        const bool isSetUp = setUp();
        started.set_value(isSetUp);
        if (isSetUp)
            g_main_loop_run(m_loop);
        tearDown();
        g_main_context_pop_thread_default(m_context);
    });
    if (isStarted.get())
        return true;
    stop();
    return false;
}

void GLibLoopThread::stop() {
    if (m_thread.joinable()) {
        // Quit from inside the loop: a quit that came before the loop began
        // running would be lost.
        g_main_context_invoke(
            m_context,
            [](gpointer loop) {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            },
            m_loop);
        m_thread.join();
    }
    if (m_loop != nullptr) {
        g_main_loop_unref(m_loop);
        m_loop = nullptr;
    }
    if (m_context != nullptr) {
        g_main_context_unref(m_context);
        m_context = nullptr;
    }
}
