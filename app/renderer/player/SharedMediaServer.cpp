#include "SharedMediaServer.h"

#include "DebugPrint.h"
#include "server/CMediaServer.h"

#include <arpa/inet.h>
#include <map>
#include <mutex>

std::shared_ptr<CMediaServer> ShareMediaServer(const std::string& address, std::string* error) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<CMediaServer>> servers;

    std::lock_guard lock(mutex);
    if (std::shared_ptr<CMediaServer> running = servers[address].lock())
        return running;
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        *error = "the address facing the renderer, \"" + address + "\", is no IPv4 address";
        return nullptr;
    }
    CMediaServer::Settings settings;
    settings.address = ntohl(parsed.s_addr);
    auto server = std::make_shared<CMediaServer>(settings);
    if (!server->Start(error)) {
        // Another program holds the fixed port: a port of the system's
        // choosing still serves where no firewall stands between.
        DebugPrint("ShareMediaServer: %s; trying another port, which the firewall exception "
                   "does not admit\n",
                   error->c_str());
        settings.port = 0;
        server = std::make_shared<CMediaServer>(settings);
        if (!server->Start(error))
            return nullptr;
    }
    servers[address] = server;
    return server;
}
