#include "CBackgroundCall.h"

CBackgroundCall::CBackgroundCall(std::string threadName, QObject* parent)
    : QObject(parent), m_worker(std::move(threadName)) {}

CBackgroundCall::~CBackgroundCall() {
    m_worker.Join();
}

bool CBackgroundCall::Start(std::function<int()> work) {
    if (m_isRunning.exchange(true))
        return false;
    m_worker.Join();
    m_work = std::move(work);
    if (m_worker.Start(&CBackgroundCall::run, this))
        return true;
    m_isRunning = false;
    return false;
}

void CBackgroundCall::run(void* self) {
    auto* call = static_cast<CBackgroundCall*>(self);
    const int result = call->m_work();
    QMetaObject::invokeMethod(
        call,
        [call, result] {
            call->m_isRunning = false;
            Q_EMIT call->Finished(result);
        },
        Qt::QueuedConnection);
}
