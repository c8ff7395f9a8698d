#pragma once

#include <string>
#include <vector>

// What a device that answered the search is to us, told from the service
// types its description lists (the root device's and its embedded ones').
//
// A Box is proven only by its command port taking both connections of a
// link; the simulated Box lists no services, so a description without AV
// services stays a Box candidate until that check, made when it is chosen.
// A description offering AVTransport and RenderingControl (any version from
// 1) is a standard renderer's, unless its command port answers after all.
enum class DeviceKind { Box, Renderer, Unusable };

// The reasons KindOfDescription gives, and the one for a Box candidate whose
// command port does not answer. The list window shows each in the user's
// language; another reason shows as it is.
inline constexpr const char* kReasonNoAVTransport = "offers no AVTransport service";
inline constexpr const char* kReasonNoRenderingControl = "offers no RenderingControl service";
inline constexpr const char* kReasonNoCommandPort = "no command port and no AV services";

inline constexpr const char* kAVTransportType = "urn:schemas-upnp-org:service:AVTransport";
inline constexpr const char* kRenderingControlType =
    "urn:schemas-upnp-org:service:RenderingControl";

// Whether serviceType is base (e.g. kAVTransportType) followed by ":" and a
// version from 1, blanks around it ignored.
bool IsServiceOfType(const std::string& serviceType, const std::string& base);

// Box without AV services, Renderer with both AV services, else Unusable
// with the missing one in *reason (cleared otherwise; reason may be null).
DeviceKind KindOfDescription(const std::vector<std::string>& serviceTypes, std::string* reason);

// "Box", "Renderer" or "Unusable", for traces.
const char* DeviceKindName(DeviceKind kind);
