#pragma once

#include "BoxOptions.h"
#include "EventLog.h"
#include "GLibLoopThread.h"

#include <libsoup/soup.h>

#include <cstdint>
#include <string>

// The Box's own web server: its setup page under /remote/ on the Box's
// address, everything else 404. Every request is logged with its path and
// query, so that tests can count the "?tavoli=in" and "?tavoli=out" visits.
// Served by libsoup on a GLib loop of its own.
class BoxWebServer {
public:
    BoxWebServer(const BoxOptions& options, EventLog& log);
    ~BoxWebServer();
    BoxWebServer(const BoxWebServer&) = delete;
    BoxWebServer& operator=(const BoxWebServer&) = delete;

    // Listens on the Box's address and --http-port; false with error set
    // when that fails.
    bool start(std::string& error);
    void stop();
    // The port listened on (the chosen one for --http-port 0).
    uint16_t port() const { return m_port; }

private:
    // On the loop's thread.
    bool listen();
    void close();
    static void onRequest(SoupServer* server, SoupServerMessage* message, const char* path,
                          GHashTable* query, gpointer self);
    void answer(SoupServerMessage* message, const char* path);

    const BoxOptions& m_options;
    EventLog& m_log;
    const std::string m_page;
    SoupServer* m_server = nullptr; // loop thread only
    // Written on the loop's thread before start() returns.
    uint16_t m_port = 0;
    std::string m_error;
    GLibLoopThread m_loop{"bsim-web"};
};
