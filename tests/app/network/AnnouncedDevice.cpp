#include "AnnouncedDevice.h"
#include "network/UPnPContext.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr const char* kDeviceType = "urn:schemas-upnp-org:device:MediaRenderer:1";

} // namespace

AnnouncedDevice::AnnouncedDevice(const std::string& host, const std::string& deviceXml) {
    GError* error = nullptr;
    GInetAddress* address = g_inet_address_new_from_string(host.c_str());
    m_context = NewListeningUPnPContext("lo", address, &error);
    g_object_unref(address);
    if (m_context == nullptr) {
        ADD_FAILURE() << host << ": " << error->message;
        g_clear_error(&error);
        return;
    }
    // The control point looks for the device whose UDN the announcement names.
    const std::string udn = "uuid:device-" + host;
    const std::string path = testing::TempDir() + "device-" + host + ".xml";
    std::ofstream(path) << "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
                           "<specVersion><major>1</major><minor>0</minor></specVersion><device>"
                           "<deviceType>"
                        << kDeviceType << "</deviceType><UDN>" << udn << "</UDN>" << deviceXml
                        << "</device></root>";
    gupnp_context_host_path(m_context, path.c_str(), "/description.xml");
    m_base = "http://" + host + ":" + std::to_string(gupnp_context_get_port(m_context));
    m_group = gssdp_resource_group_new(GSSDP_CLIENT(m_context));
    const std::string usn = udn + "::" + kDeviceType;
    gssdp_resource_group_add_resource_simple(m_group, kDeviceType, usn.c_str(),
                                             (m_base + "/description.xml").c_str());
    gssdp_resource_group_set_available(m_group, TRUE);
}

std::string AnnouncedDevice::ServiceListXml(const std::vector<std::string>& serviceTypes) {
    std::string xml = "<serviceList>";
    int id = 0;
    for (const std::string& type : serviceTypes) {
        const std::string n = std::to_string(++id);
        xml += "<service><serviceType>" + type +
               "</serviceType><serviceId>urn:upnp-org:serviceId:s" + n + "</serviceId><SCPDURL>/s" +
               n + ".xml</SCPDURL><controlURL>/s" + n + "/control</controlURL><eventSubURL>/s" + n +
               "/event</eventSubURL></service>";
    }
    return xml + "</serviceList>";
}

AnnouncedDevice::~AnnouncedDevice() {
    g_clear_object(&m_group);
    g_clear_object(&m_context);
}
