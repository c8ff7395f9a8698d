#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// Captures the debug trace while it lives. The trace may come from any thread.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Whether a line captured so far contains the text.
    bool Contains(const std::string& text) const;
    // Waits until a captured line contains the text; false after the timeout.
    bool WaitFor(const std::string& text,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<std::string> Lines() const;
    // Every line captured so far, joined.
    std::string Text() const;

private:
    bool containsLocked(const std::string& text) const;

    mutable std::mutex m_mutex; // guards m_lines
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};
