#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <thread>

// The HTTP server that hands the PC's files to network renderers. Files are
// published one by one under unguessable paths; a renderer fetches them with
// GET or HEAD, whole or by byte ranges, on connections it keeps open. One
// worker thread serves every connection (epoll, sendfile), so a thousand idle
// renderers' connections cost descriptors, not threads.
class CMediaServer {
public:
    static constexpr std::uint16_t kDefaultPort = 7273;
    struct Settings {
        std::uint16_t port = kDefaultPort; // 0: the system picks; see BoundPort
        in_addr_t address = INADDR_ANY;    // host byte order: the PC's address facing the renderer
        int idleTimeoutMs = 30000; // a connection with no request in flight is closed after this
        int maxConnections = 64;   // further connections are accepted and closed at once
        int headTimeoutMs = 10000; // a begun request head must be complete within this
        int sendTimeoutMs = 15000; // a response is abandoned when the client read nothing for this
    };

    // Default settings (a default argument of a nested type with member
    // initialisers is not accepted by every compiler).
    CMediaServer();
    explicit CMediaServer(const Settings& settings);
    ~CMediaServer(); // stops
    CMediaServer(const CMediaServer&) = delete;
    CMediaServer& operator=(const CMediaServer&) = delete;

    // error: a sentence with strerror, e.g. port taken. A started server is
    // restarted.
    bool Start(std::string* error);
    // Returns when the worker ended; drops connections. Publications stay.
    void Stop();
    std::uint16_t BoundPort() const; // 0 when stopped

    // Publishes one regular file under an unguessable path
    // "/media/<32 hex of 128 random bits>.<ext>" (ext from the file name, lower
    // case, may be empty -> no dot). The file is opened per request, so a file
    // deleted or truncated meanwhile gives 404 / a short, closed response.
    // Returns an empty string when path is not a regular file or no random
    // bits are to be had.
    std::string Publish(const std::string& path, const std::string& mimeType,
                        const std::string& dlnaProfile = {});
    void Withdraw(const std::string& urlPath);
    void WithdrawAll();
    // "http://<address>:<port><urlPath>" using the bound address (empty when
    // Settings.address is INADDR_ANY or the server is stopped).
    std::string UrlOf(const std::string& urlPath) const;
    // Body bytes sent so far for that path (all requests, all connections).
    std::uint64_t BytesServed(const std::string& urlPath) const;

    // What a published path stands for; shared with the worker for the time
    // of a response.
    struct Publication {
        std::string filePath;
        std::string mimeType;
        std::string dlnaProfile;
        std::shared_ptr<std::atomic<std::uint64_t>> bytesServed;
    };

private:
    class Worker;

    // The publication of a path, if it is current.
    bool lookUp(const std::string& urlPath, Publication* publication) const;

    const Settings m_settings;
    mutable std::mutex m_catalogMutex; // guards m_catalog and m_served
    std::map<std::string, Publication> m_catalog;
    // Counters outlive a withdrawal, so a count stays readable afterwards.
    std::map<std::string, std::shared_ptr<std::atomic<std::uint64_t>>> m_served;

    std::mutex m_lifeMutex; // serialises Start and Stop
    std::unique_ptr<Worker> m_worker;
    std::atomic<std::uint16_t> m_boundPort{0};
};
