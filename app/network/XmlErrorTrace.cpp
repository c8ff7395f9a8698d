#include "XmlErrorTrace.h"

#include "DebugPrint.h"
#include "Escapes.h"

#include <cstdarg>
#include <cstdio>
#include <libxml/xmlerror.h>
#include <string_view>

namespace {

void trace(std::string_view message) {
    while (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);
    if (!message.empty())
        DebugPrint("libxml2: %s\n", kvu::MaskControlCharacters(message).c_str());
}

void onStructuredError(void*, xmlErrorPtr error) {
    if (error != nullptr && error->message != nullptr)
        trace(error->message);
}

// Errors outside the parser come as printf pieces.
void onGenericError(void*, const char* format, ...) {
    char buffer[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    trace(buffer);
}

} // namespace

void RouteXmlErrorsToTrace() {
    xmlSetStructuredErrorFunc(nullptr, onStructuredError);
    xmlSetGenericErrorFunc(nullptr, onGenericError);
}
