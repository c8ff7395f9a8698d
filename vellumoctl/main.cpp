#include "Commands.h"

#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

const Command kCommands[] = {
    {"play", RunPlay,
     "play --box ADDR[:PORT] PATH...\n"
     "play --renderer LOCATION PATH...\n"
     "      Play files, folders (walked in name order) and \".m3u\" play lists on the\n"
     "      Box (port 7171 unless given), or on the TV or speaker whose description\n"
     "      is at LOCATION (as discover prints it), printing one line per\n"
     "      notification. A TV or speaker plays one type: video, else music, else\n"
     "      photos. Lines on standard input control it: pause, resume, next, prev,\n"
     "      seek T, vol V, mute, repeat R, quit. Exit 0 when it finished or on quit,\n"
     "      1 when nothing is playable or the player cannot be reached."},
    {"version", RunVersion,
     "version --box ADDR[:PORT]\n"
     "      Print the Box's firmware version and MAC address. Exit 1 when it does\n"
     "      not answer."},
    {"discover", RunDiscover,
     "discover [--iface IF] [--timeout S]\n"
     "      Search for Boxes and other players by UPnP on interface IF (default: every\n"
     "      IPv4 interface) and print each on a line: address, friendly name, kind (Box,\n"
     "      TV or speaker, or unusable: reason) and description URL, tab-separated.\n"
     "      A Box is confirmed by its command port only when chosen. Waits for the\n"
     "      first search window, or S seconds when given. Exit 1 when none answers."},
    {"firewall", RunFirewall,
     "firewall check|open\n"
     "      check: print the three firewall exceptions (the application's admits 7272\n"
     "      and 7273 over TCP) and whether each is present.\n"
     "      open: add the missing ones (needs root), then print them as check does.\n"
     "      Exit 1 when an exception is missing or the firewall cannot be read."},
    {"doctor", RunDoctor,
     "doctor [--box ADDR[:PORT]] [--iface IF]\n"
     "      Check, in order, what playing on a Box needs and print what to do about\n"
     "      each problem: the network interfaces (IF, else every IPv4 interface but\n"
     "      loopback), the firewall, a UPnP search, the Box's echo reply and its\n"
     "      command port (7171 unless given), port 7272 for the firmware server and\n"
     "      port 7273 for the media server.\n"
     "      The Box is ADDR, else the first that answers the search. Exit 0 when the\n"
     "      Box takes connections, 1 otherwise."},
};

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: vellumoctl COMMAND [ARGS...]\n"
                      "       vellumoctl --help | --version\n\ncommands:\n");
    for (const auto& command : kCommands) {
        std::fprintf(out, "  %s\n", command.usage);
    }
    std::fprintf(out, "\nexit codes: 0 ok, 1 failure, 2 usage error\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        if (argc == 2) {
            std::printf("vellumoctl %s\n", VELLUMO_VERSION);
            return kExitOk;
        }
        std::fprintf(stderr, "vellumoctl: --version takes no other arguments\n");
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (argc >= 2) {
        for (const auto& command : kCommands) {
            if (std::strcmp(argv[1], command.name) == 0) {
                return command.run(argc - 2, argv + 2);
            }
        }
        std::fprintf(stderr, "vellumoctl: unknown command '%s'\n", argv[1]);
    }
    PrintUsage(stderr);
    return kExitUsage;
}
