#include "TraceCapture.h"

#include "DebugPrint.h"

#include <algorithm>

TraceCapture::TraceCapture() {
    SetDebugSink([this](std::string_view line) {
        std::lock_guard lock(m_mutex);
        m_lines.emplace_back(line);
        m_changed.notify_all();
    });
}

TraceCapture::~TraceCapture() {
    SetDebugSink({});
}

bool TraceCapture::containsLocked(const std::string& text) const {
    return std::any_of(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

bool TraceCapture::Contains(const std::string& text) const {
    std::lock_guard lock(m_mutex);
    return containsLocked(text);
}

bool TraceCapture::WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return containsLocked(text); });
}

std::vector<std::string> TraceCapture::Lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::string TraceCapture::Text() const {
    std::lock_guard lock(m_mutex);
    std::string text;
    for (const auto& line : m_lines)
        text += line;
    return text;
}
