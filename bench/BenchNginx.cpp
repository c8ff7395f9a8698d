#include "BenchNginx.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

} // namespace

fs::path MakeNginxBase(const std::string& benchmarkName) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" +
                          benchmarkName + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return {};
    }
    const fs::path base = pattern;
    fs::create_directory(base / "root");
    // nginx may read as another user.
    fs::permissions(base, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return base;
}

int ConnectLoopback(std::uint16_t port) {
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        return -1;
    }
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return client;
}

std::uint16_t FreeLoopbackPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

pid_t StartNginx(const fs::path& base, const fs::path& root, std::uint16_t port) {
    const std::string dir = base.string();
    const fs::path config = base / "nginx.conf";
    std::ofstream(config) << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                          << "pid " << dir << "/nginx.pid;\nerror_log " << dir
                          << "/error.log;\nevents { worker_connections 64; }\nhttp {\n"
                          << "  access_log off;\n  sendfile on;\n  tcp_nopush on;\n"
                          << "  keepalive_requests 100000;\n"
                          << "  default_type application/octet-stream;\n"
                          << "  client_body_temp_path " << dir << "/body;\n"
                          << "  proxy_temp_path " << dir << "/proxy;\n"
                          << "  fastcgi_temp_path " << dir << "/fastcgi;\n"
                          << "  uwsgi_temp_path " << dir << "/uwsgi;\n"
                          << "  scgi_temp_path " << dir << "/scgi;\n"
                          << "  server { listen 127.0.0.1:" << port << "; root " << root.string()
                          << "; }\n}\n";
    const std::string configText = config.string();
    const std::string errorLog = dir + "/error.log";
    std::vector<char*> argv = {const_cast<char*>("nginx"),
                               const_cast<char*>("-p"),
                               const_cast<char*>(dir.c_str()),
                               const_cast<char*>("-e"),
                               const_cast<char*>(errorLog.c_str()),
                               const_cast<char*>("-c"),
                               const_cast<char*>(configText.c_str()),
                               nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, kNginx, nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int probe = ConnectLoopback(port);
        if (probe >= 0) {
            ::close(probe);
            return pid;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopNginx(pid);
    return -1;
}

void StopNginx(pid_t pid) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}
