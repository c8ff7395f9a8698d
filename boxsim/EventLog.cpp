#include "EventLog.h"

EventLog::~EventLog() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

bool EventLog::open(const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = std::fopen(path.c_str(), "w");
    return m_file != nullptr;
}

void EventLog::write(const JsonLine& line) {
    std::lock_guard lock(m_mutex);
    if (m_file == nullptr)
        return;
    const std::string text = line.text() + "\n";
    std::fwrite(text.data(), 1, text.size(), m_file);
    std::fflush(m_file);
}
