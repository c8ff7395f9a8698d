#pragma once

#include <QDBusConnection>
#include <QStringList>

#include <chrono>

// A second start's side of the hand-over: sends its files to the running
// instance (CFileHandOver) on the session bus, in calls within the bounds
// the instance accepts.
class COpenFilesClient {
public:
    // A start that comes while the running one is still starting waits for
    // its name this long.
    static constexpr std::chrono::milliseconds kWaitForInstance{5000};

    // Blocks until each call is answered. False, traced, when there is no
    // bus or no running instance answers; the start quits all the same.
    static bool HandOver(const QStringList& paths, QDBusConnection bus,
                         std::chrono::milliseconds waitForInstance = kWaitForInstance);
};
