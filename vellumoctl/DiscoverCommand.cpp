#include "Commands.h"

#include "Escapes.h"
#include "network/HostFromLocation.h"
#include "network/KvuUPnPFinder.h"
#include "shell/DeviceKind.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the device is, as discover prints it.
std::string KindText(const std::vector<std::string>& serviceTypes) {
    std::string reason;
    switch (KindOfDescription(serviceTypes, &reason)) {
    case DeviceKind::Box:
        return "Box";
    case DeviceKind::Renderer:
        return "TV or speaker";
    case DeviceKind::Unusable:
        break;
    }
    return "unusable: " + reason;
}

// Prints each device as it answers and ends the loop with the search.
class DiscoverPrinter : public KvuUPnPFinderObserver {
public:
    DiscoverPrinter(GMainLoop* loop, bool isWaitingForTimeout)
        : m_loop(loop), m_isWaitingForTimeout(isWaitingForTimeout) {}

    void DeviceDescribed(const UPnPDeviceDescription& device) override {
        std::printf("%s\t%s\t%s\t%s\n",
                    kvu::MaskControlCharacters(HostFromLocation(device.location), '?').c_str(),
                    kvu::MaskControlCharacters(device.friendlyName, '?').c_str(),
                    KindText(device.serviceTypes).c_str(),
                    kvu::MaskControlCharacters(device.location, '?').c_str());
        std::fflush(stdout);
        ++m_foundCount;
    }
    void SearchCompleted() override {
        if (!m_isWaitingForTimeout) {
            g_main_loop_quit(m_loop);
        }
    }
    void SearchFailed(const std::string& detail) override {
        std::fprintf(stderr, "vellumoctl discover: search failed: %s\n", detail.c_str());
        m_hasFailed = true;
        g_main_loop_quit(m_loop);
    }

    int foundCount() const { return m_foundCount; }
    bool hasFailed() const { return m_hasFailed; }

private:
    GMainLoop* m_loop;
    bool m_isWaitingForTimeout;
    int m_foundCount = 0;
    bool m_hasFailed = false;
};

bool ParseSeconds(const char* text, unsigned* seconds) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value == 0 || value > 3600 || text[0] == '-') {
        return false;
    }
    *seconds = static_cast<unsigned>(value);
    return true;
}

} // namespace

int RunDiscover(int argc, char** argv) {
    std::string interfaceName;
    unsigned timeoutSeconds = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--iface") == 0 && i + 1 < argc) {
            interfaceName = argv[++i];
        } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc &&
                   ParseSeconds(argv[i + 1], &timeoutSeconds)) {
            ++i;
        } else {
            std::fprintf(stderr, "usage: vellumoctl discover [--iface IF] [--timeout S]\n");
            return kExitUsage;
        }
    }

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    DiscoverPrinter printer(loop, timeoutSeconds != 0);
    int exitCode = kExitFailure;
    {
        KvuUPnPFinder finder(interfaceName);
        finder.AddObserver(&printer);
        guint timer = 0;
        if (timeoutSeconds != 0) {
            timer = g_timeout_add_seconds(
                timeoutSeconds,
                [](gpointer data) {
                    g_main_loop_quit(static_cast<GMainLoop*>(data));
                    return G_SOURCE_REMOVE;
                },
                loop);
        }
        finder.StartSearch();
        g_main_loop_run(loop);
        if (timer != 0 && g_main_context_find_source_by_id(nullptr, timer) != nullptr) {
            g_source_remove(timer);
        }
        if (printer.foundCount() > 0) {
            exitCode = kExitOk;
        } else if (!printer.hasFailed()) {
            std::fprintf(stderr, "vellumoctl discover: no device found\n");
        }
    }
    g_main_loop_unref(loop);
    return exitCode;
}
