#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

// Asks whether the Box still answers ICMP echo, on a thread of its own so
// that the user interface never waits for the network. The answer comes back
// as Finished on the thread that owns the probe (a queued call).
class CReachabilityProbe : public QObject {
    Q_OBJECT

public:
    explicit CReachabilityProbe(QObject* parent = nullptr);
    // Waits for a check under way (at most its attempts times its timeout).
    ~CReachabilityProbe() override;

    // Starts a check of address unless one is under way (then false).
    bool Start(const QString& address);
    bool IsRunning() const { return m_isRunning.load(); }

    // For tests: the echo attempts and the wait for each reply.
    void SetEchoLimits(int attempts, std::chrono::milliseconds timeout);

Q_SIGNALS:
    void Finished(const QString& address, bool isReachable);

private:
    int m_attempts;
    std::chrono::milliseconds m_timeout;
    // Set by Start on the owner's thread, cleared there when Finished is
    // delivered; the worker only reads its own copies of the settings.
    std::atomic<bool> m_isRunning{false};
    // Joined before the next check starts and by the destructor; the thread
    // ends before this object does, so its queued call never outlives it.
    std::thread m_worker;
};
