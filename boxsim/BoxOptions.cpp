#include "BoxOptions.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <map>

namespace {

// Decimal or 0x-prefixed hexadecimal, the whole text, no sign.
std::optional<uint64_t> parseUnsigned(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return std::nullopt;
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const unsigned long long value =
        std::strtoull(isHex ? text.c_str() + 2 : text.c_str(), &end, isHex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0' || (isHex && text.size() == 2))
        return std::nullopt;
    return value;
}

std::optional<BoxFault> parseFault(const std::string& name) {
    static const std::map<std::string, BoxFault> kFaults = {
        {"unknown-keywords", BoxFault::UnknownKeywords},
        {"truncated-records", BoxFault::TruncatedRecords},
        {"close-mid-file", BoxFault::CloseMidFile},
        {"read-nothing", BoxFault::ReadNothing},
        {"answer-nothing", BoxFault::AnswerNothing},
        {"image-halfway", BoxFault::ImageHalfway},
        {"refuse-manifest", BoxFault::RefuseManifest},
        {"fail-write", BoxFault::FailWrite},
        {"close-after-image", BoxFault::CloseAfterImage},
    };
    const auto it = kFaults.find(name);
    if (it == kFaults.end())
        return std::nullopt;
    return it->second;
}

bool applyOption(BoxOptions& options, const std::string& name, const std::string& value) {
    if (name == "--address") {
        in_addr parsed{};
        options.address = value;
        return inet_pton(AF_INET, value.c_str(), &parsed) == 1;
    }
    if (name == "--log") {
        options.logPath = value;
        return !value.empty();
    }
    if (name == "--output-dir") {
        options.outputDir = value;
        return !value.empty();
    }
    if (name == "--upnp-iface") {
        options.upnpInterface = value;
        return !value.empty();
    }
    if (name == "--friendly-name") {
        options.friendlyName = value;
        return true;
    }
    if (name == "--fault") {
        const auto fault = parseFault(value);
        if (fault)
            options.faults.insert(*fault);
        return fault.has_value();
    }
    const auto number = parseUnsigned(value);
    if (!number)
        return false;
    if (name == "--port") {
        options.port = static_cast<uint16_t>(*number);
        return *number <= 65535;
    }
    if (name == "--http-port") {
        options.httpPort = static_cast<uint16_t>(*number);
        return *number <= 65535;
    }
    if (name == "--flash-time") {
        options.flashTimeMs = static_cast<int64_t>(*number);
        return *number <= 3600000;
    }
    if (name == "--rate") {
        options.rateBytes = static_cast<int64_t>(*number);
        return *number >= 1 && *number <= (uint64_t{1} << 40);
    }
    if (name == "--firmware-version") {
        options.version = *number;
        return true;
    }
    if (name == "--mac") {
        options.mac = *number;
        return true;
    }
    if (name == "--read-rate") {
        options.readRateBytes = static_cast<int64_t>(*number);
        return *number <= (uint64_t{1} << 40);
    }
    if (name == "--max-volume") {
        options.maxVolume = static_cast<int32_t>(*number);
        return *number <= 0x7fffffff;
    }
    return false;
}

} // namespace

std::optional<BoxOptions> BoxOptions::parse(const std::vector<std::string>& args,
                                            std::string& error) {
    static const std::set<std::string> kNames = {
        "--address",          "--port",          "--log",        "--output-dir", "--rate",
        "--firmware-version", "--mac",           "--max-volume", "--fault",      "--read-rate",
        "--upnp-iface",       "--friendly-name", "--http-port",  "--flash-time"};
    BoxOptions options;
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        // Flags take no value.
        if (name == "--no-hash" || name == "--tcp-nodelay") {
            if (name == "--no-hash")
                options.isHashing = false;
            else
                options.isNoDelay = true;
            --i;
            continue;
        }
        if (name == "--help" || name == "--version") {
            error = name + " takes no other arguments";
            return std::nullopt;
        }
        if (kNames.count(name) == 0) {
            error = "unknown option: " + name;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + name;
            return std::nullopt;
        }
        if (!applyOption(options, name, args[i + 1])) {
            error = "bad value for " + name + ": " + args[i + 1];
            return std::nullopt;
        }
    }
    return options;
}

std::string BoxOptions::usage() {
    return "usage: vellumo-boxsim [--address A] [--port P] [--log FILE] [--output-dir DIR]\n"
           "                      [--rate BYTES] [--firmware-version V] [--mac M]\n"
           "                      [--max-volume N]\n"
           "                      [--read-rate BYTES_PER_SECOND] [--no-hash]\n"
           "                      [--tcp-nodelay]\n"
           "                      [--upnp-iface IF [--friendly-name NAME]]\n"
           "                      [--http-port WP] [--flash-time MS]\n"
           "                      [--fault unknown-keywords|truncated-records|close-mid-file|\n"
           "                               read-nothing|answer-nothing|image-halfway|\n"
           "                               refuse-manifest|fail-write|close-after-image]...\n"
           "       vellumo-boxsim --help | --version\n"
           "\n"
           "The setup page is served at http://A:WP/remote/ (WP 80 unless set;\n"
           "0 picks a free port); every request is logged. \"u\" with a manifest URL\n"
           "fetches that manifest and the image its SWURL entry names, writes the\n"
           "firmware for --flash-time milliseconds (500 unless set), answers \"stat\"\n"
           "\"done\" (0 written, -1 failed) and closes the pair.\n";
}
