#pragma once

#include <string>
#include <vector>

// What a KvuUPnPFinder reads of a found device's description.
struct UPnPDeviceDescription {
    std::string location;     // URL of the device's description document
    std::string udn;          // the device's unique name
    std::string friendlyName; // its "friendlyName"
    std::string deviceType;   // its type
    // Its "presentationURL" made absolute against the description's base,
    // or empty when the description has none.
    std::string presentationUrl;
    // The service types the root device and its embedded devices list, in
    // document order, at most kMaxServiceTypes of them.
    std::vector<std::string> serviceTypes;

    static constexpr size_t kMaxServiceTypes = 64;
};

// Told about the boxes a KvuUPnPFinder finds. Observers are not owned by the
// finder; they are called on the thread that runs the finder's GLib context.
class KvuUPnPFinderObserver {
public:
    virtual ~KvuUPnPFinderObserver() = default;

    // location: URL of the device's description document; udn: the device's
    // unique name; friendlyName: its "friendlyName"; deviceType: its type.
    virtual void DeviceFound(const std::string& /*location*/, const std::string& /*udn*/,
                             const std::string& /*friendlyName*/,
                             const std::string& /*deviceType*/) {}
    // The finder tells each found device here; an observer that needs the
    // whole description takes it here instead of in DeviceFound.
    virtual void DeviceDescribed(const UPnPDeviceDescription& device) {
        DeviceFound(device.location, device.udn, device.friendlyName, device.deviceType);
    }
    virtual void SearchCompleted() = 0;
    virtual void SearchFailed(const std::string& detail) = 0;
};
