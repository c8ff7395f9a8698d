#include "CReachabilityProbe.h"

#include "IcmpEcho.h"

#include <pthread.h>

CReachabilityProbe::CReachabilityProbe(QObject* parent)
    : QObject(parent), m_attempts(kIcmpEchoAttempts), m_timeout(kIcmpEchoTimeout) {}

CReachabilityProbe::~CReachabilityProbe() {
    if (m_worker.joinable())
        m_worker.join();
}

void CReachabilityProbe::SetEchoLimits(int attempts, std::chrono::milliseconds timeout) {
    m_attempts = attempts;
    m_timeout = timeout;
}

bool CReachabilityProbe::Start(const QString& address) {
    if (m_isRunning.exchange(true))
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::thread([this, address, attempts = m_attempts, timeout = m_timeout] {
        pthread_setname_np(pthread_self(), "reachability");
        const bool isReachable = SendIcmpEcho(address.toStdString(), attempts, timeout);
        QMetaObject::invokeMethod(
            this,
            [this, address, isReachable] {
                m_isRunning = false;
                Q_EMIT Finished(address, isReachable);
            },
            Qt::QueuedConnection);
    });
    return true;
}
