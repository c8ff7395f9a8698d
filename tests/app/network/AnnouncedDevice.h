#pragma once

#include <libgupnp/gupnp.h>

#include <string>
#include <vector>

// A UPnP MediaRenderer announced on loopback with a description of the
// test's own, served by GUPnP on the calling thread's GLib main context.
class AnnouncedDevice {
public:
    // host: an address of loopback; deviceXml: the <device> element's
    // content besides the device type and the UDN ("uuid:device-<host>"),
    // which are added.
    AnnouncedDevice(const std::string& host, const std::string& deviceXml);
    ~AnnouncedDevice();
    AnnouncedDevice(const AnnouncedDevice&) = delete;
    AnnouncedDevice& operator=(const AnnouncedDevice&) = delete;

    // A <serviceList> of those types, for deviceXml.
    static std::string ServiceListXml(const std::vector<std::string>& serviceTypes);

    bool IsAnnounced() const { return m_group != nullptr; }
    // "http://host:port", where the description is served.
    const std::string& Base() const { return m_base; }

private:
    GUPnPContext* m_context = nullptr;
    GSSDPResourceGroup* m_group = nullptr;
    std::string m_base;
};
