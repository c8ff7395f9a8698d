#include "RendererRecorder.h"

#include "TiedChild.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

void RendererRecorder::noteThread() {
    m_threads.push_back(std::this_thread::get_id());
}

void RendererRecorder::TransportChanged(const RendererTransport& transport) {
    std::lock_guard lock(m_mutex);
    noteThread();
    m_hasReportAfterLost |= m_lostCount > 0;
    m_history.push_back(transport);
    m_changed.notify_all();
}

void RendererRecorder::ActionFailed(const std::string& action, int upnpErrorCode,
                                    const std::string& text) {
    std::lock_guard lock(m_mutex);
    noteThread();
    m_hasReportAfterLost |= m_lostCount > 0;
    m_failures.push_back({action, upnpErrorCode, text});
    m_changed.notify_all();
}

void RendererRecorder::RendererLost(const std::string& why) {
    std::lock_guard lock(m_mutex);
    noteThread();
    m_hasReportAfterLost |= m_lostCount > 0;
    ++m_lostCount;
    m_lostWhy = why;
    m_changed.notify_all();
}

size_t RendererRecorder::Mark() const {
    std::lock_guard lock(m_mutex);
    return m_history.size();
}

bool RendererRecorder::WaitForTransport(
    const std::function<bool(const RendererTransport&)>& condition, size_t mark,
    std::chrono::seconds guard) {
    std::unique_lock lock(m_mutex);
    size_t seen = mark;
    return m_changed.wait_for(lock, guard, [&] {
        for (; seen < m_history.size(); ++seen)
            if (condition(m_history[seen]))
                return true;
        return false;
    });
}

RendererRecorder::Failure RendererRecorder::WaitForFailure(const std::string& action,
                                                           std::chrono::seconds guard) {
    std::unique_lock lock(m_mutex);
    Failure found;
    m_changed.wait_for(lock, guard, [&] {
        for (const Failure& failure : m_failures)
            if (failure.action == action) {
                found = failure;
                return true;
            }
        return false;
    });
    return found;
}

bool RendererRecorder::WaitForLost(std::chrono::seconds guard) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, guard, [&] { return m_lostCount > 0; });
}

RendererTransport RendererRecorder::Last() const {
    std::lock_guard lock(m_mutex);
    return m_history.empty() ? RendererTransport{} : m_history.back();
}

std::vector<RendererTransport> RendererRecorder::History() const {
    std::lock_guard lock(m_mutex);
    return m_history;
}

std::vector<RendererRecorder::Failure> RendererRecorder::Failures() const {
    std::lock_guard lock(m_mutex);
    return m_failures;
}

int RendererRecorder::LostCount() const {
    std::lock_guard lock(m_mutex);
    return m_lostCount;
}

std::string RendererRecorder::LostWhy() const {
    std::lock_guard lock(m_mutex);
    return m_lostWhy;
}

bool RendererRecorder::CameOnOneOtherThread(std::thread::id testThread) const {
    std::lock_guard lock(m_mutex);
    return !m_threads.empty() &&
           std::all_of(m_threads.begin(), m_threads.end(),
                       [&](std::thread::id id) { return id == m_threads.front(); }) &&
           m_threads.front() != testThread;
}

bool RendererRecorder::HasReportAfterLost() const {
    std::lock_guard lock(m_mutex);
    return m_hasReportAfterLost;
}

PeerProcess::~PeerProcess() {
    Finish();
}

bool PeerProcess::Start(const std::vector<std::string>& args, const std::string& untilKey,
                        std::string* why) {
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
        *why = "no pipes";
        return false;
    }
    m_pid = SpawnTiedChild(args, input[0], output[1]);
    close(input[0]);
    close(output[1]);
    m_input = input[1];
    m_output = output[0];
    if (m_pid < 0) {
        *why = "cannot start " + args[0];
        return false;
    }
    std::string pending, seen;
    auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < guard) {
        pollfd ready{m_output, POLLIN, 0};
        if (poll(&ready, 1, 500) <= 0)
            continue;
        char buffer[4096];
        ssize_t got = read(m_output, buffer, sizeof buffer);
        if (got <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(got));
        seen.append(buffer, static_cast<size_t>(got));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            size_t space = line.find(' ');
            if (space == std::string::npos)
                continue;
            std::string key = line.substr(0, space);
            m_values[key] = line.substr(space + 1);
            if (key == untilKey)
                return true;
        }
    }
    *why = args[0] + " printed no " + untilKey + " line; output: " + seen;
    return false;
}

std::string PeerProcess::Value(const std::string& key) const {
    auto found = m_values.find(key);
    return found == m_values.end() ? "" : found->second;
}

void PeerProcess::Finish() {
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
    if (m_pid > 0) {
        auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > guard) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    m_pid = -1;
    if (m_output >= 0)
        close(m_output);
    m_output = -1;
}

std::string SoapCall(const std::string& controlUrl, const std::string& serviceType,
                     const std::string& action, const std::string& arguments) {
    // http://a.b.c.d:port/path only: the renderers under test use that form.
    const std::string scheme = "http://";
    if (controlUrl.compare(0, scheme.size(), scheme) != 0)
        return {};
    size_t hostEnd = controlUrl.find('/', scheme.size());
    std::string hostPort = controlUrl.substr(scheme.size(), hostEnd - scheme.size());
    std::string path = hostEnd == std::string::npos ? "/" : controlUrl.substr(hostEnd);
    size_t colon = hostPort.find(':');
    std::string host = hostPort.substr(0, colon);
    int port = colon == std::string::npos ? 80 : std::stoi(hostPort.substr(colon + 1));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return {};
    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{10, 0};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(sock);
        return {};
    }
    std::string body = "<?xml version=\"1.0\"?><s:Envelope "
                       "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                       "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
                       action + " xmlns:u=\"" + serviceType + "\">" + arguments + "</u:" + action +
                       "></s:Body></s:Envelope>";
    std::string request = "POST " + path + " HTTP/1.1\r\nHost: " + hostPort +
                          "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nSOAPACTION: \"" +
                          serviceType + "#" + action +
                          "\"\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body;
    if (send(sock, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        close(sock);
        return {};
    }
    std::string response;
    char buffer[4096];
    ssize_t got;
    while ((got = recv(sock, buffer, sizeof buffer, 0)) > 0)
        response.append(buffer, static_cast<size_t>(got));
    close(sock);
    return response;
}

std::string XmlValue(const std::string& text, const std::string& tag) {
    size_t open = text.find("<" + tag + ">");
    if (open == std::string::npos)
        return {};
    open += tag.size() + 2;
    size_t close = text.find("</" + tag + ">", open);
    return close == std::string::npos ? "" : text.substr(open, close - open);
}
