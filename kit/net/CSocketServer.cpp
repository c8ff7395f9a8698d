#include "CSocketServer.h"

#include "CServerObserver.h"
#include "CSocketClient.h"
#include "DebugPrint.h"
#include "tools/CommandQueue.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace kvu::net {

namespace {

constexpr int kAcceptCommand = 0;
constexpr int kListenBacklog = 5;

// accept() hands pending network errors of a new connection to the listener;
// they concern that connection only, so the listener goes on.
bool isConnectionError(int error) {
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

} // namespace

struct CSocketServer::Private {
    // Owned. The worker reads this pointer while Stop destroys the queue, so
    // Stop clears it only once that destruction has joined the worker.
    kvu::tools::CommandQueue<int>* queue = nullptr;
    // Written by the owner's thread, read by the worker: atomic. Stop takes it
    // away before shutting it down and closes it only after the worker has
    // ended, so the worker never accepts on a reused descriptor.
    std::atomic<int> listenSocket{CSocketClient::kInvalidSocket};
    std::uint16_t port;
    in_addr_t address;
    std::atomic<CServerObserver*> observer{nullptr};
    std::mutex clientsMutex; // guards clients
    std::vector<std::unique_ptr<CSocketClient>> clients;
};

CSocketServer::CSocketServer(std::uint16_t port, in_addr_t address)
    : m_private(std::make_unique<Private>()) {
    m_private->port = port;
    m_private->address = address;
}

CSocketServer::~CSocketServer() {
    Stop();
}

void CSocketServer::SetObserver(CServerObserver* observer) {
    m_private->observer = observer;
}

bool CSocketServer::Start() {
    Stop();
    m_private->queue = new kvu::tools::CommandQueue<int>(this, "kvu-httpserver");
    if (!Bind())
        return false;
    m_private->queue->Post(kAcceptCommand);
    return true;
}

bool CSocketServer::Stop() {
    const int listenSocket = m_private->listenSocket.exchange(CSocketClient::kInvalidSocket);
    if (listenSocket != CSocketClient::kInvalidSocket)
        ::shutdown(listenSocket, SHUT_RDWR); // wakes a worker blocked in accept
    // Destroying the queue joins the worker after the connection it serves.
    delete m_private->queue;
    m_private->queue = nullptr;
    if (listenSocket != CSocketClient::kInvalidSocket)
        ::close(listenSocket);
    // Only now: until the worker has ended it may still be adding a client.
    std::lock_guard lock(m_private->clientsMutex);
    m_private->clients.clear();
    return true;
}

std::uint16_t CSocketServer::BoundPort() const {
    const int listenSocket = m_private->listenSocket;
    if (listenSocket == CSocketClient::kInvalidSocket)
        return 0;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool CSocketServer::Execute(int command) {
    if (command != kAcceptCommand)
        return false;
    if (!Accept())
        return false;
    m_private->queue->Post(kAcceptCommand);
    return true;
}

bool CSocketServer::Bind() {
    const int listenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenSocket < 0) {
        DebugPrint("CSocketServer::Bind(): ????????????? Fail to open socket\n");
        return false;
    }
    const int reuse = 1;
    ::setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(m_private->address);
    address.sin_port = htons(m_private->port);
    const int result = ::bind(listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (result != 0) {
        DebugPrint("CSocketServer::Bind(): ??????????????? Fail to bind(%d-%d)\n", result, errno);
        ::close(listenSocket);
        return false;
    }
    if (::listen(listenSocket, kListenBacklog) != 0) {
        DebugPrint("CSocketServer::Bind(): ??????????????? Fail to listen\n");
        ::close(listenSocket);
        return false;
    }
    m_private->listenSocket = listenSocket;
    return true;
}

bool CSocketServer::Accept() {
    int socket;
    do {
        const int listenSocket = m_private->listenSocket;
        if (listenSocket == CSocketClient::kInvalidSocket)
            return false;
        socket = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
    } while (socket < 0 && isConnectionError(errno));
    if (socket < 0) {
        DebugPrint("CSocketServer::Accept(): ??????????????? Fail to accept\n");
        return false;
    }

    auto* client = new CSocketClient(socket);
    CServerObserver* observer = m_private->observer;
    // False: the observer has taken the client, closed and freed it.
    if (observer != nullptr && !observer->OnAccept(client))
        return true;
    std::lock_guard lock(m_private->clientsMutex);
    m_private->clients.emplace_back(client);
    return true;
}

} // namespace kvu::net
