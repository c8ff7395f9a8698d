#include "TraceCapture.h"

#include "DebugPrint.h"

TraceCapture::TraceCapture() {
    SetDebugSink([this](std::string_view line) {
        std::lock_guard lock(m_lock);
        m_lines.emplace_back(line);
    });
}

TraceCapture::~TraceCapture() {
    SetDebugSink({});
}

bool TraceCapture::Contains(const std::string& text) const {
    std::lock_guard lock(m_lock);
    for (const auto& line : m_lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> TraceCapture::Lines() const {
    std::lock_guard lock(m_lock);
    return m_lines;
}
