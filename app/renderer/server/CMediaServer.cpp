#include "CMediaServer.h"

#include "DebugPrint.h"
#include "MediaRequest.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;
namespace mr = media_request;

constexpr std::string_view kPathPrefix = "/media/";
// Sent per readiness event before the other connections get their turn.
constexpr std::size_t kSendBudgetBytes = 8u * 1024 * 1024;
constexpr std::size_t kSendChunkBytes = 2u * 1024 * 1024;
// A connection closed after its response waits this long for the client's
// unread bytes, so that closing does not reset the response away.
constexpr int kLingerMs = 2000;

std::string errorText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

std::string dottedAddress(in_addr_t address) {
    char text[INET_ADDRSTRLEN] = {};
    const in_addr networkOrder{htonl(address)};
    ::inet_ntop(AF_INET, &networkOrder, text, sizeof text);
    return text;
}

bool randomHex(std::string* hex) {
    unsigned char bytes[16];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t count = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        filled += static_cast<std::size_t>(count);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    hex->clear();
    for (const unsigned char byte : bytes) {
        hex->push_back(kDigits[byte >> 4]);
        hex->push_back(kDigits[byte & 0xf]);
    }
    return true;
}

// The published path's extension: letters and digits of the file name's
// last dot, lower case; anything else gives none.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() || name.size() - dot > 9)
        return {};
    std::string extension;
    for (char c : name.substr(dot + 1)) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return {};
        extension.push_back(c);
    }
    return extension;
}

// Field values given by the caller never break the response head.
std::string fieldSafe(const std::string& value) {
    std::string result;
    for (const char c : value) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            result.push_back(c);
    }
    return result;
}

std::string httpDate() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

const char* reasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

} // namespace

// The thread that owns the listening socket and every connection.
class CMediaServer::Worker {
public:
    Worker(CMediaServer& owner, int listener, int wake)
        : m_owner(owner), m_settings(owner.m_settings), m_listener(listener), m_wake(wake) {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    ~Worker() {
        Join();
        for (auto& [fd, connection] : m_connections)
            closeFile(*connection), ::close(fd);
        if (m_spare >= 0)
            ::close(m_spare);
        ::close(m_epoll);
        ::close(m_listener);
        ::close(m_wake);
    }

    bool Begin(std::string* error) {
        if (m_epoll < 0) {
            *error = errorText("The media server cannot create its event queue", errno);
            return false;
        }
        if (!watch(m_listener, EPOLLIN) || !watch(m_wake, EPOLLIN)) {
            *error = errorText("The media server cannot watch its sockets", errno);
            return false;
        }
        m_thread = std::thread([this] {
            pthread_setname_np(pthread_self(), "kvu-media-http");
            run();
        });
        return true;
    }

    void Join() {
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            if (::write(m_wake, &one, sizeof one) != sizeof one)
                DebugPrint("CMediaServer: cannot wake the worker: errno %d\n", errno);
            m_thread.join();
        }
    }

private:
    enum class State { Reading, Sending, Lingering };

    struct Connection {
        int fd = -1;
        State state = State::Reading;
        std::string input; // received, not yet answered
        bool isFirstRequest = true;
        Clock::time_point deadline;
        Clock::time_point headStarted;
        bool isHeadStarted = false;
        // The response in progress.
        std::string head;
        std::size_t headSent = 0;
        int file = -1;
        off_t fileOffset = 0;
        std::uint64_t bodyLeft = 0;
        std::uint64_t bodySent = 0;
        bool isClosingAfter = false;
        std::shared_ptr<std::atomic<std::uint64_t>> counter;
        std::string traceLine; // the request's line, completed when done
    };

    bool watch(int fd, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        return ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) == 0;
    }
    void rewatch(const Connection& connection, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.fd = connection.fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, connection.fd, &event);
    }

    void setDeadline(Connection& connection, Clock::time_point deadline) {
        connection.deadline = deadline;
        m_nextSweep = std::min(m_nextSweep, deadline);
    }

    void run() {
        epoll_event events[64];
        for (;;) {
            int timeoutMs = -1;
            if (!m_connections.empty()) {
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(m_nextSweep - Clock::now());
                timeoutMs = static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 60000));
            }
            const int count = ::epoll_wait(m_epoll, events, 64, timeoutMs);
            if (count < 0 && errno != EINTR) {
                DebugPrint("CMediaServer: epoll_wait failed: errno %d\n", errno);
                return;
            }
            for (int i = 0; i < count; ++i) {
                const int fd = events[i].data.fd;
                if (fd == m_wake)
                    return;
                if (fd == m_listener) {
                    acceptAll();
                    continue;
                }
                const auto found = m_connections.find(fd);
                if (found != m_connections.end())
                    serve(*found->second, events[i].events);
            }
            if (!m_connections.empty() && Clock::now() >= m_nextSweep)
                sweep();
        }
    }

    void acceptAll() {
        for (;;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                if ((errno == EMFILE || errno == ENFILE) && m_spare >= 0) {
                    // Out of descriptors: take the waiting connection with
                    // the spare one and close it, rather than spin on it.
                    ::close(m_spare);
                    const int refused = ::accept(m_listener, nullptr, nullptr);
                    if (refused >= 0)
                        ::close(refused);
                    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                    DebugPrint("CMediaServer: out of descriptors, a connection closed\n");
                    continue;
                }
                return;
            }
            if (static_cast<int>(m_connections.size()) >= m_settings.maxConnections) {
                DebugPrint("CMediaServer: %d connections open, one more closed\n",
                           static_cast<int>(m_connections.size()));
                ::close(fd);
                continue;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            auto connection = std::make_unique<Connection>();
            connection->fd = fd;
            if (!watch(fd, EPOLLIN)) {
                ::close(fd);
                continue;
            }
            setDeadline(*connection,
                        Clock::now() + std::chrono::milliseconds(std::min(
                                           m_settings.idleTimeoutMs, m_settings.headTimeoutMs)));
            m_connections.emplace(fd, std::move(connection));
        }
    }

    // Closes what has passed its deadline and finds the next deadline.
    void sweep() {
        const auto now = Clock::now();
        m_nextSweep = Clock::time_point::max();
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            Connection& connection = *it->second;
            ++it;
            if (connection.deadline <= now) {
                const char* what = connection.state == State::Sending ? "client stopped reading"
                                   : connection.isHeadStarted         ? "request head incomplete"
                                   : connection.state == State::Lingering ? "lingered"
                                                                          : "idle";
                if (connection.state != State::Lingering)
                    DebugPrint("CMediaServer: connection closed, %s\n", what);
                finishTrace(connection, "abandoned");
                drop(connection);
            } else {
                m_nextSweep = std::min(m_nextSweep, connection.deadline);
            }
        }
    }

    void closeFile(Connection& connection) {
        if (connection.file >= 0)
            ::close(connection.file);
        connection.file = -1;
    }

    void drop(Connection& connection) {
        closeFile(connection);
        const int fd = connection.fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        m_connections.erase(fd); // destroys connection
    }

    void serve(Connection& connection, std::uint32_t events) {
        if (connection.state == State::Lingering) {
            char discard[4096];
            ssize_t count;
            while ((count = ::recv(connection.fd, discard, sizeof discard, 0)) > 0) {
            }
            if (count == 0 || (errno != EAGAIN && errno != EINTR))
                drop(connection);
            return;
        }
        if (connection.state == State::Sending) {
            if ((events & (EPOLLERR | EPOLLHUP)) != 0) {
                finishTrace(connection, "peer gone");
                drop(connection);
                return;
            }
            send(connection);
            return;
        }
        receive(connection);
    }

    void receive(Connection& connection) {
        char buffer[16384];
        for (;;) {
            const ssize_t count = ::recv(connection.fd, buffer, sizeof buffer, 0);
            if (count > 0) {
                connection.input.append(buffer, static_cast<std::size_t>(count));
                if (connection.input.size() > mr::kMaxHeadBytes)
                    break;
                continue;
            }
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && errno == EAGAIN)
                break;
            // Closed by the peer, or reset.
            drop(connection);
            return;
        }
        answerPending(connection);
    }

    // Starts the response to the next complete head in the input, if any.
    void answerPending(Connection& connection) {
        const std::size_t headLength = mr::HeadLength(connection.input);
        if (headLength == 0 || headLength > mr::kMaxHeadBytes) {
            if (connection.input.size() > mr::kMaxHeadBytes || headLength > mr::kMaxHeadBytes) {
                DebugPrint("CMediaServer: request head over %zu bytes\n", mr::kMaxHeadBytes);
                connection.input.clear();
                startError(connection, 431, "oversized head", true);
                return;
            }
            const auto now = Clock::now();
            if (!connection.input.empty() && !connection.isHeadStarted) {
                connection.isHeadStarted = true;
                connection.headStarted = now;
                setDeadline(connection, now + std::chrono::milliseconds(m_settings.headTimeoutMs));
            }
            return;
        }
        const mr::Request request =
            mr::Parse(std::string_view(connection.input).substr(0, headLength));
        connection.input.erase(0, headLength);
        connection.isHeadStarted = false;
        connection.isFirstRequest = false;
        respond(connection, request);
    }

    void startError(Connection& connection, int status, const std::string& trace, bool isClosing) {
        connection.traceLine = trace;
        std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) +
                           "\r\nDate: " + httpDate() + "\r\nServer: " + kServerName +
                           "\r\nContent-Length: 0\r\n";
        head += isClosing ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        startSending(connection, std::move(head), -1, 0, 0, nullptr, isClosing, status);
    }

    void respond(Connection& connection, const mr::Request& request) {
        std::string trace = request.isValid ? mr::Printable(request.methodText, 16) + " " +
                                                  mr::Printable(request.path)
                                            : std::string("(not a request line)");
        if (request.hasRange)
            trace += " range \"" + mr::Printable(request.rangeText, 60) + "\"";
        if (!request.isValid) {
            startError(connection, 400, trace, true);
            return;
        }
        // A body is never read: the connection cannot go on after it.
        const bool isClosing = !request.isKeepAlive || request.hasBody;
        Publication publication;
        if (request.method == mr::Method::Other || !request.path.starts_with(kPathPrefix) ||
            !m_owner.lookUp(request.path, &publication)) {
            startError(connection, 404, trace, isClosing);
            return;
        }
        const int file =
            ::open(publication.filePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        struct stat status {};
        if (file < 0 || ::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
            DebugPrint("CMediaServer: published file not readable now (errno %d)\n",
                       file < 0 ? errno : 0);
            if (file >= 0)
                ::close(file);
            startError(connection, 404, trace, isClosing);
            return;
        }
        const auto size = static_cast<std::uint64_t>(status.st_size);
        const mr::ByteSpan span = mr::Resolve(request.range, size);
        if (span.kind == mr::ByteSpan::Kind::Unsatisfiable) {
            ::close(file);
            connection.traceLine = trace;
            std::string head = "HTTP/1.1 416 Range Not Satisfiable\r\nDate: " + httpDate() +
                               "\r\nServer: " + kServerName + "\r\nContent-Range: bytes */" +
                               std::to_string(size) + "\r\nContent-Length: 0\r\n";
            head += isClosing ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
            startSending(connection, std::move(head), -1, 0, 0, nullptr, isClosing, 416);
            return;
        }
        const bool isPartial = span.kind == mr::ByteSpan::Kind::Partial;
        const int statusCode = isPartial ? 206 : 200;
        std::string head =
            std::string("HTTP/1.1 ") + (isPartial ? "206 Partial Content" : "200 OK") +
            "\r\nDate: " + httpDate() + "\r\nServer: " + kServerName +
            "\r\nContent-Type: " + publication.mimeType +
            "\r\nContent-Length: " + std::to_string(span.length) + "\r\nAccept-Ranges: bytes\r\n";
        if (isPartial) {
            head += "Content-Range: bytes " + std::to_string(span.offset) + "-" +
                    std::to_string(span.offset + span.length - 1) + "/" + std::to_string(size) +
                    "\r\n";
        }
        head += std::string("transferMode.dlna.org: ") +
                (publication.mimeType.starts_with("image/") ? "Interactive" : "Streaming") +
                "\r\ncontentFeatures.dlna.org: ";
        if (!publication.dlnaProfile.empty())
            head += "DLNA.ORG_PN=" + publication.dlnaProfile + ";";
        head += "DLNA.ORG_OP=01;DLNA.ORG_CI=0;DLNA.ORG_FLAGS=01700000000000000000000000000000\r\n";
        head += isClosing ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        connection.traceLine = trace;
        if (request.method == mr::Method::Head) {
            ::close(file);
            startSending(connection, std::move(head), -1, 0, 0, nullptr, isClosing, statusCode);
            return;
        }
        startSending(connection, std::move(head), file, static_cast<off_t>(span.offset),
                     span.length, publication.bytesServed, isClosing, statusCode);
    }

    void startSending(Connection& connection, std::string head, int file, off_t offset,
                      std::uint64_t length, std::shared_ptr<std::atomic<std::uint64_t>> counter,
                      bool isClosing, int status) {
        connection.state = State::Sending;
        connection.head = std::move(head);
        connection.headSent = 0;
        connection.file = file;
        connection.fileOffset = offset;
        connection.bodyLeft = file >= 0 ? length : 0;
        connection.bodySent = 0;
        connection.counter = std::move(counter);
        connection.isClosingAfter = isClosing;
        connection.traceLine += " -> " + std::to_string(status);
        rewatch(connection, EPOLLOUT);
        setDeadline(connection, Clock::now() + std::chrono::milliseconds(m_settings.sendTimeoutMs));
        send(connection);
    }

    void send(Connection& connection) {
        std::size_t budget = kSendBudgetBytes;
        bool isProgress = false;
        while (connection.headSent < connection.head.size()) {
            const int flags = MSG_NOSIGNAL | (connection.bodyLeft > 0 ? MSG_MORE : 0);
            const ssize_t count =
                ::send(connection.fd, connection.head.data() + connection.headSent,
                       connection.head.size() - connection.headSent, flags);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && errno == EAGAIN)
                return noteProgress(connection, isProgress);
            if (count <= 0) {
                finishTrace(connection, "send failed");
                drop(connection);
                return;
            }
            connection.headSent += static_cast<std::size_t>(count);
            isProgress = true;
        }
        while (connection.bodyLeft > 0 && budget > 0) {
            const std::size_t chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>({connection.bodyLeft, kSendChunkBytes, budget}));
            const ssize_t count =
                ::sendfile(connection.fd, connection.file, &connection.fileOffset, chunk);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && errno == EAGAIN)
                return noteProgress(connection, isProgress);
            if (count <= 0) {
                // The file shrank (0) or cannot be read, or the peer is gone:
                // the promised length cannot be kept, so the connection ends.
                finishTrace(connection, count == 0 ? "file shorter than announced" : "send failed");
                drop(connection);
                return;
            }
            const auto sent = static_cast<std::uint64_t>(count);
            connection.bodyLeft -= sent;
            connection.bodySent += sent;
            budget -= std::min<std::size_t>(budget, static_cast<std::size_t>(sent));
            if (connection.counter)
                connection.counter->fetch_add(sent, std::memory_order_relaxed);
            isProgress = true;
        }
        if (connection.bodyLeft > 0)
            return noteProgress(connection, isProgress);
        finished(connection);
    }

    void noteProgress(Connection& connection, bool isProgress) {
        if (isProgress)
            connection.deadline =
                Clock::now() + std::chrono::milliseconds(m_settings.sendTimeoutMs);
    }

    void finishTrace(Connection& connection, const char* outcome) {
        if (connection.traceLine.empty())
            return;
        DebugPrint("CMediaServer: %s, %llu bytes sent, %s\n", connection.traceLine.c_str(),
                   static_cast<unsigned long long>(connection.bodySent), outcome);
        connection.traceLine.clear();
    }

    void finished(Connection& connection) {
        finishTrace(connection, "done");
        closeFile(connection);
        connection.counter.reset();
        connection.head.clear();
        if (connection.isClosingAfter) {
            // Half-close, then read what the client still sends until it
            // closes too, so the response is not lost to a reset.
            ::shutdown(connection.fd, SHUT_WR);
            connection.state = State::Lingering;
            connection.input.clear();
            rewatch(connection, EPOLLIN);
            setDeadline(connection, Clock::now() + std::chrono::milliseconds(kLingerMs));
            return;
        }
        connection.state = State::Reading;
        rewatch(connection, EPOLLIN);
        setDeadline(connection, Clock::now() + std::chrono::milliseconds(m_settings.idleTimeoutMs));
        // Pipelined requests already received are answered in order.
        if (!connection.input.empty())
            answerPending(connection);
    }

    static constexpr const char* kServerName = "Vellumo/1.0 UPnP/1.0";

    CMediaServer& m_owner;
    const Settings m_settings;
    const int m_listener;
    const int m_wake;
    int m_epoll = -1;
    int m_spare = -1;
    std::unordered_map<int, std::unique_ptr<Connection>> m_connections;
    Clock::time_point m_nextSweep = Clock::time_point::max();
    std::thread m_thread;
};

CMediaServer::CMediaServer() : CMediaServer(Settings{}) {}

CMediaServer::CMediaServer(const Settings& settings) : m_settings(settings) {}

CMediaServer::~CMediaServer() {
    Stop();
}

bool CMediaServer::Start(std::string* error) {
    Stop();
    std::string ignored;
    if (error == nullptr)
        error = &ignored;
    std::lock_guard lock(m_lifeMutex);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        *error = errorText("The media server cannot create a socket", errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(m_settings.address);
    address.sin_port = htons(m_settings.port);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        const int bindError = errno;
        ::close(listener);
        *error =
            errorText(("The media server cannot listen on " + dottedAddress(m_settings.address) +
                       ":" + std::to_string(m_settings.port))
                          .c_str(),
                      bindError);
        DebugPrint("CMediaServer: %s\n", error->c_str());
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        *error = errorText("The media server cannot create its wake-up event", errno);
        ::close(listener);
        return false;
    }
    auto worker = std::make_unique<Worker>(*this, listener, wake);
    if (!worker->Begin(error))
        return false;
    m_worker = std::move(worker);
    m_boundPort = ntohs(address.sin_port);
    DebugPrint("CMediaServer: listening on %s:%u\n", dottedAddress(m_settings.address).c_str(),
               static_cast<unsigned>(m_boundPort.load()));
    return true;
}

void CMediaServer::Stop() {
    std::lock_guard lock(m_lifeMutex);
    m_boundPort = 0;
    m_worker.reset();
}

std::uint16_t CMediaServer::BoundPort() const {
    return m_boundPort;
}

std::string CMediaServer::Publish(const std::string& path, const std::string& mimeType,
                                  const std::string& dlnaProfile) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        DebugPrint("CMediaServer::Publish(): not a regular file: %s\n",
                   media_request::Printable(path, 300).c_str());
        return {};
    }
    std::string token;
    if (!randomHex(&token)) {
        DebugPrint("CMediaServer::Publish(): no random bits: errno %d\n", errno);
        return {};
    }
    const std::string extension = extensionOf(path);
    std::string urlPath = std::string(kPathPrefix) + token;
    if (!extension.empty())
        urlPath += "." + extension;
    Publication publication{path, fieldSafe(mimeType), fieldSafe(dlnaProfile),
                            std::make_shared<std::atomic<std::uint64_t>>(0)};
    std::lock_guard lock(m_catalogMutex);
    m_served[urlPath] = publication.bytesServed;
    m_catalog.emplace(urlPath, std::move(publication));
    return urlPath;
}

void CMediaServer::Withdraw(const std::string& urlPath) {
    std::lock_guard lock(m_catalogMutex);
    m_catalog.erase(urlPath);
}

void CMediaServer::WithdrawAll() {
    std::lock_guard lock(m_catalogMutex);
    m_catalog.clear();
}

std::string CMediaServer::UrlOf(const std::string& urlPath) const {
    const std::uint16_t port = m_boundPort;
    if (m_settings.address == INADDR_ANY || port == 0)
        return {};
    return "http://" + dottedAddress(m_settings.address) + ":" + std::to_string(port) + urlPath;
}

std::uint64_t CMediaServer::BytesServed(const std::string& urlPath) const {
    std::lock_guard lock(m_catalogMutex);
    const auto found = m_served.find(urlPath);
    return found == m_served.end() ? 0 : found->second->load(std::memory_order_relaxed);
}

bool CMediaServer::lookUp(const std::string& urlPath, Publication* publication) const {
    std::lock_guard lock(m_catalogMutex);
    const auto found = m_catalog.find(urlPath);
    if (found == m_catalog.end())
        return false;
    *publication = found->second;
    return true;
}
