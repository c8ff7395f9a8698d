// vellumo-boxsim: a simulated Box on the command port, for development and
// end-to-end tests.
#include "BoxAnnouncer.h"
#include "BoxOptions.h"
#include "BoxServer.h"
#include "BoxWebServer.h"
#include "EventLog.h"

#include <curl/curl.h>
#include <libxml/parser.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

int g_stopWriteFd = -1;

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_stopWriteFd, &byte, 1);
}

// SIGTERM and SIGINT make the returned descriptor readable.
int installStopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    g_stopWriteFd = fds[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return fds[0];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::printf("%s", BoxOptions::usage().c_str());
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("vellumo-boxsim %s\n", VELLUMO_VERSION);
        return 0;
    }
    std::string error;
    const auto options = BoxOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "vellumo-boxsim: %s\n%s", error.c_str(), BoxOptions::usage().c_str());
        return 2;
    }
    std::error_code ignored;
    if (!options->outputDir.empty() &&
        !std::filesystem::is_directory(options->outputDir, ignored)) {
        std::fprintf(stderr, "vellumo-boxsim: %s is not a directory\n", options->outputDir.c_str());
        return 2;
    }
    // Before any thread: libxml2 and libcurl set up their globals here once.
    xmlInitParser();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    EventLog log;
    if (!options->logPath.empty() && !log.open(options->logPath)) {
        std::fprintf(stderr, "vellumo-boxsim: cannot write %s\n", options->logPath.c_str());
        return 1;
    }
    const int stopFd = installStopSignals();
    if (stopFd < 0) {
        std::perror("vellumo-boxsim: pipe");
        return 1;
    }
    BoxServer server(*options, log);
    if (!server.listen(error)) {
        std::fprintf(stderr, "vellumo-boxsim: %s\n", error.c_str());
        return 1;
    }
    // A Box without its setup page still plays: the page is reported missing
    // and the Box goes on (port 80 needs privileges that a developer may lack).
    BoxWebServer webServer(*options, log);
    if (!webServer.start(error)) {
        std::fprintf(stderr, "vellumo-boxsim: %s\n", error.c_str());
        log.write(JsonLine("error").add("text", error));
    }
    // Announced only on an interface named on the command line: nothing is
    // sent by UPnP unless asked for.
    std::unique_ptr<BoxAnnouncer> announcer;
    if (!options->upnpInterface.empty()) {
        announcer = std::make_unique<BoxAnnouncer>(options->upnpInterface, options->friendlyName,
                                                   options->address);
        if (!announcer->Start()) {
            std::fprintf(stderr, "vellumo-boxsim: cannot announce on %s\n",
                         options->upnpInterface.c_str());
            return 1;
        }
    }
    std::printf("ready %s:%u\n", options->address.c_str(), unsigned{server.port()});
    std::fflush(stdout);
    server.run(stopFd);
    return 0;
}
