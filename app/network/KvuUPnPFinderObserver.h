#pragma once

#include <string>

// Told about the boxes a KvuUPnPFinder finds. Observers are not owned by the
// finder; they are called on the thread that runs the finder's GLib context.
class KvuUPnPFinderObserver {
public:
    virtual ~KvuUPnPFinderObserver() = default;

    // location: URL of the device's description document; udn: the device's
    // unique name; friendlyName: its "friendlyName"; deviceType: its type.
    virtual void DeviceFound(const std::string& location, const std::string& udn,
                             const std::string& friendlyName, const std::string& deviceType) = 0;
    virtual void SearchCompleted() = 0;
    virtual void SearchFailed(const std::string& detail) = 0;
};
