#include "CBackgroundCall.h"

#include <pthread.h>

CBackgroundCall::CBackgroundCall(std::string threadName, QObject* parent)
    : QObject(parent), m_threadName(std::move(threadName)) {}

CBackgroundCall::~CBackgroundCall() {
    if (m_worker.joinable())
        m_worker.join();
}

bool CBackgroundCall::Start(std::function<int()> work) {
    if (m_isRunning.exchange(true))
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::thread([this, work = std::move(work)] {
        // Thread names hold at most 15 characters.
        pthread_setname_np(pthread_self(), m_threadName.substr(0, 15).c_str());
        const int result = work();
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_isRunning = false;
                Q_EMIT Finished(result);
            },
            Qt::QueuedConnection);
    });
    return true;
}
