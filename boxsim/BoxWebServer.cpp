#include "BoxWebServer.h"

#include "DebugPrint.h"

#include <cstring>
#include <memory>

namespace {

std::string escapeHtml(const std::string& text) {
    const std::unique_ptr<char, void (*)(gpointer)> escaped(g_markup_escape_text(text.c_str(), -1),
                                                            g_free);
    return escaped.get();
}

std::string setupPage(const BoxOptions& options) {
    const std::string name = escapeHtml(options.friendlyName);
    return "<!DOCTYPE html>\n"
           "<html><head><meta charset=\"utf-8\"><title>" +
           name +
           " Setup</title></head>\n"
           "<body>\n<h1>" +
           name +
           " Setup</h1>\n"
           "<form>\n"
           "<p><label>Box name <input name=\"name\" value=\"" +
           name +
           "\"></label></p>\n"
           "<p><label>Screen saver <select name=\"saver\">"
           "<option>Off</option><option selected>5 minutes</option>"
           "<option>15 minutes</option></select></label></p>\n"
           "<p><label>Output <select name=\"output\">"
           "<option selected>1080p</option><option>720p</option></select></label></p>\n"
           "</form>\n</body></html>\n";
}

bool isSetupPath(const char* path) {
    return std::strcmp(path, "/remote/") == 0 || std::strcmp(path, "/remote") == 0;
}

} // namespace

BoxWebServer::BoxWebServer(const BoxOptions& options, EventLog& log)
    : m_options(options), m_log(log), m_page(setupPage(options)) {}

BoxWebServer::~BoxWebServer() {
    stop();
}

bool BoxWebServer::start(std::string& error) {
    if (m_loop.start([this] { return listen(); }, [this] { close(); }))
        return true;
    error = m_error;
    return false;
}

void BoxWebServer::stop() {
    m_loop.stop();
}

bool BoxWebServer::listen() {
    m_server = soup_server_new("server-header", "vellumo-boxsim", nullptr);
    soup_server_add_handler(m_server, nullptr, &BoxWebServer::onRequest, this, nullptr);
    GSocketAddress* address =
        g_inet_socket_address_new_from_string(m_options.address.c_str(), m_options.httpPort);
    GError* gerror = nullptr;
    const bool isListening =
        address != nullptr &&
        soup_server_listen(m_server, address, static_cast<SoupServerListenOptions>(0), &gerror) !=
            FALSE;
    g_clear_object(&address);
    if (!isListening) {
        m_error = "cannot serve the setup page on " + m_options.address + ":" +
                  std::to_string(m_options.httpPort) + ": " +
                  (gerror != nullptr ? gerror->message : "bad address");
        g_clear_error(&gerror);
        DebugPrint("BoxWebServer: %s\n", m_error.c_str());
        return false;
    }
    GSList* listeners = soup_server_get_listeners(m_server);
    if (listeners != nullptr) {
        GSocketAddress* local = g_socket_get_local_address(G_SOCKET(listeners->data), nullptr);
        if (local != nullptr)
            m_port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(local));
        g_clear_object(&local);
    }
    g_slist_free(listeners);
    m_log.write(
        JsonLine("web-ready").add("address", m_options.address).add("port", int64_t{m_port}));
    return true;
}

void BoxWebServer::close() {
    if (m_server == nullptr)
        return;
    soup_server_disconnect(m_server);
    g_clear_object(&m_server);
}

void BoxWebServer::onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                             gpointer self) {
    static_cast<BoxWebServer*>(self)->answer(message, path);
}

void BoxWebServer::answer(SoupServerMessage* message, const char* path) {
    const char* method = soup_server_message_get_method(message);
    const char* query = g_uri_get_query(soup_server_message_get_uri(message));
    guint status = SOUP_STATUS_NOT_FOUND;
    if (!isSetupPath(path)) {
        soup_server_message_set_status(message, status, nullptr);
    } else if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0) {
        status = SOUP_STATUS_METHOD_NOT_ALLOWED;
        soup_server_message_set_status(message, status, nullptr);
        soup_message_headers_append(soup_server_message_get_response_headers(message), "Allow",
                                    "GET, HEAD");
    } else {
        status = SOUP_STATUS_OK;
        soup_server_message_set_status(message, status, nullptr);
        soup_server_message_set_response(message, "text/html; charset=utf-8", SOUP_MEMORY_COPY,
                                         m_page.data(), m_page.size());
    }
    m_log.write(JsonLine("http")
                    .add("method", method)
                    .add("path", path)
                    .add("query", query != nullptr ? query : "")
                    .add("status", static_cast<int64_t>(status)));
}
