#pragma once

#include "BoxOptions.h"
#include "EventLog.h"
#include "HttpFetch.h"
#include "StatusWriter.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// A firmware upgrade for one pair, on a thread of its own so that the pair's
// command thread keeps answering: fetch the manifest, read the image URL from
// its SWURL entry, fetch the image, "write" it for the flash time, then answer
// "stat" "done" (argument 0 when written, -1 when the upgrade failed) and end
// the pair. Every transfer is logged with its bytes and digest.
class BoxUpgrade {
public:
    using EndPair = std::function<void(std::string_view reason)>;

    // Bodies above this are refused: a manifest is a few hundred bytes.
    static constexpr int64_t kMaxManifestBytes = 1024 * 1024;
    // An image is only hashed, never kept; this only bounds a runaway server.
    static constexpr int64_t kMaxImageBytes = int64_t{8} * 1024 * 1024 * 1024;

    BoxUpgrade(int pairId, const BoxOptions& options, EventLog& log, StatusWriter& writer,
               EndPair endPair);
    ~BoxUpgrade();
    BoxUpgrade(const BoxUpgrade&) = delete;
    BoxUpgrade& operator=(const BoxUpgrade&) = delete;

    // Called on the command thread. False (logged) when an upgrade has
    // already been started on this pair or the pair is stopping.
    bool start(std::string manifestUrl);
    // Ends a transfer or the writing early; callable from any thread.
    void stop();
    // Joins the thread; by the owner, after stop() and after the command
    // thread (the only caller of start) has ended.
    void join();

private:
    enum class What { Manifest, Image };

    void run(const std::string& manifestUrl);
    HttpFetch::Result fetch(What what, const std::string& url, const HttpFetch::Sink& sink);
    bool writeFirmware();
    void finish(bool isWritten, const std::string& text);

    const int m_pairId;
    const BoxOptions& m_options;
    EventLog& m_log;
    StatusWriter& m_writer;
    const EndPair m_endPair;
    std::atomic<bool> m_isStopping{false};
    std::mutex m_mutex; // guards m_hasStarted and the wait for m_isStopping
    std::condition_variable m_stopped;
    bool m_hasStarted = false;
    std::thread m_thread;
};
