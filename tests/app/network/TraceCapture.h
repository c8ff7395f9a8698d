#pragma once

#include <mutex>
#include <string>
#include <vector>

// Captures the debug trace while it lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    bool Contains(const std::string& text) const;
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex m_lock; // guards m_lines; the sink runs on any thread
    std::vector<std::string> m_lines;
};
