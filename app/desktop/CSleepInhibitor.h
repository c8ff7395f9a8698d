#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusPendingCallWatcher;

// Keeps the PC awake while media streams to the Box: a logind inhibitor
// lock ("sleep", mode "block") held from the first connected link until
// playback ends. Without logind (or without a system bus) the PC may sleep:
// traced, nothing else. User-interface thread only.
class CSleepInhibitor : public QObject {
    Q_OBJECT

public:
    explicit CSleepInhibitor(QDBusConnection systemBus = QDBusConnection::systemBus(),
                             QObject* parent = nullptr);

    // The main window calls it after each library notification it handled:
    // isStreaming while at least one link is connected. The lock is asked
    // for once per streaming spell; it is let go (its descriptor closed) when
    // streaming ends, also when the answer comes after that.
    void Update(bool isStreaming);
    bool IsHeld() const { return m_lock.isValid(); }

Q_SIGNALS:
    // The lock was taken or let go.
    void HeldChanged(bool isHeld);

private:
    void onInhibitReply(QDBusPendingCallWatcher* watcher);

    QDBusConnection m_bus;
    bool m_isStreaming = false;
    bool m_isAsking = false;
    QDBusUnixFileDescriptor m_lock;
};
