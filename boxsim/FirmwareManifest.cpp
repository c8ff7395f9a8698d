#include "FirmwareManifest.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <cstring>
#include <memory>

namespace {

bool isElement(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::string trimmedContent(const xmlNode* node) {
    const std::unique_ptr<xmlChar, void (*)(void*)> content(xmlNodeGetContent(node), xmlFree);
    std::string text = content ? reinterpret_cast<const char*>(content.get()) : "";
    const char* kSpace = " \t\r\n";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// The first <key>SWURL</key> in document order.
const xmlNode* findSwUrlKey(const xmlNode* node) {
    for (; node != nullptr; node = node->next) {
        if (isElement(node, "key") && trimmedContent(node) == "SWURL")
            return node;
        if (const xmlNode* found = findSwUrlKey(node->children))
            return found;
    }
    return nullptr;
}

} // namespace

std::optional<std::string> FirmwareManifest::imageUrl(std::string_view xml, std::string& error) {
    if (xml.size() > INT_MAX) {
        error = "manifest too large";
        return std::nullopt;
    }
    // No network, no entity substitution, no messages on standard error.
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "manifest.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        &xmlFreeDoc);
    if (!doc) {
        error = "manifest is not well-formed XML";
        return std::nullopt;
    }
    const xmlNode* key = findSwUrlKey(xmlDocGetRootElement(doc.get()));
    const xmlNode* value =
        key != nullptr ? xmlNextElementSibling(const_cast<xmlNode*>(key)) : nullptr;
    if (!isElement(value, "string")) {
        error = "manifest has no SWURL entry";
        return std::nullopt;
    }
    std::string url = trimmedContent(value);
    if (url.rfind("http://", 0) != 0) {
        error = "SWURL \"" + url + "\" is not an http:// URL";
        return std::nullopt;
    }
    return url;
}
