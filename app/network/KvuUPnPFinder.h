#pragma once

#include "KvuUPnPFinderObserver.h"
#include "tools/CObserverList.h"

#include <memory>
#include <string>

class KvuUPnPFinderCallback;

// Searches for player boxes ("urn:schemas-upnp-org:device:MediaRenderer:1")
// with a GUPnP control point and tells its observers what it finds.
//
// The finder and everything it does lives on the thread that creates it and
// runs that thread's default GLib main context: Qt's event loop on the UI
// thread, or a GMainLoop in a command-line program. Notifications arrive
// while that context is dispatched, never from inside StartSearch.
class KvuUPnPFinder {
public:
    static constexpr const char* kDeviceType = "urn:schemas-upnp-org:device:MediaRenderer:1";
    // Devices reported per search; once that many are found the search
    // fetches no more descriptions (traced), so that a flood of
    // announcements costs a bounded amount of memory.
    static constexpr size_t kMaxDevices = 256;

    // interfaceName: the only network interface searched (e.g. "lo"); empty
    // searches every IPv4 interface the system's network monitor reports.
    explicit KvuUPnPFinder(std::string interfaceName = {}, size_t maxDevices = kMaxDevices);
    ~KvuUPnPFinder();
    KvuUPnPFinder(const KvuUPnPFinder&) = delete;
    KvuUPnPFinder& operator=(const KvuUPnPFinder&) = delete;

    // Null gives false; an observer already present is kept once.
    bool AddObserver(KvuUPnPFinderObserver* observer);
    // False when the observer is null or not present.
    bool RemoveObserver(KvuUPnPFinderObserver* observer);

    // Cancels any running search and starts a new one. False when the search
    // cannot start; SearchFailed then follows from the main context so that a
    // caller waiting for the end of the search is not left waiting.
    bool StartSearch();
    // Cancels the search; no notification of it follows.
    void StopSearch();

    // Called by the search in progress. An observer may call StartSearch or
    // StopSearch from its notification, but must not destroy the finder.
    void NotifyDeviceFound(const UPnPDeviceDescription& device);
    void NotifySearchCompleted();
    void NotifySearchFailed(const std::string& detail);

private:
    const std::string m_interfaceName;
    const size_t m_maxDevices;
    // An observer may add or remove observers from its notification.
    kvu::tools::CObserverList<KvuUPnPFinderObserver> m_observers;
    std::unique_ptr<KvuUPnPFinderCallback> m_callback;
};
