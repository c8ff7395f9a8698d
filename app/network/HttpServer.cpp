#include "HttpServer.h"

#include "DebugPrint.h"
#include "HttpServerObserver.h"
#include "net/CSocketServer.h"

namespace {

// Served names come from the caller, yet a name that could leave the root
// directory must never be served.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

} // namespace

HttpServer::HttpServer() = default;

HttpServer::HttpServer(const Settings& settings) : m_settings(settings) {}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Start(const std::string& rootDirectory,
                       const std::vector<std::string>& servedNames) {
    Stop();
    for (const std::string& name : servedNames) {
        if (!isPlainFileName(name)) {
            DebugPrint("HttpServer::Start(): Not a plain file name: \"%s\"\n", name.c_str());
            return false;
        }
    }
    std::string root = rootDirectory;
    if (root.empty() || root.back() != '/')
        root += '/';

    m_server = std::make_unique<kvu::net::CSocketServer>(m_settings.port, m_settings.address);
    m_responder = std::make_unique<HttpServerObserver>(std::move(root), servedNames, m_settings);
    m_server->SetObserver(m_responder.get());
    return m_server->Start();
}

bool HttpServer::Stop() {
    // Abort first: the server's Stop waits for its worker, which may wait in
    // the responder for a connection thread to come free.
    if (m_responder)
        m_responder->Abort();
    if (m_server) {
        m_server->SetObserver(nullptr);
        m_server->Stop();
        m_server.reset();
    }
    // Joins the connection threads.
    m_responder.reset();
    return true;
}

void HttpServer::SetStatusObserver(HttpStatusObserver* observer) {
    if (m_responder)
        m_responder->SetStatusObserver(observer);
}

std::uint16_t HttpServer::BoundPort() const {
    return m_server ? m_server->BoundPort() : 0;
}
