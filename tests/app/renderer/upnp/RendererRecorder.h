#pragma once

#include "CAvRenderer.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// Records what a renderer reports, from its GLib thread, for the test thread
// to wait on. The waits are guards against hangs, many seconds long, no
// measure of speed.
class RendererRecorder : public CAvRendererObserver {
public:
    struct Failure {
        std::string action;
        int code = 0;
        std::string text;
    };

    void TransportChanged(const RendererTransport& transport) override;
    void ActionFailed(const std::string& action, int upnpErrorCode,
                      const std::string& text) override;
    void RendererLost(const std::string& why) override;

    // How many pictures came so far: a wait from there ignores older ones.
    size_t Mark() const;
    // Until a picture reported after the mark satisfies the condition; false
    // after the guard.
    bool WaitForTransport(const std::function<bool(const RendererTransport&)>& condition,
                          size_t mark = 0, std::chrono::seconds guard = std::chrono::seconds(30));
    // Until the action failed; the failure, or an empty action after the guard.
    Failure WaitForFailure(const std::string& action,
                           std::chrono::seconds guard = std::chrono::seconds(30));
    bool WaitForLost(std::chrono::seconds guard = std::chrono::seconds(30));

    RendererTransport Last() const;
    std::vector<RendererTransport> History() const;
    std::vector<Failure> Failures() const;
    int LostCount() const;
    std::string LostWhy() const;
    // Whether every callback came on one thread, not the test's.
    bool CameOnOneOtherThread(std::thread::id testThread) const;
    // Whether anything came after RendererLost.
    bool HasReportAfterLost() const;

private:
    void noteThread();

    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_changed;
    std::vector<RendererTransport> m_history;
    std::vector<Failure> m_failures;
    int m_lostCount = 0;
    bool m_hasReportAfterLost = false;
    std::string m_lostWhy;
    std::vector<std::thread::id> m_threads;
};

// A helper program (a renderer script) started with pipes: it prints
// "KEY value" lines on its standard output and runs until its standard input
// closes.
class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts it and reads lines until one starts with untilKey; false, with
    // what came, when it ends first or the guard passes.
    bool Start(const std::vector<std::string>& args, const std::string& untilKey, std::string* why);
    std::string Value(const std::string& key) const;
    // Closes its input and waits for it to end (killing it after a guard).
    void Finish();
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::map<std::string, std::string> m_values;
};

// One SOAP action sent straight to a control URL over a plain socket, so the
// tests check what the renderer holds without the code under test. The
// response text, or empty on failure.
std::string SoapCall(const std::string& controlUrl, const std::string& serviceType,
                     const std::string& action, const std::string& arguments);
// The text of the first <tag>...</tag> in a response.
std::string XmlValue(const std::string& text, const std::string& tag);
