#pragma once

#include "JsonLine.h"

#include <cstdio>
#include <mutex>
#include <string>

// The JSON-lines event log: one object per line, flushed per line so that a
// test reading the file sees each event as soon as it happened. Callable from
// any thread.
class EventLog {
public:
    EventLog() = default;
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens (truncates) the file; false when it cannot be created.
    bool open(const std::string& path);
    void write(const JsonLine& line);

private:
    std::mutex m_mutex; // guards m_file
    FILE* m_file = nullptr;
};
