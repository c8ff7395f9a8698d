#include "CWorkerThread.h"

#include "DebugPrint.h"

#include <pthread.h>
#include <system_error>

namespace kvu::tools {

CWorkerThread::CWorkerThread(std::string name) : m_name(std::move(name)) {
    // The kernel keeps 15 characters of a thread name.
    if (m_name.size() > 15)
        m_name.resize(15);
}

CWorkerThread::~CWorkerThread() {
    Join();
}

bool CWorkerThread::Start(Function function, void* argument) {
    if (m_thread.joinable())
        return false;
    try {
        m_thread = std::thread([this, function, argument] {
            pthread_setname_np(pthread_self(), m_name.c_str());
            function(argument);
        });
    } catch (const std::system_error& error) {
        DebugPrint("CWorkerThread::Start(): %s failed: 0x%08x\n", m_name.c_str(),
                   static_cast<unsigned>(error.code().value()));
        return false;
    }
    return true;
}

void CWorkerThread::Join() {
    if (!m_thread.joinable())
        return;
    if (IsCurrentThread()) {
        DebugPrint("CWorkerThread::Join(): %s cannot join itself\n", m_name.c_str());
        m_thread.detach();
        return;
    }
    m_thread.join();
}

} // namespace kvu::tools
