#pragma once

#include <libgupnp/gupnp.h>

#include <string>
#include <vector>

class KvuUPnPFinder;

// One search of a KvuUPnPFinder: the GUPnP context(s) and control points it
// runs on, and the timer that ends its first search window. Destroying it
// cancels the search; no notification of it follows.
class KvuUPnPFinderCallback {
public:
    // The search's MX and the margin after it that covers fetching the
    // description documents of the devices that answered late.
    static constexpr unsigned kSearchMxSeconds = 1;
    static constexpr unsigned kSearchMarginMs = 1000;

    // maxDevices: the devices reported before the search stops fetching
    // descriptions.
    KvuUPnPFinderCallback(KvuUPnPFinder& owner, std::string interfaceName, std::string deviceType,
                          size_t maxDevices);
    ~KvuUPnPFinderCallback();
    KvuUPnPFinderCallback(const KvuUPnPFinderCallback&) = delete;
    KvuUPnPFinderCallback& operator=(const KvuUPnPFinderCallback&) = delete;

    // False when the interface cannot be used; SearchFailed then follows.
    bool Start();

private:
    static void OnContextAvailable(GUPnPContextManager* manager, GUPnPContext* context,
                                   gpointer self);
    static void OnDeviceProxyAvailable(GUPnPControlPoint* controlPoint, GUPnPDeviceProxy* proxy,
                                       gpointer self);
    static gboolean OnSearchWindowPassed(gpointer self);
    static gboolean OnStartFailed(gpointer self);

    GUPnPControlPoint* Browse(GUPnPContext* context);
    // Counts a device to report: false beyond the bound, where browsing ends.
    bool countDevice();
    void StartTimer(guint delayMs, GSourceFunc function);

    KvuUPnPFinder& m_owner;
    const std::string m_interfaceName;
    const std::string m_deviceType;
    const size_t m_maxDevices;
    size_t m_deviceCount = 0;
    std::string m_failure;
    // The context whose dispatch delivers everything: the creating thread's.
    GMainContext* m_mainContext;
    GUPnPContext* m_context = nullptr;        // the one given interface's
    GUPnPContextManager* m_manager = nullptr; // when searching every interface
    std::vector<GUPnPControlPoint*> m_controlPoints;
    GSource* m_timer = nullptr;
};
