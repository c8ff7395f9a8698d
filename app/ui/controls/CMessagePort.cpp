#include "CMessagePort.h"

#include "CMessageEvent.h"

#include <QCoreApplication>

#include <mutex>
#include <unordered_set>
#include <utility>

struct CMessagePort::Shared {
    // Recursive: Qt deletes an event it cannot queue at once, and the
    // event's release takes the lock again.
    std::recursive_mutex mutex;
    QObject* receiver;                    // under mutex; null once closed
    std::unordered_set<uint64_t> waiting; // under mutex: keys of queued coalesced posts
};

CMessagePort::CMessagePort(QObject* receiver)
    : m_shared(std::make_shared<Shared>()), m_hostWindow{&CMessagePort::postFromLibrary, this} {
    m_shared->receiver = receiver;
}

CMessagePort::~CMessagePort() {
    Close();
}

void CMessagePort::Close() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->receiver = nullptr;
}

void CMessagePort::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
    // Posting under the lock: Close() cannot finish, and the receiver cannot
    // go, while an event for it is being queued.
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->receiver)
        QCoreApplication::postEvent(m_shared->receiver, new CMessageEvent(message, wParam, lParam));
}

bool CMessagePort::PostCoalesced(uint64_t key, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) const {
    std::lock_guard lock(m_shared->mutex);
    if (!m_shared->receiver || !m_shared->waiting.insert(key).second)
        return false;
    // The event may outlive the port (it waits in the queue), so it holds
    // the shared part, not the port.
    auto release = [weak = std::weak_ptr<Shared>(m_shared), key] {
        if (auto shared = weak.lock()) {
            std::lock_guard lock(shared->mutex);
            shared->waiting.erase(key);
        }
    };
    QCoreApplication::postEvent(m_shared->receiver,
                                new CMessageEvent(message, wParam, lParam, std::move(release)));
    return true;
}

void CMessagePort::postFromLibrary(void* context, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam) {
    const auto* port = static_cast<const CMessagePort*>(context);
    // Status refreshes are coalesced per instance and kind (the low two bits
    // of the key): the receiver reads the newest state.
    const bool isRefresh = message >= DMP_WM_VIDEO_STATUS && message <= DMP_WM_AUDIO_STATUS;
    if (isRefresh)
        port->PostCoalesced((static_cast<uint64_t>(wParam) << 2) | (message - DMP_WM_VIDEO_STATUS),
                            message, wParam, lParam);
    else
        port->Post(message, wParam, lParam);
}
