#pragma once

#include "CDmpVellumoObserver.h"
#include "DebugPrint.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Records every link notification in order.
class RecordingObserver : public CDmpVellumoObserver {
public:
    void Connected(CDmpVellumo*) override { add("connected"); }
    void StatusChanged(CDmpVellumo*) override { add("status"); }
    void Closed(CDmpVellumo*) override { add("closed"); }
    void ErrorOccurred(CDmpVellumo*, int32_t code) override {
        add("error " + std::to_string(code));
    }

    std::vector<std::string> Events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    size_t Count(const std::string& event) {
        std::lock_guard lock(m_mutex);
        return static_cast<size_t>(std::count(m_events.begin(), m_events.end(), event));
    }
    // Waits until event was seen at least times times.
    bool WaitFor(const std::string& event, size_t times = 1) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kEventBound, [&] {
            return static_cast<size_t>(std::count(m_events.begin(), m_events.end(), event)) >=
                   times;
        });
    }

private:
    void add(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

// Captures the debug trace while it lives.
class TraceCapture {
public:
    TraceCapture() {
        SetDebugSink([this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(line);
            m_changed.notify_all();
        });
    }
    ~TraceCapture() { SetDebugSink({}); }

    bool Contains(const std::string& text) {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }
    bool WaitFor(const std::string& text) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kEventBound, [&] {
            return std::any_of(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
                return line.find(text) != std::string::npos;
            });
        });
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};
