#pragma once

#include "CDmpVellumoObserver.h"
#include "TestFiles.h"
#include "TraceCapture.h"

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
