#pragma once

#include <optional>
#include <string>
#include <string_view>

// The firmware manifest the Box fetches first during an upgrade: an XML
// property list whose SWURL entry, a <key>SWURL</key> followed by a
// <string>, names the image.
class FirmwareManifest {
public:
    // The image URL, without surrounding white space. Nothing, with error
    // set, when the text is not well-formed XML, has no SWURL entry, or the
    // entry is not an http:// URL.
    static std::optional<std::string> imageUrl(std::string_view xml, std::string& error);
};
