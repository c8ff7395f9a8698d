#pragma once

#include "dmp_vellumo.h"

#include <QObject>

#include <cstdint>
#include <memory>

// The address of one receiver of numbered messages, for posting from any
// thread. Posts made after the receiver has closed the port (or the port has
// gone) are dropped, never delivered to a dead object. Made and closed on the
// receiver's thread; usually a member of the receiver.
class CMessagePort {
public:
    explicit CMessagePort(QObject* receiver);
    ~CMessagePort();
    CMessagePort(const CMessagePort&) = delete;
    CMessagePort& operator=(const CMessagePort&) = delete;

    // Queues the message for the receiver. Any thread.
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const;

    // Like Post, but while a message posted with this key waits, further
    // posts with it are dropped: the receiver reads the newest state when
    // the waiting one arrives. Returns whether the message was queued.
    bool PostCoalesced(uint64_t key, uint32_t message, uintptr_t wParam, intptr_t lParam) const;

    // A window handle for the device library: its post queues the message
    // through this port, status refreshes of one instance and kind
    // coalesced (at most one waits at a time). Lives as long as the port.
    DmpHostWindow* HostWindow() { return &m_hostWindow; }

    // Stops delivery; later posts are dropped. Receiver's thread.
    void Close();

private:
    struct Shared;
    static void postFromLibrary(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam);

    std::shared_ptr<Shared> m_shared;
    DmpHostWindow m_hostWindow;
};
