#pragma once

#include "RendererTypes.h"

#include <libxml/tree.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parts of a UPnP AV renderer's description, service descriptions and
// events that the control point reads. Plain libxml2, no network: whatever
// the renderer sent is only text here.

// One service of the renderer's description, its URLs made absolute.
struct AvServiceLinks {
    std::string serviceType;
    std::string controlUrl;
    std::string eventUrl;       // empty when the description gives none
    std::string scpdUrl;        // empty when the description gives none
    xmlNode* element = nullptr; // the <service> element, inside the parsed document
};

struct AvDeviceDescription {
    std::string friendlyName;
    std::string udn;
    std::string baseUrl; // URLBase, else the location
    AvServiceLinks avTransport;
    AvServiceLinks renderingControl;
    AvServiceLinks connectionManager;
};

enum class AvDescriptionError {
    None,
    Malformed,     // no XML, or no device in it
    NoAvTransport, // the service, or its control URL, is missing
    NoRenderingControl,
    NoConnectionManager,
};

// Parses a description fetched from location. On success the document is
// kept in *document (the caller frees it with xmlFreeDoc) since the service
// elements point into it. Searches the root device and its embedded devices
// for a MediaRenderer offering the three services (any version).
AvDescriptionError ParseAvDescription(std::string_view text, const std::string& location,
                                      AvDeviceDescription* description, xmlDoc** document);

// A relative reference made absolute against base; empty when either is no
// usable http URL.
std::string ResolveUrl(const std::string& base, const std::string& reference);

// What a service description tells: its actions and the Volume range.
struct AvServiceDescription {
    std::vector<std::string> actions;
    int volumeMin = 0;
    int volumeMax = 100;
    bool HasAction(std::string_view name) const;
};
std::optional<AvServiceDescription> ParseServiceDescription(std::string_view text);

// UPnP AV times: "H+:MM:SS[.F+]" (and "H+:MM:SS.F0/F1") to milliseconds; -1
// for "NOT_IMPLEMENTED", empty or anything unreadable.
std::int64_t ParseAvTime(std::string_view text);
// Milliseconds as "H:MM:SS.mmm" (negative taken as 0).
std::string FormatAvDuration(std::int64_t ms);
// Milliseconds as "H:MM:SS", whole seconds, for Seek targets: the form every
// renderer reads.
std::string FormatAvSeekTarget(std::int64_t ms);

// A TransportState value; nothing for values outside the UPnP AV set.
std::optional<RendererTransport::State> ParseTransportState(std::string_view text);

// GetProtocolInfo's comma separated list, entries trimmed, empty ones dropped.
std::vector<std::string> SplitProtocolList(std::string_view list);
// Whether a sink entry accepts the MIME type over HTTP: protocol "http-get"
// or "*", and a MIME field that equals it (case-insensitive), is "*", or is
// "type/*" of its type.
bool SinkAccepts(std::string_view sink, std::string_view mimeType);
// The protocolInfo of a file the media server sends with byte seeking.
std::string ProtocolInfoForMedia(const RendererMedia& media);
// The DIDL-Lite item describing the media for SetAVTransportURI.
std::string DidlForMedia(const RendererMedia& media, const std::string& protocolInfo);

// RenderingControl's LastChange: the Master channel's Volume and Mute of
// instance 0, where present. False when the text is no readable event.
struct RenderingChange {
    std::optional<int> volume;
    std::optional<bool> isMuted;
};
bool ParseRenderingLastChange(std::string_view text, RenderingChange* change);
