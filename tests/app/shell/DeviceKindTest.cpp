// Telling a Box candidate, a standard renderer and an unusable device apart
// by the service types of their descriptions.
#include "shell/DeviceKind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kTransport1 = "urn:schemas-upnp-org:service:AVTransport:1";
const std::string kRendering1 = "urn:schemas-upnp-org:service:RenderingControl:1";
const std::string kConnection1 = "urn:schemas-upnp-org:service:ConnectionManager:1";

struct KindCase {
    const char* what;
    std::vector<std::string> serviceTypes;
    DeviceKind kind;
    std::string reason;
};

} // namespace

TEST(DeviceKind, KindAndReasonOfEachDescription) {
    const KindCase cases[] = {
        {"no services: the simulated Box", {}, DeviceKind::Box, ""},
        {"neither AV service", {kConnection1}, DeviceKind::Box, ""},
        {"both, in either order",
         {kRendering1, kConnection1, kTransport1},
         DeviceKind::Renderer,
         ""},
        {"later versions",
         {"urn:schemas-upnp-org:service:AVTransport:3",
          "urn:schemas-upnp-org:service:RenderingControl:12"},
         DeviceKind::Renderer,
         ""},
        {"blanks around the types",
         {" " + kTransport1 + "\n", "\t" + kRendering1},
         DeviceKind::Renderer,
         ""},
        {"rendering only", {kConnection1, kRendering1}, DeviceKind::Unusable, kReasonNoAVTransport},
        {"transport only", {kTransport1}, DeviceKind::Unusable, kReasonNoRenderingControl},
        {"version 0 is none",
         {"urn:schemas-upnp-org:service:AVTransport:0", kRendering1},
         DeviceKind::Unusable,
         kReasonNoAVTransport},
        {"no version, a bad version or a longer name",
         {"urn:schemas-upnp-org:service:AVTransport", "urn:schemas-upnp-org:service:AVTransport:",
          "urn:schemas-upnp-org:service:AVTransport:1a",
          "urn:schemas-upnp-org:service:AVTransportX:1",
          "urn:schemas-upnp-org:service:AVTransport:-1", kRendering1},
         DeviceKind::Unusable,
         kReasonNoAVTransport},
        {"another vendor's domain or another case",
         {"urn:example-com:service:AVTransport:1", "urn:schemas-upnp-org:service:avtransport:1",
          kRendering1},
         DeviceKind::Unusable,
         kReasonNoAVTransport},
        {"a huge version number",
         {kTransport1 + std::string(300, '9'), kRendering1},
         DeviceKind::Renderer,
         ""},
        {"empty and blank types",
         {"", "   ", kTransport1},
         DeviceKind::Unusable,
         kReasonNoRenderingControl},
    };
    for (const KindCase& c : cases) {
        std::string reason = "left from before";
        EXPECT_EQ(KindOfDescription(c.serviceTypes, &reason), c.kind) << c.what;
        EXPECT_EQ(reason, c.reason) << c.what;
        EXPECT_EQ(KindOfDescription(c.serviceTypes, nullptr), c.kind) << c.what;
    }
}
