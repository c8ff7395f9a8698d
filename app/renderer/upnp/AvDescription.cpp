#include "AvDescription.h"

#include "DebugPrint.h"

#include <glib.h>
#include <libgupnp-av/gupnp-av.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

bool IsNamed(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

const xmlNode* Child(const xmlNode* parent, const char* name) {
    if (parent == nullptr)
        return nullptr;
    for (const xmlNode* node = parent->children; node != nullptr; node = node->next)
        if (IsNamed(node, name))
            return node;
    return nullptr;
}

std::string Trimmed(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string Content(const xmlNode* node) {
    if (node == nullptr)
        return {};
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content != nullptr ? Trimmed(reinterpret_cast<const char*>(content)) : "";
    xmlFree(content);
    return text;
}

std::string ChildText(const xmlNode* parent, const char* name) {
    return Content(Child(parent, name));
}

std::string Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Network input: no entities, no network, no DTD.
constexpr int kParseOptions = XML_PARSE_NONET;

xmlDoc* ParseXml(std::string_view text, const char* what) {
    if (text.size() > static_cast<size_t>(INT32_MAX))
        return nullptr;
    xmlDoc* document =
        xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kParseOptions);
    if (document == nullptr)
        DebugPrint("AvRenderer: the %s is no readable XML (%zu bytes)\n", what, text.size());
    return document;
}

// A service of the device whose type starts with the prefix, any version.
bool FindService(const xmlNode* device, const std::string& baseUrl, std::string_view typePrefix,
                 AvServiceLinks* links) {
    for (const xmlNode* service = Child(Child(device, "serviceList"), "service");
         service != nullptr; service = service->next) {
        if (!IsNamed(service, "service"))
            continue;
        std::string type = ChildText(service, "serviceType");
        if (!StartsWith(type, typePrefix))
            continue;
        std::string control = ChildText(service, "controlURL");
        if (control.empty()) {
            DebugPrint("AvRenderer: %s has no control URL\n", type.c_str());
            return false;
        }
        links->serviceType = type;
        links->controlUrl = ResolveUrl(baseUrl, control);
        if (links->controlUrl.empty()) {
            DebugPrint("AvRenderer: %s has an unusable control URL\n", type.c_str());
            return false;
        }
        std::string event = ChildText(service, "eventSubURL");
        links->eventUrl = event.empty() ? "" : ResolveUrl(baseUrl, event);
        std::string scpd = ChildText(service, "SCPDURL");
        links->scpdUrl = scpd.empty() ? "" : ResolveUrl(baseUrl, scpd);
        links->element = const_cast<xmlNode*>(service);
        return true;
    }
    return false;
}

// The first MediaRenderer device, depth first, bounded against hostile nesting.
const xmlNode* FindRenderer(const xmlNode* device, int depth) {
    if (device == nullptr || depth > 8)
        return nullptr;
    if (StartsWith(ChildText(device, "deviceType"), "urn:schemas-upnp-org:device:MediaRenderer:"))
        return device;
    for (const xmlNode* child = Child(Child(device, "deviceList"), "device"); child != nullptr;
         child = child->next)
        if (IsNamed(child, "device"))
            if (const xmlNode* found = FindRenderer(child, depth + 1))
                return found;
    return nullptr;
}

} // namespace

const char* RendererStateName(RendererTransport::State state) {
    switch (state) {
    case RendererTransport::State::NoMedia:
        return "NO_MEDIA_PRESENT";
    case RendererTransport::State::Stopped:
        return "STOPPED";
    case RendererTransport::State::Playing:
        return "PLAYING";
    case RendererTransport::State::Paused:
        return "PAUSED_PLAYBACK";
    case RendererTransport::State::Transitioning:
        return "TRANSITIONING";
    }
    return "?";
}

std::string ResolveUrl(const std::string& base, const std::string& reference) {
    GError* error = nullptr;
    char* resolved =
        g_uri_resolve_relative(base.c_str(), reference.c_str(), G_URI_FLAGS_NONE, &error);
    if (resolved == nullptr) {
        g_clear_error(&error);
        return {};
    }
    std::string url = resolved;
    g_free(resolved);
    if (!StartsWith(url, "http://") && !StartsWith(url, "https://"))
        return {};
    return url;
}

AvDescriptionError ParseAvDescription(std::string_view text, const std::string& location,
                                      AvDeviceDescription* description, xmlDoc** document) {
    *document = nullptr;
    xmlDoc* doc = ParseXml(text, "description");
    if (doc == nullptr)
        return AvDescriptionError::Malformed;
    const xmlNode* root = xmlDocGetRootElement(doc);
    const xmlNode* top = IsNamed(root, "root") ? Child(root, "device") : nullptr;
    if (top == nullptr) {
        DebugPrint("AvRenderer: the description has no root device\n");
        xmlFreeDoc(doc);
        return AvDescriptionError::Malformed;
    }
    const xmlNode* device = FindRenderer(top, 0);
    if (device == nullptr) {
        DebugPrint("AvRenderer: the description has no MediaRenderer; using its root device\n");
        device = top;
    }
    AvDeviceDescription parsed;
    std::string urlBase = ChildText(root, "URLBase");
    parsed.baseUrl = urlBase.empty() ? location : ResolveUrl(location, urlBase);
    if (parsed.baseUrl.empty())
        parsed.baseUrl = location;
    parsed.friendlyName = ChildText(device, "friendlyName");
    parsed.udn = ChildText(device, "UDN");
    AvDescriptionError result = AvDescriptionError::None;
    if (!FindService(device, parsed.baseUrl,
                     "urn:schemas-upnp-org:service:AVTransport:", &parsed.avTransport))
        result = AvDescriptionError::NoAvTransport;
    else if (!FindService(device, parsed.baseUrl, "urn:schemas-upnp-org:service:RenderingControl:",
                          &parsed.renderingControl))
        result = AvDescriptionError::NoRenderingControl;
    else if (!FindService(device, parsed.baseUrl, "urn:schemas-upnp-org:service:ConnectionManager:",
                          &parsed.connectionManager))
        result = AvDescriptionError::NoConnectionManager;
    if (result != AvDescriptionError::None) {
        xmlFreeDoc(doc);
        return result;
    }
    *description = std::move(parsed);
    *document = doc;
    return AvDescriptionError::None;
}

bool AvServiceDescription::HasAction(std::string_view name) const {
    return std::find(actions.begin(), actions.end(), name) != actions.end();
}

std::optional<AvServiceDescription> ParseServiceDescription(std::string_view text) {
    xmlDoc* doc = ParseXml(text, "service description");
    if (doc == nullptr)
        return std::nullopt;
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!IsNamed(root, "scpd")) {
        DebugPrint("AvRenderer: the service description has no scpd element\n");
        xmlFreeDoc(doc);
        return std::nullopt;
    }
    AvServiceDescription result;
    for (const xmlNode* action = Child(Child(root, "actionList"), "action"); action != nullptr;
         action = action->next)
        if (IsNamed(action, "action"))
            result.actions.push_back(ChildText(action, "name"));
    for (const xmlNode* variable = Child(Child(root, "serviceStateTable"), "stateVariable");
         variable != nullptr; variable = variable->next) {
        if (!IsNamed(variable, "stateVariable") || ChildText(variable, "name") != "Volume")
            continue;
        const xmlNode* range = Child(variable, "allowedValueRange");
        std::string minimum = ChildText(range, "minimum");
        std::string maximum = ChildText(range, "maximum");
        char* end = nullptr;
        long low = minimum.empty() ? 0 : std::strtol(minimum.c_str(), &end, 10);
        bool isLowRead = minimum.empty() || (end != nullptr && *end == '\0');
        long high = maximum.empty() ? 100 : std::strtol(maximum.c_str(), &end, 10);
        bool isHighRead = maximum.empty() || (end != nullptr && *end == '\0');
        if (isLowRead && isHighRead && low >= 0 && high > low && high <= 65535) {
            result.volumeMin = static_cast<int>(low);
            result.volumeMax = static_cast<int>(high);
        } else {
            DebugPrint("AvRenderer: unusable Volume range '%s'..'%s'; taking 0..100\n",
                       minimum.c_str(), maximum.c_str());
        }
    }
    xmlFreeDoc(doc);
    return result;
}

std::int64_t ParseAvTime(std::string_view text) {
    std::string value = Trimmed(text);
    if (value.empty() || value.size() > 32)
        return -1;
    size_t at = 0;
    bool isNegative = false;
    if (value[0] == '+' || value[0] == '-') {
        isNegative = value[0] == '-';
        at = 1;
    }
    std::int64_t parts[3] = {0, 0, 0};
    for (int part = 0; part < 3; ++part) {
        size_t begin = at;
        while (at < value.size() && std::isdigit(static_cast<unsigned char>(value[at])) &&
               at - begin < 10)
            parts[part] = parts[part] * 10 + (value[at++] - '0');
        if (at == begin)
            return -1;
        if (part < 2) {
            if (at >= value.size() || value[at] != ':')
                return -1;
            ++at;
        }
    }
    if (parts[1] > 59 || parts[2] > 59 || isNegative)
        return -1;
    std::int64_t ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000;
    if (at < value.size()) {
        if (value[at] != '.')
            return -1;
        ++at;
        size_t begin = at;
        std::int64_t numerator = 0;
        while (at < value.size() && std::isdigit(static_cast<unsigned char>(value[at])) &&
               at - begin < 9)
            numerator = numerator * 10 + (value[at++] - '0');
        if (at == begin)
            return -1;
        std::int64_t denominator = 1;
        if (at < value.size() && value[at] == '/') {
            ++at;
            size_t start = at;
            denominator = 0;
            while (at < value.size() && std::isdigit(static_cast<unsigned char>(value[at])) &&
                   at - start < 9)
                denominator = denominator * 10 + (value[at++] - '0');
            if (denominator == 0 || numerator >= denominator)
                return -1;
            ms += numerator * 1000 / denominator;
        } else {
            std::int64_t scale = 1;
            for (size_t digits = at - begin; digits > 0; --digits)
                scale *= 10;
            ms += numerator * 1000 / scale;
        }
        if (at != value.size())
            return -1;
    }
    return ms;
}

std::string FormatAvDuration(std::int64_t ms) {
    ms = std::max<std::int64_t>(ms, 0);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string FormatAvSeekTarget(std::int64_t ms) {
    std::string text = FormatAvDuration(ms);
    return text.substr(0, text.size() - 4);
}

std::optional<RendererTransport::State> ParseTransportState(std::string_view text) {
    std::string value = Trimmed(text);
    if (value == "PLAYING")
        return RendererTransport::State::Playing;
    if (value == "PAUSED_PLAYBACK" || value == "PAUSED_RECORDING")
        return RendererTransport::State::Paused;
    if (value == "STOPPED")
        return RendererTransport::State::Stopped;
    if (value == "TRANSITIONING" || value == "RECORDING")
        return RendererTransport::State::Transitioning;
    if (value == "NO_MEDIA_PRESENT")
        return RendererTransport::State::NoMedia;
    return std::nullopt;
}

std::vector<std::string> SplitProtocolList(std::string_view list) {
    std::vector<std::string> entries;
    size_t begin = 0;
    while (begin <= list.size()) {
        size_t end = list.find(',', begin);
        if (end == std::string_view::npos)
            end = list.size();
        std::string entry = Trimmed(list.substr(begin, end - begin));
        if (!entry.empty())
            entries.push_back(std::move(entry));
        begin = end + 1;
    }
    return entries;
}

bool SinkAccepts(std::string_view sink, std::string_view mimeType) {
    size_t first = sink.find(':');
    size_t second = first == std::string_view::npos ? first : sink.find(':', first + 1);
    if (second == std::string_view::npos)
        return false;
    size_t third = sink.find(':', second + 1);
    std::string_view protocol = sink.substr(0, first);
    std::string_view mime = sink.substr(
        second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1);
    if (protocol != "http-get" && protocol != "*")
        return false;
    if (mime == "*" || EqualsNoCase(mime, mimeType))
        return true;
    size_t slash = mime.find('/');
    return slash != std::string_view::npos && mime.substr(slash) == "/*" &&
           mimeType.size() > slash && mimeType[slash] == '/' &&
           EqualsNoCase(mime.substr(0, slash), mimeType.substr(0, slash));
}

std::string ProtocolInfoForMedia(const RendererMedia& media) {
    // Byte seeking (OP=01), not converted; streaming for music and video,
    // interactive for photos; background transfer and DLNA 1.5 for all.
    const char* flags = media.kind == RendererMedia::Kind::Photo
                            ? "00900000000000000000000000000000"
                            : "01500000000000000000000000000000";
    return "http-get:*:" + media.mimeType + ":DLNA.ORG_OP=01;DLNA.ORG_CI=0;DLNA.ORG_FLAGS=" + flags;
}

std::string DidlForMedia(const RendererMedia& media, const std::string& protocolInfo) {
    GUPnPDIDLLiteWriter* writer = gupnp_didl_lite_writer_new(nullptr);
    GUPnPDIDLLiteItem* item = gupnp_didl_lite_writer_add_item(writer);
    GUPnPDIDLLiteObject* object = GUPNP_DIDL_LITE_OBJECT(item);
    gupnp_didl_lite_object_set_id(object, "vellumo-0");
    gupnp_didl_lite_object_set_parent_id(object, "-1");
    gupnp_didl_lite_object_set_restricted(object, TRUE);
    gupnp_didl_lite_object_set_title(object, media.title.c_str());
    const char* upnpClass = media.kind == RendererMedia::Kind::Photo ? "object.item.imageItem.photo"
                            : media.kind == RendererMedia::Kind::Video
                                ? "object.item.videoItem"
                                : "object.item.audioItem.musicTrack";
    gupnp_didl_lite_object_set_upnp_class(object, upnpClass);
    GUPnPDIDLLiteResource* resource = gupnp_didl_lite_object_add_resource(object);
    gupnp_didl_lite_resource_set_uri(resource, media.uri.c_str());
    if (media.sizeBytes >= 0)
        gupnp_didl_lite_resource_set_size64(resource, media.sizeBytes);
    // Written as given: the library's own protocolInfo form drops the DLNA
    // flags field.
    xmlSetProp(gupnp_didl_lite_resource_get_xml_node(resource),
               reinterpret_cast<const xmlChar*>("protocolInfo"),
               reinterpret_cast<const xmlChar*>(protocolInfo.c_str()));
    std::string didl;
    if (media.durationMs >= 0) {
        // The writer's own duration field counts whole seconds; the AV form
        // with milliseconds goes in as the attribute itself.
        xmlNode* node = gupnp_didl_lite_resource_get_xml_node(resource);
        xmlSetProp(node, reinterpret_cast<const xmlChar*>("duration"),
                   reinterpret_cast<const xmlChar*>(FormatAvDuration(media.durationMs).c_str()));
    }
    char* text = gupnp_didl_lite_writer_get_string(writer);
    didl = text != nullptr ? text : "";
    g_free(text);
    g_object_unref(resource);
    g_object_unref(item);
    g_object_unref(writer);
    return didl;
}

bool ParseRenderingLastChange(std::string_view text, RenderingChange* change) {
    xmlDoc* doc = ParseXml(text, "RenderingControl LastChange");
    if (doc == nullptr)
        return false;
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!IsNamed(root, "Event")) {
        DebugPrint("AvRenderer: RenderingControl LastChange has no Event element\n");
        xmlFreeDoc(doc);
        return false;
    }
    for (const xmlNode* instance = root->children; instance != nullptr; instance = instance->next) {
        if (!IsNamed(instance, "InstanceID") || Attribute(instance, "val") != "0")
            continue;
        for (const xmlNode* node = instance->children; node != nullptr; node = node->next) {
            bool isVolume = IsNamed(node, "Volume");
            if (!isVolume && !IsNamed(node, "Mute"))
                continue;
            std::string channel = Attribute(node, "channel");
            if (!channel.empty() && channel != "Master")
                continue;
            std::string value = Trimmed(Attribute(node, "val"));
            char* end = nullptr;
            long number = std::strtol(value.c_str(), &end, 10);
            if (isVolume) {
                if (!value.empty() && *end == '\0' && number >= 0 && number <= 65535)
                    change->volume = static_cast<int>(number);
                else
                    DebugPrint("AvRenderer: unreadable Volume '%s' in LastChange\n",
                               value.substr(0, 40).c_str());
            } else if (value == "1" || value == "true" || value == "TRUE") {
                change->isMuted = true;
            } else if (value == "0" || value == "false" || value == "FALSE") {
                change->isMuted = false;
            } else {
                DebugPrint("AvRenderer: unreadable Mute '%s' in LastChange\n",
                           value.substr(0, 40).c_str());
            }
        }
    }
    xmlFreeDoc(doc);
    return true;
}
