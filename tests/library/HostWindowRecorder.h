#pragma once

#include "dmp_vellumo.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// A host window for asynchronous handles: post only queues, as the library
// requires; the test thread takes the messages.
class HostWindowRecorder {
public:
    struct Message {
        uint32_t number;
        uintptr_t wparam;
        intptr_t lparam;
    };

    HostWindowRecorder() : m_window{&HostWindowRecorder::post, this} {}
    DmpHostWindow* Window() { return &m_window; }

    // The next message with that number (earlier others stay queued), or
    // nothing within the bound.
    std::optional<Message> Next(uint32_t number,
                                std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        std::optional<Message> found;
        m_posted.wait_for(lock, bound, [&] {
            for (auto it = m_messages.begin(); it != m_messages.end(); ++it)
                if (it->number == number) {
                    found = *it;
                    m_messages.erase(it);
                    return true;
                }
            return false;
        });
        return found;
    }

    // Every message still queued, in order.
    std::vector<Message> Take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_messages, {});
    }

    size_t CountOf(uint32_t number) {
        std::lock_guard lock(m_mutex);
        size_t count = 0;
        for (const Message& message : m_messages)
            count += message.number == number;
        return count;
    }

private:
    static void post(void* context, uint32_t number, uintptr_t wparam, intptr_t lparam) {
        auto* self = static_cast<HostWindowRecorder*>(context);
        std::lock_guard lock(self->m_mutex);
        self->m_messages.push_back({number, wparam, lparam});
        self->m_posted.notify_all();
    }

    DmpHostWindow m_window;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::vector<Message> m_messages;
};
