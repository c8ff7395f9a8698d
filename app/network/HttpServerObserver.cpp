#include "HttpServerObserver.h"

#include "DebugPrint.h"
#include "HttpStatusObserver.h"
#include "net/CSocketClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Request text is untrusted: trace it with anything unprintable masked and
// its length bounded.
std::string printable(std::string_view text) {
    constexpr size_t kMaxTracedBytes = 200;
    std::string result(text.substr(0, kMaxTracedBytes));
    std::replace_if(
        result.begin(), result.end(), [](char c) { return c < 0x20 || c > 0x7e; }, '?');
    return result;
}

// A line names a file when it begins with "GET" and a token "GET" in it is
// followed by another token.
std::string nameOfLine(std::string_view line) {
    if (!line.starts_with("GET"))
        return {};
    bool isAfterGet = false;
    size_t position = 0;
    while (position < line.size()) {
        const size_t start = line.find_first_not_of(" /", position);
        if (start == std::string_view::npos)
            break;
        const size_t end = std::min(line.find_first_of(" /", start), line.size());
        const std::string_view token = line.substr(start, end - start);
        if (isAfterGet)
            return std::string(token);
        isAfterGet = token == "GET";
        position = end;
    }
    return {};
}

// A head is complete at its empty line.
bool isHeadComplete(std::string_view head) {
    return head.find("\n\n") != std::string_view::npos ||
           head.find("\n\r\n") != std::string_view::npos;
}

} // namespace

HttpServer::HttpServerObserver::HttpServerObserver(std::string rootDirectory,
                                                   std::vector<std::string> servedNames,
                                                   const Settings& settings)
    : m_rootDirectory(std::move(rootDirectory)), m_servedNames(std::move(servedNames)),
      m_headTimeoutMs(settings.headTimeoutMs), m_sendTimeoutMs(settings.sendTimeoutMs),
      m_boxAddress(settings.peerAddress) {
    for (int i = 0; i < std::max(1, settings.maxConnections); ++i)
        m_threads.emplace_back([this] {
            pthread_setname_np(pthread_self(), "kvu-http-conn");
            connectionMain();
        });
}

HttpServer::HttpServerObserver::~HttpServerObserver() {
    Abort();
    for (std::thread& thread : m_threads)
        thread.join();
    for (CSocketClient* client : m_waiting) {
        client->Close();
        delete client;
    }
}

bool HttpServer::HttpServerObserver::IsAnswered(std::uint32_t peer, std::uint32_t box) {
    constexpr std::uint32_t kLoopbackMask = 0xff000000;
    const auto isLoopback = [](std::uint32_t address) {
        return (address & kLoopbackMask) == (INADDR_LOOPBACK & kLoopbackMask);
    };
    return box == INADDR_ANY || peer == box || (isLoopback(box) && isLoopback(peer));
}

bool HttpServer::HttpServerObserver::OnAccept(CSocketClient* client) {
    if (client == nullptr)
        return false;
    const std::uint32_t peer = client->PeerAddress();
    std::unique_lock lock(m_clientMutex);
    if (IsAnswered(peer, m_boxAddress)) {
        // Accepts no more until a thread is free: later connections wait in
        // the listener's backlog, never unserved in here.
        m_clientsChanged.wait(
            lock, [this] { return m_isAborted || (m_idleThreads > 0 && m_waiting.empty()); });
        if (!m_isAborted) {
            m_waiting.push_back(client);
            lock.unlock();
            m_clientsChanged.notify_all();
            return false;
        }
    } else {
        DebugPrint("HttpServerObserver::OnAccept(): %u.%u.%u.%u is not the Box, closed\n",
                   peer >> 24, (peer >> 16) & 0xff, (peer >> 8) & 0xff, peer & 0xff);
    }
    lock.unlock();
    client->Close();
    delete client;
    return false;
}

void HttpServer::HttpServerObserver::connectionMain() {
    std::unique_lock lock(m_clientMutex);
    for (;;) {
        ++m_idleThreads;
        m_clientsChanged.notify_all();
        m_clientsChanged.wait(lock, [this] { return m_isAborted || !m_waiting.empty(); });
        --m_idleThreads;
        if (m_isAborted)
            return;
        CSocketClient* client = m_waiting.front();
        m_waiting.pop_front();
        m_served.push_back(client);
        // The next connection may be accepted now.
        m_clientsChanged.notify_all();
        lock.unlock();
        serve(*client);
        lock.lock();
        std::erase(m_served, client);
        client->Close();
        delete client;
    }
}

void HttpServer::HttpServerObserver::serve(CSocketClient& client) {
    std::string head;
    if (!readHead(client, head))
        return;
    const std::string name = RequestedName(head);
    if (isServed(name))
        reply(m_rootDirectory + name, client);
    else
        DebugPrint("HttpServerObserver::OnAccept(): Not served: \"%s\"\n", printable(name).c_str());
}

void HttpServer::HttpServerObserver::Abort() {
    m_statusObserver = nullptr;
    {
        std::lock_guard lock(m_clientMutex);
        m_isAborted = true;
        // Only a shutdown here: the threads serving them still own the
        // descriptors.
        for (CSocketClient* client : m_served)
            client->Shutdown();
    }
    m_clientsChanged.notify_all();
}

std::string HttpServer::HttpServerObserver::RequestedName(std::string_view head) {
    std::string name;
    size_t start = 0;
    while (start < head.size()) {
        const size_t end = std::min(head.find('\n', start), head.size());
        std::string_view line = head.substr(start, end - start);
        // A line ended by a line feed loses its carriage return; the text
        // after the last line feed is taken as it is.
        if (end < head.size() && line.ends_with('\r'))
            line.remove_suffix(1);
        if (std::string lineName = nameOfLine(line); !lineName.empty())
            name = std::move(lineName);
        start = end + 1;
    }
    return name;
}

bool HttpServer::HttpServerObserver::readHead(CSocketClient& client, std::string& head) {
    using Clock = std::chrono::steady_clock;
    // The last byte of the buffer stays free, as for a terminating NUL.
    constexpr int kMaxHeadBytes = kHeadBufferBytes - 1;
    // One deadline for the whole head, so a client that trickles bytes cannot
    // hold the worker longer than one that sends none.
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_headTimeoutMs);
    char buffer[kHeadBufferBytes];
    int length = 0;
    while (length < kMaxHeadBytes && !isHeadComplete(std::string_view(buffer, length))) {
        const auto remainingMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        // A zero time-out would mean no time-out at all.
        if (remainingMs < 1 || !client.SetReceiveTimeout(static_cast<int>(remainingMs))) {
            DebugPrint("HttpServerObserver::readHead(): No complete request head within %d ms\n",
                       m_headTimeoutMs);
            return false;
        }
        const int received = client.Read(buffer + length, kMaxHeadBytes - length);
        if (received == CSocketClient::kPeerClosed)
            break;
        if (received < 0) {
            DebugPrint("HttpServerObserver::readHead(): Request head not received (%d bytes)\n",
                       length);
            return false;
        }
        length += received;
    }
    if (length == 0)
        return false;
    head.assign(buffer, static_cast<size_t>(length));
    return true;
}

bool HttpServer::HttpServerObserver::isServed(const std::string& name) const {
    return !name.empty() &&
           std::find(m_servedNames.begin(), m_servedNames.end(), name) != m_servedNames.end();
}

void HttpServer::HttpServerObserver::reply(const std::string& path, CSocketClient& client) {
    if (HttpStatusObserver* observer = m_statusObserver)
        observer->TransferStarted(path);

    // No links, and nothing that could block the open (a FIFO) or that is not
    // a plain file: anything else is answered like a missing file.
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) {
        DebugPrint("HttpServerObserver::reply(): Cannot open %s: errno %d\n", path.c_str(), errno);
        return;
    }
    struct stat status {};
    // Another user's file, or one others may change, is never served.
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
        status.st_size > INT_MAX || status.st_uid != ::geteuid() ||
        (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        DebugPrint("HttpServerObserver::reply(): Not a single-linked regular file of the user's "
                   "own below 2 GiB: %s\n",
                   path.c_str());
        ::close(file);
        return;
    }
    const auto totalBytes = static_cast<std::uint32_t>(status.st_size);

    client.SetSendTimeout(m_sendTimeoutMs);
    client.SetCorked(true);
    char header[1024];
    const int headerBytes =
        std::snprintf(header, sizeof header, "HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n",
                      static_cast<int>(totalBytes));
    std::uint32_t headerSent = 0;
    bool isSending = writeAll(client, header, headerBytes, headerSent);

    // Progress goes by transfer blocks, each reported once it is wholly
    // sent; the kernel is handed several blocks per call.
    std::uint32_t sentBytes = 0;
    std::uint32_t reportedBytes = 0;
    while (isSending && !m_isAborted && sentBytes < totalBytes) {
        const int callBytes =
            static_cast<int>(std::min<std::uint32_t>(kSendCallBytes, totalBytes - sentBytes));
        isSending = sendBlock(client, file, callBytes, sentBytes);
        for (;;) {
            const std::uint32_t blockEnd =
                std::min<std::uint32_t>(reportedBytes + kTransferBlockBytes, totalBytes);
            if (blockEnd > sentBytes || blockEnd == reportedBytes)
                break;
            reportedBytes = blockEnd;
            if (HttpStatusObserver* observer = m_statusObserver)
                observer->TransferProgress(path, reportedBytes, totalBytes);
        }
    }
    client.SetCorked(false);
    if (sentBytes != totalBytes)
        DebugPrint("HttpServerObserver::reply(): %s: sent %u of %u bytes\n", path.c_str(),
                   sentBytes, totalBytes);
    if (HttpStatusObserver* observer = m_statusObserver)
        observer->TransferFinished(path);
    ::close(file);
}

bool HttpServer::HttpServerObserver::sendBlock(CSocketClient& client, int file, int size,
                                               std::uint32_t& sentBytes) {
    // A send that timed out part-way returns a short count; the rest of the
    // block must follow before the next one.
    while (size > 0) {
        const int written = client.WriteFile(file, size);
        if (written <= 0)
            return false;
        sentBytes += static_cast<std::uint32_t>(written);
        size -= written;
    }
    return true;
}

bool HttpServer::HttpServerObserver::writeAll(CSocketClient& client, const char* data, int size,
                                              std::uint32_t& sentBytes) {
    // A send that timed out part-way returns a short count; the rest of the
    // block must follow before the next one, or the file arrives with a gap.
    while (size > 0) {
        const int written = client.Write(data, size);
        if (written <= 0)
            return false;
        sentBytes += static_cast<std::uint32_t>(written);
        data += written;
        size -= written;
    }
    return true;
}
