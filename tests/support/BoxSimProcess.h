#pragma once

#include "JsonEvent.h"
#include "TempDir.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Runs vellumo-boxsim for a test: ephemeral command and web ports on the given
// loopback address, an event log in a private temporary directory. The constructor
// waits for the "ready" line and fails the current test when it does not
// come. The destructor ends the process (SIGTERM, then waitpid), prints the
// event log when the test has failed, and removes the directory. Use from one
// thread.
class BoxSimProcess {
public:
    using Predicate = std::function<bool(const JsonEvent&)>;
    static constexpr std::chrono::milliseconds kDefaultWait{10000};

    explicit BoxSimProcess(const std::vector<std::string>& extraArgs = {},
                           const std::string& address = "127.0.0.1");
    ~BoxSimProcess();
    BoxSimProcess(const BoxSimProcess&) = delete;
    BoxSimProcess& operator=(const BoxSimProcess&) = delete;

    bool isReady() const { return m_port != 0; }
    const std::string& address() const { return m_address; }
    uint16_t port() const { return m_port; }
    // The port of the setup page; 0 when the Box reported none.
    uint16_t webPort();
    // Scratch directory owned by this object, e.g. for --output-dir.
    const std::string& dir() const { return m_dir.path(); }

    // Every event logged so far, in order.
    const std::vector<JsonEvent>& events();
    // The first event (from the start of the log) matching the predicate;
    // nothing when none appeared within the timeout.
    std::optional<JsonEvent> waitForEvent(const Predicate& predicate,
                                          std::chrono::milliseconds timeout = kDefaultWait);
    bool isRunning();
    // Stops the process where it is (a Box that hangs: it neither reads,
    // writes nor closes), or lets it go on.
    void freeze(bool isFrozen);
    // SIGTERM and wait; the exit code, or -1 when it died by a signal or was
    // already gone.
    int terminate();

private:
    void readNewLines();

    TempDir m_dir;
    std::string m_logPath;
    std::string m_address;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
    size_t m_logOffset = 0;
    std::string m_partialLine;
    std::vector<JsonEvent> m_events;
};

// Convenience predicates.
BoxSimProcess::Predicate EventIs(const std::string& event);
BoxSimProcess::Predicate StatusIs(const std::string& keyword);
BoxSimProcess::Predicate StatIs(const std::string& state, int64_t arg);
// A command of that byte read from the PC.
BoxSimProcess::Predicate CommandIs(char byte);
// A file received whole under that name, from its start.
BoxSimProcess::Predicate ReceivedWhole(const std::string& name);
