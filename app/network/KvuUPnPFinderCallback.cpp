#include "KvuUPnPFinderCallback.h"

#include "DebugPrint.h"
#include "KvuUPnPFinder.h"
#include "XmlErrorTrace.h"

KvuUPnPFinderCallback::KvuUPnPFinderCallback(KvuUPnPFinder& owner, std::string interfaceName,
                                             std::string deviceType, size_t maxDevices)
    : m_owner(owner), m_interfaceName(std::move(interfaceName)),
      m_deviceType(std::move(deviceType)), m_maxDevices(maxDevices),
      m_mainContext(g_main_context_ref_thread_default()) {}

KvuUPnPFinderCallback::~KvuUPnPFinderCallback() {
    if (m_timer != nullptr) {
        g_source_destroy(m_timer);
        g_source_unref(m_timer);
    }
    if (m_manager != nullptr) {
        g_signal_handlers_disconnect_by_data(m_manager, this);
    }
    for (auto* controlPoint : m_controlPoints) {
        g_signal_handlers_disconnect_by_data(controlPoint, this);
        gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(controlPoint), FALSE);
        g_object_unref(controlPoint);
    }
    g_clear_object(&m_manager);
    g_clear_object(&m_context);
    g_main_context_unref(m_mainContext);
}

bool KvuUPnPFinderCallback::Start() {
    // Descriptions are parsed on this thread, by GUPnP's libxml2.
    RouteXmlErrorsToTrace();
    if (m_interfaceName.empty()) {
        m_manager =
            gupnp_context_manager_create_full(GSSDP_UDA_VERSION_1_0, G_SOCKET_FAMILY_IPV4, 0);
        g_signal_connect(m_manager, "context-available", G_CALLBACK(OnContextAvailable), this);
        StartTimer(kSearchMxSeconds * 1000 + kSearchMarginMs, OnSearchWindowPassed);
        return true;
    }
    GError* error = nullptr;
    m_context = GUPNP_CONTEXT(g_initable_new(GUPNP_TYPE_CONTEXT, nullptr, &error, "interface",
                                             m_interfaceName.c_str(), "address-family",
                                             G_SOCKET_FAMILY_IPV4, nullptr));
    if (m_context == nullptr) {
        m_failure = error != nullptr ? error->message : "no UPnP context";
        DebugPrint("KvuUPnPFinderCallback::Start(): interface %s: %s\n", m_interfaceName.c_str(),
                   m_failure.c_str());
        g_clear_error(&error);
        StartTimer(0, OnStartFailed);
        return false;
    }
    Browse(m_context);
    StartTimer(kSearchMxSeconds * 1000 + kSearchMarginMs, OnSearchWindowPassed);
    return true;
}

void KvuUPnPFinderCallback::StartTimer(guint delayMs, GSourceFunc function) {
    m_timer = g_timeout_source_new(delayMs);
    g_source_set_callback(m_timer, function, this, nullptr);
    g_source_attach(m_timer, m_mainContext);
}

GUPnPControlPoint* KvuUPnPFinderCallback::Browse(GUPnPContext* context) {
    auto* controlPoint = gupnp_control_point_new(context, m_deviceType.c_str());
    g_signal_connect(controlPoint, "device-proxy-available", G_CALLBACK(OnDeviceProxyAvailable),
                     this);
    gssdp_resource_browser_set_mx(GSSDP_RESOURCE_BROWSER(controlPoint), kSearchMxSeconds);
    gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(controlPoint), TRUE);
    m_controlPoints.push_back(controlPoint);
    return controlPoint;
}

namespace {

// The description's presentationURL made absolute against its base (the
// URLBase, else the description's own address); empty without one or when it
// cannot be read as an address.
std::string presentationUrlOf(GUPnPDeviceInfo* info) {
    char* relative = gupnp_device_info_get_presentation_url(info);
    std::string url;
    const GUri* base = gupnp_device_info_get_url_base(info);
    if (relative != nullptr && *relative != '\0' && base != nullptr) {
        GUri* absolute =
            g_uri_parse_relative(const_cast<GUri*>(base), relative, G_URI_FLAGS_NONE, nullptr);
        if (absolute != nullptr) {
            char* text = g_uri_to_string(absolute);
            url = text;
            g_free(text);
            g_uri_unref(absolute);
        }
    }
    g_free(relative);
    return url;
}

// Embedded devices nest: a hostile description must not make the walk deep.
constexpr int kMaxDeviceDepth = 4;

// False once the bound is reached and more were listed (traced).
bool addServiceTypes(GUPnPDeviceInfo* info, int depth, std::vector<std::string>& types) {
    // GUPnP gives its lists last element first.
    GList* serviceTypes = g_list_reverse(gupnp_device_info_list_service_types(info));
    bool isWithinBound = true;
    for (GList* item = serviceTypes; item != nullptr && isWithinBound; item = item->next) {
        if (types.size() == UPnPDeviceDescription::kMaxServiceTypes) {
            DebugPrint("KvuUPnPFinderCallback: a description lists more than %zu services, the "
                       "rest ignored\n",
                       UPnPDeviceDescription::kMaxServiceTypes);
            isWithinBound = false;
        } else if (item->data != nullptr) {
            types.emplace_back(static_cast<const char*>(item->data));
        }
    }
    g_list_free_full(serviceTypes, g_free);
    if (!isWithinBound || depth == kMaxDeviceDepth)
        return isWithinBound;
    GList* devices = g_list_reverse(gupnp_device_info_list_devices(info));
    for (GList* item = devices; item != nullptr && isWithinBound; item = item->next)
        isWithinBound = addServiceTypes(GUPNP_DEVICE_INFO(item->data), depth + 1, types);
    g_list_free_full(devices, g_object_unref);
    return isWithinBound;
}

std::vector<std::string> serviceTypesOf(GUPnPDeviceInfo* info) {
    std::vector<std::string> types;
    addServiceTypes(info, 0, types);
    return types;
}

} // namespace

bool KvuUPnPFinderCallback::countDevice() {
    if (m_deviceCount >= m_maxDevices)
        return false;
    if (++m_deviceCount < m_maxDevices)
        return true;
    DebugPrint("KvuUPnPFinderCallback: %zu devices found, no more descriptions are fetched\n",
               m_maxDevices);
    for (auto* controlPoint : m_controlPoints)
        gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(controlPoint), FALSE);
    return true;
}

void KvuUPnPFinderCallback::OnContextAvailable(GUPnPContextManager* manager, GUPnPContext* context,
                                               gpointer self) {
    auto* callback = static_cast<KvuUPnPFinderCallback*>(self);
    auto* controlPoint = callback->Browse(context);
    if (callback->m_deviceCount >= callback->m_maxDevices)
        gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(controlPoint), FALSE);
    gupnp_context_manager_manage_control_point(manager, controlPoint);
}

// GUPnP reports a device only after its description document was fetched and
// parsed; devices whose document is missing or broken never get here.
void KvuUPnPFinderCallback::OnDeviceProxyAvailable(GUPnPControlPoint*, GUPnPDeviceProxy* proxy,
                                                   gpointer self) {
    auto* info = GUPNP_DEVICE_INFO(proxy);
    const char* location = gupnp_device_info_get_location(info);
    char* friendlyName = gupnp_device_info_get_friendly_name(info);
    const char* udn = gupnp_device_info_get_udn(info);
    const char* deviceType = gupnp_device_info_get_device_type(info);
    auto* callback = static_cast<KvuUPnPFinderCallback*>(self);
    if (location == nullptr || friendlyName == nullptr) {
        DebugPrint("KvuUPnPFinderCallback::DeviceAdded(): device %s has no %s, ignored\n",
                   udn != nullptr ? udn : "(no UDN)",
                   location == nullptr ? "location" : "friendly name");
    } else if (callback->countDevice()) {
        const UPnPDeviceDescription device{location,
                                           udn != nullptr ? udn : "",
                                           friendlyName,
                                           deviceType != nullptr ? deviceType : "",
                                           presentationUrlOf(info),
                                           serviceTypesOf(info)};
        // Nothing after this call may touch self: an observer may have ended
        // the search, which deletes this object.
        callback->m_owner.NotifyDeviceFound(device);
    }
    g_free(friendlyName);
}

gboolean KvuUPnPFinderCallback::OnSearchWindowPassed(gpointer self) {
    auto* callback = static_cast<KvuUPnPFinderCallback*>(self);
    g_source_unref(callback->m_timer);
    callback->m_timer = nullptr;
    callback->m_owner.NotifySearchCompleted();
    return G_SOURCE_REMOVE;
}

gboolean KvuUPnPFinderCallback::OnStartFailed(gpointer self) {
    auto* callback = static_cast<KvuUPnPFinderCallback*>(self);
    g_source_unref(callback->m_timer);
    callback->m_timer = nullptr;
    const std::string detail = callback->m_failure;
    callback->m_owner.NotifySearchFailed(detail);
    return G_SOURCE_REMOVE;
}
