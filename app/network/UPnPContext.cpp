#include "UPnPContext.h"

#include "DebugPrint.h"

namespace {
constexpr int kAttempts = 5;
} // namespace

GUPnPContext* NewListeningUPnPContext(const std::string& interfaceName, GInetAddress* address,
                                      GError** error) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        g_clear_error(error);
        GUPnPContext* context =
            gupnp_context_new_full(interfaceName.c_str(), address, 0, GSSDP_UDA_VERSION_1_0, error);
        if (context == nullptr)
            continue;
        if (gupnp_context_get_port(context) != 0)
            return context;
        DebugPrint("UPnPContext: the context on %s found no port; again\n", interfaceName.c_str());
        g_object_unref(context);
    }
    if (*error == nullptr)
        g_set_error(error, G_IO_ERROR, G_IO_ERROR_ADDRESS_IN_USE, "no free port on %s",
                    interfaceName.c_str());
    return nullptr;
}
