#include "BoxAnnouncer.h"

#include "DebugPrint.h"

#include <libgupnp/gupnp.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>

namespace {

constexpr const char* kDescriptionFile = "description.xml";

std::string EscapeXml(const std::string& text) {
    char* escaped = g_markup_escape_text(text.c_str(), -1);
    std::string result(escaped);
    g_free(escaped);
    return result;
}

} // namespace

BoxAnnouncer::BoxAnnouncer(std::string interfaceName, std::string friendlyName,
                           std::string hostIpv4)
    : m_interfaceName(std::move(interfaceName)), m_friendlyName(std::move(friendlyName)),
      m_hostIpv4(std::move(hostIpv4)) {}

BoxAnnouncer::~BoxAnnouncer() {
    Stop();
}

bool BoxAnnouncer::WriteDescription() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vellumo-box-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        DebugPrint("BoxAnnouncer::Start(): mkdtemp failed: %d\n", errno);
        return false;
    }
    m_folder = pattern;
    char* uuid = g_uuid_string_random();
    std::ofstream out(m_folder + "/" + kDescriptionFile);
    out << "<?xml version=\"1.0\"?>\n"
           "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
           "<specVersion><major>1</major><minor>0</minor></specVersion>\n"
           "<device>\n"
           "<deviceType>urn:schemas-upnp-org:device:MediaRenderer:1</deviceType>\n"
           "<friendlyName>"
        << EscapeXml(m_friendlyName)
        << "</friendlyName>\n"
           "<manufacturer>Vellumo</manufacturer>\n"
           "<modelName>vellumo-boxsim</modelName>\n"
           "<UDN>uuid:"
        << uuid << "</UDN>\n</device>\n</root>\n";
    g_free(uuid);
    out.close();
    if (!out) {
        DebugPrint("BoxAnnouncer::Start(): cannot write the description in %s\n", m_folder.c_str());
        return false;
    }
    return true;
}

void BoxAnnouncer::RemoveDescription() {
    if (m_folder.empty()) {
        return;
    }
    std::remove((m_folder + "/" + kDescriptionFile).c_str());
    rmdir(m_folder.c_str());
    m_folder.clear();
}

bool BoxAnnouncer::Start() {
    if (m_thread.joinable()) {
        return true;
    }
    if (!WriteDescription()) {
        RemoveDescription();
        return false;
    }
    m_mainContext = g_main_context_new();
    m_mainLoop = g_main_loop_new(m_mainContext, FALSE);
    std::promise<bool> started;
    auto isStarted = started.get_future();
    // The thread owns the promise: it may still be inside set_value when
    // Start has returned.
    m_thread = std::thread([this, started = std::move(started)]() mutable {
        pthread_setname_np(pthread_self(), "box-announcer");
        Run(started);
    });
    if (isStarted.get()) {
        return true;
    }
    Stop();
    return false;
}

// The GUPnP objects are created, used and destroyed on this thread, with the
// announcer's own main context as the thread default.
void BoxAnnouncer::Run(std::promise<bool>& started) {
    g_main_context_push_thread_default(m_mainContext);
    GError* error = nullptr;
    GInetAddress* address = g_inet_address_new_from_string(m_hostIpv4.c_str());
    GUPnPContext* context = nullptr;
    GUPnPRootDevice* device = nullptr;
    if (address == nullptr) {
        DebugPrint("BoxAnnouncer::Start(): not an address: %s\n", m_hostIpv4.c_str());
    } else {
        context = gupnp_context_new_full(m_interfaceName.c_str(), address, 0, GSSDP_UDA_VERSION_1_0,
                                         &error);
    }
    if (context != nullptr) {
        device = gupnp_root_device_new(context, kDescriptionFile, m_folder.c_str(), &error);
    }
    if (error != nullptr) {
        DebugPrint("BoxAnnouncer::Start(): %s on %s: %s\n", m_hostIpv4.c_str(),
                   m_interfaceName.c_str(), error->message);
        g_clear_error(&error);
    }
    if (device != nullptr) {
        gupnp_root_device_set_available(device, TRUE);
        m_location = gupnp_device_info_get_location(GUPNP_DEVICE_INFO(device));
        started.set_value(true);
        g_main_loop_run(m_mainLoop);
        // Says goodbye before the device goes.
        gupnp_root_device_set_available(device, FALSE);
        g_object_unref(device);
    } else {
        started.set_value(false);
    }
    g_clear_object(&context);
    g_clear_object(&address);
    g_main_context_pop_thread_default(m_mainContext);
}

void BoxAnnouncer::Stop() {
    if (m_thread.joinable()) {
        // Quit from inside the loop: a quit that came before the loop began
        // running would be lost.
        g_main_context_invoke(
            m_mainContext,
            [](gpointer loop) {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            },
            m_mainLoop);
        m_thread.join();
    }
    if (m_mainLoop != nullptr) {
        g_main_loop_unref(m_mainLoop);
        m_mainLoop = nullptr;
    }
    if (m_mainContext != nullptr) {
        g_main_context_unref(m_mainContext);
        m_mainContext = nullptr;
    }
    m_location.clear();
    RemoveDescription();
}
