#pragma once

#include <glib.h>

#include <functional>
#include <string>
#include <thread>

// A GLib main loop on a named thread of its own, with a fresh main context as
// that thread's default: GLib-based services (GUPnP, libsoup) created there
// attach their sources to it and are served there. Start and stop from one
// owner thread.
class GLibLoopThread {
public:
    explicit GLibLoopThread(std::string threadName);
    ~GLibLoopThread();
    GLibLoopThread(const GLibLoopThread&) = delete;
    GLibLoopThread& operator=(const GLibLoopThread&) = delete;

    // Runs setUp on the new thread; when it returns true the loop runs until
    // stop(). tearDown runs on the thread afterwards in either case. Returns
    // setUp's result once it is known; on false the thread has been joined.
    bool start(std::function<bool()> setUp, std::function<void()> tearDown);
    // Quits the loop and joins the thread; nothing when not started.
    void stop();

private:
    const std::string m_threadName;
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;
};
