#include "BoxAnnouncer.h"

#include "DebugPrint.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

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
    if (m_isStarted) {
        return true;
    }
    if (!WriteDescription()) {
        RemoveDescription();
        return false;
    }
    m_isStarted = m_loop.start([this] { return Announce(); }, [this] { Withdraw(); });
    if (!m_isStarted) {
        Stop();
    }
    return m_isStarted;
}

bool BoxAnnouncer::Announce() {
    m_address = g_inet_address_new_from_string(m_hostIpv4.c_str());
    if (m_address == nullptr) {
        DebugPrint("BoxAnnouncer::Start(): not an address: %s\n", m_hostIpv4.c_str());
        return false;
    }
    // The context picks its HTTP port itself and does not try another when
    // that one is taken meanwhile: a few tries, each with a fresh pick.
    constexpr int kContextTries = 3;
    for (int attempt = 0; attempt < kContextTries && m_device == nullptr; ++attempt) {
        GError* error = nullptr;
        g_clear_object(&m_context);
        m_context = gupnp_context_new_full(m_interfaceName.c_str(), m_address, 0,
                                           GSSDP_UDA_VERSION_1_0, &error);
        if (m_context != nullptr) {
            m_device = gupnp_root_device_new(m_context, kDescriptionFile, m_folder.c_str(), &error);
        }
        if (error != nullptr) {
            DebugPrint("BoxAnnouncer::Start(): %s on %s: %s\n", m_hostIpv4.c_str(),
                       m_interfaceName.c_str(), error->message);
            g_clear_error(&error);
        }
    }
    if (m_device == nullptr) {
        return false;
    }
    gupnp_root_device_set_available(m_device, TRUE);
    m_location = gupnp_device_info_get_location(GUPNP_DEVICE_INFO(m_device));
    return true;
}

void BoxAnnouncer::Withdraw() {
    if (m_device != nullptr) {
        // Says goodbye before the device goes.
        gupnp_root_device_set_available(m_device, FALSE);
    }
    g_clear_object(&m_device);
    g_clear_object(&m_context);
    g_clear_object(&m_address);
}

void BoxAnnouncer::Stop() {
    m_loop.stop();
    m_isStarted = false;
    m_location.clear();
    RemoveDescription();
}
