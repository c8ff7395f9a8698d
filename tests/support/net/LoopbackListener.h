#pragma once

#include <cstdint>

// A TCP listener on 127.0.0.1 at a port the system chose.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 8);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool isListening() const { return m_port != 0; }
    uint16_t port() const { return m_port; }
    int fd() const { return m_fd; }
    // The next connection, or -1.
    int accept() const;

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};
